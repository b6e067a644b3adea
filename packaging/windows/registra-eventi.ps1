# Registers vessentaria as a source of the Application event log, where the program reports a
# failed task. Run it once, in an administrator's PowerShell:
#   powershell -ExecutionPolicy Bypass -File C:\vessentaria\registra-eventi.ps1
#Requires -RunAsAdministrator
$ErrorActionPreference = 'Stop'
if ([System.Diagnostics.EventLog]::SourceExists('vessentaria')) {
    Write-Output 'The event log source vessentaria was already registered.'
} else {
    New-EventLog -LogName Application -Source vessentaria
    Write-Output 'The event log source vessentaria is registered in the Application log.'
}
