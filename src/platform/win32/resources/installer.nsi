; The Windows installer: sorvane.exe into its own folder, a Start menu entry,
; and an uninstaller. Built by tools/build-windows.sh:
;   makensis -DVERSION=1.0.0 -DPROGRAM=path\to\sorvane.exe -DOUTFILE=... installer.nsi
Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin

Name "Sorvane"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\Sorvane"
InstallDirRegKey HKLM "Software\Sorvane" "InstallDir"
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "Sorvane"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "Sorvane installer"
VIAddVersionKey "LegalCopyright" "Sorvane"

!include "MUI2.nsh"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

Section "Sorvane"
  SetOutPath "$INSTDIR"
  File "/oname=sorvane.exe" "${PROGRAM}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "Software\Sorvane" "InstallDir" "$INSTDIR"
  CreateShortcut "$SMPROGRAMS\Sorvane.lnk" "$INSTDIR\sorvane.exe"
  WriteRegStr HKLM "Software\Microsoft\Windows\CurrentVersion\Uninstall\Sorvane" "DisplayName" "Sorvane"
  WriteRegStr HKLM "Software\Microsoft\Windows\CurrentVersion\Uninstall\Sorvane" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "Software\Microsoft\Windows\CurrentVersion\Uninstall\Sorvane" "DisplayVersion" "${VERSION}"
SectionEnd

Section "Uninstall"
  Delete "$SMPROGRAMS\Sorvane.lnk"
  Delete "$INSTDIR\sorvane.exe"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "Software\Microsoft\Windows\CurrentVersion\Uninstall\Sorvane"
  DeleteRegKey HKLM "Software\Sorvane"
SectionEnd
