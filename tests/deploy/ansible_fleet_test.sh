#!/usr/bin/env bash
# The playbook on a fleet of 12 simulated hosts, one of each kind that fleet.py makes
# first (every example machine, hosts already current, a failing drive, access denied,
# a drive that needs a power cycle, runs killed earlier, a restart still pending), with
# 10 forks, twice: after the first run every host that can be updated is current and
# every other one failed where its kind must; the second run changes nothing and fails
# the same hosts; no host is written to twice. scripts/bench_fleet.sh runs 50 and 200.
source "$(dirname "$0")/deploy_test_lib.sh"
source "$TEST_DIR/fleet_lib.sh"
need ansible-playbook
QIR_SIM="${QIR_NATIVE_SIM:?QIR_NATIVE_SIM names qir-sim}"
run_fleet 12 22
finish
