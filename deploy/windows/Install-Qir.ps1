# Install command of the Intune Win32 app and of the Configuration Manager deployment
# type. It runs as SYSTEM in the tool's content cache, an admin-only folder holding it,
# qir.exe and qir-scan.exe:
#   powershell.exe -NoProfile -ExecutionPolicy Bypass -File .\Install-Qir.ps1
# It leaves qir-scan.exe where the detection script looks for it, updates only when the
# scan finds a drive to update, and ends with the code the deployment tool maps:
#   0        done: updated and active, or nothing was left to do
#   1602     written, active after the next reboot; also where a drive that reported
#            the update done still waits for it, and where an earlier run wrote the
#            image and the reboot is still to come (scan 5), without writing it again
#   1        the update failed
#   2, 3, 4  the scan failed (3: a drive or controller could not be read)
$ErrorActionPreference = 'Stop'
# Only administrators can write in Program Files, and a folder made in it inherits that.
$programDir = 'C:\Program Files\QIR'
$log = 'C:\Windows\Logs\qir.log'

New-Item -ItemType Directory -Force -Path $programDir | Out-Null
Copy-Item -Force -LiteralPath "$PSScriptRoot\qir-scan.exe" -Destination $programDir

& "$programDir\qir-scan.exe" '/json=C:\Windows\Logs\qir-scan.json' | Out-Null
$scan = $LASTEXITCODE
if ($scan -eq 5) {
    # The image is on the drive and waits for the restart that the deployment tool
    # still owes it.
    exit 1602
}
if ($scan -ne 1) {
    # 0 is success here: an earlier run, or another way, left nothing to do.
    exit $scan
}
# qir.exe has no console of its own, so PowerShell would not wait for it unasked.
$update = Start-Process -FilePath "$PSScriptRoot\qir.exe" -ArgumentList '/s', "/log=$log" -Wait -PassThru
if ($update.ExitCode -eq 0) {
    # A drive may take the image, report the update done and still wait for a restart
    # to run it (5; behind Intel RST or VROC it still reports its old revision, 1).
    & "$programDir\qir-scan.exe" '/json=C:\Windows\Logs\qir-scan.json' | Out-Null
    if ($LASTEXITCODE -eq 5 -or $LASTEXITCODE -eq 1) {
        exit 1602
    }
}
exit $update.ExitCode
