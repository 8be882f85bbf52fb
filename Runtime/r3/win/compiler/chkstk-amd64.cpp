/** @file
 * The stack probe of x86-64 Windows code. A function whose frame is larger
 * than a page calls it with the frame size in RAX before it moves RSP: the
 * stack grows only by touching its guard page, so every page between the
 * current top and the new one is touched in order, from the top down.
 * Every register is preserved, RSP too (the caller subtracts RAX itself).
 */
__asm__(".text\n"
        ".globl ___chkstk_ms\n"
        ".def ___chkstk_ms; .scl 2; .type 32; .endef\n"
        "___chkstk_ms:\n"
        "    pushq %rcx\n"
        "    pushq %rax\n"
        "    cmpq $0x1000, %rax\n"
        "    leaq 24(%rsp), %rcx\n" /* the caller's RSP before the call */
        "    jb 2f\n"
        "1:  subq $0x1000, %rcx\n"
        "    orq $0, (%rcx)\n"
        "    subq $0x1000, %rax\n"
        "    cmpq $0x1000, %rax\n"
        "    ja 1b\n"
        "2:  subq %rax, %rcx\n"
        "    orq $0, (%rcx)\n"
        "    popq %rax\n"
        "    popq %rcx\n"
        "    ret\n");
