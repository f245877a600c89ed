# Install command of the Intune Win32 app and of the Configuration Manager deployment
# type. It runs as SYSTEM in the tool's content cache, an admin-only folder holding it,
# qir.exe and qir-scan.exe:
#   powershell.exe -NoProfile -ExecutionPolicy Bypass -File .\Install-Qir.ps1
# It leaves qir-scan.exe where the detection script looks for it, updates only when the
# scan finds a drive to update, and ends with the code the deployment tool maps:
#   0        done: updated and active, or nothing was left to do
#   1602     written, active after the next reboot
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
if ($scan -ne 1) {
    # 0 is success here: an earlier run, or another way, left nothing to do.
    exit $scan
}
# qir.exe has no console of its own, so PowerShell would not wait for it unasked.
$update = Start-Process -FilePath "$PSScriptRoot\qir.exe" -ArgumentList '/s', "/log=$log" -Wait -PassThru
exit $update.ExitCode
