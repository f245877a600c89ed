#!/usr/bin/env bash
# One update at a time, with the real mutex: qir-lock-holder.exe holds the update mutex
# as another update would, and the shipped qir.exe /s /log= on the emulated machine ends
# with 1, says why on standard output and in its log, and sends no device request; its
# output, log and state are qir-sim's on the same description with "update_running". The
# shipped qir-scan.exe meanwhile reports the update running and ends with 6. A holder
# that is killed leaves the mutex abandoned: the next run takes it over and goes ahead,
# as qir-sim's run on the machine itself.
source "$(dirname "$0")/machine_lib.sh"

# qir.exe /s /log=report.txt in DIR/real and qir-sim on DESCRIPTION in DIR/sim, compared:
# exit code, standard output, log and state. The driver's trace goes to DIR/real/trace.txt.
compare_update() {
    local dir="$1" description="$2" real_rc
    mkdir -p "$dir/real" "$dir/sim"
    real_rc=$(wine_exe --cwd "$dir/real" --stdout "$dir/real/out.txt" "$QIR_EXE" /s /log=report.txt)
    rc=$(wine_exe --direct --stderr "$WORK/state.err" "$MACHINE_INSTALLER" state "$real_rc" \
        "$(win_path "$dir/real/state.json")" "$(win_path "$dir/real/trace.txt")")
    [[ "$rc" == 0 ]] || fail "the driver wrote no state ($rc): $(cat "$WORK/state.err")"
    (cd "$dir/sim" && "$QIR_NATIVE_SIM" --machine "$description" --state state.json \
        -- /s /log=report.txt >out.txt 2>err.txt) || true
    expect_eq "$dir: exit code" "$(result_code_of "$dir/sim/state.json")" "$real_rc"
    expect_same_output "$dir: standard output" "$dir/real/out.txt" "$dir/sim/out.txt"
    expect_same_log "$dir: log" "$dir/real/report.txt" "$dir/sim/report.txt"
    expect_same "$dir: state" "$dir/sim/state.json" "$dir/real/state.json"
    update_rc="$real_rc"
}

machine_prefix
machine_folder "$QIR_SOURCE_DIR/sim/machines/default.json" || finish
jq '.update_running = true' "$d/wine-order.json" >"$d/running.json"

# Held by another update: nothing reaches the drives.
holder hold other || finish
compare_update "$WORK/held" "$d/running.json"
expect_eq "held: exit code" 1 "$update_rc"
grep -q '^  \[ERROR\] Another firmware update is running on this machine' "$WORK/held/real/out.txt" ||
    fail "held: no [ERROR] line: $(cat "$WORK/held/real/out.txt")"
grep -q '^Result Details : Another firmware update was running on this machine' \
    "$WORK/held/real/report.txt" || fail "held: the log does not say why"
[[ -f "$WORK/held/real/trace.txt" && ! -s "$WORK/held/real/trace.txt" ]] ||
    fail "held: the machine saw requests: $(head -n 3 "$WORK/held/real/trace.txt")"
jq -e '[.drives[] | select(.downloads.count > 0 or .commits > 0)] | length == 0' \
    "$WORK/held/real/state.json" >/dev/null || fail "held: a drive was written"

mkdir -p "$WORK/scan"
rc=$(wine_exe --cwd "$WORK/scan" --stdout "$WORK/scan/out.txt" "$QIR_SCAN_EXE" /json=scan.json)
expect_eq "scan while held: exit code" 6 "$rc"
jq -e '.schema_version == 3 and .update_running == true and .result.exit_code == 6' \
    "$WORK/scan/scan.json" >/dev/null || fail "scan while held: $(head -c 600 "$WORK/scan/scan.json")"
crlf_to_lf "$WORK/scan/out.txt" | grep -qx 'Result: 6 (an update is running now: try again later)' ||
    fail "scan while held: no result line"
let_go other

# Killed while holding it, with another handle keeping the mutex: abandoned. The scan
# takes it over (its capture shows it) and lets go at once; after a second kill the
# update takes it over and runs as on the machine itself.
holder keep keeper || finish
holder hold victim || finish
killed victim
mkdir -p "$WORK/abandoned-scan"
rc=$(wine_exe --cwd "$WORK/abandoned-scan" --stdout "$WORK/abandoned-scan/out.txt" "$QIR_SCAN_EXE" \
    /json=scan.json /capture=capture.json)
expect_eq "scan after a killed holder: exit code" 1 "$rc"
jq -e '.update_running == false' "$WORK/abandoned-scan/scan.json" >/dev/null ||
    fail "scan after a killed holder reports an update running"
jq -e '.calls[0].op == "take_lock" and .calls[0].result == "taken_over_abandoned"' \
    "$WORK/abandoned-scan/capture.json" >/dev/null ||
    fail "the scan did not meet an abandoned mutex: $(jq -c '.calls[0]' "$WORK/abandoned-scan/capture.json")"

holder hold victim2 || finish
killed victim2
install_machine "$QIR_SOURCE_DIR/sim/machines/default.json" "$d/wine-order.json" || finish
compare_update "$WORK/abandoned" "$d/wine-order.json"
[[ "$update_rc" != 1 ]] || fail "abandoned: the update did not go ahead"
let_go keeper

finish
