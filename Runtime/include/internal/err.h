/** @file
 * Platform error conversion internals: sorted range tables.
 */
#ifndef ZOLT_INTERNAL_ERR_H
#define ZOLT_INTERNAL_ERR_H

#include <zolt/err.h>

/** One row of a conversion table: platform values uFirst..uLast (inclusive,
 *  compared as unsigned 32-bit numbers) become status rc. */
typedef struct RTERRRANGEMAP
{
    uint32_t uFirst;
    uint32_t uLast;
    int32_t rc;
} RTERRRANGEMAP;

/** True if the rows are ascending and do not overlap; tables static_assert
 *  it so that the binary search below is valid. */
constexpr bool rtErrMapIsSorted(const RTERRRANGEMAP *paMap, size_t cRows)
{
    for (size_t i = 0; i < cRows; i++)
        if (paMap[i].uFirst > paMap[i].uLast || (i > 0 && paMap[i - 1].uLast >= paMap[i].uFirst))
            return false;
    return true;
}

/** Binary search of a sorted table. @returns 0 for 0, the row's status, or
 *  ERR_UNMAPPED_PLATFORM_ERROR. */
int rtErrMapLookup(const RTERRRANGEMAP *paMap, size_t cRows, uint32_t uValue);

#endif /* ZOLT_INTERNAL_ERR_H */
