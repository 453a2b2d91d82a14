; The Velmora setup program: installs for all users under Program Files, adds
; Start-menu entries, an entry in "Apps and features" with an uninstaller, and
; inbound firewall rules so the controllers' UDP replies reach the program.
; The installer's working data stays in %LOCALAPPDATA%\Velmora, untouched by
; setup, upgrades and the uninstaller.
;
; Built by scripts/windows/package.sh, which defines:
;   VERSION      the program version ("1.0")
;   STAGE        the folder with everything to install
;   ICON         the program's icon (.ico)
;   LICENSE      the MIT licence text of Velmora
;   OUTFILE      the setup program to write
;   SIZE_KB      the installed size
;   FILES        an include with the install commands of every staged file
;   UNFILES      an include with the matching removals
Unicode true
Target amd64-unicode
ManifestDPIAware true
ManifestSupportedOS Win10
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!include "MUI2.nsh"
!include "x64.nsh"

!define PRODUCT "Velmora"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Velmora"
!define FIREWALL_RULE "Velmora (UDP, 中控回复)"
!define EMULATOR_ARGS "--address 127.0.0.2 --in-user-folder --log controller.log"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
; An upgrade goes where the installed version is.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=2052 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=2052 "FileDescription" "${PRODUCT} 安装程序"
VIAddVersionKey /LANG=2052 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "CompanyName" "The Velmora authors"
VIAddVersionKey /LANG=2052 "LegalCopyright" "Copyright (c) 2026 The Velmora authors"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\velmora.exe"
!define MUI_FINISHPAGE_RUN_TEXT "启动 Velmora"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${LICENSE}"
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE DirectoryLeave
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

; Inbound UDP for one program: from anywhere on private and domain networks,
; and on public ones from the local subnet only. A laptop cabled straight to
; a controller, or on a network Windows has never classified, is on a public
; network; without the second rule every reply there is dropped. An older
; rule of the same program (from an earlier version) is replaced, not doubled.
!macro AllowProgram EXE
  nsExec::ExecToLog '"$SYSDIR\netsh.exe" advfirewall firewall delete rule name="${FIREWALL_RULE}" program="$INSTDIR\${EXE}"'
  Pop $0
  nsExec::ExecToLog '"$SYSDIR\netsh.exe" advfirewall firewall add rule name="${FIREWALL_RULE}" dir=in action=allow protocol=UDP profile=private,domain program="$INSTDIR\${EXE}" enable=yes'
  Pop $0
  nsExec::ExecToLog '"$SYSDIR\netsh.exe" advfirewall firewall add rule name="${FIREWALL_RULE}" dir=in action=allow protocol=UDP profile=public remoteip=localsubnet program="$INSTDIR\${EXE}" enable=yes'
  Pop $0
!macroend

!macro ForgetProgram EXE
  nsExec::ExecToLog '"$SYSDIR\netsh.exe" advfirewall firewall delete rule name="${FIREWALL_RULE}" program="$INSTDIR\${EXE}"'
  Pop $0
!macroend

; Whether one of the programs runs from $INSTDIR: Windows refuses to open a
; running program's file for writing (a sharing violation), so an upgrade or
; an uninstall would leave it, and the DLLs it has loaded, in place. Leaves in
; $R0 what runs ("" when nothing does), in the words of the message below.
!macro ProbeProgram EXE WHAT
  ${If} ${FileExists} "$INSTDIR\${EXE}"
    System::Call 'kernel32::CreateFileW(w "$INSTDIR\${EXE}", i 0x40000000, i 0, p 0, i 3, i 0x80, p 0) p.r1 ?e'
    Pop $2
    ${If} $1 P<> -1
      System::Call 'kernel32::CloseHandle(p r1)'
    ${ElseIf} $2 = 32
    ${OrIf} $2 = 33
      ${If} $R0 != ""
        StrCpy $R0 "$R0、"
      ${EndIf}
      StrCpy $R0 "$R0${WHAT}"
    ${EndIf}
  ${EndIf}
!macroend

; Asks until nothing of Velmora runs from $INSTDIR or the installer gives up;
; silently it gives up at once. Leaves "" in $R0 when nothing runs. WHAT names
; the step that waits ("安装" or "卸载").
!macro DefineRunningCheck UN WHAT
Function ${UN}WaitForPrograms
  Push $1
  Push $2
  ${Do}
    StrCpy $R0 ""
    !insertmacro ProbeProgram "velmora.exe" "Velmora 窗口"
    !insertmacro ProbeProgram "velmora-cli.exe" "velmora-cli"
    !insertmacro ProbeProgram "velmora-controller.exe" "中控模拟器"
    ${If} $R0 == ""
      ${Break}
    ${EndIf}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
      "Velmora 正在运行（$R0）。请先关闭后点“重试”，点“取消”则不${WHAT}。" /SD IDCANCEL IDRETRY retry
    ${Break}
    retry:
  ${Loop}
  Pop $2
  Pop $1
FunctionEnd
!macroend
!insertmacro DefineRunningCheck "" "安装"
!insertmacro DefineRunningCheck "un." "卸载"

; Exit code of a setup or an uninstall that found Velmora running and changed nothing.
!define EXIT_RUNNING 3

Function .onInit
  SetRegView 64
  ${IfNot} ${RunningX64}
    MessageBox MB_ICONSTOP "Velmora 需要 64 位 Windows。" /SD IDOK
    Abort
  ${EndIf}
  ; $INSTDIR is the installed version's folder here (or the one /D= names):
  ; an upgrade over a running program stops before it touches anything.
  Call WaitForPrograms
  ${If} $R0 != ""
    SetErrorLevel ${EXIT_RUNNING}
    Quit
  ${EndIf}
FunctionEnd

; A folder chosen on the directory page may hold a running Velmora too.
Function DirectoryLeave
  Call WaitForPrograms
  ${If} $R0 != ""
    Abort
  ${EndIf}
FunctionEnd

Function un.onInit
  SetRegView 64
  Call un.WaitForPrograms
  ${If} $R0 != ""
    SetErrorLevel ${EXIT_RUNNING}
    Quit
  ${EndIf}
FunctionEnd

Section "Velmora" SecMain
  SectionIn RO
  SetShellVarContext all
  !include "${FILES}"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateDirectory "$SMPROGRAMS\${PRODUCT}"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\Velmora.lnk" "$INSTDIR\velmora.exe" "" "$INSTDIR\velmora.exe" 0
  ; The emulator keeps its state and log in the user's %LOCALAPPDATA%\Velmora:
  ; the install folder is not the user's to write.
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\Velmora 中控模拟器.lnk" "$INSTDIR\velmora-controller.exe" \
                 "${EMULATOR_ARGS}" "$INSTDIR\velmora-controller.exe" 0
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\卸载 Velmora.lnk" "$INSTDIR\uninstall.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT} 中控设置工具"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "The Velmora authors"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\velmora.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" ${SIZE_KB}
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1

  !insertmacro AllowProgram "velmora.exe"
  !insertmacro AllowProgram "velmora-cli.exe"
SectionEnd

Section "Uninstall"
  SetShellVarContext all
  !insertmacro ForgetProgram "velmora.exe"
  !insertmacro ForgetProgram "velmora-cli.exe"
  !include "${UNFILES}"
  Delete "$INSTDIR\uninstall.exe"
  ; Only an empty folder goes: nothing the installer put there is lost.
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\${PRODUCT}\Velmora.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\Velmora 中控模拟器.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\卸载 Velmora.lnk"
  RMDir "$SMPROGRAMS\${PRODUCT}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
