/** @file
 * Assertion report internals: the hooks and the host's part of a report.
 */
#ifndef ZOLT_INTERNAL_ASSERT_H
#define ZOLT_INTERNAL_ASSERT_H

#include <zolt/assert.h>

/** Receives the first message's format and its four values. */
typedef void FNRTASSERTMSG1(const char *pszFormat, const char *pszExpr, const char *pszFile, unsigned uLine,
                            const char *pszFunction);
/** Receives a second message's format and arguments. */
typedef void FNRTASSERTMSG2(const char *pszFormat, va_list va);

/** The hooks, installed by a static initialiser (the logger's) or null. */
extern FNRTASSERTMSG1 *g_pfnRTAssertMsg1Hook;
extern FNRTASSERTMSG2 *g_pfnRTAssertMsg2Hook;

/** The platform's error state around a report. */
typedef struct RTASSERTLASTERR
{
    uint32_t u32Magic;   /**< RTASSERTLASTERR_MAGIC once saved. */
    uint32_t uLastError; /**< GetLastError() or errno. */
    int iWsaLastError;   /**< WSAGetLastError(), or RTASSERTLASTERR_NO_WSA. */
} RTASSERTLASTERR;

#define RTASSERTLASTERR_MAGIC UINT32_C(0x19520117)
/** The sockets library's "not initialised" error: its calls are absent. */
#define RTASSERTLASTERR_NO_WSA 10093

void rtAssertSaveLastError(RTASSERTLASTERR *pSaved);
void rtAssertRestoreLastError(const RTASSERTLASTERR *pSaved);

/** Writes @a cch bytes to the standard error handle; failures are ignored. */
void rtAssertWriteStdErr(const char *pch, size_t cch);

#endif /* ZOLT_INTERNAL_ASSERT_H */
