/** @file
 * Directories, Windows: creation and removal.
 */
#include <windows.h>

#include <zolt/dir.h>
#include <zolt/err.h>
#include <zolt/path.h>

#include <winternl.h>

#include "internal/dir.h"
#include "internal/fileio.h"
#include "internal/nt.h"

RTDECL(int) RTDirCreate(const char *pszPath, RTFMODE fMode, uint32_t fCreate)
{
    /* The mode is checked for consistency but not applied: new directories
       inherit their security from the parent, unless they are private. */
    int rc = rtDirCreateCompleteMode(&fMode);
    if (RT_FAILURE(rc))
        return rc;
    RTNTPRIVATESD PrivateSd;
    SECURITY_ATTRIBUTES SecAttr = {sizeof(SecAttr), &PrivateSd.Sd, FALSE};
    if (fCreate & RTDIRCREATE_PRIVATE)
    {
        rc = rtNtInitPrivateSd(&PrivateSd);
        if (RT_FAILURE(rc))
            return rc;
    }
    RTUTF16 *pwszPath;
    rc = RTPathToNativeWide(&pwszPath, pszPath);
    if (RT_FAILURE(rc))
        return rc;
    if (!g_pRtFileSysCalls->pfnCreateDirectoryW((LPCWSTR)pwszPath, fCreate & RTDIRCREATE_PRIVATE ? &SecAttr : nullptr))
    {
        DWORD dwErr = GetLastError();
        /* The piecewise way takes no security descriptor: a private
           directory is never made without its access list. */
        if (!(fCreate & RTDIRCREATE_PRIVATE) && rtNtPathWinMayRetry(dwErr, pwszPath))
        {
            /* Past the host's limit on one path SetFileAttributesW could
               not name the directory either: it is marked as it is made. */
            HANDLE hDir;
            dwErr = rtNtPathWinCreate(
                pwszPath, FILE_LIST_DIRECTORY | SYNCHRONIZE, OBJ_CASE_INSENSITIVE,
                fCreate & RTDIRCREATE_KEEP_INDEXING ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_NOT_CONTENT_INDEXED,
                FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_CREATE,
                FILE_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_FOR_BACKUP_INTENT, &hDir, nullptr);
            if (dwErr == ERROR_SUCCESS)
                g_pRtFileSysCalls->pfnNtClose(hDir);
        }
        if (dwErr != ERROR_SUCCESS)
            rc = RTErrConvertFromWin32(dwErr);
    }
    /* The indexing service has no business in an installer's scratch
       directories; failing to say so is an error only if asked. */
    else if (!(fCreate & RTDIRCREATE_KEEP_INDEXING) &&
             !SetFileAttributesW((LPCWSTR)pwszPath, FILE_ATTRIBUTE_NOT_CONTENT_INDEXED) &&
             !(fCreate & RTDIRCREATE_INDEXING_OPTIONAL))
        rc = RTErrConvertFromWin32(GetLastError());
    RTPathFreeNativeWide(pwszPath);
    return rc;
}

/** RemoveDirectoryW's steps through rtNtPathWinCreate: the name itself
 *  (a link, not its target) opened for deletion and marked.
 *  @returns the Win32 error RemoveDirectoryW would have given, or 0. */
static DWORD rtDirWinRemoveNt(RTUTF16 *pwszPath)
{
    HANDLE hDir;
    DWORD dwErr = rtNtPathWinCreate(pwszPath, DELETE | SYNCHRONIZE, OBJ_CASE_INSENSITIVE, 0,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN,
                                    FILE_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_FOR_BACKUP_INTENT |
                                        FILE_OPEN_REPARSE_POINT,
                                    &hDir, nullptr);
    if (dwErr != ERROR_SUCCESS)
        return dwErr;
    /* The member is spelled DeleteFile, which <windows.h> redefines. */
    FILE_DISPOSITION_INFORMATION Disposition = {TRUE};
    IO_STATUS_BLOCK Ios;
    NTSTATUS const rcNt = g_pRtFileSysCalls->pfnNtSetInformationFile(hDir, &Ios, &Disposition, sizeof(Disposition),
                                                                     FileDispositionInformation);
    g_pRtFileSysCalls->pfnNtClose(hDir);
    return NT_SUCCESS(rcNt) ? ERROR_SUCCESS : RtlNtStatusToDosError(rcNt);
}

RTDECL(int) RTDirRemove(const char *pszPath)
{
    RTUTF16 *pwszPath;
    int rc = RTPathToNativeWide(&pwszPath, pszPath);
    if (RT_FAILURE(rc))
        return rc;
    if (!g_pRtFileSysCalls->pfnRemoveDirectoryW((LPCWSTR)pwszPath))
    {
        DWORD dwErr = GetLastError();
        if (rtNtPathWinMayRetry(dwErr, pwszPath))
            dwErr = rtDirWinRemoveNt(pwszPath);
        if (dwErr != ERROR_SUCCESS)
            rc = RTErrConvertFromWin32(dwErr);
    }
    RTPathFreeNativeWide(pwszPath);
    return rc;
}
