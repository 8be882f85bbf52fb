/** @file
 * Heap blocks, Windows: the process's default heap.
 */
#include <windows.h>

#include "internal/mem.h"

static void *rtMemWinAlloc(size_t cb)
{
    return HeapAlloc(GetProcessHeap(), 0, cb);
}

static void *rtMemWinAllocZero(size_t cb)
{
    return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, cb);
}

static void *rtMemWinRealloc(void *pv, size_t cb)
{
    /* HeapReAlloc leaves the old block intact when it fails. */
    return HeapReAlloc(GetProcessHeap(), 0, pv, cb);
}

static void rtMemWinFree(void *pv)
{
    HeapFree(GetProcessHeap(), 0, pv);
}

const RTMEMHEAPOPS g_rtMemHostHeapOps = {rtMemWinAlloc, rtMemWinAllocZero, rtMemWinRealloc, rtMemWinFree};
