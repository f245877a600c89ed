#!/usr/bin/env bash
# The long run of the rebuild's property: machines drawn from a seed, each scanned with a
# capture, rebuilt, scanned and updated again (qir-rebuild-check, docs/reliability.md), in both
# generator profiles, with the figure to quote.
#
#   scripts/rebuild_property_run.sh [--count N] [--seed S] [--keep DIR]
#
# Builds qir-rebuild-check in build/native (or $QIR_NATIVE_BUILD_DIR) first. Exit code 0
# when every machine held, 1 when one did not (the first are named on standard error).
set -euo pipefail

count=5000 seed=20261209 keep=()
while [ $# -gt 0 ]; do
  case "$1" in
  --count) count="$2"; shift 2 ;;
  --seed) seed="$2"; shift 2 ;;
  --keep) keep=(--keep "$2"); shift 2 ;;
  *) echo "usage: $0 [--count N] [--seed S] [--keep DIR]" >&2; exit 2 ;;
  esac
done

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${QIR_NATIVE_BUILD_DIR:-$root/build/native}"
[ -f "$build/build.ninja" ] || cmake --preset native >/dev/null
cmake --build "$build" -j2 --target qir-rebuild-check >/dev/null

revision="$(git -C "$root" rev-parse --short HEAD)"
[ -z "$(git -C "$root" status --porcelain)" ] || revision="$revision (with changes)"
status=0
for profile in full wine; do
  "$build/sweep/qir-rebuild-check" --seed "$seed" --count "$count" --profile "$profile" \
    "${keep[@]}" || status=1
done
echo "revision $revision, $(date -u +%Y-%m-%d), $(nproc) cores"
exit "$status"
