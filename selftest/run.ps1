<#
.SYNOPSIS
  Runs the Kiln self-test on this Windows machine, with the real WebView2.

.DESCRIPTION
  Copies the kit (package.json, icon.png, www, selftest.ext.dll) beside a
  copy of the given kiln.exe in a new temporary folder, removes what an
  earlier self-test saved, runs kiln.exe twice (the second run reads back
  what the first one saved), and prints the report of the second run as a
  table. Leave the window alone while it runs: it moves, resizes and goes
  fullscreen by itself, and closes when done.

  Exit code 0 when no check failed, 1 when one did or a run did not finish,
  2 when kiln.exe cannot be found.

.EXAMPLE
  powershell -ExecutionPolicy Bypass -File run.ps1
  powershell -ExecutionPolicy Bypass -File run.ps1 -Kiln C:\Games\MyGame\MyGame.exe
#>
param(
  # The kiln.exe to test; by default the one in the kit.
  [string]$Kiln = (Join-Path $PSScriptRoot 'kiln.exe'),
  # How long one run may take before it counts as hung.
  [int]$TimeoutSeconds = 180
)

$ErrorActionPreference = 'Stop'

if (-not (Test-Path -LiteralPath $Kiln -PathType Leaf)) {
  Write-Host "self-test: no kiln.exe at $Kiln"
  exit 2
}

$work = Join-Path ([IO.Path]::GetTempPath()) ('kiln-selftest-' + [Guid]::NewGuid().ToString('N').Substring(0, 8))
New-Item -ItemType Directory -Path $work | Out-Null
foreach ($item in 'package.json', 'icon.png', 'www') {
  Copy-Item -LiteralPath (Join-Path $PSScriptRoot $item) -Destination $work -Recurse
}
Get-ChildItem -LiteralPath $PSScriptRoot -Filter '*.ext.dll' | Copy-Item -Destination $work
$exe = Join-Path $work 'kiln.exe'
Copy-Item -LiteralPath $Kiln -Destination $exe

# What an earlier self-test saved would be read back as this one's.
$userData = Join-Path $env:LOCALAPPDATA 'kiln-selftest'
if (Test-Path -LiteralPath $userData) {
  Remove-Item -LiteralPath $userData -Recurse -Force
}

$exitCodes = @()
foreach ($run in 1, 2) {
  Write-Host "self-test: run $run of 2 in $work"
  $process = Start-Process -FilePath $exe -WorkingDirectory $work -PassThru
  # Holding the handle keeps the exit code readable once the process ends.
  $null = $process.Handle
  if ($process.WaitForExit($TimeoutSeconds * 1000)) {
    $exitCodes += $process.ExitCode
  } else {
    $process.Kill()
    $exitCodes += "did not end within $TimeoutSeconds s"
  }
}

$reportPath = Join-Path $work 'selftest-report.json'
if (-not (Test-Path -LiteralPath $reportPath)) {
  Write-Host "self-test: kiln.exe wrote no report (exit codes: $($exitCodes -join ', '))."
  Write-Host 'self-test: selftest.ext.dll was not loaded, or the page never ran.'
  exit 1
}
$report = Get-Content -LiteralPath $reportPath -Raw -Encoding UTF8 | ConvertFrom-Json
$report.checks | Format-Table -AutoSize -Wrap -Property status, name, seen | Out-String -Width 200 | Write-Host

$failed = @($report.checks | Where-Object { $_.status -eq 'fail' }).Count
$passed = @($report.checks | Where-Object { $_.status -eq 'pass' }).Count
$skipped = @($report.checks | Where-Object { $_.status -eq 'skip' }).Count
$problems = @()
if ($failed -gt 0) { $problems += "$failed failed" }
if (-not $report.complete) { $problems += 'the checks did not all run' }
if ($report.run -ne 2) { $problems += "the report is from run $($report.run), not run 2" }
foreach ($code in $exitCodes) {
  if ($code -ne 0) { $problems += "kiln.exe exit code: $code" }
}

Write-Host "self-test: $passed passed, $failed failed, $skipped skipped on Windows $($report.system.windows) ($($report.system.architecture))"
Write-Host "self-test: the report is $reportPath"
if ($problems.Count -gt 0) {
  Write-Host ('self-test: FAILED: ' + ($problems -join '; '))
  Write-Host 'self-test: please send selftest-report.json with the version of Windows and of kiln.exe you tested.'
  exit 1
}
Write-Host 'self-test: every check that could run here passed.'
exit 0
