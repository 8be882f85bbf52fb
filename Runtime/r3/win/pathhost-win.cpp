/** @file
 * Host path services, Windows.
 */
#include <windows.h>

#include <zolt/err.h>
#include <zolt/mem.h>
#include <zolt/path.h>
#include <zolt/string.h>
#include <zolt/utf16.h>

#include "internal/fileio.h"
#include "internal/ldr.h"
#include "internal/nt.h"
#include "internal/path.h"

namespace
{

/** The classic buffers of these queries, in units. */
constexpr DWORD kcwcQuery = 4100;

/**
 * Runs a Win32 query that fills a wide buffer and reports the size it needs
 * when the buffer is too small, growing a heap buffer until the answer fits
 * (the answer may change between calls, such as the current directory).
 * @returns 0 with the answer in *ppwsz (which is @a pwszStack or a heap
 *          block to free by the caller when it differs); converted errors.
 */
template <typename TQuery> int rtPathWinQuery(TQuery Query, WCHAR *pwszStack, WCHAR **ppwsz, DWORD *pcwc)
{
    WCHAR *pwszBuf = pwszStack;
    DWORD cwcBuf = kcwcQuery;
    for (;;)
    {
        DWORD const cwc = Query(pwszBuf, cwcBuf);
        if (cwc == 0)
        {
            DWORD const dwErr = GetLastError();
            if (pwszBuf != pwszStack)
                RTMemFree(pwszBuf);
            return RTErrConvertFromWin32(dwErr);
        }
        if (cwc < cwcBuf)
        {
            *ppwsz = pwszBuf;
            *pcwc = cwc;
            return SUCCESS;
        }
        if (pwszBuf != pwszStack)
            RTMemFree(pwszBuf);
        pwszBuf = (WCHAR *)RTMemAlloc((size_t)cwc * sizeof(WCHAR));
        if (!pwszBuf)
            return ERR_NO_TMP_MEMORY;
        cwcBuf = cwc;
    }
}

/** Converts a wide answer into the caller's UTF-8 buffer. */
int rtPathWinToUtf8(const WCHAR *pwsz, DWORD cwc, char *pszPath, size_t cbPath)
{
    return RTUtf16ToUtf8Ex((const RTUTF16 *)pwsz, cwc, &pszPath, cbPath, nullptr);
}

/** The full form of a path in the caller's buffer, optionally with an
 *  upper-cased drive letter. */
int rtPathWinFullPathUtf8(const WCHAR *pwszPath, bool fUpperDrive, char *pszPath, size_t cbPath)
{
    WCHAR wszStack[kcwcQuery];
    WCHAR *pwszFull = nullptr;
    DWORD cwcFull = 0;
    int rc = rtPathWinQuery(
        [&](WCHAR *pwszBuf, DWORD cwcBuf) { return GetFullPathNameW(pwszPath, cwcBuf, pwszBuf, nullptr); }, wszStack,
        &pwszFull, &cwcFull);
    if (rc < 0)
        return rc;
    if (fUpperDrive && pwszFull[1] == ':' && pwszFull[0] >= 'a' && pwszFull[0] <= 'z')
        pwszFull[0] = (WCHAR)(pwszFull[0] - 'a' + 'A');
    rc = rtPathWinToUtf8(pwszFull, cwcFull, pszPath, cbPath);
    if (pwszFull != wszStack)
        RTMemFree(pwszFull);
    return rc;
}

} // namespace

RTDECL(int) RTPathGetCurrentDir(char *pszPath, size_t cbPath)
{
    if (!RT_VALID_PTR(pszPath))
        return ERR_INVALID_POINTER;
    if (cbPath == 0)
        return ERR_BUFFER_OVERFLOW;
    WCHAR wszStack[kcwcQuery];
    WCHAR *pwszCwd = nullptr;
    DWORD cwcCwd = 0;
    int rc = rtPathWinQuery([](WCHAR *pwszBuf, DWORD cwcBuf) { return GetCurrentDirectoryW(cwcBuf, pwszBuf); },
                            wszStack, &pwszCwd, &cwcCwd);
    if (rc < 0)
        return rc;
    rc = rtPathWinFullPathUtf8(pwszCwd, true, pszPath, cbPath);
    if (pwszCwd != wszStack)
        RTMemFree(pwszCwd);
    return rc;
}

RTDECL(int) RTPathGetCurrentDirOfDrive(char chDrive, char *pszPath, size_t cbPath)
{
    if (!RT_VALID_PTR(pszPath))
        return ERR_INVALID_POINTER;
    if (cbPath == 0)
        return ERR_BUFFER_OVERFLOW;
    if (!rtPathIsLetter(chDrive))
        return ERR_INVALID_PARAMETER;
    WCHAR const wszDrive[3] = {(WCHAR)chDrive, ':', '\0'};
    return rtPathWinFullPathUtf8(wszDrive, false, pszPath, cbPath);
}

RTDECL(int) RTPathSetCurrentDir(const char *pszPath)
{
    if (!RT_VALID_PTR(pszPath))
        return ERR_INVALID_POINTER;
    if (!*pszPath)
        return ERR_INVALID_PARAMETER;
    RTUTF16 *pwszPath = nullptr;
    int rc = RTPathToNativeWide(&pwszPath, pszPath);
    if (rc < 0)
        return rc;
    /* "C:\dir\" names "C:\dir"; "C:\" keeps its separator. */
    size_t const cwc = RTUtf16Length(pwszPath);
    if (cwc >= 2 && (pwszPath[cwc - 1] == '\\' || pwszPath[cwc - 1] == '/') && pwszPath[cwc - 2] != ':')
        pwszPath[cwc - 1] = '\0';
    if (!SetCurrentDirectoryW((LPCWSTR)pwszPath))
        rc = RTErrConvertFromWin32(GetLastError());
    RTPathFreeNativeWide(pwszPath);
    return rc;
}

int rtPathHostQueryExecutablePath(char *pszPath, size_t cbPath)
{
    WCHAR wszStack[kcwcQuery];
    WCHAR *pwszExe = nullptr;
    DWORD cwcExe = 0;
    /* GetModuleFileNameW returns the full buffer size when it truncates. */
    int rc = rtPathWinQuery(
        [](WCHAR *pwszBuf, DWORD cwcBuf) {
            DWORD const cwc = GetModuleFileNameW(nullptr, pwszBuf, cwcBuf);
            return cwc >= cwcBuf ? cwcBuf * 2 : cwc;
        },
        wszStack, &pwszExe, &cwcExe);
    if (rc < 0)
        return rc;
    rc = rtPathWinToUtf8(pwszExe, cwcExe, pszPath, cbPath);
    if (pwszExe != wszStack)
        RTMemFree(pwszExe);
    return rc;
}

RTDECL(int) RTPathRename(const char *pszSrc, const char *pszDst, uint32_t fRename, uint32_t fFileType)
{
    if (!RT_VALID_PTR(pszSrc) || !RT_VALID_PTR(pszDst))
        return ERR_INVALID_POINTER;
    if (fRename & ~RTPATHRENAME_FLAGS_REPLACE)
        return ERR_INVALID_FLAGS;

    RTUTF16 *pwszSrc = nullptr;
    RTUTF16 *pwszDst = nullptr;
    int rc = RTPathToNativeWide(&pwszSrc, pszSrc);
    if (rc >= 0)
        rc = RTPathToNativeWide(&pwszDst, pszDst);
    if (rc >= 0 && fFileType)
    {
        DWORD const fAttr = GetFileAttributesW((LPCWSTR)pwszSrc);
        if (fAttr == INVALID_FILE_ATTRIBUTES)
            rc = RTErrConvertFromWin32(GetLastError());
        else if ((fFileType & 0xF000) == 0x4000 && !(fAttr & FILE_ATTRIBUTE_DIRECTORY))
            rc = ERR_NOT_A_DIRECTORY;
        else if ((fFileType & 0xF000) != 0x4000 && (fAttr & FILE_ATTRIBUTE_DIRECTORY))
            rc = ERR_IS_A_DIRECTORY;
    }
    if (rc >= 0)
    {
        DWORD const fMove = (fRename & RTPATHRENAME_FLAGS_REPLACE) ? MOVEFILE_REPLACE_EXISTING : 0;
        if (!MoveFileExW((LPCWSTR)pwszSrc, (LPCWSTR)pwszDst, fMove))
            rc = RTErrConvertFromWin32(GetLastError());
    }
    RTPathFreeNativeWide(pwszSrc);
    RTPathFreeNativeWide(pwszDst);
    return rc;
}

DWORD WINAPI rtPathWinGetTempPath2W(DWORD cwcBuf, LPWSTR pwszBuf)
{
    typedef DWORD(WINAPI * PFNGETTEMPPATH2W)(DWORD, LPWSTR);
    /* Looked up once; threads racing here store the same answer. Null
       until looked up, then the function or this marker for "absent". */
    static PFNGETTEMPPATH2W s_pfn = nullptr;
    PFNGETTEMPPATH2W const pfnAbsent = rtPathWinGetTempPath2W;
    PFNGETTEMPPATH2W pfn = __atomic_load_n(&s_pfn, __ATOMIC_ACQUIRE);
    if (!pfn)
    {
        pfn = reinterpret_cast<PFNGETTEMPPATH2W>(
            reinterpret_cast<void *>(GetProcAddress(g_hModKernel32, "GetTempPath2W")));
        if (!pfn)
            pfn = pfnAbsent;
        __atomic_store_n(&s_pfn, pfn, __ATOMIC_RELEASE);
    }
    if (pfn == pfnAbsent)
    {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return 0;
    }
    return pfn(cwcBuf, pwszBuf);
}

RTDECL(int) RTPathSystemTempDir(char *pszPath, size_t cbPath)
{
    if (!RT_VALID_PTR(pszPath))
        return ERR_INVALID_POINTER;
    if (cbPath == 0)
        return ERR_BUFFER_OVERFLOW;
    /* Only SYSTEM gets a directory of its own from GetTempPath2W; anyone
       else would get what GetTempPathW gives, from the environment, which
       RTPathTempDir reads with the runtime's own rules. */
    RTNTPROCUSER User;
    int rc = rtNtQueryProcessUser(&User);
    if (RT_FAILURE(rc))
        return rc;
    if (!User.fLocalSystem)
        return ERR_NOT_SUPPORTED;
    WCHAR wszStack[kcwcQuery];
    WCHAR *pwszTemp = nullptr;
    DWORD cwcTemp = 0;
    DWORD dwErr = NO_ERROR;
    rc = rtPathWinQuery(
        [&dwErr](WCHAR *pwszBuf, DWORD cwcBuf) {
            DWORD const cwc = g_pRtFileSysCalls->pfnGetTempPath2W(cwcBuf, pwszBuf);
            if (cwc == 0)
                dwErr = GetLastError();
            return cwc;
        },
        wszStack, &pwszTemp, &cwcTemp);
    if (rc < 0)
        return dwErr == ERROR_CALL_NOT_IMPLEMENTED ? ERR_NOT_SUPPORTED : rc; /* an older host */
    rc = rtPathWinToUtf8(pwszTemp, cwcTemp, pszPath, cbPath);
    if (pwszTemp != wszStack)
        RTMemFree(pwszTemp);
    return rc;
}
