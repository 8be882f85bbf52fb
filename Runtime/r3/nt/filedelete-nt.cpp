/** @file
 * File deletion, NT: open the name itself (never what a link points to),
 * check what it is, then mark it for deletion.
 */
#include <windows.h>

#include <zolt/err.h>
#include <zolt/file.h>
#include <zolt/path.h>

#include <winternl.h>

#include "internal/nt.h"

/** Queries one information class into @a pvBuf. @returns the NT status. */
static NTSTATUS rtFileNtQuery(HANDLE hFile, void *pvBuf, ULONG cbBuf, FILE_INFORMATION_CLASS enmClass)
{
    IO_STATUS_BLOCK Ios;
    return NtQueryInformationFile(hFile, &Ios, pvBuf, cbBuf, enmClass);
}

/** Checks the opened object and marks it for deletion.
 *  @returns the first failing NT status as a status, or 0. */
static int rtFileNtDeleteOpened(HANDLE hFile, bool fOpenedReparsePoint)
{
    if (fOpenedReparsePoint)
    {
        /* Opened without following a link: a reparse point here is the link
           itself. Older file systems do not know the class; the basic
           information below still shows the attribute. */
        FILE_ATTRIBUTE_TAG_INFORMATION TagInfo;
        NTSTATUS const rcNt = rtFileNtQuery(hFile, &TagInfo, sizeof(TagInfo), FileAttributeTagInformation);
        if (NT_SUCCESS(rcNt))
        {
            if (TagInfo.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
                return ERR_IS_A_SYMLINK;
        }
        else if (rcNt != RT_NT_STATUS_NOT_IMPLEMENTED && rcNt != RT_NT_STATUS_INVALID_INFO_CLASS &&
                 rcNt != RT_NT_STATUS_INVALID_PARAMETER)
            return RTErrConvertFromNtStatus(rcNt);
    }

    FILE_BASIC_INFORMATION BasicInfo;
    NTSTATUS rcNt = rtFileNtQuery(hFile, &BasicInfo, sizeof(BasicInfo), FileBasicInformation);
    if (!NT_SUCCESS(rcNt))
        return RTErrConvertFromNtStatus(rcNt);
    if (BasicInfo.FileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return ERR_IS_A_DIRECTORY;
    if (BasicInfo.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return ERR_IS_A_SYMLINK;

    /* The member is spelled DeleteFile, which <windows.h> redefines. */
    FILE_DISPOSITION_INFORMATION Disposition = {TRUE};
    IO_STATUS_BLOCK Ios;
    rcNt = NtSetInformationFile(hFile, &Ios, &Disposition, sizeof(Disposition), FileDispositionInformation);
    return NT_SUCCESS(rcNt) ? SUCCESS : RTErrConvertFromNtStatus(rcNt);
}

RTDECL(int) RTFileDelete(const char *pszFilename)
{
    UNICODE_STRING NtName;
    HANDLE hRootDir;
    int rc = RTNtPathFromUtf8(&NtName, &hRootDir, pszFilename);
    if (RT_FAILURE(rc))
        return rc;

    OBJECT_ATTRIBUTES ObjAttr;
    InitializeObjectAttributes(&ObjAttr, &NtName, OBJ_CASE_INSENSITIVE, hRootDir, nullptr);
    ULONG fOptions =
        FILE_NON_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_FOR_BACKUP_INTENT | FILE_OPEN_REPARSE_POINT;
    HANDLE hFile = INVALID_HANDLE_VALUE;
    IO_STATUS_BLOCK Ios;
    NTSTATUS rcNt =
        NtCreateFile(&hFile, DELETE | SYNCHRONIZE | FILE_READ_ATTRIBUTES, &ObjAttr, &Ios, nullptr, 0,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN, fOptions, nullptr, 0);
    if (rcNt == RT_NT_STATUS_INVALID_PARAMETER)
    {
        /* NT 4 and older file systems do not know the reparse-point option;
           there is nothing to follow there either. */
        fOptions &= ~FILE_OPEN_REPARSE_POINT;
        rcNt = NtCreateFile(&hFile, DELETE | SYNCHRONIZE | FILE_READ_ATTRIBUTES, &ObjAttr, &Ios, nullptr, 0,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN, fOptions, nullptr, 0);
    }
    RTNtPathFree(&NtName, &hRootDir);
    if (!NT_SUCCESS(rcNt))
        return RTErrConvertFromNtStatus(rcNt);

    rc = rtFileNtDeleteOpened(hFile, (fOptions & FILE_OPEN_REPARSE_POINT) != 0);
    rcNt = NtClose(hFile);
    if (RT_SUCCESS(rc) && !NT_SUCCESS(rcNt))
        rc = RTErrConvertFromNtStatus(rcNt);
    return rc;
}
