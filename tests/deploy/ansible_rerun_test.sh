#!/usr/bin/env bash
# The playbook run for real, on a fake host: this machine, through a stand-in for the
# ansible.windows modules (fake_windows/) whose qir-scan.exe, qir.exe and reboot answer
# from a drive state. It shows the rerun rule that deployments rely on: a second run
# on an updated host makes no change and fails nothing; and that the playbook stops
# where the scan or the update says something went wrong.
source "$(dirname "$0")/deploy_test_lib.sh"
need ansible-playbook

export ANSIBLE_COLLECTIONS_PATH="$TEST_DIR/fake_windows"
export ANSIBLE_COLLECTIONS_SCAN_SYS_PATH=false
mkdir -p files
echo "program" >files/qir.exe
echo "scan" >files/qir-scan.exe
cat >inventory.yml <<INV
qir_targets:
  hosts:
    fake-host:
      ansible_connection: local
      ansible_python_interpreter: $(command -v python3)
INV

# new_host NAME STATE_JSON: a host of its own with that drive state.
new_host() {
    export QIR_FAKE_HOST="$WORK/$1"
    mkdir -p "$QIR_FAKE_HOST"
    echo "$2" >"$QIR_FAKE_HOST/state.json"
}

# play WHAT EXPECTED_RC: one run of the playbook; sets recap (the host's recap line)
# and calls (the programs it ran with their arguments, ";" after each).
play() {
    : >"$QIR_FAKE_HOST/calls"
    local rc=0
    ansible-playbook -i inventory.yml -e "qir_source=$WORK/files" "$PLAYBOOK" \
        >"$QIR_FAKE_HOST/out.txt" 2>&1 || rc=$?
    [[ $rc == "$2" ]] || { cat "$QIR_FAKE_HOST/out.txt" >&2; fail "$1: ansible-playbook ended with $rc"; }
    recap=$(grep -o 'changed=[0-9]*.*failed=[0-9]*' "$QIR_FAKE_HOST/out.txt" | tr -s ' ' || true)
    calls=$(tr '\n' ';' <"$QIR_FAKE_HOST/calls")
}

# A drive that needs a reboot: copy, scan, update, reboot, scan again; then a rerun
# that copies nothing and runs only the scan.
new_host reboot '{"revision": "old", "activation": "reboot"}'
play "first run, reboot" 0
expect_eq "first run, reboot: programs run" "qir-scan.exe;qir.exe /s /log=C:\\Windows\\Logs\\qir.log;reboot;qir-scan.exe;" "$calls"
expect_eq "first run, reboot: recap" "changed=3 unreachable=0 failed=0" "$recap"
play "second run, reboot" 0
expect_eq "second run, reboot: programs run" "qir-scan.exe;" "$calls"
expect_eq "second run, reboot: recap" "changed=0 unreachable=0 failed=0" "$recap"

# Firmware active at once: no reboot.
new_host now '{"revision": "old", "activation": "now"}'
play "first run, active at once" 0
expect_eq "first run, active at once: programs run" "qir-scan.exe;qir.exe /s /log=C:\\Windows\\Logs\\qir.log;qir-scan.exe;" "$calls"
play "second run, active at once" 0
expect_eq "second run, active at once: recap" "changed=0 unreachable=0 failed=0" "$recap"

# A host already current from the start: nothing but the copy and the scan.
new_host current '{"revision": "current", "activation": "now"}'
play "already current" 0
expect_eq "already current: programs run" "qir-scan.exe;" "$calls"

# An incomplete scan (not an administrator, a drive that cannot be opened) stops the
# host before any update.
new_host incomplete '{"revision": "old", "activation": "now", "scan_rc": 3}'
play "incomplete scan" 2
expect_eq "incomplete scan: programs run" "qir-scan.exe;" "$calls"
expect_eq "incomplete scan: recap" "changed=1 unreachable=0 failed=1" "$recap"

# Firmware that is not active after the reboot fails the scan after it.
new_host lost '{"revision": "old", "activation": "never"}'
play "firmware lost at reboot" 2
expect_eq "firmware lost at reboot: programs run" "qir-scan.exe;qir.exe /s /log=C:\\Windows\\Logs\\qir.log;reboot;qir-scan.exe;" "$calls"
finish
