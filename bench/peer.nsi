; The start-up peer: the plain NSIS package a map author would make of a
; dialog program and its map. Unpack into a folder, start, wait, delete; no
; checks of its own. The same settings as package/installer.nsi, so the two
; differ only by what that script does besides.
;
; makensis -INPUTCHARSET UTF8 -NOCONFIG -DINSTALLER=... -DMAP=... -DOUTFILE=... peer.nsi
Unicode true
SetCompressor /FINAL lzma
SetDateSave off
OutFile "${OUTFILE}"
RequestExecutionLevel admin
SilentInstall silent

Section
  SetOutPath "$TEMP\peer"
  File "${INSTALLER}"
  File "/oname=Am01.dvp" "${MAP}"
  ExecWait '"$TEMP\peer\${INSTALLER_NAME}"'
  SetOutPath $TEMP
  Delete "$TEMP\peer\${INSTALLER_NAME}"
  Delete "$TEMP\peer\Am01.dvp"
  RMDir "$TEMP\peer"
SectionEnd
