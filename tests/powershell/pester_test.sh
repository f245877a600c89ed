#!/usr/bin/env bash
# The Pester tests of tests/powershell (*.Tests.ps1, or the files given), run by
# PowerShell 7.6.
source "$(dirname "$0")/powershell_lib.sh"
files=("$@")
[[ ${#files[@]} -gt 0 ]] || files=("$QIR_SOURCE_DIR"/tests/powershell/*.Tests.ps1)
"$PWSH" -NoProfile -NonInteractive -File "$QIR_SOURCE_DIR/tests/powershell/run_pester.ps1" \
    -Pester "$PESTER" "${files[@]}"
