/** @file
 * Environment variables: argument checks and the ring of RTEnvGet results.
 */
#include "internal/env.h"

#include <zolt/err.h>
#include <zolt/string.h>

#include <atomic>
#include <string.h>

int rtEnvCheckName(const char *pszVar)
{
    if (!RT_VALID_PTR(pszVar))
        return ERR_INVALID_POINTER;
    return strchr(pszVar, '=') ? ERR_ENV_INVALID_VAR_NAME : SUCCESS;
}

int rtEnvCheckArgs(RTENV hEnv, const char *pszVar, char *pszValue, size_t cbValue, size_t *pcchActual)
{
    if (!RT_VALID_PTR(pszVar) || (pszValue && !RT_VALID_PTR(pszValue)) || (pcchActual && !RT_VALID_PTR(pcchActual)))
        return ERR_INVALID_POINTER;
    if (hEnv != RTENV_DEFAULT)
        return ERR_INVALID_HANDLE;
    if (!pszValue && cbValue)
        return ERR_INVALID_PARAMETER;
    if (!pcchActual && (!pszValue || !cbValue))
        return ERR_INVALID_PARAMETER;
    return rtEnvCheckName(pszVar);
}

namespace
{
/* Results handed out by RTEnvGet; each call replaces the oldest. */
std::atomic<char *> g_apszEnvRing[64];
std::atomic<uint32_t> g_iEnvRingNext;
} // namespace

RTDECL(const char *) RTEnvGet(const char *pszVar)
{
    char *pszValue = nullptr;
    if (rtEnvHostGetDup(pszVar, &pszValue) < 0)
        return nullptr;
    uint32_t const iSlot = g_iEnvRingNext.fetch_add(1, std::memory_order_relaxed) % RT_ELEMENTS(g_apszEnvRing);
    RTStrFree(g_apszEnvRing[iSlot].exchange(pszValue, std::memory_order_acq_rel));
    return pszValue;
}
