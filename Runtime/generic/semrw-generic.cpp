/** @file
 * Read-write semaphores, write side: a recursive exclusive lock whose
 * state is guarded by a critical section, with waiting writers queued on
 * an auto-reset event so that each release wakes one of them.
 */
#include <zolt/critsect.h>
#include <zolt/err.h>
#include <zolt/mem.h>
#include <zolt/semaphore.h>

#include "internal/thread.h"

#define RTSEMRW_MAGIC 0x19640707u
#define RTSEMRW_MAGIC_DEAD 0xE69BF8F8u

struct RTSEMRWINTERNAL
{
    /** RTSEMRW_MAGIC while alive. Atomic. */
    uint32_t uMagic;
    /** Guards every field below. */
    RTCRITSECT CritSect;
    /** Recursion depth of the write owner. */
    uint32_t cWrites;
    /** Writers between deciding to wait and getting the lock (or giving
     *  up). */
    uint32_t cWritesWaiting;
    /** The write owner, NIL_RTNATIVETHREAD when none. */
    RTNATIVETHREAD hWriter;
    /** Wakes one waiting writer per release. */
    RTSEMEVENT hWriteEvent;
};

static bool rtSemRWIsAlive(RTSEMRWINTERNAL *pThis)
{
    return RT_VALID_PTR(pThis) && rtAtomic(pThis->uMagic).load() == RTSEMRW_MAGIC;
}

RTDECL(int)
RTSemRWNew(RTSEMRW *phRWSem, uint32_t fFlags, RTLOCKVALCLASS hClass, uint32_t uSubClass, const char *pszName)
{
    (void)hClass; /* lock-validator identity only */
    (void)uSubClass;
    (void)pszName;
    if (!RT_VALID_PTR(phRWSem) || (fFlags & ~RTSEMRW_FLAGS_NO_LOCK_VAL))
        return ERR_INVALID_PARAMETER;
    RTSEMRWINTERNAL *pThis = (RTSEMRWINTERNAL *)RTMemAlloc(sizeof(*pThis));
    if (!pThis)
        return ERR_NO_MEMORY;
    int rc = RTSemEventNew(&pThis->hWriteEvent, RTSEMEVENT_FLAGS_NO_LOCK_VAL);
    if (RT_SUCCESS(rc))
    {
        rc = RTCritSectCreateEx(&pThis->CritSect, RTCRITSECT_FLAGS_NO_LOCK_VAL, NIL_RTLOCKVALCLASS, 1, nullptr);
        if (RT_SUCCESS(rc))
        {
            pThis->cWrites = 0;
            pThis->cWritesWaiting = 0;
            pThis->hWriter = NIL_RTNATIVETHREAD;
            rtAtomic(pThis->uMagic).store(RTSEMRW_MAGIC);
            *phRWSem = pThis;
            return 0;
        }
        RTSemEventFree(pThis->hWriteEvent);
    }
    RTMemFree(pThis);
    return rc;
}

RTDECL(int) RTSemRWFree(RTSEMRW hRWSem)
{
    RTSEMRWINTERNAL *pThis = hRWSem;
    if (!pThis)
        return 0;
    if (!rtSemRWIsAlive(pThis))
        return ERR_INVALID_HANDLE;
    if (RT_FAILURE(RTCritSectTryAcquire(&pThis->CritSect)))
        return ERR_SEM_BUSY;
    /* Waiting writers count as users too: they still reach for the record
       when they wake. */
    if (pThis->cWrites != 0 || pThis->cWritesWaiting != 0)
    {
        RTCritSectLeave(&pThis->CritSect);
        return ERR_SEM_BUSY;
    }
    rtAtomic(pThis->uMagic).store(RTSEMRW_MAGIC_DEAD);
    RTSemEventFree(pThis->hWriteEvent);
    pThis->hWriteEvent = NIL_RTSEMEVENT;
    RTCritSectLeave(&pThis->CritSect);
    RTCritSectDestroy(&pThis->CritSect);
    RTMemFree(pThis);
    return 0;
}

/** Makes the caller the write owner (again). Called under the guard. */
static void rtSemRWTakeWrite(RTSEMRWINTERNAL *pThis, RTNATIVETHREAD hSelf)
{
    pThis->cWrites++;
    pThis->hWriter = hSelf;
}

RTDECL(int) RTSemRWLockWrite(RTSEMRW hRWSem, RTMSINTERVAL cMillies)
{
    RTSEMRWINTERNAL *pThis = hRWSem;
    if (!rtSemRWIsAlive(pThis))
        return ERR_INVALID_HANDLE;
    int rc = RTCritSectAcquire(&pThis->CritSect);
    if (RT_FAILURE(rc))
        return rc;
    RTNATIVETHREAD const hSelf = RTThreadNativeSelf();

    /* Newcomers queue behind waiting writers unless they would not wait
       anyway, so that waiters are not starved. */
    if (pThis->hWriter == hSelf || (pThis->cWrites == 0 && (pThis->cWritesWaiting == 0 || cMillies == 0)))
    {
        rtSemRWTakeWrite(pThis, hSelf);
        RTCritSectLeave(&pThis->CritSect);
        return 0;
    }
    if (cMillies == 0)
    {
        RTCritSectLeave(&pThis->CritSect);
        return ERR_TIMEOUT;
    }
    pThis->cWritesWaiting++;
    RTCritSectLeave(&pThis->CritSect);

    PRTTHREADINT pSelf = RTThreadCurrent();
    for (;;)
    {
        rtThreadBlocking(pSelf, RTTHREADSTATE_RW_WRITE, true);
        rc = RTSemEventWaitMs(pThis->hWriteEvent, cMillies);
        rtThreadUnblocked(pSelf, RTTHREADSTATE_RW_WRITE);
        if (RT_FAILURE(rc) && rc != ERR_TIMEOUT)
            break;
        if (rtAtomic(pThis->uMagic).load() != RTSEMRW_MAGIC)
        {
            rc = ERR_SEM_DESTROYED;
            break;
        }
        int rc2 = RTCritSectAcquire(&pThis->CritSect);
        if (RT_FAILURE(rc2))
        {
            rc = rc2;
            break;
        }
        if (pThis->cWrites == 0 || pThis->hWriter == hSelf)
        {
            rtSemRWTakeWrite(pThis, hSelf);
            pThis->cWritesWaiting--;
            RTCritSectLeave(&pThis->CritSect);
            return 0;
        }
        RTCritSectLeave(&pThis->CritSect);
        if (rc == ERR_TIMEOUT)
            break;
    }

    /* Given up: stop counting as a waiter (the semaphore cannot have been
       freed while we were counted). */
    if (rtAtomic(pThis->uMagic).load() == RTSEMRW_MAGIC && RT_SUCCESS(RTCritSectAcquire(&pThis->CritSect)))
    {
        pThis->cWritesWaiting--;
        RTCritSectLeave(&pThis->CritSect);
    }
    return rc;
}

RTDECL(int) RTSemRWUnlockWrite(RTSEMRW hRWSem)
{
    RTSEMRWINTERNAL *pThis = hRWSem;
    if (!rtSemRWIsAlive(pThis))
        return ERR_INVALID_HANDLE;
    int rc = RTCritSectAcquire(&pThis->CritSect);
    if (RT_FAILURE(rc))
        return rc;
    if (pThis->hWriter != RTThreadNativeSelf())
    {
        RTCritSectLeave(&pThis->CritSect);
        return ERR_NOT_OWNER;
    }
    /* Only the last release lets a waiter in; waking one earlier would
       just send it back to sleep. */
    if (--pThis->cWrites == 0)
    {
        pThis->hWriter = NIL_RTNATIVETHREAD;
        if (pThis->cWritesWaiting != 0)
            rc = RTSemEventSignal(pThis->hWriteEvent);
    }
    RTCritSectLeave(&pThis->CritSect);
    return rc;
}
