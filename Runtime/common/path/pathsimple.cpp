/** @file
 * Simple DOS-style path helpers: suffix, file name, directory length,
 * separators and root length.
 */
#include <zolt/string.h>

#include <string.h>

#include "internal/path.h"

RTDECL(char *) RTPathFindSuffix(const char *pszPath)
{
    const char *pszDot = nullptr;
    const char *psz = pszPath;
    for (; *psz; psz++)
    {
        if (*psz == '.')
            pszDot = psz;
        else if (rtPathIsDosSep(*psz) || *psz == ':')
            pszDot = nullptr;
    }
    if (pszDot && pszDot != pszPath && pszDot[1] != '\0')
        return (char *)pszDot;
    return nullptr;
}

RTDECL(size_t) RTPathSplitSimple(const char *pszPath, size_t *pcchDir, ptrdiff_t *poffName, ptrdiff_t *poffSuffix)
{
    size_t const cchPath = strlen(pszPath);

    size_t cchRoot = 0;
    if (rtPathHasDrive(pszPath))
        cchRoot = 2;
    else if (rtPathIsDosSep(pszPath[0]) && rtPathIsDosSep(pszPath[1]))
    {
        cchRoot = 2;
        while (pszPath[cchRoot] != '\0' && !rtPathIsDosSep(pszPath[cchRoot]))
            cchRoot++;
    }
    while (rtPathIsDosSep(pszPath[cchRoot]))
        cchRoot++;

    /* The name: after the last separator, unless the path ends in one. */
    size_t offName = cchPath;
    while (offName > cchRoot && !rtPathIsDosSep(pszPath[offName - 1]))
        offName--;
    bool const fName = offName < cchPath;

    size_t cchDir = fName ? offName : cchPath;
    while (cchDir > cchRoot && rtPathIsDosSep(pszPath[cchDir - 1]))
        cchDir--;
    if (pcchDir)
        *pcchDir = cchDir;
    if (poffName)
        *poffName = fName ? (ptrdiff_t)offName : -1;
    if (poffSuffix)
    {
        *poffSuffix = -1;
        for (size_t off = cchPath; fName && off-- > offName + 1;)
            if (pszPath[off] == '.')
            {
                if (off + 1 < cchPath)
                    *poffSuffix = (ptrdiff_t)off;
                break;
            }
    }
    return cchPath;
}

RTDECL(char *) RTPathFindFilename(const char *pszPath)
{
    const char *pszName = pszPath;
    for (const char *psz = pszPath; *psz; psz++)
        if (rtPathIsDosSep(*psz) || *psz == ':')
            pszName = psz + 1;
    return *pszName ? (char *)pszName : nullptr;
}

RTDECL(size_t) RTPathStripSeparators(char *pszPath)
{
    size_t cch = strlen(pszPath);
    while (cch > 1 && rtPathIsDosSep(pszPath[cch - 1]))
    {
        if (cch == 3 && rtPathHasDrive(pszPath))
            break;
        cch--;
    }
    pszPath[cch] = '\0';
    return cch;
}

RTDECL(size_t) RTPathEnsureSeparator(char *pszPath, size_t cbPath)
{
    const char *pszEnd = RTStrFindEnd(pszPath, cbPath);
    if (!pszEnd)
        return 0;
    size_t const cch = (size_t)(pszEnd - pszPath);
    if (cch == 0)
    {
        if (cbPath < 3)
            return 0;
        memcpy(pszPath, ".\\", 3);
        return 2;
    }
    char const chLast = pszPath[cch - 1];
    if (rtPathIsDosSep(chLast) || chLast == ':')
        return cch;
    if (cch + 2 > cbPath)
        return 0;
    pszPath[cch] = '\\';
    pszPath[cch + 1] = '\0';
    return cch + 1;
}

RTDECL(char *) RTPathToBackslashes(char *pszPath)
{
    for (char *psz = pszPath; *psz; psz++)
        if (*psz == '/')
            *psz = '\\';
    return pszPath;
}

RTDECL(size_t) RTPathRootLength(const char *pszPath)
{
    size_t off = 0;
    if (rtPathHasDrive(pszPath))
        off = 2;
    else if (rtPathIsDosSep(pszPath[0]) && rtPathIsDosSep(pszPath[1]) && pszPath[2] != '\0' &&
             !rtPathIsDosSep(pszPath[2]))
    {
        /* UNC: server, separators, share, separators. */
        off = 2;
        while (pszPath[off] != '\0' && !rtPathIsDosSep(pszPath[off]))
            off++;
        while (rtPathIsDosSep(pszPath[off]))
            off++;
        while (pszPath[off] != '\0' && !rtPathIsDosSep(pszPath[off]))
            off++;
    }
    while (rtPathIsDosSep(pszPath[off]))
        off++;
    return off;
}

RTDECL(bool) RTPathStartsWithRoot(const char *pszPath)
{
    return RTPathRootLength(pszPath) != 0;
}
