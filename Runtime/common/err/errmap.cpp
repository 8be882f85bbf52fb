/** @file
 * Lookup in the sorted platform error tables.
 */
#include "internal/err.h"

int rtErrMapLookup(const RTERRRANGEMAP *paMap, size_t cRows, uint32_t uValue)
{
    if (uValue == 0)
        return SUCCESS;
    size_t iLo = 0;
    size_t iHi = cRows;
    while (iLo < iHi)
    {
        size_t const i = iLo + (iHi - iLo) / 2;
        if (uValue < paMap[i].uFirst)
            iHi = i;
        else if (uValue > paMap[i].uLast)
            iLo = i + 1;
        else
            return paMap[i].rc;
    }
    return ERR_UNMAPPED_PLATFORM_ERROR;
}
