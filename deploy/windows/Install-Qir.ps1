# Install command of the Intune Win32 app and of the Configuration Manager deployment
# type. It runs as SYSTEM in the tool's content cache, an admin-only folder holding it,
# qir.exe and qir-scan.exe, started by 64-bit Windows PowerShell (Intune's agent is a
# 32-bit process, which Sysnative leads out of the 32-bit folders):
#   %SystemRoot%\Sysnative\WindowsPowerShell\v1.0\powershell.exe -NoProfile -ExecutionPolicy Bypass -File .\Install-Qir.ps1
# It leaves qir-scan.exe where the detection script looks for it, updates only when the
# scan finds a drive to update, and ends with a code that both tools know by default:
#   0        done: updated and active, or nothing was left to do
#   3010     written, active after the next restart; also where a drive that reported
#            the update done still waits for it, and where an earlier run wrote the
#            image and the restart is still to come (scan 5, or a scan that finds only
#            the drives that run wrote), without writing it again; after a restart that
#            did not activate it, with the message that the machine needs a full shutdown
#   1618     try again later: another update runs now (scan 6), or a drive is to be
#            updated while the machine runs on battery; nothing was written
#   1        the update failed
#   2, 3, 4  the scan failed (3: a drive or controller could not be read), before the
#            update or in the scan after it
$ErrorActionPreference = 'Stop'
# Only administrators can write in Program Files, and a folder made in it inherits that.
$programDir = 'C:\Program Files\QIR'
$log = 'C:\Windows\Logs\qir.log'
$scanJson = 'C:\Windows\Logs\qir-scan.json'
# What this script wrote last: the machine's boot time then, and one drive serial a line.
$writtenNote = 'C:\Windows\Logs\qir-written.txt'
$shutdownMessage = 'QIR: a restart did not activate the new firmware of every drive: shut the machine ' +
    'down fully (power off, then on); C:\Windows\Logs\qir-scan.json names the drive'

# The scan's exit code; its report goes to the JSON file.
function Invoke-QirScan {
    & "$programDir\qir-scan.exe" "/json=$scanJson" | Out-Null
    return $LASTEXITCODE
}

# True where the scan found the machine on battery: AC offline and a battery present. A
# report that cannot be read, or that does not know, lets the update go ahead, as on AC.
function Test-QirOnBattery {
    $power = $report.power
    return ($null -ne $power -and $power.ac_line -eq 'offline' -and $power.battery_present -eq $true)
}

# The scan's JSON report, or $null where it cannot be read.
function Read-QirScanReport {
    try {
        return (Get-Content -LiteralPath $scanJson -Raw | ConvertFrom-Json)
    } catch {
        Write-Output "QIR: could not read ${scanJson}: $_"
        return $null
    }
}

# The machine's last boot, or '' where Windows does not tell it (then no restart is seen).
function Get-QirBootTime {
    try {
        return (Get-CimInstance -ClassName Win32_OperatingSystem).LastBootUpTime.ToUniversalTime().ToString('o')
    } catch {
        return ''
    }
}

# The serials of the drives the scan would update.
function Get-QirDrivesToUpdate {
    if ($null -eq $report) {
        return @()
    }
    return @($report.drives | Where-Object { $_.verdict -eq 'will_be_updated' } | ForEach-Object { $_.serial })
}

# True where this script wrote the image to every drive the scan still finds to update:
# writing it again would not help, a restart or a shutdown does. Without a report that
# names the drives, the update goes ahead as before.
function Test-QirAlreadyWritten {
    $toUpdate = Get-QirDrivesToUpdate
    if ($toUpdate.Count -eq 0 -or -not (Test-Path -LiteralPath $writtenNote -PathType Leaf)) {
        return $false
    }
    $written = @(Get-Content -LiteralPath $writtenNote | Select-Object -Skip 1)
    foreach ($serial in $toUpdate) {
        if ($written -notcontains $serial) {
            return $false
        }
    }
    return $true
}

# Asks for the restart of a firmware that is written; where the machine has restarted
# since it was written, the drive needs a power cycle, and the output says so.
function Exit-QirRestartOwed {
    if (Test-Path -LiteralPath $writtenNote -PathType Leaf) {
        $bootThen = Get-Content -LiteralPath $writtenNote -TotalCount 1
        if ($bootThen -ne (Get-QirBootTime)) {
            Write-Output $shutdownMessage
        }
    }
    exit 3010
}

New-Item -ItemType Directory -Force -Path $programDir | Out-Null
Copy-Item -Force -LiteralPath "$PSScriptRoot\qir-scan.exe" -Destination $programDir

$scan = Invoke-QirScan
$report = $null
if ($scan -eq 1 -or $scan -eq 5) {
    $report = Read-QirScanReport
}
if ($scan -eq 6) {
    Write-Output 'QIR: another firmware update is running now: try again later'
    exit 1618
}
if ($scan -eq 5 -or ($scan -eq 1 -and (Test-QirAlreadyWritten))) {
    # The image is on the drive and waits for the restart that the deployment tool
    # still owes it (behind Intel RST or VROC the drive reports its old revision).
    Exit-QirRestartOwed
}
if ($scan -eq 0) {
    # Success: an earlier run, or another way, left nothing to do.
    Remove-Item -Force -LiteralPath $writtenNote -ErrorAction SilentlyContinue
    exit 0
}
if ($scan -ne 1) {
    Write-Output "QIR: the scan failed ($scan): $scanJson lists the problems"
    exit $scan
}
if (Test-QirOnBattery) {
    # A machine that goes off during the download loses the pieces, and one that goes
    # off during the commit leaves the drive to its own recovery.
    Write-Output 'QIR: the machine runs on battery: try again on AC power'
    exit 1618
}
# qir.exe has no console of its own, so PowerShell would not wait for it unasked.
$toUpdate = Get-QirDrivesToUpdate
$update = Start-Process -FilePath "$PSScriptRoot\qir.exe" -ArgumentList '/s', "/log=$log" -Wait -PassThru
$code = $update.ExitCode
if ($null -eq $code) {
    # Without a code the outcome is unknown: a failure, never a success.
    Write-Output 'QIR: qir.exe ended without an exit code'
    exit 1
}
if ($code -eq 0 -or $code -eq 1602) {
    Set-Content -LiteralPath $writtenNote -Value (@(Get-QirBootTime) + $toUpdate)
}
if ($code -eq 1602) {
    exit 3010
}
if ($code -eq 0) {
    # A drive may take the image, report the update done and still wait for a restart
    # to run it (5; behind Intel RST or VROC it still reports its old revision, 1).
    $after = Invoke-QirScan
    if ($after -eq 5 -or $after -eq 1) {
        exit 3010
    }
    if ($after -ge 2 -and $after -le 4) {
        # The update went through, but what it left cannot be seen: not a success.
        Write-Output "QIR: the scan after the update failed ($after): $scanJson lists the problems"
        exit $after
    }
    exit 0
}
Write-Output "QIR: the update failed ($code): $log tells which drive"
exit $code
