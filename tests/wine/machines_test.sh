#!/usr/bin/env bash
# Every machine description, run by the Linux qir-sim and by qir-sim.exe under Wine:
# the same core on the same simulated machine must say and leave exactly the same.
#   standard output  the same once CR LF is LF
#   log file         the same bytes but for argument 0 (the simulated clock is fixed)
#   state, trace     the same bytes
#   machine written  the same bytes (--write-machine)
#   exit code        Wine's full code is the state's result_code; Linux keeps 8 bits
# A run that a kill ends leaves the same state, trace and machine; its exit code is the
# one TerminateProcess leaves under Windows and the kill signal on Linux.
# A description the runner refuses must be refused by both, with the same exit code.
source "$(dirname "$0")/wine_test_lib.sh"

shopt -s nullglob
machines=("$QIR_SOURCE_DIR"/sim/machines/*.json "$QIR_SOURCE_DIR"/tests/machines/*.json)
shopt -u nullglob
[[ ${#machines[@]} -gt 0 ]] || { fail "no machine description found"; finish; }
# And one that both must refuse alike.
printf '{"no_such_key": 1}\n' >"$WORK/refused.json"
machines+=("$WORK/refused.json")

# One Wine server for all the runs, instead of one started and stopped per run; it goes
# with the test's prefix when the test ends.
# The first start in the prefix now and then fails under load ("could not be started");
# it only brings the server up, so one more try is all it takes.
wine_exe "$QIR_SIM_EXE" /x >/dev/null 2>&1 || { sleep 1; wine_exe "$QIR_SIM_EXE" /x >/dev/null; }
WINEPREFIX="$WINE_PREFIX_DIR" wineserver -p 2>/dev/null || true

mask_program() {
    awk '{ while ((i = index($0, ENVIRON["PROG"])) > 0)
               $0 = substr($0, 1, i - 1) "<program>" substr($0, i + length(ENVIRON["PROG"]));
           print }' "$1"
}

# The result_code of a state dump, or nothing.
result_code_of() {
    grep -o '"result_code": *-\{0,1\}[0-9]*' "$1" | head -n 1 | sed 's/.*: *//'
}

# Each file of the two runs must exist in both or in neither.
both_or_neither() {
    local what="$1" file="$2"
    if [[ -f "$ldir/$file" && -f "$wdir/$file" ]]; then
        return 0
    fi
    [[ -f "$ldir/$file" || -f "$wdir/$file" ]] &&
        fail "$what: $file written by only one (linux: $([[ -f "$ldir/$file" ]] && echo yes || echo no))"
    return 1
}

runs=0
for machine in "${machines[@]}"; do
    rel="${machine#"$QIR_SOURCE_DIR"/}"
    name="$(echo "$rel" | tr '/' '_')"
    name="${name%.json}"
    machine_folders "$name"

    win_rc=$(wine_exe --cwd "$wdir" --stdout "$wdir/out.txt" --stderr "$wdir/err.txt" \
        "$QIR_SIM_EXE" --machine "$(win_path "$machine")" --state state.json \
        --trace trace.txt --write-machine machine.json -- /s /log=report.txt)
    (cd "$ldir" && "$QIR_NATIVE_SIM" --machine "$machine" --state state.json \
        --trace trace.txt --write-machine machine.json -- /s /log=report.txt >out.txt 2>err.txt) &&
        native_rc=0 || native_rc=$?
    runs=$((runs + 1))

    expect_eq "$rel: exit code (Linux keeps 8 bits)" "$native_rc" "$((win_rc & 255))"
    crlf_to_lf "$wdir/out.txt" >"$wdir/out.lf"
    expect_same "$rel: standard output" "$ldir/out.txt" "$wdir/out.lf"

    if both_or_neither "$rel" state.json; then
        expect_same "$rel: state" "$ldir/state.json" "$wdir/state.json"
        expect_eq "$rel: exit code against the state's result_code" \
            "$(result_code_of "$ldir/state.json")" "$win_rc"
    elif [[ ! -f "$ldir/state.json" && ! -f "$wdir/state.json" ]]; then
        # Refused before the tool ran: no state, no log, and the runner's own code.
        expect_eq "$rel: exit code of a refused description" 2 "$win_rc"
        echo "note: $rel was refused: $(head -n 1 "$ldir/err.txt")"
    fi
    for file in trace.txt machine.json; do
        if both_or_neither "$rel" "$file"; then
            expect_same "$rel: $file" "$ldir/$file" "$wdir/$file"
        fi
    done
    if both_or_neither "$rel" report.txt; then
        PROG="$(win_path "$QIR_SIM_EXE")" mask_program "$wdir/report.txt" >"$wdir.log"
        PROG="$QIR_NATIVE_SIM" mask_program "$ldir/report.txt" >"$ldir.log"
        expect_same "$rel: log file" "$ldir.log" "$wdir.log"
    elif [[ -f "$ldir/state.json" ]]; then
        fail "$rel: the run wrote no log file"
    fi
done

kdir="$WORK/killed"
mkdir -p "$kdir/windows" "$kdir/linux"
jq '.faults = [{"kind": "inbox.download", "occurrence": 5, "interrupt": "kill"}]' \
    "$QIR_SOURCE_DIR/sim/machines/default.json" >"$kdir/machine.json"
win_rc=$(wine_exe --cwd "$kdir/windows" --stdout "$kdir/windows/out.txt" "$QIR_SIM_EXE" \
    --machine "$(win_path "$kdir/machine.json")" --state state.json --trace trace.txt \
    --write-machine left.json -- /s /log=report.txt)
(cd "$kdir/linux" && "$QIR_NATIVE_SIM" --machine "$kdir/machine.json" --state state.json \
    --trace trace.txt --write-machine left.json -- /s /log=report.txt >out.txt 2>/dev/null) &&
    native_rc=0 || native_rc=$?
expect_eq "killed run: exit code under Wine" 1 "$win_rc"
expect_eq "killed run: exit code on Linux (SIGKILL)" 137 "$native_rc"
for file in state.json trace.txt left.json report.txt; do
    expect_same "killed run: $file" "$kdir/linux/$file" "$kdir/windows/$file"
done

echo "$test_name: $runs machine description(s) compared"
finish
