/** @file
 * Assertion reports.
 *
 * Runtime code that meets a broken precondition reports it in two messages:
 * RTAssertReport1 names the failed expression and its source location,
 * RTAssertReport2 (or RTAssertReport2V) adds free-form details and
 * RTAssertReport2Add continues them. A site that cannot go on then stops at
 * RT_BREAKPOINT(); other sites return their status.
 *
 * Reports are written straight to the standard error handle (one write per
 * message, no stream layer, so they work in any state of the runtime) and
 * recorded below as the process's last assertion. Optional hooks receive
 * both messages first. A report never fails, and the platform's last error
 * (errno on the POSIX host) is the same after it as before.
 *
 * Reports may come from any thread; the record is written without a lock,
 * so concurrent reports may mix in it (each written message stays whole).
 */
#ifndef ZOLT_ASSERT_H
#define ZOLT_ASSERT_H

#include <zolt/cdefs.h>

#include <stdarg.h>

RT_C_DECLS_BEGIN

/*
 * The last assertion of the process, as recorded by the reports.
 */
/** Expression of the last first message, as passed. */
extern const char *volatile g_pszRTAssertExpr;
/** Source file of the last first message, as passed. */
extern const char *volatile g_pszRTAssertFile;
/** Source line of the last first message. */
extern volatile uint32_t g_u32RTAssertLine;
/** Function of the last first message, as passed. */
extern const char *volatile g_pszRTAssertFunction;
/** The last first message, formatted (truncated to fit). */
extern char g_szRTAssertMsg1[1024];
/** The last second message and its continuations (truncated to fit). */
extern char g_szRTAssertMsg2[4096];
/** Bytes used in g_szRTAssertMsg2. */
extern volatile uint32_t g_cchRTAssertMsg2;

/**
 * The first message: records the four values, formats
 * "\n!!Assertion Failed!!\nExpression: %s\nLocation  : %s(%d) %s\n" into
 * g_szRTAssertMsg1 and (unless quiet) passes it to the hook and writes it.
 * In the written text an invalid expression or file pointer shows as
 * "<none>" and an invalid function pointer as nothing.
 */
RTDECL(void) RTAssertReport1(const char *pszExpr, unsigned uLine, const char *pszFile, const char *pszFunction);

/** The second message: formats it into g_szRTAssertMsg2, replacing what was
 *  there, and (unless quiet) passes it to the hook and writes it. */
RTDECL(void) RTAssertReport2(const char *pszFormat, ...);

/** RTAssertReport2 with a va_list. */
RTDECL(void) RTAssertReport2V(const char *pszFormat, va_list va);

/** Continues the second message: appends to g_szRTAssertMsg2 while fewer
 *  than 4092 bytes are used (else records nothing) and, unless quiet,
 *  passes it on and writes it all the same. */
RTDECL(void) RTAssertReport2Add(const char *pszFormat, ...);

/**
 * Quiet mode: reports are only recorded, neither written nor passed to the
 * hooks. Off at start.
 * @returns the previous setting.
 */
RTDECL(bool) RTAssertSetQuiet(bool fQuiet);

/** @returns whether reports are quiet. */
RTDECL(bool) RTAssertAreQuiet(void);

/** Stops at a breakpoint trap: the debugger, if any, gets control; without
 *  one the process ends through the platform's unhandled-exception path. */
#if defined(__i386__) || defined(__x86_64__)
#define RT_BREAKPOINT() __asm__ __volatile__("int3")
#elif defined(__aarch64__)
#define RT_BREAKPOINT() __asm__ __volatile__("brk #0xf000")
#else
#define RT_BREAKPOINT() __builtin_trap()
#endif

RT_C_DECLS_END

#endif /* ZOLT_ASSERT_H */
