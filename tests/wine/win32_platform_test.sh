#!/usr/bin/env bash
# The real Win32 platform under Wine (qir-platform-check.exe), and what its files look
# like from the Linux side.
source "$(dirname "$0")/wine_test_lib.sh"

check_exe="$QIR_WINDOWS_BUILD_DIR/qir-platform-check.exe"
[[ -f "$check_exe" ]] || { fail "$check_exe has not been built"; finish; }

rc=$(wine_exe --cwd "$WORK" --stdout "$WORK/out.txt" "$check_exe")
crlf_to_lf "$WORK/out.txt" >&2
expect_eq "failed checks" 0 "$rc"
grep -q '^[0-9]* passed, 0 failed' <(crlf_to_lf "$WORK/out.txt") || fail "no closing count"

# The 16-bit name reached the file system as the same characters, and binary mode kept
# the bytes as written.
name=$'l\xc3\xb6g_\xf0\x9f\x98\x80.txt'
if [[ -f "$WORK/$name" ]]; then
    expect_eq "bytes of the log-style file" '61 0d 0a 62 0a' "$(od -An -tx1 "$WORK/$name" | xargs)"
else
    fail "no file named $name; found: $(ls "$WORK")"
fi

finish
