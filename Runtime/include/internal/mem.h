/** @file
 * Heap internals: the table of host heap calls behind RTMemAlloc & co.
 *
 * Tests replace the table to inject allocation failures; production code
 * never touches it.
 */
#ifndef ZOLT_INTERNAL_MEM_H
#define ZOLT_INTERNAL_MEM_H

#include <zolt/cdefs.h>

/** The host heap operations. pfnRealloc never sees a null block or size 0;
 *  pfnFree never sees null. */
typedef struct RTMEMHEAPOPS
{
    void *(*pfnAlloc)(size_t cb);
    void *(*pfnAllocZero)(size_t cb);
    void *(*pfnRealloc)(void *pv, size_t cb);
    void (*pfnFree)(void *pv);
} RTMEMHEAPOPS;

/** The host backend's heap (process heap on Windows, malloc on POSIX). */
extern const RTMEMHEAPOPS g_rtMemHostHeapOps;

/**
 * Replaces the heap operations used by every allocating runtime call.
 * Not thread-safe: call it while no other thread allocates.
 * @returns the previous table, to be restored by the caller.
 */
const RTMEMHEAPOPS *rtMemSetHeapOps(const RTMEMHEAPOPS *pOps);

#endif /* ZOLT_INTERNAL_MEM_H */
