@echo off
rem Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
rem Installs Ondalux from this folder for the current user, without administrator rights
rem and with nothing to answer: the GEGL operation ondalux:dent, which GIMP 3 shows as
rem Filters > Distorts > Ondalux Live..., into %LOCALAPPDATA%\gegl-0.4\plug-ins, where
rem GEGL loads the user's own operations, with its catalogues in ondalux-locale there;
rem and the ondalux command into %LOCALAPPDATA%\Programs\Ondalux. PATH stays as it is.
rem The files it copies and the folders it makes are listed in installed.txt there.
rem   install.cmd              installs, in place of an earlier install
rem   install.cmd /uninstall   removes the files listed, then the folders listed where
rem                            they are empty
setlocal EnableExtensions DisableDelayedExpansion
if "%LOCALAPPDATA%"=="" (echo install.cmd: LOCALAPPDATA is not set, so there is no folder to install into& exit /b 1)
set "from=%~dp0"
set "plugins=%LOCALAPPDATA%\gegl-0.4\plug-ins"
set "programs=%LOCALAPPDATA%\Programs\Ondalux"
set "list=%programs%\installed.txt"
set "pending=%TEMP%\ondalux-installed-%RANDOM%.txt"
if /i "%~1"=="/uninstall" goto uninstall
if not "%~1"=="" (echo usage: install.cmd [/uninstall]& exit /b 2)

if exist "%list%" call :remove_listed
type nul >"%pending%"
call :made "%plugins%\ondalux-locale" || goto failed
call :copy "gegl-0.4\plug-ins\ondalux-dent.dll" "%plugins%" || goto failed
for /d %%l in ("%from%gegl-0.4\plug-ins\ondalux-locale\*") do (
  call :made "%plugins%\ondalux-locale\%%~nxl\LC_MESSAGES" || goto failed
  call :copy "gegl-0.4\plug-ins\ondalux-locale\%%~nxl\LC_MESSAGES\ondalux.mo" "%plugins%\ondalux-locale\%%~nxl\LC_MESSAGES" || goto failed
)
call :made "%programs%" || goto failed
call :copy "bin\ondalux.exe" "%programs%" || goto failed
>>"%pending%" echo file %list%
move /y "%pending%" "%list%" >nul || (set "problem=cannot write %list%"& goto failed)
echo Ondalux installed: the operation ondalux:dent (GIMP 3: Filters ^> Distorts ^> Ondalux Live...) into %plugins%, the ondalux command into %programs%
exit /b 0

:failed
echo install.cmd: %problem%
if exist "%programs%\" (>>"%pending%" echo file %list%& move /y "%pending%" "%list%" >nul) else del /q "%pending%" 2>nul
exit /b 1

:uninstall
if not exist "%list%" (echo Ondalux is not installed for this user: there is no %list%& exit /b 0)
call :remove_listed
echo Ondalux uninstalled: removed what %list% listed
exit /b 0

rem Makes folder %1 and its parents where they are missing, listing each one made.
:made
if exist "%~1\" exit /b 0
for %%p in ("%~1\..") do call :made "%%~fp" || exit /b 1
mkdir "%~1" 2>nul || (set "problem=cannot make the folder %~1"& exit /b 1)
>>"%pending%" echo folder %~f1
exit /b 0

rem Copies %1, a file of this folder, into folder %2 and lists it.
:copy
copy /y "%from%%~1" "%~2\" >nul 2>&1 || (set "problem=cannot copy %~nx1 into %~2 (is GIMP running?)"& exit /b 1)
>>"%pending%" echo file %~2\%~nx1
exit /b 0

rem Removes the files that the list names, then its folders, deepest first, where empty.
:remove_listed
set "removing=%TEMP%\ondalux-removing-%RANDOM%.txt"
move /y "%list%" "%removing%" >nul
for /f "usebackq tokens=1*" %%a in ("%removing%") do if "%%a"=="file" del /f /q "%%b" 2>nul
for /f "tokens=1*" %%a in ('sort /r "%removing%"') do if "%%a"=="folder" rd "%%b" 2>nul
del /q "%removing%"
exit /b 0
