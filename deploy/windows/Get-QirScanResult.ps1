# Discovery script of a Configuration Manager configuration item (setting type Script,
# data type Integer): the scan's exit code, or -1 where the install command has not yet
# copied the scan (or it cannot start). With the compliance rule "equals 0", a machine is
# compliant when every drive of the family is current; 1 = a drive to update (one fitted
# since the rollout, say), 3 = a drive or controller could not be read, 5 = the firmware
# is written and the machine waits for its restart, 6 = an update was running at the
# time of the scan.
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
Write-Output $code
