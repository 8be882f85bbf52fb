/** @file
 * Buffered output streams: the standard streams, streams opened by name,
 * the write path with LF translation and code-page conversion, and the exit
 * processing.
 */
#include "internal/stream.h"

#include <zolt/critsect.h>
#include <zolt/err.h>
#include <zolt/file.h>
#include <zolt/initterm.h>
#include <zolt/mem.h>
#include <zolt/stream.h>
#include <zolt/strformat.h>
#include <zolt/string.h>
#include <zolt/thread.h>

#include <atomic>
#include <string.h>

#include "internal/initterm.h"

#define RTSTREAM_STD_INIT(a_iStd, a_enmBufMode)                                                                        \
    {                                                                                                                  \
        RTSTREAM_MAGIC, 0, a_iStd, NIL_RTFILE, nullptr, 0, 0, 0, RTSTREAMBUFDIR_NONE, a_enmBufMode, 1, 0, nullptr,     \
            nullptr, nullptr                                                                                           \
    }

/* Constant-initialised, so usable before any initialisation code has run. */
RTSTREAMREC g_StdInRec = RTSTREAM_STD_INIT(0, RTSTRMBUFMODE_UNBUFFERED);
RTSTREAMREC g_StdOutRec = RTSTREAM_STD_INIT(1, RTSTRMBUFMODE_LINE);
RTSTREAMREC g_StdErrRec = RTSTREAM_STD_INIT(2, RTSTRMBUFMODE_UNBUFFERED);
PRTSTREAM g_pStdOut = &g_StdOutRec;
PRTSTREAM g_pStdErr = &g_StdErrRec;

namespace
{

/** Buffer size of a fully buffered stream; the others get a quarter. */
constexpr uint32_t g_cbBufFull = 65536;
constexpr uint32_t g_cbBufOther = 16384;
/** Smallest buffer tried when memory is short. */
constexpr uint32_t g_cbBufMin = 256;

/** States of the one-time set-up of the named-stream list. */
enum
{
    RTSTRMLIST_UNINIT = 0,
    RTSTRMLIST_BUSY,
    RTSTRMLIST_READY,
    RTSTRMLIST_FAILED
};

/** One-time set-up state of the list (RTSTRMLIST_*) and its status. */
std::atomic<int32_t> g_enmStrmListState{RTSTRMLIST_UNINIT};
int32_t g_rcStrmListInit = SUCCESS;
/** The list of named streams and its lock. */
RTCRITSECT g_StrmListCritSect;
RTSTREAMREC *g_pStrmListHead = nullptr;
RTSTREAMREC *g_pStrmListTail = nullptr;

bool rtStrmIsValid(PRTSTREAM pStream)
{
    return RT_VALID_PTR(pStream) && pStream->u32Magic == RTSTREAM_MAGIC;
}

int32_t rtStrmGetError(PRTSTREAM pStream)
{
    return std::atomic_ref<int32_t>(pStream->i32Error).load();
}

void rtStrmSetError(PRTSTREAM pStream, int rc)
{
    /* The first failure sticks; a later one must not overwrite it. */
    int32_t rcExpected = SUCCESS;
    std::atomic_ref<int32_t>(pStream->i32Error).compare_exchange_strong(rcExpected, rc);
}

/** Lock flags: bootstrap mode while the runtime is not (fully) initialised,
 *  since the lock validator and thread registry may not be there yet. */
uint32_t rtStrmLockFlags(void)
{
    bool const fInitDone = RTR3InitIsInitialized() && !g_frtR3Initializing;
    return RTCRITSECT_FLAGS_NO_NESTING | (fInitDone ? 0 : RTCRITSECT_FLAGS_BOOTSTRAP);
}

/** Enters the stream's lock, creating it on first use. */
int rtStrmLock(PRTSTREAM pStream)
{
    std::atomic_ref<RTCRITSECT *> LockRef(pStream->pCritSect);
    RTCRITSECT *pCritSect = LockRef.load();
    if (pCritSect)
        return RTCritSectAcquire(pCritSect);

    pCritSect = static_cast<RTCRITSECT *>(RTMemAlloc(sizeof(*pCritSect)));
    if (!pCritSect)
        return ERR_NO_MEMORY;
    int rc = RTCritSectCreateEx(pCritSect, rtStrmLockFlags(), NIL_RTLOCKVALCLASS, 0, "RTSemSpinMutex");
    if (RT_FAILURE(rc))
    {
        RTMemFree(pCritSect);
        return rc;
    }
    rc = RTCritSectAcquire(pCritSect);
    RTCRITSECT *pExpected = nullptr;
    if (RT_SUCCESS(rc) && LockRef.compare_exchange_strong(pExpected, pCritSect))
        return rc;

    /* Another thread installed its lock first: use that one. */
    if (RT_SUCCESS(rc))
        RTCritSectLeave(pCritSect);
    RTCritSectDestroy(pCritSect);
    RTMemFree(pCritSect);
    if (!pExpected)
        return rc;
    return RTCritSectAcquire(pExpected);
}

void rtStrmUnlock(PRTSTREAM pStream)
{
    RTCritSectLeave(pStream->pCritSect);
}

/**
 * Writes out the first @a cb pending bytes and moves the rest to the front.
 * A standard stream fetches its handle here the first time; one that turns
 * out not to be a console (a file or pipe) becomes fully buffered.
 */
int rtStrmFlushPending(PRTSTREAM pStream, uint32_t cb)
{
    if (pStream->hFile == NIL_RTFILE)
    {
        if (pStream->iStd < 0)
            return ERR_INVALID_HANDLE;
        RTFILE hFile;
        bool fConsole;
        int rc = rtStrmNativeGetStdHandle(pStream->iStd, &hFile, &fConsole);
        if (RT_FAILURE(rc))
            return rc;
        pStream->hFile = hFile;
        if (!fConsole)
            pStream->enmBufMode = RTSTRMBUFMODE_FULL;
    }
    if (cb)
    {
        int rc = RTFileWrite(pStream->hFile, &pStream->pchBuf[pStream->offBufFirst], cb, nullptr);
        if (RT_FAILURE(rc))
            return rc;
    }
    uint32_t const cbRest = pStream->offBufEnd - pStream->offBufFirst - cb;
    memmove(pStream->pchBuf, &pStream->pchBuf[pStream->offBufFirst + cb], cbRest);
    pStream->offBufFirst = 0;
    pStream->offBufEnd = cbRest;
    return SUCCESS;
}

int rtStrmFlushAll(PRTSTREAM pStream)
{
    return rtStrmFlushPending(pStream, pStream->offBufEnd - pStream->offBufFirst);
}

/** Appends bytes as they are, writing the buffer out whenever it fills. */
int rtStrmAppend(PRTSTREAM pStream, const char *pch, size_t cch)
{
    while (cch > 0)
    {
        if (pStream->offBufEnd == pStream->cbBufAlloc)
        {
            int rc = rtStrmFlushAll(pStream);
            if (RT_FAILURE(rc))
                return rc;
        }
        size_t cbFree = pStream->cbBufAlloc - pStream->offBufEnd;
        size_t const cbNow = cch < cbFree ? cch : cbFree;
        memcpy(&pStream->pchBuf[pStream->offBufEnd], pch, cbNow);
        pStream->offBufEnd += (uint32_t)cbNow;
        pch += cbNow;
        cch -= cbNow;
    }
    return SUCCESS;
}

/** Buffers a chunk; in text mode every LF becomes CR LF, the pair never
 *  split across two writes. */
int rtStrmBuffer(PRTSTREAM pStream, const char *pch, size_t cch)
{
    if (pStream->fBinary)
        return rtStrmAppend(pStream, pch, cch);
    while (cch > 0)
    {
        const char *pchLf = static_cast<const char *>(memchr(pch, '\n', cch));
        size_t const cchRun = pchLf ? (size_t)(pchLf - pch) : cch;
        int rc = rtStrmAppend(pStream, pch, cchRun);
        if (RT_FAILURE(rc) || !pchLf)
            return rc;
        if (pStream->cbBufAlloc - pStream->offBufEnd < 2)
        {
            rc = rtStrmFlushAll(pStream);
            if (RT_FAILURE(rc))
                return rc;
        }
        pStream->pchBuf[pStream->offBufEnd++] = '\r';
        pStream->pchBuf[pStream->offBufEnd++] = '\n';
        pch += cchRun + 1;
        cch -= cchRun + 1;
    }
    return SUCCESS;
}

/** Writes out what the buffering mode says must not wait. */
int rtStrmApplyFlushPolicy(PRTSTREAM pStream)
{
    uint32_t const cbPending = pStream->offBufEnd - pStream->offBufFirst;
    switch (pStream->enmBufMode)
    {
        case RTSTRMBUFMODE_UNBUFFERED: return rtStrmFlushAll(pStream);
        case RTSTRMBUFMODE_LINE: {
            const char *pchFirst = &pStream->pchBuf[pStream->offBufFirst];
            for (uint32_t cb = cbPending; cb > 0; cb--)
                if (pchFirst[cb - 1] == '\n')
                    return rtStrmFlushPending(pStream, cb);
            return SUCCESS;
        }
        default: return SUCCESS;
    }
}

int rtStrmAllocBuffer(PRTSTREAM pStream)
{
    for (uint32_t cb = pStream->enmBufMode == RTSTRMBUFMODE_FULL ? g_cbBufFull : g_cbBufOther; cb >= g_cbBufMin;
         cb /= 2)
    {
        pStream->pchBuf = static_cast<char *>(RTMemAlloc(cb));
        if (pStream->pchBuf)
        {
            pStream->cbBufAlloc = cb;
            return SUCCESS;
        }
    }
    return ERR_NO_MEMORY;
}

/** Writes one chunk of formatter output; called with the lock held. */
int rtStrmWriteLocked(PRTSTREAM pStream, const char *pch, size_t cch)
{
    int rc = rtStrmGetError(pStream);
    if (RT_FAILURE(rc))
        return rc;

    if (pStream->enmBufDir != RTSTREAMBUFDIR_WRITE)
    {
        pStream->enmBufDir = RTSTREAMBUFDIR_WRITE;
        pStream->offBufFirst = 0;
        pStream->offBufEnd = 0;
    }
    if (!pStream->pchBuf)
    {
        rc = rtStrmAllocBuffer(pStream);
        if (RT_FAILURE(rc))
        {
            pStream->enmBufDir = RTSTREAMBUFDIR_NONE;
            rtStrmSetError(pStream, rc);
            return rc;
        }
    }

    if (pStream->fCurrentCodeSet && !pStream->fBinary)
    {
        char *pszCopy = nullptr;
        const char *psz = pch;
        if (pch[cch - 1] != '\0')
        {
            pszCopy = RTStrDupN(pch, cch);
            psz = pszCopy;
        }
        char *pszConverted = nullptr;
        rc = psz ? RTStrToAnsiCodePage(&pszConverted, psz) : ERR_NO_STR_MEMORY;
        RTStrFree(pszCopy);
        if (RT_SUCCESS(rc))
        {
            rc = rtStrmBuffer(pStream, pszConverted, strlen(pszConverted));
            RTStrFree(pszConverted);
        }
    }
    else
        rc = rtStrmBuffer(pStream, pch, cch);

    if (RT_SUCCESS(rc))
        rc = rtStrmApplyFlushPolicy(pStream);
    /* Text that is not UTF-8 is refused, but the stream stays usable. */
    if (RT_FAILURE(rc) && rc != ERR_INVALID_UTF8_ENCODING)
        rtStrmSetError(pStream, rc);
    return rc;
}

/** Formatter output callback; the status sticks to the stream. */
size_t rtStrmOutput(void *pvArg, const char *pachChars, size_t cbChars)
{
    if (cbChars)
        (void)rtStrmWriteLocked(static_cast<PRTSTREAM>(pvArg), pachChars, cbChars);
    return cbChars;
}

/** Writes out pending output and releases buffer and lock; the stream
 *  stays usable (standard streams) or is freed by the caller. */
void rtStrmClose(PRTSTREAM pStream)
{
    if (rtStrmGetError(pStream) >= 0 && pStream->enmBufDir == RTSTREAMBUFDIR_WRITE && pStream->pchBuf)
        (void)rtStrmFlushAll(pStream); /* nobody is left to tell at exit */
    RTMemFree(pStream->pchBuf);
    pStream->pchBuf = nullptr;
    pStream->cbBufAlloc = 0;
    pStream->offBufFirst = 0;
    pStream->offBufEnd = 0;
    pStream->enmBufDir = RTSTREAMBUFDIR_NONE;
    RTCRITSECT *pCritSect = std::atomic_ref<RTCRITSECT *>(pStream->pCritSect).exchange(nullptr);
    if (pCritSect)
    {
        RTCritSectDestroy(pCritSect);
        RTMemFree(pCritSect);
    }
}

/** Sets up the list of named streams once; a failure sticks. */
int rtStrmListInitOnce(void)
{
    for (;;)
    {
        int32_t enmState = g_enmStrmListState.load();
        if (enmState == RTSTRMLIST_READY)
            return SUCCESS;
        if (enmState == RTSTRMLIST_FAILED)
            return g_rcStrmListInit;
        if (enmState == RTSTRMLIST_UNINIT && g_enmStrmListState.compare_exchange_strong(enmState, RTSTRMLIST_BUSY))
        {
            g_rcStrmListInit =
                RTCritSectCreateEx(&g_StrmListCritSect, rtStrmLockFlags(), NIL_RTLOCKVALCLASS, 0, "RTSemSpinMutex");
            g_enmStrmListState.store(RT_SUCCESS(g_rcStrmListInit) ? RTSTRMLIST_READY : RTSTRMLIST_FAILED);
            continue;
        }
        RTThreadYieldNow();
    }
}

/** Translates a mode string into file open flags. */
int rtStrmParseMode(const char *pszMode, uint64_t *pfOpen, bool *pfBinary)
{
    if (!RT_VALID_PTR(pszMode) || !*pszMode)
        return ERR_INVALID_FLAGS;
    char chAccess = '\0';
    bool fExclusive = false;
    bool fPlus = false;
    bool fInherit = true;
    *pfBinary = false;
    for (const char *psz = pszMode; *psz; psz++)
        switch (*psz)
        {
            case 'r':
            case 'w':
            case 'a': chAccess = *psz; break;
            case 'x': fExclusive = true; break;
            case '+': fPlus = true; break;
            case 'b': *pfBinary = true; break;
            case 't': *pfBinary = false; break;
            case 'N':
            case 'e': fInherit = false; break;
            case 'E': fInherit = true; break;
            default: return ERR_INVALID_FLAGS;
        }

    uint64_t fOpen;
    switch (chAccess)
    {
        case 'r': fOpen = RTFOPEN_OPEN | RTFOPEN_READ; break;
        case 'w':
            fOpen = fExclusive ? RTFOPEN_CREATE | RTFOPEN_READWRITE : RTFOPEN_CREATE_REPLACE | RTFOPEN_WRITE;
            break;
        case 'a': fOpen = RTFOPEN_OPEN_CREATE | RTFOPEN_WRITE | RTFOPEN_APPEND; break;
        default: return ERR_INVALID_FLAGS;
    }
    if (fExclusive && chAccess != 'w')
        return ERR_INVALID_FLAGS;
    if (fPlus)
        fOpen |= RTFOPEN_READWRITE;
    if (fInherit)
        fOpen |= RTFOPEN_INHERIT;
    fOpen |= RTFOPEN_DENY_NONE | ((uint64_t)0666 << RTFOPEN_CREATE_MODE_SHIFT);
    *pfOpen = fOpen;
    return SUCCESS;
}

/** Closes the streams at process exit. A static object's destructor is
 *  the one exit hook every start-up runs: the runtime's own (through its
 *  at-exit table), the C runtime's and the POSIX host's. Being registered
 *  during static initialisation, it runs after every later registration. */
struct RTSTRMEXIT
{
    ~RTSTRMEXIT()
    {
        rtStrmTerm();
    }
} g_StrmExit;

} // namespace

void rtStrmTerm(void)
{
    rtStrmClose(&g_StdOutRec);
    rtStrmClose(&g_StdErrRec);
    rtStrmClose(&g_StdInRec);
    /* The standard handles belong to the process; they are never closed. */
    g_StdOutRec.hFile = NIL_RTFILE;
    g_StdErrRec.hFile = NIL_RTFILE;
    g_StdInRec.hFile = NIL_RTFILE;

    if (g_enmStrmListState.load() != RTSTRMLIST_READY)
        return;
    RTCritSectDestroy(&g_StrmListCritSect);
    while (RTSTREAMREC *pStream = g_pStrmListHead)
    {
        g_pStrmListHead = pStream->pNext;
        /* An application's console stream is usually also its current
           output; whatever prints after this must not reach a freed record. */
        if (g_pStdOut == pStream)
            g_pStdOut = &g_StdOutRec;
        if (g_pStdErr == pStream)
            g_pStdErr = &g_StdErrRec;
        pStream->u32Magic = RTSTREAM_MAGIC_DEAD;
        rtStrmClose(pStream);
        RTFileClose(pStream->hFile);
        RTMemFree(pStream);
    }
    g_pStrmListTail = nullptr;
    g_enmStrmListState.store(RTSTRMLIST_UNINIT);
}

RTDECL(int) RTStreamOpen(const char *pszFilename, const char *pszMode, PRTSTREAM *ppStream)
{
    if (!RT_VALID_PTR(ppStream))
        return ERR_INVALID_PARAMETER;
    *ppStream = nullptr;
    if (!RT_VALID_PTR(pszFilename))
        return ERR_INVALID_PARAMETER;
    uint64_t fOpen;
    bool fBinary;
    int rc = rtStrmParseMode(pszMode, &fOpen, &fBinary);
    if (RT_FAILURE(rc))
        return rc;
    rc = rtStrmListInitOnce();
    if (RT_FAILURE(rc))
        return rc;

    RTSTREAMREC *pStream = static_cast<RTSTREAMREC *>(RTMemAllocZero(sizeof(*pStream)));
    if (!pStream)
        return ERR_NO_MEMORY;
    pStream->u32Magic = RTSTREAM_MAGIC;
    pStream->iStd = -1;
    pStream->enmBufMode = RTSTRMBUFMODE_FULL;
    pStream->fBinary = fBinary;
    rc = RTFileOpenEx(pszFilename, fOpen, &pStream->hFile, nullptr);
    if (RT_FAILURE(rc))
    {
        RTMemFree(pStream);
        return rc;
    }

    (void)RTCritSectAcquire(&g_StrmListCritSect);
    pStream->pPrev = g_pStrmListTail;
    if (g_pStrmListTail)
        g_pStrmListTail->pNext = pStream;
    else
        g_pStrmListHead = pStream;
    g_pStrmListTail = pStream;
    RTCritSectLeave(&g_StrmListCritSect);

    *ppStream = pStream;
    return SUCCESS;
}

RTDECL(int) RTStreamSetBufferMode(PRTSTREAM pStream, int enmMode)
{
    if (!rtStrmIsValid(pStream))
        return ERR_INVALID_HANDLE;
    if (enmMode < RTSTRMBUFMODE_FULL || enmMode > RTSTRMBUFMODE_UNBUFFERED)
        return ERR_INVALID_PARAMETER;
    int rc = rtStrmLock(pStream);
    if (RT_FAILURE(rc))
        return rc;
    pStream->enmBufMode = enmMode;
    rtStrmUnlock(pStream);
    return SUCCESS;
}

RTDECL(int) RTStreamPrintfV(PRTSTREAM pStream, const char *pszFormat, va_list Args)
{
    if (!rtStrmIsValid(pStream))
        return ERR_INVALID_PARAMETER;
    if (rtStrmGetError(pStream) < 0)
        return -1;
    int rc = rtStrmLock(pStream);
    if (RT_FAILURE(rc))
        return rc;
    size_t const cch = RTStrFmtV(rtStrmOutput, pStream, nullptr, nullptr, pszFormat, Args);
    rtStrmUnlock(pStream);
    return (int)cch;
}

RTDECL(int) RTStreamPrintf(PRTSTREAM pStream, const char *pszFormat, ...)
{
    va_list Args;
    va_start(Args, pszFormat);
    int rc = RTStreamPrintfV(pStream, pszFormat, Args);
    va_end(Args);
    return rc;
}

RTDECL(int) RTPrintf(const char *pszFormat, ...)
{
    va_list Args;
    va_start(Args, pszFormat);
    int rc = RTStreamPrintfV(g_pStdOut, pszFormat, Args);
    va_end(Args);
    return rc;
}
