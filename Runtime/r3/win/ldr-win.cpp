/** @file
 * Native module loader, Windows: LoadLibraryExW restricted to paths the
 * loader chose itself, and the system-directory lookup with side-by-side
 * redirection.
 */
#include <windows.h>

#include <zolt/assert.h>
#include <zolt/dir.h>
#include <zolt/err.h>
#include <zolt/mem.h>
#include <zolt/path.h>
#include <zolt/string.h>
#include <zolt/utf16.h>

#include <winternl.h>

#include <atomic>

#include "internal/ldr.h"

HMODULE g_hModKernel32;
HMODULE g_hModNtDll;

typedef NTSTATUS(NTAPI *PFNRTLDOSAPPLYFILEISOLATIONREDIRECTIONUSTR)(ULONG fFlags, PCUNICODE_STRING pOrgName,
                                                                    PCUNICODE_STRING pDefaultSuffix,
                                                                    PUNICODE_STRING pStaticString,
                                                                    PUNICODE_STRING pDynamicString,
                                                                    PUNICODE_STRING *ppNewName, PULONG pfNewFlags,
                                                                    PSIZE_T pcbFilename, PSIZE_T pcbNeeded);

/** Honour a ".local" redirection file beside the executable as Windows
 *  itself does for the same lookup. */
#define RTL_DOS_APPLY_FILE_REDIRECTION_USTR_FLAG_RESPECT_DOT_LOCAL 1

/** The side-by-side lookup, looked up once; absent on older systems and on
 *  Wine. Racing threads find and store the same value. */
static std::atomic<bool> g_frtldrWinSxsResolved{false};
static std::atomic<PFNRTLDOSAPPLYFILEISOLATIONREDIRECTIONUSTR> g_pfnrtldrWinSxsRedirect{nullptr};

/** Whether LoadLibraryExW takes the LOAD_LIBRARY_SEARCH_* flags: systems
 *  without KB2533623 answer ERROR_INVALID_PARAMETER. Settled by the first
 *  load that asks for them; racing threads settle it the same way. */
enum
{
    kRtLdrSafeSearchUnknown,
    kRtLdrSafeSearchYes,
    kRtLdrSafeSearchNo
};
static std::atomic<int> g_enmRtLdrSafeSearch{kRtLdrSafeSearchUnknown};

/** The runtime's start-up stores the module handles before anything is
 *  loaded; getting here earlier means the loader's hardening (DLL search
 *  path restricted to the system directory) has not happened either. */
static void rtldrWinAssertConfigured(const char *pszWho, const char *pszName)
{
    if (g_hModKernel32)
        return;
    RTAssertReport1("g_hModKernel32", __LINE__, __FILE__, pszWho);
    RTAssertReport2("%s(%s,,) is called before ZOLT has configured the windows loader!\n", pszWho, pszName);
    RT_BREAKPOINT();
}

static bool rtldrWinIsSep(RTUTF16 wc)
{
    return wc == '\\' || wc == '/';
}

static RTUTF16 rtldrWinFoldAscii(RTUTF16 wc)
{
    return wc >= 'A' && wc <= 'Z' ? (RTUTF16)(wc + 32) : wc;
}

unsigned rtldrWinCountSharedSeparators(const RTUTF16 *pwszSysDir, const RTUTF16 *pwszName, size_t cwcName)
{
    unsigned cSeps = 0;
    size_t iSys = 0, iName = 0;
    while (iName < cwcName)
    {
        RTUTF16 const wcSys = pwszSysDir[iSys];
        RTUTF16 const wcName = pwszName[iName];
        if (rtldrWinIsSep(wcSys))
        {
            if (!rtldrWinIsSep(wcName))
                break;
            /* A leading separator is not a directory level; a run of
               separators is one. */
            if (iSys > 0)
                cSeps++;
            while (rtldrWinIsSep(pwszSysDir[iSys]))
                iSys++;
            while (iName < cwcName && rtldrWinIsSep(pwszName[iName]))
                iName++;
            continue;
        }
        /* Letters match regardless of case (ASCII only: beyond it the case
           rules of the file system are not known here); the system
           directory's terminator matches nothing. */
        if (wcSys == 0 || rtldrWinFoldAscii(wcSys) != rtldrWinFoldAscii(wcName))
            break;
        iSys++;
        iName++;
    }
    return cSeps;
}

/** True if @a pszPath is a regular file, not a link, device or other
 *  reparse point. */
static bool rtldrWinIsRegularFile(const char *pszPath)
{
    RTFSOBJREC Info;
    int const rc = RTPathQueryInfo(pszPath, &Info, RTFSOBJATTRADD_NOTHING, RTPATH_F_ON_LINK);
    return RT_SUCCESS(rc) && RTFS_IS_FILE(Info.Attr.fMode) &&
           !(Info.Attr.fMode & (RTFS_DOS_NT_DEVICE | RTFS_DOS_NT_REPARSE_POINT));
}

static int rtldrWinLoadIfRegularFile(const char *pszPath, uint32_t fFlags, RTLDRMOD *phLdrMod)
{
    if (!rtldrWinIsRegularFile(pszPath))
        return ERR_MODULE_NOT_FOUND;
    return RTLdrLoadNativeModule(pszPath, phLdrMod, fFlags);
}

/**
 * Asks the side-by-side store where @a pszName lives for this process.
 * @returns true when a redirection exists and lies inside the system
 *          directory's tree (at least two leading levels shared), with its
 *          UTF-8 path in @a pszPath; false to take the system directory.
 */
static bool rtldrWinSxsLookup(PFNRTLDOSAPPLYFILEISOLATIONREDIRECTIONUSTR pfnRedirect, const char *pszName,
                              const RTUTF16 *pwszSysDir, char *pszPath, size_t cbPath)
{
    RTUTF16 wszName[MAX_PATH];
    RTUTF16 *pwszName = wszName;
    size_t cwcName;
    if (RT_FAILURE(RTStrToUtf16Ex(pszName, RTSTR_MAX, &pwszName, RT_ELEMENTS(wszName), &cwcName)))
        return false;

    UNICODE_STRING OrgName;
    OrgName.Buffer = (PWSTR)wszName;
    OrgName.Length = (USHORT)(cwcName * sizeof(RTUTF16));
    OrgName.MaximumLength = (USHORT)(OrgName.Length + sizeof(RTUTF16));
    static const WCHAR s_wszDefaultSuffix[] = L".dll";
    UNICODE_STRING DefaultSuffix;
    DefaultSuffix.Buffer = (PWSTR)s_wszDefaultSuffix;
    DefaultSuffix.Length = 8;
    DefaultSuffix.MaximumLength = 10;
    WCHAR wszStatic[259];
    UNICODE_STRING StaticString;
    StaticString.Buffer = wszStatic;
    StaticString.Length = 0;
    StaticString.MaximumLength = sizeof(wszStatic);
    UNICODE_STRING DynamicString = {0, 0, nullptr};
    PUNICODE_STRING pNewName = nullptr;
    NTSTATUS const rcNt =
        pfnRedirect(RTL_DOS_APPLY_FILE_REDIRECTION_USTR_FLAG_RESPECT_DOT_LOCAL, &OrgName, &DefaultSuffix, &StaticString,
                    &DynamicString, &pNewName, nullptr, nullptr, nullptr);
    if (!NT_SUCCESS(rcNt) || !pNewName)
        return false;

    /* A redirection outside the system directory's own tree (the current
       directory via a planted ".local", a user-writable folder) must not
       be honoured. */
    size_t const cwcNew = pNewName->Length / sizeof(RTUTF16);
    bool fOk = rtldrWinCountSharedSeparators(pwszSysDir, (const RTUTF16 *)pNewName->Buffer, cwcNew) >= 2;
    if (fOk)
        fOk = RT_SUCCESS(RTUtf16ToUtf8Ex((const RTUTF16 *)pNewName->Buffer, cwcNew, &pszPath, cbPath, nullptr));
    if (DynamicString.Buffer)
        RtlFreeUnicodeString(&DynamicString);
    return fOk;
}

int rtldrNativeLoadSystem(const char *pszName, const char *pszExt, uint32_t fFlags, RTLDRMOD *phLdrMod)
{
    rtldrWinAssertConfigured("rtldrNativeLoadSystem", pszName);

    if (!g_frtldrWinSxsResolved.load(std::memory_order_acquire))
    {
        HMODULE const hNtDll = g_hModNtDll ? g_hModNtDll : GetModuleHandleW(L"ntdll.dll");
        g_pfnrtldrWinSxsRedirect.store((PFNRTLDOSAPPLYFILEISOLATIONREDIRECTIONUSTR)(void *)GetProcAddress(
                                           hNtDll, "RtlDosApplyFileIsolationRedirection_Ustr"),
                                       std::memory_order_relaxed);
        g_frtldrWinSxsResolved.store(true, std::memory_order_release);
    }
    PFNRTLDOSAPPLYFILEISOLATIONREDIRECTIONUSTR const pfnRedirect =
        g_pfnrtldrWinSxsRedirect.load(std::memory_order_relaxed);

    WCHAR wszSysDir[MAX_PATH];
    UINT const cwcSysDir = GetSystemDirectoryW(wszSysDir, MAX_PATH);
    if (cwcSysDir == 0)
        return RTErrConvertFromWin32(GetLastError());
    if (cwcSysDir >= MAX_PATH)
        return ERR_FILENAME_TOO_LONG;

    char szPath[RTLDR_PATH_SIZE];
    if (pfnRedirect && rtldrWinSxsLookup(pfnRedirect, pszName, (const RTUTF16 *)wszSysDir, szPath, sizeof(szPath)))
        return rtldrWinLoadIfRegularFile(szPath, fFlags, phLdrMod);

    char *pszPath = szPath;
    int rc = RTUtf16ToUtf8Ex((const RTUTF16 *)wszSysDir, RTSTR_MAX, &pszPath, sizeof(szPath), nullptr);
    if (RT_SUCCESS(rc))
        rc = RTPathAppend(szPath, sizeof(szPath), pszName);
    if (RT_SUCCESS(rc) && *pszExt)
        rc = RTStrCat(szPath, sizeof(szPath), pszExt);
    if (RT_FAILURE(rc))
        return rc;
    return rtldrWinLoadIfRegularFile(szPath, fFlags, phLdrMod);
}

int rtldrNativeLoad(const char *pszPath, uintptr_t *phNative, uint32_t fFlags)
{
    if (fFlags & LDRLOAD_LOCAL)
        return ERR_INVALID_FLAGS;
    /* A bare or relative name would be searched for by the platform, in
       directories an attacker may control. */
    if (!RTPathStartsWithRoot(pszPath))
        return ERR_INTERNAL_ERROR_2;
    rtldrWinAssertConfigured("rtldrNativeLoad", pszPath);

    /* LoadLibraryExW would append ".dll" to a name without suffix itself;
       doing it here keeps the rule in one place and in upper case. */
    size_t cwcPath;
    int rc = RTStrCountUtf16Units(pszPath, RTSTR_MAX, &cwcPath);
    if (RT_FAILURE(rc))
        return rc;
    bool const fAddSuffix = !RTPathFindSuffix(pszPath) && !(fFlags & LDRLOAD_NO_SUFFIX);
    RTUTF16 *pwszPath = nullptr;
    rc = RTStrToUtf16Ex(pszPath, RTSTR_MAX, &pwszPath, cwcPath + 1 + (fAddSuffix ? 4 : 0), nullptr);
    if (RT_FAILURE(rc))
        return rc;
    if (fAddSuffix)
    {
        static const RTUTF16 s_wszSuffix[] = u".DLL";
        for (size_t i = 0; i < RT_ELEMENTS(s_wszSuffix); i++)
            pwszPath[cwcPath + i] = s_wszSuffix[i];
    }
    for (RTUTF16 *pwc = pwszPath; *pwc; pwc++)
        if (*pwc == '/')
            *pwc = '\\';

    HMODULE hMod;
    int const enmSafeSearch = g_enmRtLdrSafeSearch.load(std::memory_order_relaxed);
    if ((fFlags & LDRLOAD_SEARCH_SAFE) && enmSafeSearch != kRtLdrSafeSearchNo)
    {
        DWORD const fSearch =
            LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32;
        hMod = LoadLibraryExW((LPCWSTR)pwszPath, nullptr, fSearch);
        if (enmSafeSearch == kRtLdrSafeSearchUnknown)
        {
            if (!hMod && GetLastError() == ERROR_INVALID_PARAMETER)
            {
                g_enmRtLdrSafeSearch.store(kRtLdrSafeSearchNo, std::memory_order_relaxed);
                hMod = LoadLibraryExW((LPCWSTR)pwszPath, nullptr, 0);
            }
            else
                g_enmRtLdrSafeSearch.store(kRtLdrSafeSearchYes, std::memory_order_relaxed);
        }
    }
    else
        hMod = LoadLibraryExW((LPCWSTR)pwszPath, nullptr, 0);
    DWORD const dwErr = GetLastError();
    RTMemFree(pwszPath);
    if (!hMod)
        return RTErrConvertFromWin32(dwErr);
    *phNative = (uintptr_t)hMod;
    return SUCCESS;
}

int rtldrNativeClose(RTLDRMODINTERNAL *pMod)
{
    if (!(pMod->fLoadFlags & LDRLOAD_NO_UNLOAD) && !FreeLibrary((HMODULE)pMod->hNative))
        return RTErrConvertFromWin32(GetLastError());
    pMod->hNative = RTLDR_NATIVE_NIL;
    return SUCCESS;
}

int rtldrNativeGetSymbol(RTLDRMODINTERNAL *pMod, const char *pszSymbol, void **ppvValue)
{
    FARPROC const pfn = GetProcAddress((HMODULE)pMod->hNative, pszSymbol);
    if (!pfn)
    {
        *ppvValue = nullptr;
        return RTErrConvertFromWin32(GetLastError());
    }
    *ppvValue = (void *)pfn;
    return SUCCESS;
}
