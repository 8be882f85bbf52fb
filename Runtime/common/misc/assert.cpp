/** @file
 * Assertion reports: recording, hooks and the raw write.
 */
#include "internal/assert.h"

#include <zolt/assert.h>
#include <zolt/strformat.h>

#include <atomic>

const char *volatile g_pszRTAssertExpr;
const char *volatile g_pszRTAssertFile;
volatile uint32_t g_u32RTAssertLine;
const char *volatile g_pszRTAssertFunction;
char g_szRTAssertMsg1[1024];
char g_szRTAssertMsg2[4096];
volatile uint32_t g_cchRTAssertMsg2;

FNRTASSERTMSG1 *g_pfnRTAssertMsg1Hook;
FNRTASSERTMSG2 *g_pfnRTAssertMsg2Hook;

namespace
{

std::atomic<bool> g_fRTAssertQuiet;

const char g_szRTAssertMsg1Format[] = "\n!!Assertion Failed!!\nExpression: %s\nLocation  : %s(%d) %s\n";

/** Formats a second message again for writing (the recorded copy may be
 *  truncated, or hold earlier parts) and hands it on. */
void rtAssertPassOnMsg2(const char *pszFormat, va_list va)
{
    RTASSERTLASTERR Saved;
    rtAssertSaveLastError(&Saved);
    if (g_pfnRTAssertMsg2Hook)
    {
        va_list vaHook;
        va_copy(vaHook, va);
        g_pfnRTAssertMsg2Hook(pszFormat, vaHook);
        va_end(vaHook);
    }
    char szMsg[4096];
    size_t const cch = RTStrPrintfV(szMsg, sizeof(szMsg), pszFormat, va);
    rtAssertWriteStdErr(szMsg, cch);
    rtAssertRestoreLastError(&Saved);
}

} // namespace

RTDECL(void) RTAssertReport1(const char *pszExpr, unsigned uLine, const char *pszFile, const char *pszFunction)
{
    g_pszRTAssertExpr = pszExpr;
    g_pszRTAssertFile = pszFile;
    g_u32RTAssertLine = uLine;
    g_pszRTAssertFunction = pszFunction;
    RTStrPrintf(g_szRTAssertMsg1, sizeof(g_szRTAssertMsg1), g_szRTAssertMsg1Format, pszExpr, pszFile, uLine,
                pszFunction);
    if (g_fRTAssertQuiet.load(std::memory_order_relaxed))
        return;

    RTASSERTLASTERR Saved;
    rtAssertSaveLastError(&Saved);
    if (g_pfnRTAssertMsg1Hook)
        g_pfnRTAssertMsg1Hook(g_szRTAssertMsg1Format, pszExpr, pszFile, uLine, pszFunction);
    char szMsg[2048];
    size_t const cch =
        RTStrPrintf(szMsg, sizeof(szMsg), g_szRTAssertMsg1Format, RT_VALID_PTR(pszExpr) ? pszExpr : "<none>",
                    RT_VALID_PTR(pszFile) ? pszFile : "<none>", uLine, RT_VALID_PTR(pszFunction) ? pszFunction : "");
    rtAssertWriteStdErr(szMsg, cch);
    rtAssertRestoreLastError(&Saved);
}

RTDECL(void) RTAssertReport2V(const char *pszFormat, va_list va)
{
    va_list vaRecord;
    va_copy(vaRecord, va);
    size_t const cch = RTStrPrintfV(g_szRTAssertMsg2, sizeof(g_szRTAssertMsg2), pszFormat, vaRecord);
    va_end(vaRecord);
    __atomic_exchange_n(&g_cchRTAssertMsg2, (uint32_t)cch, __ATOMIC_SEQ_CST);
    if (!g_fRTAssertQuiet.load(std::memory_order_relaxed))
        rtAssertPassOnMsg2(pszFormat, va);
}

RTDECL(void) RTAssertReport2(const char *pszFormat, ...)
{
    va_list va;
    va_start(va, pszFormat);
    RTAssertReport2V(pszFormat, va);
    va_end(va);
}

RTDECL(void) RTAssertReport2Add(const char *pszFormat, ...)
{
    va_list va;
    va_start(va, pszFormat);
    uint32_t const cchUsed = g_cchRTAssertMsg2;
    if (cchUsed < 4092)
    {
        va_list vaRecord;
        va_copy(vaRecord, va);
        size_t const cch =
            RTStrPrintfV(&g_szRTAssertMsg2[cchUsed], sizeof(g_szRTAssertMsg2) - cchUsed, pszFormat, vaRecord);
        va_end(vaRecord);
        __atomic_exchange_n(&g_cchRTAssertMsg2, (uint32_t)(cchUsed + cch), __ATOMIC_SEQ_CST);
    }
    if (!g_fRTAssertQuiet.load(std::memory_order_relaxed))
        rtAssertPassOnMsg2(pszFormat, va);
    va_end(va);
}

RTDECL(bool) RTAssertSetQuiet(bool fQuiet)
{
    return g_fRTAssertQuiet.exchange(fQuiet);
}

RTDECL(bool) RTAssertAreQuiet(void)
{
    return g_fRTAssertQuiet.load();
}
