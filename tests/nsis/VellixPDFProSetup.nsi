; Test installer of "Vellix PDF Pro": a real NSIS setup program that the setup
; program under test downloads, checks and runs.
;   makensis -DEXIT_CODE=<n> -DOUTFILE=<path> -DPRODUCT_EXE=<path> [-DAMD64] VellixPDFProSetup.nsi
; AMD64 makes it a 64-bit installer, for the 64-bit build of the setup program:
; its $PROGRAMFILES and its registry view are then the 64-bit ones.
; It writes its own command line (UTF-16LE with BOM) to the file named by
; KV_NSIS_COMMAND_LINE_FILE, else to "<its own path>.cmdline.txt", and beside it,
; in "<that file>.parsed", whether NSIS made it silent and its install folder
; ("silent=0|1", "instdir=...", one per line). It holds the
; running-setup mutex while it runs; while the file named by KV_NSIS_HOLD_FILE
; exists (at most 60 s) it waits, so a test can watch it running. With exit code
; 0 it installs the product and its uninstall key; with any other code it
; installs nothing and exits with that code. "/NO_UI" and "/VS" make it silent
; like "/S". While KV_NSIS_AUTO_PAGES is set, its own interface runs without a
; user: it skips the folder page and closes when the files are in place.

!ifndef EXIT_CODE | OUTFILE | PRODUCT_EXE
  !error "EXIT_CODE, OUTFILE and PRODUCT_EXE must be defined"
!endif

!ifdef AMD64
  Target amd64-unicode
!else
  Unicode true
!endif
ManifestSupportedOS all
RequestExecutionLevel admin
SetCompressor /SOLID lzma
SetDatablockOptimize on

!include LogicLib.nsh
!include FileFunc.nsh

!define PRODUCT_NAME "Vellix PDF Pro"
!define PRODUCT_VERSION "7.0.0.1125"
!define UNINSTALL_KEY "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT_NAME}"
!define SETUP_MUTEX "{86C0077D-48A5-4E6C-A2B1-FC4CD5CA77B9}"

Name "${PRODUCT_NAME}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\Vellix\${PRODUCT_NAME}"

VIProductVersion "${PRODUCT_VERSION}"
VIFileVersion "${PRODUCT_VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT_NAME}"
VIAddVersionKey /LANG=1033 "CompanyName" "Vellix"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT_NAME} Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${PRODUCT_VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${PRODUCT_VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Test installer"

Page directory SkipWithoutUser
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Function .onInit
  System::Call 'kernel32::CreateMutexW(p 0, i 1, w "${SETUP_MUTEX}") p .r0'

  ReadEnvStr $1 KV_NSIS_COMMAND_LINE_FILE
  ${If} $1 == ""
    StrCpy $1 "$EXEPATH.cmdline.txt"
  ${EndIf}
  FileOpen $2 $1 w
  FileWriteUTF16LE /BOM $2 $CMDLINE
  FileClose $2
  ; What NSIS itself made of the command line, before this script reads it.
  StrCpy $7 0
  IfSilent 0 +2
    StrCpy $7 1
  FileOpen $2 "$1.parsed" w
  FileWriteUTF16LE /BOM $2 "silent=$7$\r$\ninstdir=$INSTDIR"
  FileClose $2

  ${GetParameters} $3
  ClearErrors
  ${GetOptionsS} $3 "/NO_UI" $4
  ${IfNot} ${Errors}
    SetSilent silent
  ${EndIf}
  ClearErrors
  ${GetOptionsS} $3 "/VS" $4
  ${IfNot} ${Errors}
    SetSilent silent
  ${EndIf}

  ReadEnvStr $5 KV_NSIS_HOLD_FILE
  ${If} $5 != ""
    StrCpy $6 0
    ${DoWhile} ${FileExists} $5
      ${If} $6 >= 3000
        ${Break}
      ${EndIf}
      Sleep 20
      IntOp $6 $6 + 1
    ${Loop}
  ${EndIf}

  !if ${EXIT_CODE} != 0
    SetErrorLevel ${EXIT_CODE}
    Abort
  !endif
FunctionEnd

Function SkipWithoutUser
  ReadEnvStr $0 KV_NSIS_AUTO_PAGES
  ${If} $0 != ""
    Abort
  ${EndIf}
FunctionEnd

Section "Install"
  ReadEnvStr $0 KV_NSIS_AUTO_PAGES
  ${If} $0 != ""
    SetAutoClose true
  ${EndIf}
  SetOutPath "$INSTDIR"
  File "/oname=VellixPDF.exe" "${PRODUCT_EXE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT_NAME}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${PRODUCT_VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Vellix"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\VellixPDF.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
SectionEnd

Section "Uninstall"
  Delete "$INSTDIR\VellixPDF.exe"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  RMDir "$INSTDIR\.."
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
