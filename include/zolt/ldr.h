/** @file
 * Native module loader: system libraries loaded only from the system
 * directory, symbol lookup and close.
 *
 * A library named without a path is taken from the system directory (or
 * from the side-by-side store when the application's manifest redirects it
 * there and the redirection stays inside the system directory's own tree),
 * never from the current directory or the executable's directory, so a DLL
 * planted beside the executable is never picked up.
 *
 * Module handles are heap records checked by their magic on every call.
 * Loading, resolving and closing need no lock.
 *
 * On a POSIX host, RTLdrLoadSystemModule and RTLdrResolveSystemSymbol are
 * not supported (the host has no single system directory of libraries);
 * RTLdrLoadNativeModule loads a rooted path with dlopen.
 */
#ifndef ZOLT_LDR_H
#define ZOLT_LDR_H

#include <zolt/cdefs.h>

RT_C_DECLS_BEGIN

/** Handle of a loaded module. */
typedef struct RTLDRMODINTERNAL *RTLDRMOD;

/** The all-ones value RTLdrQueryNativeHandle returns when there is none. */
#define RTLDR_NATIVE_NIL (~(uintptr_t)0)

/** @name Load flags
 * @{ */
/** Keep the module's symbols local; not supported on Windows
 *  (ERR_INVALID_FLAGS). */
#define LDRLOAD_LOCAL 1u
/** Closing the module leaves the library loaded for the rest of the
 *  process, so addresses resolved from it stay valid. */
#define LDRLOAD_NO_UNLOAD 2u
/** Resolve the library's own dependencies with the platform's restricted
 *  search (system directory, application directory, the library's
 *  directory) where the platform offers it. */
#define LDRLOAD_SEARCH_SAFE 4u
/** Do not append ".DLL" to a name without suffix. */
#define LDRLOAD_NO_SUFFIX 8u
/** All valid load flags. */
#define LDRLOAD_VALID_MASK 0xFu
/** @} */

/**
 * Loads a system library by bare name from the system directory. ".DLL" is
 * appended when the name has no suffix ("MSI" loads MSI.DLL; "MSI.DLL" and
 * "ole32.dll" are taken as they are).
 *
 * @param pszName bare file name: no '\\', '/' or ':' (no drive, no
 *        directory part, no "..\\"); shorter than 3075 bytes.
 * @param fFlags LDRLOAD_*; no caller needs more than LDRLOAD_NO_UNLOAD.
 * @param phLdrMod out: the module; cleared (null) first, so it is null on
 *        every failure.
 * @returns 0; ERR_INVALID_PARAMETER for a bad @a phLdrMod, a bad, unsafe or
 *          over-long name (checked before any file access);
 *          ERR_INVALID_FLAGS for flag bits in 0xFF0 or LDRLOAD_LOCAL;
 *          ERR_FILENAME_TOO_LONG when the system directory exceeds 259
 *          units; ERR_MODULE_NOT_FOUND when no regular file exists at the
 *          chosen path (the platform loader is then not called);
 *          ERR_BUFFER_OVERFLOW when the full path exceeds 4100 bytes; the
 *          converted platform error of the load (ERR_BAD_EXE_FORMAT for a
 *          file that is not a library of this architecture);
 *          ERR_NOT_SUPPORTED on POSIX.
 * Calling it before the runtime's start-up stored the kernel32 handle is a
 * programming error: it is reported as an assertion and stops at a
 * breakpoint trap.
 */
RT_NODISCARD RTDECL(int) RTLdrLoadSystemModule(const char *pszName, uint32_t fFlags, RTLDRMOD *phLdrMod);

/**
 * Loads a library from a full path. On Windows ".DLL" is appended to a name
 * without suffix unless LDRLOAD_NO_SUFFIX is given, and '/' becomes '\\'.
 * @param pszPath a path that starts with a root ("C:\\...", "\\\\srv\\...").
 * @returns 0 with the module in *phLdrMod; ERR_INVALID_POINTER for a bad
 *          path or out pointer; ERR_INVALID_PARAMETER for flags outside
 *          LDRLOAD_VALID_MASK; ERR_INVALID_FLAGS for LDRLOAD_LOCAL on
 *          Windows; ERR_INTERNAL_ERROR_2 for a path without root;
 *          ERR_NO_MEMORY (with *phLdrMod null); ERR_NO_UTF16_MEMORY or a
 *          UTF-8 status; the converted platform error (ERR_MODULE_NOT_FOUND,
 *          ERR_BAD_EXE_FORMAT ...). *phLdrMod is null on every failure
 *          after the pointer checks.
 */
RT_NODISCARD RTDECL(int) RTLdrLoadNativeModule(const char *pszPath, RTLDRMOD *phLdrMod, uint32_t fFlags);

/**
 * Looks up an exported symbol.
 * @returns 0 with the address in *ppvValue; ERR_INVALID_HANDLE for a bad
 *          module; ERR_INVALID_PARAMETER for a null name;
 *          ERR_INVALID_POINTER for a bad @a ppvValue; ERR_SYMBOL_NOT_FOUND
 *          (or another converted platform error) with *ppvValue null.
 */
RT_NODISCARD RTDECL(int) RTLdrResolveSymbol(RTLDRMOD hLdrMod, const char *pszSymbol, void **ppvValue);

/** As RTLdrResolveSymbol. @returns the address, or null on any failure. */
RTDECL(void *) RTLdrResolveFunction(RTLDRMOD hLdrMod, const char *pszSymbol);

/**
 * Closes a module and frees its record; the library is unloaded unless it
 * was loaded with LDRLOAD_NO_UNLOAD. A failure to unload is not reported:
 * the record goes either way.
 * @returns 0 (also for null); ERR_INVALID_HANDLE for a bad pointer or magic.
 */
RTDECL(int) RTLdrCloseModule(RTLDRMOD hLdrMod);

/** @returns the platform module handle (HMODULE, or the dlopen handle) of
 *  an open module; RTLDR_NATIVE_NIL for anything else. */
RTDECL(uintptr_t) RTLdrQueryNativeHandle(RTLDRMOD hLdrMod);

/**
 * Loads a system library (as RTLdrLoadSystemModule with LDRLOAD_NO_UNLOAD,
 * so it stays loaded) and looks up one symbol.
 * @returns the address; null for a bad or unsafe library name and on any
 *          failure.
 */
RTDECL(void *) RTLdrResolveSystemSymbol(const char *pszLibrary, const char *pszSymbol);

RT_C_DECLS_END

#endif /* ZOLT_LDR_H */
