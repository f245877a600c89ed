# Every script of deploy/windows parses with PowerShell's own parser and keeps to what
# Windows PowerShell 5.1 understands, which is what Intune and Configuration Manager
# start: checked on the syntax tree, since no Windows PowerShell runs here.
BeforeDiscovery {
    $scripts = Get-ChildItem -Path (Join-Path $env:QIR_SOURCE_DIR 'deploy/windows') -Filter '*.ps1' |
        ForEach-Object { @{ Name = $_.Name; Path = $_.FullName } }
}

BeforeAll {
    # Commands that came with PowerShell 6 or 7, and parameters that 5.1's commands lack.
    $newCommands = 'Test-Json', 'Get-Error', 'Join-String', 'Get-Uptime', 'Remove-Alias', 'Remove-Service',
        'ConvertFrom-Markdown', 'Show-Markdown', 'Get-MarkdownOption', 'Set-MarkdownOption', 'Clear-RecycleBin'
    $newParameters = @{
        'ForEach-Object' = 'Parallel', 'ThrottleLimit', 'TimeoutSeconds', 'AsJob'
        'ConvertFrom-Json' = 'AsHashtable', 'Depth', 'NoEnumerate', 'DateKind'
        'ConvertTo-Json' = 'AsArray', 'EscapeHandling'
        'Get-Content' = 'AsByteStream'
        'Set-Content' = 'AsByteStream'
        'Add-Content' = 'AsByteStream'
        'Join-Path' = 'AdditionalChildPath'
        'Split-Path' = 'LeafBase', 'Extension'
        'Select-String' = 'Raw', 'NoEmphasis'
        'Start-Process' = 'Environment'
        'Test-Path' = 'OlderThan', 'NewerThan'
        'Get-ChildItem' = 'FollowSymlink'
        'Invoke-WebRequest' = 'SkipCertificateCheck', 'Resume'
    }
    $ast = 'System.Management.Automation.Language'

    function Get-Parsed([string]$Path) {
        $tokens = $null
        $errors = $null
        $tree = [System.Management.Automation.Language.Parser]::ParseFile($Path, [ref]$tokens, [ref]$errors)
        return [pscustomobject]@{ Tree = $tree; Errors = $errors }
    }

    function Format-Node($Node, [string]$What) {
        return "line $($Node.Extent.StartLineNumber): $What"
    }

    # The operators and blocks that 5.1 does not parse: ternary, ??, ??=, ?. and ?[],
    # && and || between pipelines, and the clean block.
    function Find-NewSyntax($Tree) {
        foreach ($n in $Tree.FindAll({ $true }, $true)) {
            if ($n -is "$ast.TernaryExpressionAst") { Format-Node $n 'ternary' }
            elseif ($n -is "$ast.PipelineChainAst") { Format-Node $n 'pipeline chain' }
            elseif ($n -is "$ast.BinaryExpressionAst" -and "$($n.Operator)" -eq 'QuestionQuestion') { Format-Node $n '??' }
            elseif ($n -is "$ast.AssignmentStatementAst" -and "$($n.Operator)" -eq 'QuestionQuestionEquals') { Format-Node $n '??=' }
            elseif (($n -is "$ast.MemberExpressionAst" -or $n -is "$ast.IndexExpressionAst") -and $n.NullConditional) {
                Format-Node $n 'null-conditional access'
            }
            elseif ($n -is "$ast.ScriptBlockAst" -and $null -ne $n.CleanBlock) { Format-Node $n 'clean block' }
        }
    }

    function Find-NewCommands($Tree) {
        foreach ($call in $Tree.FindAll({ param($n) $n -is "$ast.CommandAst" }, $true)) {
            $name = "$($call.GetCommandName())"
            if ($name -in $newCommands) { Format-Node $call $name }
            foreach ($element in $call.CommandElements) {
                if ($element -is "$ast.CommandParameterAst" -and $newParameters.ContainsKey($name) -and
                    $element.ParameterName -in $newParameters[$name]) {
                    Format-Node $call "$name -$($element.ParameterName)"
                }
            }
        }
    }
}

Describe '<Name>' -ForEach $scripts {
    BeforeAll {
        $parsed = Get-Parsed $Path
    }

    It 'parses without error' {
        $parsed.Errors | ForEach-Object { Format-Node $_ $_.Message } | Should -BeNullOrEmpty
    }

    It 'is plain ASCII, which 5.1 reads alike in every code page' {
        [System.IO.File]::ReadAllText($Path, [System.Text.Encoding]::Latin1) | Should -Not -Match '[^\x00-\x7F]'
    }

    It 'uses no syntax that 5.1 lacks' {
        Find-NewSyntax $parsed.Tree | Should -BeNullOrEmpty
    }

    It 'calls no command and no parameter that 5.1 lacks' {
        Find-NewCommands $parsed.Tree | Should -BeNullOrEmpty
    }
}

Describe 'the checks themselves' {
    It 'find <What>' -ForEach @(
        @{ What = 'a ternary'; Text = '$a = $b ? 1 : 2' }
        @{ What = 'a null-coalescing operator'; Text = '$a = $b ?? 2' }
        @{ What = 'a null-coalescing assignment'; Text = '$a ??= 2' }
        @{ What = 'a null-conditional member'; Text = '${a}?.Length' }
        @{ What = 'a pipeline chain'; Text = 'Get-Item x && Get-Item y' }
        @{ What = 'a 7-only parameter'; Text = 'Get-Content x -Raw | ConvertFrom-Json -AsHashtable' }
        @{ What = 'a 7-only command'; Text = '"{}" | Test-Json' }
    ) {
        $file = Join-Path $TestDrive 'sample.ps1'
        Set-Content -LiteralPath $file -Value $Text
        $parsed = Get-Parsed $file
        $parsed.Errors.Count | Should -Be 0
        @(Find-NewSyntax $parsed.Tree) + @(Find-NewCommands $parsed.Tree) | Should -Not -BeNullOrEmpty
    }
}
