/** @file
 * Heap blocks, POSIX host: the C library's malloc heap.
 */
#include <stdlib.h>

#include "internal/mem.h"

static void *rtMemPosixAllocZero(size_t cb)
{
    return calloc(1, cb);
}

const RTMEMHEAPOPS g_rtMemHostHeapOps = {malloc, rtMemPosixAllocZero, realloc, free};
