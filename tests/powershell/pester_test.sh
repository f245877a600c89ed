#!/usr/bin/env bash
# One Pester test file of tests/powershell (its first argument), run by PowerShell 7.6.
source "$(dirname "$0")/powershell_lib.sh"
"$PWSH" -NoProfile -NonInteractive -File "$QIR_SOURCE_DIR/tests/powershell/run_pester.ps1" \
    -Pester "$PESTER" -Path "$1"
