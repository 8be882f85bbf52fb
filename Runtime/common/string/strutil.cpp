/** @file
 * Bounded copy and append into caller buffers, searching and comparing.
 */
#include <zolt/err.h>
#include <zolt/string.h>

#include <string.h>

RTDECL(char *) RTStrFindEnd(const char *psz, size_t cchMax)
{
    /* memchr stops at the first match, so it never reads beyond the NUL
       even when cchMax is RTSTR_MAX. */
    return (char *)memchr(psz, '\0', cchMax);
}

RTDECL(size_t) RTStrNLen(const char *psz, size_t cchMax)
{
    const char *pszEnd = RTStrFindEnd(psz, cchMax);
    return pszEnd ? (size_t)(pszEnd - psz) : cchMax;
}

/** Stores @a cchSrc bytes of @a pszSrc, truncated to the buffer, and a NUL. */
static int rtStrCopyLen(char *pszDst, size_t cbDst, const char *pszSrc, size_t cchSrc)
{
    if (cchSrc < cbDst)
    {
        memcpy(pszDst, pszSrc, cchSrc);
        pszDst[cchSrc] = '\0';
        return SUCCESS;
    }
    if (cbDst > 0)
    {
        memcpy(pszDst, pszSrc, cbDst - 1);
        pszDst[cbDst - 1] = '\0';
    }
    return ERR_BUFFER_OVERFLOW;
}

RTDECL(int) RTStrCopy(char *pszDst, size_t cbDst, const char *pszSrc)
{
    return rtStrCopyLen(pszDst, cbDst, pszSrc, strlen(pszSrc));
}

RTDECL(int) RTStrCopyEx(char *pszDst, size_t cbDst, const char *pszSrc, size_t cchSrcMax)
{
    return rtStrCopyLen(pszDst, cbDst, pszSrc, RTStrNLen(pszSrc, cchSrcMax));
}

RTDECL(int) RTStrCat(char *pszDst, size_t cbDst, const char *pszSrc)
{
    char *pszEnd = RTStrFindEnd(pszDst, cbDst);
    if (!pszEnd)
        return ERR_INVALID_PARAMETER;
    return RTStrCopy(pszEnd, cbDst - (size_t)(pszEnd - pszDst), pszSrc);
}

RTDECL(char *) RTStrStripLeft(const char *psz)
{
    while (*psz == ' ' || (*psz >= '\t' && *psz <= '\r'))
        psz++;
    return (char *)psz;
}

RTDECL(int) RTStrCmp(const char *psz1, const char *psz2)
{
    if (psz1 == psz2)
        return 0;
    if (!psz1)
        return -1;
    if (!psz2)
        return 1;
    const unsigned char *pb1 = (const unsigned char *)psz1;
    const unsigned char *pb2 = (const unsigned char *)psz2;
    while (*pb1 == *pb2 && *pb1)
        pb1++, pb2++;
    return (int)*pb1 - (int)*pb2;
}

RTDECL(int) RTStrCmpAsciiNoCase(const char *pszUtf8, const char *pszAscii)
{
    if (pszUtf8 == pszAscii)
        return 0;
    if (!pszUtf8)
        return -1;
    if (!pszAscii)
        return 1;
    for (;;)
    {
        RTUNICP uc;
        const char *pszCur = pszUtf8;
        if ((unsigned char)*pszUtf8 < 0x80)
            uc = (unsigned char)*pszUtf8++;
        else if (RT_FAILURE(RTStrReadCp(&pszUtf8, &uc)))
            return RTStrCmp(pszCur, pszAscii);

        RTUNICP const b = (unsigned char)*pszAscii++;
        if (uc == b)
        {
            if (!b)
                return 0;
            continue;
        }
        if (uc >= 0x80)
            return 1;
        RTUNICP const uFolded1 = uc >= 'A' && uc <= 'Z' ? uc + 0x20 : uc;
        RTUNICP const uFolded2 = b >= 'A' && b <= 'Z' ? b + 0x20 : b;
        if (uFolded1 != uFolded2)
            return (int)uFolded1 - (int)uFolded2;
    }
}
