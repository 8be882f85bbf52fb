/** @file
 * The runtime's own process start-up for Windows executables, which needs
 * nothing from the compiler's C runtime start-up code.
 *
 * An executable uses it by making RTNoCrtExeStartup its entry point:
 *
 *     x86-64:  -nostartfiles -Wl,-e,RTNoCrtExeStartup
 *     x86:     -nostartfiles -Wl,-e,_RTNoCrtExeStartup@0
 *
 * (with -mwindows for a GUI program, and -static). The start-up records the
 * executable's path, runs the static initialisers (the .CRT$XI* table of
 * initialisers returning int, the .CRT$XC* table, then the compiler's C++
 * constructors), converts the UTF-16 command line to UTF-8, splits it by
 * the Microsoft C runtime's rules (RTGetOptSplitCommandLine) and calls
 *
 *     int main(int argc, char **argv);
 *
 * main's result goes to RTNoCrtExit with exit processing. In such an
 * executable the C library's atexit is RTNoCrtAtExit, so static
 * destructors, the runtime's exit hooks and the program's own atexit
 * callbacks all run there.
 *
 * Failures before main are reported by raw writes to the standard error
 * handle and end the process with 3 (or with the failing initialiser's
 * value).
 */
#ifndef ZOLT_NOCRT_H
#define ZOLT_NOCRT_H

#include <zolt/cdefs.h>

RT_C_DECLS_BEGIN

/** The process entry point (see above). Never returns. */
#if defined(_WIN32) && !defined(_WIN64)
__attribute__((stdcall))
#endif
[[noreturn]] RTDECL(void) RTNoCrtExeStartup(void);

/**
 * Ends the process with @a rcExit (the full 32-bit value reaches
 * GetExitCodeProcess).
 * @param fRunAtExit  Run exit processing first: the at-exit callbacks, the
 *                    last registered first, then the .CRT$XP* and .CRT$XT*
 *                    terminator tables in order.
 */
[[noreturn]] RTDECL(void) RTNoCrtExit(int rcExit, bool fRunAtExit);

/**
 * Registers @a pfnCallback to run at exit (RTNoCrtExit). Safe from any
 * thread. Up to 8192 registrations, stored in blocks of 256 allocated as
 * needed.
 * @returns 0; -1 when the table is full or a block cannot be allocated.
 */
RTDECL(int) RTNoCrtAtExit(void (*pfnCallback)(void));

/**
 * Raw writes to the standard error handle, without formatter or streams,
 * for reports before (or instead of) the runtime's services.
 */
RTDECL(void) RTNoCrtWriteStdErr(const char *pszText);
/** Writes @a pszText, @a rc as a signed decimal, and "\r\n". */
RTDECL(void) RTNoCrtWriteStdErrRc(const char *pszText, int rc);
/** Writes @a uValue in the paired form "1234 (0x4d2)". */
RTDECL(void) RTNoCrtWriteStdErrPair(uint32_t uValue);

RT_C_DECLS_END

#endif /* ZOLT_NOCRT_H */
