/** @file
 * Lazy binding of system library functions: a function is reached through a
 * pointer slot that first holds a binding stub. The stub's first call loads
 * the library from the system directory (RTLdrLoadSystemModule with
 * LDRLOAD_NO_UNLOAD), looks the function up, stores its address in the slot
 * and forwards the call with the caller's arguments; every later call through
 * the slot goes straight to the function. A library never called is never
 * loaded, and it never appears in the executable's import table.
 *
 * @code
 *  static RTLDRLAZYMOD s_Msi = RTLDRLAZYMOD_INIT("MSI.DLL");
 *  static const char s_szMsiSetInternalUI[] = "MsiSetInternalUI";
 *  decltype(&MsiSetInternalUI) g_pfnMsiSetInternalUI =
 *      RTLdrLazyStub<decltype(MsiSetInternalUI)>::Stub<&g_pfnMsiSetInternalUI, &s_Msi, s_szMsiSetInternalUI>;
 *  ...
 *  g_pfnMsiSetInternalUI(INSTALLUILEVEL_NONE, NULL);
 * @endcode
 *
 * A library that cannot be loaded, or a function missing from it, cannot be
 * continued from: the binding reports it as an assertion and stops at a
 * breakpoint trap, repeated endlessly, so the call never returns.
 *
 * No lock is taken: threads racing on a first call each store the same
 * address, and a module loaded twice is kept once (it is never unloaded).
 */
#ifndef ZOLT_LDRLAZY_H
#define ZOLT_LDRLAZY_H

#include <zolt/cdefs.h>
#include <zolt/ldr.h>

RT_C_DECLS_BEGIN

/** One lazily loaded library. */
typedef struct RTLDRLAZYMOD
{
    /** Bare file name in the system directory ("MSI.DLL"). */
    const char *pszName;
    /** The module once loaded; null before. */
    RTLDRMOD hMod;
} RTLDRLAZYMOD;

/** Static initialiser of an RTLDRLAZYMOD for the library @a a_pszName. */
#define RTLDRLAZYMOD_INIT(a_pszName)                                                                                   \
    {                                                                                                                  \
        (a_pszName), NULL                                                                                              \
    }

/**
 * Binds @a pszSymbol of @a pMod: loads the library if no thread has yet,
 * resolves the symbol and returns its address. Never fails: a load or lookup
 * failure is reported ("Lazy loader failed to load \"%s\": %Rrc\n" or
 * "Lazy loader failed to resolve symbol \"%s\" in \"%s\": %Rrc\n") and ends
 * at an endless breakpoint trap.
 */
RTDECL(void *) RTLdrLazyBind(RTLDRLAZYMOD *pMod, const char *pszSymbol);

RT_C_DECLS_END

#ifdef __cplusplus
/**
 * The binding stubs. RTLdrLazyStub<F>::Stub<pSlot, pMod, pszName> has the
 * exact signature and calling convention of the function type F, so it can
 * sit in a slot of type F* and forward any call made through it unchanged.
 */
template <typename Fn> struct RTLdrLazyStub;

#if defined(_WIN32) && !defined(_WIN64)
/* 32-bit Windows: system functions are stdcall, which is part of the type. */
#define RTLDRLAZY_CC __stdcall
#else
#define RTLDRLAZY_CC
#endif

template <typename R, typename... Args> struct RTLdrLazyStub<R RTLDRLAZY_CC(Args...)>
{
    typedef R RTLDRLAZY_CC Fn(Args...);

    template <Fn **ppfnSlot, RTLDRLAZYMOD *pMod, const char *pszName> static R RTLDRLAZY_CC Stub(Args... args)
    {
        Fn *pfn = reinterpret_cast<Fn *>(RTLdrLazyBind(pMod, pszName));
        __atomic_store_n(ppfnSlot, pfn, __ATOMIC_RELEASE);
        return pfn(args...);
    }
};
#endif /* __cplusplus */

#endif /* ZOLT_LDRLAZY_H */
