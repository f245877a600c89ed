# A rollout through Intune or Configuration Manager, rehearsed on a simulated fleet (made
# by tests/deploy/fleet.py make): an agent that does on each host what the tools
# document for a required Win32 app or application, with the real scripts of
# deploy/windows on the hosts of QirFakeHost.psm1.
#
# Each cycle (Intune's daily evaluation, a Configuration Manager deployment's schedule),
# every host not yet detected: the detection script (installed where it writes anything
# and ends with 0); else the install command, and its code read by the default return
# code table: 0 success (then the detection again), 3010 soft reboot (the host restarts,
# then the detection again), 1618 retry (again next cycle), anything else failed (again
# next cycle). Between cycles the world moves on: a laptop on battery is plugged in
# before the second, another update running on a host ends before the third. The agent
# runs until a cycle changes nothing and the world has nothing more to do.
#
# Then it judges: every host that can be updated is detected as installed, every other
# one ends as its kind says, with its reason; no host was written to twice. It prints
# the recap, the hosts by outcome and the time per host, and ends with 1 where the fleet
# did not end as it must.
#
#   Invoke-QirRollout.ps1 -Fleet DIR [-MaxCycles N]
param([Parameter(Mandatory)][string]$Fleet, [int]$MaxCycles = 10)
$ErrorActionPreference = 'Stop'
Import-Module (Join-Path $PSScriptRoot 'QirFakeHost.psm1') -Force

$shutdown = 'QIR: a restart did not activate the new firmware of every drive*'
# How each kind of host ends; every kind not named here ends detected as installed.
$mustEnd = @{
    # Behind RST the pass-through drive, and an inbox drive, activate only at a power
    # cycle: the install command asks for the restart again and says why.
    example_default = @{ Code = 3010; Output = $shutdown }
    power_cycle_drive = @{ Code = 3010; Output = $shutdown }
    # One VROC port refuses the open: the drives behind the others are updated, and
    # every scan after that is incomplete.
    example_vroc_raid = @{ Code = 3; Output = "QIR: the scan failed (3)*" }
    failing_drive = @{ Code = 1; Output = "QIR: the update failed (1)*" }
    access_denied = @{ Code = 3; Output = "QIR: the scan failed (3)*" }
    # The pieces of the killed run stay until a restart, and no code asks for one.
    killed_earlier_run_overlap = @{ Code = 1; Output = "QIR: the update failed (1)*" }
}
# The world between cycles: kind, the cycle before which it happens, and what happens.
$world = @(
    @{ Kind = 'on_battery'; Cycle = 2; Do = {
            Set-QirMachineKey 'power' @{ ac_line = 'online'; battery_present = $true; battery_percent = 64 } } }
    @{ Kind = 'update_running'; Cycle = 3; Do = { Set-QirMachineKey 'update_running' $false } }
)
$lastEvent = ($world | ForEach-Object { $_.Cycle } | Measure-Object -Maximum).Maximum

$expected = Get-Content -LiteralPath (Join-Path $Fleet 'expected.json') -Raw | ConvertFrom-Json -AsHashtable
$hosts = [ordered]@{}
foreach ($name in ($expected.Keys | Sort-Object)) {
    $path = Join-Path $Fleet "hosts/$name"
    Add-QirContentCache $path
    $hosts[$name] = [pscustomobject]@{
        Name = $name; Path = $path; Kind = $expected[$name].kind; Installed = $false; Code = $null
        Output = ''; Cycles = 0; Restarts = 0; Last = ''
    }
}

function Test-Detected {
    $run = Invoke-QirScript 'Detect-Qir.ps1'
    return ($run.ExitCode -eq 0 -and ($run.Output -join '') -ne '')
}

# One evaluation of one host, as the tool does it.
function Invoke-Evaluation($h) {
    Enter-QirHost $h.Path
    try {
        if (Test-Detected) {
            $h.Installed = $true
            return
        }
        $install = Invoke-QirScript 'Install-Qir.ps1'
        $h.Code = $install.ExitCode
        $h.Output = ($install.Output -join ' ')
        switch ($install.ExitCode) {
            0 { $h.Installed = Test-Detected }
            3010 {
                Restart-QirHost
                $h.Restarts++
                $h.Installed = Test-Detected
            }
            default {}
        }
    } finally {
        Exit-QirHost
    }
}

$start = Get-Date
$cycle = 0
do {
    $cycle++
    foreach ($event in $world) {
        if ($event.Cycle -ne $cycle) { continue }
        foreach ($h in $hosts.Values) {
            if ($h.Kind -ne $event.Kind) { continue }
            Enter-QirHost $h.Path
            try { & $event.Do } finally { Exit-QirHost }
        }
    }
    $changed = 0
    $counts = @{}
    foreach ($h in $hosts.Values) {
        if ($h.Installed) { continue }
        Invoke-Evaluation $h
        $now = "$($h.Installed) $($h.Code) $($h.Output)"
        if ($now -ne $h.Last) {
            $changed++
            $h.Cycles = $cycle
        }
        $h.Last = $now
        $key = if ($h.Installed) { 'installed' } else { "$($h.Code)" }
        $counts[$key] = 1 + $counts[$key]
    }
    $summary = ($counts.Keys | Sort-Object | ForEach-Object { "$_=$($counts[$_])" }) -join ' '
    Write-Output "cycle ${cycle}: $changed host(s) changed; evaluated: $summary"
} while (($changed -gt 0 -or $cycle -lt $lastEvent) -and $cycle -lt $MaxCycles)
$seconds = ((Get-Date) - $start).TotalSeconds

# The judgement.
$problems = [System.Collections.Generic.List[string]]::new()
if ($changed -gt 0) { $problems.Add("the fleet still changed in cycle $cycle, the last one allowed") }
foreach ($h in $hosts.Values) {
    Enter-QirHost $h.Path
    $written = @(Get-QirCalls | Where-Object { $_ -eq 'written' }).Count
    Exit-QirHost
    if ($written -gt 1) { $problems.Add("$($h.Name) ($($h.Kind)): the image was written $written times") }
    $must = $mustEnd[$h.Kind]
    if ($null -eq $must) {
        if (-not $h.Installed) {
            $problems.Add("$($h.Name) ($($h.Kind)): not installed, the install command ended with $($h.Code) $($h.Output)")
        }
    } elseif ($h.Installed) {
        $problems.Add("$($h.Name) ($($h.Kind)): installed, but must end with $($must.Code)")
    } elseif ($h.Code -ne $must.Code -or $h.Output -notlike $must.Output) {
        $problems.Add("$($h.Name) ($($h.Kind)): ended with $($h.Code) [$($h.Output)], must with $($must.Code) [$($must.Output)]")
    }
}

$installed = @($hosts.Values | Where-Object Installed)
Write-Output ("rollout: {0} hosts in {1} cycles: {2} installed, {3} not; {4} restarts; {5:N1} s, {6:N2} s per host" -f
    $hosts.Count, $cycle, $installed.Count, ($hosts.Count - $installed.Count),
    ($hosts.Values | Measure-Object -Property Restarts -Sum).Sum, $seconds, ($seconds / $hosts.Count))
foreach ($group in ($installed | Group-Object Cycles | Sort-Object { [int]$_.Name })) {
    $kinds = ($group.Group | ForEach-Object Kind | Sort-Object -Unique) -join ', '
    Write-Output "  installed in cycle $($group.Name): $($group.Count) ($kinds)"
}
foreach ($group in ($hosts.Values | Where-Object { -not $_.Installed } | Group-Object Code, Output)) {
    $first = $group.Group[0]
    $kinds = ($group.Group | ForEach-Object Kind | Sort-Object -Unique) -join ', '
    $why = if ($first.Output) { $first.Output } else { 'no output' }
    Write-Output "  not installed, install command $($first.Code): $($group.Count) ($kinds): $why"
}
foreach ($p in $problems) { [Console]::Error.WriteLine("PROBLEM: $p") }
exit $(if ($problems.Count) { 1 } else { 0 })
