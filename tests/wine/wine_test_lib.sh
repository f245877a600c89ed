# shellcheck shell=bash
# Shared by the Wine tests; sourced, not run. ctest provides:
#   QIR_SOURCE_DIR         the repository
#   QIR_WINDOWS_BUILD_DIR  the Windows cross build (qir.exe, qir-sim.exe)
#   QIR_NATIVE_SIM         the Linux qir-sim
#   QIR_WINE_WORK          scratch space of the Wine tests in the native build tree
set -euo pipefail

for v in QIR_SOURCE_DIR QIR_WINDOWS_BUILD_DIR QIR_NATIVE_SIM QIR_WINE_WORK; do
    [[ -n "${!v:-}" ]] || { echo "FAIL: $v is not set" >&2; exit 1; }
done

QIR_EXE="$QIR_WINDOWS_BUILD_DIR/qir.exe"
QIR_SIM_EXE="$QIR_WINDOWS_BUILD_DIR/qir-sim.exe"
for f in "$QIR_EXE" "$QIR_SIM_EXE" "$QIR_NATIVE_SIM"; do
    [[ -f "$f" ]] || { echo "FAIL: $f has not been built" >&2; exit 1; }
done

WINE_PREFIX_DIR="$QIR_WINE_WORK/prefix"
test_name="$(basename "$0" .sh)"
WORK="$QIR_WINE_WORK/$test_name"
rm -rf "$WORK"
mkdir -p "$WORK"
failures=0

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# expect_same WHAT EXPECTED_FILE ACTUAL_FILE
expect_same() {
    if ! cmp -s "$2" "$3"; then
        fail "$1 differs (expected $2, got $3):"
        diff <(od -c "$2") <(od -c "$3") | head -n 40 >&2 || true
    fi
}

# expect_eq WHAT EXPECTED ACTUAL
expect_eq() {
    [[ "$2" == "$3" ]] || fail "$1: expected [$2], got [$3]"
}

# wine_exe [wine_run options] EXE ARGS... : prints the full exit code.
wine_exe() {
    "$QIR_SOURCE_DIR/scripts/wine_run.sh" --prefix "$WINE_PREFIX_DIR" "$@"
}

# The Windows name of a Linux path (Wine maps the root to drive Z:), for file arguments
# such as qir-sim.exe's --machine FILE.
win_path() { printf 'Z:%s' "${1//\//\\}"; }

# Drops the CR of each CR LF, leaving any other CR alone.
crlf_to_lf() { sed 's/\r$//' "$1"; }

# Every line ends in CR LF, the last one included.
expect_crlf_lines() {
    local lines crlf
    lines=$(wc -l <"$2")
    crlf=$(grep -c $'\r$' "$2" || true)
    [[ -s "$2" ]] || { fail "$1: $2 is empty"; return; }
    [[ "$lines" == "$crlf" ]] || fail "$1: $crlf of $lines lines end in CR LF"
    [[ "$(tail -c 1 "$2" | od -An -c | tr -d ' ')" == '\n' ]] || fail "$1: last line has no end"
}

finish() {
    if [[ $failures -ne 0 ]]; then
        echo "$test_name: $failures check(s) failed" >&2
        exit 1
    fi
    echo "$test_name: passed"
}
