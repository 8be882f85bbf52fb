/** @file
 * NT object paths: conversion from UTF-8 and opening by NT path.
 */
#include "internal/nt.h"

#include <windows.h>

#include <zolt/err.h>
#include <zolt/mem.h>
#include <zolt/path.h>
#include <zolt/string.h>

#include <winternl.h>

#include <atomic>
#include <string.h>

#include "internal/fileio.h"
#include "internal/path.h"

namespace
{

/** The NT limit for an object name, in UTF-16 units. */
constexpr size_t kcwcNtPathMax = 32766;

/** The object-manager prefixes that turn a DOS path into an NT path. */
struct RTNTPATHPREFIXES
{
    const char *pszDos;
    const char *pszUnc;
};

/** NT 4.0 and later have the short "\??\" alias of the DOS devices. The
 *  version comes from the process environment block, which every NT version
 *  keeps at the same place. */
const RTNTPATHPREFIXES *rtNtPathQueryPrefixes()
{
    static const RTNTPATHPREFIXES s_Modern = {"\\??\\", "\\??\\UNC\\"};
    static const RTNTPATHPREFIXES s_Old = {"\\DosDevices\\", "\\DosDevices\\UNC\\"};
#ifdef _WIN64
    size_t const offOSMajorVersion = 0x118;
#else
    size_t const offOSMajorVersion = 0xa4;
#endif
    PROCESS_BASIC_INFORMATION Info;
    ULONG cbInfo = 0;
    if (!NT_SUCCESS(
            NtQueryInformationProcess(GetCurrentProcess(), ProcessBasicInformation, &Info, sizeof(Info), &cbInfo)) ||
        !Info.PebBaseAddress)
        return &s_Modern;
    ULONG const uMajor = *(const ULONG *)((const uint8_t *)Info.PebBaseAddress + offOSMajorVersion);
    return uMajor >= 4 ? &s_Modern : &s_Old;
}

/** The prefixes, asked for once. Threads that race the first call all get
 *  the same answer, so a plain atomic memo serves; a guarded local static
 *  would pull the C++ runtime's exception support into every program. */
std::atomic<const RTNTPATHPREFIXES *> g_pRtNtPathPrefixes{nullptr};

const RTNTPATHPREFIXES *rtNtPathPrefixes()
{
    const RTNTPATHPREFIXES *pPrefixes = g_pRtNtPathPrefixes.load(std::memory_order_acquire);
    if (!pPrefixes)
    {
        pPrefixes = rtNtPathQueryPrefixes();
        g_pRtNtPathPrefixes.store(pPrefixes, std::memory_order_release);
    }
    return pPrefixes;
}

/** "\\:zoltnt:\": names an NT object directly. */
bool rtNtPathIsRawEscape(const char *pszPath)
{
    static const char s_szTag[] = ":zoltnt:";
    if (!rtPathIsDosSep(pszPath[0]) || !rtPathIsDosSep(pszPath[1]))
        return false;
    for (size_t i = 0; i < sizeof(s_szTag) - 1; i++)
    {
        char ch = pszPath[2 + i];
        if (ch >= 'A' && ch <= 'Z')
            ch = (char)(ch - 'A' + 'a');
        if (ch != s_szTag[i])
            return false;
    }
    return rtPathIsDosSep(pszPath[2 + sizeof(s_szTag) - 1]);
}

/** Converts to UTF-16 into a fresh UNICODE_STRING within the NT limit. */
int rtNtPathSetFromUtf8(UNICODE_STRING *pNtName, const char *psz)
{
    RTUTF16 *pwsz = nullptr;
    size_t cwc = 0;
    int const rc = RTStrToUtf16Ex(psz, RTSTR_MAX, &pwsz, 0, &cwc);
    if (rc < 0)
        return rc;
    if (cwc > kcwcNtPathMax)
    {
        RTMemFree(pwsz);
        return ERR_FILENAME_TOO_LONG;
    }
    pNtName->Buffer = (PWSTR)pwsz;
    pNtName->Length = (USHORT)(cwc * sizeof(RTUTF16));
    pNtName->MaximumLength = (USHORT)(pNtName->Length + sizeof(RTUTF16));
    return SUCCESS;
}

/**
 * Makes @a pszPath absolute behind room for @a pszPrefix (whose first
 * @a cchReplaced characters overwrite the start of the absolute path), then
 * converts the whole.
 */
int rtNtPathFromAbs(UNICODE_STRING *pNtName, const char *pszPath, const char *pszPrefix, size_t cchReplaced)
{
    size_t const cchPrefix = strlen(pszPrefix);
    size_t const offAbs = cchPrefix - cchReplaced;
    char szStack[RTPATH_MAX];
    char *pszBuf = szStack;
    size_t cbBuf = sizeof(szStack);
    int rc = ERR_FILENAME_TOO_LONG;
    for (unsigned iHeap = 0; iHeap <= 8; iHeap++)
    {
        size_t cbAbs = cbBuf - offAbs;
        rc = RTPathAbsEx(nullptr, pszPath, RTPATH_STYLE_DOS, pszBuf + offAbs, &cbAbs);
        if (rc != ERR_BUFFER_OVERFLOW)
            break;
        if (iHeap == 8)
        {
            rc = ERR_FILENAME_TOO_LONG;
            break;
        }
        size_t cbNew = (cbAbs + offAbs + 95) & ~(size_t)63;
        if (cbNew < cbBuf + 256)
            cbNew = cbBuf + 256;
        if (iHeap == 7 && cbNew < 131072)
            cbNew = 131072;
        if (pszBuf != szStack)
            RTMemFree(pszBuf);
        pszBuf = (char *)RTMemAlloc(cbNew);
        if (!pszBuf)
            return ERR_NO_TMP_MEMORY;
        cbBuf = cbNew;
    }
    if (rc >= 0)
    {
        memcpy(pszBuf, pszPrefix, cchPrefix);
        rc = rtNtPathSetFromUtf8(pNtName, pszBuf);
    }
    if (pszBuf != szStack)
        RTMemFree(pszBuf);
    return rc;
}

} // namespace

RTDECL(int) RTNtPathFromUtf8(struct _UNICODE_STRING *pNtName, void **phRootDir, const char *pszPath)
{
    if (!RT_VALID_PTR(pNtName) || !RT_VALID_PTR(phRootDir) || !RT_VALID_PTR(pszPath))
        return ERR_INVALID_POINTER;
    pNtName->Buffer = nullptr;
    pNtName->Length = pNtName->MaximumLength = 0;
    *phRootDir = nullptr;

    const RTNTPATHPREFIXES *pPrefixes = rtNtPathPrefixes();
    if (rtNtPathIsRawEscape(pszPath))
        return rtNtPathSetFromUtf8(pNtName, pszPath + 10);

    bool const fTwoSeps = rtPathIsDosSep(pszPath[0]) && rtPathIsDosSep(pszPath[1]);
    if (fTwoSeps && pszPath[2] == '?' && rtPathIsDosSep(pszPath[3]))
    {
        /* Already an NT path in Win32 clothes: only the prefix changes. */
        int rc = rtNtPathSetFromUtf8(pNtName, pszPath);
        if (rc < 0)
            return rc;
        size_t const cwcPrefix = strlen(pPrefixes->pszDos);
        size_t const cwcRest = pNtName->Length / sizeof(RTUTF16) - 4;
        if (cwcPrefix + cwcRest > kcwcNtPathMax)
        {
            RTNtPathFree(pNtName, nullptr);
            return ERR_FILENAME_TOO_LONG;
        }
        if (cwcPrefix != 4)
        {
            PWSTR pwszNew = (PWSTR)RTMemRealloc(pNtName->Buffer, (cwcPrefix + cwcRest + 1) * sizeof(RTUTF16));
            if (!pwszNew)
            {
                RTNtPathFree(pNtName, nullptr);
                return ERR_NO_TMP_MEMORY;
            }
            memmove(&pwszNew[cwcPrefix], &pwszNew[4], (cwcRest + 1) * sizeof(RTUTF16));
            pNtName->Buffer = pwszNew;
            pNtName->Length = (USHORT)((cwcPrefix + cwcRest) * sizeof(RTUTF16));
            pNtName->MaximumLength = (USHORT)(pNtName->Length + sizeof(RTUTF16));
        }
        for (size_t i = 0; i < cwcPrefix; i++)
            pNtName->Buffer[i] = (WCHAR)pPrefixes->pszDos[i];
        return SUCCESS;
    }
    if (fTwoSeps && pszPath[2] == '.' && rtPathIsDosSep(pszPath[3]))
        return rtNtPathFromAbs(pNtName, pszPath, pPrefixes->pszDos, 4);
    if (fTwoSeps)
        return rtNtPathFromAbs(pNtName, pszPath, pPrefixes->pszUnc, 2);
    return rtNtPathFromAbs(pNtName, pszPath, pPrefixes->pszDos, 0);
}

RTDECL(void) RTNtPathFree(struct _UNICODE_STRING *pNtName, void **phRootDir)
{
    if (pNtName)
    {
        RTMemFree(pNtName->Buffer);
        pNtName->Buffer = nullptr;
        pNtName->Length = pNtName->MaximumLength = 0;
    }
    if (phRootDir)
        *phRootDir = nullptr;
}

namespace
{

/** Object-directory rights that correspond to a file access mask. */
ACCESS_MASK rtNtPathDirObjAccess(ACCESS_MASK fAccess)
{
    if ((fAccess & STANDARD_RIGHTS_ALL) == STANDARD_RIGHTS_ALL || (fAccess & GENERIC_ALL))
        return RT_NT_DIRECTORY_ALL_ACCESS;
    ACCESS_MASK fDir = 0;
    if (fAccess & (GENERIC_WRITE | STANDARD_RIGHTS_WRITE | FILE_WRITE_DATA))
        fDir |= RT_NT_DIRECTORY_CREATE_OBJECT | RT_NT_DIRECTORY_CREATE_SUBDIRECTORY;
    if ((fAccess & (GENERIC_READ | STANDARD_RIGHTS_READ | FILE_READ_DATA)) || !fDir)
        fDir |= RT_NT_DIRECTORY_QUERY;
    if (fAccess & FILE_TRAVERSE)
        fDir |= RT_NT_DIRECTORY_TRAVERSE;
    return fDir;
}

/** Appends a backslash to an NT path (for a drive root named without). */
bool rtNtPathAppendSlash(UNICODE_STRING *pNtName)
{
    size_t const cwc = pNtName->Length / sizeof(WCHAR);
    PWSTR pwszNew = (PWSTR)RTMemRealloc(pNtName->Buffer, (cwc + 2) * sizeof(WCHAR));
    if (!pwszNew)
        return false;
    pwszNew[cwc] = L'\\';
    pwszNew[cwc + 1] = L'\0';
    pNtName->Buffer = pwszNew;
    pNtName->Length = (USHORT)(pNtName->Length + sizeof(WCHAR));
    pNtName->MaximumLength = (USHORT)(pNtName->Length + sizeof(WCHAR));
    return true;
}

/** Whether a whole-name open may have failed for the name's length alone. */
bool rtNtPathIsHostLimit(NTSTATUS rcNt, size_t cwcName)
{
    return (rcNt == RT_NT_STATUS_UNSUCCESSFUL || rcNt == RT_NT_STATUS_NAME_TOO_LONG) && cwcName > RT_NT_PATH_HOST_STEP;
}

/** The end of the next piece of @a pwsz (@a cwc units) that starts at
 *  @a off: the last separator at most RT_NT_PATH_HOST_STEP units on, or the
 *  first one after a longer component. @returns @a cwc when the rest is
 *  the last piece. */
size_t rtNtPathNextPiece(const WCHAR *pwsz, size_t cwc, size_t off)
{
    if (cwc - off <= RT_NT_PATH_HOST_STEP)
        return cwc;
    size_t offSep = off + RT_NT_PATH_HOST_STEP;
    while (offSep > off && pwsz[offSep] != L'\\')
        offSep--;
    if (offSep == off)
    {
        offSep = off + RT_NT_PATH_HOST_STEP;
        while (offSep < cwc && pwsz[offSep] != L'\\')
            offSep++;
    }
    return offSep;
}

/** rtNtPathCreateFile's piecewise way: every ancestor piece opened for
 *  traversal relative to the one before, the object relative to the last. */
NTSTATUS rtNtPathCreatePiecewise(PHANDLE phFile, ACCESS_MASK fDesiredAccess, POBJECT_ATTRIBUTES pObjAttr,
                                 PIO_STATUS_BLOCK pIos, ULONG fFileAttributes, ULONG fShareAccess, ULONG fDisposition,
                                 ULONG fCreateOptions)
{
    const WCHAR *pwsz = pObjAttr->ObjectName->Buffer;
    size_t const cwc = pObjAttr->ObjectName->Length / sizeof(WCHAR);
    HANDLE hDir = nullptr;
    size_t off = 0;
    for (;;)
    {
        size_t const offEnd = rtNtPathNextPiece(pwsz, cwc, off);
        UNICODE_STRING Piece;
        Piece.Buffer = (PWSTR)pwsz + off;
        Piece.Length = Piece.MaximumLength = (USHORT)((offEnd - off) * sizeof(WCHAR));
        OBJECT_ATTRIBUTES ObjAttr;
        InitializeObjectAttributes(&ObjAttr, &Piece, pObjAttr->Attributes, hDir, pObjAttr->SecurityDescriptor);
        NTSTATUS rcNt;
        if (offEnd >= cwc)
        {
            rcNt = g_pRtFileSysCalls->pfnNtCreateFile(phFile, fDesiredAccess, &ObjAttr, pIos, nullptr, fFileAttributes,
                                                      fShareAccess, fDisposition, fCreateOptions, nullptr, 0);
            if (hDir)
                g_pRtFileSysCalls->pfnNtClose(hDir);
            return rcNt;
        }
        /* Ancestors are only passed through; the handle must not carry
           the caller's inheritance. */
        ObjAttr.Attributes &= ~(ULONG)OBJ_INHERIT;
        HANDLE hNext = INVALID_HANDLE_VALUE;
        IO_STATUS_BLOCK Ios;
        rcNt = g_pRtFileSysCalls->pfnNtCreateFile(
            &hNext, FILE_TRAVERSE | SYNCHRONIZE, &ObjAttr, &Ios, nullptr, FILE_ATTRIBUTE_NORMAL,
            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN,
            FILE_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_FOR_BACKUP_INTENT, nullptr, 0);
        if (hDir)
            g_pRtFileSysCalls->pfnNtClose(hDir);
        if (!NT_SUCCESS(rcNt))
            return rcNt;
        hDir = hNext;
        off = offEnd + 1;
    }
}

} // namespace

NTSTATUS rtNtPathCreateFile(PHANDLE phFile, ACCESS_MASK fDesiredAccess, POBJECT_ATTRIBUTES pObjAttr,
                            PIO_STATUS_BLOCK pIos, ULONG fFileAttributes, ULONG fShareAccess, ULONG fDisposition,
                            ULONG fCreateOptions)
{
    NTSTATUS rcNt = g_pRtFileSysCalls->pfnNtCreateFile(phFile, fDesiredAccess, pObjAttr, pIos, nullptr, fFileAttributes,
                                                       fShareAccess, fDisposition, fCreateOptions, nullptr, 0);
    if (rtNtPathIsHostLimit(rcNt, pObjAttr->ObjectName->Length / sizeof(WCHAR)) && !pObjAttr->RootDirectory)
        rcNt = rtNtPathCreatePiecewise(phFile, fDesiredAccess, pObjAttr, pIos, fFileAttributes, fShareAccess,
                                       fDisposition, fCreateOptions);
    return rcNt;
}

bool rtNtPathWinMayRetry(DWORD dwErr, const RTUTF16 *pwszPath)
{
    if (dwErr != ERROR_GEN_FAILURE && dwErr != ERROR_FILENAME_EXCED_RANGE)
        return false;
    if (pwszPath[0] != '\\' || pwszPath[1] != '\\' || pwszPath[2] != '?' || pwszPath[3] != '\\')
        return false;
    size_t cwc = 4;
    while (cwc <= RT_NT_PATH_HOST_STEP && pwszPath[cwc])
        cwc++;
    return cwc > RT_NT_PATH_HOST_STEP;
}

DWORD rtNtPathWinCreate(RTUTF16 *pwszPath, ACCESS_MASK fDesiredAccess, ULONG fObjAttribs, ULONG fFileAttributes,
                        ULONG fShareAccess, ULONG fDisposition, ULONG fCreateOptions, HANDLE *phFile,
                        ULONG_PTR *puInformation)
{
    /* "\\?\C:\x" is the NT path "\??\C:\x" in Win32 clothes. */
    UNICODE_STRING NtName;
    NtName.Buffer = (PWSTR)pwszPath;
    size_t cwc = 0;
    while (pwszPath[cwc])
        cwc++;
    NtName.Length = (USHORT)(cwc * sizeof(WCHAR));
    NtName.MaximumLength = (USHORT)(NtName.Length + sizeof(WCHAR));
    pwszPath[1] = '?';
    OBJECT_ATTRIBUTES ObjAttr;
    InitializeObjectAttributes(&ObjAttr, &NtName, fObjAttribs, nullptr, nullptr);
    IO_STATUS_BLOCK Ios;
    Ios.Information = 0;
    *phFile = INVALID_HANDLE_VALUE;
    NTSTATUS const rcNt = rtNtPathCreateFile(phFile, fDesiredAccess, &ObjAttr, &Ios, fFileAttributes, fShareAccess,
                                             fDisposition, fCreateOptions);
    pwszPath[1] = '\\';
    if (!NT_SUCCESS(rcNt))
    {
        *phFile = INVALID_HANDLE_VALUE;
        return RtlNtStatusToDosError(rcNt);
    }
    if (puInformation)
        *puInformation = Ios.Information;
    return ERROR_SUCCESS;
}

RTDECL(int)
RTNtPathOpen(const char *pszPath, uint32_t fDesiredAccess, uint32_t fShareAccess, uint32_t fCreateOptions,
             uint32_t fObjAttribs, void **phHandle, bool *pfObjDir)
{
    if (!RT_VALID_PTR(phHandle) || (pfObjDir && !RT_VALID_PTR(pfObjDir)))
        return ERR_INVALID_POINTER;
    *phHandle = INVALID_HANDLE_VALUE;
    UNICODE_STRING NtName;
    HANDLE hRootDir;
    int rc = RTNtPathFromUtf8(&NtName, &hRootDir, pszPath);
    if (rc < 0)
        return rc;
    bool const fObjDirAllowed = pfObjDir && rtNtPathIsRawEscape(pszPath);

    OBJECT_ATTRIBUTES ObjAttr;
    InitializeObjectAttributes(&ObjAttr, &NtName, fObjAttribs, hRootDir, nullptr);
    HANDLE hHandle = INVALID_HANDLE_VALUE;
    IO_STATUS_BLOCK Ios;
    auto openFile = [&]() {
        return rtNtPathCreateFile(&hHandle, fDesiredAccess, &ObjAttr, &Ios, FILE_ATTRIBUTE_NORMAL, fShareAccess,
                                  FILE_OPEN, fCreateOptions);
    };
    NTSTATUS rcNt = openFile();
    size_t const cwc = NtName.Length / sizeof(WCHAR);
    if (rcNt == RT_NT_STATUS_INVALID_PARAMETER && NtName.Length < 65532 && cwc && NtName.Buffer[cwc - 1] != L'\\' &&
        rtNtPathAppendSlash(&NtName))
        rcNt = openFile();

    bool fObjDir = false;
    if ((rcNt == RT_NT_STATUS_OBJECT_NAME_INVALID || rcNt == RT_NT_STATUS_OBJECT_TYPE_MISMATCH) && fObjDirAllowed)
    {
        size_t const cwcName = NtName.Length / sizeof(WCHAR);
        if (cwcName > 1 && NtName.Buffer[cwcName - 1] == L'\\')
            NtName.Length = (USHORT)(NtName.Length - sizeof(WCHAR));
        rcNt = NtOpenDirectoryObject(&hHandle, rtNtPathDirObjAccess(fDesiredAccess), &ObjAttr);
        fObjDir = NT_SUCCESS(rcNt);
    }

    if (NT_SUCCESS(rcNt))
    {
        *phHandle = hHandle;
        if (pfObjDir)
            *pfObjDir = fObjDir;
        rc = SUCCESS;
    }
    else
        rc = RTErrConvertFromNtStatus(rcNt);
    RTNtPathFree(&NtName, &hRootDir);
    return rc;
}
