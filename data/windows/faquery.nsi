; The setup program: faquery and what it loads into Program Files (or into the folder of an
; earlier install, which it upgrades in place), two Start-menu entries (the program, and the
; program on its sample database), the licences of what it ships, and an uninstaller under
; "Apps & features" that removes exactly the files it installed.
; scripts/package-windows defines VERSION, STAGE (the files), FILES (their Delete lines),
; DIRS (their RMDir lines), LICENSE (the licence page's text), ICON and OUTFILE.
Target amd64-unicode  ; a 64-bit setup program for a 64-bit program
SetCompressor /SOLID lzma
!include "MUI2.nsh"
!include "x64.nsh"
!include "FileFunc.nsh"

!define KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\faquery"
Name "固定资产查询"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\faquery"
; Installed before (perhaps elsewhere, with /D=): the same folder again, so that there is
; one install and one uninstall entry. /D= on the command line still wins.
InstallDirRegKey HKLM "${KEY}" "InstallLocation"
RequestExecutionLevel admin
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=2052 "ProductName" "固定资产查询"
VIAddVersionKey /LANG=2052 "FileDescription" "固定资产查询 安装程序"
VIAddVersionKey /LANG=2052 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "CompanyName" "faquery 开发者"
VIAddVersionKey /LANG=2052 "LegalCopyright" "© 2026 faquery 开发者；所含组件的许可证见安装文件夹中的 licenses 文件夹"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\faquery.exe"
!define MUI_FINISHPAGE_RUN_TEXT "运行固定资产查询"
!define MUI_LICENSEPAGE_TEXT_TOP "本程序及其所含组件的许可证："
!define MUI_LICENSEPAGE_BUTTON "下一步(&N) >"
!define MUI_LICENSEPAGE_TEXT_BOTTOM "全文在安装文件夹的 licenses 文件夹中。"
!insertmacro MUI_PAGE_LICENSE "${LICENSE}"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

; faquery.exe and faquery.com hold the mutex "faquery-running" while they run: their files
; are in use, so the setup program and the uninstaller ask for them to be closed first.
!macro RefuseWhileRunning WHAT
  System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "faquery-running") p .r0'
  ${If} $0 <> 0
    System::Call 'kernel32::CloseHandle(p r0)'
    MessageBox MB_ICONEXCLAMATION|MB_OK "固定资产查询正在运行。请先关闭它（包括命令行中的 faquery），再${WHAT}。" /SD IDOK
    SetErrorLevel 2
    Abort
  ${EndIf}
!macroend

Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_ICONSTOP "固定资产查询需要 64 位的 Windows。"
    Abort
  ${EndIf}
  SetRegView 64
  !insertmacro RefuseWhileRunning "安装"
FunctionEnd

Function un.onInit
  SetRegView 64
  !insertmacro RefuseWhileRunning "卸载"
FunctionEnd

Section
  SetOutPath "$INSTDIR"
  File /r "${STAGE}\*.*"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  SetShellVarContext all
  CreateShortcut "$SMPROGRAMS\固定资产查询.lnk" "$INSTDIR\faquery.exe" "" "$INSTDIR\faquery.exe" 0
  ; Trying it without a server: the program on its sample database.
  CreateShortcut "$SMPROGRAMS\固定资产查询（示例数据库）.lnk" "$INSTDIR\faquery.exe" "--demo" "$INSTDIR\faquery.exe" 0
  ${GetTime} "" "L" $0 $1 $2 $3 $4 $5 $6
  WriteRegStr HKLM "${KEY}" "InstallDate" "$2$1$0"
  WriteRegStr HKLM "${KEY}" "DisplayName" "固定资产查询"
  WriteRegStr HKLM "${KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${KEY}" "Publisher" "faquery 开发者"
  WriteRegStr HKLM "${KEY}" "HelpLink" "$INSTDIR\licenses\README.txt"
  WriteRegStr HKLM "${KEY}" "DisplayIcon" "$INSTDIR\faquery.exe,0"
  WriteRegStr HKLM "${KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${KEY}" "NoRepair" 1
  WriteRegDWORD HKLM "${KEY}" "EstimatedSize" ${SIZE_KB}
SectionEnd

Section "Uninstall"
  !include "${FILES}"
  Delete "$INSTDIR\uninstall.exe"
  !include "${DIRS}"
  RMDir "$INSTDIR"
  SetShellVarContext all
  Delete "$SMPROGRAMS\固定资产查询.lnk"
  Delete "$SMPROGRAMS\固定资产查询（示例数据库）.lnk"
  DeleteRegKey HKLM "${KEY}"
SectionEnd
