; The Windows installer of Ostrel Solvane, built by scripts/windows/package.sh with makensis:
;   makensis -DVERSION=1.0.0 -DFILES=files.nsh -DUNFILES=unfiles.nsh -DOUTFILE=setup.exe OstrelSolvane.nsi
; It installs what the Windows build's `cmake --install` puts down (FILES and UNFILES list it) into the host's
; plug-ins folder, which the user may change, writes an uninstaller there and an entry in the system's list of
; programs. The uninstaller removes exactly those files, itself, the entry, and the folders the install made (the
; chosen folder and those above it that did not exist yet) as far as they are left empty.
; Silent: setup.exe /S [/D=FOLDER] and "Uninstall Ostrel Solvane.exe" /S.

Unicode true
!include "LogicLib.nsh"
!include "FileFunc.nsh"
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!define PRODUCT "Ostrel Solvane"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\OstrelSolvane"
!define UNINSTALLER "Uninstall Ostrel Solvane.exe"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
; The plug-ins folder that the compositing host and its companions share; a host's own Plug-ins folder works too.
InstallDir "$PROGRAMFILES64\Adobe\Common\Plug-ins\7.0\MediaCore\${PRODUCT}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
DirText "Setup installs the ${PRODUCT} effect plug-in into the host's plug-ins folder below. Choose another folder \
the host reads plug-ins from, if you like (a host's own Support Files\Plug-ins folder, for example)."
ShowInstDetails show
ShowUninstDetails show
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${PRODUCT} ${VERSION} setup"
VIAddVersionKey "LegalCopyright" "The Ostrel Solvane developers"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Function .onInit
  SetRegView 64
FunctionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

Var created

Section "Install"
  ; The highest folder of the chosen path that does not exist yet: the uninstaller removes up to it, no further.
  StrCpy $0 "$INSTDIR"
  StrCpy $created ""
  ${Do}
    ${If} ${FileExists} "$0\*.*"
      ${ExitDo}
    ${EndIf}
    StrCpy $created "$0"
    ${GetParent} "$0" $0
  ${LoopUntil} $0 == ""
  ; A second install into the same folder keeps what the first one made.
  ReadRegStr $1 HKLM "${UNINSTALL_KEY}" "CreatedFolder"
  ReadRegStr $2 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $created == ""
  ${AndIf} $2 == "$INSTDIR"
    StrCpy $created $1
  ${EndIf}
  SetOutPath "$INSTDIR"
  !include "${FILES}"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT} ${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "The Ostrel Solvane developers"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "CreatedFolder" "$created"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  !include "${UNFILES}"
  Delete "$INSTDIR\${UNINSTALLER}"
  ; The folder, and those above it that the install made, each only when empty: the folder may be a host's own
  ; plug-ins folder, with other plug-ins in it.
  ReadRegStr $1 HKLM "${UNINSTALL_KEY}" "CreatedFolder"
  StrCpy $0 "$INSTDIR"
  ${Do}
    RMDir "$0"
    ${If} $0 == $1
    ${OrIf} $1 == ""
      ${ExitDo}
    ${EndIf}
    ${GetParent} "$0" $0
  ${LoopUntil} $0 == ""
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
