/** @file
 * Critical section internals: heap-allocated sections, the common ground
 * of the spin mutex and the fast mutex.
 */
#ifndef ZOLT_INTERNAL_CRITSECT_H
#define ZOLT_INTERNAL_CRITSECT_H

#include <zolt/critsect.h>

/**
 * Allocates and creates a critical section.
 * @returns 0 with *ppCritSect set; ERR_INVALID_PARAMETER for a bad
 *          @a ppCritSect; ERR_NO_MEMORY; the creation status (nothing is
 *          left allocated then).
 */
int rtCritSectHeapNew(PRTCRITSECT *ppCritSect, uint32_t fFlags, const char *pszName);

/**
 * Destroys and frees a section from rtCritSectHeapNew.
 * @returns 0; ERR_INVALID_PARAMETER for a pointer near zero or a record that
 *          is not a live section; the destruction status, in which case the
 *          block is kept.
 */
int rtCritSectHeapFree(PRTCRITSECT pCritSect);

#endif /* ZOLT_INTERNAL_CRITSECT_H */
