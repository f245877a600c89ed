#!/usr/bin/env bash
# Makes the Wine prefix that every Wine test copies for itself (ctest runs this first, as
# the setup of the tests that need it). A prefix made by an earlier run is kept. No test
# runs in it, so it stays as wineboot left it; its server is stopped before anyone copies.
set -euo pipefail
[[ -n "${QIR_WINE_WORK:-}" ]] || { echo "FAIL: QIR_WINE_WORK is not set" >&2; exit 1; }
export WINEPREFIX="$QIR_WINE_WORK/prefix" WINEDEBUG=-all
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
mkdir -p "$QIR_WINE_WORK"
(
    flock 9
    if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
        wineboot -i >/dev/null 2>&1 || true
        wineserver -w || true
    fi
) 9>"$WINEPREFIX.lock"
[[ -f "$WINEPREFIX/system.reg" ]] || { echo "FAIL: wineboot could not make $WINEPREFIX" >&2; exit 1; }
wineserver -k >/dev/null 2>&1 || true
wineserver -w >/dev/null 2>&1 || true
echo "prefix_setup: $WINEPREFIX is ready"
