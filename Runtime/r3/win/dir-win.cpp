/** @file
 * Directories, Windows: creation and removal.
 */
#include <windows.h>

#include <zolt/dir.h>
#include <zolt/err.h>
#include <zolt/path.h>

#include "internal/dir.h"
#include "internal/fileio.h"

RTDECL(int) RTDirCreate(const char *pszPath, RTFMODE fMode, uint32_t fCreate)
{
    /* The mode is checked for consistency but not applied: new directories
       inherit their security from the parent. */
    int rc = rtDirCreateCompleteMode(&fMode);
    if (RT_FAILURE(rc))
        return rc;
    RTUTF16 *pwszPath;
    rc = RTPathToNativeWide(&pwszPath, pszPath);
    if (RT_FAILURE(rc))
        return rc;
    if (!g_pRtFileSysCalls->pfnCreateDirectoryW((LPCWSTR)pwszPath, nullptr))
        rc = RTErrConvertFromWin32(GetLastError());
    /* The indexing service has no business in an installer's scratch
       directories; failing to say so is an error only if asked. */
    else if (!(fCreate & RTDIRCREATE_KEEP_INDEXING) &&
             !SetFileAttributesW((LPCWSTR)pwszPath, FILE_ATTRIBUTE_NOT_CONTENT_INDEXED) &&
             !(fCreate & RTDIRCREATE_INDEXING_OPTIONAL))
        rc = RTErrConvertFromWin32(GetLastError());
    RTPathFreeNativeWide(pwszPath);
    return rc;
}

RTDECL(int) RTDirRemove(const char *pszPath)
{
    RTUTF16 *pwszPath;
    int rc = RTPathToNativeWide(&pwszPath, pszPath);
    if (RT_FAILURE(rc))
        return rc;
    if (!g_pRtFileSysCalls->pfnRemoveDirectoryW((LPCWSTR)pwszPath))
        rc = RTErrConvertFromWin32(GetLastError());
    RTPathFreeNativeWide(pwszPath);
    return rc;
}
