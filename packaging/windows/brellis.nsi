; The Windows installer of Brellis, made by the `windows_installer` target (packaging/windows/
; windows.cmake) from the staged program: makensis -DVERSION=... -DSTAGE=... -DOUTFILE=...
; A silent install (/S) takes the default folder; the uninstaller removes what this put there and
; leaves the operator's settings (the calibration in the registry) and records alone.
; A 64-bit installer for a 64-bit program: it runs where the program runs, Wine without its
; 32-bit part included.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Brellis"

Name "Brellis ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Brellis"
InstallDirRegKey HKLM "Software\Quorran Science\Brellis" "InstallDir"
BrandingText "Brellis ${VERSION}"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Brellis"
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File /r "${STAGE}/*"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  WriteRegStr HKLM "Software\Quorran Science\Brellis" "InstallDir" "$INSTDIR"

  CreateDirectory "$SMPROGRAMS\Brellis"
  CreateShortcut "$SMPROGRAMS\Brellis\Brellis.lnk" "$INSTDIR\brellis.exe"
  CreateShortcut "$SMPROGRAMS\Brellis\Brellis on simulated modules.lnk" "$INSTDIR\brellis.exe" "--simulate"
  CreateShortcut "$SMPROGRAMS\Brellis\Uninstall Brellis.lnk" "$INSTDIR\Uninstall.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Brellis"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Quorran Science"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\brellis.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  SetShellVarContext all
  ; Only what the installer put here: a folder the operator chose may hold other files.
  Delete "$INSTDIR\brellis.exe"
  Delete "$INSTDIR\*.dll"
  Delete "$INSTDIR\README.md"
  Delete "$INSTDIR\LICENSE"
  RMDir /r "$INSTDIR\icons"
  RMDir /r "$INSTDIR\platforms"
  RMDir /r "$INSTDIR\imageformats"
  RMDir /r "$INSTDIR\styles"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"

  RMDir /r "$SMPROGRAMS\Brellis"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "Software\Quorran Science\Brellis"
  DeleteRegKey /ifempty HKLM "Software\Quorran Science"
SectionEnd
