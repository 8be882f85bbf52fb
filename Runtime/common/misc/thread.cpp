/** @file
 * Threads, host-independent part: thread records, their reference counts,
 * the registry, creation, waiting for the end, user events and the
 * blocking notifications of the semaphores.
 */
#include "internal/thread.h"

#include <zolt/assert.h>
#include <zolt/err.h>
#include <zolt/mem.h>
#include <zolt/semaphore.h>
#include <zolt/thread.h>

#include <string.h>

#include "internal/initterm.h"

/** Module initialisation states (g_uRtThreadInitState). */
enum
{
    kRtThreadInitNone = 0,
    kRtThreadInitBusy,
    kRtThreadInitDone
};
static uint32_t g_uRtThreadInitState = kRtThreadInitNone;

RTSEMRW g_hRtThreadRegistryLock = NIL_RTSEMRW;
/** The registry: tree root and record count, under the registry lock. */
static PRTTHREADINT g_pRtThreadTree = nullptr;
static uint32_t g_cRtThreadsInTree = 0;

/** Platform priority of each thread type under the one priority profile
 *  ("Default", which leaves the process's priority class alone). */
static const int8_t g_aiRtThreadTypePriorities[RTTHREADTYPE_END] = {
    /* BACKGROUND        */ -1,
    /* INFREQUENT_POLLER */ -2,
    /* MAIN_HEAVY_WORKER */ -1,
    /* EMULATION         */ 0,
    /* DEFAULT           */ 0,
    /* GUI               */ 0,
    /* MAIN_WORKER       */ 0,
    /* DISPLAY_IO        */ 0,
    /* DEBUGGER          */ 1,
    /* MSG_PUMP          */ 1,
    /* IO                */ 2,
    /* TIMER             */ 2,
};

int rtThreadTypeToPriority(RTTHREADTYPE enmType)
{
    return g_aiRtThreadTypePriorities[enmType];
}

uint32_t rtThreadAdjustStackSize(uint32_t cbStack)
{
    /* Platforms carve their guard page out of the requested size; a round
       request gets a page more so that the caller has what it asked for. */
    if (cbStack != 0 && cbStack % 0x10000 == 0)
        return cbStack + 0x1000;
    return cbStack;
}

/*
 * Records and references.
 */

static bool rtThreadIsAlive(PRTTHREADINT pThread)
{
    return RT_VALID_PTR(pThread) && rtAtomic(pThread->uMagic).load() == RTTHREADINT_MAGIC &&
           rtAtomic(pThread->cReferences).load() > 0;
}

static void rtThreadRemove(PRTTHREADINT pThread);

/** Frees a record whose last reference is gone. */
static void rtThreadDestroy(PRTTHREADINT pThread)
{
    if (rtAtomic(pThread->fInternalFlags).load() & RTTHREADINT_FLAGS_IN_TREE)
        rtThreadRemove(pThread);
    rtAtomic(pThread->uMagic).store(RTTHREADINT_MAGIC_DEAD);
    rtAtomic(pThread->Key).store(0);
    RTSemEventMultiFree(rtAtomic(pThread->hUserEvent).exchange(NIL_RTSEMEVENTMULTI));
    RTSemEventMultiFree(rtAtomic(pThread->hExitEvent).exchange(NIL_RTSEMEVENTMULTI));
    if (rtThreadNativeGetSelf() == pThread)
        (void)rtThreadNativeSetSelf(nullptr); /* clearing a slot we could set before does not fail */
    if (pThread->hNative != NIL_RTNATIVETHREADHANDLE)
        rtThreadNativeClose(pThread);
    RTMemFree(pThread);
}

static uint32_t rtThreadRelease(PRTTHREADINT pThread)
{
    int32_t cRefs = rtAtomic(pThread->cReferences).fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (cRefs == 0)
        rtThreadDestroy(pThread);
    return (uint32_t)cRefs;
}

static void rtThreadRetain(PRTTHREADINT pThread)
{
    rtAtomic(pThread->cReferences).fetch_add(1, std::memory_order_relaxed);
}

/**
 * Makes a record: two references (the creator's and the thread's own), a
 * third one for a waitable thread's first waiter.
 * @returns the record, or null when memory or an event is missing.
 */
static PRTTHREADINT rtThreadAlloc(RTTHREADTYPE enmType, uint32_t fCreateFlags, uint32_t fInternalFlags,
                                  const char *pszName)
{
    PRTTHREADINT pThread = (PRTTHREADINT)RTMemAllocZero(sizeof(*pThread));
    if (!pThread)
        return nullptr;
    size_t cchName = strlen(pszName);
    if (cchName > RTTHREAD_NAME_LEN)
        cchName = RTTHREAD_NAME_LEN;
    memcpy(pThread->szThreadName, pszName, cchName);
    pThread->szThreadName[cchName] = '\0';
    pThread->rcExit = ERR_THREAD_RUNNING;
    pThread->cReferences = 2 + (fCreateFlags & RTTHREADFLAGS_WAITABLE ? 1 : 0);
    pThread->enmType = enmType;
    pThread->fCreateFlags = fCreateFlags;
    pThread->fInternalFlags = fInternalFlags;
    pThread->enmState = RTTHREADSTATE_INITIALIZING;
    pThread->hNative = NIL_RTNATIVETHREADHANDLE;
    int rc = RTSemEventMultiNew(&pThread->hUserEvent, RTSEMEVENTMULTI_FLAGS_NO_LOCK_VAL);
    if (RT_SUCCESS(rc))
    {
        rc = RTSemEventMultiNew(&pThread->hExitEvent, RTSEMEVENTMULTI_FLAGS_NO_LOCK_VAL);
        if (RT_SUCCESS(rc))
        {
            pThread->uMagic = RTTHREADINT_MAGIC;
            return pThread;
        }
        RTSemEventMultiFree(pThread->hUserEvent);
    }
    RTMemFree(pThread);
    return nullptr;
}

/** Destroys a record nobody else has seen, whatever its count. */
static void rtThreadDiscard(PRTTHREADINT pThread)
{
    rtAtomic(pThread->cReferences).store(1);
    rtThreadRelease(pThread);
}

/*
 * The registry.
 */

/** Reports a state the registry cannot go on from and stops. */
[[noreturn]] static void rtThreadRegistryPanic(int rc, unsigned uLine, const char *pszFunction)
{
    RTAssertReport1("RT_SUCCESS_NP(rc)", uLine, __FILE__, pszFunction);
    RTAssertReport2("%Rra\n", rc);
    RT_BREAKPOINT();
    __builtin_trap();
}

static void rtThreadLockRW(void)
{
    if (!rtAtomic(g_hRtThreadRegistryLock).load())
        (void)rtThreadInit(); /* a failure shows as a failing lock just below */
    int rc = RTSemRWLockWrite(rtAtomic(g_hRtThreadRegistryLock).load(), INDEFINITE_WAIT);
    if (RT_FAILURE(rc))
        rtThreadRegistryPanic(rc, __LINE__, __PRETTY_FUNCTION__);
}

static void rtThreadUnLockRW(void)
{
    int rc = RTSemRWUnlockWrite(rtAtomic(g_hRtThreadRegistryLock).load());
    if (RT_FAILURE(rc))
        rtThreadRegistryPanic(rc, __LINE__, __PRETTY_FUNCTION__);
}

/** Registers @a pThread under @a uKey, unless its function has returned
 *  already. A stale record holding the key (its thread ended and the
 *  platform reused the identifier) is dropped from the registry. */
static void rtThreadInsert(PRTTHREADINT pThread, uint32_t uKey)
{
    rtThreadLockRW();
    if (rtAtomic(pThread->enmState).load() != RTTHREADSTATE_TERMINATED)
    {
        PRTTHREADINT pOther = rtThreadTreeGet(g_pRtThreadTree, uKey);
        if (pOther != pThread)
        {
            if (pOther)
            {
                rtAtomic(pOther->fInternalFlags).fetch_and(~RTTHREADINT_FLAGS_IN_TREE);
                rtThreadTreeRemove(&g_pRtThreadTree, uKey);
                g_cRtThreadsInTree--;
                /* Adopted records are kept alive by the registry alone. */
                if (rtAtomic(pOther->fInternalFlags).load() & RTTHREADINT_FLAGS_ALIEN)
                    rtThreadRelease(pOther);
            }
            rtAtomic(pThread->Key).store(uKey);
            if (!rtThreadTreeInsert(&g_pRtThreadTree, pThread))
            {
                RTAssertReport1("fInserted", __LINE__, __FILE__, __PRETTY_FUNCTION__);
                RTAssertReport2("Lock problem? %p (%RTnthrd) %s\n", pThread, (RTNATIVETHREAD)uKey,
                                pThread->szThreadName);
                RT_BREAKPOINT();
                __builtin_trap();
            }
            g_cRtThreadsInTree++;
            rtAtomic(pThread->fInternalFlags).fetch_or(RTTHREADINT_FLAGS_IN_TREE);
        }
    }
    rtThreadUnLockRW();
}

/** Takes @a pThread out of the registry if it is in. */
static void rtThreadRemove(PRTTHREADINT pThread)
{
    rtThreadLockRW();
    if (rtAtomic(pThread->fInternalFlags).fetch_and(~RTTHREADINT_FLAGS_IN_TREE) & RTTHREADINT_FLAGS_IN_TREE)
    {
        rtThreadTreeRemove(&g_pRtThreadTree, rtAtomic(pThread->Key).load());
        g_cRtThreadsInTree--;
    }
    rtThreadUnLockRW();
}

PRTTHREADINT rtThreadGetByKey(uint32_t uKey)
{
    rtThreadLockRW();
    PRTTHREADINT pThread = rtThreadTreeGet(g_pRtThreadTree, uKey);
    if (pThread)
        rtThreadRetain(pThread);
    rtThreadUnLockRW();
    return pThread;
}

/*
 * Module initialisation and adoption.
 */

/** Gives the calling thread, which the module did not create, a record. */
static int rtThreadAdopt(RTTHREADTYPE enmType, uint32_t fCreateFlags, uint32_t fInternalFlags, const char *pszName)
{
    PRTTHREADINT pThread = rtThreadAlloc(enmType, fCreateFlags & ~RTTHREADFLAGS_WAITABLE,
                                         fInternalFlags | RTTHREADINT_FLAGS_ALIEN, pszName);
    if (!pThread)
        return ERR_NO_MEMORY;
    int rc = rtThreadNativeSetSelf(pThread);
    if (RT_FAILURE(rc))
    {
        rtThreadDiscard(pThread);
        return rc;
    }
    rtThreadNativeAnnounceName(pThread);
    rtThreadInsert(pThread, rtThreadNativeSelfKey());
    rtAtomic(pThread->enmState).store(RTTHREADSTATE_RUNNING);
    /* The one reference left belongs to the registry. */
    rtThreadRelease(pThread);
    return 0;
}

int rtThreadInit(void)
{
    /* One initialiser; latecomers wait for it (it is short and it is at
       start-up, so yielding is good enough). */
    for (;;)
    {
        uint32_t uState = kRtThreadInitNone;
        if (rtAtomic(g_uRtThreadInitState).compare_exchange_strong(uState, kRtThreadInitBusy))
            break;
        if (uState == kRtThreadInitDone)
            return INF_ALREADY_INITIALIZED;
        RTThreadYieldNow();
    }

    RTSEMRW hLock;
    int rc = RTSemRWNew(&hLock, RTSEMRW_FLAGS_NO_LOCK_VAL, NIL_RTLOCKVALCLASS, 1, nullptr);
    if (RT_SUCCESS(rc))
    {
        rtAtomic(g_hRtThreadRegistryLock).store(hLock);
        rc = rtThreadNativeInit();
        if (RT_SUCCESS(rc))
        {
            rc = rtThreadAdopt(RTTHREADTYPE_DEFAULT, 0, RTTHREADINT_FLAGS_MAIN, "main");
            if (RT_SUCCESS(rc))
            {
                rtAtomic(g_uRtThreadInitState).store(kRtThreadInitDone);
                return 0;
            }
            rtThreadNativeTerm();
        }
        rtAtomic(g_hRtThreadRegistryLock).store(NIL_RTSEMRW);
        RTSemRWFree(hLock);
    }
    rtAtomic(g_uRtThreadInitState).store(kRtThreadInitNone);
    return rc;
}

/*
 * Creation and the thread body.
 */

RTDECL(int)
RTThreadCreate(RTTHREAD *phThread, PFNRTTHREAD pfnThread, void *pvUser, size_t cbStack, RTTHREADTYPE enmType,
               uint32_t fFlags, const char *pszName)
{
    if ((phThread && !RT_VALID_PTR(phThread)) || !RT_VALID_PTR(pfnThread))
        return ERR_INVALID_POINTER;
    if (!RT_VALID_PTR(pszName))
        return ERR_INVALID_PARAMETER;
    size_t cchName = strnlen(pszName, RTTHREAD_NAME_LEN + 1);
    if (cchName == 0 || cchName > RTTHREAD_NAME_LEN)
        return ERR_INVALID_PARAMETER;
    if (fFlags & ~RTTHREADFLAGS_VALID_MASK)
        return ERR_INVALID_FLAGS;
    /* A thread lives in one apartment. */
    if ((fFlags & (RTTHREADFLAGS_COM_MTA | RTTHREADFLAGS_COM_STA)) == (RTTHREADFLAGS_COM_MTA | RTTHREADFLAGS_COM_STA))
        return ERR_INVALID_FLAGS;
    /* There is no priority beyond the table. */
    if ((unsigned)enmType >= RTTHREADTYPE_END)
        return ERR_INVALID_PARAMETER;
    /* The record keeps the size in 32 bits, where all ones is refused: on a
       32-bit build that is ~(size_t)0 itself, on a 64-bit build every size
       from there up. */
    if (cbStack >= UINT32_MAX)
        return ERR_INVALID_PARAMETER;

    /* Initialise here rather than on the first registry lock: that lock may
       be taken on the new thread, which would then adopt itself as "main". */
    int rc = rtThreadInit();
    if (RT_FAILURE(rc))
        return rc;

    PRTTHREADINT pThread = rtThreadAlloc(enmType, fFlags, 0, pszName);
    if (!pThread)
        return ERR_NO_TMP_MEMORY;
    pThread->pfnMain = pfnThread;
    pThread->pvArg = pvUser;
    pThread->cbStackSize = rtThreadAdjustStackSize((uint32_t)cbStack);

    uint32_t uKey = 0;
    rc = rtThreadNativeCreate(pThread, &uKey);
    if (RT_SUCCESS(rc))
    {
        /* The thread registers itself as well; whichever comes second finds
           the record in place (or, if the thread is done, leaves it out). */
        if (uKey != 0)
            rtThreadInsert(pThread, uKey);
        if (phThread)
            *phThread = pThread;
        rtThreadRelease(pThread);
        return 0;
    }

    rtThreadDiscard(pThread);
    RTAssertReport1("RT_SUCCESS_NP(rc)", __LINE__, __FILE__, __PRETTY_FUNCTION__);
    RTAssertReport2("%Rra\n", rc);
    return rc;
}

int rtThreadMain(PRTTHREADINT pThread, uint32_t uKey)
{
    rtThreadInsert(pThread, uKey);
    rtThreadNativeSetPriority(pThread->enmType);
    rtAtomic(pThread->enmState).store(RTTHREADSTATE_RUNNING);

    int rc = pThread->pfnMain(pThread, pThread->pvArg);

    pThread->rcExit = rc;
    rtAtomic(pThread->enmState).store(RTTHREADSTATE_TERMINATED);
    rtAtomic(pThread->fInternalFlags).fetch_or(RTTHREADINT_FLAGS_TERMINATED);
    RTSemEventMultiPost(pThread->hExitEvent);

    rtThreadRemove(pThread);
    rtThreadRelease(pThread);
    return rc;
}

/*
 * Waiting, user events, references.
 */

RTDECL(int) RTThreadWaitForExit(RTTHREAD hThread, RTMSINTERVAL cMillies, int *prc)
{
    PRTTHREADINT pThread = hThread;
    if (!rtThreadIsAlive(pThread))
        return ERR_INVALID_HANDLE;
    rtThreadRetain(pThread);
    if (!(rtAtomic(pThread->fCreateFlags).load() & RTTHREADFLAGS_WAITABLE))
    {
        rtThreadRelease(pThread);
        return ERR_THREAD_NOT_WAITABLE;
    }

    int rcExit;
    if (rtAtomic(pThread->fInternalFlags).load() & RTTHREADINT_FLAGS_TERMINATED)
        rcExit = pThread->rcExit;
    else if (g_frtR3Terminating && rtThreadNativeIsDead(pThread))
    {
        /* The process is ending and took the thread along before its
           function returned: its exit event will never be set. */
        rcExit = pThread->rcExit == ERR_THREAD_RUNNING ? ERR_THREAD_IS_DEAD : pThread->rcExit;
    }
    else
    {
        int rc = RTSemEventMultiWaitMs(pThread->hExitEvent, cMillies);
        if (RT_FAILURE(rc))
        {
            rtThreadRelease(pThread);
            return rc;
        }
        rcExit = pThread->rcExit;
    }
    if (prc)
        *prc = rcExit;

    /* The first successful waiter releases the reference kept for it. */
    if (rtAtomic(pThread->fCreateFlags).fetch_and(~RTTHREADFLAGS_WAITABLE) & RTTHREADFLAGS_WAITABLE)
        rtThreadRelease(pThread);
    rtThreadRelease(pThread);
    return 0;
}

RTDECL(int) RTThreadSignalUserEvent(RTTHREAD hThread)
{
    PRTTHREADINT pThread = hThread;
    if (!rtThreadIsAlive(pThread))
        return ERR_INVALID_HANDLE;
    rtThreadRetain(pThread);
    int rc = RTSemEventMultiPost(pThread->hUserEvent);
    rtThreadRelease(pThread);
    return rc;
}

RTDECL(int) RTThreadWaitUserEvent(RTTHREAD hThread, RTMSINTERVAL cMillies)
{
    PRTTHREADINT pThread = hThread;
    if (!rtThreadIsAlive(pThread))
        return ERR_INVALID_HANDLE;
    rtThreadRetain(pThread);
    int rc = RTSemEventMultiWaitMs(pThread->hUserEvent, cMillies);
    rtThreadRelease(pThread);
    return rc;
}

RTDECL(RTTHREAD) RTThreadCurrent(void)
{
    return rtThreadNativeGetSelf();
}

RTDECL(const char *) RTThreadCurrentName(void)
{
    PRTTHREADINT pThread = rtThreadNativeGetSelf();
    return pThread && rtThreadIsAlive(pThread) ? pThread->szThreadName : nullptr;
}

RTDECL(RTTHREAD) RTThreadAddRef(RTTHREAD hThread)
{
    if (!rtThreadIsAlive(hThread))
        return NIL_RTTHREAD;
    rtThreadRetain(hThread);
    return hThread;
}

RTDECL(uint32_t) RTThreadReleaseRef(RTTHREAD hThread)
{
    if (!rtThreadIsAlive(hThread))
        return 0;
    return rtThreadRelease(hThread);
}

/*
 * Blocking notifications.
 */

void rtThreadBlocking(PRTTHREADINT pThread, RTTHREADSTATE enmState, bool fReallySleeping)
{
    if (!pThread)
        return;
    uint32_t uRunning = RTTHREADSTATE_RUNNING;
    rtAtomic(pThread->enmState).compare_exchange_strong(uRunning, (uint32_t)enmState);
    rtAtomic(pThread->fSleeping).store(fReallySleeping);
}

void rtThreadUnblocked(PRTTHREADINT pThread, RTTHREADSTATE enmState)
{
    if (!pThread)
        return;
    rtAtomic(pThread->fSleeping).store(false);
    uint32_t uBlocked = (uint32_t)enmState;
    rtAtomic(pThread->enmState).compare_exchange_strong(uBlocked, (uint32_t)RTTHREADSTATE_RUNNING);
}
