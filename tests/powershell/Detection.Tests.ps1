# The detection script of Intune and Configuration Manager (Detect-Qir.ps1) and the
# compliance script of Configuration Manager (Get-QirScanResult.ps1) on simulated hosts,
# run by a PowerShell of their own as the tools run them, so that standard error is what
# the tool would read: Configuration Manager takes anything there as an unknown state,
# so the detection must leave it empty in every case. One PowerShell visits the hosts of
# a script in turn (a PowerShell takes a second to start).
BeforeDiscovery {
    $cases = @(
        @{ Case = 'firmware current'; Kind = 'current'; Installed = $true; Detected = $true; Code = '0' }
        @{ Case = 'a drive to update'; Kind = 'reset'; Installed = $true; Detected = $false; Code = '1' }
        @{ Case = 'the restart owed (scan 5)'; Kind = 'restart_pending'; Installed = $true; Detected = $false
            Code = '5' }
        @{ Case = 'a drive that cannot be read (scan 3)'; Kind = 'access_denied'; Installed = $true
            Detected = $false; Code = '3' }
        @{ Case = 'the scan not copied yet'; Kind = 'current'; Installed = $false; Detected = $false; Code = '-1' }
        # The scan writes to standard error, which must not come through.
        @{ Case = 'a scan that speaks on standard error'; Kind = 'current'; Installed = $true; Detected = $true
            Code = '0'; Scan = "#!/bin/sh`necho 'a word on standard error' >&2`nexit 0" }
        # A copy cut short, say: no program; PowerShell's own error must not come through.
        @{ Case = 'a scan that cannot start'; Kind = 'current'; Installed = $true; Detected = $false; Code = '-1'
            Scan = 'not a program' }
    )
    for ($i = 0; $i -lt $cases.Count; $i++) { $cases[$i].Index = $i }
}

# The hosts are made once, for both scripts.
Describe 'the detection and compliance scripts' -ForEach @(@{ Cases = $cases }) {
    BeforeAll {
        Import-Module (Join-Path $PSScriptRoot 'QirFakeHost.psm1') -Force

        $hosts = foreach ($case in $Cases) {
            $path = Join-Path $TestDrive "$($case.Index)/host"
            New-QirHost $path $case.Kind
            if ($case.Installed) {
                $programs = Join-Path $path 'Program Files/QIR'
                New-Item -ItemType Directory -Force -Path $programs | Out-Null
                Copy-Item -LiteralPath (Get-QirScript 'qir-scan.exe' -HostPath $path) -Destination $programs
                if ($case.Scan) {
                    Set-Content -LiteralPath "$programs/qir-scan.exe" -Value $case.Scan
                    if ($case.Scan -notlike '#!*') { & chmod -x "$programs/qir-scan.exe" }
                }
            }
            $path
        }

        # Runs the script once on every host, in a PowerShell of its own with C: on the host:
        # per host its exit code and output; and what came on standard error, all told.
        function Invoke-OnEachHost([string]$Name) {
            $each = Join-Path $TestDrive 'each_host.ps1'
            Set-Content -LiteralPath $each -Value @'
$name, $hostPaths = $args
foreach ($h in $hostPaths) {
    $env:QIR_FAKE_HOST = $h
    Remove-PSDrive -Name C -Force -ErrorAction Ignore
    New-PSDrive -Name C -PSProvider FileSystem -Root $h | Out-Null
    $global:LASTEXITCODE = 0
    $out = & "$h/Windows/IMECache/QIR/$name"
    "{0}`t{1}" -f $LASTEXITCODE, ($out -join '|')
}
'@
            $err = Join-Path $TestDrive "$Name.stderr"
            $lines = & $env:QIR_PWSH -NoProfile -NonInteractive -File $each $Name @hosts 2>$err
            return [pscustomobject]@{
                Runs = @($lines | ForEach-Object { $code, $out = $_ -split "`t", 2; @{ ExitCode = $code; Output = $out } })
                Errors = Get-Content -Raw -LiteralPath $err
            }
        }
    }

    Context 'Detect-Qir.ps1' {
        BeforeAll {
            $detect = Invoke-OnEachHost 'Detect-Qir.ps1'
        }

        It 'writes nothing on standard error, whatever the scan does' {
            $detect.Errors | Should -BeNullOrEmpty
            $detect.Runs.Count | Should -Be $hosts.Count
        }

        It '<Case>: detected <Detected>, ends with 0' -ForEach $cases {
            $run = $detect.Runs[$Index]
            $run.ExitCode | Should -Be '0'
            $run.Output | Should -Be $(if ($Detected) { 'QIR: firmware up to date' } else { '' })
        }
    }

    Context 'Get-QirScanResult.ps1' {
        BeforeAll {
            $compliance = Invoke-OnEachHost 'Get-QirScanResult.ps1'
        }

        It 'writes nothing on standard error' {
            $compliance.Errors | Should -BeNullOrEmpty
        }

        It '<Case>: reports <Code>' -ForEach $cases {
            $compliance.Runs[$Index].Output | Should -Be $Code
        }
    }
}
