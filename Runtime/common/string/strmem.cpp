/** @file
 * Heap strings.
 */
#include <zolt/err.h>
#include <zolt/mem.h>
#include <zolt/string.h>

#include <string.h>

RTDECL(char *) RTStrAlloc(size_t cb, const char *pszTag)
{
    char *psz = (char *)RTMemAlloc(cb ? cb : 1, pszTag);
    if (psz)
        *psz = '\0';
    return psz;
}

/** Copies exactly @a cch bytes of @a psz into a new, terminated block. */
static char *rtStrDupLen(const char *psz, size_t cch, const char *pszTag)
{
    if (cch == RTSTR_MAX) /* no room for the terminator */
        return nullptr;
    char *pszCopy = (char *)RTMemAlloc(cch + 1, pszTag);
    if (pszCopy)
    {
        memcpy(pszCopy, psz, cch);
        pszCopy[cch] = '\0';
    }
    return pszCopy;
}

RTDECL(char *) RTStrDup(const char *psz, const char *pszTag)
{
    return rtStrDupLen(psz, strlen(psz), pszTag);
}

RTDECL(char *) RTStrDupN(const char *psz, size_t cchMax, const char *pszTag)
{
    return rtStrDupLen(psz, RTStrNLen(psz, cchMax), pszTag);
}

RTDECL(int) RTStrDupNEx(char **ppszCopy, const char *psz, size_t cchMax, const char *pszTag)
{
    *ppszCopy = RTStrDupN(psz, cchMax, pszTag);
    return *ppszCopy ? SUCCESS : ERR_NO_STR_MEMORY;
}

RTDECL(int) RTStrRealloc(char **ppsz, size_t cbNew, const char *pszTag)
{
    char *pszOld = *ppsz;
    if (!cbNew)
    {
        RTMemFree(pszOld);
        *ppsz = nullptr;
        return SUCCESS;
    }
    char *pszNew = (char *)RTMemRealloc(pszOld, cbNew, pszTag);
    if (!pszNew)
        return ERR_NO_STR_MEMORY;
    if (!pszOld)
        pszNew[0] = '\0';
    pszNew[cbNew - 1] = '\0';
    *ppsz = pszNew;
    return SUCCESS;
}

RTDECL(void) RTStrFree(char *psz)
{
    RTMemFree(psz);
}
