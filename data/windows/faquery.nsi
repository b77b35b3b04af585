; The setup program: faquery and what it loads into Program Files, a Start-menu entry, and
; an uninstaller under "Apps & features" that removes exactly the files it installed.
; scripts/package-windows defines VERSION, STAGE (the files), FILES (their Delete lines),
; DIRS (their RMDir lines), ICON and OUTFILE.
Target amd64-unicode  ; a 64-bit setup program for a 64-bit program
SetCompressor /SOLID lzma
!include "MUI2.nsh"
!include "x64.nsh"

!define KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\faquery"
Name "固定资产查询"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\faquery"
RequestExecutionLevel admin
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=2052 "ProductName" "固定资产查询"
VIAddVersionKey /LANG=2052 "FileDescription" "固定资产查询 安装程序"
VIAddVersionKey /LANG=2052 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "CompanyName" "faquery"
VIAddVersionKey /LANG=2052 "LegalCopyright" "faquery"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_ICONSTOP "固定资产查询需要 64 位的 Windows。"
    Abort
  ${EndIf}
  SetRegView 64
FunctionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

Section
  SetOutPath "$INSTDIR"
  File /r "${STAGE}\*.*"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  SetShellVarContext all
  CreateShortcut "$SMPROGRAMS\固定资产查询.lnk" "$INSTDIR\faquery.exe" "" "$INSTDIR\faquery.exe" 0
  WriteRegStr HKLM "${KEY}" "DisplayName" "固定资产查询"
  WriteRegStr HKLM "${KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${KEY}" "Publisher" "faquery"
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
  DeleteRegKey HKLM "${KEY}"
SectionEnd
