; The setup program: faquery and what it loads, for all users (into Program Files, with
; administrator rights) or for the current user alone (into their own programs folder,
; %LOCALAPPDATA%\Programs, without them); into the folder of an earlier install, which it
; upgrades in place; two Start-menu entries (the program, and the program on its sample
; database); the licences of what it ships; and an uninstaller under "Apps & features" that
; removes exactly the files it installed. /S installs silently, /AllUsers or /CurrentUser
; choose without the page, /D= names the folder. /SERVER=, /DATABASE= and /USER= preset the
; settings dialog: written into the program's shortcut (and kept beside the uninstall entry,
; so that an upgrade that names none keeps them; an empty one clears it).
; scripts/package-windows defines VERSION, STAGE (the files), FILES (their Delete lines),
; DIRS (their RMDir lines), LICENSE (the licence page's text), ICON and OUTFILE.
Target amd64-unicode  ; a 64-bit setup program for a 64-bit program
SetCompressor /SOLID lzma

!define KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\faquery"
!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_USE_PROGRAMFILES64
!define MULTIUSER_INSTALLMODE_INSTDIR "faquery"
; Installed before (perhaps elsewhere, with /D=): the same folder again, so that there is
; one install and one uninstall entry.
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_KEY "${KEY}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_VALUENAME "InstallLocation"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_KEY "${KEY}"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_VALUENAME "InstallLocation"
!include "MultiUser.nsh"
!include "MUI2.nsh"
!include "x64.nsh"
!include "FileFunc.nsh"
!include "WordFunc.nsh"

Name "固定资产查询"
OutFile "${OUTFILE}"
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
!insertmacro MULTIUSER_PAGE_INSTALLMODE
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

Var Parameters
Var PresetServer
Var PresetDatabase
Var PresetUser

; Reads /NAME= from the command line into the variable, or else what the install before
; kept; a value with a double quote cannot go into a shortcut's arguments and is refused.
!macro ReadPreset NAME VALUE VAR
  ClearErrors
  ${GetOptions} $Parameters "/${NAME}=" ${VAR}
  ${If} ${Errors}
    ReadRegStr ${VAR} SHCTX "${KEY}" "Preset${VALUE}"
  ${EndIf}
  Push ${VAR}
  Call HasQuote
  Pop $1
  ${If} $1 == 1
    MessageBox MB_ICONSTOP "/${NAME}= 的值中不能有双引号。" /SD IDOK
    SetErrorLevel 2
    Abort
  ${EndIf}
!macroend

Function HasQuote
  Exch $0
  Push $2
  Push $3
  StrCpy $3 0
  loop:
    StrCpy $2 $0 1 $3
    StrCmp $2 "" none
    StrCmp $2 '"' found
    IntOp $3 $3 + 1
    Goto loop
  found:
    StrCpy $0 1
    Goto done
  none:
    StrCpy $0 0
  done:
  Pop $3
  Pop $2
  Exch $0
FunctionEnd

Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_ICONSTOP "固定资产查询需要 64 位的 Windows。"
    Abort
  ${EndIf}
  SetRegView 64
  ; /D= stands before .onInit; the install mode would put its own folder over it.
  StrCpy $R9 $INSTDIR
  !insertmacro MULTIUSER_INIT
  ${If} $R9 != ""
    StrCpy $INSTDIR $R9
  ${EndIf}
  !insertmacro RefuseWhileRunning "安装"
  ; An argument quoted whole ("/USER=张 会计") is read as /USER="张 会计", so that the
  ; value before it ends where it begins.
  ${GetParameters} $Parameters
  ${WordReplace} $Parameters ' "/SERVER=' ' /SERVER="' "+" $Parameters
  ${WordReplace} $Parameters ' "/DATABASE=' ' /DATABASE="' "+" $Parameters
  ${WordReplace} $Parameters ' "/USER=' ' /USER="' "+" $Parameters
  !insertmacro ReadPreset SERVER Server $PresetServer
  !insertmacro ReadPreset DATABASE Database $PresetDatabase
  !insertmacro ReadPreset USER User $PresetUser
FunctionEnd

Function un.onInit
  SetRegView 64
  !insertmacro MULTIUSER_UNINIT
  !insertmacro RefuseWhileRunning "卸载"
FunctionEnd

Section
  SetOutPath "$INSTDIR"
  File /r "${STAGE}\*.*"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  ; $SMPROGRAMS and SHCTX are the install mode's: all users (HKLM) or this user (HKCU).
  ; The presets, each quoted, in the program's shortcut.
  StrCpy $R0 ""
  ${If} $PresetServer != ""
    StrCpy $R0 '$R0 --server "$PresetServer"'
  ${EndIf}
  ${If} $PresetDatabase != ""
    StrCpy $R0 '$R0 --database "$PresetDatabase"'
  ${EndIf}
  ${If} $PresetUser != ""
    StrCpy $R0 '$R0 --user "$PresetUser"'
  ${EndIf}
  ${If} $R0 != ""
    StrCpy $R0 $R0 "" 1
  ${EndIf}
  CreateShortcut "$SMPROGRAMS\固定资产查询.lnk" "$INSTDIR\faquery.exe" "$R0" "$INSTDIR\faquery.exe" 0
  ; Trying it without a server: the program on its sample database.
  CreateShortcut "$SMPROGRAMS\固定资产查询（示例数据库）.lnk" "$INSTDIR\faquery.exe" "--demo" "$INSTDIR\faquery.exe" 0
  ; The user's guide, in the browser.
  CreateShortcut "$SMPROGRAMS\固定资产查询 使用说明.lnk" "$INSTDIR\guide\guide.html"
  ${GetTime} "" "L" $0 $1 $2 $3 $4 $5 $6
  WriteRegStr SHCTX "${KEY}" "InstallDate" "$2$1$0"
  WriteRegStr SHCTX "${KEY}" "DisplayName" "固定资产查询"
  WriteRegStr SHCTX "${KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${KEY}" "Publisher" "faquery 开发者"
  WriteRegStr SHCTX "${KEY}" "HelpLink" "$INSTDIR\licenses\README.txt"
  WriteRegStr SHCTX "${KEY}" "DisplayIcon" "$INSTDIR\faquery.exe,0"
  WriteRegStr SHCTX "${KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${KEY}" "UninstallString" '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode'
  WriteRegStr SHCTX "${KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode /S'
  WriteRegStr SHCTX "${KEY}" "PresetServer" "$PresetServer"
  WriteRegStr SHCTX "${KEY}" "PresetDatabase" "$PresetDatabase"
  WriteRegStr SHCTX "${KEY}" "PresetUser" "$PresetUser"
  WriteRegDWORD SHCTX "${KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${KEY}" "NoRepair" 1
  WriteRegDWORD SHCTX "${KEY}" "EstimatedSize" ${SIZE_KB}
SectionEnd

Section "Uninstall"
  !include "${FILES}"
  Delete "$INSTDIR\uninstall.exe"
  !include "${DIRS}"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\固定资产查询.lnk"
  Delete "$SMPROGRAMS\固定资产查询（示例数据库）.lnk"
  Delete "$SMPROGRAMS\固定资产查询 使用说明.lnk"
  DeleteRegKey SHCTX "${KEY}"
SectionEnd
