#!/usr/bin/env bash
# The playbook run for real, on a fake host: this machine, through a stand-in for the
# ansible.windows modules (fake_windows/) whose qir-scan.exe, qir.exe and reboot run
# qir-sim on the host's simulated machine (fleet.py makes it). It shows, program by
# program, the rerun rule that deployments rely on: a second run on an updated host makes
# no change and fails nothing; that the playbook stops where the scan or the update says
# something went wrong; that a firmware already written is restarted into, not written
# again; and that a drive that needs a power cycle fails its host, once with a restart
# and then without, until a full shutdown.
source "$(dirname "$0")/deploy_test_lib.sh"
need ansible-playbook
QIR_SIM="${QIR_NATIVE_SIM:?QIR_NATIVE_SIM names qir-sim}"

export QIR_SIM ANSIBLE_COLLECTIONS_PATH="$TEST_DIR/fake_windows" ANSIBLE_COLLECTIONS_SCAN_SYS_PATH=false
mkdir -p files
echo "program" >files/qir.exe
echo "scan" >files/qir-scan.exe
update="qir.exe /s /log=C:\\Windows\\Logs\\qir.log;written"
scan="qir-scan.exe /json=C:\\Windows\\Logs\\qir-scan.json"

# new_host KIND: a host of its own with one drive of that kind.
new_host() {
    host="$WORK/$1/$1"
    python3 "$TEST_DIR/fleet.py" host "$host" "$1"
}

# play WHAT EXPECTED_RC: one run of the playbook; sets recap (the host's recap line)
# and calls (the programs it ran with their arguments, and "written" after an update
# that wrote the image, ";" after each).
play() {
    : >"$host/calls"
    local rc=0
    ansible-playbook -i "$(dirname "$host")/inventory.yml" -e "qir_source=$WORK/files" "$PLAYBOOK" \
        >"$host/out.txt" 2>&1 || rc=$?
    [[ $rc == "$2" ]] || { cat "$host/out.txt" >&2; fail "$1: ansible-playbook ended with $rc"; }
    recap=$(grep -o 'changed=[0-9]*.*failed=[0-9]*' "$host/out.txt" | tr -s ' ' || true)
    calls=$(tr '\n' ';' <"$host/calls")
}

# A drive that takes the image at a reset: copy, scan, update (the inbox driver reports
# it done, 0), the scan that finds it waiting (5), reboot, scan again; then a rerun that
# copies nothing and runs only the scan.
new_host reset
play "first run, reset" 0
expect_eq "first run, reset: programs run" "$scan;$update;$scan;reboot;$scan;" "$calls"
expect_eq "first run, reset: recap" "changed=3 unreachable=0 failed=0" "$recap"
play "second run, reset" 0
expect_eq "second run, reset: programs run" "$scan;" "$calls"
expect_eq "second run, reset: recap" "changed=0 unreachable=0 failed=0" "$recap"

# Firmware active at once: the scan after the update finds nothing left, so no reboot.
new_host immediate
play "first run, active at once" 0
expect_eq "first run, active at once: programs run" "$scan;$update;$scan;" "$calls"
play "second run, active at once" 0
expect_eq "second run, active at once: recap" "changed=0 unreachable=0 failed=0" "$recap"

# A host already current from the start: nothing but the copy and the scan.
new_host current
play "already current" 0
expect_eq "already current: programs run" "$scan;" "$calls"

# An incomplete scan (not an administrator, a drive that cannot be opened) stops the
# host before any update.
new_host access_denied
play "incomplete scan" 2
expect_eq "incomplete scan: programs run" "$scan;" "$calls"
expect_eq "incomplete scan: recap" "changed=1 unreachable=0 failed=1" "$recap"

# An earlier run wrote the image and the restart is still to come: a restart, no update.
new_host restart_pending
play "restart pending" 0
expect_eq "restart pending: programs run" "$scan;reboot;$scan;" "$calls"

# A drive that needs a power cycle: the restart leaves it waiting, and the host fails
# with a note; the rerun fails it again without a restart, and after a full shutdown the
# run finds nothing to do and takes the note away.
new_host power_cycle_drive
play "power cycle, first run" 2
expect_eq "power cycle, first run: programs run" "$scan;$update;$scan;reboot;$scan;" \
    "$calls"
grep -q "shut the host down fully" "$host/out.txt" || fail "power cycle, first run: no word of the shutdown"
play "power cycle, second run" 2
expect_eq "power cycle, second run: programs run" "$scan;" "$calls"
expect_eq "power cycle, second run: recap" "changed=0 unreachable=0 failed=1" "$recap"
"$QIR_SIM" --machine "$host/machine.json" --event power_cycle --no-run --write-machine "$host/machine.json"
play "power cycle, after the shutdown" 0
expect_eq "power cycle, after the shutdown: programs run" "$scan;" "$calls"
expect_eq "power cycle, after the shutdown: recap" "changed=1 unreachable=0 failed=0" "$recap"
[[ ! -e "$host/Windows/Logs/qir-shutdown-needed.txt" ]] || fail "the note outlived the shutdown"
# A host the playbook must leave for later: it fails with its reason before anything is
# started, and once the reason is gone (the jq edit of its machine) the next run updates it.
deferred_then_updated() { # KIND CASE MESSAGE JQ_EDIT CASE_AFTER
    new_host "$1"
    play "$2" 2
    expect_eq "$2: programs run" "$scan;" "$calls"
    grep -q "$3" "$host/out.txt" || fail "$2: no word of the reason"
    jq "$4" "$host/machine.json" >"$host/m.json" && mv "$host/m.json" "$host/machine.json"
    play "$5" 0
    expect_eq "$5: programs run" "$scan;$update;$scan;reboot;$scan;" "$calls"
}
deferred_then_updated update_running "another update running" \
    "Another firmware update is running on this host now" '.update_running = false' \
    "the other update over"
deferred_then_updated on_battery "on battery" "The host runs on battery" \
    '.power.ac_line = "online"' "plugged in"
finish
