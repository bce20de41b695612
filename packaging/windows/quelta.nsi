; The Windows installer of Quelta: Quelta-<version>-setup.exe.
;
; It installs the plug-in (32- or 64-bit, as the user chooses), quelta.exe,
; the help, the language files and the read-me into the plug-in folder, and
; the default profile there too, file by file and only where a file is
; missing: on an upgrade the user's rules, lists, settings, Bayes databases
; and logs stay exactly as they are. The uninstaller removes the program
; files it installed and leaves every data file, and the folder with them.
;
; Per user, no administrator rights: the plug-in writes its data into its own
; folder, so that folder must be the user's.
;
; Silent use:  Quelta-<version>-setup.exe /S [/ARCH=32|64] /D=C:\path\to\folder
;              (/D= last and unquoted, as always with NSIS)
;              Uninstall.exe /S
; Without /ARCH an upgrade keeps the edition installed before; a first
; install takes the 64-bit plug-in on 64-bit Windows.
;
; Built by scripts/release.sh, which defines VERSION, OUTFILE, WIN32DIR,
; WIN64DIR (the build folders), DATADIR (the default profile), READMEDIR and
; LANGUAGES (an include file that lists the language files).

Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel user

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include Sections.nsh
!include x64.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quelta"
!define STATE_KEY "Software\Quelta"

Name "Quelta ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$APPDATA\Quelta"
InstallDirRegKey HKCU "${STATE_KEY}" "InstallDir"
BrandingText "Quelta ${VERSION}"

VIProductVersion "${VERSION}"
VIAddVersionKey "ProductName" "Quelta"
VIAddVersionKey "FileDescription" "Quelta ${VERSION} Setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Copyright (C) 2026 The Quelta developers"

!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_TEXT_TOP "Choose the edition that matches your The Bat!: the 64-bit plug-in for the 64-bit program, the 32-bit plug-in for the 32-bit one."
!insertmacro MUI_PAGE_COMPONENTS
!define MUI_DIRECTORYPAGE_TEXT_TOP "Choose the plug-in folder. The Bat! loads Quelta.tbp from there, and Quelta keeps its rules, lists, settings, Bayes databases and log in the same folder. Installing into a folder that holds Quelta already upgrades it and keeps all of your data."
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "Plug-in folder"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\ReadMe.txt"
!define MUI_FINISHPAGE_SHOWREADME_TEXT "Show how to add the plug-in to The Bat!"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Var Arch  ; "32" or "64": the edition being installed

Section "64-bit plug-in" SecWin64
  SetOutPath "$INSTDIR"
  SetOverwrite on
  File "${WIN64DIR}\Quelta.tbp"
  File "${WIN64DIR}\quelta.exe"
  File "${WIN64DIR}\Quelta.chm"
  StrCpy $Arch 64
SectionEnd

Section /o "32-bit plug-in" SecWin32
  SetOutPath "$INSTDIR"
  SetOverwrite on
  File "${WIN32DIR}\Quelta.tbp"
  File "${WIN32DIR}\quelta.exe"
  File "${WIN32DIR}\Quelta.chm"
  StrCpy $Arch 32
SectionEnd

; Program files of both editions, then the default profile where missing.
Section "-Common"
  SetOutPath "$INSTDIR"
  SetOverwrite on
  File "${READMEDIR}\ReadMe.txt"
  SetOutPath "$INSTDIR\Language"
  File "${DATADIR}\Language\*.lng"

  SetOutPath "$INSTDIR"
  SetOverwrite off
  File /r /x Language "${DATADIR}\*"
  SetOverwrite on

  WriteUninstaller "$INSTDIR\Uninstall.exe"
  WriteRegStr HKCU "${STATE_KEY}" "InstallDir" "$INSTDIR"
  WriteRegStr HKCU "${STATE_KEY}" "Arch" "$Arch"
  WriteRegStr HKCU "${STATE_KEY}" "Version" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Quelta (anti-spam plug-in for The Bat!, $Arch-bit)"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "The Quelta developers"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

LangString DESC_Win64 ${LANG_ENGLISH} "For the 64-bit The Bat!."
LangString DESC_Win32 ${LANG_ENGLISH} "For the 32-bit The Bat!."
!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecWin64} $(DESC_Win64)
  !insertmacro MUI_DESCRIPTION_TEXT ${SecWin32} $(DESC_Win32)
!insertmacro MUI_FUNCTION_DESCRIPTION_END

Var Radio  ; the selected edition's section, for the radio-button pair

Function SelectEdition  ; $0: "32" or "64"
  ${If} $0 == 32
    !insertmacro UnselectSection ${SecWin64}
    !insertmacro SelectSection ${SecWin32}
    StrCpy $Radio ${SecWin32}
  ${Else}
    !insertmacro UnselectSection ${SecWin32}
    !insertmacro SelectSection ${SecWin64}
    StrCpy $Radio ${SecWin64}
  ${EndIf}
FunctionEnd

Function .onInit
  ; The edition: /ARCH= on the command line, else the one installed before,
  ; else the one of this Windows.
  ${GetParameters} $1
  ClearErrors
  ${GetOptions} $1 "/ARCH=" $0
  ${If} ${Errors}
    ReadRegStr $0 HKCU "${STATE_KEY}" "Arch"
    ${If} $0 == ""
      StrCpy $0 32
      ${If} ${RunningX64}
        StrCpy $0 64
      ${EndIf}
    ${EndIf}
  ${ElseIf} $0 != 32
  ${AndIf} $0 != 64
    MessageBox MB_ICONSTOP "/ARCH= takes 32 or 64, not '$0'." /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
  Call SelectEdition

  ; A first install without /D= goes beside The Bat!'s own data, when the
  ; mail client names its working folder.
  ReadRegStr $1 HKCU "${STATE_KEY}" "InstallDir"
  ${If} $1 == ""
  ${AndIf} $INSTDIR == "$APPDATA\Quelta"
    ReadRegStr $1 HKCU "Software\RIT\The Bat!" "Working Directory"
    ${If} $1 != ""
      ExpandEnvStrings $1 $1
      StrCpy $INSTDIR "$1\Quelta"
    ${EndIf}
  ${EndIf}
FunctionEnd

Function .onSelChange
  !insertmacro StartRadioButtons $Radio
    !insertmacro RadioButton ${SecWin64}
    !insertmacro RadioButton ${SecWin32}
  !insertmacro EndRadioButtons
FunctionEnd

; Program files only: what the installer wrote that is not the profile.
Section "Uninstall"
  Delete "$INSTDIR\Quelta.tbp"
  Delete "$INSTDIR\quelta.exe"
  Delete "$INSTDIR\Quelta.chm"
  Delete "$INSTDIR\ReadMe.txt"
  !include "${LANGUAGES}"
  RMDir "$INSTDIR\Language"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  DeleteRegKey HKCU "${STATE_KEY}"
SectionEnd
