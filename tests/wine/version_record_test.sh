#!/usr/bin/env bash
# The version record of the built qir.exe, read back from its resources: the project
# version, and the revision of the image the file embeds, so that an administrator sees
# in the file's properties which firmware it carries.
source "$(dirname "$0")/wine_test_lib.sh"

record="$(x86_64-w64-mingw32-windres -i "$QIR_EXE" -O rc)"
value() { sed -n "s/^[[:space:]]*VALUE \"$1\", \"\(.*\)\"\$/\1/p" <<<"$record"; }
numbers() { sed -n "s/^[[:space:]]*$1[[:space:]]\{1,\}//p" <<<"$record"; }

revision="$(image_revision "$(windows_image)")"
[[ ${#revision} -eq 8 ]] || fail "no revision read from the image [$(windows_image)]"
IFS=. read -r major minor patch tweak <<<"$QIR_VERSION"
version_numbers="$major, ${minor:-0}, ${patch:-0}, ${tweak:-0}"

expect_eq FILEVERSION "$version_numbers" "$(numbers FILEVERSION)"
expect_eq PRODUCTVERSION "$version_numbers" "$(numbers PRODUCTVERSION)"
expect_eq FileVersion "$QIR_VERSION" "$(value FileVersion)"
expect_eq ProductVersion "$QIR_VERSION" "$(value ProductVersion)"
expect_eq FileDescription "QIR firmware update (image $revision)" "$(value FileDescription)"
expect_eq FirmwareRevision "$revision" "$(value FirmwareRevision)"

finish
