/** @file
 * Status names and messages: the status table lookup, the packed text
 * expansion, and the renderers behind "%Rr" and "%Rw".
 */
#include <zolt/err.h>
#include <zolt/strformat.h>
#include <zolt/string.h>

#include <string.h>

#include "internal/errtable.h"
#include "internal/strformat.h"

/** A dictionary entry above this names a word rather than the byte itself. */
#define RTERR_DICT_WORD_MIN 0x800000u
/** With fewer dictionary entries than this, byte 255 escapes a literal. */
#define RTERR_DICT_FULL 256u
#define RTERR_DICT_ESCAPE 0xffu

int rtErrFindIn(const RTErrStatusEntry *paEntries, uint32_t cEntries, int rc)
{
    if (rc < INT16_MIN || rc > INT16_MAX || cEntries == 0)
        return -1;
    uint32_t iLow = 0;
    uint32_t iHigh = cEntries;
    for (;;)
    {
        uint32_t i = iLow + (iHigh - iLow) / 2;
        int iCode = rtErrEntryCode(paEntries[i]);
        if (rc < iCode)
        {
            if (iLow == i)
                return -1;
            iHigh = i;
        }
        else if (rc > iCode)
        {
            iLow = i + 1;
            if (iLow >= iHigh)
                return -1;
        }
        else
            return (int)i;
    }
}

RTDECL(int) RTErrFind(int rc)
{
    return rtErrFindIn(g_aRTErrStatusEntries, g_cRTErrStatusEntries, rc);
}

size_t rtErrExpandPacked(const RTErrPackedText *pStore, uint32_t off, uint32_t cb, PFNFMTOUTPUT pfnOutput,
                         void *pvArgOutput)
{
    if (off > pStore->cbText || cb > pStore->cbText - off || cb == 0)
        return 0;
    const uint8_t *pb = &pStore->pabText[off];
    if (pStore->cDict == 0)
        return pfnOutput(pvArgOutput, (const char *)pb, cb);

    /* Words and bytes are collected and passed on in large pieces: a name
       would otherwise take one output call per packed byte. */
    RTSTRFMTSINK Sink(pfnOutput, pvArgOutput);
    uint32_t i = 0;
    while (i < cb)
    {
        uint8_t b = pb[i++];
        if (b == RTERR_DICT_ESCAPE && pStore->cDict < RTERR_DICT_FULL)
        {
            /* A literal: one ASCII byte, or one whole UTF-8 character. */
            if (i >= cb)
                break;
            const char *pszCp = (const char *)&pb[i];
            size_t cchLeft = cb - i;
            RTUNICP uCp;
            if (RT_SUCCESS(RTStrReadCpN(&pszCp, &cchLeft, &uCp)))
            {
                Sink.put((const char *)&pb[i], (size_t)(cb - i - cchLeft));
                i = cb - (uint32_t)cchLeft;
            }
            else
            {
                Sink.put('?');
                i++;
            }
            continue;
        }
        uint32_t uEntry = b < pStore->cDict ? pStore->pauDict[b] : b;
        if (uEntry >= RTERR_DICT_WORD_MIN)
        {
            uint32_t offWord = uEntry & 0x3fffff;
            uint32_t cchWord = uEntry >> 22;
            if (offWord > pStore->cbText || cchWord > pStore->cbText - offWord)
                break;
            Sink.put((const char *)&pStore->pabText[offWord], cchWord);
        }
        else
            Sink.put((char)b);
    }
    return Sink.done();
}

/** Outputs a 32-bit number rendered into the caller's work buffer; a buffer
 *  too small for it gives as much of the number as fits. */
static size_t rtErrFmtU32(uint32_t uValue, unsigned uBase, unsigned fFlags, PFNFMTOUTPUT pfnOutput, void *pvArgOutput,
                          char *pszBuf, size_t cbBuf)
{
    int cch = RTStrFmtU32(pszBuf, cbBuf, uValue, uBase, -1, -1, fFlags);
    size_t cchOut = cch >= 0 ? (size_t)cch : cbBuf ? cbBuf - 1 : 0;
    return cchOut ? pfnOutput(pvArgOutput, pszBuf, cchOut) : 0;
}

/** Outputs a constant text as one piece. */
#define RTERR_OUT_LITERAL(a_sz) pfnOutput(pvArgOutput, a_sz, sizeof(a_sz) - 1)

RTDECL(size_t) RTErrFmtUnknown(int rc, PFNFMTOUTPUT pfnOutput, void *pvArgOutput, char *pszBuf, size_t cbBuf)
{
    size_t cch = RTERR_OUT_LITERAL("Unknown Status ");
    cch += rtErrFmtU32((uint32_t)rc, 10, FMT_F_SIGNED, pfnOutput, pvArgOutput, pszBuf, cbBuf);
    cch += RTERR_OUT_LITERAL(" (");
    cch += rtErrFmtU32((uint32_t)rc, 16, FMT_F_ALT, pfnOutput, pvArgOutput, pszBuf, cbBuf);
    cch += RTERR_OUT_LITERAL(")");
    return cch;
}

size_t rtErrFindName(int rc, const char **ppchName)
{
    int i = RTErrFind(rc);
    if (i < 0)
        return 0;
    *ppchName = &g_achRTErrNames[g_aRTErrNames[i].offName];
    return g_aRTErrNames[i].cchName;
}

RTDECL(size_t) RTErrFmtName(int rc, PFNFMTOUTPUT pfnOutput, void *pvArgOutput, char *pszBuf, size_t cbBuf)
{
    /* The names are kept as plain text too, so a name is one copy rather
       than an expansion of its packed form. */
    const char *pchName;
    size_t cchName = rtErrFindName(rc, &pchName);
    if (!cchName)
        return rtErrFmtU32((uint32_t)rc, 10, FMT_F_SIGNED, pfnOutput, pvArgOutput, pszBuf, cbBuf);
    return pfnOutput(pvArgOutput, pchName, cchName);
}

RTDECL(size_t) RTErrFmtMsg(int rc, PFNFMTOUTPUT pfnOutput, void *pvArgOutput, char *pszBuf, size_t cbBuf)
{
    int i = RTErrFind(rc);
    if (i < 0)
        return RTErrFmtUnknown(rc, pfnOutput, pvArgOutput, pszBuf, cbBuf);
    RTErrStatusEntry uEntry = g_aRTErrStatusEntries[i];
    return rtErrExpandPacked(&g_RTErrPackedText, rtErrEntryMsgOff(uEntry), rtErrEntryMsgLen(uEntry), pfnOutput,
                             pvArgOutput);
}

RTDECL(size_t) RTErrFmtAll(int rc, PFNFMTOUTPUT pfnOutput, void *pvArgOutput, char *pszBuf, size_t cbBuf)
{
    int i = RTErrFind(rc);
    if (i < 0)
        return RTErrFmtUnknown(rc, pfnOutput, pvArgOutput, pszBuf, cbBuf);
    RTErrStatusEntry uEntry = g_aRTErrStatusEntries[i];
    size_t cch = pfnOutput(pvArgOutput, &g_achRTErrNames[g_aRTErrNames[i].offName], g_aRTErrNames[i].cchName);
    cch += RTERR_OUT_LITERAL(" (");
    cch += rtErrFmtU32((uint32_t)rc, 10, FMT_F_SIGNED, pfnOutput, pvArgOutput, pszBuf, cbBuf);
    cch += RTERR_OUT_LITERAL(") - ");
    cch += rtErrExpandPacked(&g_RTErrPackedText, rtErrEntryMsgOff(uEntry), rtErrEntryMsgLen(uEntry), pfnOutput,
                             pvArgOutput);
    return cch;
}

/*
 * Windows error codes. The table names only the codes this system shows by
 * name; everything else is shown as a number.
 */

/** One Windows error code; offsets and lengths index g_szRtErrWinText. */
typedef struct RTERRWINENTRY
{
    int16_t iCode;
    uint8_t offName;
    uint8_t cchName;
    uint8_t offMsg;
    uint8_t cchMsg;
} RTERRWINENTRY;

static const char g_szRtErrWinText[] = "ERROR_SUCCESS";
static const RTERRWINENTRY g_aRtErrWinEntries[] = {
    {0, 0, 13, 0, 13},
};

/** Binary search of the Windows error table. */
static const RTERRWINENTRY *rtErrWinFindCode(uint32_t uCode)
{
    size_t iLow = 0;
    size_t iHigh = RT_ELEMENTS(g_aRtErrWinEntries);
    while (iLow < iHigh)
    {
        size_t i = iLow + (iHigh - iLow) / 2;
        int32_t iCode = g_aRtErrWinEntries[i].iCode;
        if ((int32_t)uCode < iCode)
            iHigh = i;
        else if ((int32_t)uCode > iCode)
            iLow = i + 1;
        else
            return &g_aRtErrWinEntries[i];
    }
    return nullptr;
}

/** HRESULT_FROM_WIN32 values: facility 7 (bits 16-28) wrapping a code. */
static bool rtErrWinIsWrapped(uint32_t uCode)
{
    return (uCode & 0x1fff0000u) == 0x00070000u;
}

/**
 * Finds a Windows error code, or the code an HRESULT wraps.
 * @param pfWrapped set when the entry was found through the HRESULT.
 */
static const RTERRWINENTRY *rtErrWinFind(uint32_t uCode, bool *pfWrapped)
{
    *pfWrapped = false;
    if (uCode <= (uint32_t)INT16_MAX || uCode >= (uint32_t)INT16_MIN)
    {
        const RTERRWINENTRY *pEntry = rtErrWinFindCode(uCode);
        if (pEntry)
            return pEntry;
    }
    if (rtErrWinIsWrapped(uCode))
    {
        *pfWrapped = true;
        return rtErrWinFindCode(uCode & 0xffff);
    }
    return nullptr;
}

RTDECL(size_t) RTErrWinFmtName(uint32_t uCode, PFNFMTOUTPUT pfnOutput, void *pvArgOutput, char *pszBuf, size_t cbBuf)
{
    bool fWrapped;
    const RTERRWINENTRY *pEntry = rtErrWinFind(uCode, &fWrapped);
    size_t cch = 0;
    if (pEntry)
    {
        cch += pfnOutput(pvArgOutput, &g_szRtErrWinText[pEntry->offName], pEntry->cchName);
        if (!fWrapped)
            return cch;
        cch += RTERR_OUT_LITERAL("/");
    }
    return cch + rtErrFmtU32(uCode, 16, FMT_F_ALT, pfnOutput, pvArgOutput, pszBuf, cbBuf);
}

RTDECL(size_t) RTErrWinFmtAll(uint32_t uCode, PFNFMTOUTPUT pfnOutput, void *pvArgOutput, char *pszBuf, size_t cbBuf)
{
    bool fWrapped;
    const RTERRWINENTRY *pEntry = rtErrWinFind(uCode, &fWrapped);
    if (!pEntry)
        return RTERR_OUT_LITERAL("Unknown Status ") +
               rtErrFmtU32(uCode, 16, FMT_F_ALT, pfnOutput, pvArgOutput, pszBuf, cbBuf);
    size_t cch = pfnOutput(pvArgOutput, &g_szRtErrWinText[pEntry->offName], pEntry->cchName);
    cch += RTERR_OUT_LITERAL(" (");
    cch += rtErrFmtU32(uCode, 16, FMT_F_ALT, pfnOutput, pvArgOutput, pszBuf, cbBuf);
    cch += RTERR_OUT_LITERAL(")");
    return cch;
}

size_t rtStrFmtExtStatus(PFNFMTOUTPUT pfnOutput, void *pvArgOutput, const char **ppszFormat, va_list *pArgs,
                         int cchWidth, int cchPrecision, unsigned fFlags, char chArgSize)
{
    (void)cchWidth, (void)cchPrecision, (void)fFlags, (void)chArgSize; /* the texts are fixed */
    const char *psz = *ppszFormat;
    char chFamily = psz[0];
    char chLetter = psz[1];
    if (chLetter == '\0')
    {
        *ppszFormat = psz + 1;
        return 0;
    }
    *ppszFormat = psz + 2;

    char szBuf[80];
    if (chFamily == 'r')
    {
        int rc = va_arg(*pArgs, int);
        switch (chLetter)
        {
            case 'c': return RTErrFmtName(rc, pfnOutput, pvArgOutput, szBuf, sizeof(szBuf));
            case 's':
            case 'f': return RTErrFmtMsg(rc, pfnOutput, pvArgOutput, szBuf, sizeof(szBuf));
            case 'a': return RTErrFmtAll(rc, pfnOutput, pvArgOutput, szBuf, sizeof(szBuf));
            default: return 0;
        }
    }
    uint32_t uCode = va_arg(*pArgs, uint32_t);
    switch (chLetter)
    {
        case 'c':
        case 'f': return RTErrWinFmtName(uCode, pfnOutput, pvArgOutput, szBuf, sizeof(szBuf));
        case 'a': return RTErrWinFmtAll(uCode, pfnOutput, pvArgOutput, szBuf, sizeof(szBuf));
        default: return 0;
    }
}
