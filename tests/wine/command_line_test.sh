#!/usr/bin/env bash
# qir.exe's command line under Wine: banner, usage text, the invalid-path line, and the
# log file test-created by a valid "/log=" before a later argument fails.
source "$(dirname "$0")/wine_test_lib.sh"

rule="$(printf '=%.0s' $(seq 96))"

# The banner is four lines: rule, toolVersionName, a notice, rule.
check_banner() {
    local out="$1"
    expect_eq "banner line 1" "$rule" "$(sed -n 1p "$out")"
    [[ "$(sed -n 2p "$out")" =~ ^QIR_TX7Q3_V1\.0\.0_.{8}$ ]] ||
        fail "banner line 2 is not the tool version name: [$(sed -n 2p "$out")]"
    expect_eq "banner line 4" "$rule" "$(sed -n 4p "$out")"
}

# --- "/x": the usage text, byte for byte, and exit code 1 -------------------------------
printf '%s\n' "" "Allowed Behaviors:" \
    "/s                  Execute update package in silently without user intervention." \
    "/log=<FILEPATH>     Write installation log to a specified file." >"$WORK/usage.txt"

mkdir -p "$WORK/usage"
rc=$(wine_exe --cwd "$WORK/usage" --stdout "$WORK/usage/out.txt" "$QIR_EXE" /x)
expect_eq "exit code of /x" 1 "$rc"
expect_crlf_lines "stdout of /x" "$WORK/usage/out.txt"
crlf_to_lf "$WORK/usage/out.txt" >"$WORK/usage/out.lf"
check_banner "$WORK/usage/out.lf"
tail -n +5 "$WORK/usage/out.lf" >"$WORK/usage/after_banner.txt"
expect_same "usage text after the banner" "$WORK/usage.txt" "$WORK/usage/after_banner.txt"

# Same core, same bytes: the Linux build says exactly the same, with LF line ends.
(cd "$WORK/usage" && "$QIR_NATIVE_SIM" /x >native.txt) && native_rc=0 || native_rc=$?
expect_eq "native exit code of /x" 1 "$native_rc"
expect_same "qir.exe /x against the Linux build" "$WORK/usage/native.txt" "$WORK/usage/out.lf"

# --- paths the log file cannot be opened at ----------------------------------------------
mkdir -p "$WORK/paths/a_folder"
printf 'keep' >"$WORK/paths/read_only.txt"
chmod a-w "$WORK/paths/read_only.txt"

# argument | what makes it invalid
cases=(
    'C:\NoSuchFolder\x.txt|a missing folder'
    'a_folder|a folder'
    'read_only.txt|a read-only file'
)
for c in "${cases[@]}"; do
    path="${c%%|*}"
    why="${c#*|}"
    rc=$(wine_exe --cwd "$WORK/paths" --stdout "$WORK/paths/out.txt" "$QIR_EXE" "/log=$path")
    expect_eq "exit code for $why" 1 "$rc"
    crlf_to_lf "$WORK/paths/out.txt" >"$WORK/paths/out.lf"
    check_banner "$WORK/paths/out.lf"
    expect_eq "output after the banner for $why" "[ERROR] $path is invalid file path." \
        "$(tail -n +5 "$WORK/paths/out.lf")"
done
expect_eq "read-only file left alone" keep "$(cat "$WORK/paths/read_only.txt")"

# --- a valid log path is created empty even when a later argument fails -------------------
mkdir -p "$WORK/created"
rc=$(wine_exe --cwd "$WORK/created" --stdout "$WORK/created/out.txt" "$QIR_EXE" /log=out_log.txt /x)
expect_eq "exit code of /log=out_log.txt /x" 1 "$rc"
[[ -f "$WORK/created/out_log.txt" && ! -s "$WORK/created/out_log.txt" ]] ||
    fail "out_log.txt was not created empty"
crlf_to_lf "$WORK/created/out.txt" | tail -n +5 >"$WORK/created/after_banner.txt"
expect_same "usage text after /log=out_log.txt /x" "$WORK/usage.txt" "$WORK/created/after_banner.txt"

finish
