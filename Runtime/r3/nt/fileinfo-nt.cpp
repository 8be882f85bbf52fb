/** @file
 * File information, NT: the object record from NtQueryInformationFile, with
 * the console fallback.
 */
#include <windows.h>

#include <zolt/err.h>
#include <zolt/file.h>
#include <zolt/mem.h>

#include <winternl.h>

#include <atomic>

#include "internal/fileio.h"
#include "internal/nt.h"
#include "internal/time.h"

int rtFileNtQueryInfo(HANDLE hFile, RTFSOBJREC *pObjInfo, RTFSOBJATTRADD enmAdditional, uint32_t uReparseTag)
{
    /* The name at the end of FILE_ALL_INFORMATION does not fit, and is not
       wanted: the overflow warning still comes with everything before it. */
    FILE_ALL_INFORMATION AllInfo;
    IO_STATUS_BLOCK Ios;
    NTSTATUS rcNt =
        g_pRtFileSysCalls->pfnNtQueryInformationFile(hFile, &Ios, &AllInfo, sizeof(AllInfo), FileAllInformation);
    if (rcNt == RT_NT_STATUS_OBJECT_TYPE_MISMATCH)
    {
        /* Wine cannot name a file whose host path is longer than the host
           takes (one opened piece by piece), and then refuses the whole
           class so; the parts wanted here need no name. A console refuses
           them as well. */
        NTSTATUS const rcNtAll = rcNt;
        rcNt = g_pRtFileSysCalls->pfnNtQueryInformationFile(hFile, &Ios, &AllInfo.BasicInformation,
                                                            sizeof(AllInfo.BasicInformation), FileBasicInformation);
        if (NT_SUCCESS(rcNt))
            rcNt = g_pRtFileSysCalls->pfnNtQueryInformationFile(hFile, &Ios, &AllInfo.StandardInformation,
                                                                sizeof(AllInfo.StandardInformation),
                                                                FileStandardInformation);
        if (NT_SUCCESS(rcNt))
            rcNt = g_pRtFileSysCalls->pfnNtQueryInformationFile(hFile, &Ios, &AllInfo.InternalInformation,
                                                                sizeof(AllInfo.InternalInformation),
                                                                FileInternalInformation);
        if (!NT_SUCCESS(rcNt))
            return RTErrConvertFromNtStatus(rcNtAll);
    }
    else if (!NT_SUCCESS(rcNt) && rcNt != RT_NT_STATUS_BUFFER_OVERFLOW)
        return RTErrConvertFromNtStatus(rcNt);

    pObjInfo->cbObject = AllInfo.StandardInformation.EndOfFile.QuadPart;
    pObjInfo->cbAllocated = AllInfo.StandardInformation.AllocationSize.QuadPart;
    pObjInfo->AccessTime.i64NanosecondsRelativeToUnixEpoch =
        rtTimeFromNtTime(AllInfo.BasicInformation.LastAccessTime.QuadPart);
    pObjInfo->ModificationTime.i64NanosecondsRelativeToUnixEpoch =
        rtTimeFromNtTime(AllInfo.BasicInformation.LastWriteTime.QuadPart);
    pObjInfo->ChangeTime.i64NanosecondsRelativeToUnixEpoch =
        rtTimeFromNtTime(AllInfo.BasicInformation.ChangeTime.QuadPart);
    pObjInfo->BirthTime.i64NanosecondsRelativeToUnixEpoch =
        rtTimeFromNtTime(AllInfo.BasicInformation.CreationTime.QuadPart);
    pObjInfo->Attr.fMode =
        RTFsModeFromDos((RTFMODE)AllInfo.BasicInformation.FileAttributes << RTFS_DOS_SHIFT, nullptr, 0, uReparseTag, 0);
    rtFsObjInfoInitAdditional(pObjInfo, enmAdditional);
    if (enmAdditional == RTFSOBJATTRADD_UNIX)
    {
        if (AllInfo.StandardInformation.NumberOfLinks > 1)
            pObjInfo->Attr.u.Unix.cHardlinks = AllInfo.StandardInformation.NumberOfLinks;
        pObjInfo->Attr.u.Unix.INodeId = (uint64_t)AllInfo.InternalInformation.IndexNumber.QuadPart;
        union {
            FILE_FS_VOLUME_INFORMATION Info;
            uint8_t ab[sizeof(FILE_FS_VOLUME_INFORMATION) + 64 * sizeof(WCHAR)];
        } uVol;
        /* The label may not fit; the serial number comes before it. */
        NTSTATUS const rcNtVol = g_pRtFileSysCalls->pfnNtQueryVolumeInformationFile(hFile, &Ios, &uVol, sizeof(uVol),
                                                                                    FileFsVolumeInformation);
        if (NT_SUCCESS(rcNtVol) || rcNtVol == RT_NT_STATUS_BUFFER_OVERFLOW)
            pObjInfo->Attr.u.Unix.INodeIdDevice = uVol.Info.VolumeSerialNumber;
    }
    return SUCCESS;
}

/** The final component of an NT path of @a cwc units (trailing separators
 *  ignored). */
static UNICODE_STRING rtFileNtFinalComponent(const WCHAR *pwsz, size_t cwc)
{
    while (cwc > 0 && pwsz[cwc - 1] == '\\')
        cwc--;
    size_t off = cwc;
    while (off > 0 && pwsz[off - 1] != '\\')
        off--;
    UNICODE_STRING Name;
    Name.Buffer = (PWSTR)pwsz + off;
    Name.Length = Name.MaximumLength = (USHORT)((cwc - off) * sizeof(WCHAR));
    return Name;
}

bool rtFileNtOpenedThroughFinalLink(HANDLE hFile, const UNICODE_STRING *pNtName)
{
    union {
        FILE_NAME_INFORMATION Info;
        uint8_t ab[sizeof(FILE_NAME_INFORMATION) + 1024 * sizeof(WCHAR)];
    } uStack;
    FILE_NAME_INFORMATION *pInfo = &uStack.Info;
    IO_STATUS_BLOCK Ios;
    NTSTATUS rcNt =
        g_pRtFileSysCalls->pfnNtQueryInformationFile(hFile, &Ios, pInfo, sizeof(uStack), FileNameInformation);
    if (rcNt == RT_NT_STATUS_BUFFER_OVERFLOW)
    {
        /* A deep path: the first answer says how long it is. */
        ULONG const cbInfo = (ULONG)sizeof(FILE_NAME_INFORMATION) + uStack.Info.FileNameLength;
        pInfo = (FILE_NAME_INFORMATION *)RTMemAlloc(cbInfo);
        if (!pInfo)
            return false;
        rcNt = g_pRtFileSysCalls->pfnNtQueryInformationFile(hFile, &Ios, pInfo, cbInfo, FileNameInformation);
    }
    bool fLink = false;
    if (NT_SUCCESS(rcNt))
    {
        UNICODE_STRING const Opened = rtFileNtFinalComponent(pInfo->FileName, pInfo->FileNameLength / sizeof(WCHAR));
        UNICODE_STRING const Asked = rtFileNtFinalComponent(pNtName->Buffer, pNtName->Length / sizeof(WCHAR));
        fLink = Opened.Length > 0 && Asked.Length > 0 && !RtlEqualUnicodeString(&Opened, &Asked, TRUE);
    }
    if (pInfo != &uStack.Info)
        RTMemFree(pInfo);
    return fLink;
}

typedef BOOL(WINAPI *PFNVERIFYCONSOLEIOHANDLE)(HANDLE hHandle);

/** True if @a hFile is a console handle, which NtQueryInformationFile
 *  refuses. */
static bool rtFileNtIsConsole(HANDLE hFile)
{
    /* Looked up once; racing threads find and store the same answer. */
    static std::atomic<bool> s_fResolved{false};
    static std::atomic<PFNVERIFYCONSOLEIOHANDLE> s_pfnVerify{nullptr};
    if (!s_fResolved.load(std::memory_order_acquire))
    {
        s_pfnVerify.store((PFNVERIFYCONSOLEIOHANDLE)(void *)GetProcAddress(GetModuleHandleW(L"kernel32.dll"),
                                                                           "VerifyConsoleIoHandle"),
                          std::memory_order_relaxed);
        s_fResolved.store(true, std::memory_order_release);
    }
    PFNVERIFYCONSOLEIOHANDLE const pfnVerify = s_pfnVerify.load(std::memory_order_relaxed);
    if (pfnVerify)
        return pfnVerify(hFile) != FALSE;
    SetLastError(NO_ERROR);
    return GetFileType(hFile) == FILE_TYPE_UNKNOWN && GetLastError() != NO_ERROR;
}

RTDECL(int) RTFileQueryInfo(RTFILE hFile, RTFSOBJREC *pObjInfo, RTFSOBJATTRADD enmAdditional)
{
    if (hFile == NIL_RTFILE || !RT_VALID_PTR(pObjInfo) || enmAdditional < RTFSOBJATTRADD_NOTHING ||
        enmAdditional > RTFSOBJATTRADD_EASIZE)
        return ERR_INVALID_PARAMETER;

    int rc = rtFileNtQueryInfo((HANDLE)hFile, pObjInfo, enmAdditional, 0);
    if (rc == ERR_OBJECT_TYPE_MISMATCH || rc == ERR_ACCESS_DENIED || rc == ERR_INVALID_HANDLE)
    {
        if (!rtFileNtIsConsole((HANDLE)hFile))
            return ERR_INVALID_HANDLE;
    }
    else if (rc != ERR_IO_BAD_COMMAND && rc != ERR_INVALID_FUNCTION)
        return rc;

    /* A console or a device without file information: a zeroed record
       that says "device". */
    RTFSOBJREC Zero = {};
    *pObjInfo = Zero;
    pObjInfo->Attr.fMode = RTFsModeFromDos(RTFS_DOS_NT_DEVICE, nullptr, 0, 0, 0);
    pObjInfo->Attr.enmAdditional = enmAdditional;
    return SUCCESS;
}
