/** @file
 * File I/O, POSIX: open(2) with the flag word's mapping, transfers, seek,
 * size, information and deletion. Sharing cannot be enforced here.
 */
#include <zolt/err.h>
#include <zolt/file.h>
#include <zolt/string.h>

#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/vfs.h>
#endif

#include "internal/fileio.h"
#include "internal/path.h"

static long rtFilePosixQueryFsMagic(int fd)
{
#ifdef __linux__
    struct statfs StFs;
    if (fstatfs(fd, &StFs) != 0)
        return -1;
    return (long)StFs.f_type;
#else
    (void)fd;
    errno = ENOSYS;
    return -1;
#endif
}

const RTFILESYSCALLS g_rtFileHostSysCalls = {read, write, rtFilePosixQueryFsMagic};

int rtPathPosixConvertErrno(int iErr, const char *pszNative)
{
    if (iErr != ENOENT)
        return RTErrConvertFromErrno(iErr);
    /* The parent is everything before the last '/', ignoring trailing
       ones; a name without '/' lives in the current directory. */
    size_t cch = strlen(pszNative);
    while (cch > 1 && pszNative[cch - 1] == '/')
        cch--;
    while (cch > 0 && pszNative[cch - 1] != '/')
        cch--;
    if (cch <= 1)
        return ERR_FILE_NOT_FOUND;
    char *pszParent = RTStrDupN(pszNative, cch);
    struct stat St;
    bool const fParentIsDir = !pszParent || (stat(pszParent, &St) == 0 && S_ISDIR(St.st_mode));
    RTStrFree(pszParent);
    return fParentIsDir ? ERR_FILE_NOT_FOUND : ERR_PATH_NOT_FOUND;
}

RTDECL(int) RTFileOpen(RTFILE *phFile, const char *pszFilename, uint64_t fOpen)
{
    return RTFileOpenEx(pszFilename, fOpen, phFile, nullptr);
}

/** Opens with O_CREAT|O_EXCL first so that "created" and "already there"
 *  are told apart without a race; an existing file is then opened with
 *  @a fExisting. Retries if the file vanishes or appears in between. */
static int rtFilePosixOpenOrCreate(const char *pszPath, int fFlags, int fExisting, mode_t fMode,
                                   RTFILEACTION *penmAction, RTFILEACTION enmExisting)
{
    for (unsigned cTries = 0; cTries < 64; cTries++)
    {
        int fd = open(pszPath, fFlags | O_CREAT | O_EXCL, fMode);
        if (fd >= 0)
        {
            *penmAction = RTFILEACTION_CREATED;
            return fd;
        }
        if (errno != EEXIST)
            return -1;
        fd = open(pszPath, fFlags | fExisting);
        if (fd >= 0)
        {
            *penmAction = enmExisting;
            return fd;
        }
        if (errno != ENOENT)
            return -1;
    }
    errno = EAGAIN;
    return -1;
}

RTDECL(int) RTFileOpenEx(const char *pszFilename, uint64_t fOpen, RTFILE *phFile, RTFILEACTION *penmActionTaken)
{
    int rc = rtFileOpenCheckArgs(pszFilename, &fOpen, phFile, penmActionTaken);
    if (RT_FAILURE(rc))
        return rc;

    int fFlags;
    switch (fOpen & RTFOPEN_ACCESS_MASK)
    {
        case RTFOPEN_WRITE: fFlags = O_WRONLY; break;
        case RTFOPEN_READWRITE: fFlags = O_RDWR; break;
        default: fFlags = O_RDONLY; break; /* read, or attributes only */
    }
    if (fOpen & RTFOPEN_APPEND)
        fFlags |= O_APPEND;
    if (!(fOpen & RTFOPEN_INHERIT))
        fFlags |= O_CLOEXEC;
    if (fOpen & RTFOPEN_WRITE_THROUGH)
        fFlags |= O_DSYNC;
#ifdef O_DIRECT
    if (fOpen & RTFOPEN_NO_CACHE)
        fFlags |= O_DIRECT;
#endif
    mode_t fMode = (mode_t)((fOpen & RTFOPEN_CREATE_MODE_MASK) >> RTFOPEN_CREATE_MODE_SHIFT);
    if (!fMode)
        fMode = 0666; /* what fopen would use; the umask applies */

    char *pszNative;
    rc = rtPathPosixToNative(pszFilename, &pszNative);
    if (RT_FAILURE(rc))
        return rc;

    RTFILEACTION enmAction = RTFILEACTION_OPENED;
    int fd;
    switch (fOpen & RTFOPEN_ACTION_MASK)
    {
        case RTFOPEN_CREATE:
            fd = open(pszNative, fFlags | O_CREAT | O_EXCL, fMode);
            enmAction = fd >= 0           ? RTFILEACTION_CREATED
                        : errno == EEXIST ? RTFILEACTION_ALREADY_EXISTS
                                          : RTFILEACTION_INVALID;
            break;
        case RTFOPEN_CREATE_REPLACE:
            fd = rtFilePosixOpenOrCreate(pszNative, fFlags, O_TRUNC, fMode, &enmAction, RTFILEACTION_REPLACED);
            break;
        case RTFOPEN_OPEN_CREATE:
            fd = rtFilePosixOpenOrCreate(pszNative, fFlags, 0, fMode, &enmAction, RTFILEACTION_OPENED);
            break;
        default:
            fd = open(pszNative, fFlags | (fOpen & RTFOPEN_TRUNCATE ? O_TRUNC : 0));
            enmAction = fOpen & RTFOPEN_TRUNCATE ? RTFILEACTION_TRUNCATED : RTFILEACTION_OPENED;
            break;
    }
    if (fd < 0)
    {
        rc = rtPathPosixConvertErrno(errno, pszNative);
        RTStrFree(pszNative);
        if (penmActionTaken && enmAction == RTFILEACTION_ALREADY_EXISTS)
            *penmActionTaken = enmAction;
        return rc;
    }
    RTStrFree(pszNative);

    if ((fOpen & RTFOPEN_ACTION_MASK) == RTFOPEN_OPEN_CREATE && (fOpen & RTFOPEN_TRUNCATE) &&
        enmAction == RTFILEACTION_OPENED)
    {
        enmAction = RTFILEACTION_TRUNCATED;
        if (ftruncate(fd, 0) != 0)
        {
            rc = RTErrConvertFromErrno(errno);
            close(fd);
            if (penmActionTaken)
                *penmActionTaken = enmAction;
            return rc;
        }
    }
    if (penmActionTaken)
        *penmActionTaken = enmAction;
    *phFile = fd;
    return SUCCESS;
}

RTDECL(int) RTFileClose(RTFILE hFile)
{
    if (hFile == NIL_RTFILE)
        return SUCCESS;
    /* No retry on EINTR: Linux has released the descriptor by then, and it
       may already belong to another thread's open. */
    if (close((int)hFile) != 0 && errno != EINTR)
        return RTErrConvertFromErrno(errno);
    return SUCCESS;
}

RTDECL(int) RTFileRead(RTFILE hFile, void *pvBuf, size_t cbToRead, size_t *pcbRead)
{
    if (cbToRead == 0)
    {
        if (pcbRead)
            *pcbRead = 0;
        return SUCCESS;
    }
    uint8_t *pbBuf = (uint8_t *)pvBuf;
    size_t off = 0;
    while (off < cbToRead)
    {
        ssize_t const cbRead = g_pRtFileSysCalls->pfnRead((int)hFile, pbBuf + off, cbToRead - off);
        if (cbRead < 0)
        {
            if (errno == EINTR)
                continue;
            return RTErrConvertFromErrno(errno);
        }
        if (pcbRead)
        {
            *pcbRead = (size_t)cbRead;
            return SUCCESS;
        }
        if (cbRead == 0)
            return ERR_EOF;
        off += (size_t)cbRead;
    }
    return SUCCESS;
}

RTDECL(int) RTFileWrite(RTFILE hFile, const void *pvBuf, size_t cbToWrite, size_t *pcbWritten)
{
    if (cbToWrite == 0)
        return SUCCESS;
    const uint8_t *pbBuf = (const uint8_t *)pvBuf;
    size_t off = 0;
    while (off < cbToWrite)
    {
        ssize_t const cbWritten = g_pRtFileSysCalls->pfnWrite((int)hFile, pbBuf + off, cbToWrite - off);
        if (cbWritten < 0)
        {
            if (errno == EINTR)
                continue;
            int const rc = RTErrConvertFromErrno(errno);
            return rc == ERR_DISK_FULL ? rtFileDiskFullOrTooBig(hFile, cbToWrite - off) : rc;
        }
        if (pcbWritten)
        {
            *pcbWritten = (size_t)cbWritten;
            return SUCCESS;
        }
        if (cbWritten == 0)
            return ERR_WRITE_ERROR;
        off += (size_t)cbWritten;
    }
    return SUCCESS;
}

RTDECL(int) RTFileSeek(RTFILE hFile, int64_t offSeek, unsigned uMethod, uint64_t *poffActual)
{
    static const int s_aiWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
    if (uMethod > RTFILE_SEEK_END)
        return ERR_INVALID_PARAMETER;
    off_t const offNew = lseek((int)hFile, (off_t)offSeek, s_aiWhence[uMethod]);
    if (offNew < 0)
        return RTErrConvertFromErrno(errno);
    if (poffActual)
        *poffActual = (uint64_t)offNew;
    return SUCCESS;
}

RTDECL(int) RTFileGetSize(RTFILE hFile, uint64_t *pcbSize)
{
    if (!RT_VALID_PTR(pcbSize))
        return ERR_INVALID_POINTER;
    struct stat St;
    if (fstat((int)hFile, &St) != 0)
        return RTErrConvertFromErrno(errno);
#ifdef BLKGETSIZE64
    /* A disk opened as a file reports size 0; the device knows better. */
    if (S_ISBLK(St.st_mode))
    {
        uint64_t cb;
        if (ioctl((int)hFile, BLKGETSIZE64, &cb) == 0)
        {
            *pcbSize = cb;
            return SUCCESS;
        }
    }
#endif
    *pcbSize = (uint64_t)St.st_size;
    return SUCCESS;
}

RTDECL(int) RTFileFlush(RTFILE hFile)
{
    if (fsync((int)hFile) != 0)
        return RTErrConvertFromErrno(errno);
    return SUCCESS;
}

static int64_t rtFilePosixNanoTime(const struct timespec &Ts)
{
    return (int64_t)Ts.tv_sec * 1000000000 + Ts.tv_nsec;
}

/** The Windows attributes a POSIX object would have, for the high half of
 *  the mode. */
static RTFMODE rtFilePosixDosAttributes(mode_t fMode)
{
    RTFMODE fDos = 0;
    if (S_ISDIR(fMode))
        fDos |= RTFS_DOS_DIRECTORY;
    else if (S_ISLNK(fMode))
        fDos |= RTFS_DOS_NT_REPARSE_POINT;
    else if (S_ISCHR(fMode) || S_ISBLK(fMode))
        fDos |= RTFS_DOS_NT_DEVICE;
    if (!(fMode & S_IWUSR))
        fDos |= RTFS_DOS_READONLY;
    return fDos ? fDos : RTFS_DOS_NT_NORMAL;
}

/** Fills the record from a stat result; shared with RTPathQueryInfo. */
void rtFsPosixObjInfoFromStat(RTFSOBJREC *pObjInfo, const struct stat *pSt, RTFSOBJATTRADD enmAdditional)
{
    pObjInfo->cbObject = pSt->st_size;
    pObjInfo->cbAllocated = (int64_t)pSt->st_blocks * 512;
    pObjInfo->AccessTime.i64NanosecondsRelativeToUnixEpoch = rtFilePosixNanoTime(pSt->st_atim);
    pObjInfo->ModificationTime.i64NanosecondsRelativeToUnixEpoch = rtFilePosixNanoTime(pSt->st_mtim);
    pObjInfo->ChangeTime.i64NanosecondsRelativeToUnixEpoch = rtFilePosixNanoTime(pSt->st_ctim);
    /* stat has no birth time; the last status change is the closest. */
    pObjInfo->BirthTime = pObjInfo->ChangeTime;
    pObjInfo->Attr.fMode = ((RTFMODE)pSt->st_mode & RTFS_UNIX_MASK) | rtFilePosixDosAttributes(pSt->st_mode);
    rtFsObjInfoInitAdditional(pObjInfo, enmAdditional);
    switch (enmAdditional)
    {
        case RTFSOBJATTRADD_UNIX:
            pObjInfo->Attr.u.Unix.uid = pSt->st_uid;
            pObjInfo->Attr.u.Unix.gid = pSt->st_gid;
            pObjInfo->Attr.u.Unix.cHardlinks = pSt->st_nlink > 0 ? (uint32_t)pSt->st_nlink : 1;
            pObjInfo->Attr.u.Unix.INodeIdDevice = (uint32_t)pSt->st_dev;
            pObjInfo->Attr.u.Unix.INodeId = pSt->st_ino;
            pObjInfo->Attr.u.Unix.Device = (uint32_t)pSt->st_rdev;
            break;
        case RTFSOBJATTRADD_UNIX_OWNER: {
            pObjInfo->Attr.u.UnixOwner.id = pSt->st_uid;
            struct passwd Pwd, *pPwd = nullptr;
            char szBuf[1024];
            if (getpwuid_r(pSt->st_uid, &Pwd, szBuf, sizeof(szBuf), &pPwd) == 0 && pPwd)
                (void)RTStrCopy(pObjInfo->Attr.u.UnixOwner.szName, sizeof(pObjInfo->Attr.u.UnixOwner.szName),
                                pPwd->pw_name); /* a cut name is still a useful hint */
            break;
        }
        case RTFSOBJATTRADD_UNIX_GROUP: {
            pObjInfo->Attr.u.UnixGroup.id = pSt->st_gid;
            struct group Grp, *pGrp = nullptr;
            char szBuf[1024];
            if (getgrgid_r(pSt->st_gid, &Grp, szBuf, sizeof(szBuf), &pGrp) == 0 && pGrp)
                (void)RTStrCopy(pObjInfo->Attr.u.UnixGroup.szName, sizeof(pObjInfo->Attr.u.UnixGroup.szName),
                                pGrp->gr_name);
            break;
        }
        default: break;
    }
}

RTDECL(int) RTFileQueryInfo(RTFILE hFile, RTFSOBJREC *pObjInfo, RTFSOBJATTRADD enmAdditional)
{
    if (hFile == NIL_RTFILE || !RT_VALID_PTR(pObjInfo) || enmAdditional < RTFSOBJATTRADD_NOTHING ||
        enmAdditional > RTFSOBJATTRADD_EASIZE)
        return ERR_INVALID_PARAMETER;
    struct stat St;
    if (fstat((int)hFile, &St) != 0)
        return RTErrConvertFromErrno(errno);
    rtFsPosixObjInfoFromStat(pObjInfo, &St, enmAdditional);
    return SUCCESS;
}

RTDECL(int) RTFileDelete(const char *pszFilename)
{
    char *pszNative;
    int rc = rtPathPosixToNative(pszFilename, &pszNative);
    if (RT_FAILURE(rc))
        return rc;
    /* unlink never follows a link, but refusing links and directories up
       front gives the same answers as Windows. */
    struct stat St;
    if (lstat(pszNative, &St) != 0)
        rc = rtPathPosixConvertErrno(errno, pszNative);
    else if (S_ISLNK(St.st_mode))
        rc = ERR_IS_A_SYMLINK;
    else if (S_ISDIR(St.st_mode))
        rc = ERR_IS_A_DIRECTORY;
    else if (unlink(pszNative) != 0)
        rc = RTErrConvertFromErrno(errno);
    RTStrFree(pszNative);
    return rc;
}

RTDECL(bool) RTFileIsValid(RTFILE hFile)
{
    return hFile != NIL_RTFILE && hFile >= 0 && hFile <= INT32_MAX && fcntl((int)hFile, F_GETFD) != -1;
}

RTDECL(int) RTFileQueryFsType(RTFILE hFile, RTFSTYPE *penmType)
{
    if (!RT_VALID_PTR(penmType))
        return ERR_INVALID_POINTER;
    *penmType = RTFSTYPE_UNKNOWN;
    long const lMagic = g_pRtFileSysCalls->pfnQueryFsMagic((int)hFile);
    if (lMagic == -1)
        return RTErrConvertFromErrno(errno);
    /* Linux's statfs magic numbers of the file systems that matter here. */
    static const struct
    {
        uint32_t uMagic;
        RTFSTYPE enmType;
    } s_aMagics[] = {
        {0x4d44, RTFSTYPE_FAT},      {0x2011BAB0, RTFSTYPE_EXFAT}, {0x5346544e, RTFSTYPE_NTFS},
        {0x7366746e, RTFSTYPE_NTFS}, {0x15013346, RTFSTYPE_UDF},   {0x9660, RTFSTYPE_ISO9660},
        {0xf995e849, RTFSTYPE_HPFS},
    };
    for (const auto &Entry : s_aMagics)
        if ((uint32_t)lMagic == Entry.uMagic)
        {
            *penmType = Entry.enmType;
            break;
        }
    return SUCCESS;
}
