; The single-file package: unpacks the installer program and the map into a
; private temporary folder, runs the program there and leaves nothing behind.
; The player sees only the program's own dialog, or a box of ours saying
; what failed and what to do.
;
; makensis -INPUTCHARSET UTF8 -NOCONFIG -DINSTALLER=... -DMAP=... -DPROGRAM_NAME=...
;          -DICON=... -DRELEASE=... -DOUTFILE=... installer.nsi
; (nsis_package in package/CMakeLists.txt does this). RELEASE: the version
; keys made from the texts file (tools/texts.py nsh). -DNO_FILES builds the
; same package without its two files.

Unicode true
; Not solid: a solid package first unpacks everything into a working file
; in %TEMP%, and when that fails (a full or read-only folder) the stub's
; own English message comes before this script can say anything.
SetCompressor /FINAL lzma
; File times would make the bytes depend on when the inputs were touched.
SetDateSave off

!include LogicLib.nsh

!ifndef OUTFILE | ICON | RELEASE | PROGRAM_NAME
  !error "define OUTFILE, ICON, RELEASE and PROGRAM_NAME"
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

; A silent package answers NSIS's own error prompts with their silent
; defaults and says nothing. Every step that can fail therefore names its
; failure here first, and ends the install (exit code 2) if it fails; then
; .onInstFailed removes the private folder and tells the player.
Var Work
Var Failure

; A file that cannot be written ends the install instead of being skipped.
AllowSkipFiles off

Section
  ; Our own private folder under %TEMP%, not $PLUGINSDIR: NSIS gives up on
  ; that one with a prompt of its own that a silent package never shows.
  StrCpy $Failure "Nepodařilo se vytvořit dočasnou složku pro instalaci.$\r$\n$\r$\nZkontrolujte, že lze zapisovat do složky pro dočasné soubory ($TEMP) a že je na jejím disku volné místo, a spusťte instalaci znovu."
  ClearErrors
  GetTempFileName $Work
  Delete $Work
  CreateDirectory $Work
  ${If} ${Errors}
    Abort
  ${EndIf}
  ; The program takes Am01.dvp from its current directory, which ExecWait
  ; inherits from SetOutPath.
  StrCpy $Failure "Nepodařilo se rozbalit soubory instalace do dočasné složky.$\r$\n$\r$\nUvolněte místo na disku se složkou pro dočasné soubory ($TEMP) a spusťte instalaci znovu."
  SetOutPath $Work
!ifndef NO_FILES
  File "/oname=${PROGRAM_NAME}" "${INSTALLER}"
  File "/oname=Am01.dvp" "${MAP}"
!endif
  StrCpy $Failure "Instalační program se nepodařilo spustit.$\r$\n$\r$\nSpusťte instalaci znovu; pokud se to opakuje, stáhněte si ji znovu."
  ClearErrors
  ExecWait '"$Work\${PROGRAM_NAME}"'
  ${If} ${Errors}
    Abort
  ${EndIf}
  Call RemoveWork
SectionEnd

Function .onInstFailed
  Call RemoveWork
  MessageBox MB_OK|MB_ICONSTOP "$Failure"
FunctionEnd

Function RemoveWork
  ; Windows cannot delete the current directory: leave it first.
  SetOutPath $TEMP
  ${If} $Work != ""
    RMDir /r $Work
  ${EndIf}
FunctionEnd
