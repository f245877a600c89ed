# shellcheck shell=bash
# Shared by the tests of the emulated Windows machine (ctest label wine-machine,
# docs/emulated-windows.md); sourced, not run. A test puts machine after machine into one
# Wine prefix of its own, the shipped programs run on each under Wine, and qir-sim runs on
# the same description in Wine's order. The prefix's Wine server is kept up from one
# program to the next (Wine would stop its services, the machine driver's among them, with
# the last program), and goes with the prefix when the test ends.
source "$(dirname "${BASH_SOURCE[0]}")/../wine_test_lib.sh"

MACHINE_TESTS="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
MACHINE_DRIVER="$QIR_WINDOWS_BUILD_DIR/qir-machine.sys"
MACHINE_INSTALLER="$QIR_WINDOWS_BUILD_DIR/qir-machine-install.exe"
LOCK_HOLDER="$QIR_WINDOWS_BUILD_DIR/qir-lock-holder.exe"
for f in "$MACHINE_DRIVER" "$MACHINE_INSTALLER" "$LOCK_HOLDER"; do
    [[ -f "$f" ]] || { echo "FAIL: $f has not been built" >&2; exit 1; }
done

# The descriptions every test runs, into the array `machines`: those QIR_MACHINES names
# (paths separated by ':') when it is set; else the example machines, the small ones
# beside this file, and the generated ones.
machine_descriptions() {
    machines=()
    if [[ -n "${QIR_MACHINES:-}" ]]; then
        IFS=: read -r -a machines <<<"$QIR_MACHINES"
        return
    fi
    machines=("$QIR_SOURCE_DIR"/sim/machines/*.json "$MACHINE_TESTS"/machines/*.json)
    # The generated machines plug in here: 20 drawn from a fixed seed with the profile
    # Wine's SetupAPI can hold, when the build has the generator (QIR_MACHINE_GEN).
    if [[ -n "${QIR_MACHINE_GEN:-}" ]]; then
        mkdir -p "$WORK/generated"
        "$QIR_MACHINE_GEN" --seed 21 --profile wine --count 20 --out "$WORK/generated" >/dev/null ||
            { fail "the generator could not make the machines"; return; }
        machines+=("$WORK/generated"/*.json)
    fi
}

# A name for a description's files: its path from the repository, '/' as '_'.
machine_name() {
    local rel="${1#"$WORK"/}"
    rel="${rel#"$QIR_SOURCE_DIR"/}"
    rel="${rel//\//_}"
    echo "${rel%.json}"
}

# The test's prefix with its server kept up.
machine_prefix() {
    own_prefix "$WINE_PREFIX_DIR"
    WINEPREFIX="$WINE_PREFIX_DIR" wineserver -p
}

# The descriptions to run (`machines`) and the prefix to run them in.
machine_session() {
    machine_descriptions
    [[ ${#machines[@]} -gt 0 ]] || { fail "no machine description"; finish; }
    machine_prefix
}

# machine_folder DESCRIPTION: the machine installed, `name` and its folder `d` (with real/
# and sim/ in it, and the description in Wine's order as wine-order.json); 1 when it
# could not be installed (the test has failed then).
machine_folder() {
    name="$(machine_name "$1")"
    d="$WORK/$name"
    mkdir -p "$d/real" "$d/sim"
    install_machine "$1" "$d/wine-order.json"
}

# The other update a description with "update_running": true stands for: qir-lock-holder.exe
# holding the real update mutex (below) from the machine's install until the next install
# or the end of the test.

# holder MODE NAME: qir-lock-holder.exe MODE in the background, its standard input a FIFO
# that this shell keeps open (file descriptor in holder_fd[NAME]); waits up to 30 s for
# its word. Its process id goes to holder_pid[NAME].
declare -A holder_pid holder_fd
holder() {
    local mode="$1" name="$2" word fd
    word="$([[ "$mode" == hold ]] && echo held || echo kept)"
    rm -f "$WORK/$name.in"
    mkfifo "$WORK/$name.in"
    WINEPREFIX="$WINE_PREFIX_DIR" WINEDEBUG=-all wine "$LOCK_HOLDER" "$mode" \
        <"$WORK/$name.in" >"$WORK/$name.out" 2>&1 &
    holder_pid[$name]=$!
    exec {fd}>"$WORK/$name.in"
    holder_fd[$name]=$fd
    at_exit "kill -KILL ${holder_pid[$name]} 2>/dev/null"
    for _ in $(seq 150); do
        grep -q "^$word" "$WORK/$name.out" 2>/dev/null && return 0
        kill -0 "${holder_pid[$name]}" 2>/dev/null || break
        sleep 0.2
    done
    fail "qir-lock-holder.exe $mode did not say $word: $(cat "$WORK/$name.out")"
    return 1
}

# let_go NAME: the holder's input ends; it lets go and ends with 0.
let_go() {
    local rc=0
    exec {holder_fd[$1]}>&-
    wait "${holder_pid[$1]}" || rc=$?
    expect_eq "$1: exit code of qir-lock-holder.exe" 0 "$rc"
}

# killed NAME: the holder is killed without letting go.
killed() {
    kill -KILL "${holder_pid[$1]}"
    wait "${holder_pid[$1]}" 2>/dev/null || true
    exec {holder_fd[$1]}>&-
}

# install_machine DESCRIPTION ORDER: the machine in place of the one before, in the form
# the emulated machine can hold (wine_form.py, which names each change); ORDER gets that
# form in Wine's order, for qir-sim. Fails the test (and returns 1) when the installer
# does not end with 0.
install_machine() {
    local rc form="${2%.json}.form.json"
    python3 "$MACHINE_TESTS/wine_form.py" "$1" "$form" | sed "s/^/note: $(machine_name "$1"): /"
    rc=$(wine_exe --direct --stderr "$WORK/install.err" "$MACHINE_INSTALLER" install \
        "$(win_path "$form")" "$(win_path "$MACHINE_DRIVER")" "$(win_path "$2")")
    [[ "$rc" != 0 ]] && {
        fail "$(machine_name "$1"): the installer ended with $rc: $(cat "$WORK/install.err")"
        return 1
    }
    if [[ -n "${holder_pid[described]:-}" ]]; then
        let_go described
        unset 'holder_pid[described]'
    fi
    if jq -e '.update_running == true' "$1" >/dev/null; then
        holder hold described || return 1
    fi
    return 0
}

# machine_state RESULT_CODE FILE: the driver writes the machine's state with that result.
machine_state() {
    local rc
    rc=$(wine_exe --direct --stderr "$WORK/state.err" "$MACHINE_INSTALLER" state "$1" \
        "$(win_path "$2")")
    [[ "$rc" == 0 ]] || fail "the driver wrote no state ($rc): $(cat "$WORK/state.err")"
}

# The result_code of a state dump, or nothing.
result_code_of() {
    grep -o '"result_code": *-\{0,1\}[0-9]*' "$1" | head -n 1 | sed 's/.*: *//'
}

# expect_same_output WHAT REAL SIM: the program's standard output under Wine (CR LF
# lines) against qir-sim's.
expect_same_output() {
    expect_crlf_lines "$1" "$2"
    crlf_to_lf "$2" >"$2.lf"
    expect_same "$1" "$3" "$2.lf"
}

# expect_same_log WHAT REAL SIM: the logs with their time stamps and program paths masked.
expect_same_log() {
    mask_log "$2" "$(win_path "$QIR_EXE")" >"$2.masked"
    mask_log "$3" "$QIR_NATIVE_SIM" >"$3.masked"
    expect_same "$1" "$3.masked" "$2.masked"
}
