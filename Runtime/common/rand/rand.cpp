/** @file
 * Random numbers: the generator calls and the process's shared generator.
 */
#include <zolt/err.h>
#include <zolt/time.h>

#include <atomic>
#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#endif

#include "internal/rand.h"

RTDECL(int) RTRandAdvDestroy(RTRAND hRand)
{
    if (!rtRandIsValid(hRand))
        return ERR_INVALID_HANDLE;
    return hRand->pfnDestroy(hRand);
}

RTDECL(int) RTRandAdvSeed(RTRAND hRand, uint64_t u64Seed)
{
    if (!rtRandIsValid(hRand))
        return ERR_INVALID_HANDLE;
    return hRand->pfnSeed(hRand, u64Seed);
}

RTDECL(uint32_t) RTRandAdvU32Ex(RTRAND hRand, uint32_t u32First, uint32_t u32Last)
{
    if (!rtRandIsValid(hRand))
        return UINT32_MAX;
    return hRand->pfnGetU32(hRand, u32First, u32Last);
}

RTDECL(uint64_t) RTRandAdvU64Ex(RTRAND hRand, uint64_t u64First, uint64_t u64Last)
{
    if (!rtRandIsValid(hRand))
        return UINT64_MAX;
    return hRand->pfnGetU64(hRand, u64First, u64Last);
}

RTDECL(void) RTRandAdvBytes(RTRAND hRand, void *pv, size_t cb)
{
    if (rtRandIsValid(hRand) && (cb == 0 || RT_VALID_PTR(pv)))
        hRand->pfnGetBytes(hRand, (uint8_t *)pv, cb);
}

RTDECL(int) RTRandAdvSaveState(RTRAND hRand, char *pszState, size_t *pcbState)
{
    if (!rtRandIsValid(hRand))
        return ERR_INVALID_HANDLE;
    if (!RT_VALID_PTR(pszState) || !RT_VALID_PTR(pcbState))
        return ERR_INVALID_POINTER;
    return hRand->pfnSaveState(hRand, pszState, pcbState);
}

RTDECL(int) RTRandAdvRestoreState(RTRAND hRand, const char *pszState)
{
    if (!rtRandIsValid(hRand))
        return ERR_INVALID_HANDLE;
    if (!RT_VALID_PTR(pszState))
        return ERR_INVALID_POINTER;
    return hRand->pfnRestoreState(hRand, pszState);
}

/** A seed that differs from run to run: the cycle counter where there is
 *  one (its low 8 bits mostly count instruction timing noise). */
static uint64_t rtRandSeedValue(void)
{
#if defined(__x86_64__) || defined(__i386__)
    return __rdtsc() >> 8;
#else
    return RTTimeNanoTS() >> 8;
#endif
}

static std::atomic<RTRANDREC *> g_pRtRandShared{nullptr};

RTRAND rtRandShared(void)
{
    RTRANDREC *pShared = g_pRtRandShared.load(std::memory_order_acquire);
    if (pShared)
        return pShared;

    RTRAND hNew;
    if (RT_FAILURE(RTRandParkMillerCreate(&hNew)))
        return nullptr;                           /* the next call tries again */
    (void)RTRandAdvSeed(hNew, rtRandSeedValue()); /* cannot fail on a new generator */

    /* Two first callers may race; the loser's generator goes away. The
       winner's lives as long as the process. */
    if (!g_pRtRandShared.compare_exchange_strong(pShared, hNew, std::memory_order_acq_rel))
    {
        (void)RTRandAdvDestroy(hNew);
        return pShared;
    }
    return hNew;
}

RTDECL(uint32_t) RTRandU32Ex(uint32_t u32First, uint32_t u32Last)
{
    RTRAND const hShared = rtRandShared();
    return hShared ? RTRandAdvU32Ex(hShared, u32First, u32Last) : UINT32_MAX;
}
