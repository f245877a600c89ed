#!/usr/bin/env bash
# qir-sim.exe under Wine and the Linux qir-sim run the same core on the same simulated
# machine: their output must be the same bytes once CR LF becomes LF, and their log
# files the same bytes but for the program path.
source "$(dirname "$0")/wine_test_lib.sh"

# One tool command line per entry (words split on blanks).
cases=(
    ""
    "/s"
    "/s /log=run.txt"
    "/log=run.txt /s /s"
    "/x"
    "/S"
    "/log"
    "/log="
)

n=0
for args in "${cases[@]}"; do
    n=$((n + 1))
    dir="$WORK/case$n"
    mkdir -p "$dir/windows" "$dir/linux"
    read -r -a argv <<<"$args"
    rc=$(wine_exe --cwd "$dir/windows" --stdout "$dir/windows/out.txt" "$QIR_SIM_EXE" "${argv[@]}")
    (cd "$dir/linux" && "$QIR_NATIVE_SIM" "${argv[@]}" >out.txt 2>/dev/null) && native_rc=0 || native_rc=$?
    expect_eq "[$args] exit code (Linux keeps 8 bits)" "$native_rc" "$((rc & 255))"
    crlf_to_lf "$dir/windows/out.txt" >"$dir/windows/out.lf"
    expect_same "[$args] standard output" "$dir/linux/out.txt" "$dir/windows/out.lf"
    if [[ -f "$dir/linux/run.txt" || -f "$dir/windows/run.txt" ]]; then
        if [[ -f "$dir/linux/run.txt" && -f "$dir/windows/run.txt" ]]; then
            # The simulated clock is fixed, so only argument 0 differs.
            PROG="$(win_path "$QIR_SIM_EXE")" awk '{ i = index($0, ENVIRON["PROG"]);
                if (i) $0 = substr($0, 1, i - 1) "<program>" substr($0, i + length(ENVIRON["PROG"]));
                print }' "$dir/windows/run.txt" >"$dir/windows/run.masked"
            PROG="$QIR_NATIVE_SIM" awk '{ i = index($0, ENVIRON["PROG"]);
                if (i) $0 = substr($0, 1, i - 1) "<program>" substr($0, i + length(ENVIRON["PROG"]));
                print }' "$dir/linux/run.txt" >"$dir/linux/run.masked"
            expect_same "[$args] log file" "$dir/linux/run.masked" "$dir/windows/run.masked"
        else
            fail "[$args] only one of the two runs wrote run.txt"
        fi
    fi
done

finish
