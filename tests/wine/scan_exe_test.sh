#!/usr/bin/env bash
# The pre-flight scan under Wine.
#   qir-scan.exe   real Win32 calls on a machine without any drive of ours: exit code 0, a
#                  JSON file that parses and says so; a bad command line: 2 and the usage
#   qir-sim.exe --scan against the Linux qir-sim --scan on every example machine: the
#                  same report (CR LF as LF), JSON, state, trace and exit code
source "$(dirname "$0")/wine_test_lib.sh"

mkdir -p "$WORK/real"
rc=$(wine_exe --cwd "$WORK/real" --stdout "$WORK/real/out.txt" "$QIR_SCAN_EXE" /json=scan.json)
expect_eq "qir-scan.exe exit code" 0 "$rc"
crlf_to_lf "$WORK/real/out.txt" >"$WORK/real/out.lf"
grep -qx 'Result: 0 (nothing to update)' "$WORK/real/out.lf" || fail "no result line: $(cat "$WORK/real/out.lf")"
if [[ -f "$WORK/real/scan.json" ]]; then
    jq -e '.schema_version == 3 and .result.exit_code == 0 and (.drives | length) == 0
           and (.refused_requests | length) == 0' "$WORK/real/scan.json" >/dev/null ||
        fail "scan.json: $(head -c 400 "$WORK/real/scan.json")"
else
    fail "qir-scan.exe wrote no scan.json"
fi

rc=$(wine_exe --cwd "$WORK/real" --stdout "$WORK/real/usage.txt" "$QIR_SCAN_EXE" /json)
expect_eq "qir-scan.exe /json exit code" 2 "$rc"
grep -q 'Usage: qir-scan.exe \[/json=<FILEPATH>\] \[/capture=<FILEPATH>\]' "$WORK/real/usage.txt" || fail "no usage text"

for machine in "$QIR_SOURCE_DIR"/sim/machines/*.json; do
    name="$(basename "$machine" .json)"
    machine_folders "$name"
    win_rc=$(wine_exe --cwd "$wdir" --stdout "$wdir/out.txt" "$QIR_SIM_EXE" --scan \
        --machine "$(win_path "$machine")" --state state.json --trace trace.txt -- /json=scan.json)
    (cd "$ldir" && "$QIR_NATIVE_SIM" --scan --machine "$machine" --state state.json \
        --trace trace.txt -- /json=scan.json >out.txt 2>/dev/null) && native_rc=0 || native_rc=$?
    expect_eq "$name: exit code" "$native_rc" "$win_rc"
    crlf_to_lf "$wdir/out.txt" >"$wdir/out.lf"
    expect_same "$name: report" "$ldir/out.txt" "$wdir/out.lf"
    for f in scan.json state.json trace.txt; do
        expect_same "$name: $f" "$ldir/$f" "$wdir/$f"
    done
done

finish
