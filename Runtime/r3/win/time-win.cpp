/** @file
 * Time, Windows: the monotonic clock and the wall clock.
 */
#include <windows.h>

#include <zolt/time.h>

#include <atomic>

#include "internal/init-win.h"
#include "internal/time.h"

typedef uint64_t (*PFNRTTIMENANOTS)(void);
typedef ULONGLONG(NTAPI *PFNRTLGETINTERRUPTTIMEPRECISE)(PULONGLONG pu64PerfCounter);

static uint64_t rtTimeNanoTSProbe(void);

/** The chosen clock source; the probe replaces itself on the first call. */
static std::atomic<PFNRTTIMENANOTS> g_pfnRtTimeNanoTS{rtTimeNanoTSProbe};
static std::atomic<PFNRTLGETINTERRUPTTIMEPRECISE> g_pfnRtlGetInterruptTimePrecise{nullptr};

/** NT 3.1 has neither the precise interrupt-time export nor an interrupt
 *  time in the shared user data page; the tick count is all there is. */
static uint64_t rtTimeNanoTSTickCount(void)
{
    return (uint64_t)GetTickCount() * 1000000;
}

static uint64_t rtTimeNanoTSInterruptTimePrecise(void)
{
    ULONGLONG u64PerfCounter;
    return (uint64_t)g_pfnRtlGetInterruptTimePrecise.load(std::memory_order_relaxed)(&u64PerfCounter) * 100;
}

/** The interrupt time in the shared user data page (KUSER_SHARED_DATA,
 *  mapped at the same address in every process). The kernel writes the
 *  second high part first and the first high part last, so a read whose two
 *  high parts agree saw a consistent value. */
static uint64_t rtTimeNanoTSSharedUserData(void)
{
    volatile uint32_t *const pu32Low = (volatile uint32_t *)(uintptr_t)0x7FFE0008;
    volatile int32_t *const pi32High1 = (volatile int32_t *)(uintptr_t)0x7FFE000C;
    volatile int32_t *const pi32High2 = (volatile int32_t *)(uintptr_t)0x7FFE0010;
    uint32_t u32Low;
    int32_t i32High;
    do
    {
        i32High = *pi32High1;
        u32Low = *pu32Low;
    } while (i32High != *pi32High2);
    return (((uint64_t)(uint32_t)i32High << 32) | u32Low) * 100;
}

static uint64_t rtTimeNanoTSProbe(void)
{
    /* NT 3.1 and the Windows 9x family, by the start-up's classification;
       before the start-up has classified the host, NT 3.x below 3.50 by
       GetVersion. */
    bool fTickCount;
    if (g_enmrtWinOsType != RTWINOSTYPE_UNKNOWN)
        fTickCount = g_enmrtWinOsType <= RTWINOSTYPE_NT310;
    else
    {
        DWORD const uVersion = GetVersion();
        fTickCount = (uVersion & 0xFF) == 3 && ((uVersion >> 8) & 0xFF) < 50 && !(uVersion & 0x80000000);
    }
    PFNRTTIMENANOTS pfn;
    if (fTickCount)
        pfn = rtTimeNanoTSTickCount;
    else
    {
        HMODULE const hNtDll = GetModuleHandleW(L"ntdll.dll");
        PFNRTLGETINTERRUPTTIMEPRECISE pfnPrecise =
            hNtDll ? (PFNRTLGETINTERRUPTTIMEPRECISE)(void *)GetProcAddress(hNtDll, "RtlGetInterruptTimePrecise")
                   : nullptr;
        if (pfnPrecise)
        {
            g_pfnRtlGetInterruptTimePrecise.store(pfnPrecise, std::memory_order_relaxed);
            pfn = rtTimeNanoTSInterruptTimePrecise;
        }
        else
            pfn = rtTimeNanoTSSharedUserData;
    }
    g_pfnRtTimeNanoTS.store(pfn, std::memory_order_release);
    return pfn();
}

RTDECL(uint64_t) RTTimeNanoTS(void)
{
    return g_pfnRtTimeNanoTS.load(std::memory_order_acquire)();
}

RTDECL(RTTIMESPEC *) RTTimeNow(RTTIMESPEC *pTime)
{
    FILETIME Ft;
    GetSystemTimeAsFileTime(&Ft);
    pTime->i64NanosecondsRelativeToUnixEpoch =
        rtTimeFromNtTime((int64_t)(((uint64_t)Ft.dwHighDateTime << 32) | Ft.dwLowDateTime));
    return pTime;
}
