; QelCrypt setup: the control (x86 everywhere, x64 too on 64-bit Windows), each
; registered through its own DllRegisterServer by the regsvr32 of its
; bitness, KvoCheck with a Start-menu shortcut, the native-messaging host for
; Chromium-based browsers (Chrome and Edge find its manifest through their
; NativeMessagingHosts keys) with its origin allow-list, and an uninstaller
; listed in the system's installed programs.
;
;   QelCryptSetup.exe [/S] [/ORIGINS=o1,o2] [/D=DIR]   install (silently with /S)
;   "DIR\uninstall.exe" [/S]                           remove what setup added
;
; /ORIGINS sets the origins whose pages may use the host (comma-separated,
; e.g. https://bank.example,https://intranet.example:8443); without it an
; existing list is kept.
;
; Exit code 0, or 2 when a control could not be registered (or unregistered);
; the rest of the installation is still done, and the log says which.
;
; Built by scripts/installer with makensis:
;   -DQEL_X86_DIR=... -DQEL_X64_DIR=...  build trees of the two configurations
;   -DQEL_HOST_MANIFEST=...              the host's manifest (names the extension)
;   -DQEL_OUTFILE=...                    the setup program to write
;   -DQEL_AMD64_STUB                     a 64-bit setup program (for machines
;                                        that run no 32-bit programs)

Unicode true
!ifdef QEL_AMD64_STUB
  Target amd64-unicode
!endif

!include LogicLib.nsh
!include x64.nsh
!include FileFunc.nsh

!define PRODUCT "QelCrypt"
!define VERSION "1.0.1.0"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\QelCrypt"
!define MENU_DIR "$SMPROGRAMS\QelCrypt"
!define HOST_NAME "com.qelcrypt.host"
!define HOST_KEY "SOFTWARE\QelCrypt\NativeHost"
!define CHROME_KEY "Software\Google\Chrome\NativeMessagingHosts\${HOST_NAME}"
!define EDGE_KEY "Software\Microsoft\Edge\NativeMessagingHosts\${HOST_NAME}"

Name "${PRODUCT} ${VERSION}"
OutFile "${QEL_OUTFILE}"
InstallDir "$PROGRAMFILES\QelCrypt"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
ShowInstDetails show
ShowUninstDetails show
VIProductVersion "${VERSION}"
VIAddVersionKey "ProductName" "Vantor"
VIAddVersionKey "FileDescription" "${PRODUCT} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" ""

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Var Failed

; Runs regsvr32 of the control's bitness (32 or 64) on DLL with FLAGS ("" or
; "/u"); a failure is logged, shown unless silent, and sets the exit code.
!macro RegSvr32 BITS FLAGS DLL
  ClearErrors
  StrCpy $0 "not started"
  !if ${BITS} == 64
    ${DisableX64FSRedirection}
    ExecWait '"$WINDIR\System32\regsvr32.exe" /s ${FLAGS} "${DLL}"' $0
    ${EnableX64FSRedirection}
  !else
    ${If} ${RunningX64}
      ExecWait '"$WINDIR\SysWOW64\regsvr32.exe" /s ${FLAGS} "${DLL}"' $0
    ${Else}
      ExecWait '"$SYSDIR\regsvr32.exe" /s ${FLAGS} "${DLL}"' $0
    ${EndIf}
  !endif
  ${If} ${Errors}
  ${OrIf} $0 != 0
    DetailPrint "regsvr32 ${FLAGS} ${DLL} (${BITS}-bit) failed: $0"
    IfSilent +2
      MessageBox MB_ICONEXCLAMATION|MB_OK "The ${BITS}-bit QelCrypt control could not be (un)registered: regsvr32 ${FLAGS} ${DLL} gave $0."
    StrCpy $Failed 1
  ${Else}
    DetailPrint "regsvr32 ${FLAGS} ${DLL} (${BITS}-bit): done"
  ${EndIf}
!macroend

Function .onInit
  StrCpy $Failed 0
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
FunctionEnd

Function un.onInit
  StrCpy $Failed 0
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
FunctionEnd

Section "QelCrypt"
  SetOutPath "$INSTDIR"
  File "/oname=QELCRYPT.OCX" "${QEL_X86_DIR}/control/QELCRYPT.OCX"
  ; KvoCheck of the system's own bitness: it checks the control of its bitness.
  ; So is the browsers' host: it creates the control in its own process.
  ${If} ${RunningX64}
    File "/oname=KvoCheck.exe" "${QEL_X64_DIR}/tool/KvoCheck.exe"
    File "/oname=QelCryptHost.exe" "${QEL_X64_DIR}/bridge/QelCryptHost.exe"
    SetOutPath "$INSTDIR\x64"
    File "/oname=QELCRYPT.OCX" "${QEL_X64_DIR}/control/QELCRYPT.OCX"
    SetOutPath "$INSTDIR"
  ${Else}
    File "/oname=KvoCheck.exe" "${QEL_X86_DIR}/tool/KvoCheck.exe"
    File "/oname=QelCryptHost.exe" "${QEL_X86_DIR}/bridge/QelCryptHost.exe"
  ${EndIf}
  File "/oname=${HOST_NAME}.json" "${QEL_HOST_MANIFEST}"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  !insertmacro RegSvr32 32 "" "$INSTDIR\QELCRYPT.OCX"
  ${If} ${RunningX64}
    !insertmacro RegSvr32 64 "" "$INSTDIR\x64\QELCRYPT.OCX"
  ${EndIf}

  SetShellVarContext all
  CreateDirectory "${MENU_DIR}"
  CreateShortcut "${MENU_DIR}\KvoCheck.lnk" "$INSTDIR\KvoCheck.exe" "" "$INSTDIR\KvoCheck.exe" 0 \
    SW_SHOWNORMAL "" "QelCrypt client check"

  ; The browsers read the manifest's path from these keys; its "path" is
  ; relative to the manifest's folder.
  WriteRegStr HKLM "${CHROME_KEY}" "" "$INSTDIR\${HOST_NAME}.json"
  WriteRegStr HKLM "${EDGE_KEY}" "" "$INSTDIR\${HOST_NAME}.json"
  Call WriteOrigins

  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "${PRODUCT} ${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "Vantor"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\KvoCheck.exe"
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1

  ${If} $Failed != 0
    SetErrorLevel 2
  ${EndIf}
SectionEnd

; The allow-list from /ORIGINS=o1,o2 as the REG_MULTI_SZ value the host
; reads, written by reg.exe of the system's bitness. The command line is read
; by hand: origins hold "/", where GetOptions would end the value.
Function WriteOrigins
  ${GetParameters} $1
  StrLen $6 $1
  StrCpy $4 0
  StrCpy $7 0
  ${DoWhile} $4 < $6
    StrCpy $5 $1 9 $4
    ${If} $5 == "/ORIGINS="
      IntOp $4 $4 + 9
      StrCpy $7 1
      ${Break}
    ${EndIf}
    IntOp $4 $4 + 1
  ${Loop}
  ${If} $7 == 0
    Return
  ${EndIf}
  ; The value runs to the next blank outside quotes; "," separates origins.
  StrCpy $2 ""
  StrCpy $3 ""
  StrCpy $7 0
  ${DoWhile} $4 < $6
    StrCpy $5 $1 1 $4
    IntOp $4 $4 + 1
    ${If} $5 == '"'
      IntOp $7 1 - $7
    ${ElseIf} $5 == " "
    ${AndIf} $7 == 0
      ${Break}
    ${ElseIf} $5 == ","
      StrCpy $2 "$2,"
      StrCpy $3 "$3\0"
    ${Else}
      StrCpy $2 "$2$5"
      StrCpy $3 "$3$5"
    ${EndIf}
  ${Loop}
  ${DisableX64FSRedirection}
  ExecWait '"$SYSDIR\reg.exe" add "HKLM\${HOST_KEY}" /v AllowedOrigins /t REG_MULTI_SZ /d "$3" /f' $0
  ${EnableX64FSRedirection}
  ${If} $0 != 0
    DetailPrint "The origin allow-list could not be written: $0"
    StrCpy $Failed 1
  ${Else}
    DetailPrint "Origins allowed to use the host: $2"
  ${EndIf}
FunctionEnd

Section "Uninstall"
  ${If} ${RunningX64}
    !insertmacro RegSvr32 64 "/u" "$INSTDIR\x64\QELCRYPT.OCX"
  ${EndIf}
  !insertmacro RegSvr32 32 "/u" "$INSTDIR\QELCRYPT.OCX"

  Delete "$INSTDIR\x64\QELCRYPT.OCX"
  RMDir "$INSTDIR\x64"
  Delete "$INSTDIR\QELCRYPT.OCX"
  Delete "$INSTDIR\KvoCheck.exe"
  Delete "$INSTDIR\QelCryptHost.exe"
  Delete "$INSTDIR\${HOST_NAME}.json"
  Delete "$INSTDIR\config.ini"  ; KvoCheck's settings, saved in its folder
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"

  SetShellVarContext all
  Delete "${MENU_DIR}\KvoCheck.lnk"
  RMDir "${MENU_DIR}"

  DeleteRegKey HKLM "${CHROME_KEY}"
  DeleteRegKey HKLM "${EDGE_KEY}"
  DeleteRegKey HKLM "${HOST_KEY}"
  DeleteRegKey /ifempty HKLM "SOFTWARE\QelCrypt"
  DeleteRegKey HKLM "${UNINST_KEY}"
  ${If} $Failed != 0
    SetErrorLevel 2
  ${EndIf}
SectionEnd
