/** @file
 * Event semaphores: the reference-counted record and wait loop shared by
 * both event kinds, and the auto-reset event semaphore's calls.
 */
#include <zolt/err.h>
#include <zolt/mem.h>
#include <zolt/semaphore.h>
#include <zolt/time.h>

#include "internal/semevent.h"

/** True for a combination the wait loop understands (see SEMWAIT_*). */
static bool rtSemWaitFlagsAreValid(uint32_t fFlags)
{
    if (fFlags & ~SEMWAIT_VALID_MASK)
        return false;
    if (!(fFlags & SEMWAIT_RESUME) == !(fFlags & SEMWAIT_NORESUME))
        return false;
    if (fFlags & SEMWAIT_INDEFINITE)
        return true;
    return !(fFlags & SEMWAIT_RELATIVE) != !(fFlags & SEMWAIT_ABSOLUTE) &&
           !(fFlags & SEMWAIT_NANOSECS) != !(fFlags & SEMWAIT_MILLISECS);
}

static bool rtSemEventRecIsAlive(const RTSEMEVENTKIND *pKind, RTSEMEVENTREC *pThis)
{
    return RT_VALID_PTR(pThis) && rtAtomic(pThis->uMagic).load(std::memory_order_acquire) == pKind->uMagic;
}

static void rtSemEventRecRetain(RTSEMEVENTREC *pThis)
{
    rtAtomic(pThis->cReferences).fetch_add(1, std::memory_order_relaxed);
}

/** Drops a reference; the last one closes the host event and frees the
 *  record, so a record outlives every operation that started on it. */
static void rtSemEventRecRelease(RTSEMEVENTREC *pThis)
{
    if (rtAtomic(pThis->cReferences).fetch_sub(1, std::memory_order_acq_rel) == 1)
    {
        rtSemHostEventClose(pThis->hHost);
        RTMemFree(pThis);
    }
}

int rtSemEventRecNew(const RTSEMEVENTKIND *pKind, RTSEMEVENTREC **ppThis, uint32_t fFlags)
{
    if (!RT_VALID_PTR(ppThis) || (fFlags & ~pKind->fValidNewFlags))
        return ERR_INVALID_PARAMETER;
    RTSEMEVENTREC *pThis = (RTSEMEVENTREC *)RTMemAlloc(sizeof(*pThis));
    if (!pThis)
        return ERR_NO_MEMORY;
    int rc = rtSemHostEventCreate(&pThis->hHost, pKind->fAutoReset);
    if (RT_FAILURE(rc))
    {
        RTMemFree(pThis);
        return rc;
    }
    pThis->cReferences = 1;
    pThis->uMagic = pKind->uMagic;
    *ppThis = pThis;
    return 0;
}

int rtSemEventRecFree(const RTSEMEVENTKIND *pKind, RTSEMEVENTREC *pThis)
{
    if (!pThis)
        return 0;
    if (!RT_VALID_PTR(pThis))
        return pKind->rcBadHandle;
    /* The exchange makes exactly one of several racing destroyers win. */
    uint32_t uMagic = pKind->uMagic;
    if (!rtAtomic(pThis->uMagic).compare_exchange_strong(uMagic, pKind->uMagic + 1, std::memory_order_acq_rel))
        return pKind->rcBadHandle;
    /* Wake the waiters (one, for an auto-reset event; it passes the wake-up
       on) so that they see the new magic and leave. */
    (void)rtSemHostEventSet(pThis->hHost); /* nothing to do about a failure: the record goes anyway */
    rtSemEventRecRelease(pThis);
    return 0;
}

int rtSemEventRecSetOrReset(const RTSEMEVENTKIND *pKind, RTSEMEVENTREC *pThis, bool fSet)
{
    if (!rtSemEventRecIsAlive(pKind, pThis))
        return pKind->rcBadHandle;
    rtSemEventRecRetain(pThis);
    int rc = fSet ? rtSemHostEventSet(pThis->hHost) : rtSemHostEventReset(pThis->hHost);
    rtSemEventRecRelease(pThis);
    return rc;
}

int rtSemEventRecWait(const RTSEMEVENTKIND *pKind, RTSEMEVENTREC *pThis, uint32_t fFlags, uint64_t uTimeout)
{
    if (!pThis)
        return pKind->rcNilWait;
    if (!rtSemEventRecIsAlive(pKind, pThis))
        return pKind->rcBadHandle;
    if (!rtSemWaitFlagsAreValid(fFlags))
        return pKind->rcBadFlags;
    rtSemEventRecRetain(pThis);
    PRTTHREADINT pSelf = RTThreadCurrent();

    /* Everything becomes a relative nanosecond count, or no time-out. */
    bool fIndefinite = (fFlags & SEMWAIT_INDEFINITE) != 0;
    uint64_t cNsLeft = uTimeout;
    if (!fIndefinite)
    {
        if (fFlags & SEMWAIT_MILLISECS)
        {
            if (uTimeout >= UINT64_MAX / UINT64_C(1000000))
                fIndefinite = true;
            else
                cNsLeft = uTimeout * UINT64_C(1000000);
        }
        else if (uTimeout == UINT64_MAX)
            fIndefinite = true;
    }
    uint64_t uNsStart = 0;
    if (fFlags & (SEMWAIT_ABSOLUTE | SEMWAIT_RESUME))
        uNsStart = RTTimeNanoTS();
    if (!fIndefinite && (fFlags & SEMWAIT_ABSOLUTE))
        cNsLeft = cNsLeft > uNsStart ? cNsLeft - uNsStart : 0;

    int rc;
    for (;;)
    {
        rtThreadBlocking(pSelf, pKind->enmBlockState, true);
        rc = rtSemHostEventWait(pThis->hHost, fIndefinite ? RTSEMHOST_WAIT_INDEFINITE : cNsLeft);
        rtThreadUnblocked(pSelf, pKind->enmBlockState);

        if (rtAtomic(pThis->uMagic).load(std::memory_order_acquire) != pKind->uMagic)
        {
            /* Destruction sets an auto-reset event only once; pass the
               wake-up on so that every waiter learns of it, not just one. */
            if (pKind->fAutoReset)
                (void)rtSemHostEventSet(pThis->hHost); /* best effort: the record is going away */
            rc = ERR_SEM_DESTROYED;
            break;
        }
        if (rc != ERR_INTERRUPTED || !(fFlags & SEMWAIT_RESUME))
            break;
        /* Interrupted and resuming: go on with what is left of the time. */
        if (!fIndefinite)
        {
            uint64_t uNsNow = RTTimeNanoTS();
            uint64_t cNsElapsed = uNsNow - uNsStart;
            cNsLeft = cNsLeft > cNsElapsed ? cNsLeft - cNsElapsed : 0;
            uNsStart = uNsNow;
        }
    }

    rtSemEventRecRelease(pThis);
    return rc;
}

/*
 * The auto-reset event semaphore.
 */

static const RTSEMEVENTKIND g_rtSemEventKind = {
    /*uMagic*/ 0x19601110u,
    /*fValidNewFlags*/ RTSEMEVENT_FLAGS_NO_LOCK_VAL | RTSEMEVENT_FLAGS_BOOTSTRAP,
    /*fAutoReset*/ true,
    /*rcBadHandle*/ ERR_INVALID_HANDLE,
    /*rcNilWait*/ ERR_INVALID_PARAMETER,
    /*rcBadFlags*/ ERR_INVALID_FLAGS,
    /*enmBlockState*/ RTTHREADSTATE_EVENT,
};

RTDECL(int) RTSemEventNew(RTSEMEVENT *phEventSem, uint32_t fFlags, RTLOCKVALCLASS hClass, const char *pszName)
{
    (void)hClass; /* lock-validator identity only */
    (void)pszName;
    return rtSemEventRecNew(&g_rtSemEventKind, (RTSEMEVENTREC **)phEventSem, fFlags);
}

RTDECL(int) RTSemEventFree(RTSEMEVENT hEventSem)
{
    return rtSemEventRecFree(&g_rtSemEventKind, (RTSEMEVENTREC *)hEventSem);
}

RTDECL(int) RTSemEventSignal(RTSEMEVENT hEventSem)
{
    return rtSemEventRecSetOrReset(&g_rtSemEventKind, (RTSEMEVENTREC *)hEventSem, true);
}

RTDECL(int) RTSemEventWaitFlags(RTSEMEVENT hEventSem, uint32_t fFlags, uint64_t uTimeout)
{
    return rtSemEventRecWait(&g_rtSemEventKind, (RTSEMEVENTREC *)hEventSem, fFlags, uTimeout);
}

RTDECL(int) RTSemEventWaitMs(RTSEMEVENT hEventSem, RTMSINTERVAL cMillies)
{
    return RTSemEventWaitFlags(hEventSem, rtSemWaitMsFlags(cMillies, true), cMillies);
}
