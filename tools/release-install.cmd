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
rem Each step's failure is read from errorlevel or from the file system, and no command's
rem output is read: cmd's || after call, and for /f over a command, do not hold in every
rem cmd.
setlocal EnableExtensions DisableDelayedExpansion
if "%LOCALAPPDATA%"=="" (echo install.cmd: LOCALAPPDATA is not set, so there is no folder to install into& exit /b 1)
set "from=%~dp0"
set "plugins=%LOCALAPPDATA%\gegl-0.4\plug-ins"
set "programs=%LOCALAPPDATA%\Programs\Ondalux"
set "list=%programs%\installed.txt"
set "pending=%TEMP%\ondalux-installed-%RANDOM%.txt"
set "problem="
if /i "%~1"=="/uninstall" goto uninstall
if not "%~1"=="" (echo usage: install.cmd [/uninstall]& exit /b 2)

if exist "%list%" call :remove_listed
type nul >"%pending%"
for %%f in ("%LOCALAPPDATA%\Programs" "%programs%" "%LOCALAPPDATA%\gegl-0.4" "%plugins%" "%plugins%\ondalux-locale") do call :made %%f
call :copy "gegl-0.4\plug-ins\ondalux-dent.dll" "%plugins%"
pushd "%from%gegl-0.4\plug-ins\ondalux-locale"
for /d %%l in (*) do (
  call :made "%plugins%\ondalux-locale\%%l"
  call :made "%plugins%\ondalux-locale\%%l\LC_MESSAGES"
  call :copy "gegl-0.4\plug-ins\ondalux-locale\%%l\LC_MESSAGES\ondalux.mo" "%plugins%\ondalux-locale\%%l\LC_MESSAGES"
)
popd
call :copy "bin\ondalux.exe" "%programs%"
>>"%pending%" echo file %list%
if exist "%programs%\" move /y "%pending%" "%list%" >nul
if exist "%pending%" (del /q "%pending%"& if not defined problem set "problem=cannot write %list%")
if defined problem (echo install.cmd: %problem%& exit /b 1)
echo Ondalux installed: the operation ondalux:dent (GIMP 3: Filters ^> Distorts ^> Ondalux Live...) into %plugins%, the ondalux command into %programs%
exit /b 0

:uninstall
if not exist "%list%" (echo Ondalux is not installed for this user: there is no %list%& exit /b 0)
call :remove_listed
echo Ondalux uninstalled: removed what %list% listed
exit /b 0

rem Makes folder %1 where it is missing, and lists it.
:made
if defined problem exit /b 1
if exist "%~1\" exit /b 0
mkdir "%~1" 2>nul
if not exist "%~1\" (set "problem=cannot make the folder %~1"& exit /b 1)
>>"%pending%" echo folder %~1
exit /b 0

rem Copies %1, a file of this folder, into folder %2 and lists it.
:copy
if defined problem exit /b 1
copy /y "%from%%~1" "%~2\" >nul 2>&1
if errorlevel 1 (set "problem=cannot copy %~nx1 into %~2; is GIMP running?"& exit /b 1)
>>"%pending%" echo file %~2\%~nx1
exit /b 0

rem Removes the files that the list names, then its folders where empty: a folder empties
rem once those inside it are gone, so the folders are gone over once for each level.
:remove_listed
set "removing=%TEMP%\ondalux-removing-%RANDOM%.txt"
move /y "%list%" "%removing%" >nul
for /f "usebackq tokens=1*" %%a in ("%removing%") do if "%%a"=="file" del /f /q "%%b" 2>nul
for %%n in (1 2 3 4 5) do (
  for /f "usebackq tokens=1*" %%a in ("%removing%") do if "%%a"=="folder" rd "%%b" 2>nul
)
del /q "%removing%"
exit /b 0
