/** @file
 * String primitives of the compiler-support layer. Byte loops: the runtime
 * calls them on short strings (names, options, paths), where setting up
 * word-wise scans would cost more than it saves.
 */
#include "internal/compiler.h"

extern "C" size_t RT_CS_NAME(strlen)(const char *psz)
{
    const char *pszEnd = psz;
    while (*pszEnd)
        pszEnd++;
    return (size_t)(pszEnd - psz);
}

extern "C" size_t RT_CS_NAME(strnlen)(const char *psz, size_t cbMax)
{
    size_t cch = 0;
    while (cch < cbMax && psz[cch])
        cch++;
    return cch;
}

extern "C" char *RT_CS_NAME(strchr)(const char *psz, int iChar)
{
    /* The terminator itself can be found. */
    for (;; psz++)
    {
        if (*psz == (char)iChar)
            return const_cast<char *>(psz);
        if (!*psz)
            return nullptr;
    }
}

extern "C" int RT_CS_NAME(strncmp)(const char *psz1, const char *psz2, size_t cbMax)
{
    for (; cbMax > 0; cbMax--, psz1++, psz2++)
    {
        unsigned char const b1 = (unsigned char)*psz1;
        unsigned char const b2 = (unsigned char)*psz2;
        if (b1 != b2)
            return (int)b1 - (int)b2;
        if (!b1)
            break;
    }
    return 0;
}

extern "C" int RT_CS_NAME(strcmp)(const char *psz1, const char *psz2)
{
    return RT_CS_NAME(strncmp)(psz1, psz2, ~(size_t)0);
}

extern "C" size_t RT_CS_NAME(strcspn)(const char *psz, const char *pszReject)
{
    size_t cch = 0;
    for (; psz[cch]; cch++)
        for (const char *pszR = pszReject; *pszR; pszR++)
            if (*pszR == psz[cch])
                return cch;
    return cch;
}

extern "C" char *RT_CS_NAME(strpbrk)(const char *psz, const char *pszAccept)
{
    psz += RT_CS_NAME(strcspn)(psz, pszAccept);
    return *psz ? const_cast<char *>(psz) : nullptr;
}

extern "C" size_t RT_CS_NAME(wcslen)(const wchar_t *pwsz)
{
    const wchar_t *pwszEnd = pwsz;
    while (*pwszEnd)
        pwszEnd++;
    return (size_t)(pwszEnd - pwsz);
}
