/** @file
 * Fast mutexes: heap-allocated non-nesting critical sections.
 */
#include <zolt/critsect.h>
#include <zolt/err.h>
#include <zolt/semaphore.h>

#include "internal/critsect.h"

RTDECL(int) RTSemFastMutexNew(RTSEMFASTMUTEX *phFastMtx)
{
    return rtCritSectHeapNew((PRTCRITSECT *)phFastMtx, RTCRITSECT_FLAGS_NO_NESTING, nullptr);
}

RTDECL(int) RTSemFastMutexFree(RTSEMFASTMUTEX hFastMtx)
{
    if (!hFastMtx)
        return 0;
    return rtCritSectHeapFree((PRTCRITSECT)hFastMtx);
}

RTDECL(int) RTSemFastMutexRequest(RTSEMFASTMUTEX hFastMtx)
{
    if (!RT_VALID_PTR(hFastMtx))
        return ERR_INVALID_HANDLE;
    return RTCritSectAcquire((PRTCRITSECT)hFastMtx);
}

RTDECL(int) RTSemFastMutexRelease(RTSEMFASTMUTEX hFastMtx)
{
    if (!RT_VALID_PTR(hFastMtx))
        return ERR_INVALID_HANDLE;
    return RTCritSectLeave((PRTCRITSECT)hFastMtx);
}
