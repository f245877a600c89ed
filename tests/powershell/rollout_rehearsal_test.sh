#!/usr/bin/env bash
# A rollout through Intune or Configuration Manager rehearsed on 12 simulated hosts from
# a fixed seed (tests/powershell/Invoke-QirRollout.ps1): every example machine, hosts
# already current, a drive at a reset, a failing drive, access denied, a drive that needs
# a power cycle, a run killed earlier, a laptop on battery plugged in a cycle later, and
# a host where another update runs for two cycles. scripts/bench_rollout.sh runs 50 and 200.
source "$(dirname "$0")/powershell_lib.sh"
source "$QIR_SOURCE_DIR/tests/powershell/rollout_lib.sh"
run_rollout "$WORK/fleet" 12 27
