/** @file
 * Formatted output into caller buffers (the formatter writes in place) and
 * new heap strings (an output callback of the formatter).
 */
#include <zolt/mem.h>
#include <zolt/strformat.h>

#include <limits.h>
#include <string.h>

#include "internal/strformat.h"

/*
 * RTStrPrintf: silent truncation.
 */

/** The arguments from @a pArgs into a caller's buffer, silently cut. */
static size_t rtStrPrintfArgs(char *pszBuffer, size_t cbBuffer, const char *pszFormat, va_list *pArgs)
{
    if (!cbBuffer)
        return 0;
    RTSTRFMTBUF Buf = {pszBuffer, pszBuffer + cbBuffer - 1, 0};
    rtStrFmtToBuf(&Buf, pszFormat, pArgs);
    return (size_t)(Buf.pchCur - pszBuffer);
}

RTDECL(size_t) RTStrPrintfV(char *pszBuffer, size_t cbBuffer, const char *pszFormat, va_list Args)
{
    /* A va_list parameter may be an array type that decayed to a pointer:
       the walk gets a copy whose address is a true va_list pointer. */
    va_list ArgsCopy;
    va_copy(ArgsCopy, Args);
    size_t cch = rtStrPrintfArgs(pszBuffer, cbBuffer, pszFormat, &ArgsCopy);
    va_end(ArgsCopy);
    return cch;
}

RTDECL(size_t) RTStrPrintf(char *pszBuffer, size_t cbBuffer, const char *pszFormat, ...)
{
    va_list Args;
    va_start(Args, pszFormat);
    size_t cch = rtStrPrintfArgs(pszBuffer, cbBuffer, pszFormat, &Args);
    va_end(Args);
    return cch;
}

/*
 * RTStrPrintfChecked: truncation reported.
 */

/** The arguments from @a pArgs into a caller's buffer, a cut reported. */
static ptrdiff_t rtStrPrintfCheckedArgs(char *pszBuffer, size_t cbBuffer, const char *pszFormat, va_list *pArgs)
{
    /* A buffer of size 0 stores nothing, not even the terminator: the text
       is measured in a byte of our own, and always overflows. */
    char chNone;
    RTSTRFMTBUF Buf = {cbBuffer ? pszBuffer : &chNone, cbBuffer ? pszBuffer + cbBuffer - 1 : &chNone, 0};
    rtStrFmtToBuf(&Buf, pszFormat, pArgs);
    bool fOverflow = !cbBuffer || Buf.cchTotal > cbBuffer - 1;
    return fOverflow ? ~(ptrdiff_t)Buf.cchTotal : (ptrdiff_t)Buf.cchTotal;
}

RTDECL(ptrdiff_t) RTStrPrintfCheckedV(char *pszBuffer, size_t cbBuffer, const char *pszFormat, va_list Args)
{
    va_list ArgsCopy;
    va_copy(ArgsCopy, Args);
    ptrdiff_t cch = rtStrPrintfCheckedArgs(pszBuffer, cbBuffer, pszFormat, &ArgsCopy);
    va_end(ArgsCopy);
    return cch;
}

RTDECL(ptrdiff_t) RTStrPrintfChecked(char *pszBuffer, size_t cbBuffer, const char *pszFormat, ...)
{
    va_list Args;
    va_start(Args, pszFormat);
    ptrdiff_t cch = rtStrPrintfCheckedArgs(pszBuffer, cbBuffer, pszFormat, &Args);
    va_end(Args);
    return cch;
}

/*
 * RTStrAPrintfV: a new heap string of the right size.
 */

/** The text starts in a buffer of this size on the caller's stack. */
#define RTSTRAPRINTF_STACK_BUF 2048
/** Growth steps double the capacity up to this step size... */
#define RTSTRAPRINTF_STEP_MAX (UINT32_C(1) << 20)
/** ...while a piece larger than the step grows it by the piece's length
 *  rounded up to this... */
#define RTSTRAPRINTF_STEP_ALIGN 4096
/** ...up to this; a larger step fails. */
#define RTSTRAPRINTF_STEP_LIMIT (UINT32_C(1) << 30)

struct RTSTRAPRINTFSINK
{
    char *pszBuf;   /**< achStack or the heap block */
    size_t offCur;  /**< length of the text so far */
    size_t cchFree; /**< bytes free, the terminator's excluded */
    size_t cbCapacity;
    bool fHeap;
    bool fFailed; /**< a growth failed: drop everything */
    const char *pszTag;
    char achStack[RTSTRAPRINTF_STACK_BUF];
};

/** Makes room for @a cbPiece more bytes. @returns false on failure. */
static bool rtStrAPrintfGrow(RTSTRAPRINTFSINK *pSink, size_t cbPiece)
{
    size_t cbStep = pSink->cbCapacity < RTSTRAPRINTF_STEP_MAX ? pSink->cbCapacity : RTSTRAPRINTF_STEP_MAX;
    if (cbPiece >= cbStep)
    {
        if (cbPiece > RTSTRAPRINTF_STEP_LIMIT)
            return false;
        cbStep = (cbPiece + RTSTRAPRINTF_STEP_ALIGN - 1) & ~(size_t)(RTSTRAPRINTF_STEP_ALIGN - 1);
        if (cbStep > RTSTRAPRINTF_STEP_LIMIT)
            return false;
    }
    if (pSink->cbCapacity > SIZE_MAX - cbStep)
        return false;
    size_t cbNew = pSink->cbCapacity + cbStep;

    char *pszNew;
    if (pSink->fHeap)
        pszNew = (char *)RTMemRealloc(pSink->pszBuf, cbNew, pSink->pszTag);
    else
    {
        pszNew = (char *)RTMemAlloc(cbNew, pSink->pszTag);
        if (pszNew)
            memcpy(pszNew, pSink->pszBuf, pSink->offCur + 1);
    }
    if (!pszNew)
        return false;
    pSink->pszBuf = pszNew;
    pSink->fHeap = true;
    pSink->cbCapacity = cbNew;
    pSink->cchFree += cbStep;
    return true;
}

static size_t rtStrAPrintfOutput(void *pvArg, const char *pachChars, size_t cbChars)
{
    RTSTRAPRINTFSINK *pSink = (RTSTRAPRINTFSINK *)pvArg;
    if (pSink->fFailed)
        return 0;
    if (cbChars > pSink->cchFree && !rtStrAPrintfGrow(pSink, cbChars))
    {
        pSink->fFailed = true;
        return 0;
    }
    rtStrFmtCopy(&pSink->pszBuf[pSink->offCur], pachChars, cbChars);
    pSink->offCur += cbChars;
    pSink->cchFree -= cbChars;
    pSink->pszBuf[pSink->offCur] = '\0';
    return cbChars;
}

RTDECL(int) RTStrAPrintfV(char **ppszBuffer, const char *pszFormat, va_list Args, const char *pszTag)
{
    RTSTRAPRINTFSINK Sink;
    Sink.pszBuf = Sink.achStack;
    Sink.offCur = 0;
    Sink.cchFree = sizeof(Sink.achStack) - 1;
    Sink.cbCapacity = sizeof(Sink.achStack);
    Sink.fHeap = false;
    Sink.fFailed = false;
    Sink.pszTag = pszTag;
    Sink.achStack[0] = '\0';
    RTStrFmtV(rtStrAPrintfOutput, &Sink, nullptr, nullptr, pszFormat, Args);

    char *psz = nullptr;
    if (!Sink.fFailed && Sink.offCur <= INT_MAX)
    {
        if (Sink.fHeap)
        {
            /* Give back the slack; a failed shrink keeps the larger block. */
            psz = (char *)RTMemRealloc(Sink.pszBuf, Sink.offCur + 1, pszTag);
            if (!psz)
                psz = Sink.pszBuf;
        }
        else
        {
            psz = (char *)RTMemAlloc(Sink.offCur + 1, pszTag);
            if (psz)
                memcpy(psz, Sink.achStack, Sink.offCur + 1);
        }
    }
    else if (Sink.fHeap)
        RTMemFree(Sink.pszBuf);

    *ppszBuffer = psz;
    return psz ? (int)Sink.offCur : -1;
}

RTDECL(int) RTStrAPrintfTag(char **ppszBuffer, const char *pszTag, const char *pszFormat, ...)
{
    va_list Args;
    va_start(Args, pszFormat);
    int cch = RTStrAPrintfV(ppszBuffer, pszFormat, Args, pszTag);
    va_end(Args);
    return cch;
}
