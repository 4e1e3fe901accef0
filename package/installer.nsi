; The single-file package: unpacks the installer program and the map into a
; private temporary folder, runs the program there and leaves nothing behind.
; The player sees only the program's own dialog, or a box of ours saying
; what failed and what to do (the texts: messages.nsh).
;
; makensis -INPUTCHARSET UTF8 -NOCONFIG -DINSTALLER=... -DMAP=... -DPROGRAM_NAME=...
;          -DICON=... -DRELEASE=... -DOUTFILE=... installer.nsi
; (nsis_package in package/CMakeLists.txt does this). RELEASE: the version
; keys made from the texts file (tools/texts.py nsh). -DNO_FILES builds the
; same package with an empty section and no functions of its own: what the
; package's own steps cost is told against it.
;
; It runs as administrator, so nothing it runs, reads or deletes may be
; within reach of the player's own unelevated programs (README.md, Security):
; - The work folder in %TEMP% is made new, under a name that did not exist,
;   with an access list of its own: SYSTEM and Administrators only. A handle
;   held from its making to its removal keeps anyone else from renaming it
;   and putting another in its place.
; - The System plug-in that makes it is unpacked beforehand into a folder of
;   its own under Program Files, which only administrators can write.
; - Only the two files, by name, and then the empty folder are deleted.

Unicode true
; Not solid: a solid package first unpacks everything into a working file
; in %TEMP%, and when that fails (a full or read-only folder) the stub's
; own English message comes before this script can say anything.
SetCompressor /FINAL lzma
; File times would make the bytes depend on when the inputs were touched.
SetDateSave off

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

; Our folders: "<WORK_NAME>.tmp" if free, else another name, at most
; NAME_TRIES names; a name that exists already is never used or removed.
!define WORK_NAME "Duneveil-mapa"
!define NAME_TRIES 20
; The work folder's descriptor: owned by Administrators (an owner may always
; change the access list), full control for SYSTEM and Administrators,
; inherited by the two files, and protected: nothing of %TEMP%'s own list,
; which gives the player full control, is merged in. Nothing runs as the
; unelevated player that needs these files; whoever may read them may also
; hold them open and keep them from being deleted.
!define WORK_SDDL "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)"
!define STATUS_OBJECT_NAME_COLLISION -1073741771
!define ERROR_ELEVATION_REQUIRED 740
!define CREATE_DEFAULT_ERROR_MODE 0x04000000

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

; A silent package answers NSIS's own error prompts with their silent
; defaults and says nothing. Every step that can fail therefore names its
; failure here first, and ends the install (exit code 2) if it fails; then
; .onInstFailed removes what the package made and tells the player.
!ifndef NO_FILES
Var Work      ; the work folder, once made
Var Pin       ; the handle that keeps it ours
Var Failure

; A file that cannot be written ends the install instead of being skipped.
AllowSkipFiles off

Section
  Call MakePluginFolder
  Call MakeWorkFolder
  ; The program takes Am01.dvp from its current directory, which it
  ; inherits from SetOutPath.
  StrCpy $Failure "${MSG_NO_ROOM}"
  SetOutPath $Work
  File "/oname=${PROGRAM_NAME}" "${INSTALLER}"
  File "/oname=Am01.dvp" "${MAP}"
  Call StartProgram
  Call RemoveWork
SectionEnd

Function .onInstFailed
  Call RemoveWork
  MessageBox MB_OK|MB_ICONSTOP "$Failure"
FunctionEnd

; The System plug-in's folder, made before the plug-in can make anything.
; Not NSIS's own $PLUGINSDIR in %TEMP%: NSIS 3.08 takes a folder of that
; name that exists already, and ends without a word when it cannot make it.
; Program Files takes new folders from administrators only, so a package
; that cannot make one there is not running as administrator. NSIS removes
; this folder, and the plug-in in it, when the package ends.
Function MakePluginFolder
  StrCpy $Failure "${MSG_NEED_ADMIN}"
  StrCpy $R0 "$PROGRAMFILES\${WORK_NAME}.tmp"
  StrCpy $R1 1
  ${DoWhile} ${FileExists} $R0
    IntOp $R1 $R1 + 1
    ${If} $R1 > ${NAME_TRIES}
      Abort
    ${EndIf}
    StrCpy $R0 "$PROGRAMFILES\${WORK_NAME}-$R1.tmp"
  ${Loop}
  ClearErrors
  CreateDirectory $R0
  ${If} ${Errors}
    Abort
  ${EndIf}
  UnsafeStrCpy $PLUGINSDIR $R0
  ; Unpacked here, so that a full disk is told as such; each plug-in call
  ; then finds it and does not unpack it again.
  StrCpy $Failure "${MSG_NO_ROOM_PROGRAMS}"
  File "/oname=$PLUGINSDIR\System.dll" "${NSISDIR}\Plugins\x86-unicode\System.dll"
FunctionEnd

; $Work: a new folder in %TEMP% with WORK_SDDL, made and opened in one step
; (NtCreateFile, FILE_CREATE) and held open without FILE_SHARE_DELETE.
Function MakeWorkFolder
  ; A plug-in that cannot be loaded sets the error flag and nothing else.
  StrCpy $Failure "${MSG_CANNOT_START}"
  ClearErrors
  System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW(w "${WORK_SDDL}", i 1, *p .R2, p 0) i .R3'
  ${If} ${Errors}
    Abort
  ${EndIf}
  StrCpy $Failure "${MSG_NO_FOLDER}"
  ${If} $R3 == 0
    Abort
  ${EndIf}
  System::Alloc 8                  ; UNICODE_STRING: the folder's NT path
  Pop $R4
  System::Alloc 8                  ; IO_STATUS_BLOCK
  Pop $R5
  ; OBJECT_ATTRIBUTES: that path, case-insensitive, with our descriptor.
  System::Call '*(i 24, p 0, p R4, i 0x40, p R2, p 0) p .R6'
  StrCpy $R0 "$TEMP\${WORK_NAME}.tmp"
  ${For} $R1 1 ${NAME_TRIES}
    System::Call 'ntdll::RtlDosPathNameToNtPathName_U(w R0, p R4, p 0, p 0) i .R7'
    IntOp $R7 $R7 & 0xFF           ; a BOOLEAN: the rest of the register is not set
    ${If} $R7 == 0
      ${Break}
    ${EndIf}
    ; SYNCHRONIZE|FILE_LIST_DIRECTORY, shared for reading and writing only;
    ; a directory, FILE_CREATE, synchronous.
    System::Call 'ntdll::NtCreateFile(*p .R8, i 0x100001, p R6, p R5, p 0, i 0x10, i 3, i 2, i 0x21, p 0, i 0) i .R9'
    System::Call 'ntdll::RtlFreeUnicodeString(p R4)'
    ${If} $R9 == 0
      StrCpy $Work $R0
      StrCpy $Pin $R8
      ${Break}
    ${ElseIf} $R9 != ${STATUS_OBJECT_NAME_COLLISION}
      ${Break}
    ${EndIf}
    ; Taken: a name no one can foresee.
    System::Call 'advapi32::SystemFunction036(*i .R7, i 4)'
    IntFmt $R7 "%08X" $R7
    StrCpy $R0 "$TEMP\${WORK_NAME}-$R7.tmp"
  ${Next}
  System::Free $R4
  System::Free $R5
  System::Free $R6
  System::Call 'kernel32::LocalFree(p R2)'
  ${If} $Work == ""
    Abort
  ${EndIf}
FunctionEnd

; CreateProcessW rather than ExecWait: ExecWait keeps no error code, and the
; plug-in's own steps change the last error before a later call could read it.
Function StartProgram
  StrCpy $Failure "${MSG_CANNOT_START}"
  StrCpy $R0 '"$Work\${PROGRAM_NAME}"'
  System::Alloc 68                 ; STARTUPINFOW, zeroed
  Pop $R1
  System::Call '*$R1(i 68)'
  System::Alloc 16                 ; PROCESS_INFORMATION
  Pop $R2
  System::Call 'kernel32::CreateProcessW(p 0, w R0, p 0, p 0, i 0, i ${CREATE_DEFAULT_ERROR_MODE}, p 0, p 0, p R1, p R2) i .R3 ?e'
  Pop $R4
  System::Call '*$R2(p .R5, p .R6)'
  System::Free $R1
  System::Free $R2
  ${If} $R3 == 0
    ; The program asks for administrator and this package is not one.
    ${If} $R4 == ${ERROR_ELEVATION_REQUIRED}
      StrCpy $Failure "${MSG_NEED_ADMIN}"
    ${EndIf}
    Abort
  ${EndIf}
  System::Call 'kernel32::CloseHandle(p R6)'
  System::Call 'kernel32::WaitForSingleObject(p R5, i -1)'
  System::Call 'kernel32::GetExitCodeProcess(p R5, *i .R7)'
  System::Call 'kernel32::CloseHandle(p R5)'
  ${If} $R7 != 0
    Abort
  ${EndIf}
FunctionEnd

Function RemoveWork
  ${If} $Work != ""
    ; By name and nothing else: no link inside can lead a deletion outside.
    Delete "$Work\${PROGRAM_NAME}"
    Delete "$Work\Am01.dvp"
    ; Windows cannot remove the current directory, nor one we hold open.
    SetOutPath $TEMP
    System::Call 'kernel32::CloseHandle(p $Pin)'
    RMDir $Work
    StrCpy $Work ""
  ${EndIf}
FunctionEnd
!else
; The empty package, against which the package's own size is measured: the
; same settings, an empty section, no functions but .onInit.
Section
SectionEnd
!endif
