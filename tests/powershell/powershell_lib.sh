# shellcheck shell=bash
# Shared by the tests of tests/powershell; sourced, not run. ctest provides
# QIR_SOURCE_DIR, QIR_NATIVE_SIM and QIR_POWERSHELL_DIR (where scripts/install_deps.sh
# put PowerShell and Pester). Each test works in a folder of its own, which is also
# PowerShell's home and temporary folder (Pester's TestDrive lies in it), so nothing lands
# in ~/.local, ~/.cache or /tmp, and the tests run side by side. It goes when the test ends.
set -euo pipefail
: "${QIR_SOURCE_DIR:?}" "${QIR_NATIVE_SIM:?}" "${QIR_POWERSHELL_DIR:?}"
PWSH="$QIR_POWERSHELL_DIR/powershell/pwsh"
PESTER="$QIR_POWERSHELL_DIR/nuget/pester/5.7.1/tools/Pester.psd1"
if [[ ! -x "$PWSH" || ! -f "$PESTER" ]]; then
    echo "FAIL: no PowerShell or Pester in $QIR_POWERSHELL_DIR: run scripts/install_deps.sh powershell" >&2
    exit 1
fi
WORK="$(mktemp -d "${TMPDIR:-/tmp}/qir_$(basename "$0" .sh).XXXXXX")"
trap 'rm -rf "$WORK"' EXIT
export HOME="$WORK/home" TMPDIR="$WORK/tmp" XDG_CACHE_HOME="$WORK/cache" XDG_DATA_HOME="$WORK/data" \
    XDG_CONFIG_HOME="$WORK/config" POWERSHELL_TELEMETRY_OPTOUT=1 POWERSHELL_UPDATECHECK=Off \
    DOTNET_CLI_TELEMETRY_OPTOUT=1 DOTNET_NOLOGO=1 NO_COLOR=1 TERM=dumb \
    QIR_SIM="$QIR_NATIVE_SIM" QIR_PWSH="$PWSH"
mkdir -p "$HOME" "$TMPDIR"
cd "$WORK"
