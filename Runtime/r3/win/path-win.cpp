/** @file
 * Win32 forms of paths: as given when short enough, else the long-path form.
 */
#include <windows.h>

#include <zolt/err.h>
#include <zolt/mem.h>
#include <zolt/path.h>
#include <zolt/string.h>
#include <zolt/utf16.h>

#include <winternl.h>

#include "internal/path.h"

namespace
{

inline bool rtPathWinIsSep(RTUTF16 wc)
{
    return wc == '\\' || wc == '/';
}

/**
 * Whether a converted path can go to Win32 as it is. A drive-relative path
 * that fits is replaced by its full form in *ppwsz.
 * @returns 1 (use it), 0 (needs the long-path form) or a failure status.
 */
int rtPathWinUseAsIs(RTUTF16 **ppwsz, size_t cwc)
{
    const RTUTF16 *pwsz = *ppwsz;
    if (cwc > 243)
        return 0;
    bool const fDrive = ((pwsz[0] | 0x20) >= 'a' && (pwsz[0] | 0x20) <= 'z') && pwsz[1] == ':';
    if (fDrive && rtPathWinIsSep(pwsz[2]))
        return 1;
    if (fDrive)
    {
        WCHAR wszFull[261];
        DWORD const cwcFull = GetFullPathNameW((LPCWSTR)pwsz, RT_ELEMENTS(wszFull), wszFull, nullptr);
        if (cwcFull == 0)
            return RTErrConvertFromWin32(GetLastError());
        if (cwcFull > 243)
            return 0;
        RTUTF16 *pwszFull = RTUtf16Dup((const RTUTF16 *)wszFull);
        if (!pwszFull)
            return ERR_NO_UTF16_MEMORY;
        RTMemFree(*ppwsz);
        *ppwsz = pwszFull;
        return 1;
    }
    if (rtPathWinIsSep(pwsz[0]) && rtPathWinIsSep(pwsz[1]))
    {
        if (pwsz[2] == '\0' || rtPathWinIsSep(pwsz[2]))
            return cwc <= 241;
        if (pwsz[2] == '?' && !rtPathWinIsSep(pwsz[3]))
            return 1;
        return cwc <= 240;
    }
    if (rtPathWinIsSep(pwsz[0]))
        return cwc <= 241;
    /* Relative: Win32 prepends the current directory (length with its
       terminator). */
    DWORD const cwcCwd = GetCurrentDirectoryW(0, nullptr);
    return cwcCwd + cwc <= 242;
}

} // namespace

RTDECL(int) RTPathToNativeWide(RTUTF16 **ppwszNative, const char *pszPath)
{
    if (!RT_VALID_PTR(ppwszNative))
        return ERR_INVALID_POINTER;
    *ppwszNative = nullptr;
    if (!RT_VALID_PTR(pszPath))
        return ERR_INVALID_POINTER;

    RTUTF16 *pwsz = nullptr;
    size_t cwc = 0;
    int rc = RTStrToUtf16Ex(pszPath, RTSTR_MAX, &pwsz, 0, &cwc);
    if (rc < 0)
        return rc;
    rc = rtPathWinUseAsIs(&pwsz, cwc);
    if (rc != 0)
    {
        if (rc > 0)
            *ppwszNative = pwsz;
        else
            RTMemFree(pwsz);
        return rc > 0 ? SUCCESS : rc;
    }
    RTMemFree(pwsz);

    /* Too long for the classic limit: "\??\C:\x" becomes "\\?\C:\x". */
    UNICODE_STRING NtName;
    void *hRootDir;
    rc = RTNtPathFromUtf8(&NtName, &hRootDir, pszPath);
    if (rc < 0)
        return rc;
    PWSTR const pwszNt = NtName.Buffer;
    if (NtName.Length < 4 * sizeof(WCHAR) || pwszNt[0] != '\\' || pwszNt[1] != '?' || pwszNt[2] != '?' ||
        pwszNt[3] != '\\')
    {
        /* The raw NT escape (and old NT prefixes) have no Win32 form. */
        RTNtPathFree(&NtName, &hRootDir);
        return ERR_FILENAME_TOO_LONG;
    }
    pwszNt[1] = '\\';
    *ppwszNative = (RTUTF16 *)pwszNt;
    return SUCCESS;
}

RTDECL(void) RTPathFreeNativeWide(RTUTF16 *pwszNative)
{
    RTMemFree(pwszNative);
}
