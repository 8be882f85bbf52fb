/* Windows specifics of threads and waits: interrupted waits (APCs and
   NtAlertThread) resuming or failing, priorities of the thread types,
   thread names as the platform sees them, and COM apartments. */
#include <windows.h>

#include <zolt/err.h>
#include <zolt/initterm.h>
#include <zolt/semaphore.h>
#include <zolt/thread.h>
#include <zolt/time.h>

#include <atomic>
#include <gtest/gtest.h>

#include "threadtest.h"

static std::atomic<int> g_cApcs;

static void CALLBACK tstCountingApc(ULONG_PTR uUser)
{
    (void)uUser;
    g_cApcs++;
}

static HANDLE tstNativeHandle(RTTHREAD hThread)
{
    return (HANDLE)hThread->hNative;
}

/* An event of either kind, for the cases both kinds go through. */
struct TstEvent
{
    bool fMulti;
    RTSEMEVENT hEvent = NIL_RTSEMEVENT;
    RTSEMEVENTMULTI hMulti = NIL_RTSEMEVENTMULTI;

    explicit TstEvent(bool fMultiRelease) : fMulti(fMultiRelease)
    {
        int rc = fMulti ? RTSemEventMultiNew(&hMulti) : RTSemEventNew(&hEvent);
        EXPECT_EQ(0, rc);
    }
    ~TstEvent()
    {
        EXPECT_EQ(0, fMulti ? RTSemEventMultiFree(hMulti) : RTSemEventFree(hEvent));
    }
    int wait(uint32_t fFlags, uint64_t uTimeout)
    {
        return fMulti ? RTSemEventMultiWaitFlags(hMulti, fFlags, uTimeout)
                      : RTSemEventWaitFlags(hEvent, fFlags, uTimeout);
    }
    int signal()
    {
        return fMulti ? RTSemEventMultiPost(hMulti) : RTSemEventSignal(hEvent);
    }
    RTTHREADSTATE blockState() const
    {
        return fMulti ? RTTHREADSTATE_EVENT_MULTI : RTTHREADSTATE_EVENT;
    }
};

class AlertedWait : public ::testing::TestWithParam<bool>
{
};

TEST_P(AlertedWait, ApcEndsNoResumeWaitWithInterrupted)
{
    TstEvent Event(GetParam());
    g_cApcs = 0;
    TstThread Waiter;
    ASSERT_EQ(0, Waiter.start([&] { return Event.wait(SEMWAIT_NORESUME | SEMWAIT_INDEFINITE, 0); }, "waiter"));
    ASSERT_TRUE(tstWaitUntilBlocked(Waiter.handle(), Event.blockState()));
    ASSERT_NE(0u, QueueUserAPC(tstCountingApc, tstNativeHandle(Waiter.handle()), 0));
    EXPECT_EQ(ERR_INTERRUPTED, Waiter.join());
    EXPECT_EQ(1, g_cApcs.load());
}

TEST_P(AlertedWait, ApcDoesNotEndResumingWait)
{
    TstEvent Event(GetParam());
    g_cApcs = 0;
    TstThread Waiter;
    ASSERT_EQ(0, Waiter.start([&] { return Event.wait(SEMWAIT_RESUME | SEMWAIT_INDEFINITE, 0); }, "waiter"));
    ASSERT_TRUE(tstWaitUntilBlocked(Waiter.handle(), Event.blockState()));
    ASSERT_NE(0u, QueueUserAPC(tstCountingApc, tstNativeHandle(Waiter.handle()), 0));
    /* The APC runs inside the wait, which then goes on. */
    for (unsigned cMs = 0; cMs < TST_WAIT_MS && g_cApcs == 0; cMs++)
        RTThreadSleepMs(1);
    ASSERT_EQ(1, g_cApcs.load());
    EXPECT_EQ(0, Event.signal());
    EXPECT_EQ(0, Waiter.join());
}

/* A resumed wait keeps its deadline: under a steady rain of APCs a 300 ms
   wait still times out, where restarting the full time on each APC would
   never end. */
TEST_P(AlertedWait, ResumedWaitKeepsRemainingTime)
{
    TstEvent Event(GetParam());
    g_cApcs = 0;
    std::atomic<bool> fDone{false};
    uint64_t const cNsTimeout = UINT64_C(300000000);
    uint64_t cNsElapsed = 0;
    TstThread Waiter;
    ASSERT_EQ(0, Waiter.start(
                     [&] {
                         uint64_t const uStart = RTTimeNanoTS();
                         int rc = Event.wait(SEMWAIT_RESUME | SEMWAIT_NANOSECS | SEMWAIT_RELATIVE, cNsTimeout);
                         cNsElapsed = RTTimeNanoTS() - uStart;
                         fDone = true;
                         return rc;
                     },
                     "waiter"));
    int cQueued = 0;
    int const cMaxApcs = 500; /* 20 ms apart: 10 s, far beyond the time-out */
    while (!fDone && cQueued < cMaxApcs)
    {
        if (QueueUserAPC(tstCountingApc, tstNativeHandle(Waiter.handle()), 0))
            cQueued++;
        RTThreadSleepMs(20);
    }
    EXPECT_EQ(ERR_TIMEOUT, Waiter.join());
    EXPECT_LT(cQueued, cMaxApcs);
    EXPECT_GT(g_cApcs.load(), 0);
    /* The clock and NT's wait granularity differ by well under 20 ms. */
    EXPECT_GE(cNsElapsed + UINT64_C(20000000), cNsTimeout);
}

INSTANTIATE_TEST_SUITE_P(BothKinds, AlertedWait, ::testing::Bool(), [](const ::testing::TestParamInfo<bool> &Info) {
    return Info.param ? std::string("Multi") : std::string("Event");
});

TEST(Alert, NtAlertThreadEndsNoResumeWait)
{
    typedef LONG(NTAPI * PFNNTALERTTHREAD)(HANDLE);
    PFNNTALERTTHREAD pfnNtAlertThread =
        (PFNNTALERTTHREAD)(void *)GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtAlertThread");
    if (!pfnNtAlertThread)
        GTEST_SKIP() << "ntdll has no NtAlertThread";
    RTSEMEVENTMULTI hEvent;
    ASSERT_EQ(0, RTSemEventMultiNew(&hEvent));
    TstThread Waiter;
    ASSERT_EQ(0, Waiter.start([&] { return RTSemEventMultiWaitMsNoResume(hEvent, TST_WAIT_MS); }, "waiter"));
    ASSERT_TRUE(tstWaitUntilBlocked(Waiter.handle(), RTTHREADSTATE_EVENT_MULTI));
    LONG rcNt = pfnNtAlertThread(tstNativeHandle(Waiter.handle()));
    if (rcNt == (LONG)0xC0000002 /*STATUS_NOT_IMPLEMENTED*/)
    {
        EXPECT_EQ(0, RTSemEventMultiPost(hEvent));
        EXPECT_EQ(0, Waiter.join());
        EXPECT_EQ(0, RTSemEventMultiFree(hEvent));
        GTEST_SKIP() << "NtAlertThread is not implemented here";
    }
    EXPECT_EQ(0, rcNt);
    EXPECT_EQ(ERR_INTERRUPTED, Waiter.join());
    EXPECT_EQ(0, RTSemEventMultiFree(hEvent));
}

TEST(ThreadWin, TypesSetThreadPriorities)
{
    static const int s_aiExpected[RTTHREADTYPE_END] = {
        THREAD_PRIORITY_BELOW_NORMAL, THREAD_PRIORITY_LOWEST,  THREAD_PRIORITY_BELOW_NORMAL,
        THREAD_PRIORITY_NORMAL,       THREAD_PRIORITY_NORMAL,  THREAD_PRIORITY_NORMAL,
        THREAD_PRIORITY_NORMAL,       THREAD_PRIORITY_NORMAL,  THREAD_PRIORITY_ABOVE_NORMAL,
        THREAD_PRIORITY_ABOVE_NORMAL, THREAD_PRIORITY_HIGHEST, THREAD_PRIORITY_HIGHEST,
    };
    for (int i = 0; i < RTTHREADTYPE_END; i++)
    {
        TstThread Thread;
        ASSERT_EQ(0, Thread.start([] { return GetThreadPriority(GetCurrentThread()); }, "prio", RTTHREADFLAGS_WAITABLE,
                                  (RTTHREADTYPE)i));
        EXPECT_EQ(s_aiExpected[i], Thread.join()) << "type " << i;
    }
}

TEST(ThreadWin, NameReachesThePlatform)
{
    typedef HRESULT(WINAPI * PFNGETTHREADDESCRIPTION)(HANDLE, PWSTR *);
    PFNGETTHREADDESCRIPTION pfnGet =
        (PFNGETTHREADDESCRIPTION)(void *)GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetThreadDescription");
    if (!pfnGet)
        pfnGet = (PFNGETTHREADDESCRIPTION)(void *)GetProcAddress(GetModuleHandleW(L"kernelbase.dll"),
                                                                 "GetThreadDescription");
    if (!pfnGet)
        GTEST_SKIP() << "no GetThreadDescription";
    WCHAR wszSeen[64] = L"";
    TstThread Thread;
    ASSERT_EQ(0, Thread.start(
                     [&] {
                         PWSTR pwszDesc = nullptr;
                         HRESULT hrc = pfnGet(GetCurrentThread(), &pwszDesc);
                         if (FAILED(hrc))
                             return (int)hrc;
                         lstrcpynW(wszSeen, pwszDesc, 64);
                         LocalFree(pwszDesc);
                         return 0;
                     },
                     "0123456789abcde"));
    EXPECT_EQ(0, Thread.join());
    EXPECT_STREQ(L"0123456789abcde", wszSeen);
}

/* Threads asking for COM are in the apartment they asked for while their
   function runs. ole32 is loaded from the system directory, which needs
   the runtime initialised. */
TEST(ThreadWin, ComApartments)
{
    char szArg0[] = "alert_test";
    char *apszArgs[] = {szArg0, nullptr};
    char **papszArgs = apszArgs;
    ASSERT_TRUE(RT_SUCCESS(RTR3Init(0, 1, &papszArgs, nullptr)));

    typedef HRESULT(WINAPI * PFNCOGETAPARTMENTTYPE)(int *, int *);
    struct
    {
        uint32_t fFlags;
        int iAptType; /* APTTYPE_STA 0, APTTYPE_MTA 1, APTTYPE_MAINSTA 3 */
    } const aCases[] = {{RTTHREADFLAGS_COM_MTA, 1}, {RTTHREADFLAGS_COM_STA, 0}};
    for (auto const &Case : aCases)
    {
        TstThread Thread;
        ASSERT_EQ(0, Thread.start(
                         [] {
                             HMODULE hOle32 = GetModuleHandleW(L"ole32.dll");
                             if (!hOle32)
                                 return -1000;
                             auto pfnGetAptType =
                                 (PFNCOGETAPARTMENTTYPE)(void *)GetProcAddress(hOle32, "CoGetApartmentType");
                             if (!pfnGetAptType)
                                 return -1001;
                             int iType = -1, iQualifier = -1;
                             HRESULT hrc = pfnGetAptType(&iType, &iQualifier);
                             return SUCCEEDED(hrc) ? iType : -1002;
                         },
                         "com", RTTHREADFLAGS_WAITABLE | Case.fFlags));
        int iType = Thread.join();
        EXPECT_TRUE(iType == Case.iAptType || (Case.iAptType == 0 && iType == 3))
            << "flags " << Case.fFlags << " type " << iType;
    }
}
