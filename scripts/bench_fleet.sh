#!/usr/bin/env bash
# The playbook deploy/ansible/qir.yml on simulated fleets (tests/deploy/fleet.py) of 50
# and 200 hosts from a fixed seed, twice each with 10 forks: prints each run's recap, the
# hosts that failed by the task they failed at, and the time per host. Exits 1 when the
# fleet did not end as its hosts' kinds say it must.
#
#   scripts/bench_fleet.sh [HOSTS...]     (default: 50 200; qir-sim of build/bench)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
native=${QIR_BENCH_BUILD:-$root/build/bench}
cmake -S "$root" -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQIR_BUILD_TESTS=OFF >/dev/null
cmake --build "$native" -j2 --target qir-sim >/dev/null

export QIR_SOURCE_DIR="$root"
source "$root/tests/deploy/deploy_test_lib.sh"
source "$root/tests/deploy/fleet_lib.sh"
need ansible-playbook
QIR_SIM="$native/qir-sim"
sizes=("$@")
[[ ${#sizes[@]} -gt 0 ]] || sizes=(50 200)
for hosts in "${sizes[@]}"; do
    echo "== $hosts hosts"
    run_fleet "$hosts" 22
done
finish
