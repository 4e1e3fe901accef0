; The single-file package: unpacks the installer program and the map into a
; private temporary folder, runs the program there and leaves nothing behind.
; The player sees only the program's own dialog.
;
; makensis -INPUTCHARSET UTF8 -NOCONFIG -DINSTALLER=... -DMAP=... -DICON=...
;          -DRELEASE=... -DOUTFILE=... installer.nsi   (package/CMakeLists.txt does this)
; RELEASE: the version keys made from the texts file (tools/texts.py nsh).
; -DNO_FILES builds the same package without its two files (size-report.sh).

Unicode true
SetCompressor /SOLID /FINAL lzma
; File times would make the bytes depend on when the inputs were touched.
SetDateSave off

!include LogicLib.nsh

!ifndef OUTFILE | ICON | RELEASE
  !error "define OUTFILE, ICON and RELEASE"
!endif
!include "${RELEASE}"
!ifndef NO_FILES
  !ifndef INSTALLER | MAP
    !error "define INSTALLER and MAP"
  !endif
!endif

; Czech only. NSIS's message for a damaged download does not come from this
; file: it is fixed English text in the stub.
LoadLanguageFile "${NSISDIR}\Contrib\Language files\Czech.nlf"

Name "Duneveil - instalace nové mapy"
Caption "Duneveil - instalace nové mapy"
OutFile "${OUTFILE}"
Icon "${ICON}"
; The program itself asks for administrator; elevate once, here, so it
; can be started without a second prompt.
RequestExecutionLevel admin

; Shown in Explorer and, as the program name, in the UAC prompt.
VIProductVersion ${VI_VERSION}
VIAddVersionKey /LANG=${LANG_CZECH} ProductName "${VI_ProductName}"
VIAddVersionKey /LANG=${LANG_CZECH} FileDescription "${VI_FileDescription}"
VIAddVersionKey /LANG=${LANG_CZECH} FileVersion ${VI_VERSION}
VIAddVersionKey /LANG=${LANG_CZECH} ProductVersion ${VI_VERSION}
VIAddVersionKey /LANG=${LANG_CZECH} LegalCopyright "${VI_LegalCopyright}"

; Silent from .onInit on, not by SilentInstall: the stub reads that mark
; before it checks the package, and a damaged download would then end
; without a word.
Function .onInit
  SetSilent silent
FunctionEnd

Section
  ; $PLUGINSDIR is a fresh folder under %TEMP% that NSIS deletes on exit.
  InitPluginsDir
  ; The program takes Am01.dvp from its current directory, which ExecWait
  ; inherits from SetOutPath.
  SetOutPath $PLUGINSDIR
!ifndef NO_FILES
  File "/oname=instalator.exe" "${INSTALLER}"
  File "/oname=Am01.dvp" "${MAP}"
!endif
  ClearErrors
  ExecWait '"$PLUGINSDIR\instalator.exe"'
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONSTOP "Instalační program se nepodařilo spustit."
    SetErrorLevel 2
  ${EndIf}
  ; Windows cannot delete the current directory: leave it so it goes too.
  SetOutPath $TEMP
SectionEnd
