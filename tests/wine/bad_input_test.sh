#!/usr/bin/env bash
# Odd log paths and odd arguments on the Windows build under Wine, each next to the Linux
# build given the same command line: a name outside ASCII, paths of 300 characters, a
# folder, a read-only file, and an argument of 32,000 characters.
source "$(dirname "$0")/wine_test_lib.sh"

usage_lines() {
    printf '%s\n' "" "Allowed Behaviors:" \
        "/s                  Execute update package in silently without user intervention." \
        "/log=<FILEPATH>     Write installation log to a specified file."
}

# Replaces every occurrence of the text in $PROG by <program>.
mask_program() {
    awk '{ while ((i = index($0, ENVIRON["PROG"])) > 0)
               $0 = substr($0, 1, i - 1) "<program>" substr($0, i + length(ENVIRON["PROG"]));
           print }' "$1"
}

# Without drives, every run that gets past the command line ends with 1.
EMPTY_MACHINE="$WORK/empty_machine.json"
echo '{}' >"$EMPTY_MACHINE"

# run_both NAME [--direct] ARGS... : runs qir-sim.exe in $WORK/NAME/windows and the Linux
# qir-sim in $WORK/NAME/linux, each in its own folder, and compares their exit codes and
# standard output. Sets win_rc, native_rc and the two folders wdir and ldir.
run_both() {
    local name="$1" direct=()
    shift
    if [[ "${1:-}" == --direct ]]; then
        direct=(--direct)
        shift
    fi
    machine_folders "$name"
    win_rc=$(wine_exe "${direct[@]}" --cwd "$wdir" --stdout "$wdir/out.txt" "$QIR_SIM_EXE" \
        --machine "$(win_path "$EMPTY_MACHINE")" -- "$@")
    (cd "$ldir" && "$QIR_NATIVE_SIM" --machine "$EMPTY_MACHINE" -- "$@" >out.txt 2>/dev/null) &&
        native_rc=0 || native_rc=$?
    expect_eq "$name: exit code against the Linux build" "$native_rc" "$((win_rc & 255))"
    crlf_to_lf "$wdir/out.txt" >"$wdir/out.lf"
    expect_same "$name: standard output against the Linux build" "$ldir/out.txt" "$wdir/out.lf"
}

# What the run printed after the four banner lines.
after_banner() { tail -n +5 "$1"; }

# The two log files agree once argument 0 is masked.
expect_same_logs() {
    local name="$1" file="$2"
    [[ -f "$wdir/$file" && -f "$ldir/$file" ]] || {
        fail "$name: $file missing (windows: $(ls "$wdir"), linux: $(ls "$ldir"))"
        return
    }
    PROG="$(win_path "$QIR_SIM_EXE")" mask_program "$wdir/$file" >"$wdir.log"
    PROG="$QIR_NATIVE_SIM" mask_program "$ldir/$file" >"$ldir.log"
    expect_same "$name: log file against the Linux build" "$ldir.log" "$wdir.log"
}

# --- a log name outside ASCII: created under that very name, UTF-8 on Linux -------------
name='Prüfbericht-日本.txt'
run_both non_ascii /s "/log=$name"
expect_eq "non_ascii: exit code" 1 "$win_rc"
expect_same_logs non_ascii "$name"
# The input command keeps the low 8 bits of each character: ü is 0xFC, 日 0xE5, 本 0x2C.
expected_line=$(printf 'Input Command : <program> /s /log=Pr\xfcfbericht-\xe5,.txt \r')
expect_eq "non_ascii: input command in the log" "$expected_line" "$(sed -n 3p "$wdir.log")"
expect_eq "non_ascii: nothing else created" "$name out.lf out.txt" \
    "$(cd "$wdir" && find . -mindepth 1 -printf '%P\n' | LC_ALL=C sort | tr '\n' ' ' | sed 's/ $//')"

# The real qir.exe takes the same name.
mkdir -p "$WORK/non_ascii/qir_exe"
rc=$(wine_exe --cwd "$WORK/non_ascii/qir_exe" "$QIR_EXE" /s "/log=$name")
expect_eq "qir.exe with a log name outside ASCII: exit code" 1 "$rc"
grep -q $'^\\[Final Result\\]\r$' "$WORK/non_ascii/qir_exe/$name" ||
    fail "qir.exe wrote no report to $name"

# Echoed outside ASCII in the invalid-path line, as UTF-8 on both.
run_both non_ascii_missing "/log=Ordner-ü/日本.txt"
expect_eq "non_ascii_missing: line" "[ERROR] Ordner-ü/日本.txt is invalid file path." \
    "$(after_banner "$wdir/out.lf")"

# --- 300 characters -----------------------------------------------------------------------
# One name of 300 characters is longer than a name in a Linux folder may be: refused on
# both. (Windows' own file systems refuse a name of more than 255 characters as well.)
long_name="$(printf 'n%.0s' $(seq 296)).txt"
run_both long_name /s "/log=$long_name"
expect_eq "long_name: exit code" 1 "$win_rc"
expect_eq "long_name: line" "[ERROR] $long_name is invalid file path." "$(after_banner "$wdir/out.lf")"

# A full path of 300 characters made of short names, past Windows' MAX_PATH of 260:
# Windows itself refuses it (the program is not marked as aware of long paths), Wine
# creates the file. Either answer is sound; a crash or anything else is not.
base="$WORK/long_path/deep"
# A folder name that brings the folder's Windows path to 250 characters, then a file name
# that brings the whole to 300.
deep="$base/$(printf 'd%.0s' $(seq $((250 - ${#base} - 3))))"
mkdir -p "$deep"
win_log="$(win_path "$deep")\\"
win_log+="$(printf 'f%.0s' $(seq $((300 - ${#win_log} - 4)))).txt"
[[ ${#win_log} == 300 ]] || fail "the long Windows path has ${#win_log} characters, not 300"
mkdir -p "$WORK/long_path/windows"
rc=$(wine_exe --cwd "$WORK/long_path/windows" --stdout "$WORK/long_path/windows/out.txt" \
    "$QIR_SIM_EXE" --machine "$(win_path "$EMPTY_MACHINE")" -- /s "/log=$win_log")
crlf_to_lf "$WORK/long_path/windows/out.txt" >"$WORK/long_path/windows/out.lf"
linux_log="$deep/${win_log##*\\}"
if [[ -f "$linux_log" ]]; then
    expect_eq "300-character path, created: exit code" 1 "$rc"
    grep -q $'^\\[Final Result\\]\r$' "$linux_log" || fail "300-character path: no report in the file"
    echo "note: a 300-character path was created under Wine"
else
    expect_eq "300-character path, refused: exit code" 1 "$rc"
    expect_eq "300-character path, refused: line" "[ERROR] $win_log is invalid file path." \
        "$(after_banner "$WORK/long_path/windows/out.lf")"
    echo "note: a 300-character path was refused under Wine"
fi

# --- a folder and a read-only file: refused, left as they were ------------------------------
for d in "$WORK/refused/windows" "$WORK/refused/linux"; do
    mkdir -p "$d/a_folder"
    printf 'keep\r\nthis' >"$d/read_only.txt"
    chmod 0444 "$d/read_only.txt"
done
for path in a_folder read_only.txt; do
    run_both refused /s "/log=$path"
    expect_eq "$path: exit code" 1 "$win_rc"
    expect_eq "$path: line" "[ERROR] $path is invalid file path." "$(after_banner "$wdir/out.lf")"
done
expect_eq "read-only file: bytes" "$(printf 'keep\r\nthis' | od -An -c)" \
    "$(od -An -c "$WORK/refused/windows/read_only.txt")"
expect_eq "read-only file: mode" 444 "$(stat -c %a "$WORK/refused/windows/read_only.txt")"
[[ -z "$(ls -A "$WORK/refused/windows/a_folder")" ]] || fail "something was written into a_folder"

# --- an argument of 32,000 characters, after a valid "/log=" -------------------------------
# Wine's cmd takes no line of that length, so these start straight from Wine; exit code 1
# fits in the 8 bits that come back.
huge="$(printf 'x%.0s' $(seq 32000))"
run_both huge --direct "/log=x.txt" "$huge"
expect_eq "huge argument: exit code" 1 "$win_rc"
usage_lines >"$WORK/usage.txt"
after_banner "$wdir/out.lf" >"$WORK/huge/after_banner.txt"
expect_same "huge argument: usage text" "$WORK/usage.txt" "$WORK/huge/after_banner.txt"
[[ -f "$wdir/x.txt" && ! -s "$wdir/x.txt" ]] || fail "huge argument: x.txt was not left empty"

mkdir -p "$WORK/huge/qir_exe"
rc=$(wine_exe --direct --cwd "$WORK/huge/qir_exe" --stdout "$WORK/huge/qir_exe/out.txt" \
    "$QIR_EXE" "/log=x.txt" "$huge")
expect_eq "qir.exe, huge argument: exit code" 1 "$rc"
crlf_to_lf "$WORK/huge/qir_exe/out.txt" | tail -n +5 >"$WORK/huge/qir_exe/after_banner.txt"
expect_same "qir.exe, huge argument: usage text" "$WORK/usage.txt" "$WORK/huge/qir_exe/after_banner.txt"
[[ -f "$WORK/huge/qir_exe/x.txt" && ! -s "$WORK/huge/qir_exe/x.txt" ]] ||
    fail "qir.exe, huge argument: x.txt was not left empty"

# Through cmd the same line is refused with a reason instead of cmd falling over.
if wine_exe "$QIR_SIM_EXE" "$huge" >/dev/null 2>"$WORK/huge/refused.txt"; then
    fail "the runner passed 32,000 characters to cmd"
fi
grep -q 'too long for cmd' "$WORK/huge/refused.txt" || fail "the runner gave no reason for the refusal"

finish
