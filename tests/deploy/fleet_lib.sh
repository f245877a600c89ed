# shellcheck shell=bash
# The playbook on a simulated fleet (fleet.py), twice; sourced after deploy_test_lib.sh
# by the fleet test and the bench. QIR_SIM names qir-sim.

# run_fleet HOSTS SEED: makes the fleet in $WORK/fleet, runs the playbook on it twice with
# 10 forks, prints each run's recap and its time per host, and fails what the judgement
# finds wrong.
run_fleet() {
    local hosts=$1 seed=$2 fleet="$WORK/fleet" run start end rc
    export QIR_SIM ANSIBLE_COLLECTIONS_PATH="$TEST_DIR/fake_windows" \
        ANSIBLE_COLLECTIONS_SCAN_SYS_PATH=false ANSIBLE_CALLBACK_PLUGINS="$TEST_DIR/callback_plugins" \
        ANSIBLE_CALLBACKS_ENABLED=qir_fleet ANSIBLE_FORKS=10 ANSIBLE_PIPELINING=true
    rm -rf "$fleet"
    mkdir -p "$fleet/files"
    echo "program" >"$fleet/files/qir.exe"
    echo "scan" >"$fleet/files/qir-scan.exe"
    python3 "$TEST_DIR/fleet.py" make "$fleet" "$hosts" "$seed" || { fail "fleet.py make"; return; }
    for run in 1 2; do
        start=$(date +%s.%N)
        rc=0
        QIR_FLEET_RESULT="$fleet/result-$run.json" ansible-playbook -i "$fleet/inventory.yml" \
            -e "qir_source=$fleet/files" "$PLAYBOOK" >"$fleet/out-$run.txt" 2>&1 || rc=$?
        end=$(date +%s.%N)
        # Some hosts must fail: ansible-playbook then ends with 2.
        [[ $rc == 2 ]] || { tail -n 30 "$fleet/out-$run.txt" >&2; fail "run $run: ansible-playbook ended with $rc"; }
        python3 "$TEST_DIR/fleet.py" judge "$fleet" "$run" || fail "run $run: the judgement of the fleet"
        awk -v s="$start" -v e="$end" -v n="$hosts" -v r="$run" \
            'BEGIN { printf "run %d: %.1f s for %d hosts, %.2f s per host\n", r, e - s, n, (e - s) / n }'
    done
}
