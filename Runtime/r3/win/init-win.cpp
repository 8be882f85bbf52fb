/** @file
 * Runtime initialisation, Windows: version detection, process hardening,
 * optional system entry points, Windows Sockets entry points and the
 * unhandled-exception report.
 */
#include "internal/init-win.h"

#include <windows.h>

#include <zolt/err.h>
#include <zolt/ldr.h>
#include <zolt/nocrt.h>
#include <zolt/strformat.h>

#include <initializer_list>
#include <stddef.h>

#include "internal/initterm.h"
#include "internal/ldr.h"

RTL_OSVERSIONINFOEXW g_rtWinOsInfoEx;
RTWinOsType g_enmrtWinOsType = RTWINOSTYPE_UNKNOWN;
int g_enmrtWinDllSearchMode = RTWINDLLSEARCH_UNTOUCHED;
RTR3WINOPTENTRIES g_rtR3WinOpt;
void *g_apfnrtWinSock[RTR3WINSOCK_COUNT];

namespace
{

/** The filter ours replaced (null if none, or if it was ours), and whether
 *  ours is installed. */
LPTOP_LEVEL_EXCEPTION_FILTER g_pfnrtR3PrevXcptFilter;
bool g_frtR3XcptFilterInstalled;

typedef LONG(WINAPI *PFNRTLGETVERSION)(PRTL_OSVERSIONINFOW);
typedef BOOLEAN(WINAPI *PFNRTLGETNTPRODUCTTYPE)(PULONG);
typedef BOOL(WINAPI *PFNGETVERSIONEXW)(LPOSVERSIONINFOW);
typedef BOOL(WINAPI *PFNSETDLLDIRECTORYW)(LPCWSTR);
typedef BOOL(WINAPI *PFNSETDEFAULTDLLDIRECTORIES)(DWORD);
typedef LPTOP_LEVEL_EXCEPTION_FILTER(WINAPI *PFNSETUNHANDLEDEXCEPTIONFILTER)(LPTOP_LEVEL_EXCEPTION_FILTER);
typedef VOID(WINAPI *PFNGETCURRENTTHREADSTACKLIMITS)(PULONG_PTR, PULONG_PTR);

/** Resolves @a pszName from @a hMod as the given function pointer type. */
template <typename T> T rtR3WinResolve(HMODULE hMod, const char *pszName)
{
    return reinterpret_cast<T>(reinterpret_cast<void *>(GetProcAddress(hMod, pszName)));
}

/** Fills g_rtWinOsInfoEx, falling back from RtlGetVersion (which no
 *  compatibility shim lies to) to GetVersionExW and finally GetVersion. */
void rtR3WinDetectVersion(void)
{
    RTL_OSVERSIONINFOEXW *pInfo = &g_rtWinOsInfoEx;
    static_assert(sizeof(*pInfo) == 284 && sizeof(OSVERSIONINFOW) == 276);
    memset(pInfo, 0, sizeof(*pInfo));
    pInfo->dwOSVersionInfoSize = sizeof(*pInfo);
    PFNRTLGETVERSION pfnRtlGetVersion = rtR3WinResolve<PFNRTLGETVERSION>(g_hModNtDll, "RtlGetVersion");
    if (!pfnRtlGetVersion || pfnRtlGetVersion(reinterpret_cast<PRTL_OSVERSIONINFOW>(pInfo)) != 0)
    {
        /* GetVersionExW is deprecated (and shimmed), hence the lookup. */
        PFNGETVERSIONEXW pfnGetVersionExW = rtR3WinResolve<PFNGETVERSIONEXW>(g_hModKernel32, "GetVersionExW");
        memset(pInfo, 0, sizeof(*pInfo));
        pInfo->dwOSVersionInfoSize = sizeof(*pInfo);
        if (!pfnGetVersionExW || !pfnGetVersionExW(reinterpret_cast<LPOSVERSIONINFOW>(pInfo)))
        {
            memset(pInfo, 0, sizeof(*pInfo));
            pInfo->dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);
            if (!pfnGetVersionExW || !pfnGetVersionExW(reinterpret_cast<LPOSVERSIONINFOW>(pInfo)))
            {
                DWORD const uVersion = GetVersion();
                pInfo->dwMajorVersion = uVersion & 0xff;
                pInfo->dwMinorVersion = (uVersion >> 8) & 0xff;
                pInfo->dwBuildNumber = (uVersion & 0x80000000) ? 511 : (uVersion >> 16) & 0x7fff;
                pInfo->dwPlatformId = VER_PLATFORM_WIN32_NT;
            }
        }
        pInfo->wProductType = VER_NT_WORKSTATION;
        PFNRTLGETNTPRODUCTTYPE pfnGetProductType =
            rtR3WinResolve<PFNRTLGETNTPRODUCTTYPE>(g_hModNtDll, "RtlGetNtProductType");
        ULONG uProductType;
        if (pfnGetProductType && pfnGetProductType(&uProductType))
            pInfo->wProductType = (BYTE)uProductType;
    }
    g_enmrtWinOsType = rtWinClassifyOsVersion(pInfo->dwPlatformId, pInfo->dwMajorVersion, pInfo->dwMinorVersion,
                                              pInfo->dwBuildNumber, pInfo->wProductType);
}

/** Writes @a uValue in hexadecimal with "0x" to the standard error handle. */
void rtR3WinWriteHex(uint64_t uValue)
{
    char szNum[64];
    RTStrFmtU64(szNum, sizeof(szNum), uValue, 16, -1, -1, FMT_F_ALT);
    RTNoCrtWriteStdErr(szNum);
}

/**
 * The unhandled-exception report: a few raw lines on the standard error
 * handle (nothing that could need the heap or a lock the crashed thread
 * holds), then the process ends with the exception code, unless a filter
 * installed before ours wants to handle it.
 */
LONG WINAPI rtR3WinUnhandledXcptFilter(EXCEPTION_POINTERS *pXcptPtrs)
{
    const EXCEPTION_RECORD *pXcpt = pXcptPtrs ? pXcptPtrs->ExceptionRecord : nullptr;
    RTNoCrtWriteStdErr("\r\n!! Unhandled exception ");
    rtR3WinWriteHex(pXcpt ? pXcpt->ExceptionCode : 0);
    RTNoCrtWriteStdErr(" at ");
    rtR3WinWriteHex(pXcpt ? (uintptr_t)pXcpt->ExceptionAddress : 0);
    if (pXcpt && pXcpt->ExceptionCode == EXCEPTION_ACCESS_VIOLATION && pXcpt->NumberParameters >= 2)
    {
        RTNoCrtWriteStdErr(pXcpt->ExceptionInformation[0] ? " writing " : " reading ");
        rtR3WinWriteHex(pXcpt->ExceptionInformation[1]);
    }
    RTNoCrtWriteStdErr(" in thread ");
    RTNoCrtWriteStdErrPair(GetCurrentThreadId());
    if (g_rtR3WinOpt.pfnGetCurrentThreadStackLimits)
    {
        ULONG_PTR uLow = 0, uHigh = 0;
        reinterpret_cast<PFNGETCURRENTTHREADSTACKLIMITS>(g_rtR3WinOpt.pfnGetCurrentThreadStackLimits)(&uLow, &uHigh);
        RTNoCrtWriteStdErr(", stack ");
        rtR3WinWriteHex(uLow);
        RTNoCrtWriteStdErr("-");
        rtR3WinWriteHex(uHigh);
    }
    RTNoCrtWriteStdErr("\r\n");

    if (g_pfnrtR3PrevXcptFilter)
        return g_pfnrtR3PrevXcptFilter(pXcptPtrs);
    return EXCEPTION_EXECUTE_HANDLER;
}

/** An optional entry point: module, name and where to store it. */
struct RTR3WINOPTENTRY
{
    bool fNtDll;
    const char *pszName;
    size_t offEntry;
};

#define RTR3WINOPT(a_fNtDll, a_Name)                                                                                   \
    {                                                                                                                  \
        a_fNtDll, #a_Name, offsetof(RTR3WINOPTENTRIES, pfn##a_Name)                                                    \
    }
const RTR3WINOPTENTRY g_aOptEntries[] = {
    RTR3WINOPT(false, GetSystemWindowsDirectoryW),
    RTR3WINOPT(false, SystemTimeToTzSpecificLocalTime),
    RTR3WINOPT(false, CreateWaitableTimerExW),
    RTR3WINOPT(false, GetHandleInformation),
    RTR3WINOPT(false, SetHandleInformation),
    RTR3WINOPT(false, IsDebuggerPresent),
    RTR3WINOPT(false, GetSystemTimePreciseAsFileTime),
    RTR3WINOPT(false, GetTickCount64),
    RTR3WINOPT(false, QueryUnbiasedInterruptTime),
    RTR3WINOPT(false, SetWaitableTimerEx),
    RTR3WINOPT(false, GetDynamicTimeZoneInformation),
    RTR3WINOPT(false, PostQueuedCompletionStatus),
    RTR3WINOPT(false, IsProcessorFeaturePresent),
    RTR3WINOPT(true, NtQueryFullAttributesFile),
    RTR3WINOPT(true, NtDuplicateToken),
    RTR3WINOPT(true, NtAlertThread),
};
#undef RTR3WINOPT

void rtR3WinResolveOptional(void)
{
    for (auto const &Entry : g_aOptEntries)
    {
        void **ppfn = reinterpret_cast<void **>(reinterpret_cast<char *>(&g_rtR3WinOpt) + Entry.offEntry);
        *ppfn = reinterpret_cast<void *>(GetProcAddress(Entry.fNtDll ? g_hModNtDll : g_hModKernel32, Entry.pszName));
    }
    /* Terminal-server aware callers want the system's Windows directory;
       hosts that predate the call have only the plain one. */
    if (!g_rtR3WinOpt.pfnGetSystemWindowsDirectoryW)
        g_rtR3WinOpt.pfnGetSystemWindowsDirectoryW =
            reinterpret_cast<void *>(GetProcAddress(g_hModKernel32, "GetWindowsDirectoryW"));
}

/** The Windows Sockets entry points, in RTR3WINSOCK_* order. */
const char *const g_apszWinSockNames[RTR3WINSOCK_COUNT] = {
    "WSAStartup",      "WSACleanup",     "WSAGetLastError",
    "WSASetLastError", "WSACreateEvent", "WSACloseEvent",
    "WSASetEvent",     "WSAEventSelect", "WSAEnumNetworkEvents",
    "WSASocketW",      "WSASend",        "socket",
    "closesocket",     "send",           "recv",
    "recvfrom",        "sendto",         "bind",
    "listen",          "accept",         "connect",
    "shutdown",        "setsockopt",     "getsockopt",
    "ioctlsocket",     "getsockname",    "getpeername",
    "select",          "__WSAFDIsSet",   "gethostbyname",
};

/** Resolves the sockets entry points from ws2_32 (already loaded, else
 *  loaded from the system directory) or, failing that, wsock32. The
 *  library stays loaded for the life of the process. */
void rtR3WinResolveWinSock(void)
{
    HMODULE hModSock = GetModuleHandleW(L"ws2_32.dll");
    for (const char *pszName : {"ws2_32.dll", "wsock32.dll"})
    {
        if (hModSock)
            break;
        RTLDRMOD hLdrMod;
        if (RT_SUCCESS(RTLdrLoadSystemModule(pszName, LDRLOAD_NO_UNLOAD, &hLdrMod)))
            hModSock = reinterpret_cast<HMODULE>(RTLdrQueryNativeHandle(hLdrMod));
    }
    if (!hModSock)
        return;
    for (size_t i = 0; i < RTR3WINSOCK_COUNT; i++)
        g_apfnrtWinSock[i] = reinterpret_cast<void *>(GetProcAddress(hModSock, g_apszWinSockNames[i]));
}

} // namespace

int RTR3InitHardening(uint32_t fFlags)
{
    SetErrorMode(SetErrorMode(0) | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);

    /* Take the current directory out of the DLL search path, and where the
       host can, restrict it to the system directory (and, unless asked not
       to, the application's own). */
    int rc = SUCCESS;
    PFNSETDLLDIRECTORYW pfnSetDllDirectoryW = rtR3WinResolve<PFNSETDLLDIRECTORYW>(g_hModKernel32, "SetDllDirectoryW");
    if (pfnSetDllDirectoryW)
    {
        if (pfnSetDllDirectoryW(L""))
            g_enmrtWinDllSearchMode = RTWINDLLSEARCH_DLL_DIRECTORY;
        else
            rc = ERR_INTERNAL_ERROR_3;
    }
    PFNSETDEFAULTDLLDIRECTORIES pfnSetDefaultDllDirectories =
        rtR3WinResolve<PFNSETDEFAULTDLLDIRECTORIES>(g_hModKernel32, "SetDefaultDllDirectories");
    if ((g_enmrtWinOsType > RTWINOSTYPE_VISTA || (fFlags & RTR3INIT_F_SYSTEM32_DLLS)) && pfnSetDefaultDllDirectories)
    {
        bool const fSystem32Only = (fFlags & RTR3INIT_F_SYSTEM32_DLLS) != 0;
        DWORD const fDirs = fSystem32Only ? LOAD_LIBRARY_SEARCH_SYSTEM32
                                          : LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_APPLICATION_DIR;
        if (pfnSetDefaultDllDirectories(fDirs))
            g_enmrtWinDllSearchMode = fSystem32Only ? RTWINDLLSEARCH_SYSTEM32 : RTWINDLLSEARCH_SYSTEM32_APPDIR;
        else if (RT_SUCCESS(rc))
            rc = ERR_INTERNAL_ERROR_4;
    }

    g_rtR3WinOpt.pfnGetCurrentThreadStackLimits =
        reinterpret_cast<void *>(GetProcAddress(g_hModKernel32, "GetCurrentThreadStackLimits"));
    g_rtR3WinOpt.pfnSetUnhandledExceptionFilter =
        reinterpret_cast<void *>(GetProcAddress(g_hModKernel32, "SetUnhandledExceptionFilter"));
    g_rtR3WinOpt.pfnUnhandledExceptionFilter =
        reinterpret_cast<void *>(GetProcAddress(g_hModKernel32, "UnhandledExceptionFilter"));
    if (g_rtR3WinOpt.pfnSetUnhandledExceptionFilter && !g_frtR3XcptFilterInstalled)
    {
        LPTOP_LEVEL_EXCEPTION_FILTER pfnPrev = reinterpret_cast<PFNSETUNHANDLEDEXCEPTIONFILTER>(
            g_rtR3WinOpt.pfnSetUnhandledExceptionFilter)(rtR3WinUnhandledXcptFilter);
        g_pfnrtR3PrevXcptFilter = pfnPrev == rtR3WinUnhandledXcptFilter ? nullptr : pfnPrev;
        g_frtR3XcptFilterInstalled = true;
    }
    return rc;
}

int RTR3InitNative(uint32_t fFlags)
{
    /* The module handles are the loader's too: it refuses to load anything
       before they are set here. */
    g_hModKernel32 = GetModuleHandleW(L"kernel32.dll");
    g_hModNtDll = GetModuleHandleW(L"ntdll.dll");
    if (!g_hModKernel32 || !g_hModNtDll)
        return ERR_INTERNAL_ERROR_2;

    rtR3WinDetectVersion();
    int rc = SUCCESS;
    if (!(fFlags & RTR3INIT_F_UNOBTRUSIVE))
        rc = RTR3InitHardening(fFlags);
    rtR3WinResolveOptional();
    rtR3WinResolveWinSock();
    return rc;
}

uint32_t rtProcNativeSelf(void)
{
    return GetCurrentProcessId();
}
