#!/usr/bin/env bash
# Machine capture under Wine.
#   qir-scan.exe /capture=  real Win32 calls: a capture that reads as one (format, schema,
#                           calls), which qir-sim --from-capture rebuilds and runs on
#   qir-sim.exe --scan -- /capture= against the Linux qir-sim on every example machine:
#                           the same capture bytes apart from the header line (host, time)
source "$(dirname "$0")/wine_test_lib.sh"

mkdir -p "$WORK/real"
rc=$(wine_exe --cwd "$WORK/real" --stdout "$WORK/real/out.txt" "$QIR_SCAN_EXE" \
    /json=scan.json /capture=capture.json)
expect_eq "qir-scan.exe /capture= exit code" 0 "$rc"
if [[ -f "$WORK/real/capture.json" ]]; then
    jq -e '.format == "qir-capture" and .schema == 3 and (.header.time | test("Z$"))
           and (.header.local_time | test("^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9:]{8}$"))
           and (.calls | length) > 0 and any(.calls[]; .op == "get_class_devs")' \
        "$WORK/real/capture.json" >/dev/null ||
        fail "capture.json: $(head -c 400 "$WORK/real/capture.json")"
    (cd "$WORK/real" && "$QIR_NATIVE_SIM" --from-capture capture.json \
        --write-machine machine.json -- /s >rebuilt.txt 2>rebuilt.err) && sim_rc=0 || sim_rc=$?
    # No drive of the family on a Wine machine: the update finds none and ends with 1.
    expect_eq "qir-sim --from-capture of the Wine capture" 1 "$sim_rc"
    [[ -s "$WORK/real/machine.json" ]] || fail "no machine rebuilt: $(cat "$WORK/real/rebuilt.err")"
else
    fail "qir-scan.exe wrote no capture.json"
fi

for machine in "$QIR_SOURCE_DIR"/sim/machines/*.json; do
    name="$(basename "$machine" .json)"
    machine_folders "$name"
    win_rc=$(wine_exe --cwd "$wdir" --stdout "$wdir/out.txt" "$QIR_SIM_EXE" --scan \
        --machine "$(win_path "$machine")" -- /capture=capture.json)
    (cd "$ldir" && "$QIR_NATIVE_SIM" --scan --machine "$machine" -- /capture=capture.json \
        >out.txt 2>/dev/null) && native_rc=0 || native_rc=$?
    expect_eq "$name: exit code" "$native_rc" "$win_rc"
    sed 2d "$ldir/capture.json" >"$ldir/body.json"
    sed 2d "$wdir/capture.json" >"$wdir/body.json"
    expect_same "$name: capture apart from its header" "$ldir/body.json" "$wdir/body.json"
done

finish
