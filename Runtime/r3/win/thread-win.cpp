/** @file
 * Threads, Windows backend: CreateThread, a TLS index as the per-thread
 * slot, thread names for debuggers and the platform, and COM for threads
 * that ask for it.
 */
#include <windows.h>

#include <zolt/assert.h>
#include <zolt/err.h>
#include <zolt/ldr.h>
#include <zolt/thread.h>

#include <intrin.h>

#include "internal/thread.h"

/** The per-thread slot holding each thread's record. Atomic. */
static DWORD g_iRtThreadTls = TLS_OUT_OF_INDEXES;

typedef BOOL(WINAPI *PFNISDEBUGGERPRESENT)(void);
typedef HRESULT(WINAPI *PFNSETTHREADDESCRIPTION)(HANDLE hThread, PCWSTR pwszDescription);
/** Optional entry points, looked up at initialisation. SetThreadDescription
 *  came with Windows 10 1607 and lives in kernelbase on some releases;
 *  Wine may not have it at all. */
static PFNISDEBUGGERPRESENT g_pfnRtIsDebuggerPresent;
static PFNSETTHREADDESCRIPTION g_pfnRtSetThreadDescription;

typedef HRESULT(WINAPI *PFNCOINITIALIZEEX)(LPVOID pvReserved, DWORD fCoInit);
typedef void(WINAPI *PFNCOUNINITIALIZE)(void);
/** ole32's entry points, cached once found (ole32 is never unloaded). */
static PFNCOINITIALIZEEX g_pfnRtCoInitializeEx;
static PFNCOUNINITIALIZE g_pfnRtCoUninitialize;

/** COINIT_* values (objbase.h is not worth its weight here). */
#define RT_COINIT_APARTMENTTHREADED 0x2
#define RT_COINIT_DISABLE_OLE1DDE 0x4
#define RT_COINIT_SPEED_OVER_MEMORY 0x8

/** The exception debuggers take as "this thread is called ...". */
#define RT_MS_VC_EXCEPTION_THREAD_NAME 0x406D1388u

int rtThreadNativeInit(void)
{
    DWORD iTls = TlsAlloc();
    if (iTls == TLS_OUT_OF_INDEXES)
        return ERR_NO_TLS;
    rtAtomic(g_iRtThreadTls).store(iTls, std::memory_order_release);

    HMODULE hKernel32 = GetModuleHandleW(L"kernel32.dll");
    HMODULE hKernelBase = GetModuleHandleW(L"kernelbase.dll");
    if (hKernel32)
        g_pfnRtIsDebuggerPresent = (PFNISDEBUGGERPRESENT)(void *)GetProcAddress(hKernel32, "IsDebuggerPresent");
    PFNSETTHREADDESCRIPTION pfnSetDesc = nullptr;
    if (hKernel32)
        pfnSetDesc = (PFNSETTHREADDESCRIPTION)(void *)GetProcAddress(hKernel32, "SetThreadDescription");
    if (!pfnSetDesc && hKernelBase)
        pfnSetDesc = (PFNSETTHREADDESCRIPTION)(void *)GetProcAddress(hKernelBase, "SetThreadDescription");
    g_pfnRtSetThreadDescription = pfnSetDesc;
    return 0;
}

void rtThreadNativeTerm(void)
{
    TlsFree(rtAtomic(g_iRtThreadTls).exchange(TLS_OUT_OF_INDEXES));
}

int rtThreadNativeSetSelf(PRTTHREADINT pThread)
{
    DWORD iTls = rtAtomic(g_iRtThreadTls).load(std::memory_order_acquire);
    if (iTls == TLS_OUT_OF_INDEXES || !TlsSetValue(iTls, pThread))
        return ERR_TLS_SET_FAILED;
    return 0;
}

PRTTHREADINT rtThreadNativeGetSelf(void)
{
    DWORD iTls = rtAtomic(g_iRtThreadTls).load(std::memory_order_acquire);
    if (iTls == TLS_OUT_OF_INDEXES)
        return nullptr;
    /* TlsGetValue clears the last error on success; callers of the
       semaphores may be about to read theirs. */
    DWORD dwErr = GetLastError();
    PRTTHREADINT pThread = (PRTTHREADINT)TlsGetValue(iTls);
    SetLastError(dwErr);
    return pThread;
}

uint32_t rtThreadNativeSelfKey(void)
{
    return GetCurrentThreadId();
}

RTDECL(RTNATIVETHREAD) RTThreadNativeSelf(void)
{
    return GetCurrentThreadId();
}

/** Lets the name exception pass when the debugger hands it back. */
static LONG CALLBACK rtThreadWinNameXcptHandler(PEXCEPTION_POINTERS pXcpt)
{
    return pXcpt->ExceptionRecord->ExceptionCode == RT_MS_VC_EXCEPTION_THREAD_NAME ? EXCEPTION_CONTINUE_EXECUTION
                                                                                   : EXCEPTION_CONTINUE_SEARCH;
}

void rtThreadNativeAnnounceName(PRTTHREADINT pThread)
{
    if (g_pfnRtIsDebuggerPresent && g_pfnRtIsDebuggerPresent())
    {
        /* The debugger convention: a special exception whose arguments are
           0x1000, the name, the thread id and 0. GCC has no __try, so a
           vectored handler stands in for the one that swallows it. */
        struct
        {
            DWORD dwType;
            LPCSTR pszName;
            DWORD dwThreadId;
            DWORD fFlags;
        } Info = {0x1000, pThread->szThreadName, GetCurrentThreadId(), 0};
        PVOID pvHandler = AddVectoredExceptionHandler(1 /*first*/, rtThreadWinNameXcptHandler);
        if (pvHandler)
        {
            RaiseException(RT_MS_VC_EXCEPTION_THREAD_NAME, 0, sizeof(Info) / sizeof(ULONG_PTR), (ULONG_PTR *)&Info);
            RemoveVectoredExceptionHandler(pvHandler);
        }
    }
    if (g_pfnRtSetThreadDescription)
    {
        WCHAR wszName[RTTHREAD_NAME_LEN + 1];
        for (size_t i = 0; i < RT_ELEMENTS(wszName); i++)
            wszName[i] = (unsigned char)pThread->szThreadName[i];
        g_pfnRtSetThreadDescription(GetCurrentThread(), wszName);
    }
}

void rtThreadNativeSetPriority(RTTHREADTYPE enmType)
{
    SetThreadPriority(GetCurrentThread(), rtThreadTypeToPriority(enmType));
}

/** Finds ole32's entry points once; ole32 stays loaded for good.
 *  @returns true when both are available. */
static bool rtThreadWinResolveCom(void)
{
    if (rtAtomic(g_pfnRtCoUninitialize).load(std::memory_order_acquire))
        return true;
    RTLDRMOD hMod;
    if (RT_FAILURE(RTLdrLoadSystemModule("ole32.dll", LDRLOAD_NO_UNLOAD, &hMod)))
        return false;
    PFNCOINITIALIZEEX pfnInit = (PFNCOINITIALIZEEX)RTLdrResolveFunction(hMod, "CoInitializeEx");
    PFNCOUNINITIALIZE pfnUninit = (PFNCOUNINITIALIZE)RTLdrResolveFunction(hMod, "CoUninitialize");
    RTLdrCloseModule(hMod);
    if (!pfnInit || !pfnUninit)
        return false;
    /* Racing threads find the same addresses; the second store is
       harmless. */
    rtAtomic(g_pfnRtCoInitializeEx).store(pfnInit);
    rtAtomic(g_pfnRtCoUninitialize).store(pfnUninit, std::memory_order_release);
    return true;
}

/** Joins COM as the creation flags ask. @returns true when the thread must
 *  leave COM again when it ends. */
static bool rtThreadWinJoinCom(uint32_t fCreateFlags)
{
    if (!rtThreadWinResolveCom())
        return false;
    DWORD fCoInit = fCreateFlags & RTTHREADFLAGS_COM_MTA ? RT_COINIT_DISABLE_OLE1DDE | RT_COINIT_SPEED_OVER_MEMORY
                                                         : RT_COINIT_APARTMENTTHREADED | RT_COINIT_SPEED_OVER_MEMORY;
    return rtAtomic(g_pfnRtCoInitializeEx).load()(NULL, fCoInit) >= 0;
}

static DWORD WINAPI rtThreadNativeMain(LPVOID pvThread)
{
    PRTTHREADINT pThread = (PRTTHREADINT)pvThread;
    if (RT_FAILURE(rtThreadNativeSetSelf(pThread)))
    {
        /* Without its record the thread cannot take part in any wait. */
        DWORD dwErr = GetLastError();
        RTAssertReport1("fRc", __LINE__, __FILE__, __PRETTY_FUNCTION__);
        RTAssertReport2("failed to set self TLS. lasterr=%d thread '%s'\n", (int)dwErr, pThread->szThreadName);
        RT_BREAKPOINT();
        __builtin_trap();
    }
    rtThreadNativeAnnounceName(pThread);
    /* The record may be gone once the body returns: read the flags now. */
    uint32_t const fCreateFlags = rtAtomic(pThread->fCreateFlags).load();
    bool fComJoined = false;
    if (fCreateFlags & (RTTHREADFLAGS_COM_MTA | RTTHREADFLAGS_COM_STA))
        fComJoined = rtThreadWinJoinCom(fCreateFlags);

    int rc = rtThreadMain(pThread, GetCurrentThreadId());

    (void)rtThreadNativeSetSelf(nullptr); /* the slot was settable a moment ago */
    if (fComJoined)
        rtAtomic(g_pfnRtCoUninitialize).load()();
    return (DWORD)rc;
}

int rtThreadNativeCreate(PRTTHREADINT pThread, uint32_t *puKey)
{
    DWORD idThread = 0;
    HANDLE hThread = CreateThread(NULL, pThread->cbStackSize, rtThreadNativeMain, pThread, 0, &idThread);
    if (!hThread)
        return RTErrConvertFromWin32(GetLastError());
    pThread->hNative = (RTNATIVETHREADHANDLE)hThread;
    *puKey = idThread;
    return 0;
}

bool rtThreadNativeIsDead(PRTTHREADINT pThread)
{
    return pThread->hNative != NIL_RTNATIVETHREADHANDLE &&
           WaitForSingleObject((HANDLE)pThread->hNative, 0) == WAIT_OBJECT_0;
}

void rtThreadNativeClose(PRTTHREADINT pThread)
{
    CloseHandle((HANDLE)pThread->hNative);
    pThread->hNative = NIL_RTNATIVETHREADHANDLE;
}

RTDECL(int) RTThreadSleepMs(RTMSINTERVAL cMillies)
{
    Sleep(cMillies);
    return 0;
}

RTDECL(bool) RTThreadYieldNow(void)
{
    uint64_t uStart = __rdtsc();
    Sleep(0);
    uint64_t cTicks = __rdtsc() - uStart;
    return cTicks > 1500;
}
