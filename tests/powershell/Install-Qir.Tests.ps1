# Every path of Install-Qir.ps1, the install command of Intune and Configuration Manager,
# on simulated hosts (QirFakeHost.psm1): the scan's codes 0 to 6, a machine on battery,
# qir.exe's 0, 1 and 1602 (whose whole code the stand-in of Start-Process takes from the
# run's log, since Linux keeps 8 bits of an exit status), the scan after a 0 saying 0, 1
# or 5, and the runs after a restart, which must not write the image again.
BeforeAll {
    Import-Module (Join-Path $PSScriptRoot 'QirFakeHost.psm1') -Force
    $script:number = 0

    # A host of that kind in a folder of its own, entered.
    function Use-Host([string]$Kind) {
        $script:number++
        $path = Join-Path $TestDrive "$script:number/host"
        New-QirHost $path $Kind
        Enter-QirHost $path
    }

    function Install { Invoke-QirScript 'Install-Qir.ps1' }

    # Where a laptop runs on its battery, or where nobody knows.
    function Set-Power([string]$AcLine, [bool]$Battery) {
        $percent = if ($Battery) { 40 } else { $null }
        Set-QirMachineKey 'power' @{ ac_line = $AcLine; battery_present = $Battery; battery_percent = $percent }
    }

    $shutdown = 'QIR: a restart did not activate the new firmware of every drive: shut the machine down fully*'
}

Describe 'Install-Qir.ps1' {
    AfterEach {
        Exit-QirHost
    }

    Context 'on a first run' {
        It '<Case>: ends with <Code>, programs run: <Calls>' -ForEach @(
            @{ Case = 'scan 0, nothing to do'; Kind = 'current'; Code = 0; Calls = 'scan' }
            @{ Case = 'scan 1, qir.exe 0, the scan after it 0'; Kind = 'immediate'; Code = 0
                Calls = 'scan;update;written;scan' }
            @{ Case = 'scan 1, qir.exe 0, the scan after it 5 (inbox, at a reset)'; Kind = 'reset'; Code = 3010
                Calls = 'scan;update;written;scan' }
            @{ Case = 'scan 1, qir.exe 0, the scan after it 1 (behind VROC)'; Kind = 'example_vroc_non_raid'; Code = 3010
                Calls = 'scan;update;written;scan' }
            @{ Case = 'scan 1, qir.exe 1602'; Kind = 'example_default'; Code = 3010; Calls = 'scan;update;written' }
            @{ Case = 'scan 1, qir.exe 1 (a drive fails)'; Kind = 'failing_drive'; Code = 1; Calls = 'scan;update' }
            @{ Case = 'scan 3 (access denied)'; Kind = 'access_denied'; Code = 3; Calls = 'scan' }
            @{ Case = 'scan 5 (an earlier run wrote, the restart is owed)'; Kind = 'restart_pending'; Code = 3010
                Calls = 'scan' }
            @{ Case = 'scan 1 after a run killed earlier'; Kind = 'killed_earlier_run'; Code = 3010
                Calls = 'scan;update;written;scan' }
        ) {
            Use-Host $Kind
            $run = Install
            $run.ExitCode | Should -Be $Code
            Get-QirCallSummary | Should -Be $Calls
            'C:\Program Files\QIR\qir-scan.exe' | Should -Exist
        }

        It 'takes 1602 from the log, not the 66 that Linux leaves of it' {
            Use-Host 'example_default'
            (Install).ExitCode | Should -Be 3010
            Get-Content -LiteralPath 'C:\Windows\Logs\qir.log' -Raw | Should -Match '\[Final Result\]\r\nReturn Code : 1602'
        }

        It 'scan 2: the JSON report cannot be written' {
            Use-Host 'current'
            Remove-Item -Recurse -Force -LiteralPath 'C:\Windows\Logs'
            (Install).ExitCode | Should -Be 2
            Get-QirCallSummary | Should -Be 'scan'
        }

        It 'scan 4: passed on, qir.exe not started' {
            # No machine makes the scan attempt a firmware request (it would be a bug of the
            # tool), so a scan that ends with 4 stands in for it.
            Use-Host 'reset'
            Set-Content -LiteralPath (Get-QirScript 'qir-scan.exe') -Value "#!/bin/sh`nexit 4"
            (Install).ExitCode | Should -Be 4
            Get-QirCallSummary | Should -Be ''
        }

        It 'scan 1, qir.exe 0, the scan after it <After>: ends with <Code>' -ForEach @(
            @{ After = 0; Code = 0 }
            @{ After = 3; Code = 3 }
            @{ After = 6; Code = 0 }
        ) {
            # The scan after the update as the machine cannot give it at will: the real
            # scan first, then one that ends with the code of the case.
            Use-Host 'immediate'
            $scan = Get-QirScript 'qir-scan.exe'
            Move-Item -LiteralPath $scan -Destination "$scan.real"
            Set-Content -LiteralPath $scan -Value @(
                '#!/bin/sh'
                'calls="$QIR_FAKE_HOST/calls"'
                "if grep -q '^qir.exe' `"`$calls`" 2>/dev/null; then echo 'qir-scan.exe' >>`"`$calls`"; exit $After; fi"
                "exec '$scan.real' `"`$@`"")
            & chmod +x $scan
            (Install).ExitCode | Should -Be $Code
            Get-QirCallSummary | Should -Be 'scan;update;written;scan'
        }

        It 'a qir.exe ended during the download is a failure' {
            Use-Host 'reset'
            Set-QirMachineKey 'faults' @(@{ kind = 'inbox.download'; occurrence = 3; interrupt = 'kill' })
            $run = Install
            $run.ExitCode | Should -Not -BeIn 0, 3010, 1618
            Get-QirCallSummary | Should -Be 'scan;update'
        }
    }

    Context 'try again later (1618)' {
        It '<Case>: nothing started' -ForEach @(
            @{ Case = 'scan 6, another update runs now'; Key = 'update_running'; Value = $true
               Says = 'QIR: another firmware update is running now: try again later' }
            @{ Case = 'a drive to update on battery'; Key = 'power'
               Value = @{ ac_line = 'offline'; battery_present = $true; battery_percent = 40 }
               Says = 'QIR: the machine runs on battery: try again on AC power' }
        ) {
            Use-Host 'reset'
            Set-QirMachineKey $Key $Value
            $run = Install
            $run.ExitCode | Should -Be 1618
            $run.Output | Should -Contain $Says
            Get-QirCallSummary | Should -Be 'scan'
        }

        It 'on battery with <Case>: <Code>' -ForEach @(
            @{ Case = 'nothing to do'; Kind = 'current'; Code = 0 }
            @{ Case = 'the restart owed (scan 5)'; Kind = 'restart_pending'; Code = 3010 }
        ) {
            Use-Host $Kind
            Set-Power 'offline' $true
            (Install).ExitCode | Should -Be $Code
            Get-QirCallSummary | Should -Be 'scan'
        }

        It 'updates where the power is <Case>' -ForEach @(
            @{ Case = 'AC with a battery'; AcLine = 'online'; Battery = $true }
            @{ Case = 'unknown, a battery present'; AcLine = 'unknown'; Battery = $true }
            @{ Case = 'offline without a battery'; AcLine = 'offline'; Battery = $false }
        ) {
            Use-Host 'reset'
            Set-Power $AcLine $Battery
            (Install).ExitCode | Should -Be 3010
            Get-QirCallSummary | Should -Be 'scan;update;written;scan'
        }

        It 'a laptop plugged in later is updated then' {
            Use-Host 'reset'
            Set-Power 'offline' $true
            (Install).ExitCode | Should -Be 1618
            Set-Power 'online' $true
            (Install).ExitCode | Should -Be 3010
            Get-QirCallSummary | Should -Be 'scan;scan;update;written;scan'
        }
    }

    Context 'run again' {
        It 'after a restart that activated the firmware: 0, nothing written' {
            Use-Host 'reset'
            (Install).ExitCode | Should -Be 3010
            Restart-QirHost
            (Install).ExitCode | Should -Be 0
            Get-QirCallSummary | Should -Be 'scan;update;written;scan;reboot;scan'
            'C:\Windows\Logs\qir-written.txt' | Should -Not -Exist
        }

        It 'before the restart, behind VROC (scan 1): the restart asked again, nothing written' {
            Use-Host 'example_vroc_non_raid'
            (Install).ExitCode | Should -Be 3010
            $run = Install
            $run.ExitCode | Should -Be 3010
            $run.Output | Should -Not -BeLike $shutdown
            Get-QirCallSummary | Should -Be 'scan;update;written;scan;scan'
        }

        It 'after a restart that did not activate it (<Kind>): the shutdown message, nothing written' -ForEach @(
            @{ Kind = 'power_cycle_drive'; Calls = 'scan;update;written;scan;reboot;scan' }
            @{ Kind = 'example_default'; Calls = 'scan;update;written;reboot;scan' }
        ) {
            Use-Host $Kind
            (Install).ExitCode | Should -Be 3010
            Restart-QirHost
            $run = Install
            $run.ExitCode | Should -Be 3010
            $run.Output | Should -BeLike $shutdown
            Get-QirCallSummary | Should -Be $Calls
            Restart-QirHost 'power_cycle'
            (Install).ExitCode | Should -Be 0
        }

        It 'a drive that the last run did not write is updated' {
            Use-Host 'example_vroc_non_raid'
            (Install).ExitCode | Should -Be 3010
            # As if the drive found now had been fitted since that run.
            $note = @(Get-Content -LiteralPath 'C:\Windows\Logs\qir-written.txt')
            Set-Content -LiteralPath 'C:\Windows\Logs\qir-written.txt' -Value @($note[0], 'another serial')
            (Install).ExitCode | Should -Be 3010
            Get-QirCallSummary | Should -Be 'scan;update;written;scan;scan;update;written;scan'
        }
    }
}
