#!/usr/bin/env bash
# A run without "/s" ends in the message box "KORVANE " + toolVersionName and blocks in
# it; pressing OK lets the process end with its result code. A screenshot of the box is
# kept as a test artifact.
source "$(dirname "$0")/wine_test_lib.sh"

# The caption carries toolVersionName, which the banner's second line shows.
mkdir -p "$WORK/run"
rc=$(wine_exe --cwd "$WORK/run" --stdout "$WORK/banner.txt" "$QIR_EXE" /x)
expect_eq "exit code of /x" 1 "$rc"
version="$(sed -n '2s/\r$//p' "$WORK/banner.txt")"
[[ "$version" =~ ^QIR_TX7Q3_V1\.0\.0_[A-Za-z0-9]{8}$ ]] || {
    fail "no tool version name in the banner: [$version]"
    finish
}
caption="KORVANE $version"

# A second prefix of the test's own, with no server left from the run above: the run
# stops that prefix's Wine processes with its display.
own_prefix "$WORK/prefix-gui"
"$QIR_SOURCE_DIR/scripts/wine_run.sh" --prefix "$WORK/prefix-gui" --xvfb \
    --display-file "$WORK/display" --cwd "$WORK/run" --stdout "$WORK/out.txt" \
    "$QIR_EXE" >"$WORK/rc.txt" &
runner=$!

# Stopping the runner also ends the Wine processes of its prefix and its display.
stop_runner() {
    if kill -0 $runner 2>/dev/null; then
        kill $runner 2>/dev/null || true
    fi
    wait $runner 2>/dev/null || true
}
at_exit stop_runner

for _ in $(seq 600); do
    [[ -s "$WORK/display" ]] && break
    kill -0 $runner 2>/dev/null || break
    sleep 0.1
done
[[ -s "$WORK/display" ]] || { fail "Xvfb did not start"; stop_runner; finish; }
DISPLAY="$(cat "$WORK/display")"
export DISPLAY

window="$(wait_for_window "" "$caption" "$runner")"

if [[ -z "$window" ]]; then
    fail "no window titled [$caption] appeared"
    stop_runner
    finish
fi

mkdir -p "$QIR_WINE_WORK/artifacts"
import -window root "$QIR_WINE_WORK/artifacts/message_box.png" ||
    fail "could not save a screenshot"
[[ -s "$QIR_WINE_WORK/artifacts/message_box.png" ]] || fail "empty screenshot"

# The box is modal: until it is closed the process has not ended.
sleep 1
kill -0 $runner 2>/dev/null || fail "the process ended while its message box was open"
expect_eq "exit code before OK" "" "$(cat "$WORK/rc.txt")"

xdotool key --window "$window" Return
for _ in $(seq 150); do
    kill -0 $runner 2>/dev/null || break
    sleep 0.2
done
if kill -0 $runner 2>/dev/null; then
    fail "the process did not end after OK"
    stop_runner
else
    wait $runner || fail "the Wine runner failed"
fi
expect_eq "exit code after OK" 1 "$(cat "$WORK/rc.txt")"
grep -q '^ >> QIR Ended (Return Code : 1)' <(crlf_to_lf "$WORK/out.txt") ||
    fail "no closing line before the message box"

finish
