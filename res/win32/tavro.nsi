; The TAVRO installer: a per-user install without administrator rights into
; %LOCALAPPDATA%\Programs\TAVRO, a Start-menu shortcut, an entry in the
; installed programs, and an uninstaller that leaves the player's settings
; (%APPDATA%\TAVRO) and replays (%LOCALAPPDATA%\TAVRO) alone.
;
; makensis -DTAVRO_DIR=<folder with Tavro.exe and the effect files>
;          -DOUTFILE=<tavro-setup.exe> tavro.nsi

; A 64-bit installer for the 64-bit program (it also runs where no 32-bit
; subsystem is installed).
Target amd64-unicode
!ifndef TAVRO_DIR | OUTFILE
  !error "TAVRO_DIR and OUTFILE must be defined"
!endif

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\TAVRO"

Name "TAVRO"
OutFile "${OUTFILE}"
Icon "tavro.ico"
UninstallIcon "tavro.ico"
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\TAVRO"
SetCompressor /SOLID lzma

VIProductVersion "1.5.0.0"
VIAddVersionKey /LANG=0 "ProductName" "TAVRO"
VIAddVersionKey /LANG=0 "FileDescription" "TAVRO setup"
VIAddVersionKey /LANG=0 "FileVersion" "1.5.0.0"
VIAddVersionKey /LANG=0 "ProductVersion" "1.5.0.0"
VIAddVersionKey /LANG=0 "LegalCopyright" "Copyright (C) the TAVRO authors"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section
  SetShellVarContext current
  SetOutPath "$INSTDIR"
  File "${TAVRO_DIR}\Tavro.exe"
  File "${TAVRO_DIR}\Bugu.wav"
  File "${TAVRO_DIR}\Chyuin.wav"
  File "${TAVRO_DIR}\Gooon.wav"
  File "${TAVRO_DIR}\Pyuin.wav"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  CreateShortcut "$SMPROGRAMS\TAVRO.lnk" "$INSTDIR\Tavro.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "TAVRO"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "1.5.0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Tavro.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  SetShellVarContext current
  ; Only what the installer put there: the folder goes only when empty.
  Delete "$INSTDIR\Tavro.exe"
  Delete "$INSTDIR\Bugu.wav"
  Delete "$INSTDIR\Chyuin.wav"
  Delete "$INSTDIR\Gooon.wav"
  Delete "$INSTDIR\Pyuin.wav"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\TAVRO.lnk"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
