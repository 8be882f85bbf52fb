/** @file
 * Multi-release event semaphores: a manual-reset event on the shared event
 * record (see semevent-generic.cpp).
 */
#include <zolt/err.h>
#include <zolt/semaphore.h>

#include "internal/semevent.h"

static const RTSEMEVENTKIND g_rtSemEventMultiKind = {
    /*uMagic*/ 0x19200102u,
    /*fValidNewFlags*/ RTSEMEVENTMULTI_FLAGS_NO_LOCK_VAL,
    /*fAutoReset*/ false,
    /*rcBadHandle*/ ERR_INVALID_PARAMETER,
    /*rcNilWait*/ ERR_INVALID_PARAMETER,
    /*rcBadFlags*/ ERR_INVALID_PARAMETER,
    /*enmBlockState*/ RTTHREADSTATE_EVENT_MULTI,
};

RTDECL(int)
RTSemEventMultiNew(RTSEMEVENTMULTI *phEventMultiSem, uint32_t fFlags, RTLOCKVALCLASS hClass, const char *pszName)
{
    (void)hClass; /* lock-validator identity only */
    (void)pszName;
    return rtSemEventRecNew(&g_rtSemEventMultiKind, (RTSEMEVENTREC **)phEventMultiSem, fFlags);
}

RTDECL(int) RTSemEventMultiFree(RTSEMEVENTMULTI hEventMultiSem)
{
    return rtSemEventRecFree(&g_rtSemEventMultiKind, (RTSEMEVENTREC *)hEventMultiSem);
}

RTDECL(int) RTSemEventMultiPost(RTSEMEVENTMULTI hEventMultiSem)
{
    return rtSemEventRecSetOrReset(&g_rtSemEventMultiKind, (RTSEMEVENTREC *)hEventMultiSem, true);
}

RTDECL(int) RTSemEventMultiClear(RTSEMEVENTMULTI hEventMultiSem)
{
    return rtSemEventRecSetOrReset(&g_rtSemEventMultiKind, (RTSEMEVENTREC *)hEventMultiSem, false);
}

RTDECL(int) RTSemEventMultiWaitFlags(RTSEMEVENTMULTI hEventMultiSem, uint32_t fFlags, uint64_t uTimeout)
{
    return rtSemEventRecWait(&g_rtSemEventMultiKind, (RTSEMEVENTREC *)hEventMultiSem, fFlags, uTimeout);
}

RTDECL(int) RTSemEventMultiWaitMs(RTSEMEVENTMULTI hEventMultiSem, RTMSINTERVAL cMillies)
{
    return RTSemEventMultiWaitFlags(hEventMultiSem, rtSemWaitMsFlags(cMillies, true), cMillies);
}

RTDECL(int) RTSemEventMultiWaitMsNoResume(RTSEMEVENTMULTI hEventMultiSem, RTMSINTERVAL cMillies)
{
    return RTSemEventMultiWaitFlags(hEventMultiSem, rtSemWaitMsFlags(cMillies, false), cMillies);
}
