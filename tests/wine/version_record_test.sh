#!/usr/bin/env bash
# The version records of the built qir.exe and qir-scan.exe, read back from their
# resources: the project version, and the revision of the image qir.exe embeds, so that
# an administrator sees in the file's properties which firmware it carries (or checks for).
source "$(dirname "$0")/wine_test_lib.sh"

revision="$(image_revision "$(windows_image)")"
[[ ${#revision} -eq 8 ]] || fail "no revision read from the image [$(windows_image)]"
IFS=. read -r major minor patch tweak <<<"$QIR_VERSION"
version_numbers="$major, ${minor:-0}, ${patch:-0}, ${tweak:-0}"

# program, its FileDescription
while read -r exe description; do
    record="$(x86_64-w64-mingw32-windres -i "$exe" -O rc)"
    value() { sed -n "s/^[[:space:]]*VALUE \"$1\", \"\(.*\)\"\$/\1/p" <<<"$record"; }
    numbers() { sed -n "s/^[[:space:]]*$1[[:space:]]\{1,\}//p" <<<"$record"; }
    name="$(basename "$exe")"
    expect_eq "$name FILEVERSION" "$version_numbers" "$(numbers FILEVERSION)"
    expect_eq "$name PRODUCTVERSION" "$version_numbers" "$(numbers PRODUCTVERSION)"
    expect_eq "$name FileVersion" "$QIR_VERSION" "$(value FileVersion)"
    expect_eq "$name ProductVersion" "$QIR_VERSION" "$(value ProductVersion)"
    expect_eq "$name FileDescription" "$description (image $revision)" "$(value FileDescription)"
    expect_eq "$name FirmwareRevision" "$revision" "$(value FirmwareRevision)"
done <<EOF2
$QIR_EXE QIR firmware update
$QIR_SCAN_EXE QIR pre-flight scan
EOF2

finish
