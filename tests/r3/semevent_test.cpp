/* Event semaphores and multi-release event semaphores on the host's
   events: signalling between threads, time-outs, destruction with waiters,
   and the statuses for bad handles and flags. */
#include <zolt/err.h>
#include <zolt/semaphore.h>
#include <zolt/time.h>

#include <atomic>
#include <gtest/gtest.h>

#include "heapfault.h"
#include "threadtest.h"

/* Runs first, while no other thread uses the heap: every allocation the
   creation makes fails in turn, and each failure leaves nothing behind. */
TEST(SemEvent, CreationWithoutMemoryLeavesNothing)
{
    for (int fMulti = 0; fMulti < 2; fMulti++)
    {
        int rc = ERR_NO_MEMORY;
        for (long cAllocs = 0; rc == ERR_NO_MEMORY && cAllocs < 8; cAllocs++)
        {
            HeapFaultScope Heap(cAllocs);
            RTSEMEVENT hEvent = NIL_RTSEMEVENT;
            RTSEMEVENTMULTI hMulti = NIL_RTSEMEVENTMULTI;
            rc = fMulti ? RTSemEventMultiNew(&hMulti) : RTSemEventNew(&hEvent);
            if (rc == ERR_NO_MEMORY)
            {
                EXPECT_EQ(NIL_RTSEMEVENT, hEvent) << cAllocs;
                EXPECT_EQ(NIL_RTSEMEVENTMULTI, hMulti) << cAllocs;
                EXPECT_EQ(Heap.allocs(), Heap.frees()) << fMulti << " " << cAllocs;
            }
            else
            {
                EXPECT_EQ(0, rc) << cAllocs;
                EXPECT_GT(cAllocs, 0);
                EXPECT_EQ(0, fMulti ? RTSemEventMultiFree(hMulti) : RTSemEventFree(hEvent));
                EXPECT_EQ(Heap.allocs(), Heap.frees()) << fMulti << " " << cAllocs;
            }
        }
        EXPECT_EQ(0, rc) << fMulti;
    }
}

TEST(SemEvent, SignalLetsOneWaitPass)
{
    RTSEMEVENT hEvent;
    ASSERT_EQ(0, RTSemEventNew(&hEvent));
    EXPECT_EQ(ERR_TIMEOUT, RTSemEventWaitMs(hEvent, 0));
    EXPECT_EQ(0, RTSemEventSignal(hEvent));
    EXPECT_EQ(0, RTSemEventSignal(hEvent)); /* does not count */
    EXPECT_EQ(0, RTSemEventWaitMs(hEvent, 0));
    EXPECT_EQ(ERR_TIMEOUT, RTSemEventWaitMs(hEvent, 0)); /* auto-reset */
    EXPECT_EQ(ERR_TIMEOUT, RTSemEventWaitFlags(hEvent, SEMWAIT_RESUME | SEMWAIT_NANOSECS | SEMWAIT_RELATIVE, 1000));
    EXPECT_EQ(0, RTSemEventFree(hEvent));
}

TEST(SemEvent, TimeOutForms)
{
    RTSEMEVENT hEvent;
    ASSERT_EQ(0, RTSemEventNew(&hEvent));
    uint64_t const uNow = RTTimeNanoTS();
    struct
    {
        uint32_t fFlags;
        uint64_t uTimeout;
    } const aCases[] = {
        {SEMWAIT_NORESUME | SEMWAIT_MILLISECS | SEMWAIT_RELATIVE, 0},
        {SEMWAIT_RESUME | SEMWAIT_NANOSECS | SEMWAIT_RELATIVE, 1},
        {SEMWAIT_RESUME | SEMWAIT_NANOSECS | SEMWAIT_ABSOLUTE, uNow},              /* already passed */
        {SEMWAIT_RESUME | SEMWAIT_NANOSECS | SEMWAIT_ABSOLUTE, 0},                 /* long passed */
        {SEMWAIT_NORESUME | SEMWAIT_MILLISECS | SEMWAIT_ABSOLUTE, uNow / 1000000}, /* passed, in ms */
        {SEMWAIT_RESUME | SEMWAIT_NANOSECS | SEMWAIT_ABSOLUTE, uNow + 2000000},    /* 2 ms ahead */
    };
    for (auto const &Case : aCases)
        EXPECT_EQ(ERR_TIMEOUT, RTSemEventWaitFlags(hEvent, Case.fFlags, Case.uTimeout))
            << std::hex << Case.fFlags << " " << std::dec << Case.uTimeout;
    EXPECT_GE(RTTimeNanoTS(), uNow + 2000000); /* the absolute deadline was waited for */
    EXPECT_EQ(0, RTSemEventFree(hEvent));
}

/* Time-outs too large for the nanosecond clock mean no time-out at all,
   rather than wrapping around to a short one. */
TEST(SemEvent, HugeTimeOutsWaitForever)
{
    struct
    {
        uint32_t fFlags;
        uint64_t uTimeout;
    } const aCases[] = {
        {SEMWAIT_RESUME | SEMWAIT_MILLISECS | SEMWAIT_RELATIVE, UINT64_C(18446744073709)},
        {SEMWAIT_RESUME | SEMWAIT_MILLISECS | SEMWAIT_RELATIVE, UINT64_MAX},
        {SEMWAIT_NORESUME | SEMWAIT_NANOSECS | SEMWAIT_RELATIVE, UINT64_MAX},
        {SEMWAIT_RESUME | SEMWAIT_NANOSECS | SEMWAIT_ABSOLUTE, UINT64_MAX},
    };
    for (auto const &Case : aCases)
    {
        RTSEMEVENT hEvent;
        ASSERT_EQ(0, RTSemEventNew(&hEvent));
        TstThread Waiter;
        ASSERT_EQ(0, Waiter.start([&] { return RTSemEventWaitFlags(hEvent, Case.fFlags, Case.uTimeout); }, "waiter"));
        ASSERT_TRUE(tstWaitUntilBlocked(Waiter.handle(), RTTHREADSTATE_EVENT)) << std::hex << Case.fFlags;
        RTThreadSleepMs(20); /* a wrapped-around time-out would expire meanwhile */
        EXPECT_EQ(0, RTSemEventSignal(hEvent));
        EXPECT_EQ(0, Waiter.join()) << std::hex << Case.fFlags << " " << std::dec << Case.uTimeout;
        EXPECT_EQ(0, RTSemEventFree(hEvent));
    }
}

TEST(SemEvent, PingPongBetweenThreads)
{
    RTSEMEVENT hPing, hPong;
    ASSERT_EQ(0, RTSemEventNew(&hPing));
    ASSERT_EQ(0, RTSemEventNew(&hPong));
    int const cRounds = 2000;
    int cPongs = 0; /* only the pong thread writes it; the events order the reads */
    TstThread Ponger;
    ASSERT_EQ(0, Ponger.start(
                     [&] {
                         for (int i = 0; i < cRounds; i++)
                         {
                             int rc = RTSemEventWaitMs(hPing, TST_WAIT_MS);
                             if (RT_FAILURE(rc))
                                 return rc;
                             cPongs++;
                             rc = RTSemEventSignal(hPong);
                             if (RT_FAILURE(rc))
                                 return rc;
                         }
                         return 0;
                     },
                     "ponger"));
    for (int i = 0; i < cRounds; i++)
    {
        ASSERT_EQ(0, RTSemEventSignal(hPing)) << i;
        ASSERT_EQ(0, RTSemEventWaitFlags(hPong, SEMWAIT_RESUME | SEMWAIT_INDEFINITE, 0)) << i;
        ASSERT_EQ(i + 1, cPongs);
    }
    EXPECT_EQ(0, Ponger.join());
    EXPECT_EQ(0, RTSemEventFree(hPing));
    EXPECT_EQ(0, RTSemEventFree(hPong));
}

/* Two signals given while two threads wait release both of them, even if
   neither has run in between. */
TEST(SemEvent, EachSignalReleasesOneWaiter)
{
    RTSEMEVENT hEvent;
    ASSERT_EQ(0, RTSemEventNew(&hEvent));
    TstThread aWaiters[2];
    for (auto &Waiter : aWaiters)
    {
        ASSERT_EQ(0, Waiter.start([&] { return RTSemEventWaitMs(hEvent, TST_WAIT_MS); }, "waiter"));
        ASSERT_TRUE(tstWaitUntilBlocked(Waiter.handle(), RTTHREADSTATE_EVENT));
    }
    EXPECT_EQ(0, RTSemEventSignal(hEvent));
    EXPECT_EQ(0, RTSemEventSignal(hEvent));
    for (auto &Waiter : aWaiters)
        EXPECT_EQ(0, Waiter.join());
    EXPECT_EQ(0, RTSemEventFree(hEvent));
}

/* Destruction sets the event once; every waiter still learns of it. */
TEST(SemEvent, FreeWakesWaitersWithDestroyed)
{
    RTSEMEVENT hEvent;
    ASSERT_EQ(0, RTSemEventNew(&hEvent));
    TstThread aWaiters[3];
    for (auto &Waiter : aWaiters)
    {
        ASSERT_EQ(0, Waiter.start([&] { return RTSemEventWaitMs(hEvent, INDEFINITE_WAIT); }, "waiter"));
        ASSERT_TRUE(tstWaitUntilBlocked(Waiter.handle(), RTTHREADSTATE_EVENT));
    }
    EXPECT_EQ(0, RTSemEventFree(hEvent));
    for (auto &Waiter : aWaiters)
        EXPECT_EQ(ERR_SEM_DESTROYED, Waiter.join());
}

TEST(SemEvent, BadInput)
{
    RTSEMEVENT hEvent;
    EXPECT_EQ(ERR_INVALID_PARAMETER, RTSemEventNew(&hEvent, 2));
    EXPECT_EQ(ERR_INVALID_PARAMETER, RTSemEventNew(&hEvent, 8));
    EXPECT_EQ(ERR_INVALID_PARAMETER, RTSemEventNew(nullptr));
    ASSERT_EQ(0, RTSemEventNew(&hEvent, RTSEMEVENT_FLAGS_NO_LOCK_VAL | RTSEMEVENT_FLAGS_BOOTSTRAP));

    EXPECT_EQ(0, RTSemEventFree(NIL_RTSEMEVENT));
    EXPECT_EQ(ERR_INVALID_PARAMETER, RTSemEventWaitMs(NIL_RTSEMEVENT, 0));
    RTSEMEVENT const hBad = (RTSEMEVENT)(intptr_t)-16;
    EXPECT_EQ(ERR_INVALID_HANDLE, RTSemEventFree(hBad));
    EXPECT_EQ(ERR_INVALID_HANDLE, RTSemEventSignal(hBad));
    EXPECT_EQ(ERR_INVALID_HANDLE, RTSemEventWaitMs(hBad, 0));

    /* A record with the wrong magic is refused without being touched. */
    uint32_t auNotAnEvent[8] = {0x19601111};
    RTSEMEVENT const hWrongMagic = (RTSEMEVENT)auNotAnEvent;
    EXPECT_EQ(ERR_INVALID_HANDLE, RTSemEventSignal(hWrongMagic));
    EXPECT_EQ(ERR_INVALID_HANDLE, RTSemEventFree(hWrongMagic));

    uint32_t const afBadFlags[] = {
        0,                                                      /* no resume choice */
        SEMWAIT_RESUME | SEMWAIT_NORESUME | SEMWAIT_INDEFINITE, /* both */
        SEMWAIT_RESUME | SEMWAIT_MILLISECS,                     /* neither relative nor absolute */
        SEMWAIT_RESUME | SEMWAIT_RELATIVE,                      /* no unit */
        SEMWAIT_RESUME | SEMWAIT_RELATIVE | SEMWAIT_ABSOLUTE | SEMWAIT_NANOSECS,
        SEMWAIT_RESUME | SEMWAIT_RELATIVE | SEMWAIT_NANOSECS | SEMWAIT_MILLISECS,
        SEMWAIT_RESUME | SEMWAIT_INDEFINITE | 0x80,
    };
    for (uint32_t fFlags : afBadFlags)
        EXPECT_EQ(ERR_INVALID_FLAGS, RTSemEventWaitFlags(hEvent, fFlags, 0)) << std::hex << fFlags;
    /* With INDEFINITE the time-out's unit and sense do not matter. */
    EXPECT_EQ(0, RTSemEventSignal(hEvent));
    EXPECT_EQ(0, RTSemEventWaitFlags(hEvent, SEMWAIT_NORESUME | SEMWAIT_INDEFINITE | SEMWAIT_ABSOLUTE, 0));

    EXPECT_EQ(0, RTSemEventFree(hEvent));
}

TEST(SemEventMulti, PostReleasesEveryWaitUntilCleared)
{
    RTSEMEVENTMULTI hEvent;
    ASSERT_EQ(0, RTSemEventMultiNew(&hEvent));
    EXPECT_EQ(ERR_TIMEOUT, RTSemEventMultiWaitMs(hEvent, 0));
    EXPECT_EQ(ERR_TIMEOUT, RTSemEventMultiWaitMsNoResume(hEvent, 1));

    TstThread aWaiters[3];
    for (auto &Waiter : aWaiters)
    {
        ASSERT_EQ(0, Waiter.start([&] { return RTSemEventMultiWaitMs(hEvent, TST_WAIT_MS); }, "waiter"));
        ASSERT_TRUE(tstWaitUntilBlocked(Waiter.handle(), RTTHREADSTATE_EVENT_MULTI));
    }
    EXPECT_EQ(0, RTSemEventMultiPost(hEvent));
    for (auto &Waiter : aWaiters)
        EXPECT_EQ(0, Waiter.join());
    EXPECT_EQ(0, RTSemEventMultiWaitMs(hEvent, 0)); /* stays set */
    EXPECT_EQ(0, RTSemEventMultiWaitMs(hEvent, INDEFINITE_WAIT));
    EXPECT_EQ(0, RTSemEventMultiClear(hEvent));
    EXPECT_EQ(ERR_TIMEOUT, RTSemEventMultiWaitMs(hEvent, 0));
    EXPECT_EQ(0, RTSemEventMultiFree(hEvent));
}

/* A post followed at once by a clear still releases the threads that were
   waiting at the time of the post. */
TEST(SemEventMulti, PostThenClearReleasesCurrentWaiters)
{
    RTSEMEVENTMULTI hEvent;
    ASSERT_EQ(0, RTSemEventMultiNew(&hEvent));
    TstThread aWaiters[2];
    for (auto &Waiter : aWaiters)
    {
        ASSERT_EQ(0, Waiter.start([&] { return RTSemEventMultiWaitMs(hEvent, TST_WAIT_MS); }, "waiter"));
        ASSERT_TRUE(tstWaitUntilBlocked(Waiter.handle(), RTTHREADSTATE_EVENT_MULTI));
    }
    EXPECT_EQ(0, RTSemEventMultiPost(hEvent));
    EXPECT_EQ(0, RTSemEventMultiClear(hEvent));
    for (auto &Waiter : aWaiters)
        EXPECT_EQ(0, Waiter.join());
    EXPECT_EQ(0, RTSemEventMultiFree(hEvent));
}

TEST(SemEventMulti, FreeWakesEveryWaiterWithDestroyed)
{
    RTSEMEVENTMULTI hEvent;
    ASSERT_EQ(0, RTSemEventMultiNew(&hEvent));
    TstThread aWaiters[4];
    for (auto &Waiter : aWaiters)
    {
        ASSERT_EQ(0, Waiter.start([&] { return RTSemEventMultiWaitMs(hEvent, INDEFINITE_WAIT); }, "waiter"));
        ASSERT_TRUE(tstWaitUntilBlocked(Waiter.handle(), RTTHREADSTATE_EVENT_MULTI));
    }
    EXPECT_EQ(0, RTSemEventMultiFree(hEvent));
    for (auto &Waiter : aWaiters)
        EXPECT_EQ(ERR_SEM_DESTROYED, Waiter.join());
}

TEST(SemEventMulti, BadInput)
{
    RTSEMEVENTMULTI hEvent;
    EXPECT_EQ(ERR_INVALID_PARAMETER, RTSemEventMultiNew(&hEvent, 4));
    EXPECT_EQ(ERR_INVALID_PARAMETER, RTSemEventMultiNew(&hEvent, 2));
    ASSERT_EQ(0, RTSemEventMultiNew(&hEvent, RTSEMEVENTMULTI_FLAGS_NO_LOCK_VAL));

    EXPECT_EQ(0, RTSemEventMultiFree(NIL_RTSEMEVENTMULTI));
    RTSEMEVENTMULTI const hBad = (RTSEMEVENTMULTI)(intptr_t)4095;
    EXPECT_EQ(ERR_INVALID_PARAMETER, RTSemEventMultiFree(hBad));
    EXPECT_EQ(ERR_INVALID_PARAMETER, RTSemEventMultiPost(hBad));
    EXPECT_EQ(ERR_INVALID_PARAMETER, RTSemEventMultiClear(hBad));
    EXPECT_EQ(ERR_INVALID_PARAMETER, RTSemEventMultiWaitMs(hBad, 0));
    EXPECT_EQ(ERR_INVALID_PARAMETER, RTSemEventMultiWaitMs(NIL_RTSEMEVENTMULTI, 0));
    EXPECT_EQ(ERR_INVALID_PARAMETER, RTSemEventMultiWaitFlags(hEvent, SEMWAIT_RESUME, 0));
    EXPECT_EQ(ERR_INVALID_PARAMETER, RTSemEventMultiWaitFlags(hEvent, SEMWAIT_INDEFINITE, 0));

    EXPECT_EQ(0, RTSemEventMultiFree(hEvent));
}
