/** @file
 * Random numbers: the Park-Miller minimal-standard generator.
 *
 * The exact sequence matters (tests and saved states depend on it), so
 * every rule below, odd corners included, is part of the behaviour.
 */
#include <zolt/err.h>
#include <zolt/mem.h>
#include <zolt/strformat.h>

#include "internal/rand.h"

/** The state a generator starts from. */
#define RTRAND_PARKMILLER_INITIAL_SEED UINT32_C(0x20080806)
/** What a zero state is replaced with: the same digits, read in decimal. */
#define RTRAND_PARKMILLER_ZERO_SEED UINT32_C(20080806)

/** One step: s * 16807 mod (2^31 - 1); zero would stick, so it is
 *  replaced first. */
static uint32_t rtRandParkMillerNext(uint32_t u32Seed)
{
    if (!u32Seed)
        u32Seed = RTRAND_PARKMILLER_ZERO_SEED;
    return (uint32_t)((uint64_t)u32Seed * 16807 % UINT32_C(2147483647));
}

/** Steps the state and returns the new value; refills the bit cache from a
 *  second step when fewer than @a cBitsNeeded bits remain. */
static uint32_t rtRandParkMillerStep(RTRANDREC *pThis, uint32_t cBitsNeeded)
{
    uint32_t const u32 = rtRandParkMillerNext(pThis->u32Seed);
    pThis->u32Seed = u32;
    if (pThis->cBits < cBitsNeeded)
    {
        pThis->u32Seed = rtRandParkMillerNext(u32);
        pThis->u32Bits = pThis->u32Seed;
        pThis->cBits = 30;
    }
    return u32;
}

static uint32_t rtRandParkMillerGetU32(RTRANDREC *pThis, uint32_t u32First, uint32_t u32Last)
{
    uint32_t const uRange = u32Last - u32First;
    if (uRange == UINT32_MAX)
    {
        /* 31 bits from the step, the top two from the cache. */
        uint32_t const u32 = rtRandParkMillerStep(pThis, 2);
        uint32_t const uRet = u32First + ((pThis->u32Bits << 30) | (u32 >> 1));
        pThis->u32Bits >>= 2;
        pThis->cBits -= 2;
        return uRet;
    }
    if (uRange == UINT32_C(0x7FFFFFFE))
    {
        pThis->u32Seed = rtRandParkMillerNext(pThis->u32Seed);
        return u32First + pThis->u32Seed;
    }
    if (uRange < UINT32_C(0x7FFFFFF))
    {
        pThis->u32Seed = rtRandParkMillerNext(pThis->u32Seed);
        return u32First + (pThis->u32Seed >> 1) % (uRange + 1);
    }
    /* Wide ranges: a 36-bit value keeps the modulo bias small. */
    uint32_t const u32 = rtRandParkMillerStep(pThis, 6);
    uint64_t const u64 = ((uint64_t)(pThis->u32Bits & 0x3F) << 30) | (u32 >> 1);
    pThis->u32Bits >>= 6;
    pThis->cBits -= 6;
    return u32First + (uint32_t)(u64 % ((uint64_t)uRange + 1));
}

static uint64_t rtRandParkMillerGetU64(RTRANDREC *pThis, uint64_t u64First, uint64_t u64Last)
{
    uint64_t const uRange = u64Last - u64First;
    if (uRange <= UINT32_MAX)
        return u64First + rtRandParkMillerGetU32(pThis, 0, (uint32_t)uRange);
    uint64_t const u64 =
        ((uint64_t)rtRandParkMillerGetU32(pThis, 0, UINT32_MAX) << 32) | rtRandParkMillerGetU32(pThis, 0, UINT32_MAX);
    return uRange == UINT64_MAX ? u64First + u64 : u64First + u64 % (uRange + 1);
}

static void rtRandParkMillerGetBytes(RTRANDREC *pThis, uint8_t *pb, size_t cb)
{
    while (cb > 0)
    {
        uint32_t u32 = rtRandParkMillerGetU32(pThis, 0, UINT32_MAX);
        for (size_t i = 0; i < 4 && cb > 0; i++, cb--, u32 >>= 8)
            *pb++ = (uint8_t)u32;
    }
}

static int rtRandParkMillerSeed(RTRANDREC *pThis, uint64_t u64Seed)
{
    pThis->u32Seed = (uint32_t)u64Seed;
    pThis->u32Bits = 0;
    pThis->cBits = 0;
    return SUCCESS;
}

static int rtRandParkMillerSaveState(RTRANDREC *pThis, char *pszState, size_t *pcbState)
{
    if (*pcbState < RTRAND_PARKMILLER_STATE_SIZE)
    {
        *pcbState = RTRAND_PARKMILLER_STATE_SIZE;
        return ERR_BUFFER_OVERFLOW;
    }
    *pcbState = RTRAND_PARKMILLER_STATE_SIZE;
    RTStrPrintf(pszState, RTRAND_PARKMILLER_STATE_SIZE, "PM:%08RX32,%08RX32,%02x;", pThis->u32Seed, pThis->u32Bits,
                pThis->cBits);
    return SUCCESS;
}

/** Reads exactly @a cDigits hexadecimal digits. @returns false if any
 *  character is not one. */
static bool rtRandParseHex(const char **ppsz, unsigned cDigits, uint32_t *pu32)
{
    uint32_t u32 = 0;
    const char *psz = *ppsz;
    for (unsigned i = 0; i < cDigits; i++, psz++)
    {
        char const ch = *psz;
        unsigned uDigit;
        if (ch >= '0' && ch <= '9')
            uDigit = (unsigned)(ch - '0');
        else if (ch >= 'A' && ch <= 'F')
            uDigit = (unsigned)(ch - 'A' + 10);
        else if (ch >= 'a' && ch <= 'f')
            uDigit = (unsigned)(ch - 'a' + 10);
        else
            return false;
        u32 = u32 << 4 | uDigit;
    }
    *ppsz = psz;
    *pu32 = u32;
    return true;
}

static int rtRandParkMillerRestoreState(RTRANDREC *pThis, const char *pszState)
{
    /* Short-circuit order matters: nothing past a mismatch is read, so a
       short string is never read beyond its terminator. */
    const char *psz = pszState;
    uint32_t u32Seed, u32Bits, cBits;
    if (psz[0] != 'P' || psz[1] != 'M' || psz[2] != ':')
        return ERR_PARSE_ERROR;
    psz += 3;
    if (!rtRandParseHex(&psz, 8, &u32Seed) || *psz++ != ',' || !rtRandParseHex(&psz, 8, &u32Bits) || *psz++ != ',' ||
        !rtRandParseHex(&psz, 2, &cBits) || psz[0] != ';' || psz[1] != '\0')
        return ERR_PARSE_ERROR;
    pThis->u32Seed = u32Seed;
    pThis->u32Bits = u32Bits;
    pThis->cBits = cBits;
    return SUCCESS;
}

static int rtRandParkMillerDestroy(RTRANDREC *pThis)
{
    pThis->u32Magic = RTRANDREC_MAGIC_DEAD;
    RTMemFree(pThis);
    return SUCCESS;
}

RTDECL(int) RTRandParkMillerCreate(RTRAND *phRand, const char *pszTag)
{
    if (!RT_VALID_PTR(phRand))
        return ERR_INVALID_POINTER;
    RTRANDREC *pThis = (RTRANDREC *)RTMemAlloc(sizeof(*pThis), pszTag);
    if (!pThis)
        return ERR_NO_MEMORY;
    pThis->u32Magic = RTRANDREC_MAGIC;
    pThis->pfnGetBytes = rtRandParkMillerGetBytes;
    pThis->pfnGetU32 = rtRandParkMillerGetU32;
    pThis->pfnGetU64 = rtRandParkMillerGetU64;
    pThis->pfnSeed = rtRandParkMillerSeed;
    pThis->pfnSaveState = rtRandParkMillerSaveState;
    pThis->pfnRestoreState = rtRandParkMillerRestoreState;
    pThis->pfnDestroy = rtRandParkMillerDestroy;
    pThis->u32Seed = RTRAND_PARKMILLER_INITIAL_SEED;
    pThis->u32Bits = 0;
    pThis->cBits = 0;
    *phRand = pThis;
    return SUCCESS;
}
