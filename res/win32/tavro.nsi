; The TAVRO installer: a per-user install without administrator rights into
; %LOCALAPPDATA%\Programs\TAVRO, a Start-menu shortcut, an entry in the
; installed programs, and an uninstaller that leaves the player's settings
; (%APPDATA%\TAVRO) and replays (%LOCALAPPDATA%\TAVRO) alone. While the
; game runs, the uninstaller asks for it to be closed and removes nothing
; before it is; run silently (/S) it then removes nothing and ends with exit
; code 2 (seen with _?=, as the first copy returns at once).
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
; What marks a running copy of the game: the named mutex it holds from its
; start to the end of its session, and its main window's class, which it has
; a little longer at both ends.
!define RUNNING_MUTEX "TAVRO_Sound_Mutex"
!define WINDOW_CLASS "TAVRO"
!define SYNCHRONIZE 0x00100000

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

; $0 = 1 while a copy of the game runs, else 0.
Function un.GameRunning
  StrCpy $0 1
  System::Call 'kernel32::OpenMutexW(i ${SYNCHRONIZE}, i 0, w "${RUNNING_MUTEX}") p .r1'
  StrCmp $1 0 +3
  System::Call 'kernel32::CloseHandle(p r1)'
  Return
  FindWindow $1 "${WINDOW_CLASS}"
  StrCmp $1 0 0 +2
  StrCpy $0 0
FunctionEnd

; Asks for the running game to be closed until it is; Cancel ends the
; uninstallation with nothing removed.
Function un.WaitForTheGameToClose
  check:
    Call un.GameRunning
    StrCmp $0 0 closed
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
      "TAVRO is running.$\r$\nClose it, then choose Retry to uninstall it." \
      /SD IDCANCEL IDRETRY check
    SetErrorLevel 2
    Abort "TAVRO is running: nothing was removed."
  closed:
FunctionEnd

; Removes Tavro.exe, which a game just closed may hold for a moment more:
; tried for 10 s, then the player is asked.
Function un.DeleteProgram
  StrCpy $2 0
  retry:
    ClearErrors
    Delete "$INSTDIR\Tavro.exe"
    IfErrors 0 deleted
    IntOp $2 $2 + 1
    IntCmp $2 50 0 wait 0
    StrCpy $2 0
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
      "$INSTDIR\Tavro.exe cannot be removed.$\r$\nClose TAVRO, then choose Retry." \
      /SD IDCANCEL IDRETRY retry
    SetErrorLevel 2
    Abort "Tavro.exe is in use: nothing was removed."
  wait:
    Sleep 200
    Goto retry
  deleted:
FunctionEnd

Section "Uninstall"
  SetShellVarContext current
  ; The program first: while it cannot go, nothing else goes either.
  Call un.WaitForTheGameToClose
  Call un.DeleteProgram
  ; Only what the installer put there: the folder goes only when empty.
  Delete "$INSTDIR\Bugu.wav"
  Delete "$INSTDIR\Chyuin.wav"
  Delete "$INSTDIR\Gooon.wav"
  Delete "$INSTDIR\Pyuin.wav"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\TAVRO.lnk"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
