/** @file
 * File deletion, NT: open the name itself (never what a link points to),
 * check what it is, then mark it for deletion.
 */
#include <windows.h>

#include <zolt/err.h>
#include <zolt/file.h>
#include <zolt/path.h>

#include <winternl.h>

#include "internal/fileio.h"
#include "internal/nt.h"

/** Queries one information class into @a pvBuf. @returns the NT status. */
static NTSTATUS rtFileNtQuery(HANDLE hFile, void *pvBuf, ULONG cbBuf, FILE_INFORMATION_CLASS enmClass)
{
    IO_STATUS_BLOCK Ios;
    return g_pRtFileSysCalls->pfnNtQueryInformationFile(hFile, &Ios, pvBuf, cbBuf, enmClass);
}

/** Checks the opened object and marks it for deletion.
 *  @returns the first failing NT status as a status, or 0. */
static int rtFileNtDeleteOpened(HANDLE hFile, const UNICODE_STRING *pNtName, bool fOpenedReparsePoint)
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
        /* A platform that opened the target all the same would make the
           disposition below delete the target. */
        if (rtFileNtOpenedThroughFinalLink(hFile, pNtName))
            return ERR_IS_A_SYMLINK;
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
    rcNt = g_pRtFileSysCalls->pfnNtSetInformationFile(hFile, &Ios, &Disposition, sizeof(Disposition),
                                                      FileDispositionInformation);
    return NT_SUCCESS(rcNt) ? SUCCESS : RTErrConvertFromNtStatus(rcNt);
}

/** A name that cannot be opened as a non-directory: a directory, or a link
 *  to one, which the path's own attributes show as a reparse point. */
static int rtFileNtDeleteRefuseDirectory(POBJECT_ATTRIBUTES pObjAttr)
{
    FILE_NETWORK_OPEN_INFORMATION Info;
    if (NT_SUCCESS(g_pRtFileSysCalls->pfnNtQueryFullAttributesFile(pObjAttr, &Info)) &&
        (Info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return ERR_IS_A_SYMLINK;
    return ERR_IS_A_DIRECTORY;
}

RTDECL(int) RTFileDelete(const char *pszFilename)
{
    UNICODE_STRING NtName;
    void *hRootDir;
    int rc = RTNtPathFromUtf8(&NtName, &hRootDir, pszFilename);
    if (RT_FAILURE(rc))
        return rc;

    OBJECT_ATTRIBUTES ObjAttr;
    InitializeObjectAttributes(&ObjAttr, &NtName, OBJ_CASE_INSENSITIVE, (HANDLE)hRootDir, nullptr);
    ULONG fOptions =
        FILE_NON_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_FOR_BACKUP_INTENT | FILE_OPEN_REPARSE_POINT;
    HANDLE hFile = INVALID_HANDLE_VALUE;
    IO_STATUS_BLOCK Ios;
    auto openFile = [&]() {
        return rtNtPathCreateFile(&hFile, DELETE | SYNCHRONIZE | FILE_READ_ATTRIBUTES, &ObjAttr, &Ios, 0,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN, fOptions);
    };
    NTSTATUS rcNt = openFile();
    if (rcNt == RT_NT_STATUS_INVALID_PARAMETER)
    {
        /* NT 4 and older file systems do not know the reparse-point option;
           there is nothing to follow there either. */
        fOptions &= ~FILE_OPEN_REPARSE_POINT;
        rcNt = openFile();
    }
    if (NT_SUCCESS(rcNt))
    {
        rc = rtFileNtDeleteOpened(hFile, &NtName, (fOptions & FILE_OPEN_REPARSE_POINT) != 0);
        rcNt = g_pRtFileSysCalls->pfnNtClose(hFile);
        if (RT_SUCCESS(rc) && !NT_SUCCESS(rcNt))
            rc = RTErrConvertFromNtStatus(rcNt);
    }
    else if (rcNt == RT_NT_STATUS_FILE_IS_A_DIRECTORY)
        rc = rtFileNtDeleteRefuseDirectory(&ObjAttr);
    else
        rc = RTErrConvertFromNtStatus(rcNt);
    RTNtPathFree(&NtName, &hRootDir);
    return rc;
}
