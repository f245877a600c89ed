#!/usr/bin/env bash
# Runs one Windows executable under Wine and prints its full 32-bit exit code.
#
#   wine_run.sh [options] EXE [ARGS...]
#     --prefix DIR        Wine prefix (created on first use); default: build/wine/prefix
#     --cwd DIR           working directory of the program; default: the current one
#     --stdout FILE       where the program's standard output goes; default: discarded
#     --stderr FILE       where its standard error goes; default: discarded
#     --xvfb              run on a private Xvfb display, stopped again afterwards
#     --display-file FILE with --xvfb: write the display name there once it is up
#
# Standard output of this script is the exit code alone (e.g. "1602"); its own
# messages go to standard error. It fails (exit 2) when Wine cannot run the program
# or the exit code cannot be read back, never quietly.
#
# Linux keeps only the low 8 bits of an exit code, so the code is read through
# Wine's own shell instead: a batch file runs the program with its output redirected,
# then echoes %ERRORLEVEL%, which a batch file expands only after the program ended.
set -euo pipefail

die() {
    echo "wine_run: $*" >&2
    exit 2
}

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
prefix="$repo/build/wine/prefix"
cwd="$PWD"
stdout_file=/dev/null
stderr_file=/dev/null
use_xvfb=0
display_file=""

while [[ $# -gt 0 ]]; do
    case "$1" in
    --prefix) prefix="$2"; shift 2 ;;
    --cwd) cwd="$2"; shift 2 ;;
    --stdout) stdout_file="$2"; shift 2 ;;
    --stderr) stderr_file="$2"; shift 2 ;;
    --xvfb) use_xvfb=1; shift ;;
    --display-file) display_file="$2"; shift 2 ;;
    --) shift; break ;;
    -*) die "unknown option $1" ;;
    *) break ;;
    esac
done
[[ $# -ge 1 ]] || die "no executable given"
exe="$1"
shift

command -v wine >/dev/null || die "wine is not installed (run scripts/install_deps.sh)"
[[ -f "$exe" ]] || die "no such executable: $exe"
[[ -d "$cwd" ]] || die "no such working directory: $cwd"

abspath() {
    local dir base
    dir="$(cd "$(dirname "$1")" && pwd)"
    base="$(basename "$1")"
    echo "$dir/$base"
}

# Wine maps the Linux root to drive Z:.
to_windows() { printf 'Z:%s' "${1//\//\\}"; }

# The batch file holds only ASCII: cmd reads it in the console's code page. Every
# path and argument reaches it through an environment variable instead, which Wine
# hands over as UTF-16 from the UTF-8 environment. Wine's cmd scans the text again
# after putting a variable's value in, so '%' is doubled in the value.
export LC_ALL=C.UTF-8
pass_env() { export "QIR_WINE_$1=${2//%/%%}"; }

# A redirection target; NUL is the Windows name of the null device.
to_target() {
    if [[ "$2" == /dev/null ]]; then
        printf 'NUL'
    else
        pass_env "$1" "$(to_windows "$2")"
        printf '"%%QIR_WINE_%s%%"' "$1"
    fi
}

# One argument, quoted so that cmd passes it on whole and the program's runtime splits
# it back out unchanged. Backslashes before the closing quote are doubled, or the
# runtime would read the last one as escaping that quote. cmd has no escape for a quote
# inside a quoted word, so such an argument is refused rather than passed on changed.
quote_arg() {
    local n="$1" a="$2" tail=""
    while [[ "$a" == *'\' ]]; do
        a="${a%\\}"
        tail+='\\'
    done
    pass_env "ARG$n" "$a"
    printf '"%%QIR_WINE_ARG%s%%%s"' "$n" "$tail"
}

for a in "$@"; do
    [[ "$a" != *'"'* ]] || die "an argument holding a double quote cannot pass through cmd: $a"
done

exe="$(abspath "$exe")"
cwd="$(cd "$cwd" && pwd)"
[[ "$stdout_file" == /dev/null ]] || { : >"$stdout_file" && stdout_file="$(abspath "$stdout_file")"; }
[[ "$stderr_file" == /dev/null ]] || { : >"$stderr_file" && stderr_file="$(abspath "$stderr_file")"; }

export WINEDEBUG=-all
export WINEPREFIX="$prefix"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

work="$(mktemp -d "${TMPDIR:-/tmp}/wine_run.XXXXXX")"
xvfb_pid=""
cleanup() {
    if [[ -n "$xvfb_pid" ]]; then
        # The prefix's Wine processes hold the display; they go before it does.
        wineserver -k >/dev/null 2>&1 || true
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 143' TERM INT HUP

# First use creates the prefix; a lock keeps two runs from creating it at once.
mkdir -p "$(dirname "$prefix")"
(
    flock 9
    if [[ ! -f "$prefix/system.reg" ]]; then
        echo "wine_run: creating Wine prefix $prefix (once)" >&2
        wineboot -i >/dev/null 2>&1 || true
        wineserver -w || true
        [[ -f "$prefix/system.reg" ]] || die "wineboot could not create $prefix"
    fi
) 9>"$prefix.lock"

if [[ "$use_xvfb" == 1 ]]; then
    command -v Xvfb >/dev/null || die "Xvfb is not installed (run scripts/install_deps.sh)"
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" \
        >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do
        [[ -s "$work/display" ]] && break
        kill -0 "$xvfb_pid" 2>/dev/null || die "Xvfb failed: $(cat "$work/xvfb.log")"
        sleep 0.1
    done
    [[ -s "$work/display" ]] || die "Xvfb did not come up"
    DISPLAY=":$(tr -d '[:space:]' <"$work/display")"
    export DISPLAY
    [[ -z "$display_file" ]] || echo "$DISPLAY" >"$display_file"
fi

# No command substitution below: the variables must be set in this shell.
pass_env CWD "$(to_windows "$cwd")"
pass_env EXE "$(to_windows "$exe")"
{
    printf '@echo off\r\n'
    printf 'cd /d "%%QIR_WINE_CWD%%"\r\n'
    printf '"%%QIR_WINE_EXE%%"'
    n=0
    for a in "$@"; do
        n=$((n + 1))
        printf ' '
        quote_arg "$n" "$a"
    done
    printf ' > '
    to_target OUT "$stdout_file"
    printf ' 2> '
    to_target ERR "$stderr_file"
    printf '\r\necho rc=%%ERRORLEVEL%%\r\n'
} >"$work/run.cmd"

shell_out="$work/shell.txt"
# In the background so that a signal reaches the cleanup at once, even while the
# program waits in a message box. cmd's own status is that of the echo; the code is
# read from its output below.
wine cmd /c "$(to_windows "$work/run.cmd")" >"$shell_out" 2>"$work/shell.err" &
wait $! || true
rc="$(tr -d '\r' <"$shell_out" | sed -n 's/^rc=\(-\{0,1\}[0-9]\{1,\}\)$/\1/p' | tail -n 1)"
if [[ -z "$rc" ]]; then
    echo "wine_run: no exit code from $exe; shell said:" >&2
    cat "$shell_out" "$work/shell.err" >&2
    exit 2
fi
echo "$rc"
