/** @file
 * Heap blocks: the public calls over the table of host heap operations.
 */
#include <zolt/mem.h>

#include "internal/mem.h"

static const RTMEMHEAPOPS *g_pRtMemHeapOps = &g_rtMemHostHeapOps;

const RTMEMHEAPOPS *rtMemSetHeapOps(const RTMEMHEAPOPS *pOps)
{
    const RTMEMHEAPOPS *pOld = g_pRtMemHeapOps;
    g_pRtMemHeapOps = pOps ? pOps : &g_rtMemHostHeapOps;
    return pOld;
}

RTDECL(void *) RTMemAlloc(size_t cb, const char *pszTag)
{
    (void)pszTag; /* the tag only attributes the block to its origin */
    return g_pRtMemHeapOps->pfnAlloc(cb ? cb : 1);
}

RTDECL(void *) RTMemAllocZero(size_t cb, const char *pszTag)
{
    (void)pszTag;
    return g_pRtMemHeapOps->pfnAllocZero(cb ? cb : 1);
}

RTDECL(void *) RTMemRealloc(void *pvOld, size_t cbNew, const char *pszTag)
{
    if (!pvOld)
        return RTMemAlloc(cbNew, pszTag);
    /* A zero-sized resize keeps a valid block rather than freeing it, so the
       caller still owns something it can release. */
    return g_pRtMemHeapOps->pfnRealloc(pvOld, cbNew ? cbNew : 1);
}

RTDECL(void) RTMemFree(void *pv)
{
    if (pv)
        g_pRtMemHeapOps->pfnFree(pv);
}
