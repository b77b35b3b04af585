; The setup program: faquery and what it loads, for all users (into Program Files, with
; administrator rights) or for the current user alone (into their own programs folder,
; %LOCALAPPDATA%\Programs, without them); into the folder of an earlier install, which it
; replaces whole (the earlier version's own uninstaller removes its files first, so that
; nothing of it stays behind); three Start-menu entries (the program, the program on its
; sample database, the guide); the licences of what it ships; and an uninstaller under
; "Apps & features" that removes exactly the files it installed.
; /S installs silently, /AllUsers or /CurrentUser choose without the page, /D= names the
; folder. /SERVER=, /DBNAME= (or /DATABASE=), /USER= and /DRIVER= preset the settings
; dialog: written into the program's shortcut (and kept beside the uninstall entry, so that
; an upgrade that names none keeps them; an empty one clears it).
; It says no, with exit code 2, before it changes anything: below Windows 10, while the
; program runs in any session, beside the MSI's install, and for one user where the
; administrator installed for all users (or the reverse).
; scripts/nsis-setup defines VERSION, STAGE (the files), FILES (their Delete lines), DIRS
; (their RMDir lines), LICENSE (the licence page's text), ICON, SIDEBAR (the welcome and
; finish pages' picture), SIZE_KB and OUTFILE; with UNINSTALLER_ONLY it builds the program
; that writes uninstall.exe (so that the uninstaller has version information of its own),
; else it packs the uninstall.exe named by UNINSTALLER.
Target amd64-unicode  ; a 64-bit setup program for a 64-bit program
SetCompressor /SOLID lzma

!define KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\faquery"
; The MSI's (data/windows/faquery.wxs): the setup program finds that install by it.
!define MSI_UPGRADE_CODE "{6B0E8A2C-3D51-4F7E-9A64-1C2B5E8D7F30}"
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
!include "WinVer.nsh"
!include "FileFunc.nsh"
!include "WordFunc.nsh"

Name "固定资产查询"
OutFile "${OUTFILE}"
BrandingText "固定资产查询 ${VERSION}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=2052 "ProductName" "固定资产查询"
!ifdef UNINSTALLER_ONLY
  VIAddVersionKey /LANG=2052 "FileDescription" "固定资产查询 卸载程序"
!else
  VIAddVersionKey /LANG=2052 "FileDescription" "固定资产查询 安装程序"
!endif
VIAddVersionKey /LANG=2052 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "CompanyName" "faquery 开发者"
VIAddVersionKey /LANG=2052 "LegalCopyright" "© 2026 faquery 开发者；所含组件的许可证见安装文件夹中的 licenses 文件夹"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_WELCOMEFINISHPAGE_BITMAP "${SIDEBAR}"
!define MUI_UNWELCOMEFINISHPAGE_BITMAP "${SIDEBAR}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\faquery.exe"
!define MUI_FINISHPAGE_RUN_TEXT "运行固定资产查询"
!define MUI_LICENSEPAGE_TEXT_TOP "本程序及其所含组件的许可证："
!define MUI_LICENSEPAGE_BUTTON "下一步(&N) >"
!define MUI_LICENSEPAGE_TEXT_BOTTOM "全文在安装文件夹的 licenses 文件夹中。"
!ifndef UNINSTALLER_ONLY
  !insertmacro MUI_PAGE_LICENSE "${LICENSE}"
  !insertmacro MULTIUSER_PAGE_INSTALLMODE
  !insertmacro MUI_PAGE_DIRECTORY
  !insertmacro MUI_PAGE_INSTFILES
  !define MUI_PAGE_CUSTOMFUNCTION_SHOW FinishShow
  !insertmacro MUI_PAGE_FINISH
!else
  !insertmacro MUI_UNPAGE_CONFIRM
  !insertmacro MUI_UNPAGE_INSTFILES
!endif
!insertmacro MUI_LANGUAGE "SimpChinese"

; Says no: the message (silently too: into the log a deployment tool keeps), exit code 2,
; nothing changed.
!macro Refuse TEXT
  MessageBox MB_ICONSTOP "${TEXT}" /SD IDOK
  SetErrorLevel 2
  Abort
!macroend

; faquery.exe and faquery.com hold the mutex "Global\faquery-running" while they run, seen
; from every session, and "faquery-running" in their own (as earlier versions did). A mutex
; of another user's may be closed to this one (access denied): it exists all the same.
!macro CheckMutex NAME
  System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "${NAME}") p .r0 ?e'
  Pop $1
  ${If} $0 P<> 0
    System::Call 'kernel32::CloseHandle(p r0)'
    StrCpy $2 1
  ${ElseIf} $1 = 5
    StrCpy $2 1
  ${EndIf}
!macroend

!macro DefineIsRunning UN
  Function ${UN}IsRunning
    Push $0
    Push $1
    Push $2
    StrCpy $2 0
    !insertmacro CheckMutex "Global\faquery-running"
    !insertmacro CheckMutex "faquery-running"
    StrCpy $0 $2
    Pop $2
    Pop $1
    Exch $0
  FunctionEnd
!macroend

; Its files are in use while it runs: close it and retry, or stop here.
!macro RefuseWhileRunning UN WHAT
  ${Do}
    Call ${UN}IsRunning
    Pop $0
    ${If} $0 = 0
      ${Break}
    ${EndIf}
    ${IfNot} ${Cmd} `MessageBox MB_ICONEXCLAMATION|MB_RETRYCANCEL "固定资产查询正在运行（也许在这台电脑的另一个用户那里，或在命令行中）。请先关闭它，再按“重试”${WHAT}。" /SD IDCANCEL IDRETRY`
      SetErrorLevel 2
      Abort
    ${EndIf}
  ${Loop}
!macroend

!ifndef UNINSTALLER_ONLY
!insertmacro DefineIsRunning ""

Var Parameters
Var PresetServer
Var PresetDatabase
Var PresetUser
Var PresetDriver

; Reads /NAME= (or /ALIAS=) from the command line into the variable, or else what the
; install before kept; a value with a double quote cannot go into a shortcut's arguments
; and is refused.
!macro ReadPreset NAME ALIAS VALUE VAR
  ClearErrors
  ${GetOptions} $Parameters "/${NAME}=" ${VAR}
  !if "${ALIAS}" != ""
    ${If} ${Errors}
      ClearErrors
      ${GetOptions} $Parameters "/${ALIAS}=" ${VAR}
    ${EndIf}
  !endif
  ${If} ${Errors}
    ReadRegStr ${VAR} SHCTX "${KEY}" "Preset${VALUE}"
  ${EndIf}
  Push ${VAR}
  Call HasQuote
  Pop $1
  ${If} $1 == 1
    !insertmacro Refuse "/${NAME}= 的值中不能有双引号。"
  ${EndIf}
!macroend

; An argument quoted whole ("/USER=张 会计") is read as /USER="张 会计", so that the value
; before it ends where it begins.
!macro UnquoteWhole NAME
  ${WordReplace} $Parameters ' "/${NAME}=' ' /${NAME}="' "+" $Parameters
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

; One copy on the PC: the MSI's install is the MSI's to upgrade; an install for all users is
; the administrator's; an install of one's own stands in the way of one for all users.
Function RefuseBesideOtherInstalls
  System::Call 'msi::MsiEnumRelatedProductsW(w "${MSI_UPGRADE_CODE}", i 0, i 0, w .r1) i .r0'
  ${If} $0 = 0
    !insertmacro Refuse "这台电脑上的固定资产查询是用 MSI 安装包（faquery-…-x64.msi）安装的。请用新版本的 MSI 安装包升级它（或先在“设置 → 应用”中卸载它），不要再用安装程序另装一份。"
  ${EndIf}
  ${If} $MultiUser.InstallMode == "CurrentUser"
    ReadRegStr $0 HKLM "${KEY}" "InstallLocation"
    ${If} $0 != ""
      !insertmacro Refuse "这台电脑上已经为所有用户安装了固定资产查询（$0）。它由管理员升级：请让管理员运行新版本的安装程序。"
    ${EndIf}
  ${Else}
    ReadRegStr $0 HKCU "${KEY}" "InstallLocation"
    ${If} $0 != ""
      !insertmacro Refuse "你已经只为自己安装了固定资产查询（$0）。请先在“设置 → 应用”中卸载它，再为所有用户安装。"
    ${EndIf}
  ${EndIf}
FunctionEnd

Function .onInit
  ${IfNot} ${RunningX64}
    !insertmacro Refuse "固定资产查询需要 64 位的 Windows 10 或更新的版本。"
  ${EndIf}
  ${IfNot} ${AtLeastWin10}
    !insertmacro Refuse "固定资产查询需要 Windows 10 或更新的版本（64 位）；这台电脑上的 Windows 太旧，程序无法启动。"
  ${EndIf}
  SetRegView 64
  ; /D= stands before .onInit; the install mode would put its own folder over it.
  StrCpy $R9 $INSTDIR
  !insertmacro MULTIUSER_INIT
  ${If} $R9 != ""
    StrCpy $INSTDIR $R9
  ${EndIf}
  Call RefuseBesideOtherInstalls
  !insertmacro RefuseWhileRunning "" "安装"
  ${GetParameters} $Parameters
  !insertmacro UnquoteWhole SERVER
  !insertmacro UnquoteWhole DBNAME
  !insertmacro UnquoteWhole DATABASE
  !insertmacro UnquoteWhole USER
  !insertmacro UnquoteWhole DRIVER
  !insertmacro ReadPreset SERVER "" Server $PresetServer
  !insertmacro ReadPreset DBNAME DATABASE Database $PresetDatabase
  !insertmacro ReadPreset USER "" User $PresetUser
  !insertmacro ReadPreset DRIVER "" Driver $PresetDriver
FunctionEnd

; Started by a setup that runs elevated, the program would run as the administrator who
; gave the rights, not as the desk's user: the finish page offers it only to a setup that
; runs without them.
Function FinishShow
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 == "Admin"
    SendMessage $mui.FinishPage.Run ${BM_SETCHECK} ${BST_UNCHECKED} 0
    ShowWindow $mui.FinishPage.Run ${SW_HIDE}
  ${EndIf}
FunctionEnd

; The copy in the folder, by its own uninstaller (run from a copy of it, so that it deletes
; its own file too), waited for: its files go (those of an older version too), its shortcuts
; and its entry.
!macro RemoveCopy DIR
  ${If} ${FileExists} "${DIR}\uninstall.exe"
    DetailPrint "删除旧版本：${DIR}"
    InitPluginsDir
    CopyFiles /SILENT "${DIR}\uninstall.exe" "$PLUGINSDIR\old-uninstall.exe"
    ClearErrors
    ExecWait '"$PLUGINSDIR\old-uninstall.exe" /S /$MultiUser.InstallMode _?=${DIR}' $1
    ${If} ${Errors}
    ${OrIf} $1 <> 0
      !insertmacro Refuse "无法删除旧版本（${DIR}）。"
    ${EndIf}
    Delete "$PLUGINSDIR\old-uninstall.exe"
    Delete "${DIR}\uninstall.exe"
    RMDir "${DIR}"
  ${EndIf}
!macroend

Section
  ; The install before, wherever it is: removed first, so that there is one copy and nothing
  ; of the older version stays.
  ReadRegStr $0 SHCTX "${KEY}" "InstallLocation"
  ${If} $0 != ""
  ${AndIf} $0 != $INSTDIR
    !insertmacro RemoveCopy $0
  ${EndIf}
  !insertmacro RemoveCopy $INSTDIR
  SetOutPath "$INSTDIR"
  File /r "${STAGE}\*.*"
  File "${UNINSTALLER}"
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
  ${If} $PresetDriver != ""
    StrCpy $R0 '$R0 --driver "$PresetDriver"'
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
  WriteRegStr SHCTX "${KEY}" "HelpLink" "$INSTDIR\guide\guide.html"
  WriteRegStr SHCTX "${KEY}" "DisplayIcon" "$INSTDIR\faquery.exe,0"
  WriteRegStr SHCTX "${KEY}" "InstallLocation" "$INSTDIR"
  ; Run in place (_?=) the uninstaller is waited for and gives its outcome as exit code.
  WriteRegStr SHCTX "${KEY}" "UninstallString" '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode _?=$INSTDIR'
  WriteRegStr SHCTX "${KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode /S _?=$INSTDIR'
  WriteRegStr SHCTX "${KEY}" "PresetServer" "$PresetServer"
  WriteRegStr SHCTX "${KEY}" "PresetDatabase" "$PresetDatabase"
  WriteRegStr SHCTX "${KEY}" "PresetUser" "$PresetUser"
  WriteRegStr SHCTX "${KEY}" "PresetDriver" "$PresetDriver"
  WriteRegDWORD SHCTX "${KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${KEY}" "NoRepair" 1
  WriteRegDWORD SHCTX "${KEY}" "EstimatedSize" ${SIZE_KB}
SectionEnd

!else  ; UNINSTALLER_ONLY: this program writes the uninstaller beside itself, and ends.

!insertmacro DefineIsRunning "un."

Function .onInit
  WriteUninstaller "$EXEDIR\uninstall.exe"
  SetErrorLevel 0
  Quit
FunctionEnd

Section
SectionEnd

Function un.onInit
  SetRegView 64
  ; This uninstaller's own folder: it removes that copy, whichever folder the registry names.
  StrCpy $R9 $INSTDIR
  !insertmacro MULTIUSER_UNINIT
  StrCpy $INSTDIR $R9
  !insertmacro RefuseWhileRunning "un." "卸载"
FunctionEnd

; Run in place (_?=, as the uninstall entry runs it, so that the caller waits for the
; outcome), the uninstaller cannot delete its own file while it runs: a hidden command
; deletes it and the folder, now empty, once it has ended (two and seven seconds on).
Function un.onUninstSuccess
  ${If} $EXEDIR == $INSTDIR
    StrCpy $0 "$INSTDIR\uninstall.exe"
    StrCpy $1 'del /f /q "$0" 2> nul & rmdir "$INSTDIR" 2> nul'
    SetOutPath "$TEMP"  ; the command's working folder: not the one it removes
    ExecShell "open" "$SYSDIR\cmd.exe" '/c ping -n 3 127.0.0.1 > nul & $1 & ping -n 6 127.0.0.1 > nul & $1' SW_HIDE
  ${EndIf}
FunctionEnd

Section "Uninstall"
  !include "${FILES}"
  Delete "$INSTDIR\uninstall.exe"
  !include "${DIRS}"
  RMDir "$INSTDIR"
  ; The shortcuts and the entry are the registered copy's: a copy elsewhere leaves them.
  ReadRegStr $0 SHCTX "${KEY}" "InstallLocation"
  ${If} $0 == $INSTDIR
    Delete "$SMPROGRAMS\固定资产查询.lnk"
    Delete "$SMPROGRAMS\固定资产查询（示例数据库）.lnk"
    Delete "$SMPROGRAMS\固定资产查询 使用说明.lnk"
    DeleteRegKey SHCTX "${KEY}"
  ${EndIf}
SectionEnd

!endif
