/** @file
 * Host path services, POSIX host.
 */
#include <zolt/err.h>
#include <zolt/string.h>

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "internal/path.h"

int rtPathPosixToNative(const char *pszPath, char **ppszNative)
{
    char *psz = RTStrDup(pszPath);
    if (!psz)
        return ERR_NO_STR_MEMORY;
    for (char *pch = psz; *pch; pch++)
        if (*pch == '\\')
            *pch = '/';
    *ppszNative = psz;
    return SUCCESS;
}

RTDECL(int) RTPathGetCurrentDir(char *pszPath, size_t cbPath)
{
    if (!RT_VALID_PTR(pszPath))
        return ERR_INVALID_POINTER;
    if (cbPath == 0)
        return ERR_BUFFER_OVERFLOW;
    if (getcwd(pszPath, cbPath))
        return SUCCESS;
    int const iErr = errno;
    return iErr == ERANGE ? ERR_BUFFER_OVERFLOW : RTErrConvertFromErrno(iErr);
}

RTDECL(int) RTPathGetCurrentDirOfDrive(char chDrive, char *pszPath, size_t cbPath)
{
    if (!RT_VALID_PTR(pszPath))
        return ERR_INVALID_POINTER;
    if (cbPath == 0)
        return ERR_BUFFER_OVERFLOW;
    if (!rtPathIsLetter(chDrive))
        return ERR_INVALID_PARAMETER;
    /* No drives here: each one is its own root. */
    char const szRoot[4] = {chDrive, ':', '\\', '\0'};
    return RTStrCopy(pszPath, cbPath, szRoot);
}

RTDECL(int) RTPathSetCurrentDir(const char *pszPath)
{
    if (!RT_VALID_PTR(pszPath))
        return ERR_INVALID_POINTER;
    if (!*pszPath)
        return ERR_INVALID_PARAMETER;
    char *pszNative = nullptr;
    int rc = rtPathPosixToNative(pszPath, &pszNative);
    if (rc < 0)
        return rc;
    rc = chdir(pszNative) == 0 ? SUCCESS : RTErrConvertFromErrno(errno);
    RTStrFree(pszNative);
    return rc;
}

int rtPathHostQueryExecutablePath(char *pszPath, size_t cbPath)
{
    ssize_t const cch = readlink("/proc/self/exe", pszPath, cbPath);
    if (cch < 0)
        return RTErrConvertFromErrno(errno);
    if ((size_t)cch >= cbPath)
        return ERR_BUFFER_OVERFLOW;
    pszPath[cch] = '\0';
    return SUCCESS;
}

RTDECL(int) RTPathSystemTempDir(char *pszPath, size_t cbPath)
{
    (void)pszPath;
    (void)cbPath;
    return ERR_NOT_SUPPORTED; /* no local system account here */
}

RTDECL(int) RTPathRename(const char *pszSrc, const char *pszDst, uint32_t fRename, uint32_t fFileType)
{
    if (!RT_VALID_PTR(pszSrc) || !RT_VALID_PTR(pszDst))
        return ERR_INVALID_POINTER;
    if (fRename & ~RTPATHRENAME_FLAGS_REPLACE)
        return ERR_INVALID_FLAGS;

    char *pszNativeSrc = nullptr;
    char *pszNativeDst = nullptr;
    int rc = rtPathPosixToNative(pszSrc, &pszNativeSrc);
    if (rc >= 0)
        rc = rtPathPosixToNative(pszDst, &pszNativeDst);
    if (rc >= 0 && fFileType)
    {
        struct stat St;
        if (lstat(pszNativeSrc, &St) != 0)
            rc = RTErrConvertFromErrno(errno);
        else if ((fFileType & 0xF000) == 0x4000 && !S_ISDIR(St.st_mode))
            rc = ERR_NOT_A_DIRECTORY;
        else if ((fFileType & 0xF000) != 0x4000 && S_ISDIR(St.st_mode))
            rc = ERR_IS_A_DIRECTORY;
    }
    if (rc >= 0)
    {
        unsigned const fNoReplace = (fRename & RTPATHRENAME_FLAGS_REPLACE) ? 0 : RENAME_NOREPLACE;
        if (renameat2(AT_FDCWD, pszNativeSrc, AT_FDCWD, pszNativeDst, fNoReplace) != 0)
            rc = RTErrConvertFromErrno(errno);
    }
    RTStrFree(pszNativeSrc);
    RTStrFree(pszNativeDst);
    return rc;
}
