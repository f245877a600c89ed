#!/usr/bin/env bash
# The rollout through Intune or Configuration Manager, rehearsed (tests/powershell/
# Invoke-QirRollout.ps1) on simulated fleets of 50 and 200 hosts from a fixed seed: prints
# each cycle, the recap, the hosts by outcome and the time per host. Exits 1 when the
# fleet did not end as its hosts' kinds say it must.
#
#   scripts/bench_rollout.sh [HOSTS...]     (default: 50 200; qir-sim of build/bench)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
native=${QIR_BENCH_BUILD:-$root/build/bench}
"$root/scripts/install_deps.sh" powershell
cmake -S "$root" -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQIR_BUILD_TESTS=OFF >/dev/null
cmake --build "$native" -j2 --target qir-sim >/dev/null

export QIR_SOURCE_DIR="$root" QIR_NATIVE_SIM="$native/qir-sim" QIR_POWERSHELL_DIR="$root/build/tools"
source "$root/tests/powershell/powershell_lib.sh"
source "$root/tests/powershell/rollout_lib.sh"
sizes=("$@")
[[ ${#sizes[@]} -gt 0 ]] || sizes=(50 200)
status=0
for hosts in "${sizes[@]}"; do
    echo "== $hosts hosts"
    run_rollout "$WORK/fleet" "$hosts" 27 || status=1
done
exit $status
