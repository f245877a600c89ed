#!/usr/bin/env bash
# qir.exe without /s on the emulated Windows machine, on a display of the test's own: a
# real multi-drive update ends in the message box with its summary, kept as a screenshot
# (artifacts/machine_message_box.png); OK ends the process with the result qir-sim gives on
# the same machine, and the drives are left as qir-sim leaves them.
source "$(dirname "$0")/machine_lib.sh"

machine="$QIR_SOURCE_DIR/sim/machines/default.json"
mkdir -p "$WORK/real" "$WORK/sim"

command -v Xvfb >/dev/null || { fail "Xvfb is not installed"; finish; }
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$WORK/display" >"$WORK/xvfb.log" 2>&1 &
xvfb=$!
# The prefix's Wine processes hold the display; they go before it does.
at_exit "WINEPREFIX='$WINE_PREFIX_DIR' wineserver -k; WINEPREFIX='$WINE_PREFIX_DIR' wineserver -w; kill $xvfb; wait $xvfb"
for _ in $(seq 100); do
    [[ -s "$WORK/display" ]] && break
    sleep 0.1
done
[[ -s "$WORK/display" ]] || { fail "Xvfb did not come up: $(cat "$WORK/xvfb.log")"; finish; }
DISPLAY=":$(tr -d '[:space:]' <"$WORK/display")"
export DISPLAY

machine_prefix
install_machine "$machine" "$WORK/wine-order.json" || finish
(cd "$WORK/sim" && "$QIR_NATIVE_SIM" --machine "$WORK/wine-order.json" --state state.json \
    >out.txt 2>err.txt) || true
caption="$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["message_box"]["caption"])' \
    "$WORK/sim/state.json")"

wine_exe --cwd "$WORK/real" --stdout "$WORK/real/out.txt" "$QIR_EXE" >"$WORK/rc.txt" &
runner=$!
at_exit "kill $runner 2>/dev/null; wait $runner 2>/dev/null"

window="$(wait_for_window "--onlyvisible" "$caption" "$runner")"
[[ -n "$window" ]] || { fail "no window titled [$caption] appeared"; finish; }

# Mapped is not yet drawn.
sleep 1
mkdir -p "$QIR_WINE_WORK/artifacts"
import -window root "$QIR_WINE_WORK/artifacts/machine_message_box.png" ||
    fail "could not save a screenshot"
[[ -s "$QIR_WINE_WORK/artifacts/machine_message_box.png" ]] || fail "empty screenshot"

xdotool key --window "$window" Return
for _ in $(seq 150); do
    kill -0 $runner 2>/dev/null || break
    sleep 0.2
done
kill -0 $runner 2>/dev/null && { fail "the process did not end after OK"; finish; }
wait $runner || fail "the Wine runner failed"
real_rc="$(cat "$WORK/rc.txt")"
expect_eq "exit code after OK" "$(result_code_of "$WORK/sim/state.json")" "$real_rc"
expect_same_output "standard output" "$WORK/real/out.txt" "$WORK/sim/out.txt"

# The driver sees no message box: the rest of the state is qir-sim's.
machine_state "$real_rc" "$WORK/real/state.json"
python3 -c 'import json,sys; s=json.load(open(sys.argv[1])); s["message_box"]=None; print(json.dumps(s, indent=1))' \
    "$WORK/sim/state.json" >"$WORK/sim/state.nobox.json"
python3 -c 'import json,sys; print(json.dumps(json.load(open(sys.argv[1])), indent=1))' \
    "$WORK/real/state.json" >"$WORK/real/state.nobox.json"
expect_same "state" "$WORK/sim/state.nobox.json" "$WORK/real/state.nobox.json"

finish
