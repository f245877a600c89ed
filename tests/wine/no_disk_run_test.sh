#!/usr/bin/env bash
# A silent run of qir.exe on Wine, which has no drive of ours: exit code 1, and a log
# file that is byte for byte the Linux build's apart from the time stamps and the
# program path.
source "$(dirname "$0")/wine_test_lib.sh"

mkdir -p "$WORK/windows" "$WORK/linux"
rc=$(wine_exe --cwd "$WORK/windows" --stdout "$WORK/windows/out.txt" "$QIR_EXE" /s /log=x.txt)
expect_eq "exit code" 1 "$rc"
# The Linux build on a machine as empty of drives as Wine's; its default machine has some.
echo '{}' >"$WORK/empty_machine.json"
(cd "$WORK/linux" && "$QIR_NATIVE_SIM" --machine "$WORK/empty_machine.json" -- /s /log=x.txt \
    >out.txt) && native_rc=0 || native_rc=$?
expect_eq "native exit code" 1 "$native_rc"

[[ -f "$WORK/windows/x.txt" ]] || fail "qir.exe wrote no log file"
[[ -f "$WORK/linux/x.txt" ]] || fail "qir-sim wrote no log file"

windows_prog="$(win_path "$QIR_EXE")"
if [[ -f "$WORK/windows/x.txt" && -f "$WORK/linux/x.txt" ]]; then
    expect_crlf_lines "log file of qir.exe" "$WORK/windows/x.txt"
    mask_log "$WORK/windows/x.txt" "$windows_prog" >"$WORK/windows/x.masked"
    mask_log "$WORK/linux/x.txt" "$QIR_NATIVE_SIM" >"$WORK/linux/x.masked"
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
