# Discovery script of a Configuration Manager configuration item (setting type Script,
# data type Integer): the scan's exit code, or -1 where the install command has not yet
# copied the scan. With the compliance rule "equals 0", a machine is compliant when
# every drive of the family is current; 1 = a drive to update (one fitted since the
# rollout, say), 3 = a drive or controller could not be read, 5 = the firmware is
# written and the machine waits for its restart.
$scan = 'C:\Program Files\QIR\qir-scan.exe'
if (-not (Test-Path -LiteralPath $scan -PathType Leaf)) {
    Write-Output -1
    exit 0
}
& $scan | Out-Null
Write-Output $LASTEXITCODE
