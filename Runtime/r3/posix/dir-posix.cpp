/** @file
 * Directories, POSIX: mkdir/rmdir, stat-based information and directory
 * descriptors.
 */
#include <zolt/dir.h>
#include <zolt/err.h>
#include <zolt/string.h>

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "internal/dir.h"
#include "internal/fileio.h"
#include "internal/path.h"

RTDECL(int) RTDirCreate(const char *pszPath, RTFMODE fMode, uint32_t fCreate)
{
    (void)fCreate; /* content indexing and access lists are Windows notions: the mode says it here */
    int rc = rtDirCreateCompleteMode(&fMode);
    if (RT_FAILURE(rc))
        return rc;
    char *pszNative;
    rc = rtPathPosixToNative(pszPath, &pszNative);
    if (RT_FAILURE(rc))
        return rc;
    if (mkdir(pszNative, (mode_t)(fMode & 07777)) != 0)
    {
        /* Windows says "path not found" for a missing parent; so do we. */
        rc = errno == ENOENT ? ERR_PATH_NOT_FOUND : RTErrConvertFromErrno(errno);
    }
    RTStrFree(pszNative);
    return rc;
}

RTDECL(int) RTDirRemove(const char *pszPath)
{
    char *pszNative;
    int rc = rtPathPosixToNative(pszPath, &pszNative);
    if (RT_FAILURE(rc))
        return rc;
    if (rmdir(pszNative) != 0)
        rc = errno == EEXIST ? ERR_DIR_NOT_EMPTY : rtPathPosixConvertErrno(errno, pszNative);
    RTStrFree(pszNative);
    return rc;
}

int rtPathNativeQueryInfo(const char *pszPath, RTFSOBJREC *pObjInfo, RTFSOBJATTRADD enmAdditional, uint32_t fFlags)
{
    char *pszNative;
    int rc = rtPathPosixToNative(pszPath, &pszNative);
    if (RT_FAILURE(rc))
        return rc;
    struct stat St;
    int const iRet = fFlags & RTPATH_F_FOLLOW_LINK ? stat(pszNative, &St) : lstat(pszNative, &St);
    if (iRet != 0)
        rc = rtPathPosixConvertErrno(errno, pszNative);
    else
        rtFsPosixObjInfoFromStat(pObjInfo, &St, enmAdditional);
    RTStrFree(pszNative);
    return rc;
}

int rtDirNativeOpen(RTDIRREC *pDir)
{
    char *pszNative;
    int rc = rtPathPosixToNative(pDir->pszPath, &pszNative);
    if (RT_FAILURE(rc))
        return rc;
    /* The stored path ends in a separator, which would make open follow a
       final link; drop it where a link must be refused. */
    bool const fNoFollow = (pDir->fFlags & RTDIR_F_NO_FOLLOW) && !pDir->fDirSlash;
    size_t cch = strlen(pszNative);
    if (fNoFollow)
        while (cch > 1 && pszNative[cch - 1] == '/')
            pszNative[--cch] = '\0';
    int const fd = open(pszNative, O_RDONLY | O_DIRECTORY | O_CLOEXEC | (fNoFollow ? O_NOFOLLOW : 0));
    if (fd < 0)
    {
        /* A refused final link shows as ELOOP, or as ENOTDIR when the
           directory check comes first. */
        int const iErr = errno;
        struct stat St;
        if (fNoFollow && (iErr == ELOOP || iErr == ENOTDIR) && lstat(pszNative, &St) == 0 && S_ISLNK(St.st_mode))
            rc = ERR_IS_A_SYMLINK;
        else
            rc = rtPathPosixConvertErrno(iErr, pszNative);
    }
    else
        pDir->hDir = fd;
    RTStrFree(pszNative);
    return rc;
}

int rtDirNativeClose(RTDIRREC *pDir)
{
    int const rc = close((int)pDir->hDir) == 0 ? SUCCESS : RTErrConvertFromErrno(errno);
    pDir->hDir = -1;
    return rc;
}
