/* Critical sections, spin and fast mutexes, and the write side of the
   read-write semaphore: nesting, contention between threads, destruction
   with waiters, ownership checks, and a stress run. */
#include <zolt/critsect.h>
#include <zolt/err.h>
#include <zolt/semaphore.h>

#include <atomic>
#include <gtest/gtest.h>

#include "threadtest.h"

/* A section created and destroyed around each test. */
class CritSect : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_EQ(0, RTCritSectCreate(&m_CritSect));
    }
    void TearDown() override
    {
        EXPECT_EQ(0, RTCritSectDestroy(&m_CritSect));
    }
    RTCRITSECT m_CritSect;
};

TEST_F(CritSect, OwnerNestsAndFreesAfterAsManyLeaves)
{
    ASSERT_EQ(0, RTCritSectAcquire(&m_CritSect));
    ASSERT_EQ(0, RTCritSectAcquire(&m_CritSect));
    ASSERT_EQ(0, RTCritSectTryAcquire(&m_CritSect));
    EXPECT_EQ(3u, m_CritSect.cNestings);
    EXPECT_EQ(RTThreadNativeSelf(), m_CritSect.hOwner);

    /* Another thread finds it busy until the third leave. */
    auto tryFromOtherThread = [&] {
        TstThread Other;
        EXPECT_EQ(0, Other.start(
                         [&] {
                             int rc = RTCritSectTryAcquire(&m_CritSect);
                             if (RT_SUCCESS(rc))
                                 rc = RTCritSectLeave(&m_CritSect);
                             return rc;
                         },
                         "trier"));
        return Other.join();
    };
    EXPECT_EQ(ERR_SEM_BUSY, tryFromOtherThread());
    EXPECT_EQ(0, RTCritSectLeave(&m_CritSect));
    EXPECT_EQ(0, RTCritSectLeave(&m_CritSect));
    EXPECT_EQ(ERR_SEM_BUSY, tryFromOtherThread());
    EXPECT_EQ(0, RTCritSectLeave(&m_CritSect));
    EXPECT_EQ(-1, m_CritSect.cLockers);
    EXPECT_EQ(NIL_RTNATIVETHREAD, m_CritSect.hOwner);
    EXPECT_EQ(0, tryFromOtherThread());
}

TEST_F(CritSect, LeaveByNonOwnerChangesNothing)
{
    EXPECT_EQ(ERR_NOT_OWNER, RTCritSectLeave(&m_CritSect)); /* free */
    ASSERT_EQ(0, RTCritSectAcquire(&m_CritSect));
    TstThread Other;
    ASSERT_EQ(0, Other.start([&] { return RTCritSectLeave(&m_CritSect); }, "leaver"));
    EXPECT_EQ(ERR_NOT_OWNER, Other.join());
    EXPECT_EQ(1u, m_CritSect.cNestings);
    EXPECT_EQ(0, m_CritSect.cLockers);
    EXPECT_EQ(0, RTCritSectLeave(&m_CritSect));
}

TEST_F(CritSect, WaiterGetsSectionOnLeave)
{
    ASSERT_EQ(0, RTCritSectAcquire(&m_CritSect));
    bool fWaiterInside = false; /* written under the section */
    TstThread Waiter;
    ASSERT_EQ(0, Waiter.start(
                     [&] {
                         int rc = RTCritSectAcquire(&m_CritSect);
                         if (RT_FAILURE(rc))
                             return rc;
                         fWaiterInside = true;
                         return RTCritSectLeave(&m_CritSect);
                     },
                     "waiter"));
    ASSERT_TRUE(tstWaitUntilBlocked(Waiter.handle(), RTTHREADSTATE_CRITSECT));
    EXPECT_FALSE(fWaiterInside);
    EXPECT_EQ(0, RTCritSectLeave(&m_CritSect));
    EXPECT_EQ(0, Waiter.join());
    ASSERT_EQ(0, RTCritSectAcquire(&m_CritSect));
    EXPECT_TRUE(fWaiterInside);
    EXPECT_EQ(0, RTCritSectLeave(&m_CritSect));
}

TEST(CritSectFlags, NoNestingRefusesSecondEnterAndKeepsState)
{
    RTCRITSECT CritSect;
    ASSERT_EQ(0, RTCritSectCreateEx(&CritSect, RTCRITSECT_FLAGS_NO_NESTING));
    ASSERT_EQ(0, RTCritSectAcquire(&CritSect));
    EXPECT_EQ(ERR_SEM_NESTED, RTCritSectAcquire(&CritSect));
    EXPECT_EQ(ERR_SEM_NESTED, RTCritSectTryAcquire(&CritSect));
    EXPECT_EQ(1u, CritSect.cNestings);
    EXPECT_EQ(0, CritSect.cLockers);
    EXPECT_EQ(0, RTCritSectLeave(&CritSect));
    EXPECT_EQ(-1, CritSect.cLockers);
    EXPECT_EQ(0, RTCritSectDestroy(&CritSect));
}

TEST(CritSectFlags, NopSectionNeverLocks)
{
    RTCRITSECT CritSect;
    ASSERT_EQ(0, RTCritSectCreateEx(&CritSect, RTCRITSECT_FLAGS_NOP | RTCRITSECT_FLAGS_NO_NESTING));
    EXPECT_EQ(0, RTCritSectAcquire(&CritSect));
    EXPECT_EQ(0, RTCritSectAcquire(&CritSect));
    TstThread Other;
    ASSERT_EQ(0, Other.start([&] { return RTCritSectTryAcquire(&CritSect); }, "nop"));
    EXPECT_EQ(0, Other.join());
    EXPECT_EQ(-1, CritSect.cLockers);
    EXPECT_EQ(0, RTCritSectLeave(&CritSect));
    EXPECT_EQ(0, RTCritSectDestroy(&CritSect));
}

TEST(CritSectFlags, BadFlagsAndDeadSections)
{
    RTCRITSECT CritSect;
    EXPECT_EQ(ERR_INVALID_PARAMETER, RTCritSectCreateEx(&CritSect, 0x10));
    EXPECT_EQ(ERR_INVALID_PARAMETER, RTCritSectCreateEx(nullptr, 0));
    ASSERT_EQ(0, RTCritSectCreateEx(&CritSect, RTCRITSECT_FLAGS_NO_LOCK_VAL | RTCRITSECT_FLAGS_BOOTSTRAP));
    EXPECT_EQ(0, RTCritSectDestroy(&CritSect));
    EXPECT_EQ(RTCRITSECT_MAGIC_DEAD, CritSect.uMagic);
    EXPECT_EQ(ERR_SEM_DESTROYED, RTCritSectAcquire(&CritSect));
    EXPECT_EQ(ERR_SEM_DESTROYED, RTCritSectTryAcquire(&CritSect));
    EXPECT_EQ(ERR_SEM_DESTROYED, RTCritSectLeave(&CritSect));
    EXPECT_EQ(0, RTCritSectDestroy(&CritSect)); /* twice is harmless */
}

/* Every thread queueing for a section that is destroyed gets -363. */
TEST(CritSectDestroy, WakesEveryWaiterWithDestroyed)
{
    RTCRITSECT CritSect;
    ASSERT_EQ(0, RTCritSectCreate(&CritSect));
    ASSERT_EQ(0, RTCritSectAcquire(&CritSect));
    TstThread aWaiters[4];
    for (auto &Waiter : aWaiters)
    {
        ASSERT_EQ(0, Waiter.start([&] { return RTCritSectAcquire(&CritSect); }, "waiter"));
        ASSERT_TRUE(tstWaitUntilBlocked(Waiter.handle(), RTTHREADSTATE_CRITSECT));
    }
    EXPECT_EQ(0, RTCritSectDestroy(&CritSect));
    for (auto &Waiter : aWaiters)
        EXPECT_EQ(ERR_SEM_DESTROYED, Waiter.join());
    EXPECT_EQ(-1, CritSect.cLockers);
}

TEST(SemSpinMutex, NonNestingLock)
{
    RTSEMSPINMUTEX hMtx;
    EXPECT_EQ(ERR_INVALID_PARAMETER, RTSemSpinMutexNew(&hMtx, 2));
    ASSERT_EQ(0, RTSemSpinMutexNew(&hMtx, RTSEMSPINMUTEX_FLAGS_IRQ_SAFE));
    EXPECT_EQ(0, RTSemSpinMutexLock(hMtx));
    EXPECT_EQ(ERR_SEM_NESTED, RTSemSpinMutexLock(hMtx));
    EXPECT_EQ(0, RTSemSpinMutexUnlock(hMtx));
    EXPECT_EQ(ERR_NOT_OWNER, RTSemSpinMutexUnlock(hMtx));
    EXPECT_EQ(0, RTSemSpinMutexFree(hMtx));

    EXPECT_EQ(ERR_INVALID_PARAMETER, RTSemSpinMutexFree(NIL_RTSEMSPINMUTEX));
    EXPECT_EQ(ERR_INVALID_HANDLE, RTSemSpinMutexLock(NIL_RTSEMSPINMUTEX));
    EXPECT_EQ(ERR_INVALID_HANDLE, RTSemSpinMutexUnlock((RTSEMSPINMUTEX)(intptr_t)-1));
}

TEST(SemFastMutex, NonNestingLock)
{
    RTSEMFASTMUTEX hMtx;
    ASSERT_EQ(0, RTSemFastMutexNew(&hMtx));
    EXPECT_EQ(0, RTSemFastMutexRequest(hMtx));
    EXPECT_EQ(ERR_SEM_NESTED, RTSemFastMutexRequest(hMtx));
    TstThread Other;
    ASSERT_EQ(0, Other.start([&] { return RTSemFastMutexRelease(hMtx); }, "releaser"));
    EXPECT_EQ(ERR_NOT_OWNER, Other.join());
    EXPECT_EQ(0, RTSemFastMutexRelease(hMtx));
    EXPECT_EQ(0, RTSemFastMutexFree(hMtx));
    EXPECT_EQ(0, RTSemFastMutexFree(NIL_RTSEMFASTMUTEX));
    EXPECT_EQ(ERR_INVALID_HANDLE, RTSemFastMutexRequest((RTSEMFASTMUTEX)(intptr_t)8));
}

/* A read-write semaphore created and freed around each test. */
class SemRW : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_EQ(0, RTSemRWNew(&m_hRW, RTSEMRW_FLAGS_NO_LOCK_VAL));
    }
    void TearDown() override
    {
        EXPECT_EQ(0, RTSemRWFree(m_hRW));
    }
    /** Runs @a fn on another thread and returns its result. */
    static int onOtherThread(std::function<int()> fn)
    {
        TstThread Other;
        int rc = Other.start(std::move(fn), "other");
        return RT_SUCCESS(rc) ? Other.join() : rc;
    }
    RTSEMRW m_hRW = NIL_RTSEMRW;
};

TEST_F(SemRW, WriteLockIsRecursive)
{
    ASSERT_EQ(0, RTSemRWLockWrite(m_hRW, INDEFINITE_WAIT));
    ASSERT_EQ(0, RTSemRWLockWrite(m_hRW, 0));
    EXPECT_EQ(ERR_SEM_BUSY, RTSemRWFree(m_hRW));
    EXPECT_EQ(0, RTSemRWUnlockWrite(m_hRW));
    EXPECT_EQ(ERR_TIMEOUT, onOtherThread([&] { return RTSemRWLockWrite(m_hRW, 0); })); /* still held once */
    EXPECT_EQ(0, RTSemRWUnlockWrite(m_hRW));
    EXPECT_EQ(ERR_NOT_OWNER, RTSemRWUnlockWrite(m_hRW));
    EXPECT_EQ(0, onOtherThread([&] {
                  int rc = RTSemRWLockWrite(m_hRW, 0);
                  return RT_SUCCESS(rc) ? RTSemRWUnlockWrite(m_hRW) : rc;
              }));
}

TEST_F(SemRW, ForeignUnlockIsRefused)
{
    ASSERT_EQ(0, RTSemRWLockWrite(m_hRW, INDEFINITE_WAIT));
    EXPECT_EQ(ERR_NOT_OWNER, onOtherThread([&] { return RTSemRWUnlockWrite(m_hRW); }));
    /* Still ours. */
    EXPECT_EQ(ERR_TIMEOUT, onOtherThread([&] { return RTSemRWLockWrite(m_hRW, 0); }));
    EXPECT_EQ(0, RTSemRWUnlockWrite(m_hRW));
}

TEST_F(SemRW, WaitingWriterGetsLockOnRelease)
{
    ASSERT_EQ(0, RTSemRWLockWrite(m_hRW, INDEFINITE_WAIT));
    TstThread Writer;
    ASSERT_EQ(0, Writer.start(
                     [&] {
                         int rc = RTSemRWLockWrite(m_hRW, INDEFINITE_WAIT);
                         return RT_SUCCESS(rc) ? RTSemRWUnlockWrite(m_hRW) : rc;
                     },
                     "writer"));
    ASSERT_TRUE(tstWaitUntilBlocked(Writer.handle(), RTTHREADSTATE_RW_WRITE));
    EXPECT_EQ(0, RTSemRWUnlockWrite(m_hRW));
    EXPECT_EQ(0, Writer.join());
}

TEST_F(SemRW, FiniteWaitTimesOut)
{
    ASSERT_EQ(0, RTSemRWLockWrite(m_hRW, INDEFINITE_WAIT));
    EXPECT_EQ(ERR_TIMEOUT, onOtherThread([&] { return RTSemRWLockWrite(m_hRW, 20); }));
    EXPECT_EQ(0, RTSemRWUnlockWrite(m_hRW));
}

TEST(SemRWBadInput, Statuses)
{
    RTSEMRW hRW;
    EXPECT_EQ(ERR_INVALID_PARAMETER, RTSemRWNew(&hRW, 2));
    EXPECT_EQ(0, RTSemRWFree(NIL_RTSEMRW));
    RTSEMRW const hBad = (RTSEMRW)(intptr_t)-4095;
    EXPECT_EQ(ERR_INVALID_HANDLE, RTSemRWFree(hBad));
    EXPECT_EQ(ERR_INVALID_HANDLE, RTSemRWLockWrite(hBad, 0));
    EXPECT_EQ(ERR_INVALID_HANDLE, RTSemRWUnlockWrite(hBad));
    EXPECT_EQ(ERR_INVALID_HANDLE, RTSemRWLockWrite(NIL_RTSEMRW, 0));
}

/* Many threads take turns in one section, nesting now and then, while
   each also creates and waits for short-lived threads; the plain counter
   shows whether the section ever let two threads in. */
TEST(CritSectStress, ThreadsShareOneSection)
{
    static RTCRITSECT s_CritSect;
    ASSERT_EQ(0, RTCritSectCreate(&s_CritSect));
    static uint64_t s_cIncrements; /* guarded by s_CritSect */
    s_cIncrements = 0;
    static std::atomic<int> s_cFailures;
    s_cFailures = 0;

    unsigned const cThreads = 8;
    unsigned const cRounds = 2000;
    unsigned const cChildEvery = 250;
    auto worker = [](RTTHREAD, void *) -> int {
        for (unsigned i = 0; i < cRounds; i++)
        {
            if (RT_FAILURE(RTCritSectAcquire(&s_CritSect)))
                return ERR_GENERAL_FAILURE;
            bool const fNest = i % 7 == 0;
            if (fNest && RT_FAILURE(RTCritSectAcquire(&s_CritSect)))
                return ERR_GENERAL_FAILURE;
            uint64_t c = s_cIncrements; /* a torn read-modify-write shows as a lost count */
            RTThreadYieldNow();
            s_cIncrements = c + 1;
            if (fNest)
                RTCritSectLeave(&s_CritSect);
            RTCritSectLeave(&s_CritSect);

            if (i % cChildEvery == 0)
            {
                RTTHREAD hChild;
                auto child = [](RTTHREAD, void *pv) -> int { return (int)(intptr_t)pv; };
                int rc = RTThreadCreate(&hChild, child, (void *)(intptr_t)i, 0, RTTHREADTYPE_DEFAULT,
                                        RTTHREADFLAGS_WAITABLE, "child");
                int rcChild = -1;
                if (RT_FAILURE(rc) || RT_FAILURE(RTThreadWaitForExit(hChild, TST_WAIT_MS, &rcChild)) ||
                    rcChild != (int)i)
                    s_cFailures++;
            }
        }
        return 0;
    };

    RTTHREAD ahThreads[cThreads];
    for (unsigned i = 0; i < cThreads; i++)
        ASSERT_EQ(0, RTThreadCreate(&ahThreads[i], worker, nullptr, 0, RTTHREADTYPE_DEFAULT, RTTHREADFLAGS_WAITABLE,
                                    "stress"));
    for (unsigned i = 0; i < cThreads; i++)
    {
        int rcThread = -1;
        EXPECT_EQ(0, RTThreadWaitForExit(ahThreads[i], TST_WAIT_MS, &rcThread)) << i;
        EXPECT_EQ(0, rcThread) << i;
    }
    EXPECT_EQ((uint64_t)cThreads * cRounds, s_cIncrements);
    EXPECT_EQ(0, s_cFailures.load());
    EXPECT_EQ(-1, s_CritSect.cLockers);
    EXPECT_EQ(0, RTCritSectDestroy(&s_CritSect));
}
