/** @file
 * Native module loader: argument checks, module records and the calls that
 * do not depend on the host.
 */
#include "internal/ldr.h"

#include <zolt/err.h>
#include <zolt/mem.h>
#include <zolt/path.h>
#include <zolt/string.h>

#include <string.h>

const RTLDROPS g_rtldrNativeOps = {"native", rtldrNativeClose, rtldrNativeGetSymbol, RTLDROPS_END_MARKER};

static bool rtldrIsValidModule(RTLDRMOD hLdrMod)
{
    return RT_VALID_PTR(hLdrMod) && hLdrMod->uMagic == RTLDRMOD_MAGIC;
}

/** True when @a pszName has a separator or a drive colon: a system library
 *  is named bare, so "..\\x.dll" or "C:x.dll" never reach the file system. */
static bool rtldrHasPathChars(const char *pszName)
{
    for (const char *psz = pszName; *psz; psz++)
        if (*psz == '/' || *psz == '\\' || *psz == ':')
            return true;
    return false;
}

RTDECL(int) RTLdrLoadSystemModule(const char *pszName, uint32_t fFlags, RTLDRMOD *phLdrMod)
{
    if (!RT_VALID_PTR(phLdrMod))
        return ERR_INVALID_PARAMETER;
    *phLdrMod = nullptr;
    if (!RT_VALID_PTR(pszName))
        return ERR_INVALID_PARAMETER;
    if (rtldrHasPathChars(pszName))
        return ERR_INVALID_PARAMETER;
    if (fFlags & 0xFF0u)
        return ERR_INVALID_FLAGS;
    if (strlen(pszName) >= RTLDR_MAX_NAME_SIZE)
        return ERR_INVALID_PARAMETER;
    return rtldrNativeLoadSystem(pszName, RTPathFindSuffix(pszName) ? "" : ".DLL", fFlags, phLdrMod);
}

RTDECL(int) RTLdrLoadNativeModule(const char *pszPath, RTLDRMOD *phLdrMod, uint32_t fFlags)
{
    if (!RT_VALID_PTR(pszPath) || !RT_VALID_PTR(phLdrMod))
        return ERR_INVALID_POINTER;
    if (fFlags & ~LDRLOAD_VALID_MASK)
        return ERR_INVALID_PARAMETER;

    RTLDRMODINTERNAL *pMod = (RTLDRMODINTERNAL *)RTMemAlloc(sizeof(*pMod));
    if (!pMod)
    {
        *phLdrMod = nullptr;
        return ERR_NO_MEMORY;
    }
    pMod->uMagic = RTLDRMOD_MAGIC;
    pMod->enmState = RTLDRSTATE_OPENED;
    pMod->pOps = &g_rtldrNativeOps;
    pMod->pReader = nullptr;
    pMod->enmFormat = RTLDRFMT_NATIVE;
    pMod->enmType = RTLDRTYPE_SHARED_LIBRARY_RELOCATABLE;
    pMod->enmEndian = RTLDRENDIAN_LITTLE;
    pMod->enmArch = RTLDRARCH_HOST;
    pMod->hNative = RTLDR_NATIVE_NIL;
    pMod->fLoadFlags = fFlags;

    int const rc = rtldrNativeLoad(pszPath, &pMod->hNative, fFlags);
    if (RT_FAILURE(rc))
    {
        RTMemFree(pMod);
        *phLdrMod = nullptr;
        return rc;
    }
    *phLdrMod = pMod;
    return rc;
}

RTDECL(int) RTLdrResolveSymbol(RTLDRMOD hLdrMod, const char *pszSymbol, void **ppvValue)
{
    if (!rtldrIsValidModule(hLdrMod))
        return ERR_INVALID_HANDLE;
    if (!pszSymbol)
        return ERR_INVALID_PARAMETER;
    if (!RT_VALID_PTR(ppvValue))
        return ERR_INVALID_POINTER;
    return hLdrMod->pOps->pfnGetSymbol(hLdrMod, pszSymbol, ppvValue);
}

RTDECL(void *) RTLdrResolveFunction(RTLDRMOD hLdrMod, const char *pszSymbol)
{
    void *pv = nullptr;
    return RT_SUCCESS(RTLdrResolveSymbol(hLdrMod, pszSymbol, &pv)) ? pv : nullptr;
}

RTDECL(int) RTLdrCloseModule(RTLDRMOD hLdrMod)
{
    if (!hLdrMod)
        return SUCCESS;
    if (!rtldrIsValidModule(hLdrMod))
        return ERR_INVALID_HANDLE;
    /* An unload failure keeps the library mapped, which costs memory but
       breaks nothing; the record goes either way. */
    (void)hLdrMod->pOps->pfnClose(hLdrMod);
    hLdrMod->uMagic++;
    hLdrMod->enmState = RTLDRSTATE_INVALID;
    RTMemFree(hLdrMod);
    return SUCCESS;
}

RTDECL(uintptr_t) RTLdrQueryNativeHandle(RTLDRMOD hLdrMod)
{
    if (!rtldrIsValidModule(hLdrMod) || hLdrMod->pOps != &g_rtldrNativeOps)
        return RTLDR_NATIVE_NIL;
    return hLdrMod->hNative;
}

RTDECL(void *) RTLdrResolveSystemSymbol(const char *pszLibrary, const char *pszSymbol)
{
    /* The system load refuses bad and unsafe names before any file access. */
    RTLDRMOD hLdrMod;
    if (RT_FAILURE(RTLdrLoadSystemModule(pszLibrary, LDRLOAD_NO_UNLOAD, &hLdrMod)))
        return nullptr;
    void *pv = RTLdrResolveFunction(hLdrMod, pszSymbol);
    (void)RTLdrCloseModule(hLdrMod); /* the library stays loaded: NO_UNLOAD */
    return pv;
}
