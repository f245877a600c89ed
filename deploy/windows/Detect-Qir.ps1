# Detection script of the Intune Win32 app and of the Configuration Manager deployment
# type: the firmware counts as installed when the scan finds nothing to do (exit code
# 0). Both tools take output with exit code 0 for "installed" and silence for "not
# installed", so every other outcome, a scan not yet copied included, leads to the
# install command, whose own scan then decides or reports what is wrong. A firmware
# written and waiting for a restart (5) is not installed yet: the install command then
# asks for the restart again (3010) without writing it a second time. Configuration
# Manager takes anything on standard error as an unknown state, so nothing goes there:
# not the scan's own, nor an error of a scan that cannot start.
$ErrorActionPreference = 'SilentlyContinue'
$scan = 'C:\Program Files\QIR\qir-scan.exe'
$code = -1
if (Test-Path -LiteralPath $scan -PathType Leaf) {
    try {
        & $scan 2>$null | Out-Null
        $code = $LASTEXITCODE
    } catch {
        $code = -1
    }
}
if ($code -eq 0) {
    Write-Output 'QIR: firmware up to date'
}
exit 0
