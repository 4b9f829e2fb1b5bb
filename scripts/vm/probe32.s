# A 32-bit program with no libraries: says "ready", then waits for its input
# to close. While it waits, the kernel's /proc/PID/exe tells who runs it.
        .globl _start
        .text
_start: movl $4, %eax           # write(1, ready, 6)
        movl $1, %ebx
        movl $ready, %ecx
        movl $6, %edx
        int  $0x80
wait:   movl $3, %eax           # read(0, byte, 1) until end of input
        xorl %ebx, %ebx
        movl $byte, %ecx
        movl $1, %edx
        int  $0x80
        testl %eax, %eax
        jg   wait
        movl $1, %eax           # exit(0)
        xorl %ebx, %ebx
        int  $0x80
        .data
ready:  .ascii "ready\n"
byte:   .byte 0
