/** @file
 * The payload container: the packages the launcher carries as data
 * resources of its own executable, their manifest and headers, and the
 * host architecture the headers are matched against.
 *
 * Resources (type RT_RCDATA, stored under language 1033, looked up with the
 * neutral language): "MANIFEST" (PayloadManifest), "HDR_00", "HDR_01" ...
 * (PackageHeader, one per package) and the package bytes under the name each
 * header gives. The bytes live in the executable image and stay valid for
 * the life of the process; nobody frees them.
 */
#ifndef STUB_PAYLOAD_H
#define STUB_PAYLOAD_H

#include <stddef.h>
#include <stdint.h>

#ifdef _WIN32
#include <windows.h>
#endif

/** The processors a package is meant for. */
typedef enum PackageArch
{
    /** Fits every host. */
    PackageArch_All = 1,
    PackageArch_X86 = 2,
    PackageArch_X86_64 = 3,
    PackageArch_Arm64 = 4,
} PackageArch;

/** The magic at the start of the manifest, NUL-padded to 15 bytes. */
#define PAYLOAD_MANIFEST_MAGIC "QuorInstV1"

/** Resource "MANIFEST". */
typedef struct PayloadManifest
{
    char szMagic[15];
    /** Number of packages, headers "HDR_00" to "HDR_<cPackages - 1>". */
    uint8_t cPackages;
} PayloadManifest;
static_assert(sizeof(PayloadManifest) == 16, "the container's manifest is 16 bytes");

/** Resources "HDR_NN": one package. */
typedef struct PackageHeader
{
    /** PackageArch, little-endian. */
    uint32_t enmArch;
    /** The resource holding the package bytes; NUL-terminated. */
    char szResourceName[28];
    /** The plain file name the package is written under; NUL-terminated. */
    char szFileName[224];
} PackageHeader;
static_assert(sizeof(PackageHeader) == 256, "the container's package headers are 256 bytes");

/**
 * Checks the bytes of a manifest: exactly the size of PayloadManifest and
 * starting with its magic (the whole NUL-padded field).
 * @returns 0; ERR_IO_BAD_LENGTH for another size; ERR_INVALID_MAGIC for
 *          another magic.
 */
int CheckPayloadManifest(const void *pvData, size_t cbData);

/**
 * Checks the bytes of a package header before anyone reads its fields: it
 * must be exactly sizeof(PackageHeader) bytes, both names must be
 * NUL-terminated within their fields, and the file name must be a plain,
 * non-empty file name (no '\\', '/' or ':', not "." or ".."), so a package
 * can never be written outside the extraction directory.
 * @returns 0; ERR_IO_BAD_LENGTH for another size; ERR_INVALID_NAME for a
 *          name that fails the checks.
 */
int CheckPackageHeader(const void *pvData, size_t cbData);

#ifdef _WIN32
/**
 * The resource calls of the payload lookup, each with the platform
 * function's signature. A lookup makes them in this order and stops at the
 * first one that fails: pfnFindResourceExW (type RT_RCDATA, the UTF-16
 * name, the neutral language), pfnSizeofResource, pfnLoadResource,
 * pfnLockResource. A call fails by returning what the platform function
 * returns on failure (null, or a size of 0); the lookup reads nothing else
 * of a failed call, not even the last error. The bytes a successful lookup
 * yields must stay valid and unchanged for the life of the process, as an
 * image's resources do: callers keep the pointers.
 *
 * The table lets tests fail a lookup at a given call, which the platform
 * does not do on demand. Only tests change it.
 */
typedef struct PayloadResourceCalls
{
    decltype(&::FindResourceExW) pfnFindResourceExW;
    decltype(&::SizeofResource) pfnSizeofResource;
    decltype(&::LoadResource) pfnLoadResource;
    decltype(&::LockResource) pfnLockResource;
} PayloadResourceCalls;

/** The platform's own calls (kernel32). */
extern const PayloadResourceCalls g_PayloadHostResourceCalls;

/**
 * Replaces the resource calls of every later lookup; null restores
 * g_PayloadHostResourceCalls. Not thread-safe: call it while no other
 * thread looks up payload resources.
 * @returns the previous table, for the caller to restore.
 */
const PayloadResourceCalls *SetPayloadResourceCalls(const PayloadResourceCalls *pCalls);

/**
 * Finds a data resource of an image.
 * @param hModule the image whose resources are read: the launcher passes its
 *        own (GetModuleHandleW(NULL)); tests pass other launchers loaded as
 *        image resources (LoadLibraryExW with
 *        LOAD_LIBRARY_AS_IMAGE_RESOURCE | LOAD_LIBRARY_AS_DATAFILE).
 * @param pszName UTF-8 resource name.
 * @param ppvData out: the bytes (read-only, valid while the image stays
 *        loaded: for the launcher's own image, the process's life).
 *        Untouched on failure.
 * @param pcbData optional out: their size, set once the size is known (so
 *        also when loading or locking then fails).
 * @returns 0; ERR_INVALID_PARAMETER for a null name; the UTF-16 conversion
 *          status; ERR_IO_GEN_FAILURE when the resource is missing or
 *          cannot be loaded or locked; ERR_NO_DATA for an empty resource.
 */
int FindPayloadResource(HMODULE hModule, const char *pszName, const void **ppvData, size_t *pcbData);

/**
 * Finds the manifest of @a hModule and checks it (CheckPayloadManifest).
 * @returns the statuses of FindPayloadResource and CheckPayloadManifest;
 *          @a ppManifest is set on success only.
 */
int FindPayloadManifest(HMODULE hModule, const PayloadManifest **ppManifest);

/**
 * Finds the header of package @a iPackage in @a hModule ("HDR_%02d":
 * "HDR_07", "HDR_123") and checks it (CheckPackageHeader) before anyone
 * reads it.
 * @returns the header, or null after showing "Internal error: Could not find
 *          package header #%u: %Rrc" (ShowError) with the lookup's or the
 *          check's status.
 */
const PackageHeader *GetPackageHeader(HMODULE hModule, unsigned iPackage);
#endif /* _WIN32 */

/**
 * The host's processor architecture: X86, X86_64 or Arm64. Never fails:
 * a failed or unanswerable query prints an error line (PrintError) and
 * gives X86. Not cached; every call asks again.
 */
PackageArch DetectHostArch(void);

/** The display name of a host architecture ("x86", "x86_64", "arm64"), or
 *  "<Unknown>" for any other value. */
const char *PackageArchName(uint32_t enmArch);

/** A host architecture query: DetectHostArch, or a test's stand-in. */
typedef PackageArch FNDETECTHOSTARCH(void);

/** @returns true when a package of @a enmArch fits the host: All, or the
 *  architecture @a pfnDetectHostArch reports (asked anew for every package
 *  of another value, never for All). A value other than 1 to 4 fits no
 *  host. */
bool PackageFitsHost(uint32_t enmArch, FNDETECTHOSTARCH *pfnDetectHostArch);

#endif /* STUB_PAYLOAD_H */
