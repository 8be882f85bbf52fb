/** @file
 * Directories, NT: information by path and directory handles through the
 * native interface, which can open a link itself instead of its target.
 */
#include <windows.h>

#include <zolt/dir.h>
#include <zolt/err.h>
#include <zolt/path.h>
#include <zolt/string.h>

#include <winternl.h>

#include <atomic>

#include "internal/dir.h"
#include "internal/fileio.h"
#include "internal/nt.h"
#include "internal/time.h"

/** The reparse tag of a symbolic link (IO_REPARSE_TAG_SYMLINK). */
#define RT_NT_REPARSE_TAG_SYMLINK UINT32_C(0xA000000C)

/** Set once the platform has refused FILE_OPEN_REPARSE_POINT (NT 4 and
 *  file systems without reparse points); racing threads agree. */
static std::atomic<bool> g_fRtNtNoReparseOption{false};

/** Fills the record from what a quick attribute query or a directory entry
 *  gives: no identity, so the additional part is the "not known" one. */
static void rtPathNtFillBasic(RTFSOBJREC *pObjInfo, RTFSOBJATTRADD enmAdditional, int64_t cbObject, int64_t cbAllocated,
                              const LARGE_INTEGER &AccessTime, const LARGE_INTEGER &WriteTime,
                              const LARGE_INTEGER &ChangeTime, const LARGE_INTEGER &CreationTime, ULONG fAttributes,
                              uint32_t uReparseTag)
{
    pObjInfo->cbObject = cbObject;
    pObjInfo->cbAllocated = cbAllocated;
    pObjInfo->AccessTime.i64NanosecondsRelativeToUnixEpoch = rtTimeFromNtTime(AccessTime.QuadPart);
    pObjInfo->ModificationTime.i64NanosecondsRelativeToUnixEpoch = rtTimeFromNtTime(WriteTime.QuadPart);
    pObjInfo->ChangeTime.i64NanosecondsRelativeToUnixEpoch = rtTimeFromNtTime(ChangeTime.QuadPart);
    pObjInfo->BirthTime.i64NanosecondsRelativeToUnixEpoch = rtTimeFromNtTime(CreationTime.QuadPart);
    pObjInfo->Attr.fMode = RTFsModeFromDos((RTFMODE)fAttributes << RTFS_DOS_SHIFT, nullptr, 0, uReparseTag, 0);
    rtFsObjInfoInitAdditional(pObjInfo, enmAdditional);
}

/** Opens for reading attributes, every kind of sharing allowed. */
static NTSTATUS rtPathNtOpen(POBJECT_ATTRIBUTES pObjAttr, ACCESS_MASK fAccess, ULONG fOptions, HANDLE *phFile)
{
    IO_STATUS_BLOCK Ios;
    *phFile = INVALID_HANDLE_VALUE;
    return rtNtPathCreateFile(phFile, fAccess | SYNCHRONIZE, pObjAttr, &Ios, FILE_ATTRIBUTE_NORMAL,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN,
                              fOptions | FILE_OPEN_FOR_BACKUP_INTENT | FILE_SYNCHRONOUS_IO_NONALERT);
}

/**
 * Looks the object up by name in its parent directory: the way to get at
 * objects that cannot be opened at all (in use without sharing, or denied
 * to the caller) while their directory can be listed.
 */
static int rtPathNtQueryByDirEntry(const UNICODE_STRING *pNtName, RTFSOBJREC *pObjInfo, RTFSOBJATTRADD enmAdditional)
{
    size_t const cwc = pNtName->Length / sizeof(WCHAR);
    size_t cwcParent = cwc;
    while (cwcParent > 0 && pNtName->Buffer[cwcParent - 1] != '\\')
        cwcParent--;
    if (cwcParent == 0 || cwcParent == cwc)
        return ERR_FILE_NOT_FOUND;
    UNICODE_STRING Name;
    Name.Buffer = pNtName->Buffer + cwcParent;
    Name.Length = Name.MaximumLength = (USHORT)((cwc - cwcParent) * sizeof(WCHAR));
    /* The parent keeps its separator only when it is a drive's root. */
    UNICODE_STRING Parent;
    Parent.Buffer = pNtName->Buffer;
    Parent.Length = Parent.MaximumLength =
        (USHORT)((cwcParent > 1 && pNtName->Buffer[cwcParent - 2] == ':' ? cwcParent : cwcParent - 1) * sizeof(WCHAR));

    OBJECT_ATTRIBUTES ObjAttr;
    InitializeObjectAttributes(&ObjAttr, &Parent, OBJ_CASE_INSENSITIVE, nullptr, nullptr);
    HANDLE hDir;
    NTSTATUS rcNt = rtPathNtOpen(&ObjAttr, FILE_LIST_DIRECTORY, FILE_DIRECTORY_FILE, &hDir);
    if (!NT_SUCCESS(rcNt))
        return RTErrConvertFromNtStatus(rcNt);

    union {
        FILE_ID_BOTH_DIR_INFORMATION Entry;
        uint8_t ab[sizeof(FILE_ID_BOTH_DIR_INFORMATION) + 520 * sizeof(WCHAR)];
    } u;
    IO_STATUS_BLOCK Ios;
    rcNt = NtQueryDirectoryFile(hDir, nullptr, nullptr, nullptr, &Ios, &u, sizeof(u), FileIdBothDirectoryInformation,
                                TRUE, &Name, TRUE);
    g_pRtFileSysCalls->pfnNtClose(hDir);
    if (rcNt == RT_NT_STATUS_NO_MORE_ENTRIES)
        return ERR_FILE_NOT_FOUND;
    if (!NT_SUCCESS(rcNt) && rcNt != RT_NT_STATUS_BUFFER_OVERFLOW)
        return RTErrConvertFromNtStatus(rcNt);

    /* A reparse point's entry carries its tag where the EA size would be. */
    ULONG const fAttributes = u.Entry.FileAttributes;
    rtPathNtFillBasic(pObjInfo, enmAdditional, u.Entry.EndOfFile.QuadPart, u.Entry.AllocationSize.QuadPart,
                      u.Entry.LastAccessTime, u.Entry.LastWriteTime, u.Entry.ChangeTime, u.Entry.CreationTime,
                      fAttributes, fAttributes & FILE_ATTRIBUTE_REPARSE_POINT ? u.Entry.EaSize : 0);
    if (enmAdditional == RTFSOBJATTRADD_UNIX)
        pObjInfo->Attr.u.Unix.INodeId = (uint64_t)u.Entry.FileId.QuadPart;
    return SUCCESS;
}

/** @returns true for the failures after which the directory entry may
 *  still tell. */
static bool rtPathNtTryDirEntry(NTSTATUS rcNt)
{
    return rcNt == RT_NT_STATUS_ACCESS_DENIED || rcNt == RT_NT_STATUS_SHARING_VIOLATION;
}

int rtPathNativeQueryInfo(const char *pszPath, RTFSOBJREC *pObjInfo, RTFSOBJATTRADD enmAdditional, uint32_t fFlags)
{
    UNICODE_STRING NtName;
    void *hRootDir;
    int rc = RTNtPathFromUtf8(&NtName, &hRootDir, pszPath);
    if (RT_FAILURE(rc))
        return rc;
    OBJECT_ATTRIBUTES ObjAttr;
    InitializeObjectAttributes(&ObjAttr, &NtName, OBJ_CASE_INSENSITIVE, (HANDLE)hRootDir, nullptr);

    /* The quick way, without opening anything; it cannot tell a link from
       its target, nor give the identity. */
    FILE_NETWORK_OPEN_INFORMATION NetInfo;
    if (enmAdditional != RTFSOBJATTRADD_UNIX &&
        NT_SUCCESS(g_pRtFileSysCalls->pfnNtQueryFullAttributesFile(&ObjAttr, &NetInfo)) &&
        !(NetInfo.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
    {
        rtPathNtFillBasic(pObjInfo, enmAdditional, NetInfo.EndOfFile.QuadPart, NetInfo.AllocationSize.QuadPart,
                          NetInfo.LastAccessTime, NetInfo.LastWriteTime, NetInfo.ChangeTime, NetInfo.CreationTime,
                          NetInfo.FileAttributes, 0);
        RTNtPathFree(&NtName, &hRootDir);
        return SUCCESS;
    }

    bool fOnLink = (fFlags & RTPATH_F_ON_LINK) && !g_fRtNtNoReparseOption.load(std::memory_order_relaxed);
    HANDLE hFile;
    NTSTATUS rcNt = rtPathNtOpen(&ObjAttr, FILE_READ_ATTRIBUTES, fOnLink ? FILE_OPEN_REPARSE_POINT : 0, &hFile);
    if (rcNt == RT_NT_STATUS_INVALID_PARAMETER && fOnLink)
    {
        g_fRtNtNoReparseOption.store(true, std::memory_order_relaxed);
        fOnLink = false;
        rcNt = rtPathNtOpen(&ObjAttr, FILE_READ_ATTRIBUTES, 0, &hFile);
    }

    uint32_t uReparseTag = 0;
    bool fFollowedAnyway = false;
    if (NT_SUCCESS(rcNt) && fOnLink)
    {
        /* Only a symbolic link is reported as itself; other reparse points
           (mount points, placeholders of cloud files, deduplicated files)
           stand for what they contain. */
        FILE_ATTRIBUTE_TAG_INFORMATION TagInfo;
        IO_STATUS_BLOCK Ios;
        if (NT_SUCCESS(g_pRtFileSysCalls->pfnNtQueryInformationFile(hFile, &Ios, &TagInfo, sizeof(TagInfo),
                                                                    FileAttributeTagInformation)) &&
            (TagInfo.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        {
            if (TagInfo.ReparseTag == RT_NT_REPARSE_TAG_SYMLINK)
                uReparseTag = TagInfo.ReparseTag;
            else
            {
                g_pRtFileSysCalls->pfnNtClose(hFile);
                rcNt = rtPathNtOpen(&ObjAttr, FILE_READ_ATTRIBUTES, 0, &hFile);
            }
        }
        else
            fFollowedAnyway = rtFileNtOpenedThroughFinalLink(hFile, &NtName);
    }

    if (NT_SUCCESS(rcNt))
    {
        rc = rtFileNtQueryInfo(hFile, pObjInfo, enmAdditional, uReparseTag);
        g_pRtFileSysCalls->pfnNtClose(hFile);
        if (RT_FAILURE(rc))
            rc = rtPathNtQueryByDirEntry(&NtName, pObjInfo, enmAdditional);
        else if (fFollowedAnyway)
        {
            /* The platform opened the target of a link it should have
               opened itself; what was asked about is the link. */
            pObjInfo->Attr.fMode = RTFsModeFromDos((pObjInfo->Attr.fMode & RTFS_DOS_MASK) | RTFS_DOS_NT_REPARSE_POINT,
                                                   nullptr, 0, RT_NT_REPARSE_TAG_SYMLINK, 0);
        }
    }
    else if (rtPathNtTryDirEntry(rcNt))
        rc = rtPathNtQueryByDirEntry(&NtName, pObjInfo, enmAdditional);
    else
        rc = RTErrConvertFromNtStatus(rcNt);
    RTNtPathFree(&NtName, &hRootDir);
    return rc;
}

int rtDirNativeOpen(RTDIRREC *pDir)
{
    bool fNoFollow = (pDir->fFlags & RTDIR_F_NO_FOLLOW) && !pDir->fDirSlash &&
                     !g_fRtNtNoReparseOption.load(std::memory_order_relaxed);
    /* The stored path ends in a separator, which would make a file's name
       invalid rather than "not a directory", and with the link refused it
       would name the directory behind the link; a drive's root keeps it. */
    const char *pszPath = pDir->pszPath;
    char *pszStripped = nullptr;
    if (pDir->cchPath > 1 && pszPath[pDir->cchPath - 2] != ':')
    {
        pszStripped = RTStrDupN(pszPath, pDir->cchPath - 1);
        if (!pszStripped)
            return ERR_NO_MEMORY;
        pszPath = pszStripped;
    }

    ACCESS_MASK fAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
    ULONG const fBaseOptions = FILE_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_FOR_BACKUP_INTENT;
    void *hDir = INVALID_HANDLE_VALUE;
    int rc;
    for (;;)
    {
        rc = RTNtPathOpen(pszPath, fAccess, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          fBaseOptions | (fNoFollow ? FILE_OPEN_REPARSE_POINT : 0), OBJ_CASE_INSENSITIVE, &hDir,
                          &pDir->fIsObjDir);
        if (rc == ERR_ACCESS_DENIED && (fAccess & FILE_TRAVERSE))
            fAccess &= ~FILE_TRAVERSE; /* listing is all a pinning handle needs */
        else if (rc == ERR_INVALID_PARAMETER && fNoFollow)
        {
            g_fRtNtNoReparseOption.store(true, std::memory_order_relaxed);
            fNoFollow = false;
        }
        else
            break;
    }

    if (RT_SUCCESS(rc) && fNoFollow && !pDir->fIsObjDir)
    {
        FILE_ATTRIBUTE_TAG_INFORMATION TagInfo;
        IO_STATUS_BLOCK Ios;
        bool fReparse = NT_SUCCESS(g_pRtFileSysCalls->pfnNtQueryInformationFile(
                            (HANDLE)hDir, &Ios, &TagInfo, sizeof(TagInfo), FileAttributeTagInformation)) &&
                        (TagInfo.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
        bool fSymlink = fReparse && TagInfo.ReparseTag == RT_NT_REPARSE_TAG_SYMLINK;
        if (!fReparse)
        {
            /* A platform that ignores the option has opened the target. */
            UNICODE_STRING NtName;
            void *hRootDir;
            if (RT_SUCCESS(RTNtPathFromUtf8(&NtName, &hRootDir, pszPath)))
            {
                fReparse = fSymlink = rtFileNtOpenedThroughFinalLink((HANDLE)hDir, &NtName);
                RTNtPathFree(&NtName, &hRootDir);
            }
        }
        if (fReparse)
        {
            g_pRtFileSysCalls->pfnNtClose((HANDLE)hDir);
            hDir = INVALID_HANDLE_VALUE;
            if (fSymlink)
                rc = ERR_IS_A_SYMLINK;
            else /* a mount point or the like: what it contains is the directory */
                rc = RTNtPathOpen(pszPath, fAccess, FILE_SHARE_READ | FILE_SHARE_WRITE, fBaseOptions,
                                  OBJ_CASE_INSENSITIVE, &hDir, &pDir->fIsObjDir);
        }
    }
    RTStrFree(pszStripped);
    if (RT_SUCCESS(rc))
        pDir->hDir = (intptr_t)hDir;
    return rc;
}

int rtDirNativeClose(RTDIRREC *pDir)
{
    NTSTATUS const rcNt = g_pRtFileSysCalls->pfnNtClose((HANDLE)pDir->hDir);
    pDir->hDir = -1;
    return NT_SUCCESS(rcNt) ? SUCCESS : RTErrConvertFromNtStatus(rcNt);
}
