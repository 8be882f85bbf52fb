/** @file
 * The stack probe of 32-bit x86 Windows code. A function whose frame is
 * larger than a page calls it with the frame size in EAX before it moves
 * ESP: the stack grows only by touching its guard page, so every page
 * between the current top and the new one is touched in order, from the
 * top down. Every register is preserved, ESP too (the caller subtracts EAX
 * itself).
 */
__asm__(".text\n"
        ".globl ___chkstk_ms\n"
        ".def ___chkstk_ms; .scl 2; .type 32; .endef\n"
        "___chkstk_ms:\n"
        "    pushl %ecx\n"
        "    pushl %eax\n"
        "    cmpl $0x1000, %eax\n"
        "    leal 12(%esp), %ecx\n" /* the caller's ESP before the call */
        "    jb 2f\n"
        "1:  subl $0x1000, %ecx\n"
        "    orl $0, (%ecx)\n"
        "    subl $0x1000, %eax\n"
        "    cmpl $0x1000, %eax\n"
        "    ja 1b\n"
        "2:  subl %eax, %ecx\n"
        "    orl $0, (%ecx)\n"
        "    popl %eax\n"
        "    popl %ecx\n"
        "    ret\n");
