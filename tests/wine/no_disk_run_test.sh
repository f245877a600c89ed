#!/usr/bin/env bash
# A silent run of qir.exe on Wine, which has no drive of ours: exit code 1, and a log
# file that is byte for byte the Linux build's apart from the time stamps and the
# program path.
source "$(dirname "$0")/wine_test_lib.sh"

mkdir -p "$WORK/windows" "$WORK/linux"
rc=$(wine_exe --cwd "$WORK/windows" --stdout "$WORK/windows/out.txt" "$QIR_EXE" /s /log=x.txt)
expect_eq "exit code" 1 "$rc"
# The Linux side runs on an empty simulated machine, which is what Wine looks like to us.
(cd "$WORK/linux" && "$QIR_NATIVE_SIM" --machine "$QIR_SOURCE_DIR/sim/machines/empty.json" -- /s /log=x.txt >out.txt) && native_rc=0 || native_rc=$?
expect_eq "native exit code" 1 "$native_rc"

[[ -f "$WORK/windows/x.txt" ]] || fail "qir.exe wrote no log file"
[[ -f "$WORK/linux/x.txt" ]] || fail "qir-sim wrote no log file"

# The program path is argument 0 as the shell passed it.
windows_prog="$(win_path "$QIR_EXE")"
mask() {
    PROG="$2" awk '
        BEGIN { prefix = "Input Command : " ENVIRON["PROG"] " " }
        /^Start Time : [0-9][0-9]-[0-9][0-9]-[0-9][0-9][0-9][0-9]\([0-9][0-9]:[0-9][0-9]:[0-9][0-9]\)\r$/ {
            print "Start Time : <time>\r"; next }
        /^End Time : [0-9][0-9]-[0-9][0-9]-[0-9][0-9][0-9][0-9]\([0-9][0-9]:[0-9][0-9]:[0-9][0-9]\)\r$/ {
            print "End Time : <time>\r"; next }
        index($0, prefix) == 1 { print "Input Command : <program> " substr($0, length(prefix) + 1); next }
        { print }' "$1"
}
if [[ -f "$WORK/windows/x.txt" && -f "$WORK/linux/x.txt" ]]; then
    expect_crlf_lines "log file of qir.exe" "$WORK/windows/x.txt"
    mask "$WORK/windows/x.txt" "$windows_prog" >"$WORK/windows/x.masked"
    mask "$WORK/linux/x.txt" "$QIR_NATIVE_SIM" >"$WORK/linux/x.masked"
    for f in "$WORK/windows/x.masked" "$WORK/linux/x.masked"; do
        grep -q '^Start Time : <time>' "$f" || fail "$f: no start time in the expected form"
        grep -q '^End Time : <time>' "$f" || fail "$f: no end time in the expected form"
        grep -q '^Input Command : <program> /s /log=x.txt ' "$f" || fail "$f: input command"
    done
    expect_same "masked log files" "$WORK/linux/x.masked" "$WORK/windows/x.masked"
fi

crlf_to_lf "$WORK/windows/out.txt" >"$WORK/windows/out.lf"
grep -qx ' >> QIR Started ' "$WORK/windows/out.lf" || fail "no started line"
expect_eq "closing line" ' >> QIR Ended (Return Code : 1)' "$(grep -v '^$' "$WORK/windows/out.lf" | tail -n 1)"

finish
