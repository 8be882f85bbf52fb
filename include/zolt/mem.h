/** @file
 * Heap blocks.
 *
 * All blocks come from the process's one heap. Blocks from RTMemAlloc,
 * RTMemAllocZero and RTMemRealloc and strings from the heap-string calls of
 * <zolt/string.h> are the same kind of block: RTMemFree and RTStrFree
 * release either.
 *
 * Every allocating call takes an allocation tag as its last argument: the
 * name of the calling source file. It defaults to the caller's own file
 * (RT_SRC_TAG is evaluated at the call site); the heap ignores it.
 */
#ifndef ZOLT_MEM_H
#define ZOLT_MEM_H

#include <zolt/cdefs.h>

RT_C_DECLS_BEGIN

/** Allocates at least @a cb bytes, contents undefined. @returns null when
 *  the heap cannot satisfy the request. */
RTDECL(void *) RTMemAlloc(size_t cb, const char *pszTag = RT_SRC_TAG);

/** Allocates at least @a cb bytes, all zero. @returns null on failure. */
RTDECL(void *) RTMemAllocZero(size_t cb, const char *pszTag = RT_SRC_TAG);

/**
 * Resizes @a pvOld to @a cbNew bytes, possibly moving it. A null @a pvOld
 * behaves as RTMemAlloc.
 * @returns the block; null on failure, in which case the old block stays
 *          valid and unchanged.
 */
RTDECL(void *) RTMemRealloc(void *pvOld, size_t cbNew, const char *pszTag = RT_SRC_TAG);

/** Releases a block; null is accepted and ignored. */
RTDECL(void) RTMemFree(void *pv);

RT_C_DECLS_END

#endif /* ZOLT_MEM_H */
