#!/usr/bin/env bash
# The shipped qir.exe (the Release build that is packaged) with /s /log= on the emulated
# Windows machine, against qir-sim on the same description in Wine's order: the same
# exit code, standard output (CR LF), log (time stamps masked) and state dump. A
# description Wine's SetupAPI cannot hold is refused with the entry named.
source "$(dirname "$0")/machine_lib.sh"

machine_session

runs=0
for machine in "${machines[@]}"; do
    machine_folder "$machine" || continue
    real_rc=$(wine_exe --cwd "$d/real" --stdout "$d/real/out.txt" "$QIR_EXE" /s /log=report.txt)
    machine_state "$real_rc" "$d/real/state.json"
    (cd "$d/sim" && "$QIR_NATIVE_SIM" --machine "$d/wine-order.json" --state state.json \
        -- /s /log=report.txt >out.txt 2>err.txt) || true
    runs=$((runs + 1))

    expect_eq "$name: exit code" "$(result_code_of "$d/sim/state.json")" "$real_rc"
    expect_same_output "$name: standard output" "$d/real/out.txt" "$d/sim/out.txt"
    expect_same_log "$name: log" "$d/real/report.txt" "$d/sim/report.txt"
    expect_same "$name: state" "$d/sim/state.json" "$d/real/state.json"
done

# What Wine's SetupAPI cannot hold is refused before anything is installed.
printf '%s\n' '{"devices": [{"class": "disk", "instance_id": "SCSI\\DISK\\1",' \
    ' "property_errors": {"parent_id": 13}}]}' >"$WORK/unheld.json"
rc=$(wine_exe --direct --stderr "$WORK/unheld.err" "$MACHINE_INSTALLER" install \
    "$(win_path "$WORK/unheld.json")" "$(win_path "$MACHINE_DRIVER")" "$(win_path "$WORK/x.json")")
expect_eq "exit code of a description Wine cannot hold" 2 "$rc"
grep -q 'devices\[0\]\.property_errors:' "$WORK/unheld.err" ||
    fail "the refusal names no entry: $(cat "$WORK/unheld.err")"

echo "$test_name: $runs machine(s) compared"
finish
