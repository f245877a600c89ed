#!/usr/bin/env bash
# qir.exe is a 64-bit GUI program with its manifest and image inside, needing no DLL
# beyond Windows' own; qir-sim.exe is its console sibling; qir-scan.exe a console program
# with a manifest of its own and without the image.
source "$(dirname "$0")/wine_test_lib.sh"

objdump=x86_64-w64-mingw32-objdump
objcopy=x86_64-w64-mingw32-objcopy

# DLLs every Windows installation has; a MinGW runtime DLL would have to ship beside us.
system_dlls='^(kernel32|user32|gdi32|advapi32|shell32|ole32|setupapi|msvcrt|ucrtbase|ntdll|api-ms-win-[a-z0-9-]+)\.dll$'

check_exe() {
    local exe="$1" subsystem="$2" headers
    headers="$($objdump -p "$exe")"
    grep -q '^Magic[[:space:]]*020b' <<<"$headers" || fail "$exe is not PE32+"
    grep -q "^Subsystem[[:space:]]*$subsystem" <<<"$headers" ||
        fail "$exe: subsystem is not $subsystem: $(grep '^Subsystem' <<<"$headers")"
    local dlls
    dlls="$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | tr 'A-Z' 'a-z')"
    [[ -n "$dlls" ]] || fail "$exe: no import table found"
    while read -r dll; do
        [[ -z "$dll" || "$dll" =~ $system_dlls ]] || fail "$exe imports non-system DLL $dll"
    done <<<"$dlls"
}

check_exe "$QIR_EXE" '00000002[[:space:]]*(Windows GUI)'
check_exe "$QIR_SIM_EXE" '00000003[[:space:]]*(Windows CUI)'
check_exe "$QIR_SCAN_EXE" '00000003[[:space:]]*(Windows CUI)'

# The manifest sits in the resources.
$objcopy -O binary --only-section=.rsrc "$QIR_EXE" "$WORK/rsrc.bin"
for needle in 'level="asInvoker"' '>true</dpiAware>' '>PerMonitorV2</dpiAwareness>' \
    '{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}'; do
    grep -aqF "$needle" "$WORK/rsrc.bin" || fail "manifest lacks $needle"
done

# The whole image is in the read-only data: its size is a lower bound for that section.
rdata_size=$($objdump -h "$QIR_EXE" | awk '$2 == ".rdata" { print $3 }')
[[ -n "$rdata_size" ]] || fail "qir.exe has no .rdata section"
(( 16#${rdata_size:-0} >= 2359296 )) || fail "qir.exe .rdata (0x$rdata_size bytes) cannot hold the image"

# The scan asks for no elevation either, and carries the image's revision, not the image:
# the whole file is smaller than the image alone.
$objcopy -O binary --only-section=.rsrc "$QIR_SCAN_EXE" "$WORK/scan_rsrc.bin"
grep -aqF 'level="asInvoker"' "$WORK/scan_rsrc.bin" || fail "qir-scan.exe's manifest lacks asInvoker"
scan_size=$(stat -c %s "$QIR_SCAN_EXE")
(( scan_size < 2359296 )) || fail "qir-scan.exe is $scan_size bytes: the image is inside"

finish
