/** @file
 * Current ANSI code page, Windows.
 */
#include <windows.h>

#include <zolt/err.h>
#include <zolt/mem.h>
#include <zolt/string.h>

#include "internal/utf8.h"

/** @returns the status for the calling thread's last error, never a
 *  success: a failed call that left no error code behind is still a
 *  failure. */
static int rtStrAnsiLastError(void)
{
    int const rc = RTErrConvertFromWin32(GetLastError());
    return RT_FAILURE(rc) ? rc : ERR_NO_TRANSLATION;
}

RTDECL(int) RTStrToAnsiCodePage(char **ppszString, const char *pszSource, const char *pszTag)
{
    *ppszString = nullptr;
    /* An empty string is empty in every code page; with a UTF-8 code page
       the text already is what the console wants. */
    if (!*pszSource || GetACP() == CP_UTF8)
        return rtStrValidateAndDup(ppszString, pszSource, pszTag);

    RTUTF16 *pwsz = nullptr;
    int rc = RTStrToUtf16Ex(pszSource, RTSTR_MAX, &pwsz, 0, nullptr, pszTag);
    if (RT_FAILURE(rc))
        return rc;
    /* No flags: characters the code page lacks become its default
       character, as console output expects. */
    int const cb = WideCharToMultiByte(CP_ACP, 0, (const wchar_t *)pwsz, -1, nullptr, 0, nullptr, nullptr);
    if (cb <= 0)
        rc = rtStrAnsiLastError();
    else
    {
        char *psz = (char *)RTMemAlloc((size_t)cb, pszTag);
        if (!psz)
            rc = ERR_NO_TMP_MEMORY;
        else if (WideCharToMultiByte(CP_ACP, 0, (const wchar_t *)pwsz, -1, psz, cb, nullptr, nullptr) <= 0)
        {
            rc = rtStrAnsiLastError();
            RTMemFree(psz);
        }
        else
            *ppszString = psz;
    }
    RTMemFree(pwsz);
    return rc;
}
