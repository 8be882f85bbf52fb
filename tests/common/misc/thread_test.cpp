/* Threads: creation rules, the adopted main thread, waiting for the end,
   user events, references, the registry, blocking states, and the states
   the module stops at. */
#include <zolt/critsect.h>
#include <zolt/err.h>
#include <zolt/thread.h>

#include <atomic>
#include <gtest/gtest.h>
#include <string.h>
#include <thread>

#include "heapfault.h"
#include "threadtest.h"

static int tstReturnArg(RTTHREAD, void *pvUser)
{
    return (int)(intptr_t)pvUser;
}

/* Runs first, before any other thread exists: initialising the module
   adopts this thread as "main". */
TEST(Thread, MainThreadIsAdopted)
{
    int rc = rtThreadInit();
    EXPECT_TRUE(rc == 0 || rc == INF_ALREADY_INITIALIZED) << rc;
    EXPECT_EQ(INF_ALREADY_INITIALIZED, rtThreadInit());

    RTTHREAD hSelf = RTThreadCurrent();
    ASSERT_NE(NIL_RTTHREAD, hSelf);
    EXPECT_STREQ("main", RTThreadCurrentName());
    EXPECT_EQ(RTTHREADTYPE_DEFAULT, hSelf->enmType);
    EXPECT_EQ(RTTHREADINT_FLAGS_ALIEN | RTTHREADINT_FLAGS_MAIN | RTTHREADINT_FLAGS_IN_TREE, hSelf->fInternalFlags);
    EXPECT_EQ((uint32_t)RTTHREADSTATE_RUNNING, hSelf->enmState);
    /* Only the registry holds it. */
    EXPECT_EQ(1, hSelf->cReferences);

    PRTTHREADINT pFound = rtThreadGetByKey(rtThreadNativeSelfKey());
    EXPECT_EQ(hSelf, pFound);
    if (pFound)
        RTThreadReleaseRef(pFound);
    /* The main thread is not waitable. */
    EXPECT_EQ(ERR_THREAD_NOT_WAITABLE, RTThreadWaitForExit(hSelf, 0, nullptr));
}

/* Runs while no other thread uses the heap: each allocation for a new
   thread failing in turn gives -20 and leaves nothing behind. */
TEST(Thread, CreationWithoutMemory)
{
    int rc = ERR_NO_TMP_MEMORY;
    for (long cAllocs = 0; rc == ERR_NO_TMP_MEMORY && cAllocs < 8; cAllocs++)
    {
        RTTHREAD hThread = NIL_RTTHREAD;
        {
            HeapFaultScope Heap(cAllocs);
            /* Waitable, so that the new thread frees nothing before the
               scope has put the real heap back. */
            rc =
                RTThreadCreate(&hThread, tstReturnArg, nullptr, 0, RTTHREADTYPE_DEFAULT, RTTHREADFLAGS_WAITABLE, "oom");
            if (rc == ERR_NO_TMP_MEMORY)
            {
                EXPECT_EQ(NIL_RTTHREAD, hThread);
                EXPECT_EQ(Heap.allocs(), Heap.frees()) << cAllocs;
            }
        }
        if (RT_SUCCESS(rc))
        {
            EXPECT_GT(cAllocs, 0);
            EXPECT_EQ(0, RTThreadWaitForExit(hThread, TST_WAIT_MS, nullptr));
        }
    }
    EXPECT_EQ(0, rc);
}

TEST(Thread, CreateRefusesBadArguments)
{
    RTTHREAD hThread = NIL_RTTHREAD;
    struct
    {
        RTTHREAD *phThread;
        PFNRTTHREAD pfn;
        size_t cbStack;
        int enmType;
        uint32_t fFlags;
        const char *pszName;
        int rcExpected;
    } const aCases[] = {
        {(RTTHREAD *)(intptr_t)16, tstReturnArg, 0, 4, 0, "x", ERR_INVALID_POINTER},
        {&hThread, nullptr, 0, 4, 0, "x", ERR_INVALID_POINTER},
        {&hThread, (PFNRTTHREAD)(intptr_t)-8, 0, 4, 0, "x", ERR_INVALID_POINTER},
        {&hThread, tstReturnArg, 0, 4, 0, "", ERR_INVALID_PARAMETER},
        {&hThread, tstReturnArg, 0, 4, 0, nullptr, ERR_INVALID_PARAMETER},
        {&hThread, tstReturnArg, 0, 4, 0, "0123456789abcdef", ERR_INVALID_PARAMETER}, /* 16 */
        {&hThread, tstReturnArg, 0, 4, 0x10, "x", ERR_INVALID_FLAGS},
        {&hThread, tstReturnArg, 0, 4, 0x80000001, "x", ERR_INVALID_FLAGS},
        {&hThread, tstReturnArg, 0, 4, RTTHREADFLAGS_COM_MTA | RTTHREADFLAGS_COM_STA, "x", ERR_INVALID_FLAGS},
        {&hThread, tstReturnArg, ~(size_t)0, 4, 0, "x", ERR_INVALID_PARAMETER},
        /* All ones in the record's 32 bits, on every build. */
        {&hThread, tstReturnArg, UINT32_MAX, 4, 0, "x", ERR_INVALID_PARAMETER},
        {&hThread, tstReturnArg, 0, RTTHREADTYPE_END, 0, "x", ERR_INVALID_PARAMETER},
        {&hThread, tstReturnArg, 0, -1, 0, "x", ERR_INVALID_PARAMETER},
    };
    for (size_t i = 0; i < RT_ELEMENTS(aCases); i++)
    {
        auto const &Case = aCases[i];
        EXPECT_EQ(Case.rcExpected, RTThreadCreate(Case.phThread, Case.pfn, nullptr, Case.cbStack,
                                                  (RTTHREADTYPE)Case.enmType, Case.fFlags, Case.pszName))
            << "case " << i;
        EXPECT_EQ(NIL_RTTHREAD, hThread) << "case " << i;
    }
}

TEST(Thread, NamesUpToFifteenBytes)
{
    const char *const apszNames[] = {"a", "0123456789abcde"};
    for (const char *pszName : apszNames)
    {
        char szSeen[32] = "";
        RTTHREAD hThread;
        auto fn = [](RTTHREAD hSelf, void *pv) -> int {
            const char *pszCurrent = RTThreadCurrentName();
            if (!pszCurrent || RTThreadCurrent() != hSelf)
                return ERR_GENERAL_FAILURE;
            strcpy((char *)pv, pszCurrent);
            return 0;
        };
        ASSERT_EQ(0, RTThreadCreate(&hThread, fn, szSeen, 0, RTTHREADTYPE_DEFAULT, RTTHREADFLAGS_WAITABLE, pszName));
        int rcThread = -1;
        EXPECT_EQ(0, RTThreadWaitForExit(hThread, TST_WAIT_MS, &rcThread));
        EXPECT_EQ(0, rcThread);
        EXPECT_STREQ(pszName, szSeen);
    }
}

TEST(Thread, StackSizeRule)
{
    struct
    {
        uint32_t cbIn, cbOut;
    } const aCases[] = {
        {65536, 69632}, {131072, 135168}, {65537, 65537}, {0, 0}, {69632, 69632}, {4096, 4096},
    };
    for (auto const &Case : aCases)
        EXPECT_EQ(Case.cbOut, rtThreadAdjustStackSize(Case.cbIn)) << Case.cbIn;

    /* And the platform runs threads with such stacks. */
    for (size_t cbStack : {(size_t)65536, (size_t)65537})
    {
        RTTHREAD hThread;
        ASSERT_EQ(0, RTThreadCreate(&hThread, tstReturnArg, (void *)(intptr_t)7, cbStack, RTTHREADTYPE_DEFAULT,
                                    RTTHREADFLAGS_WAITABLE, "stack"))
            << cbStack;
        EXPECT_EQ(cbStack == 65536 ? 69632u : 65537u, hThread->cbStackSize);
        int rcThread = -1;
        EXPECT_EQ(0, RTThreadWaitForExit(hThread, TST_WAIT_MS, &rcThread));
        EXPECT_EQ(7, rcThread);
    }
}

TEST(Thread, WaitableThreadIsWaitedForOnce)
{
    RTTHREAD hThread;
    ASSERT_EQ(0, RTThreadCreate(&hThread, tstReturnArg, (void *)(intptr_t)-1234, 0, RTTHREADTYPE_DEFAULT,
                                RTTHREADFLAGS_WAITABLE, "waitable"));
    /* Keep the record alive past the first wait so the second one can be
       made on a live handle. */
    ASSERT_EQ(hThread, RTThreadAddRef(hThread));
    int rcThread = 0;
    EXPECT_EQ(0, RTThreadWaitForExit(hThread, TST_WAIT_MS, &rcThread));
    EXPECT_EQ(-1234, rcThread);
    rcThread = 42;
    EXPECT_EQ(ERR_THREAD_NOT_WAITABLE, RTThreadWaitForExit(hThread, TST_WAIT_MS, &rcThread));
    EXPECT_EQ(42, rcThread);
    /* The thread's own reference may still be on its way out. */
    EXPECT_LE(RTThreadReleaseRef(hThread), 1u);
}

TEST(Thread, TimedOutWaitLeavesThreadWaitable)
{
    RTSEMEVENTMULTI hGo;
    ASSERT_EQ(0, RTSemEventMultiNew(&hGo));
    TstThread Thread;
    ASSERT_EQ(0, Thread.start([&] { return RTSemEventMultiWaitMs(hGo, TST_WAIT_MS); }, "blocked"));
    EXPECT_EQ(ERR_TIMEOUT, RTThreadWaitForExit(Thread.handle(), 0, nullptr));
    EXPECT_EQ(ERR_TIMEOUT, RTThreadWaitForExit(Thread.handle(), 5, nullptr));
    EXPECT_EQ(0, RTSemEventMultiPost(hGo));
    EXPECT_EQ(0, Thread.join());
    EXPECT_EQ(0, RTSemEventMultiFree(hGo));
}

/* A thread created without the waitable flag cannot be waited for, and
   its record goes away when its function returns. */
TEST(Thread, NonWaitableThreadRecordGoesWithIt)
{
    RTSEMEVENTMULTI hGo;
    ASSERT_EQ(0, RTSemEventMultiNew(&hGo));
    struct Shared
    {
        RTSEMEVENTMULTI hGo;
        std::atomic<uint32_t> uKey;
    } Shared = {hGo, {0}};
    auto fn = [](RTTHREAD hSelf, void *pv) -> int {
        auto *pShared = (struct Shared *)pv;
        pShared->uKey = hSelf->Key;
        return RTSemEventMultiWaitMs(pShared->hGo, TST_WAIT_MS);
    };
    RTTHREAD hThread;
    ASSERT_EQ(0, RTThreadCreate(&hThread, fn, &Shared, 0, RTTHREADTYPE_DEFAULT, 0, "detached"));
    /* While it runs the handle is good: waiting is refused, not failed. */
    EXPECT_EQ(ERR_THREAD_NOT_WAITABLE, RTThreadWaitForExit(hThread, 0, nullptr));
    while (!Shared.uKey)
        RTThreadSleepMs(1);
    uint32_t const uKey = Shared.uKey;
    PRTTHREADINT pFound = rtThreadGetByKey(uKey);
    EXPECT_EQ(hThread, pFound);
    if (pFound)
        RTThreadReleaseRef(pFound);

    /* Let it end, and watch it leave the registry. */
    EXPECT_EQ(0, RTSemEventMultiPost(hGo));
    unsigned cMs = 0;
    for (; cMs < TST_WAIT_MS; cMs++)
    {
        pFound = rtThreadGetByKey(uKey);
        if (!pFound)
            break;
        RTThreadReleaseRef(pFound);
        RTThreadSleepMs(1);
    }
    EXPECT_LT(cMs, TST_WAIT_MS);
    /* The leak checker of the sanitizer builds tells whether the record
       itself went. */
    EXPECT_EQ(0, RTSemEventMultiFree(hGo));
}

TEST(Thread, UserEventStaysSignalled)
{
    RTSEMEVENTMULTI hGo;
    ASSERT_EQ(0, RTSemEventMultiNew(&hGo));
    TstThread Thread;
    ASSERT_EQ(0, Thread.start(
                     [&] {
                         int rc = RTThreadSignalUserEvent(RTThreadCurrent());
                         if (RT_SUCCESS(rc))
                             rc = RTSemEventMultiWaitMs(hGo, TST_WAIT_MS);
                         return rc;
                     },
                     "signaller"));
    EXPECT_EQ(0, RTThreadWaitUserEvent(Thread.handle(), TST_WAIT_MS));
    EXPECT_EQ(0, RTThreadWaitUserEvent(Thread.handle(), 0));
    EXPECT_EQ(0, RTThreadWaitUserEvent(Thread.handle(), INDEFINITE_WAIT));
    EXPECT_EQ(0, RTSemEventMultiPost(hGo));
    EXPECT_EQ(0, Thread.join());
    EXPECT_EQ(0, RTSemEventMultiFree(hGo));

    /* Not yet signalled: a zero wait times out. */
    RTTHREAD hSelf = RTThreadCurrent();
    ASSERT_NE(NIL_RTTHREAD, hSelf);
    EXPECT_EQ(ERR_TIMEOUT, RTThreadWaitUserEvent(hSelf, 0));
}

TEST(Thread, BadHandles)
{
    RTTHREAD const ahBad[] = {NIL_RTTHREAD, (RTTHREAD)(intptr_t)100, (RTTHREAD)(intptr_t)-100};
    for (RTTHREAD hBad : ahBad)
    {
        EXPECT_EQ(ERR_INVALID_HANDLE, RTThreadWaitForExit(hBad, 0, nullptr)) << hBad;
        EXPECT_EQ(ERR_INVALID_HANDLE, RTThreadSignalUserEvent(hBad)) << hBad;
        EXPECT_EQ(ERR_INVALID_HANDLE, RTThreadWaitUserEvent(hBad, 0)) << hBad;
        EXPECT_EQ(NIL_RTTHREAD, RTThreadAddRef(hBad)) << hBad;
        EXPECT_EQ(0u, RTThreadReleaseRef(hBad)) << hBad;
    }
    /* A record-sized block with a wrong magic. */
    RTTHREADINT NotAThread;
    memset(&NotAThread, 0, sizeof(NotAThread));
    NotAThread.uMagic = RTTHREADINT_MAGIC_DEAD;
    NotAThread.cReferences = 1;
    EXPECT_EQ(ERR_INVALID_HANDLE, RTThreadWaitForExit(&NotAThread, 0, nullptr));
    EXPECT_EQ(NIL_RTTHREAD, RTThreadAddRef(&NotAThread));
}

TEST(Thread, ThreadsTheModuleDoesNotKnowHaveNoRecord)
{
    std::atomic<bool> fNull{false};
    std::atomic<bool> fNoName{false};
    std::thread Foreign([&] {
        fNull = RTThreadCurrent() == NIL_RTTHREAD;
        fNoName = RTThreadCurrentName() == nullptr;
    });
    Foreign.join();
    EXPECT_TRUE(fNull);
    EXPECT_TRUE(fNoName);
}

/* A thread waiting on a lock shows what it waits on, and runs again after. */
TEST(Thread, BlockingStatesFollowWaits)
{
    RTCRITSECT CritSect;
    ASSERT_EQ(0, RTCritSectCreate(&CritSect));
    ASSERT_EQ(0, RTCritSectAcquire(&CritSect));
    RTSEMEVENTMULTI hGo;
    ASSERT_EQ(0, RTSemEventMultiNew(&hGo));
    TstThread Thread;
    ASSERT_EQ(0, Thread.start(
                     [&] {
                         int rc = RTCritSectAcquire(&CritSect);
                         if (RT_FAILURE(rc))
                             return rc;
                         RTCritSectLeave(&CritSect);
                         if (RTThreadCurrent()->enmState != RTTHREADSTATE_RUNNING)
                             return ERR_WRONG_STATE;
                         return RTSemEventMultiWaitMs(hGo, TST_WAIT_MS);
                     },
                     "blocker"));
    EXPECT_TRUE(tstWaitUntilBlocked(Thread.handle(), RTTHREADSTATE_CRITSECT));
    EXPECT_EQ(0, RTCritSectLeave(&CritSect));
    EXPECT_TRUE(tstWaitUntilBlocked(Thread.handle(), RTTHREADSTATE_EVENT_MULTI));
    EXPECT_EQ(0, RTSemEventMultiPost(hGo));
    EXPECT_EQ(0, Thread.join());
    EXPECT_EQ(0, RTSemEventMultiFree(hGo));
    EXPECT_EQ(0, RTCritSectDestroy(&CritSect));
}

TEST(Thread, ReferencesKeepRecordAlive)
{
    RTTHREAD hThread;
    ASSERT_EQ(0,
              RTThreadCreate(&hThread, tstReturnArg, nullptr, 0, RTTHREADTYPE_DEFAULT, RTTHREADFLAGS_WAITABLE, "refs"));
    ASSERT_EQ(hThread, RTThreadAddRef(hThread));
    EXPECT_EQ(0, RTThreadWaitForExit(hThread, TST_WAIT_MS, nullptr));
    EXPECT_EQ((uint32_t)RTTHREADSTATE_TERMINATED, hThread->enmState);
    /* Returned and waited for: once the thread has also dropped its own
       reference (just after setting the exit event), ours is the last. */
    for (unsigned cMs = 0; cMs < TST_WAIT_MS && rtAtomic(hThread->cReferences).load() > 1; cMs++)
        RTThreadSleepMs(1);
    EXPECT_EQ(1, rtAtomic(hThread->cReferences).load());
    EXPECT_EQ(RTTHREADINT_FLAGS_TERMINATED, rtAtomic(hThread->fInternalFlags).load());
    EXPECT_EQ(0u, RTThreadReleaseRef(hThread));
}

TEST(Thread, SleepAndYield)
{
    EXPECT_EQ(0, RTThreadSleepMs(0));
    EXPECT_EQ(0, RTThreadSleepMs(1));
    (void)RTThreadYieldNow(); /* either answer is right */
}

TEST(Thread, TypesMapToPriorities)
{
    static const int s_aiExpected[RTTHREADTYPE_END] = {-1, -2, -1, 0, 0, 0, 0, 0, 1, 1, 2, 2};
    for (int i = 0; i < RTTHREADTYPE_END; i++)
        EXPECT_EQ(s_aiExpected[i], rtThreadTypeToPriority((RTTHREADTYPE)i)) << i;
}

#if GTEST_HAS_DEATH_TEST && !defined(_WIN32)
/* The states the module cannot go on from are reported through the
   assertion channel, then stop the process. */
TEST(ThreadDeathTest, NewThreadWithoutSlotStops)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            (void)rtThreadInit();
            rtThreadNativeTerm();
            RTTHREAD hThread;
            (void)RTThreadCreate(&hThread, tstReturnArg, nullptr, 0, RTTHREADTYPE_DEFAULT, RTTHREADFLAGS_WAITABLE,
                                 "noslot");
            RTThreadSleepMs(TST_WAIT_MS);
        },
        "!!Assertion Failed!!.*failed to set self TLS\\. lasterr=[0-9]+ thread 'noslot'");
}

TEST(ThreadDeathTest, FailingRegistryLockStops)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            (void)rtThreadInit();
            g_hRtThreadRegistryLock = (RTSEMRW)(intptr_t)16; /* a handle the lock refuses */
            RTTHREAD hThread;
            (void)RTThreadCreate(&hThread, tstReturnArg, nullptr, 0, RTTHREADTYPE_DEFAULT, 0, "nolock");
            RTThreadSleepMs(TST_WAIT_MS);
        },
        "!!Assertion Failed!!.*RT_SUCCESS_NP\\(rc\\).*rtThreadLockRW");
}
#endif
