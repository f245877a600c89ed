#!/usr/bin/env bash
# scripts/wine_run.sh itself: every argument arrives as it was given, the exit code
# comes back whole (Linux alone would cut 1602 to 66), output lands where asked.
source "$(dirname "$0")/wine_test_lib.sh"

echo_exe="$QIR_WINDOWS_BUILD_DIR/qir-platform-check.exe"
[[ -f "$echo_exe" ]] || { fail "$echo_exe has not been built"; finish; }

args=(
    "/s"
    "/log=x.txt"
    ""
    "two words"
    'C:\Program Files\'
    'C:\plain\'
    'a&b|c<d>e^f(g)'
    '%PATH%'
    '/log=C:\a b\c.txt'
    $'caf\xc3\xa9'
)
for code in 0 1 1602 -1073741819; do
    rc=$(wine_exe --cwd "$WORK" --stdout "$WORK/out.txt" --stderr "$WORK/err.txt" \
        "$echo_exe" --echo "$code" "${args[@]}")
    expect_eq "exit code" "$code" "$rc"
done
printf '[%s]\n' "${args[@]}" >"$WORK/expected.txt"
crlf_to_lf "$WORK/out.txt" >"$WORK/out.lf"
expect_same "arguments as the program saw them" "$WORK/expected.txt" "$WORK/out.lf"

# Refused rather than altered.
if "$QIR_SOURCE_DIR/scripts/wine_run.sh" --prefix "$WINE_PREFIX_DIR" "$echo_exe" --echo 0 \
    'say "hi"' >/dev/null 2>"$WORK/refused.txt"; then
    fail "an argument with a double quote was accepted"
fi
grep -q 'double quote' "$WORK/refused.txt" || fail "no reason given for the refusal"

finish
