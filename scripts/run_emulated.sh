#!/usr/bin/env bash
# Runs the real qir.exe under Wine on the emulated Windows machine (docs/emulated-windows.md):
# the machine description's devices in Wine's SetupAPI, its drives behind the machine
# driver in Wine's kernel.
#
#   run_emulated.sh [--machine FILE] [--] [qir.exe arguments...]
#
# The default machine is sim/machines/default.json. Standard output is qir.exe's own; the
# exit code is its exit code (a Linux shell keeps its low 8 bits: 1602 reads as 66), which
# is also printed in full on standard error. The prefix (build/wine/emulated-prefix) is
# kept for the next run, its Wine server is not.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
machine="$repo/sim/machines/default.json"
while [[ $# -gt 0 ]]; do
    case "$1" in
    --machine) machine="$2"; shift 2 ;;
    --) shift; break ;;
    *) break ;;
    esac
done
[[ -f "$machine" ]] || { echo "run: no machine description $machine" >&2; exit 2; }
machine="$(cd "$(dirname "$machine")" && pwd)/$(basename "$machine")"
silent=0
for a in "$@"; do [[ "$a" == /s ]] && silent=1; done
if [[ $silent == 0 && -z "${DISPLAY:-}" ]]; then
    echo "run: without /s qir.exe waits in its message box, and there is no display: add /s" >&2
    exit 2
fi

build="$repo/build/windows"
[[ -f "$build/build.ninja" ]] || cmake --preset windows >&2
cmake --build "$build" -j2 --target qir qir-machine qir-machine-install >&2

prefix="$repo/build/wine/emulated-prefix"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
mkdir -p "$(dirname "$prefix")"
if [[ ! -f "$prefix/system.reg" ]]; then
    echo "run: creating Wine prefix $prefix (once)" >&2
    wineboot -i >/dev/null 2>&1 || true
fi
work="$(mktemp -d "${TMPDIR:-/tmp}/qir-emulated.XXXXXX")"
trap 'wineserver -k >/dev/null 2>&1 || true; wineserver -w >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
# Kept up from the installer to the tool, so that Wine's services (the driver) stay;
# stopped when the run ends. The prefix is this script's own: a server left in it goes.
wineserver -k >/dev/null 2>&1 || true
wineserver -w
wineserver -p

winpath() { printf 'Z:%s' "${1//\//\\}"; }
wine "$build/qir-machine-install.exe" install "$(winpath "$machine")" \
    "$(winpath "$build/qir-machine.sys")" "$(winpath "$work/wine-order.json")" >&2 ||
    { echo "run: the machine could not be installed" >&2; exit 2; }
rc=$("$repo/scripts/wine_run.sh" --prefix "$prefix" --stdout "$work/out.txt" "$build/qir.exe" "$@")
cat "$work/out.txt"
echo "run: qir.exe ended with $rc" >&2
exit $((rc & 255))
