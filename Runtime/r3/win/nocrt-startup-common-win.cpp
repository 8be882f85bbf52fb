/** @file
 * The runtime's own start-up, shared part: the static initialiser and
 * terminator tables, the at-exit table, process exit, and raw writes to the
 * standard error handle.
 */
#include <windows.h>

#include <zolt/mem.h>
#include <zolt/nocrt.h>
#include <zolt/strformat.h>

#include <atomic>
#include <string.h>

#include "internal/nocrt.h"

/*
 * The initialiser and terminator tables: the linker sorts the .CRT$X??
 * sections by name, so whatever the program puts into .CRT$XIU (say) lands
 * between our ...A and ...Z markers. Entries may be null.
 */
#define RTNOCRT_TABLE_MARKER(a_Type, a_Name, a_Section)                                                                \
    __attribute__((section(a_Section), used)) a_Type a_Name[1] = {nullptr}

RTNOCRT_TABLE_MARKER(PFNRTNOCRTINITINT, g_apfnrtNoCrtXIA, ".CRT$XIA");
RTNOCRT_TABLE_MARKER(PFNRTNOCRTINITINT, g_apfnrtNoCrtXIZ, ".CRT$XIZ");
RTNOCRT_TABLE_MARKER(PFNRTNOCRTVOID, g_apfnrtNoCrtXCA, ".CRT$XCA");
RTNOCRT_TABLE_MARKER(PFNRTNOCRTVOID, g_apfnrtNoCrtXCZ, ".CRT$XCZ");
RTNOCRT_TABLE_MARKER(PFNRTNOCRTVOID, g_apfnrtNoCrtXPA, ".CRT$XPA");
RTNOCRT_TABLE_MARKER(PFNRTNOCRTVOID, g_apfnrtNoCrtXPZ, ".CRT$XPZ");
RTNOCRT_TABLE_MARKER(PFNRTNOCRTVOID, g_apfnrtNoCrtXTA, ".CRT$XTA");
RTNOCRT_TABLE_MARKER(PFNRTNOCRTVOID, g_apfnrtNoCrtXTZ, ".CRT$XTZ");

namespace
{

/** Registrations the table holds at most, and per lazily allocated block. */
constexpr uint32_t g_cAtExitMax = 8192;
constexpr uint32_t g_cAtExitPerBlock = 256;

struct RTNOCRTATEXITBLOCK
{
    PFNRTNOCRTVOID apfnCallbacks[g_cAtExitPerBlock];
};

/** Registrations so far (the next registration's number). */
std::atomic<uint32_t> g_cAtExit{0};
/** The blocks, installed by compare-and-swap. */
std::atomic<RTNOCRTATEXITBLOCK *> g_apAtExitBlocks[g_cAtExitMax / g_cAtExitPerBlock];

void rtNoCrtRunVoidTable(PFNRTNOCRTVOID const *ppfn, PFNRTNOCRTVOID const *ppfnEnd)
{
    for (; ppfn < ppfnEnd; ppfn++)
        if (*ppfn)
            (*ppfn)();
}

/** Runs the at-exit callbacks, the last registered first. A callback that
 *  registers another one gets it run next. */
void rtNoCrtRunAtExit(void)
{
    for (;;)
    {
        uint32_t i = g_cAtExit.load();
        if (i == 0)
            break;
        i--;
        if (i >= g_cAtExitMax)
            i = g_cAtExitMax - 1; /* a failed registration's increment not yet undone */
        RTNOCRTATEXITBLOCK *pBlock = g_apAtExitBlocks[i / g_cAtExitPerBlock].load();
        PFNRTNOCRTVOID pfn = nullptr;
        if (pBlock)
        {
            pfn = pBlock->apfnCallbacks[i % g_cAtExitPerBlock];
            pBlock->apfnCallbacks[i % g_cAtExitPerBlock] = nullptr;
        }
        g_cAtExit.store(i);
        if (pfn)
            pfn();
    }
}

void rtNoCrtWrite(const char *pch, size_t cch)
{
    HANDLE hStdErr = GetStdHandle(STD_ERROR_HANDLE);
    if (hStdErr == nullptr || hStdErr == INVALID_HANDLE_VALUE)
        return;
    DWORD cbWritten;
    WriteFile(hStdErr, pch, (DWORD)cch, &cbWritten, nullptr);
}

} // namespace

int rtNoCrtRunInitializers(void)
{
    for (PFNRTNOCRTINITINT *ppfn = &g_apfnrtNoCrtXIA[1]; ppfn < g_apfnrtNoCrtXIZ; ppfn++)
        if (*ppfn)
        {
            int rc = (*ppfn)();
            if (rc != 0)
                return rc;
        }
    rtNoCrtRunVoidTable(&g_apfnrtNoCrtXCA[1], g_apfnrtNoCrtXCZ);
    return 0;
}

RTDECL(void) RTNoCrtExit(int rcExit, bool fRunAtExit)
{
    if (fRunAtExit)
    {
        rtNoCrtRunAtExit();
        rtNoCrtRunVoidTable(&g_apfnrtNoCrtXPA[1], g_apfnrtNoCrtXPZ);
        rtNoCrtRunVoidTable(&g_apfnrtNoCrtXTA[1], g_apfnrtNoCrtXTZ);
    }
    /* TerminateProcess returns for the calling thread only once the others
       are gone; it must not come back to the caller. */
    for (;;)
        TerminateProcess(GetCurrentProcess(), (UINT)rcExit);
}

RTDECL(int) RTNoCrtAtExit(void (*pfnCallback)(void))
{
    uint32_t const i = g_cAtExit.fetch_add(1);
    if (i >= g_cAtExitMax)
    {
        g_cAtExit.fetch_sub(1);
        return -1;
    }
    std::atomic<RTNOCRTATEXITBLOCK *> &BlockRef = g_apAtExitBlocks[i / g_cAtExitPerBlock];
    RTNOCRTATEXITBLOCK *pBlock = BlockRef.load();
    if (!pBlock)
    {
        RTNOCRTATEXITBLOCK *pNew = static_cast<RTNOCRTATEXITBLOCK *>(RTMemAllocZero(sizeof(*pNew), "atexit"));
        if (!pNew)
            return -1; /* the number stays taken; its slot stays empty */
        if (BlockRef.compare_exchange_strong(pBlock, pNew))
            pBlock = pNew;
        else
            RTMemFree(pNew);
    }
    pBlock->apfnCallbacks[i % g_cAtExitPerBlock] = pfnCallback;
    return 0;
}

RTDECL(void) RTNoCrtWriteStdErr(const char *pszText)
{
    rtNoCrtWrite(pszText, strlen(pszText));
}

RTDECL(void) RTNoCrtWriteStdErrRc(const char *pszText, int rc)
{
    char szNum[64];
    int cch = RTStrFmtU32(szNum, sizeof(szNum), (uint32_t)rc, 10, -1, -1, FMT_F_SIGNED);
    RTNoCrtWriteStdErr(pszText);
    rtNoCrtWrite(szNum, (size_t)cch);
    rtNoCrtWrite("\r\n", 2);
}

RTDECL(void) RTNoCrtWriteStdErrPair(uint32_t uValue)
{
    char szNum[64];
    int cch = RTStrFmtU32(szNum, sizeof(szNum), uValue, 10, -1, -1, 0);
    rtNoCrtWrite(szNum, (size_t)cch);
    rtNoCrtWrite(" (", 2);
    cch = RTStrFmtU32(szNum, sizeof(szNum), uValue, 16, -1, -1, FMT_F_ALT);
    rtNoCrtWrite(szNum, (size_t)cch);
    rtNoCrtWrite(")", 1);
}
