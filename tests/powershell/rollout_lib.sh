# shellcheck shell=bash
# The rehearsed rollout on a fleet; sourced after powershell_lib.sh by the rehearsal test
# and the bench.

# The kinds of host of the rehearsal (fleet.py), the first ones once each.
ROLLOUT_KINDS=example_default,example_vroc_raid,example_vroc_non_raid,example_empty,current,reset
ROLLOUT_KINDS+=,failing_drive,access_denied,power_cycle_drive,killed_earlier_run,on_battery,update_running
ROLLOUT_KINDS+=,killed_earlier_run_overlap,restart_pending,immediate,power_lost_earlier_run

# run_rollout FOLDER HOSTS SEED: makes the fleet and rehearses the rollout on it.
run_rollout() {
    rm -rf "$1"
    mkdir -p "$1"
    QIR_SIM="$QIR_NATIVE_SIM" python3 "$QIR_SOURCE_DIR/tests/deploy/fleet.py" make "$1" "$2" "$3" "$ROLLOUT_KINDS"
    "$PWSH" -NoProfile -NonInteractive -File "$QIR_SOURCE_DIR/tests/powershell/Invoke-QirRollout.ps1" -Fleet "$1"
}
