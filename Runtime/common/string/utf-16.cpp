/** @file
 * UTF-16: lengths, conversion to UTF-8, reading code points, and buffers.
 */
#include <zolt/err.h>
#include <zolt/mem.h>
#include <zolt/string.h>
#include <zolt/utf16.h>

#include <string.h>

#include "internal/utf8.h"

/** @returns the unit at @a pwc in host order, swapping big-endian input. */
static inline RTUNICP rtUtf16Unit(const RTUTF16 *pwc, bool fBigEndian)
{
    RTUNICP const wc = *pwc;
    return fBigEndian ? ((wc >> 8) | (wc << 8)) & 0xFFFF : wc;
}

/**
 * Decodes the code point at @a pwc, of which at most @a cwcAvail units
 * (at least 1) may be read. A zero unit is read like any other, so a high
 * surrogate before the terminator is lone.
 * @returns 0 with *pCp and *pcwcSeq (1 or 2) set;
 *          ERR_INVALID_UTF16_ENCODING for a lone surrogate;
 *          ERR_INVALID_CODE_POINT for U+FFFE and U+FFFF.
 */
static inline int rtUtf16DecodeCp(const RTUTF16 *pwc, size_t cwcAvail, bool fBigEndian, RTUNICP *pCp, size_t *pcwcSeq)
{
    RTUNICP const wc = rtUtf16Unit(pwc, fBigEndian);
    if (wc - 0xD800 >= 0x800)
    {
        if (wc >= 0xFFFE)
            return ERR_INVALID_CODE_POINT;
        *pCp = wc;
        *pcwcSeq = 1;
        return SUCCESS;
    }
    if (wc < 0xDC00 && cwcAvail > 1)
    {
        RTUNICP const wcLow = rtUtf16Unit(pwc + 1, fBigEndian);
        if (wcLow - 0xDC00 < 0x400)
        {
            *pCp = 0x10000 + (((wc & 0x3FF) << 10) | (wcLow & 0x3FF));
            *pcwcSeq = 2;
            return SUCCESS;
        }
    }
    return ERR_INVALID_UTF16_ENCODING;
}

/** @returns the UTF-8 length of the valid code point @a uCp. */
static inline size_t rtUtf16CpUtf8Length(RTUNICP uCp)
{
    return uCp < 0x80 ? 1 : uCp < 0x800 ? 2 : uCp < 0x10000 ? 3 : 4;
}

/**
 * Validates and measures @a pwsz up to its zero unit or @a cwcMax units.
 * @returns 0 with *pcwcSrc (units read) and *pcch (UTF-8 bytes) set, or the
 *          status of the first malformed unit.
 */
static int rtUtf16Measure(const RTUTF16 *pwsz, size_t cwcMax, size_t *pcwcSrc, size_t *pcch)
{
    size_t cch = 0;
    size_t iwc = 0;
    while (iwc < cwcMax && pwsz[iwc])
    {
        RTUNICP uCp;
        size_t cwcSeq;
        int const rc = rtUtf16DecodeCp(&pwsz[iwc], cwcMax - iwc, false /*fBigEndian*/, &uCp, &cwcSeq);
        if (RT_FAILURE(rc))
            return rc;
        iwc += cwcSeq;
        cch += rtUtf16CpUtf8Length(uCp);
    }
    *pcwcSrc = iwc;
    *pcch = cch;
    return SUCCESS;
}

RTDECL(size_t) RTUtf16Length(const RTUTF16 *pwsz)
{
    if (!pwsz)
        return 0;
    const RTUTF16 *pwc = pwsz;
    while (*pwc)
        pwc++;
    return (size_t)(pwc - pwsz);
}

RTDECL(int) RTUtf16CountUtf8Bytes(const RTUTF16 *pwsz, size_t cwcMax, size_t *pcch)
{
    size_t cwcSrc;
    size_t cch;
    int const rc = rtUtf16Measure(pwsz, cwcMax, &cwcSrc, &cch);
    if (pcch)
        *pcch = RT_SUCCESS(rc) ? cch : RTSTR_MAX;
    return rc;
}

RTDECL(int)
RTUtf16ToUtf8Ex(const RTUTF16 *pwszString, size_t cwcString, char **ppsz, size_t cch, size_t *pcch, const char *pszTag)
{
    size_t cwcSrc;
    size_t cchResult;
    int rc = rtUtf16Measure(pwszString, cwcString, &cwcSrc, &cchResult);
    if (RT_FAILURE(rc))
        return rc;
    char *pszBuf;
    rc = rtUniPickTarget(cchResult, ppsz, cch, pcch, ERR_NO_STR_MEMORY, pszTag, &pszBuf);
    if (RT_FAILURE(rc))
        return rc;
    char *pch = pszBuf;
    for (size_t iwc = 0; iwc < cwcSrc;)
    {
        RTUTF16 const wc = pwszString[iwc];
        if (wc < 0x80)
        {
            *pch++ = (char)wc;
            iwc++;
            continue;
        }
        RTUNICP uCp = 0;
        size_t cwcSeq = 1;
        (void)rtUtf16DecodeCp(&pwszString[iwc], cwcSrc - iwc, false /*fBigEndian*/, &uCp, &cwcSeq); /* measured */
        pch = RTStrWriteCp(pch, uCp);
        iwc += cwcSeq;
    }
    *pch = '\0';
    *ppsz = pszBuf;
    return SUCCESS;
}

/** RTUtf16ReadCp and RTUtf16BigReadCp. */
static int rtUtf16ReadCp(const RTUTF16 **ppwsz, RTUNICP *pCp, bool fBigEndian)
{
    size_t cwcSeq;
    /* A unit that is not a high surrogate never looks past itself, and the
       one after a high surrogate is at worst the terminator. */
    int const rc = rtUtf16DecodeCp(*ppwsz, RTSTR_MAX, fBigEndian, pCp, &cwcSeq);
    if (RT_FAILURE(rc))
    {
        *pCp = RTUNICP_INVALID;
        cwcSeq = 1;
    }
    *ppwsz += cwcSeq;
    return rc;
}

RTDECL(int) RTUtf16ReadCp(const RTUTF16 **ppwsz, RTUNICP *pCp)
{
    return rtUtf16ReadCp(ppwsz, pCp, false /*fBigEndian*/);
}

RTDECL(int) RTUtf16BigReadCp(const RTUTF16 **ppwsz, RTUNICP *pCp)
{
    return rtUtf16ReadCp(ppwsz, pCp, true /*fBigEndian*/);
}

/*
 * Buffers.
 */

/** Rounds @a cb up to an even number of bytes. @returns false if that does
 *  not fit in a size_t. */
static inline bool rtUtf16RoundSize(size_t cb, size_t *pcbRounded)
{
    if (cb > RTSTR_MAX - 1)
        return false;
    *pcbRounded = (cb + 1) & ~(size_t)1;
    return true;
}

RTDECL(RTUTF16 *) RTUtf16Alloc(size_t cb, const char *pszTag)
{
    if (!rtUtf16RoundSize(cb < 2 ? 2 : cb, &cb))
        return nullptr;
    RTUTF16 *pwsz = (RTUTF16 *)RTMemAlloc(cb, pszTag);
    if (pwsz)
        *pwsz = 0;
    return pwsz;
}

RTDECL(RTUTF16 *) RTUtf16Dup(const RTUTF16 *pwsz, const char *pszTag)
{
    size_t const cb = (RTUtf16Length(pwsz) + 1) * sizeof(RTUTF16);
    RTUTF16 *pwszCopy = (RTUTF16 *)RTMemAlloc(cb, pszTag);
    if (pwszCopy)
        memcpy(pwszCopy, pwsz, cb);
    return pwszCopy;
}

RTDECL(int) RTUtf16Realloc(RTUTF16 **ppwsz, size_t cbNew, const char *pszTag)
{
    RTUTF16 *pwszOld = *ppwsz;
    if (!cbNew)
    {
        RTMemFree(pwszOld);
        *ppwsz = nullptr;
        return SUCCESS;
    }
    /* A failed resize leaves the old block as it was and names the string
       that could not grow; a fresh block that cannot be had is a UTF-16
       allocation failure. */
    int const rcNoMemory = pwszOld ? ERR_NO_STR_MEMORY : ERR_NO_UTF16_MEMORY;
    size_t cb;
    if (!rtUtf16RoundSize(cbNew, &cb))
        return rcNoMemory;
    RTUTF16 *pwszNew = (RTUTF16 *)RTMemRealloc(pwszOld, cb, pszTag);
    if (!pwszNew)
        return rcNoMemory;
    if (!pwszOld)
        pwszNew[0] = 0;
    pwszNew[cb / sizeof(RTUTF16) - 1] = 0;
    *ppwsz = pwszNew;
    return SUCCESS;
}
