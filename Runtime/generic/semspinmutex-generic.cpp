/** @file
 * Spin mutexes: heap-allocated non-nesting critical sections.
 */
#include <zolt/critsect.h>
#include <zolt/err.h>
#include <zolt/semaphore.h>

#include "internal/critsect.h"

RTDECL(int) RTSemSpinMutexNew(RTSEMSPINMUTEX *phSpinMtx, uint32_t fFlags)
{
    if (fFlags & ~RTSEMSPINMUTEX_FLAGS_IRQ_SAFE)
        return ERR_INVALID_PARAMETER;
    return rtCritSectHeapNew((PRTCRITSECT *)phSpinMtx, RTCRITSECT_FLAGS_NO_NESTING | RTCRITSECT_FLAGS_NO_LOCK_VAL,
                             "RTSemSpinMutex");
}

RTDECL(int) RTSemSpinMutexFree(RTSEMSPINMUTEX hSpinMtx)
{
    return rtCritSectHeapFree((PRTCRITSECT)hSpinMtx);
}

RTDECL(int) RTSemSpinMutexLock(RTSEMSPINMUTEX hSpinMtx)
{
    if (!RT_VALID_PTR(hSpinMtx))
        return ERR_INVALID_HANDLE;
    return RTCritSectAcquire((PRTCRITSECT)hSpinMtx);
}

RTDECL(int) RTSemSpinMutexUnlock(RTSEMSPINMUTEX hSpinMtx)
{
    if (!RT_VALID_PTR(hSpinMtx))
        return ERR_INVALID_HANDLE;
    return RTCritSectLeave((PRTCRITSECT)hSpinMtx);
}
