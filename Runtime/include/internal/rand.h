/** @file
 * Random generator internals: the generator record and its operations.
 */
#ifndef ZOLT_INTERNAL_RAND_H
#define ZOLT_INTERNAL_RAND_H

#include <zolt/rand.h>

/** RTRANDREC::u32Magic while the generator is usable. */
#define RTRANDREC_MAGIC UINT32_C(0x19531118)
/** RTRANDREC::u32Magic once destruction has begun. */
#define RTRANDREC_MAGIC_DEAD UINT32_C(0xE6ACEEE7)

/** A generator: its operations and the Park-Miller state. */
typedef struct RTRANDREC
{
    uint32_t u32Magic;
    void (*pfnGetBytes)(RTRANDREC *pThis, uint8_t *pb, size_t cb);
    uint32_t (*pfnGetU32)(RTRANDREC *pThis, uint32_t u32First, uint32_t u32Last);
    uint64_t (*pfnGetU64)(RTRANDREC *pThis, uint64_t u64First, uint64_t u64Last);
    int (*pfnSeed)(RTRANDREC *pThis, uint64_t u64Seed);
    int (*pfnSaveState)(RTRANDREC *pThis, char *pszState, size_t *pcbState);
    int (*pfnRestoreState)(RTRANDREC *pThis, const char *pszState);
    int (*pfnDestroy)(RTRANDREC *pThis);
    /** Generator state. */
    uint32_t u32Seed;
    /** Spare random bits from an extra step, consumed from the low end. */
    uint32_t u32Bits;
    /** How many of u32Bits are still unused. */
    uint32_t cBits;
} RTRANDREC;

/** @returns true when @a hRand points to a usable generator. */
inline bool rtRandIsValid(RTRAND hRand)
{
    return RT_VALID_PTR(hRand) && hRand->u32Magic == RTRANDREC_MAGIC;
}

/** @returns the process's shared generator, creating it on first use; null
 *  when it cannot be created. */
RTRAND rtRandShared(void);

#endif /* ZOLT_INTERNAL_RAND_H */
