# Runs Pester test files with the Pester that scripts/install_deps.sh put in the build
# tree, and ends with the number of failed tests (0: all passed).
param([Parameter(Mandatory)][string]$Pester, [Parameter(Mandatory, ValueFromRemainingArguments)][string[]]$Path)
$ErrorActionPreference = 'Stop'
$PSStyle.OutputRendering = 'PlainText'
Import-Module $Pester
$configuration = New-PesterConfiguration
$configuration.Run.Path = $Path
$configuration.Run.Exit = $true
$configuration.Output.Verbosity = 'Detailed'
Invoke-Pester -Configuration $configuration
