@echo off
rem Installs product.msi from this folder, the package's work folder,
rem quietly, with a log among the user's temporary files, and hands
rem msiexec's exit code back to the package (3010: restart needed).
msiexec.exe /i "%~dp0product.msi" /qn /l*v "%TEMP%\vcboot-msi-example.log" %*
exit /b %ERRORLEVEL%
