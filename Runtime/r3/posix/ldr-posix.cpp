/** @file
 * Native module loader, POSIX: dlopen of rooted paths. There is no single
 * system library directory to restrict a bare name to, so loading a
 * system module by name is not supported here.
 */
#include <zolt/err.h>
#include <zolt/path.h>
#include <zolt/string.h>

#include <dlfcn.h>
#include <sys/stat.h>

#include "internal/ldr.h"
#include "internal/path.h"

int rtldrNativeLoadSystem(const char *pszName, const char *pszExt, uint32_t fFlags, RTLDRMOD *phLdrMod)
{
    (void)pszName;
    (void)pszExt;
    (void)fFlags;
    (void)phLdrMod;
    return ERR_NOT_SUPPORTED;
}

int rtldrNativeLoad(const char *pszPath, uintptr_t *phNative, uint32_t fFlags)
{
    /* A bare name would go through the dynamic linker's search path,
       LD_LIBRARY_PATH included. */
    if (!RTPathStartsWithRoot(pszPath))
        return ERR_INTERNAL_ERROR_2;
    char *pszNative;
    int rc = rtPathPosixToNative(pszPath, &pszNative);
    if (RT_FAILURE(rc))
        return rc;
    void *pvHandle = dlopen(pszNative, RTLD_NOW | (fFlags & LDRLOAD_LOCAL ? RTLD_LOCAL : RTLD_GLOBAL) |
                                           (fFlags & LDRLOAD_NO_UNLOAD ? RTLD_NODELETE : 0));
    if (!pvHandle)
    {
        /* dlerror gives text only: tell a missing file from a bad one. */
        struct stat St;
        rc = stat(pszNative, &St) != 0 ? ERR_MODULE_NOT_FOUND : ERR_BAD_EXE_FORMAT;
    }
    else
        *phNative = (uintptr_t)pvHandle;
    RTStrFree(pszNative);
    return rc;
}

int rtldrNativeClose(RTLDRMODINTERNAL *pMod)
{
    /* With LDRLOAD_NO_UNLOAD the library was opened RTLD_NODELETE, so
       dlclose only drops the reference. */
    if (dlclose((void *)pMod->hNative) != 0)
        return ERR_GENERAL_FAILURE;
    pMod->hNative = RTLDR_NATIVE_NIL;
    return SUCCESS;
}

int rtldrNativeGetSymbol(RTLDRMODINTERNAL *pMod, const char *pszSymbol, void **ppvValue)
{
    /* A symbol may legitimately be null; dlerror tells. */
    (void)dlerror();
    void *pv = dlsym((void *)pMod->hNative, pszSymbol);
    if (!pv && dlerror())
    {
        *ppvValue = nullptr;
        return ERR_SYMBOL_NOT_FOUND;
    }
    *ppvValue = pv;
    return SUCCESS;
}
