#!/usr/bin/env bash
# The shipped qir-scan.exe on the emulated Windows machine against qir-sim --scan on the
# same description in Wine's order: the same report, JSON and exit code. Its capture
# (/capture=) holds the calls qir-sim's own capture holds, apart from what the real calls
# answer differently from the simulated platform (tests/wine/machine/capture_calls.py,
# docs/emulated-windows.md), and the machine qir-sim --from-capture rebuilds from it gives
# the update result of the machine itself.
source "$(dirname "$0")/machine_lib.sh"

machine_session
calls="$MACHINE_TESTS/capture_calls.py"

# The update run of qir-sim in DIR (`/s /log=report.txt`), with its exit code in DIR/rc.
sim_update() {
    local dir="$1" rc
    shift
    mkdir -p "$dir"
    (cd "$dir" && "$QIR_NATIVE_SIM" "$@" -- /s /log=report.txt >out.txt 2>err.txt) && rc=0 || rc=$?
    echo "$rc" >"$dir/rc"
}

as_looked_at() {
    python3 - "$1" "$2" <<'PY'
import json, sys
d = json.load(open(sys.argv[1], encoding="utf-8"))
for drive in d.get("drives", []):
    if drive.get("activation") == "power_cycle":
        drive["activation"] = "reset"
firmware = (".download", ".activate", ".commit")
d["faults"] = [f for f in d.get("faults", []) if not f["kind"].endswith(firmware)]
json.dump(d, open(sys.argv[2], "w", encoding="utf-8"), indent=1)
PY
}

runs=0
for machine in "${machines[@]}"; do
    machine_folder "$machine" || continue
    real_rc=$(wine_exe --cwd "$d/real" --stdout "$d/real/out.txt" "$QIR_SCAN_EXE" \
        /json=scan.json /capture=capture.json)
    (cd "$d/sim" && "$QIR_NATIVE_SIM" --scan --machine "$d/wine-order.json" \
        -- /json=scan.json /capture=capture.json >out.txt 2>err.txt) && sim_rc=0 || sim_rc=$?
    runs=$((runs + 1))

    expect_eq "$name: exit code" "$sim_rc" "$real_rc"
    expect_same_output "$name: report" "$d/real/out.txt" "$d/sim/out.txt"
    expect_same "$name: JSON" "$d/sim/scan.json" "$d/real/scan.json"

    # The capture, numbered as Windows numbers devices, and both bodies.
    python3 "$calls" windows-numbers "$d/real/capture.json" "$d/wine-order.json" \
        "$d/real/windows.json" || { fail "$name: the capture cannot be read"; continue; }
    python3 "$calls" body "$d/real/windows.json" "$d/real/body.txt"
    python3 "$calls" body "$d/sim/capture.json" "$d/sim/body.txt"
    expect_same "$name: capture body" "$d/sim/body.txt" "$d/real/body.txt"

    # Rebuilt, the machine updates as the machine itself would without what no look at it
    # tells: that a drive activates only after a power cycle (the rebuilt one activates at
    # reset), and the faults of firmware requests.
    as_looked_at "$d/wine-order.json" "$d/as-looked-at.json"
    sim_update "$d/itself" --machine "$d/as-looked-at.json"
    sim_update "$d/rebuilt" --from-capture "$d/real/windows.json"
    expect_eq "$name: exit code of the rebuilt machine" "$(cat "$d/itself/rc")" \
        "$(cat "$d/rebuilt/rc")"
    expect_same "$name: update run on the rebuilt machine" "$d/itself/out.txt" "$d/rebuilt/out.txt"
    grep -v '^Input Command' "$d/itself/report.txt" | mask_log /dev/stdin x >"$d/itself.log" || true
    grep -v '^Input Command' "$d/rebuilt/report.txt" | mask_log /dev/stdin x >"$d/rebuilt.log" || true
    expect_same "$name: log of the rebuilt machine" "$d/itself.log" "$d/rebuilt.log"
done

echo "$test_name: $runs machine(s) scanned"
finish
