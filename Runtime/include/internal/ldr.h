/** @file
 * Loader internals: the module record, the module-type operations and the
 * native backend.
 */
#ifndef ZOLT_INTERNAL_LDR_H
#define ZOLT_INTERNAL_LDR_H

#include <zolt/ldr.h>

#ifdef _WIN32
#include <windows.h>
#endif

/** RTLDRMODINTERNAL::uMagic while the module is open; closing adds one. */
#define RTLDRMOD_MAGIC UINT32_C(0x19531118)
/** RTLDRMODINTERNAL::enmState while the module is open. */
#define RTLDRSTATE_OPENED 3
/** RTLDRMODINTERNAL::enmState after closing. */
#define RTLDRSTATE_INVALID 0
/** Names of this length or longer are refused by the system load. */
#define RTLDR_MAX_NAME_SIZE 3075
/** Size of the buffers full library paths are built in. */
#define RTLDR_PATH_SIZE 4100

typedef struct RTLDRMODINTERNAL RTLDRMODINTERNAL;

/** Operations of a module type. Only the native type exists: modules read
 *  from files (with their relocation and image operations) are not part of
 *  this runtime. */
typedef struct RTLDROPS
{
    const char *pszName;
    /** Releases what the type holds; the caller frees the record. */
    int (*pfnClose)(RTLDRMODINTERNAL *pMod);
    /** Looks up an exported symbol; stores null and fails if absent. */
    int (*pfnGetSymbol)(RTLDRMODINTERNAL *pMod, const char *pszSymbol, void **ppvValue);
    /** RTLDROPS_END_MARKER. */
    uint32_t u32EndMarker;
} RTLDROPS;

/** RTLDROPS::u32EndMarker. */
#define RTLDROPS_END_MARKER 42u

/** Fixed descriptive values of a native module; nothing reads them. */
#define RTLDRFMT_NATIVE 1
#define RTLDRTYPE_SHARED_LIBRARY_RELOCATABLE 6
#define RTLDRENDIAN_LITTLE 1
#define RTLDRARCH_HOST 4

/** A loaded module. */
struct RTLDRMODINTERNAL
{
    uint32_t uMagic;
    int32_t enmState;
    const RTLDROPS *pOps;
    /** Byte reader of a module read from a file; always null here. */
    void *pReader;
    int32_t enmFormat;
    int32_t enmType;
    int32_t enmEndian;
    int32_t enmArch;
    /** Platform module handle; RTLDR_NATIVE_NIL when none. */
    uintptr_t hNative;
    /** LDRLOAD_* given at load. */
    uint32_t fLoadFlags;
};

/** The operations of native (platform-loaded) modules. */
extern const RTLDROPS g_rtldrNativeOps;

/** Loads @a pszPath with the platform loader, storing the handle in
 *  *phNative. */
int rtldrNativeLoad(const char *pszPath, uintptr_t *phNative, uint32_t fFlags);

/** Loads @a pszName (already checked to be a bare name) plus @a pszExt
 *  (".DLL" or "") from the system directory. */
int rtldrNativeLoadSystem(const char *pszName, const char *pszExt, uint32_t fFlags, RTLDRMOD *phLdrMod);

int rtldrNativeClose(RTLDRMODINTERNAL *pMod);
int rtldrNativeGetSymbol(RTLDRMODINTERNAL *pMod, const char *pszSymbol, void **ppvValue);

#ifdef _WIN32
/** Module handles of kernel32 and ntdll, stored by the runtime's start-up
 *  before anything is loaded. Loading before that is a programming error. */
extern HMODULE g_hModKernel32;
extern HMODULE g_hModNtDll;

/** Counts the directory levels that @a pwszSysDir and the first
 *  @a cwcName units of @a pwszName share, from the start: a redirected
 *  library is accepted only when it lies at least two levels deep in the
 *  system directory's tree (exposed for tests). */
unsigned rtldrWinCountSharedSeparators(const RTUTF16 *pwszSysDir, const RTUTF16 *pwszName, size_t cwcName);
#endif

#endif /* ZOLT_INTERNAL_LDR_H */
