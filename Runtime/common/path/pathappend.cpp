/** @file
 * Appending to and joining paths.
 */
#include <zolt/err.h>
#include <zolt/string.h>

#include <string.h>

#include "internal/path.h"

namespace
{

/**
 * The part of a DOS path that trailing-separator trimming must keep: "X:"
 * 2, "X:\" 3, a lone leading separator (or "\\" followed by the end or a
 * third separator) 1, and for UNC paths the server, its separators, the
 * share and one separator after it.
 */
size_t rtPathAppendDosRootLength(const char *psz)
{
    if (rtPathHasDrive(psz))
        return rtPathIsDosSep(psz[2]) ? 3 : 2;
    if (!rtPathIsDosSep(psz[0]))
        return 0;
    if (!rtPathIsDosSep(psz[1]) || psz[2] == '\0' || rtPathIsDosSep(psz[2]))
        return 1;
    size_t off = 2;
    while (psz[off] != '\0' && !rtPathIsDosSep(psz[off]))
        off++;
    while (rtPathIsDosSep(psz[off]))
        off++;
    while (psz[off] != '\0' && !rtPathIsDosSep(psz[off]))
        off++;
    if (rtPathIsDosSep(psz[off]))
        off++;
    return off;
}

} // namespace

RTDECL(int) RTPathAppendEx(char *pszPath, size_t cbPathDst, const char *pszAppend, size_t cchAppendMax, uint32_t fFlags)
{
    if (!RT_VALID_PTR(pszPath) || (pszAppend && !RT_VALID_PTR(pszAppend)))
        return ERR_INVALID_POINTER;
    if ((fFlags & ~RTPATH_STYLE_MASK) || (fFlags & RTPATH_STYLE_MASK) == RTPATH_STYLE_MASK)
        return ERR_INVALID_FLAGS;
    uint32_t const fStyle = rtPathStyle(fFlags);

    const char *pszEnd = RTStrFindEnd(pszPath, cbPathDst);
    if (!pszEnd)
        return ERR_INVALID_PARAMETER;
    size_t const cchPath = (size_t)(pszEnd - pszPath);
    size_t cchAppend = pszAppend ? RTStrNLen(pszAppend, cchAppendMax) : 0;
    if (cchAppend == 0)
        return SUCCESS;

    size_t cchKeep = cchPath;
    size_t cchSep = 0;
    if (cchPath == 0)
    {
        /* The text as it is. */
    }
    else if (rtPathIsSep(pszPath[cchPath - 1], fStyle))
    {
        while (cchAppend && rtPathIsSep(*pszAppend, fStyle))
        {
            pszAppend++;
            cchAppend--;
        }
        size_t cchRoot = fStyle == RTPATH_STYLE_DOS ? rtPathAppendDosRootLength(pszPath) : 0;
        if (cchRoot < 1)
            cchRoot = 1;
        while (cchKeep >= 2 && cchKeep - 1 >= cchRoot && rtPathIsSep(pszPath[cchKeep - 2], fStyle))
            cchKeep--;
    }
    else if (rtPathIsSep(*pszAppend, fStyle))
    {
        while (cchAppend > 1 && rtPathIsSep(pszAppend[1], fStyle))
        {
            pszAppend++;
            cchAppend--;
        }
    }
    else if (!(fStyle == RTPATH_STYLE_DOS && cchPath == 2 && rtPathHasDrive(pszPath)))
        cchSep = 1;

    size_t const cchTotal = cchKeep + cchSep + cchAppend;
    if (cchTotal >= cbPathDst)
        return ERR_BUFFER_OVERFLOW;
    if (cchSep)
        pszPath[cchKeep] = fStyle == RTPATH_STYLE_DOS ? '\\' : '/';
    memmove(&pszPath[cchKeep + cchSep], pszAppend, cchAppend);
    pszPath[cchTotal] = '\0';
    return SUCCESS;
}

RTDECL(int) RTPathAppend(char *pszPath, size_t cbPathDst, const char *pszAppend)
{
    return RTPathAppendEx(pszPath, cbPathDst, pszAppend, RTSTR_MAX, RTPATH_STYLE_HOST);
}

RTDECL(int) RTPathJoin(char *pszPathDst, size_t cbPathDst, const char *pszPathSrc, const char *pszAppend)
{
    if (!RT_VALID_PTR(pszPathDst) || !RT_VALID_PTR(pszPathSrc))
        return ERR_INVALID_POINTER;
    int const rc = RTStrCopy(pszPathDst, cbPathDst, pszPathSrc);
    if (rc < 0)
        return rc;
    return RTPathAppend(pszPathDst, cbPathDst, pszAppend);
}

RTDECL(char *) RTPathJoinA(const char *pszPathSrc, const char *pszAppend, const char *pszTag)
{
    if (!RT_VALID_PTR(pszPathSrc) || (pszAppend && !RT_VALID_PTR(pszAppend)))
        return nullptr;
    size_t const cchSrc = strlen(pszPathSrc);
    size_t const cb = cchSrc + (pszAppend ? strlen(pszAppend) : 0) + 4;
    char *psz = RTStrAlloc(cb, pszTag);
    if (!psz)
        return nullptr;
    memcpy(psz, pszPathSrc, cchSrc + 1);
    if (RTPathAppend(psz, cb, pszAppend) < 0)
    {
        RTStrFree(psz);
        return nullptr;
    }
    return psz;
}
