; The Windows installer of Velmora. scripts/package.sh runs makensis with
;   -DVERSION=1.101 -DSTAGE=<folder holding velmora.exe, velmora-cli.exe, README.txt, velmora.ico>
;   -DOUTFILE=<the installer to write>
; An administrator installs for every user into Program Files; anyone else installs for
; themselves into their own programs folder. /S installs silently.

; A 64-bit installer for the 64-bit programs: it sees the 64-bit Program Files and registry.
Target amd64-unicode
SetCompressor /SOLID lzma

!define PRODUCT "Velmora"
!define PUBLISHER "Velmora"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Velmora"

!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_INSTALLMODE_INSTDIR "${PRODUCT}"
!define MULTIUSER_USE_PROGRAMFILES64
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_VALUENAME "InstallLocation"
!include MultiUser.nsh
!include MUI2.nsh
!include FileFunc.nsh

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
BrandingText "${PRODUCT} ${VERSION}"
VIProductVersion "${VERSION}.0.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${PRODUCT} installer"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

!define MUI_ICON "${STAGE}\velmora.ico"
!define MUI_UNICON "${STAGE}\velmora.ico"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_TITLE "Velmora is installed"
!define MUI_FINISHPAGE_TEXT "Velmora keeps its projects in the folders MASTER and PROJECTS of its installation folder: the program's folder when Velmora may write there, otherwise %LOCALAPPDATA%\Velmora.$\r$\n$\r$\nThe updater program, Ser_48203_Update.exe, is not part of Velmora. Put it beside velmora.exe in$\r$\n$INSTDIR$\r$\nor in %LOCALAPPDATA%\Velmora, and the firmware file sim48203.sim in the MASTER folder."
!define MUI_FINISHPAGE_RUN "$INSTDIR\velmora.exe"
!define MUI_FINISHPAGE_RUN_NOTCHECKED

!insertmacro MUI_PAGE_WELCOME
!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_PAGE_CUSTOMFUNCTION_SHOW FinishPageShow
!insertmacro MUI_PAGE_FINISH
!define MUI_UNCONFIRMPAGE_TEXT_TOP "Velmora will be uninstalled from the folder below. The projects in its folders MASTER and PROJECTS and the settings file are kept, and with them the folder."
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Function .onInit
  SetRegView 64
  !insertmacro MULTIUSER_INIT
FunctionEnd

; $R0..$R3: the rectangle LEFT, TOP, RIGHT, BOTTOM of the finish page, given in dialog units, in
; pixels as left, top, width and height.
!macro FinishPageRect LEFT TOP RIGHT BOTTOM
  System::Call "*(i ${LEFT}, i ${TOP}, i ${RIGHT}, i ${BOTTOM}) p.R9"
  System::Call "user32::MapDialogRect(p $mui.FinishPage, p R9)"
  System::Call "*$R9(i .R0, i .R1, i .R2, i .R3)"
  System::Free $R9
  IntOp $R2 $R2 - $R0
  IntOp $R3 $R3 - $R1
!macroend

; The note on the files Velmora does not bring takes the page down to its foot, where the
; "Run Velmora" box moves: the page's own text area holds one paragraph only above the box.
Function FinishPageShow
  !insertmacro FinishPageRect 120 45 315 170
  System::Call "user32::SetWindowPos(p $mui.FinishPage.Text, p 0, i R0, i R1, i R2, i R3, i 0x14)"
  !insertmacro FinishPageRect 120 175 315 185
  System::Call "user32::SetWindowPos(p $mui.FinishPage.Run, p 0, i R0, i R1, i R2, i R3, i 0x14)"
FunctionEnd

Function un.onInit
  SetRegView 64
  !insertmacro MULTIUSER_UNINIT
FunctionEnd

Section "Velmora" SecMain
  SectionIn RO
  SetOutPath "$INSTDIR"
  File "${STAGE}\velmora.exe"
  File "${STAGE}\velmora-cli.exe"
  File "${STAGE}\README.txt"
  WriteUninstaller "$INSTDIR\Uninstall Velmora.exe"

  CreateShortCut "$SMPROGRAMS\Velmora.lnk" "$INSTDIR\velmora.exe" "" "$INSTDIR\velmora.exe" 0

  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\velmora.exe,0"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall Velmora.exe" /$MultiUser.InstallMode'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall Velmora.exe" /$MultiUser.InstallMode /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  ; The size "Apps & features" shows, in KiB.
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

; The program's own files go; the technician's projects, the firmware and the settings file in
; MASTER, PROJECTS and beside the program stay, and with them the folder.
Section "Uninstall"
  Delete "$INSTDIR\velmora.exe"
  Delete "$INSTDIR\velmora-cli.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\Uninstall Velmora.exe"
  Delete "$SMPROGRAMS\Velmora.lnk"
  RMDir "$INSTDIR"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
SectionEnd
