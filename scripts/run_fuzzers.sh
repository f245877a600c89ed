#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time on a copy of
# its checked-in seed corpus and regression inputs. Prints the executions per target and
# exits non-zero on any finding (crash, sanitizer report, leak, timeout, out of memory);
# the inputs that found something are kept in <build>/findings/<target>/.
#
#   scripts/run_fuzzers.sh [--build-only|--run-only] [seconds-per-fuzzer] [fuzzer...]
#
# The defaults are 60 seconds and every fuzzer that was built. The build goes to
# $QIR_FUZZ_BUILD_DIR (default build/fuzz). Two fuzzers run side by side, so a run of all
# of them takes about ceil(targets / 2) x seconds plus the build. ./test builds once with
# --build-only and lets ctest run each fuzzer with --run-only.
set -euo pipefail

build_step=1 run_step=1
case "${1:-}" in
--build-only) run_step=0; shift ;;
--run-only) build_step=0; shift ;;
esac
seconds="${1:-60}"
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -lt 1 ]; then
  echo "usage: $0 [--build-only|--run-only] [seconds-per-fuzzer] [fuzzer...]" >&2
  exit 2
fi
shift $(($# > 0 ? 1 : 0))

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${QIR_FUZZ_BUILD_DIR:-$root/build/fuzz}"
compiler="${QIR_FUZZ_CXX:-clang++-14}"

if [ "$build_step" -eq 1 ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER="$compiler" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQIR_FUZZ=ON -DQIR_BUILD_TESTS=OFF \
    -DQIR_WINDOWS_BUILD_DIR= -DQIR_SANITIZED_BUILD_DIR= -DQIR_FUZZ_BUILD_DIR= >/dev/null
  cmake --build "$build" -j2
fi
[ "$run_step" -eq 1 ] || exit 0

names=("$@")
if [ "${#names[@]}" -eq 0 ]; then
  for exe in "$build"/fuzz/fuzz_*; do
    [ -x "$exe" ] && [ -f "$exe" ] && names+=("$(basename "$exe" | sed 's/^fuzz_//')")
  done
fi
if [ "${#names[@]}" -eq 0 ]; then
  echo "no fuzzers were built in $build" >&2
  exit 1
fi
for name in "${names[@]}"; do
  if [ ! -x "$build/fuzz/fuzz_$name" ]; then
    echo "fuzz_$name was not built in $build" >&2
    exit 1
  fi
done

work="$(mktemp -d /tmp/qir-fuzz-run-XXXXXX)"
trap 'rm -rf "$work"' EXIT
findings="$build/findings"

run_one() {
  local name="$1" exe="$build/fuzz/fuzz_$1" dir="$work/$1"
  mkdir -p "$dir/corpus" "$dir/artifacts"
  # A copy, so that what the run learns never grows the checked-in corpus.
  for seeds in "$root/fuzz/corpus/$name" "$root/fuzz/regressions/$name"; do
    if [ -d "$seeds" ]; then cp -r "$seeds/." "$dir/corpus/"; fi
  done
  local dict=()
  if [ -f "$root/fuzz/dict/$name.dict" ]; then dict=(-dict="$root/fuzz/dict/$name.dict"); fi
  local rc=0
  (cd "$dir" && "$exe" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
      -malloc_limit_mb=1024 -max_len=16384 -print_final_stats=1 "${dict[@]}" \
      -artifact_prefix="$dir/artifacts/" "$dir/corpus" >"$dir/log" 2>&1) || rc=$?
  echo "$rc" >"$dir/rc"
}

i=0
while [ "$i" -lt "${#names[@]}" ]; do
  run_one "${names[$i]}" &
  if [ $((i + 1)) -lt "${#names[@]}" ]; then run_one "${names[$((i + 1))]}" & fi
  wait
  i=$((i + 2))
done

status=0
total=0
for name in "${names[@]}"; do
  dir="$work/$name"
  rc="$(cat "$dir/rc")"
  execs="$(awk '/stat::number_of_executed_units/ {print $2}' "$dir/log" | tail -1 || true)"
  cov="$(grep -Eo 'cov: [0-9]+' "$dir/log" | tail -1 | awk '{print $2}' || true)"
  execs="${execs:-0}"
  total=$((total + execs))
  # Only this run's targets: another run may be fuzzing the others at the same time.
  rm -rf "${findings:?}/$name"
  if [ "$rc" -ne 0 ] || [ -n "$(ls -A "$dir/artifacts")" ]; then
    status=1
    mkdir -p "$findings/$name"
    cp -r "$dir/artifacts/." "$findings/$name/" 2>/dev/null || true
    cp "$dir/log" "$findings/$name/log"
    echo "fuzz_$name: FINDING after $execs executions (exit $rc); inputs and log in $findings/$name"
    grep -E 'ERROR|SUMMARY|fuzz platform|fuzz_' "$dir/log" | head -20 || true
  else
    echo "fuzz_$name: $execs executions in ${seconds} s, coverage ${cov:-0}, no finding"
  fi
done
echo "fuzzing: ${#names[@]} targets, $total executions, $([ $status -eq 0 ] && echo "no findings" || echo "FINDINGS")"
exit "$status"
