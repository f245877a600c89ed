#!/usr/bin/env bash
# The release package of the Windows build, made by cpack into this test's folder: its
# name carries the version and the embedded image's revision, it holds the qir.exe that
# was built (signed, when the build signs), qir-scan.exe, the deployment notes and scripts, and its SHA256SUMS
# check out and cover every other file in it.
source "$(dirname "$0")/wine_test_lib.sh"

image="$(windows_image)"
revision="$(image_revision "$image")"
# A revision that cannot be part of a file name is named by its bytes.
[[ "$revision" =~ ^[A-Za-z0-9._-]+$ ]] || revision="$(od -An -tx1 -j12320 -N8 "$image" | tr -d ' \n')"
name="qir-$QIR_VERSION-$revision-win64"

if ! (cd "$WORK" && cpack --config "$QIR_WINDOWS_BUILD_DIR/CPackConfig.cmake" -B "$WORK/out" \
    >"$WORK/cpack.log" 2>&1); then
    cat "$WORK/cpack.log" >&2
    fail "cpack failed"
    finish
fi
[[ -f "$WORK/out/$name.zip" ]] || { fail "no $name.zip among: $(ls "$WORK/out")"; finish; }

mkdir "$WORK/unpacked"
(cd "$WORK/unpacked" && cmake -E tar xf "$WORK/out/$name.zip")
package="$WORK/unpacked/$name"
for f in qir.exe qir-scan.exe DEPLOYMENT.txt Install-Qir.ps1 Detect-Qir.ps1 Get-QirScanResult.ps1 \
    qir.yml SHA256SUMS; do
    [[ -f "$package/$f" ]] || fail "the package has no $f"
done
expect_same "qir.exe in the package" "$QIR_EXE" "$package/qir.exe"
expect_same "qir-scan.exe in the package" "$QIR_SCAN_EXE" "$package/qir-scan.exe"

(cd "$package" && sha256sum --check --strict --quiet SHA256SUMS) || fail "SHA256SUMS do not check out"
summed="$(sed 's/^[0-9a-f]\{64\}  //' "$package/SHA256SUMS" | LC_ALL=C sort)"
shipped="$(cd "$package" && find . -type f ! -name SHA256SUMS | sed 's|^\./||' | LC_ALL=C sort)"
expect_eq "files SHA256SUMS covers" "$shipped" "$summed"

finish
