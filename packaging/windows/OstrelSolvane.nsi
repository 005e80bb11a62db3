; The Windows installer of Ostrel Solvane, built by scripts/windows/package.sh with makensis:
;   makensis -DVERSION=1.0.0 -DFILES=files.nsh -DUNFILES=unfiles.nsh -DOUTFILE=setup.exe OstrelSolvane.nsi
; It installs what the Windows build's `cmake --install` puts down (FILES and UNFILES list it) into the host's
; plug-ins folder, which the user may change, writes an uninstaller there and an entry in the system's list of
; programs. The uninstaller removes exactly those files, itself, the entry and the folder when it is left empty.
; Silent: setup.exe /S [/D=FOLDER] and "Uninstall Ostrel Solvane.exe" /S.

Unicode true
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

Section "Install"
  SetOutPath "$INSTDIR"
  !include "${FILES}"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT} ${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "The Ostrel Solvane developers"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  !include "${UNFILES}"
  Delete "$INSTDIR\${UNINSTALLER}"
  ; Only when empty: the folder may be a host's own plug-ins folder.
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
