; The single-file package: unpacks the installer program and the map into a
; work folder of its own under Program Files, runs the program there and
; leaves nothing behind. The player sees only the program's own dialog, or a
; box of ours saying what failed and what to do (the texts: messages.nsh).
;
; makensis -INPUTCHARSET UTF8 -NOCONFIG -DINSTALLER=... -DMAP=... -DPROGRAM_NAME=...
;          -DICON=... -DRELEASE=... -DOUTFILE=... installer.nsi
; (nsis_package in package/CMakeLists.txt does this). RELEASE: the version
; keys made from the texts file (author/texts.py nsh). -DNO_FILES builds the
; same package with an empty section and no functions of its own: what the
; package's own steps cost is told against it.
;
; It runs as administrator, so nothing it runs, reads or deletes may be
; within reach of the player's own unelevated programs (docs/security.md):
; the work folder is new, under Program Files, which gives those programs
; read and execute only, and only the two files, by name, and then the
; empty folder are deleted.

Unicode true
; Not solid: a solid package first unpacks everything into a working file
; in %TEMP%, and when that fails (a full or read-only folder) the stub's
; own English message comes before this script can say anything.
SetCompressor /FINAL lzma
; File times would make the bytes depend on when the inputs were touched.
SetDateSave off

; The work folder: "<WORK_NAME>.tmp" if free, else "<WORK_NAME>-2.tmp" and
; on, at most NAME_TRIES names. A name that exists already is never used or
; touched (the messages name them).
!define WORK_NAME "Duneveil-mapa"
!define NAME_TRIES "20"

!include LogicLib.nsh
!include "${__FILEDIR__}\messages.nsh"

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

Name "${CAPTION}"
Caption "${CAPTION}"
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

!ifndef NO_FILES
; A silent package answers NSIS's own error prompts with their silent
; defaults and says nothing. Every step that can fail therefore names its
; failure here first, and ends the install (exit code 2) if it fails; then
; .onInstFailed removes what the package made and tells the player.
Var Claim     ; our empty file, until it becomes the program in the work folder
Var Work      ; the work folder, once ours
Var Failure

; A file that cannot be written ends the install instead of being skipped.
AllowSkipFiles off

Section
  ; CreateDirectory also succeeds on a folder that exists, so a folder is
  ; ours only once our claim, an empty file whose name Windows made unique,
  ; is renamed into it as the program: a rename never replaces anything.
  ; Of two packages that made the same folder at once, one rename wins.
  ; Program Files takes new files from administrators only, so a package
  ; that cannot make its claim there is not running as one.
  StrCpy $Failure "${MSG_NEED_ADMIN}"
  GetTempFileName $Claim $PROGRAMFILES
  ${If} ${Errors}
    Abort
  ${EndIf}
  StrCpy $R0 "$PROGRAMFILES\${WORK_NAME}.tmp"
  StrCpy $R1 1
  ${Do}
    ${IfNot} ${FileExists} $R0
      CreateDirectory $R0
      ${If} ${Errors}
        Abort
      ${EndIf}
      Rename $Claim "$R0\${PROGRAM_NAME}"
      ${IfNot} ${Errors}
        StrCpy $Work $R0
        StrCpy $Claim ""  ; its old name may be another's claim now
        ${Break}
      ${EndIf}
      ClearErrors
    ${EndIf}
    IntOp $R1 $R1 + 1
    StrCpy $R0 "$PROGRAMFILES\${WORK_NAME}-$R1.tmp"
  ${LoopUntil} $R1 > ${NAME_TRIES}
  ${If} $Work == ""
    StrCpy $Failure "${MSG_ALL_TAKEN}"
    Abort
  ${EndIf}
  ; The program takes Am01.dvp from its current directory, which it
  ; inherits from SetOutPath.
  StrCpy $Failure "${MSG_NO_ROOM}"
  SetOutPath $Work
  File "/oname=${PROGRAM_NAME}" "${INSTALLER}"
  File "/oname=Am01.dvp" "${MAP}"
  ; Fails only when Windows will not start it; a program that started
  ; reports its own failures.
  StrCpy $Failure "${MSG_CANNOT_START}"
  ExecWait '"$Work\${PROGRAM_NAME}"' $R0
  ${If} ${Errors}
  ${OrIf} $R0 != 0
    Abort
  ${EndIf}
  Call RemoveWork
SectionEnd

Function .onInstFailed
  Call RemoveWork
  MessageBox MB_OK|MB_ICONSTOP "$Failure"
FunctionEnd

; By name and nothing else. A scanner that holds a file open a moment keeps
; it, or the folder, from going: retried every 100 ms for 2 s, as the
; program waits at its rename. A folder still there then is left, empty or
; not; the package never asks for a restart.
Function RemoveWork
  ${If} $Claim != ""
    Delete $Claim
  ${EndIf}
  ${If} $Work != ""
    ; Windows cannot remove the current directory.
    SetOutPath $PROGRAMFILES
    StrCpy $R1 20
    ${Do}
      ClearErrors
      Delete "$Work\${PROGRAM_NAME}"
      Delete "$Work\Am01.dvp"
      RMDir $Work
      ${IfNot} ${Errors}
        ${Break}
      ${EndIf}
      Sleep 100
      IntOp $R1 $R1 - 1
    ${LoopUntil} $R1 = 0
  ${EndIf}
FunctionEnd
!else
; The empty package: the same settings, an empty section, no function but
; .onInit's silent mode.
Section
SectionEnd
!endif
