# shellcheck shell=bash
# Shared by the Wine tests; sourced, not run. ctest provides:
#   QIR_SOURCE_DIR         the repository
#   QIR_VERSION            the project version the builds carry
#   QIR_WINDOWS_BUILD_DIR  the Windows cross build (qir.exe, qir-scan.exe, qir-sim.exe)
#   QIR_NATIVE_SIM         the Linux qir-sim
#   QIR_WINE_WORK          the Wine tests' folder in the native build tree: the template
#                          prefix, each running test's own folder, kept artifacts
set -euo pipefail

for v in QIR_SOURCE_DIR QIR_VERSION QIR_WINDOWS_BUILD_DIR QIR_NATIVE_SIM QIR_WINE_WORK; do
    [[ -n "${!v:-}" ]] || { echo "FAIL: $v is not set" >&2; exit 1; }
done

QIR_EXE="$QIR_WINDOWS_BUILD_DIR/qir.exe"
QIR_SIM_EXE="$QIR_WINDOWS_BUILD_DIR/qir-sim.exe"
QIR_SCAN_EXE="$QIR_WINDOWS_BUILD_DIR/qir-scan.exe"
for f in "$QIR_EXE" "$QIR_SIM_EXE" "$QIR_SCAN_EXE" "$QIR_NATIVE_SIM"; do
    [[ -f "$f" ]] || { echo "FAIL: $f has not been built" >&2; exit 1; }
done

# Every test works in a folder of its own with a Wine prefix of its own, copied from the
# one the setup test wine.prefix made, so tests can run side by side and in any order.
# The folder goes when the test ends, with the Wine server of its prefix.
WINE_TEMPLATE_PREFIX="$QIR_WINE_WORK/prefix"
test_name="$(basename "$0" .sh)"
WORK="$(mktemp -d "$QIR_WINE_WORK/$test_name.XXXXXX")"
failures=0

# own_prefix DIR: a copy of the template prefix at DIR, a folder named prefix* in $WORK;
# its Wine server is stopped and it is removed when the test ends.
own_prefix() {
    [[ -f "$WINE_TEMPLATE_PREFIX/system.reg" ]] ||
        { echo "FAIL: no Wine prefix in $WINE_TEMPLATE_PREFIX (the test wine.prefix makes it)" >&2; exit 1; }
    cp -a "$WINE_TEMPLATE_PREFIX" "$1"
}

# at_exit COMMAND: run when the test ends, before its folder is removed.
exit_commands=()
at_exit() { exit_commands+=("$1"); }

leave_work() {
    local rc=$? c p
    for c in "${exit_commands[@]}"; do eval "$c" || true; done
    # Prefixes may have been copied in a subshell ($(wine_exe ...)), so they are found
    # by name rather than remembered.
    for p in "$WORK"/prefix*/; do
        [[ -f "$p/system.reg" ]] || continue
        WINEPREFIX="$p" wineserver -k >/dev/null 2>&1 || true
        WINEPREFIX="$p" wineserver -w >/dev/null 2>&1 || true
    done
    rm -rf "$WORK"
    exit "$rc"
}
trap leave_work EXIT

# Copied on the first run, so a test that runs nothing under Wine copies nothing.
WINE_PREFIX_DIR="$WORK/prefix"

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
    [[ -d "$WINE_PREFIX_DIR" ]] || own_prefix "$WINE_PREFIX_DIR"
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

# machine_folders NAME: the folders of one machine's runs under $WORK, the Windows run's
# and the Linux run's side by side, made and named in wdir and ldir.
machine_folders() {
    wdir="$WORK/$1/windows"
    ldir="$WORK/$1/linux"
    mkdir -p "$wdir" "$ldir"
}

# The firmware image the Windows build embeds, as its cache names it.
windows_image() {
    sed -n 's/^QIR_EMBEDDED_IMAGE:INTERNAL=//p' "$QIR_WINDOWS_BUILD_DIR/CMakeCache.txt"
}

# The revision an image carries, as the build writes it in names: its eight bytes, each
# outside printable ASCII (and the double quote and the backslash) as '?'.
image_revision() {
    dd if="$1" bs=1 skip=12320 count=8 status=none | LC_ALL=C tr -c '\040\041\043-\133\135-\176' '?'
}

# mask_log LOG PROGRAM: the log file with its time stamps and the program path of its
# command line (argument 0 as the shell passed it) replaced by placeholders.
mask_log() {
    PROG="$2" awk '
        BEGIN { prefix = "Input Command : " ENVIRON["PROG"] " " }
        /^Start Time : [0-9][0-9]-[0-9][0-9]-[0-9][0-9][0-9][0-9]\([0-9][0-9]:[0-9][0-9]:[0-9][0-9]\)\r$/ {
            print "Start Time : <time>\r"; next }
        /^End Time : [0-9][0-9]-[0-9][0-9]-[0-9][0-9][0-9][0-9]\([0-9][0-9]:[0-9][0-9]:[0-9][0-9]\)\r$/ {
            print "End Time : <time>\r"; next }
        index($0, prefix) == 1 { print "Input Command : <program> " substr($0, length(prefix) + 1); next }
        { print }' "$1"
}

# The id of the first window titled exactly $2, asked of xdotool with the options $1
# ("" or "--onlyvisible"), waited for up to a minute while process $3 lives; empty when
# none came.
wait_for_window() {
    local window=""
    for _ in $(seq 300); do
        # shellcheck disable=SC2086 # the options are words of their own
        window="$(xdotool search $1 --name "^${2}\$" 2>/dev/null | head -n 1 || true)"
        [[ -n "$window" ]] && break
        kill -0 "$3" 2>/dev/null || break
        sleep 0.2
    done
    printf '%s' "$window"
}

finish() {
    if [[ $failures -ne 0 ]]; then
        echo "$test_name: $failures check(s) failed" >&2
        exit 1
    fi
    echo "$test_name: passed"
}
