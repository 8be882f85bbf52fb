/** @file
 * main of the fault launcher: the launcher itself, with exactly one call of
 * one kind failing as the platform would fail it, so that a sweep can fail
 * every call of a whole run in turn (fault-driver.cpp).
 *
 * Environment:
 *  ZOLT_FAULT_KIND    the kind of call counted (g_apszFaultKinds): heap,
 *                     open, read, write, query, delete, close, dir, lazy or
 *                     resource (the payload lookup's resource calls).
 *  ZOLT_FAULT_N       the call of that kind to fail, counting from 1; 0 or
 *                     missing: none fails, the calls are only counted.
 *  ZOLT_FAULT_REPORT  a file that receives, when the N-th call fails and
 *                     again when the launcher's main returns, one line
 *                     "calls=<count> hit=<0|1> what=<the failed call and
 *                     its callers' image offsets>", so the sweep knows
 *                     whether the N-th call was reached and when to stop.
 *  ZOLT_FAULT_TRACE   with N 0: a file that receives one line
 *                     "<number> <the call and its callers' offsets>" per
 *                     call of the kind, so that a sweep can pick the calls
 *                     of one step to fail.
 *
 * A handle's description names the object and, for a handle that may
 * write to it, says "for writing": the close of an extracted file's write
 * handle is a failure of the extraction, the close of a reader is not.
 *
 * Calls on the standard handles are neither counted nor failed: they carry
 * the reports the sweep judges, and exit processing after the report only
 * flushes and closes them.
 */
#include <windows.h>

#include <zolt/ldrlazy.h>
#include <zolt/strformat.h>

#include <stdarg.h>
#include <string.h>

#include "internal/fileio.h"
#include "internal/mem.h"
#include "lazybind.h"
#include "payload.h"
#include "run.h"

/** The kinds of calls, in the order of ZOLT_FAULT_KIND's names. */
typedef enum FAULTKIND
{
    FAULTKIND_NONE = 0,
    FAULTKIND_HEAP,
    FAULTKIND_OPEN,
    FAULTKIND_READ,
    FAULTKIND_WRITE,
    FAULTKIND_QUERY,
    FAULTKIND_DELETE,
    FAULTKIND_CLOSE,
    FAULTKIND_DIR,
    FAULTKIND_LAZY,
    FAULTKIND_RESOURCE,
} FAULTKIND;

static const char *const g_apszFaultKinds[] = {"",       "heap",  "open", "read", "write",   "query",
                                               "delete", "close", "dir",  "lazy", "resource"};

static FAULTKIND g_enmFaultKind = FAULTKIND_NONE;
/** The call to fail (1-based), 0 for none. */
static LONG g_iFaultAt = 0;
/** Calls of the kind seen so far. */
static volatile LONG g_cFaultCalls = 0;
/** What the failed call was (kind-specific), once it has failed. */
static char g_szFaultWhat[1200];
static volatile LONG g_fFaultHit = 0;
/** ZOLT_FAULT_REPORT and ZOLT_FAULT_TRACE, empty for none. */
static WCHAR g_wszFaultReport[1024];
static WCHAR g_wszFaultTrace[1024];

static void faultWriteReport(void);

/** Describes the call (@a pszFormat, @a Args) followed by its callers as
 *  offsets into the launcher's image, for the sweep to name with the
 *  image's symbols. @returns the length. */
static size_t faultDescribe(char *pszBuf, size_t cbBuf, const char *pszFormat, va_list Args)
{
    size_t cch = RTStrPrintfV(pszBuf, cbBuf, pszFormat, Args);
    uint8_t *pbImage = (uint8_t *)GetModuleHandleW(NULL);
    const IMAGE_NT_HEADERS *pNtHdrs = (const IMAGE_NT_HEADERS *)(pbImage + ((IMAGE_DOS_HEADER *)pbImage)->e_lfanew);
    /* Deep enough to reach the launcher's step from inside the runtime's
       loader and formatter. */
    void *apvFrames[20];
    USHORT cFrames = RtlCaptureStackBackTrace(1, RT_ELEMENTS(apvFrames), apvFrames, NULL);
    for (USHORT i = 0; i < cFrames && cch + 24 < cbBuf; i++)
    {
        uintptr_t off = (uintptr_t)apvFrames[i] - (uintptr_t)pbImage;
        if (off < pNtHdrs->OptionalHeader.SizeOfImage)
            cch += RTStrPrintf(&pszBuf[cch], cbBuf - cch, " @%#zx", (size_t)off);
    }
    return cch;
}

/** Appends the description of call @a iCall to the trace file. */
static void faultTrace(LONG iCall, const char *pszFormat, va_list Args)
{
    char szLine[1300];
    size_t cch = RTStrPrintf(szLine, sizeof(szLine), "%ld ", (long)iCall);
    cch += faultDescribe(&szLine[cch], sizeof(szLine) - cch - 1, pszFormat, Args);
    szLine[cch++] = '\n';
    HANDLE h = CreateFileW(g_wszFaultTrace, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return;
    DWORD cbWritten = 0;
    WriteFile(h, szLine, (DWORD)cch, &cbWritten, NULL);
    CloseHandle(h);
}

/** Counts a call of @a enmKind. @returns true when this is the one to fail;
 *  @a pszWhat (printf format) then describes it for the report. */
static bool faultCount(FAULTKIND enmKind, const char *pszFormat, ...)
{
    if (enmKind != g_enmFaultKind)
        return false;
    LONG const iCall = InterlockedIncrement(&g_cFaultCalls);
    va_list Args;
    if (g_iFaultAt == 0 && g_wszFaultTrace[0])
    {
        va_start(Args, pszFormat);
        faultTrace(iCall, pszFormat, Args);
        va_end(Args);
    }
    if (iCall != g_iFaultAt)
        return false;
    va_start(Args, pszFormat);
    faultDescribe(g_szFaultWhat, sizeof(g_szFaultWhat), pszFormat, Args);
    va_end(Args);
    InterlockedExchange(&g_fFaultHit, 1);
    faultWriteReport(); /* at once too: a run that then crashes still tells */
    return true;
}

/** True for the process's standard handles (see the file comment). */
static bool faultIsStdHandle(HANDLE h)
{
    return h == GetStdHandle(STD_INPUT_HANDLE) || h == GetStdHandle(STD_OUTPUT_HANDLE) ||
           h == GetStdHandle(STD_ERROR_HANDLE);
}

/** The name of an open object for the report, with " for writing" when
 *  the handle may write to it. */
static const char *faultHandleName(HANDLE h, char *pszBuf, size_t cbBuf)
{
    WCHAR wsz[512];
    DWORD cwc = GetFinalPathNameByHandleW(h, wsz, RT_ELEMENTS(wsz), FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (cwc == 0 || cwc >= RT_ELEMENTS(wsz) ||
        !WideCharToMultiByte(CP_UTF8, 0, wsz, -1, pszBuf, (int)cbBuf, NULL, NULL))
        RTStrPrintf(pszBuf, cbBuf, "handle %p", (void *)h);
    PUBLIC_OBJECT_BASIC_INFORMATION Info;
    if (NT_SUCCESS(NtQueryObject(h, ObjectBasicInformation, &Info, sizeof(Info), NULL)) &&
        (Info.GrantedAccess & (FILE_WRITE_DATA | FILE_APPEND_DATA)))
    {
        size_t cch = strlen(pszBuf);
        RTStrPrintf(&pszBuf[cch], cbBuf - cch, " for writing");
    }
    return pszBuf;
}

static const char *faultWideName(const WCHAR *pwsz, size_t cwc, char *pszBuf, size_t cbBuf)
{
    int cb = pwsz ? WideCharToMultiByte(CP_UTF8, 0, pwsz, (int)cwc, pszBuf, (int)cbBuf - 1, NULL, NULL) : 0;
    pszBuf[cb > 0 ? cb : 0] = '\0';
    return pszBuf;
}

/* ---- heap: a null block, as the process heap gives when it is exhausted -- */

static const RTMEMHEAPOPS *g_pFaultHostHeap;

static void *faultAlloc(size_t cb)
{
    return faultCount(FAULTKIND_HEAP, "RTMemAlloc(%zu)", cb) ? NULL : g_pFaultHostHeap->pfnAlloc(cb);
}

static void *faultAllocZero(size_t cb)
{
    return faultCount(FAULTKIND_HEAP, "RTMemAllocZ(%zu)", cb) ? NULL : g_pFaultHostHeap->pfnAllocZero(cb);
}

static void *faultRealloc(void *pv, size_t cb)
{
    return faultCount(FAULTKIND_HEAP, "RTMemRealloc(%zu)", cb) ? NULL : g_pFaultHostHeap->pfnRealloc(pv, cb);
}

static void faultFree(void *pv)
{
    g_pFaultHostHeap->pfnFree(pv);
}

static const RTMEMHEAPOPS g_FaultHeapOps = {faultAlloc, faultAllocZero, faultRealloc, faultFree};

/* ---- the file layer ------------------------------------------------------ */

static RTFILESYSCALLS g_FaultSysCalls;

/** Counts a call on handle @a h of @a enmKind. */
static bool faultCountHandle(FAULTKIND enmKind, const char *pszCall, HANDLE h)
{
    if (enmKind != g_enmFaultKind || faultIsStdHandle(h))
        return false;
    char szName[520];
    return faultCount(enmKind, "%s(%s)", pszCall, faultHandleName(h, szName, sizeof(szName)));
}

/** A read error of the medium. */
static BOOL WINAPI faultReadFile(HANDLE hFile, LPVOID pvBuf, DWORD cbToRead, LPDWORD pcbRead, LPOVERLAPPED pOverlapped)
{
    if (faultCountHandle(FAULTKIND_READ, "ReadFile", hFile))
    {
        if (pcbRead)
            *pcbRead = 0;
        SetLastError(ERROR_CRC);
        return FALSE;
    }
    return g_rtFileHostSysCalls.pfnReadFile(hFile, pvBuf, cbToRead, pcbRead, pOverlapped);
}

/** A full disk: nothing of this write is stored. */
static BOOL WINAPI faultWriteFile(HANDLE hFile, LPCVOID pvBuf, DWORD cbToWrite, LPDWORD pcbWritten,
                                  LPOVERLAPPED pOverlapped)
{
    if (faultCountHandle(FAULTKIND_WRITE, "WriteFile", hFile))
    {
        if (pcbWritten)
            *pcbWritten = 0;
        SetLastError(ERROR_DISK_FULL);
        return FALSE;
    }
    return g_rtFileHostSysCalls.pfnWriteFile(hFile, pvBuf, cbToWrite, pcbWritten, pOverlapped);
}

/** Information queries: the kernel out of pool memory. */
static NTSTATUS NTAPI faultNtQueryVolumeInformationFile(HANDLE hFile, PIO_STATUS_BLOCK pIos, PVOID pvBuf, ULONG cbBuf,
                                                        FS_INFORMATION_CLASS enmClass)
{
    if (faultCountHandle(FAULTKIND_QUERY, "NtQueryVolumeInformationFile", hFile))
        return (NTSTATUS)0xC0000017 /*STATUS_NO_MEMORY*/;
    return g_rtFileHostSysCalls.pfnNtQueryVolumeInformationFile(hFile, pIos, pvBuf, cbBuf, enmClass);
}

static NTSTATUS NTAPI faultNtQueryInformationFile(HANDLE hFile, PIO_STATUS_BLOCK pIos, PVOID pvBuf, ULONG cbBuf,
                                                  FILE_INFORMATION_CLASS enmClass)
{
    if (faultCountHandle(FAULTKIND_QUERY, "NtQueryInformationFile", hFile))
        return (NTSTATUS)0xC0000017 /*STATUS_NO_MEMORY*/;
    return g_rtFileHostSysCalls.pfnNtQueryInformationFile(hFile, pIos, pvBuf, cbBuf, enmClass);
}

static NTSTATUS NTAPI faultNtQueryFullAttributesFile(POBJECT_ATTRIBUTES pObjAttr, PFILE_NETWORK_OPEN_INFORMATION pInfo)
{
    char szName[520];
    if (g_enmFaultKind == FAULTKIND_QUERY &&
        faultCount(FAULTKIND_QUERY, "NtQueryFullAttributesFile(%s)",
                   faultWideName(pObjAttr->ObjectName->Buffer, pObjAttr->ObjectName->Length / sizeof(WCHAR), szName,
                                 sizeof(szName))))
        return (NTSTATUS)0xC0000017 /*STATUS_NO_MEMORY*/;
    return g_rtFileHostSysCalls.pfnNtQueryFullAttributesFile(pObjAttr, pInfo);
}

/** The process token's user, which a private directory's access list names
 *  and the choice of the temporary directory asks for: the token cannot be
 *  opened, or the kernel is out of pool memory for the answer. */
static NTSTATUS NTAPI faultNtOpenProcessToken(HANDLE hProcess, ACCESS_MASK fAccess, PHANDLE phToken)
{
    if (faultCount(FAULTKIND_QUERY, "NtOpenProcessToken"))
        return (NTSTATUS)0xC0000022 /*STATUS_ACCESS_DENIED*/;
    return g_rtFileHostSysCalls.pfnNtOpenProcessToken(hProcess, fAccess, phToken);
}

static NTSTATUS NTAPI faultNtQueryInformationToken(HANDLE hToken, TOKEN_INFORMATION_CLASS enmClass, PVOID pvBuf,
                                                   ULONG cbBuf, PULONG pcbReturned)
{
    if (faultCount(FAULTKIND_QUERY, "NtQueryInformationToken"))
        return (NTSTATUS)0xC0000017 /*STATUS_NO_MEMORY*/;
    return g_rtFileHostSysCalls.pfnNtQueryInformationToken(hToken, enmClass, pvBuf, cbBuf, pcbReturned);
}

/** Opening a file: access denied, as for a file the user may not write. */
static HANDLE WINAPI faultCreateFileW(LPCWSTR pwszName, DWORD fAccess, DWORD fShare, LPSECURITY_ATTRIBUTES pSecAttr,
                                      DWORD dwDisposition, DWORD fFlags, HANDLE hTemplate)
{
    char szName[520];
    if (g_enmFaultKind == FAULTKIND_OPEN &&
        faultCount(FAULTKIND_OPEN, "CreateFileW(%s)",
                   faultWideName(pwszName, wcslen(pwszName), szName, sizeof(szName))))
    {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    return g_rtFileHostSysCalls.pfnCreateFileW(pwszName, fAccess, fShare, pSecAttr, dwDisposition, fFlags, hTemplate);
}

/** Closing fails the way the platform fails it for a handle protected from
 *  closing: ERROR_INVALID_HANDLE, and the handle stays open. */
static BOOL WINAPI faultCloseHandle(HANDLE h)
{
    if (faultCountHandle(FAULTKIND_CLOSE, "CloseHandle", h))
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return g_rtFileHostSysCalls.pfnCloseHandle(h);
}

static NTSTATUS NTAPI faultNtClose(HANDLE h)
{
    if (faultCountHandle(FAULTKIND_CLOSE, "NtClose", h))
        return (NTSTATUS)0xC0000008 /*STATUS_INVALID_HANDLE*/;
    return g_rtFileHostSysCalls.pfnNtClose(h);
}

/** The native opens: a deletion's open counts as a deletion, a directory's
 *  as a directory call, an open for attributes as a query. Each is denied. */
static NTSTATUS NTAPI faultNtCreateFile(PHANDLE phFile, ACCESS_MASK fAccess, POBJECT_ATTRIBUTES pObjAttr,
                                        PIO_STATUS_BLOCK pIos, PLARGE_INTEGER pcbAlloc, ULONG fAttribs, ULONG fShare,
                                        ULONG dwDisposition, ULONG fOptions, PVOID pvEa, ULONG cbEa)
{
    FAULTKIND enmKind = fAccess & DELETE                 ? FAULTKIND_DELETE
                        : fOptions & FILE_DIRECTORY_FILE ? FAULTKIND_DIR
                                                         : FAULTKIND_QUERY;
    char szName[520];
    if (enmKind == g_enmFaultKind &&
        faultCount(enmKind, "NtCreateFile(%s, access %#lx)",
                   faultWideName(pObjAttr->ObjectName->Buffer, pObjAttr->ObjectName->Length / sizeof(WCHAR), szName,
                                 sizeof(szName)),
                   (unsigned long)fAccess))
        return (NTSTATUS)0xC0000022 /*STATUS_ACCESS_DENIED*/;
    return g_rtFileHostSysCalls.pfnNtCreateFile(phFile, fAccess, pObjAttr, pIos, pcbAlloc, fAttribs, fShare,
                                                dwDisposition, fOptions, pvEa, cbEa);
}

/** Marking a file for deletion: access denied. */
static NTSTATUS NTAPI faultNtSetInformationFile(HANDLE hFile, PIO_STATUS_BLOCK pIos, PVOID pvBuf, ULONG cbBuf,
                                                FILE_INFORMATION_CLASS enmClass)
{
    if (faultCountHandle(FAULTKIND_DELETE, "NtSetInformationFile", hFile))
        return (NTSTATUS)0xC0000022 /*STATUS_ACCESS_DENIED*/;
    return g_rtFileHostSysCalls.pfnNtSetInformationFile(hFile, pIos, pvBuf, cbBuf, enmClass);
}

static BOOL WINAPI faultCreateDirectoryW(LPCWSTR pwszPath, LPSECURITY_ATTRIBUTES pSecAttr)
{
    char szName[520];
    if (g_enmFaultKind == FAULTKIND_DIR &&
        faultCount(FAULTKIND_DIR, "CreateDirectoryW(%s)",
                   faultWideName(pwszPath, wcslen(pwszPath), szName, sizeof(szName))))
    {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return g_rtFileHostSysCalls.pfnCreateDirectoryW(pwszPath, pSecAttr);
}

/** Removing a directory another process has open. */
static BOOL WINAPI faultRemoveDirectoryW(LPCWSTR pwszPath)
{
    char szName[520];
    if (g_enmFaultKind == FAULTKIND_DIR &&
        faultCount(FAULTKIND_DIR, "RemoveDirectoryW(%s)",
                   faultWideName(pwszPath, wcslen(pwszPath), szName, sizeof(szName))))
    {
        SetLastError(ERROR_SHARING_VIOLATION);
        return FALSE;
    }
    return g_rtFileHostSysCalls.pfnRemoveDirectoryW(pwszPath);
}

/* ---- lazily bound calls ----------------------------------------------------
 * Each slot of lazybind.h gets a wrapper that binds the real function on its
 * first call (as the slot's own stub would) and counts the function once,
 * at its first call: the splash screen paints every 50 ms, and a later call
 * of the same function fails along the same path as the first. */

template <typename Fn> struct FaultLazy;

template <typename R, typename... Args> struct FaultLazy<R(Args...)>
{
    typedef R Fn(Args...);

    template <RTLDRLAZYMOD *pMod, const char *pszName, Fn *pfnFail> static R Wrap(Args... args)
    {
        static volatile LONG s_fCounted = 0;
        static Fn *volatile s_pfnReal = NULL;
        if (g_enmFaultKind == FAULTKIND_LAZY && !InterlockedExchange(&s_fCounted, 1) &&
            faultCount(FAULTKIND_LAZY, "%s", pszName))
            return pfnFail(args...);
        if (!s_pfnReal)
            s_pfnReal = (Fn *)RTLdrLazyBind(pMod, pszName);
        return s_pfnReal(args...);
    }
};

/* What each function gives when it fails. Functions that cannot fail
   (GetDesktopWindow, CertFreeCertificateContext, GdiplusShutdown, the
   allocator pair) are not wrapped. */
static UINT WINAPI faultFailMsiInstallProductW(LPCWSTR, LPCWSTR)
{
    return ERROR_INSTALL_FAILURE; /* 1603, "Fatal error during installation." */
}
static UINT WINAPI faultFailMsiEnableLogW(DWORD, LPCWSTR, DWORD)
{
    return ERROR_INVALID_PARAMETER; /* what it gives when the log cannot be opened */
}
static INSTALLUILEVEL WINAPI faultFailMsiSetInternalUI(INSTALLUILEVEL, HWND *)
{
    return INSTALLUILEVEL_NOCHANGE;
}
static PCCERT_CONTEXT WINAPI faultFailCertCreateCertificateContext(DWORD, const BYTE *, DWORD)
{
    SetLastError((DWORD)E_OUTOFMEMORY);
    return NULL;
}
static HCERTSTORE WINAPI faultFailCertOpenStore(LPCSTR, DWORD, HCRYPTPROV_LEGACY, DWORD, const void *)
{
    SetLastError(ERROR_ACCESS_DENIED); /* the machine's stores need an administrator */
    return NULL;
}
static BOOL WINAPI faultFailCertAddCertificateContextToStore(HCERTSTORE, PCCERT_CONTEXT, DWORD, PCCERT_CONTEXT *)
{
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}
/** The store is closed, but a context of it is still referenced. */
static BOOL WINAPI faultFailCertCloseStore(HCERTSTORE hStore, DWORD fFlags)
{
    static decltype(&::CertCloseStore) s_pfnReal = NULL;
    if (!s_pfnReal)
        s_pfnReal = (decltype(&::CertCloseStore))RTLdrLazyBind(&g_LazyModCrypt32, "CertCloseStore");
    s_pfnReal(hStore, fFlags);
    SetLastError((DWORD)CRYPT_E_PENDING_CLOSE);
    return FALSE;
}
static int WINAPI faultFailSHFileOperationW(LPSHFILEOPSTRUCTW)
{
    return ERROR_ACCESS_DENIED;
}
static BOOL WINAPI faultFailInitCommonControlsEx(const INITCOMMONCONTROLSEX *)
{
    return FALSE;
}
static int WINAPI faultFailMessageBoxW(HWND, LPCWSTR, LPCWSTR, UINT)
{
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
}
static int WINAPI faultFailMessageBoxA(HWND, LPCSTR, LPCSTR, UINT)
{
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
}
static Gdiplus::Status WINAPI faultFailGdiplusStartup(ULONG_PTR *, const Gdiplus::GdiplusStartupInput *,
                                                      Gdiplus::GdiplusStartupOutput *)
{
    return Gdiplus::GenericError;
}
static Gdiplus::GpStatus WINGDIPAPI faultFailGdipLoadImageFromStream(IStream *, Gdiplus::GpImage **)
{
    return Gdiplus::OutOfMemory;
}
static Gdiplus::GpStatus WINGDIPAPI faultFailGdipDisposeImage(Gdiplus::GpImage *)
{
    return Gdiplus::InvalidParameter;
}
static Gdiplus::GpStatus WINGDIPAPI faultFailGdipCreateFromHDC(HDC, Gdiplus::GpGraphics **)
{
    return Gdiplus::OutOfMemory;
}
static Gdiplus::GpStatus WINGDIPAPI faultFailGdipDeleteGraphics(Gdiplus::GpGraphics *)
{
    return Gdiplus::InvalidParameter;
}
static Gdiplus::GpStatus WINGDIPAPI faultFailGdipDrawImageRectI(Gdiplus::GpGraphics *, Gdiplus::GpImage *, INT, INT,
                                                                INT, INT)
{
    return Gdiplus::OutOfMemory;
}
static Gdiplus::GpStatus WINGDIPAPI faultFailGdipGetImageWidth(Gdiplus::GpImage *, UINT *)
{
    return Gdiplus::OutOfMemory;
}
static Gdiplus::GpStatus WINGDIPAPI faultFailGdipGetImageHeight(Gdiplus::GpImage *, UINT *)
{
    return Gdiplus::OutOfMemory;
}
static Gdiplus::GpStatus WINGDIPAPI faultFailGdipDeleteBrush(Gdiplus::GpBrush *)
{
    return Gdiplus::InvalidParameter;
}
static Gdiplus::GpStatus WINGDIPAPI faultFailGdipCreateSolidFill(Gdiplus::ARGB, Gdiplus::GpSolidFill **)
{
    return Gdiplus::OutOfMemory;
}
static Gdiplus::GpStatus WINGDIPAPI faultFailGdipFillEllipseI(Gdiplus::GpGraphics *, Gdiplus::GpBrush *, INT, INT, INT,
                                                              INT)
{
    return Gdiplus::OutOfMemory;
}
static Gdiplus::GpStatus WINGDIPAPI faultFailGdipGraphicsClear(Gdiplus::GpGraphics *, Gdiplus::ARGB)
{
    return Gdiplus::OutOfMemory;
}

#define FAULT_LAZY_NAME(a_Name) static const char g_szFaultLazy##a_Name[] = #a_Name
#define FAULT_LAZY_WRAP(a_Mod, a_Name, a_Qualified)                                                                    \
    (g_pfn##a_Name = FaultLazy<decltype(a_Qualified)>::Wrap<&a_Mod, g_szFaultLazy##a_Name, faultFail##a_Name>)

FAULT_LAZY_NAME(MsiInstallProductW);
FAULT_LAZY_NAME(MsiEnableLogW);
FAULT_LAZY_NAME(MsiSetInternalUI);
FAULT_LAZY_NAME(CertCreateCertificateContext);
FAULT_LAZY_NAME(CertOpenStore);
FAULT_LAZY_NAME(CertAddCertificateContextToStore);
FAULT_LAZY_NAME(CertCloseStore);
FAULT_LAZY_NAME(SHFileOperationW);
FAULT_LAZY_NAME(InitCommonControlsEx);
FAULT_LAZY_NAME(MessageBoxW);
FAULT_LAZY_NAME(MessageBoxA);
FAULT_LAZY_NAME(GdiplusStartup);
FAULT_LAZY_NAME(GdipLoadImageFromStream);
FAULT_LAZY_NAME(GdipDisposeImage);
FAULT_LAZY_NAME(GdipCreateFromHDC);
FAULT_LAZY_NAME(GdipDeleteGraphics);
FAULT_LAZY_NAME(GdipDrawImageRectI);
FAULT_LAZY_NAME(GdipGetImageWidth);
FAULT_LAZY_NAME(GdipGetImageHeight);
FAULT_LAZY_NAME(GdipDeleteBrush);
FAULT_LAZY_NAME(GdipCreateSolidFill);
FAULT_LAZY_NAME(GdipFillEllipseI);
FAULT_LAZY_NAME(GdipGraphicsClear);

static void faultWrapLazySlots(void)
{
    FAULT_LAZY_WRAP(g_LazyModMsi, MsiInstallProductW, ::MsiInstallProductW);
    FAULT_LAZY_WRAP(g_LazyModMsi, MsiEnableLogW, ::MsiEnableLogW);
    FAULT_LAZY_WRAP(g_LazyModMsi, MsiSetInternalUI, ::MsiSetInternalUI);
    FAULT_LAZY_WRAP(g_LazyModCrypt32, CertCreateCertificateContext, ::CertCreateCertificateContext);
    FAULT_LAZY_WRAP(g_LazyModCrypt32, CertOpenStore, ::CertOpenStore);
    FAULT_LAZY_WRAP(g_LazyModCrypt32, CertAddCertificateContextToStore, ::CertAddCertificateContextToStore);
    FAULT_LAZY_WRAP(g_LazyModCrypt32, CertCloseStore, ::CertCloseStore);
    FAULT_LAZY_WRAP(g_LazyModShell32, SHFileOperationW, ::SHFileOperationW);
    FAULT_LAZY_WRAP(g_LazyModComCtl32, InitCommonControlsEx, ::InitCommonControlsEx);
    FAULT_LAZY_WRAP(g_LazyModUser32, MessageBoxW, ::MessageBoxW);
    FAULT_LAZY_WRAP(g_LazyModUser32, MessageBoxA, ::MessageBoxA);
    FAULT_LAZY_WRAP(g_LazyModGdiPlus, GdiplusStartup, Gdiplus::GdiplusStartup);
    FAULT_LAZY_WRAP(g_LazyModGdiPlus, GdipLoadImageFromStream, Gdiplus::DllExports::GdipLoadImageFromStream);
    FAULT_LAZY_WRAP(g_LazyModGdiPlus, GdipDisposeImage, Gdiplus::DllExports::GdipDisposeImage);
    FAULT_LAZY_WRAP(g_LazyModGdiPlus, GdipCreateFromHDC, Gdiplus::DllExports::GdipCreateFromHDC);
    FAULT_LAZY_WRAP(g_LazyModGdiPlus, GdipDeleteGraphics, Gdiplus::DllExports::GdipDeleteGraphics);
    FAULT_LAZY_WRAP(g_LazyModGdiPlus, GdipDrawImageRectI, Gdiplus::DllExports::GdipDrawImageRectI);
    FAULT_LAZY_WRAP(g_LazyModGdiPlus, GdipGetImageWidth, Gdiplus::DllExports::GdipGetImageWidth);
    FAULT_LAZY_WRAP(g_LazyModGdiPlus, GdipGetImageHeight, Gdiplus::DllExports::GdipGetImageHeight);
    FAULT_LAZY_WRAP(g_LazyModGdiPlus, GdipDeleteBrush, Gdiplus::DllExports::GdipDeleteBrush);
    FAULT_LAZY_WRAP(g_LazyModGdiPlus, GdipCreateSolidFill, Gdiplus::DllExports::GdipCreateSolidFill);
    FAULT_LAZY_WRAP(g_LazyModGdiPlus, GdipFillEllipseI, Gdiplus::DllExports::GdipFillEllipseI);
    FAULT_LAZY_WRAP(g_LazyModGdiPlus, GdipGraphicsClear, Gdiplus::DllExports::GdipGraphicsClear);
}

/* ---- the payload's resource calls: what each gives for a missing or
        unloadable resource ---------------------------------------------- */

static HRSRC WINAPI faultFindResourceExW(HMODULE hModule, LPCWSTR pwszType, LPCWSTR pwszName, WORD idLang)
{
    char szName[256];
    if (g_enmFaultKind == FAULTKIND_RESOURCE &&
        faultCount(FAULTKIND_RESOURCE, "FindResourceExW(%s)",
                   IS_INTRESOURCE(pwszName) ? "#" : faultWideName(pwszName, wcslen(pwszName), szName, sizeof(szName))))
    {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return NULL;
    }
    return g_PayloadHostResourceCalls.pfnFindResourceExW(hModule, pwszType, pwszName, idLang);
}

static DWORD WINAPI faultSizeofResource(HMODULE hModule, HRSRC hRsrc)
{
    if (faultCount(FAULTKIND_RESOURCE, "SizeofResource"))
    {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return 0;
    }
    return g_PayloadHostResourceCalls.pfnSizeofResource(hModule, hRsrc);
}

static HGLOBAL WINAPI faultLoadResource(HMODULE hModule, HRSRC hRsrc)
{
    if (faultCount(FAULTKIND_RESOURCE, "LoadResource"))
    {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    return g_PayloadHostResourceCalls.pfnLoadResource(hModule, hRsrc);
}

static LPVOID WINAPI faultLockResource(HGLOBAL hGlobal)
{
    return faultCount(FAULTKIND_RESOURCE, "LockResource") ? NULL : g_PayloadHostResourceCalls.pfnLockResource(hGlobal);
}

static const PayloadResourceCalls g_FaultResourceCalls = {faultFindResourceExW, faultSizeofResource, faultLoadResource,
                                                          faultLockResource};

/* ---- main ---------------------------------------------------------------- */

static void faultWriteReport(void)
{
    if (!g_wszFaultReport[0])
        return;
    char szLine[1300];
    size_t cch = RTStrPrintf(szLine, sizeof(szLine), "calls=%ld hit=%ld what=%s\n", (long)g_cFaultCalls,
                             (long)g_fFaultHit, g_szFaultWhat);
    HANDLE h = CreateFileW(g_wszFaultReport, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return;
    DWORD cbWritten = 0;
    WriteFile(h, szLine, (DWORD)cch, &cbWritten, NULL);
    CloseHandle(h);
}

int main(int cArgs, char **papszArgs)
{
    char szKind[32];
    DWORD cch = GetEnvironmentVariableA("ZOLT_FAULT_KIND", szKind, sizeof(szKind));
    if (cch > 0 && cch < sizeof(szKind))
        for (unsigned i = 1; i < RT_ELEMENTS(g_apszFaultKinds); i++)
            if (!strcmp(szKind, g_apszFaultKinds[i]))
                g_enmFaultKind = (FAULTKIND)i;
    char szAt[32];
    cch = GetEnvironmentVariableA("ZOLT_FAULT_N", szAt, sizeof(szAt));
    for (unsigned i = 0; i < cch && i < sizeof(szAt) && szAt[i] >= '0' && szAt[i] <= '9'; i++)
        g_iFaultAt = g_iFaultAt * 10 + (szAt[i] - '0');
    cch = GetEnvironmentVariableW(L"ZOLT_FAULT_REPORT", g_wszFaultReport, RT_ELEMENTS(g_wszFaultReport));
    if (cch >= RT_ELEMENTS(g_wszFaultReport))
        g_wszFaultReport[0] = '\0';
    cch = GetEnvironmentVariableW(L"ZOLT_FAULT_TRACE", g_wszFaultTrace, RT_ELEMENTS(g_wszFaultTrace));
    if (cch >= RT_ELEMENTS(g_wszFaultTrace))
        g_wszFaultTrace[0] = '\0';

    g_pFaultHostHeap = rtMemSetHeapOps(&g_FaultHeapOps);
    g_FaultSysCalls = g_rtFileHostSysCalls;
    g_FaultSysCalls.pfnReadFile = faultReadFile;
    g_FaultSysCalls.pfnWriteFile = faultWriteFile;
    g_FaultSysCalls.pfnNtQueryVolumeInformationFile = faultNtQueryVolumeInformationFile;
    g_FaultSysCalls.pfnCreateFileW = faultCreateFileW;
    g_FaultSysCalls.pfnCloseHandle = faultCloseHandle;
    g_FaultSysCalls.pfnNtCreateFile = faultNtCreateFile;
    g_FaultSysCalls.pfnNtQueryInformationFile = faultNtQueryInformationFile;
    g_FaultSysCalls.pfnNtSetInformationFile = faultNtSetInformationFile;
    g_FaultSysCalls.pfnNtQueryFullAttributesFile = faultNtQueryFullAttributesFile;
    g_FaultSysCalls.pfnNtClose = faultNtClose;
    g_FaultSysCalls.pfnCreateDirectoryW = faultCreateDirectoryW;
    g_FaultSysCalls.pfnRemoveDirectoryW = faultRemoveDirectoryW;
    g_FaultSysCalls.pfnNtOpenProcessToken = faultNtOpenProcessToken;
    g_FaultSysCalls.pfnNtQueryInformationToken = faultNtQueryInformationToken;
    rtFileSetSysCalls(&g_FaultSysCalls);
    faultWrapLazySlots();
    SetPayloadResourceCalls(&g_FaultResourceCalls);

    int rcExit = StubMain(cArgs, papszArgs);
    faultWriteReport();
    return rcExit;
}
