# A simulated Windows host for the deployment scripts, shared by the Pester tests and the
# rollout rehearsal. A host is a folder made by tests/deploy/fleet.py: its simulated
# machine (machine.json) and its C: drive. Enter-QirHost maps the PowerShell drive C: to
# it, so that the scripts' own paths (C:\Program Files\QIR, C:\Windows\Logs) land there,
# and puts the stand-ins of qir.exe and qir-scan.exe (stand_in/) in its content cache,
# from where the install command runs. The stand-ins run qir-sim (QIR_SIM) on the
# machine, so copies, calls and codes are the scripts' real ones.
#
# Two commands of the scripts reach outside PowerShell and are stood in for here, at the
# process boundary: Start-Process, because Linux keeps 8 bits of an exit code and qir.exe's
# 1602 would arrive as 66 (the stand-in takes the whole code from the run's report, the
# log, and the 8-bit status only where there is no report, as after a kill); and
# Get-CimInstance, for the host's boot time, which a restart here moves on.

$standIns = Join-Path $PSScriptRoot 'stand_in'
$bootEpoch = [datetime]::new(2026, 12, 1, 8, 0, 0, [DateTimeKind]::Utc)

# New-QirHost FOLDER KIND: one host of a kind of fleet.py, with its content cache.
function New-QirHost {
    param([string]$Path, [string]$Kind)
    & python3 (Join-Path $env:QIR_SOURCE_DIR 'tests/deploy/fleet.py') host $Path $Kind
    if ($LASTEXITCODE -ne 0) { throw "fleet.py host $Kind failed" }
    Add-QirContentCache $Path
}

# The content cache of the deployment tool on the host: the stand-ins and the scripts.
function Add-QirContentCache {
    param([string]$Path)
    $cache = Join-Path $Path 'Windows/IMECache/QIR'
    New-Item -ItemType Directory -Force -Path $cache | Out-Null
    Copy-Item -Path (Join-Path $standIns 'qir.exe'), (Join-Path $standIns 'qir-scan.exe') -Destination $cache
    Copy-Item -Path (Join-Path $env:QIR_SOURCE_DIR 'deploy/windows/*.ps1') -Destination $cache
}

# A file of the content cache of the host entered, or of the host -HostPath names.
function Get-QirScript {
    param([string]$Name, [string]$HostPath = $env:QIR_FAKE_HOST)
    return Join-Path $HostPath "Windows/IMECache/QIR/$Name"
}

function Enter-QirHost {
    param([string]$Path)
    $env:QIR_FAKE_HOST = (Resolve-Path -LiteralPath $Path).ProviderPath
    if (Get-PSDrive -Name C -ErrorAction SilentlyContinue) {
        Remove-PSDrive -Name C -Scope Global -Force
    }
    New-PSDrive -Name C -PSProvider FileSystem -Root $env:QIR_FAKE_HOST -Scope Global | Out-Null
}

function Exit-QirHost {
    if (Get-PSDrive -Name C -ErrorAction SilentlyContinue) {
        Remove-PSDrive -Name C -Scope Global -Force
    }
    Remove-Item Env:QIR_FAKE_HOST -ErrorAction SilentlyContinue
}

# What the host's programs did, one entry a run ("written" after a run that wrote).
function Get-QirCalls {
    $calls = Join-Path $env:QIR_FAKE_HOST 'calls'
    if (-not (Test-Path -LiteralPath $calls)) { return @() }
    return @(Get-Content -LiteralPath $calls)
}

# The same, one word a run: scan, update, written, reboot; joined by ';'.
function Get-QirCallSummary {
    $words = foreach ($call in Get-QirCalls) {
        if ($call -like 'qir-scan.exe*') { 'scan' } elseif ($call -like 'qir.exe*') { 'update' } else { $call }
    }
    return ($words -join ';')
}

function Get-QirBootCount {
    $boots = Join-Path $env:QIR_FAKE_HOST 'boots'
    if (-not (Test-Path -LiteralPath $boots)) { return 0 }
    return [int](Get-Content -LiteralPath $boots)
}

# A warm restart of the host: each drive's controller reset, a new boot time.
function Restart-QirHost {
    param([string]$Event = 'reboot')
    $machine = Join-Path $env:QIR_FAKE_HOST 'machine.json'
    & $env:QIR_SIM --machine $machine --event $Event --no-run --write-machine $machine
    if ($LASTEXITCODE -ne 0) { throw "the host did not come back from $Event" }
    Set-Content -LiteralPath (Join-Path $env:QIR_FAKE_HOST 'boots') -Value ((Get-QirBootCount) + 1)
    Add-Content -LiteralPath (Join-Path $env:QIR_FAKE_HOST 'calls') -Value $Event
}

# Changes top-level keys of the host's machine description (its power source, another
# update running), as the world around a host does between two runs.
function Set-QirMachineKey {
    param([string]$Key, $Value)
    $file = Join-Path $env:QIR_FAKE_HOST 'machine.json'
    $machine = Get-Content -LiteralPath $file -Raw | ConvertFrom-Json -AsHashtable
    $machine[$Key] = $Value
    Set-Content -LiteralPath $file -Value ($machine | ConvertTo-Json -Depth 32)
}

# Runs a deployment script of the content cache as the tool does (powershell.exe -File):
# its exit code, 1 where it stopped on an error, and its output, errors included.
function Invoke-QirScript {
    param([string]$Name)
    $global:LASTEXITCODE = 0
    try {
        $output = & (Get-QirScript $Name) 2>&1 | ForEach-Object { "$_" }
        $code = $global:LASTEXITCODE
    } catch {
        $output = @("$_")
        $code = 1
    }
    return [pscustomobject]@{ ExitCode = $code; Output = @($output) }
}

# The stand-in of the process boundary for qir.exe (see above).
function Start-Process {
    param([string]$FilePath, [string[]]$ArgumentList, [switch]$Wait, [switch]$PassThru)
    if (-not $Wait -or -not $PassThru) { throw 'the stand-in of Start-Process serves -Wait -PassThru only' }
    $log = ($ArgumentList | Where-Object { $_ -like '/log=*' } | Select-Object -First 1)
    & $FilePath @ArgumentList | Out-Null
    $code = $LASTEXITCODE
    if ($log) {
        $report = Get-Content -LiteralPath $log.Substring(5) -Raw -ErrorAction SilentlyContinue
        if ($report -match '\[Final Result\]\r?\nReturn Code : (\d+)') {
            $code = [int]$Matches[1]
        }
    }
    return [pscustomobject]@{ ExitCode = $code }
}

function Get-CimInstance {
    param([string]$ClassName)
    if ($ClassName -ne 'Win32_OperatingSystem') { throw "no stand-in for $ClassName" }
    return [pscustomobject]@{ LastBootUpTime = $bootEpoch.AddHours((Get-QirBootCount)).ToLocalTime() }
}

Export-ModuleMember -Function New-QirHost, Add-QirContentCache, Get-QirScript, Enter-QirHost, Exit-QirHost,
    Get-QirCalls, Get-QirCallSummary, Get-QirBootCount, Restart-QirHost, Set-QirMachineKey, Invoke-QirScript, Start-Process,
    Get-CimInstance
