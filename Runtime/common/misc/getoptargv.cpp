/** @file
 * Splitting a command line into an argument vector.
 */
#include <zolt/err.h>
#include <zolt/getopt.h>
#include <zolt/mem.h>
#include <zolt/string.h>

#include <string.h>

namespace
{

/** The vector grows in steps of this many pointers (plus the terminator). */
constexpr int g_cArgsPerStep = 32;

/** Where one argument is read from and written to. In place, pszDst never
 *  overtakes pszSrc: every rule writes at most what it consumes. */
struct RTARGVCURSOR
{
    const char *pszSrc;
    char *pszDst;
    const char *pszSeparators;
};

/**
 * Measures the character at @a psz: its byte count, and whether it is one
 * of the separators (compared by code point).
 * @returns 0 or the UTF-8 decoding status.
 */
int rtGetOptArgvPeek(const char *psz, const char *pszSeparators, size_t *pcb, bool *pfSeparator)
{
    RTUNICP uCp = (unsigned char)*psz;
    const char *pszNext = psz + 1;
    if (uCp >= 0x80)
    {
        pszNext = psz;
        int rc = RTStrReadCp(&pszNext, &uCp);
        if (RT_FAILURE(rc))
            return rc;
    }
    *pcb = (size_t)(pszNext - psz);

    *pfSeparator = false;
    for (const char *pszSep = pszSeparators; *pszSep;)
    {
        RTUNICP uSep;
        if (RT_FAILURE(RTStrReadCp(&pszSep, &uSep))) /* validated up front */
            break;
        if (uSep == uCp)
        {
            *pfSeparator = true;
            break;
        }
    }
    return SUCCESS;
}

/**
 * Takes the next character of an argument: copies it, or, when it is a
 * separator and @a fSeparatorEnds is set, consumes it and reports the end of
 * the argument. The bytes are copied one at a time because source and
 * target overlap when splitting in place.
 * @returns 0 or the UTF-8 decoding status.
 */
int rtGetOptArgvTakeChar(RTARGVCURSOR *pCur, bool fSeparatorEnds, bool *pfEnd)
{
    size_t cb;
    bool fSeparator;
    int rc = rtGetOptArgvPeek(pCur->pszSrc, pCur->pszSeparators, &cb, &fSeparator);
    if (RT_FAILURE(rc))
        return rc;
    *pfEnd = fSeparatorEnds && fSeparator;
    if (*pfEnd)
        pCur->pszSrc += cb;
    else
        while (cb-- > 0)
            *pCur->pszDst++ = *pCur->pszSrc++;
    return SUCCESS;
}

/** Parses one argument by the Microsoft C runtime's rules. */
int rtGetOptArgvParseMsCrt(RTARGVCURSOR *pCur)
{
    bool fQuoted = false;
    while (*pCur->pszSrc)
    {
        char const ch = *pCur->pszSrc;
        if (ch == '\\')
        {
            size_t cBackslashes = 0;
            while (pCur->pszSrc[cBackslashes] == '\\')
                cBackslashes++;
            if (pCur->pszSrc[cBackslashes] != '"')
            {
                while (cBackslashes-- > 0)
                    *pCur->pszDst++ = *pCur->pszSrc++;
                continue;
            }
            for (size_t i = 0; i < cBackslashes / 2; i++)
                *pCur->pszDst++ = '\\';
            pCur->pszSrc += cBackslashes;
            if (cBackslashes & 1)
                *pCur->pszDst++ = *pCur->pszSrc++; /* the escaped quote */
            continue;
        }
        if (ch == '"')
        {
            if (!fQuoted)
                fQuoted = true;
            else if (pCur->pszSrc[1] == '"')
                *pCur->pszDst++ = *pCur->pszSrc++;
            else
                fQuoted = false;
            pCur->pszSrc++;
            continue;
        }

        bool fEnd;
        int rc = rtGetOptArgvTakeChar(pCur, !fQuoted, &fEnd);
        if (RT_FAILURE(rc))
            return rc;
        if (fEnd)
            break;
    }
    return SUCCESS;
}

/** The characters a backslash escapes inside double quotes. */
bool rtGetOptArgvIsBourneEscapable(char ch)
{
    return ch == '"' || ch == '\\' || ch == '`' || ch == '$' || ch == '\n';
}

/** Parses one argument by the Bourne shell's quoting rules. */
int rtGetOptArgvParseBourne(RTARGVCURSOR *pCur)
{
    char chQuote = '\0';
    while (*pCur->pszSrc)
    {
        char const ch = *pCur->pszSrc;
        if (chQuote == '\0')
        {
            if (ch == '"' || ch == '\'')
            {
                chQuote = ch;
                pCur->pszSrc++;
                continue;
            }
            if (ch == '\\')
            {
                /* The next character is literal, whatever it is; a backslash
                   at the very end is dropped. */
                pCur->pszSrc++;
                if (!*pCur->pszSrc)
                    break;
                bool fEnd;
                int rc = rtGetOptArgvTakeChar(pCur, false, &fEnd);
                if (RT_FAILURE(rc))
                    return rc;
                continue;
            }
        }
        else if (ch == chQuote)
        {
            chQuote = '\0';
            pCur->pszSrc++;
            continue;
        }
        else if (chQuote == '"' && ch == '\\' && rtGetOptArgvIsBourneEscapable(pCur->pszSrc[1]))
        {
            pCur->pszSrc++;
            *pCur->pszDst++ = *pCur->pszSrc++;
            continue;
        }

        bool fEnd;
        int rc = rtGetOptArgvTakeChar(pCur, chQuote == '\0', &fEnd);
        if (RT_FAILURE(rc))
            return rc;
        if (fEnd)
            break;
    }
    return SUCCESS;
}

} // namespace

RTDECL(int)
RTGetOptSplitCommandLine(char ***ppapszArgv, int *pcArgs, const char *pszCmdLine, uint32_t fFlags,
                         const char *pszSeparators, const char *pszTag)
{
    if (!RT_VALID_PTR(ppapszArgv) || !RT_VALID_PTR(pcArgs))
        return ERR_INVALID_POINTER;
    *ppapszArgv = nullptr;
    *pcArgs = 0;
    if (!RT_VALID_PTR(pszCmdLine))
        return ERR_INVALID_POINTER;
    if (fFlags & ~(GETOPTARGV_STYLE_MASK | GETOPTARGV_F_IN_PLACE))
        return ERR_INVALID_FLAGS;
    uint32_t const uStyle = fFlags & GETOPTARGV_STYLE_MASK;
    if (uStyle != GETOPTARGV_STYLE_MSCRT && uStyle != GETOPTARGV_STYLE_BOURNE)
        return ERR_INVALID_FLAGS;
    if (!pszSeparators)
        pszSeparators = GETOPTARGV_DEFAULT_SEPARATORS;
    else if (!RT_VALID_PTR(pszSeparators))
        return ERR_INVALID_POINTER;
    if (!*pszSeparators)
        return ERR_INVALID_PARAMETER;
    int rc = RTStrValidateUtf8(pszSeparators, RTSTR_MAX, 0);
    if (RT_FAILURE(rc))
        return rc;

    /* The arguments never take more room than the text they came from, so
       one buffer of the text's size holds all of them. */
    char *pszBuf;
    if (fFlags & GETOPTARGV_F_IN_PLACE)
        pszBuf = const_cast<char *>(pszCmdLine);
    else
    {
        pszBuf = static_cast<char *>(RTMemAlloc(strlen(pszCmdLine) + 1, pszTag));
        if (!pszBuf)
            return ERR_NO_STR_MEMORY;
    }

    RTARGVCURSOR Cur = {pszCmdLine, pszBuf, pszSeparators};
    char **papszArgs = nullptr;
    int cArgs = 0;
    for (;;)
    {
        while (*Cur.pszSrc)
        {
            size_t cb;
            bool fSeparator;
            rc = rtGetOptArgvPeek(Cur.pszSrc, pszSeparators, &cb, &fSeparator);
            if (RT_FAILURE(rc) || !fSeparator)
                break;
            Cur.pszSrc += cb;
        }
        if (RT_FAILURE(rc) || !*Cur.pszSrc)
            break;

        if (cArgs % g_cArgsPerStep == 0)
        {
            void *pvNew = RTMemRealloc(papszArgs, ((size_t)cArgs + g_cArgsPerStep + 1) * sizeof(char *), pszTag);
            if (!pvNew)
            {
                rc = ERR_NO_MEMORY;
                break;
            }
            papszArgs = static_cast<char **>(pvNew);
        }
        papszArgs[cArgs] = Cur.pszDst;
        rc = uStyle == GETOPTARGV_STYLE_MSCRT ? rtGetOptArgvParseMsCrt(&Cur) : rtGetOptArgvParseBourne(&Cur);
        if (RT_FAILURE(rc))
            break;
        *Cur.pszDst++ = '\0';
        cArgs++;
    }

    if (RT_SUCCESS(rc) && !papszArgs)
    {
        papszArgs = static_cast<char **>(RTMemAlloc(sizeof(char *), pszTag));
        if (!papszArgs)
            rc = ERR_NO_MEMORY;
    }
    if (RT_FAILURE(rc))
    {
        RTMemFree(papszArgs);
        if (!(fFlags & GETOPTARGV_F_IN_PLACE))
            RTMemFree(pszBuf);
        return rc;
    }
    if (cArgs == 0 && !(fFlags & GETOPTARGV_F_IN_PLACE))
        RTMemFree(pszBuf);
    papszArgs[cArgs] = nullptr;
    *ppapszArgv = papszArgs;
    *pcArgs = cArgs;
    return SUCCESS;
}

RTDECL(void) RTGetOptArgvFree(char **papszArgv, uint32_t fFlags)
{
    if (!papszArgv)
        return;
    /* A copied vector's first argument starts its buffer. */
    if (!(fFlags & GETOPTARGV_F_IN_PLACE))
        RTMemFree(papszArgv[0]);
    RTMemFree(papszArgv);
}
