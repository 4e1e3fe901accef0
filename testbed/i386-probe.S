# Does the kernel run i386 programs itself? Exit status 0: natively (uname
# reports the 64-bit machine); 10: under an emulator that binfmt_misc already
# routes them to (qemu reports an i386 machine). A kernel that cannot run it
# at all makes the shell report 126.
    .globl _start
    .text
_start:
    subl  $400, %esp            # struct new_utsname: 6 fields of 65 bytes
    movl  $122, %eax            # newuname
    movl  %esp, %ebx
    int   $0x80
    xorl  %ebx, %ebx
    cmpb  $'x', 260(%esp)       # machine field: "x86_64" when native
    je    1f
    movl  $10, %ebx
1:  movl  $1, %eax              # exit
    int   $0x80
