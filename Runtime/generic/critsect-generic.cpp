/** @file
 * Critical sections over an auto-reset event semaphore.
 *
 * cLockers counts the threads inside or queueing, minus one, so the atomic
 * increment of an enter tells at once whether the section was free; only
 * when it was not does a thread touch the event. hOwner and the magic are
 * read by other threads and so accessed atomically; cNestings belongs to
 * the owner.
 */
#include <zolt/assert.h>
#include <zolt/critsect.h>
#include <zolt/err.h>
#include <zolt/mem.h>

#include "internal/critsect.h"
#include "internal/thread.h"

static bool rtCritSectIsAlive(PRTCRITSECT pThis)
{
    return rtAtomic(pThis->uMagic).load(std::memory_order_relaxed) == RTCRITSECT_MAGIC;
}

static bool rtCritSectIsNop(PRTCRITSECT pThis)
{
    return (rtAtomic(pThis->fFlags).load(std::memory_order_relaxed) & RTCRITSECT_FLAGS_NOP) != 0;
}

RTDECL(int) RTCritSectCreate(PRTCRITSECT pCritSect)
{
    return RTCritSectCreateEx(pCritSect, 0, NIL_RTLOCKVALCLASS, 0, "RTCritSect");
}

RTDECL(int)
RTCritSectCreateEx(PRTCRITSECT pCritSect, uint32_t fFlags, RTLOCKVALCLASS hClass, uint32_t uSubClass,
                   const char *pszName)
{
    (void)hClass; /* lock-validator identity only */
    (void)uSubClass;
    (void)pszName;
    if (!RT_VALID_PTR(pCritSect) || (fFlags & ~RTCRITSECT_FLAGS_VALID_MASK))
        return ERR_INVALID_PARAMETER;
    pCritSect->fFlags = fFlags;
    pCritSect->cNestings = 0;
    pCritSect->cLockers = -1;
    pCritSect->hOwner = NIL_RTNATIVETHREAD;
    pCritSect->pValidatorRec = nullptr;
    int rc = RTSemEventNew(&pCritSect->hEvent, (fFlags & RTCRITSECT_FLAGS_BOOTSTRAP ? RTSEMEVENT_FLAGS_BOOTSTRAP : 0) |
                                                   RTSEMEVENT_FLAGS_NO_LOCK_VAL);
    if (RT_FAILURE(rc))
    {
        /* The status in place of the magic makes every later call fail. */
        pCritSect->hEvent = NIL_RTSEMEVENT;
        rtAtomic(pCritSect->uMagic).store((uint32_t)rc, std::memory_order_release);
        return rc;
    }
    rtAtomic(pCritSect->uMagic).store(RTCRITSECT_MAGIC, std::memory_order_release);
    return 0;
}

/** Makes the caller the owner of a section it has just got. */
static void rtCritSectTakeOwnership(PRTCRITSECT pThis, RTNATIVETHREAD hSelf)
{
    pThis->cNestings = 1;
    rtAtomic(pThis->hOwner).store(hSelf, std::memory_order_relaxed);
}

/** The rest of an enter that found the section taken (cLockers already
 *  counts the caller). Kept out of line so that the uncontended path needs
 *  no stack frame. */
static __attribute__((noinline)) int rtCritSectAcquireContended(PRTCRITSECT pCritSect, RTNATIVETHREAD hSelf)
{
    /* Only we can have stored our own identifier, so a relaxed read will do. */
    if (rtAtomic(pCritSect->hOwner).load(std::memory_order_relaxed) == hSelf)
    {
        if (rtAtomic(pCritSect->fFlags).load(std::memory_order_relaxed) & RTCRITSECT_FLAGS_NO_NESTING)
        {
            rtAtomic(pCritSect->cLockers).fetch_sub(1, std::memory_order_acq_rel);
            return ERR_SEM_NESTED;
        }
        pCritSect->cNestings++;
        return 0;
    }

    PRTTHREADINT pSelf = RTThreadCurrent();
    for (;;)
    {
        rtThreadBlocking(pSelf, RTTHREADSTATE_CRITSECT, false);
        int rc = RTSemEventWaitFlags(rtAtomic(pCritSect->hEvent).load(), SEMWAIT_RESUME | SEMWAIT_INDEFINITE, 0);
        rtThreadUnblocked(pSelf, RTTHREADSTATE_CRITSECT);
        /* A destroyer has already taken our place in cLockers. */
        if (rtAtomic(pCritSect->uMagic).load() != RTCRITSECT_MAGIC)
            return ERR_SEM_DESTROYED;
        if (RT_SUCCESS(rc))
            break;
    }
    rtCritSectTakeOwnership(pCritSect, hSelf);
    return 0;
}

RTDECL(int) RTCritSectAcquire(PRTCRITSECT pCritSect)
{
    if (!rtCritSectIsAlive(pCritSect))
        return ERR_SEM_DESTROYED;
    if (rtCritSectIsNop(pCritSect))
        return 0;
    RTNATIVETHREAD const hSelf = rtThreadNativeSelfInline();
    if (rtAtomic(pCritSect->cLockers).fetch_add(1, std::memory_order_acq_rel) >= 0)
        return rtCritSectAcquireContended(pCritSect, hSelf);
    rtCritSectTakeOwnership(pCritSect, hSelf);
    return 0;
}

RTDECL(int) RTCritSectTryAcquire(PRTCRITSECT pCritSect)
{
    if (!rtCritSectIsAlive(pCritSect))
        return ERR_SEM_DESTROYED;
    if (rtCritSectIsNop(pCritSect))
        return 0;
    RTNATIVETHREAD const hSelf = rtThreadNativeSelfInline();

    int32_t cFree = -1;
    if (rtAtomic(pCritSect->cLockers).compare_exchange_strong(cFree, 0, std::memory_order_acq_rel))
    {
        rtCritSectTakeOwnership(pCritSect, hSelf);
        return 0;
    }
    if (rtAtomic(pCritSect->hOwner).load(std::memory_order_relaxed) != hSelf)
        return ERR_SEM_BUSY;
    if (rtAtomic(pCritSect->fFlags).load(std::memory_order_relaxed) & RTCRITSECT_FLAGS_NO_NESTING)
        return ERR_SEM_NESTED;
    rtAtomic(pCritSect->cLockers).fetch_add(1, std::memory_order_acq_rel);
    pCritSect->cNestings++;
    return 0;
}

/** Hands a section just freed over to a queueing thread. */
static __attribute__((noinline)) void rtCritSectWakeWaiter(PRTCRITSECT pCritSect)
{
    int rc = RTSemEventSignal(pCritSect->hEvent);
    if (RT_FAILURE(rc))
    {
        /* The waiter would sleep forever while the section looks taken to
           everyone else: there is no way on from here. */
        RTAssertReport1("RT_SUCCESS(rc)", __LINE__, __FILE__, __PRETTY_FUNCTION__);
        RTAssertReport2("RTSemEventSignal -> %Rrc\n", rc);
        RT_BREAKPOINT();
    }
}

RTDECL(int) RTCritSectLeave(PRTCRITSECT pCritSect)
{
    if (!rtCritSectIsAlive(pCritSect))
        return ERR_SEM_DESTROYED;
    if (rtCritSectIsNop(pCritSect))
        return 0;
    /* Leaving somebody else's section would hand it to a third thread while
       the owner still works under it; checking costs no atomic operation. */
    if (rtAtomic(pCritSect->hOwner).load(std::memory_order_relaxed) != rtThreadNativeSelfInline())
        return ERR_NOT_OWNER;

    if (--pCritSect->cNestings > 0)
    {
        rtAtomic(pCritSect->cLockers).fetch_sub(1, std::memory_order_acq_rel);
        return 0;
    }
    rtAtomic(pCritSect->hOwner).store(NIL_RTNATIVETHREAD, std::memory_order_relaxed);
    if (rtAtomic(pCritSect->cLockers).fetch_sub(1, std::memory_order_acq_rel) > 0)
        rtCritSectWakeWaiter(pCritSect); /* somebody queues */
    return 0;
}

RTDECL(int) RTCritSectDestroy(PRTCRITSECT pCritSect)
{
    if (!RT_VALID_PTR(pCritSect))
        return ERR_INVALID_PARAMETER;
    rtAtomic(pCritSect->uMagic).store(RTCRITSECT_MAGIC_DEAD);
    rtAtomic(pCritSect->fFlags).store(0, std::memory_order_relaxed);
    pCritSect->cNestings = 0;
    rtAtomic(pCritSect->hOwner).store(NIL_RTNATIVETHREAD, std::memory_order_relaxed);

    /* Wake every waiter, taking its place in cLockers for it; each sees the
       dead magic and fails its enter. */
    RTSEMEVENT hEvent = rtAtomic(pCritSect->hEvent).exchange(NIL_RTSEMEVENT);
    while (rtAtomic(pCritSect->cLockers).load() >= 0)
    {
        rtAtomic(pCritSect->cLockers).fetch_sub(1);
        (void)RTSemEventSignal(hEvent); /* a waiter we fail to wake is woken by freeing the event */
    }
    rtAtomic(pCritSect->cLockers).store(-1);
    return RTSemEventFree(hEvent);
}

int rtCritSectHeapNew(PRTCRITSECT *ppCritSect, uint32_t fFlags, const char *pszName)
{
    if (!RT_VALID_PTR(ppCritSect))
        return ERR_INVALID_PARAMETER;
    PRTCRITSECT pThis = (PRTCRITSECT)RTMemAlloc(sizeof(*pThis));
    if (!pThis)
        return ERR_NO_MEMORY;
    int rc = RTCritSectCreateEx(pThis, fFlags, NIL_RTLOCKVALCLASS, 0, pszName);
    if (RT_FAILURE(rc))
    {
        RTMemFree(pThis);
        return rc;
    }
    *ppCritSect = pThis;
    return 0;
}

int rtCritSectHeapFree(PRTCRITSECT pCritSect)
{
    if (!RT_VALID_PTR(pCritSect) || !rtCritSectIsAlive(pCritSect))
        return ERR_INVALID_PARAMETER;
    int rc = RTCritSectDestroy(pCritSect);
    if (RT_SUCCESS(rc))
        RTMemFree(pCritSect);
    return rc;
}
