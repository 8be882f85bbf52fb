/** @file
 * Lazy binding of system library functions: the binder behind the stubs of
 * <zolt/ldrlazy.h>.
 */
#include <zolt/assert.h>
#include <zolt/err.h>
#include <zolt/ldr.h>
#include <zolt/ldrlazy.h>

/** Nothing can be done without the function the caller is about to call;
 *  stopping here keeps the report and the state for a debugger. */
[[noreturn]] static void rtLdrLazyTrap(void)
{
    for (;;)
        RT_BREAKPOINT();
}

RTDECL(void *) RTLdrLazyBind(RTLDRLAZYMOD *pMod, const char *pszSymbol)
{
    RTLDRMOD hMod = __atomic_load_n(&pMod->hMod, __ATOMIC_ACQUIRE);
    if (!hMod)
    {
        int rc = RTLdrLoadSystemModule(pMod->pszName, LDRLOAD_NO_UNLOAD, &hMod);
        if (RT_FAILURE(rc))
        {
            RTAssertReport2("Lazy loader failed to load \"%s\": %Rrc\n", pMod->pszName, rc);
            rtLdrLazyTrap();
        }
        /* Another thread may have loaded it meanwhile: keep its handle.
           Closing ours leaves the library loaded (no-unload). */
        RTLDRMOD hExpected = NULL;
        if (!__atomic_compare_exchange_n(&pMod->hMod, &hExpected, hMod, false, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE))
        {
            (void)RTLdrCloseModule(hMod); /* a record of our own; cannot fail */
            hMod = hExpected;
        }
    }

    void *pv = NULL;
    int rc = RTLdrResolveSymbol(hMod, pszSymbol, &pv);
    if (RT_FAILURE(rc))
    {
        RTAssertReport2("Lazy loader failed to resolve symbol \"%s\" in \"%s\": %Rrc\n", pszSymbol, pMod->pszName, rc);
        rtLdrLazyTrap();
    }
    return pv;
}
