/** @file
 * File I/O shared by the backends: flag validation, the mode word built
 * from Windows attributes, and the full-disk decision.
 */
#include "internal/fileio.h"

#include <zolt/err.h>
#include <zolt/file.h>
#include <zolt/path.h>

int rtFileRecalcAndValidateFlags(uint64_t *pfOpen)
{
    uint64_t fOpen = *pfOpen & UINT32_MAX;
    if (!(fOpen & (RTFOPEN_ACCESS_MASK | RTFOPEN_ACCESS_ATTR_MASK)) || (fOpen & RTFOPEN_INVALID_MASK) ||
        ((fOpen & RTFOPEN_TRUNCATE) && !(fOpen & RTFOPEN_WRITE)))
        return ERR_INVALID_PARAMETER;

    switch (fOpen & RTFOPEN_ACTION_MASK)
    {
        case 0: fOpen |= RTFOPEN_OPEN; break;
        case RTFOPEN_OPEN_CREATE:
        case RTFOPEN_CREATE:
        case RTFOPEN_CREATE_REPLACE:
        case RTFOPEN_OPEN: break;
        default: return ERR_INVALID_PARAMETER;
    }
    if ((fOpen & RTFOPEN_ACTION_MASK) == RTFOPEN_OPEN && (fOpen & RTFOPEN_NOT_CONTENT_INDEXED))
        return ERR_INVALID_PARAMETER;

    if (!(fOpen & RTFOPEN_SHARE_MASK))
        fOpen |= RTFOPEN_DENY_NONE;
    else if ((fOpen & RTFOPEN_SHARE_MASK) > RTFOPEN_DENY_NONE)
        return ERR_INVALID_PARAMETER;

    *pfOpen = fOpen;
    return SUCCESS;
}

/** True if the name ends in ".exe", ".bat", ".com", ".cmd" or ".btm"
 *  (ASCII case folded): the suffixes Windows runs directly. */
static bool rtFsIsExecutableName(const char *pszName, size_t cchName)
{
    if (!pszName)
        return false;
    if (!cchName)
        while (pszName[cchName])
            cchName++;
    if (cchName < 4 || pszName[cchName - 4] != '.')
        return false;
    char szSuffix[4];
    for (unsigned i = 0; i < 3; i++)
    {
        char const ch = pszName[cchName - 3 + i];
        szSuffix[i] = ch >= 'A' && ch <= 'Z' ? (char)(ch + 32) : ch;
    }
    szSuffix[3] = '\0';
    static const char s_aszSuffixes[][4] = {"exe", "bat", "com", "cmd", "btm"};
    for (const char *pszSuffix : s_aszSuffixes)
        if (pszSuffix[0] == szSuffix[0] && pszSuffix[1] == szSuffix[1] && pszSuffix[2] == szSuffix[2])
            return true;
    return false;
}

/** The reparse tag of a symbolic link (IO_REPARSE_TAG_SYMLINK). */
#define RT_REPARSE_TAG_SYMLINK UINT32_C(0xA000000C)

RTDECL(RTFMODE)
RTFsModeFromDos(RTFMODE fMode, const char *pszName, size_t cchName, uint32_t uReparseTag, RTFMODE fTypeHint)
{
    fMode &= RTFS_DOS_MASK;
    if (fTypeHint == RTFS_TYPE_DIRECTORY)
        fMode |= RTFS_DOS_DIRECTORY;

    if (fMode & RTFS_DOS_DIRECTORY)
        fMode |= RTFS_TYPE_DIRECTORY | RTFS_UNIX_ALL_READ | RTFS_UNIX_ALL_EXEC;
    else
    {
        fMode |= RTFS_TYPE_FILE | RTFS_UNIX_ALL_READ;
        if (rtFsIsExecutableName(pszName, cchName))
            fMode |= RTFS_UNIX_ALL_EXEC;
    }
    if ((fMode & RTFS_DOS_NT_REPARSE_POINT) && uReparseTag == RT_REPARSE_TAG_SYMLINK)
        fMode = (fMode & ~RTFS_TYPE_MASK) | RTFS_TYPE_SYMLINK;
    if (!(fMode & RTFS_DOS_READONLY) || (fMode & RTFS_DOS_DIRECTORY))
        fMode |= RTFS_UNIX_ALL_WRITE;
    return fMode;
}

uint64_t rtFileFsMaxFileSize(RTFSTYPE enmType)
{
    switch (enmType)
    {
        case RTFSTYPE_ISO9660: return UINT64_C(1) << 43;
        case RTFSTYPE_FAT: return UINT64_C(1) << 32;
        case RTFSTYPE_HPFS: return UINT64_C(1) << 31;
        default: return UINT64_MAX;
    }
}

int rtFileDiskFullOrTooBig(RTFILE hFile, uint64_t cbLeft)
{
    /* Below 2 GiB no file system in the list has a limit: a full disk it is,
       without asking the volume. */
    uint64_t offCur = 0;
    if (RT_FAILURE(RTFileSeek(hFile, 0, RTFILE_SEEK_CURRENT, &offCur)))
        return ERR_DISK_FULL;
    uint64_t const offEnd = offCur + cbLeft;
    if (offEnd < UINT64_C(0x7FFFFFFF))
        return ERR_DISK_FULL;
    RTFSTYPE enmType;
    if (RT_FAILURE(RTFileQueryFsType(hFile, &enmType)))
        return ERR_DISK_FULL;
    return offEnd >= rtFileFsMaxFileSize(enmType) ? ERR_FILE_TOO_BIG : ERR_DISK_FULL;
}

const RTFILESYSCALLS *g_pRtFileSysCalls = &g_rtFileHostSysCalls;

const RTFILESYSCALLS *rtFileSetSysCalls(const RTFILESYSCALLS *pSysCalls)
{
    const RTFILESYSCALLS *pOld = g_pRtFileSysCalls;
    g_pRtFileSysCalls = pSysCalls ? pSysCalls : &g_rtFileHostSysCalls;
    return pOld;
}

void rtFsObjInfoInitAdditional(RTFSOBJREC *pObjInfo, RTFSOBJATTRADD enmAdditional)
{
    pObjInfo->Attr.enmAdditional = enmAdditional;
    switch (enmAdditional)
    {
        case RTFSOBJATTRADD_UNIX:
            pObjInfo->Attr.u.Unix.uid = NIL_RTUID;
            pObjInfo->Attr.u.Unix.gid = NIL_RTGID;
            pObjInfo->Attr.u.Unix.cHardlinks = 1;
            pObjInfo->Attr.u.Unix.INodeIdDevice = 0;
            pObjInfo->Attr.u.Unix.INodeId = 0;
            pObjInfo->Attr.u.Unix.fFlags = 0;
            pObjInfo->Attr.u.Unix.GenerationId = 0;
            pObjInfo->Attr.u.Unix.Device = 0;
            break;
        case RTFSOBJATTRADD_UNIX_OWNER:
        case RTFSOBJATTRADD_UNIX_GROUP:
            /* Owner and group share one layout. */
            pObjInfo->Attr.u.UnixOwner.id = NIL_RTUID;
            pObjInfo->Attr.u.UnixOwner.szName[0] = '\0';
            break;
        case RTFSOBJATTRADD_EASIZE: pObjInfo->Attr.u.EASize.cb = 0; break;
        default: break;
    }
}

RTDECL(int) RTFileFromNative(RTFILE *phFile, uintptr_t uNative)
{
    if (!RT_VALID_PTR(phFile))
        return ERR_INVALID_POINTER;
    *phFile = (RTFILE)uNative;
    return *phFile == NIL_RTFILE ? ERR_INVALID_HANDLE : SUCCESS;
}

RTDECL(int) RTFileRename(const char *pszSrc, const char *pszDst, unsigned fRename)
{
    if (!RT_VALID_PTR(pszSrc) || !RT_VALID_PTR(pszDst))
        return ERR_INVALID_POINTER;
    if (fRename & ~RTFILEMOVE_FLAGS_REPLACE)
        return ERR_INVALID_PARAMETER;
    /* Expecting a regular file makes a directory source fail with
       ERR_IS_A_DIRECTORY instead of moving a whole tree. */
    return RTPathRename(pszSrc, pszDst, fRename & RTFILEMOVE_FLAGS_REPLACE ? RTPATHRENAME_FLAGS_REPLACE : 0,
                        RTFS_TYPE_FILE);
}

int rtFileOpenCheckArgs(const char *pszFilename, uint64_t *pfOpen, RTFILE *phFile, RTFILEACTION *penmActionTaken)
{
    if (RT_VALID_PTR(phFile))
        *phFile = NIL_RTFILE;
    if (penmActionTaken)
    {
        if (!RT_VALID_PTR(penmActionTaken))
            return ERR_INVALID_PARAMETER;
        *penmActionTaken = RTFILEACTION_INVALID;
    }
    if (!RT_VALID_PTR(pszFilename) || !RT_VALID_PTR(phFile))
        return ERR_INVALID_PARAMETER;
    return rtFileRecalcAndValidateFlags(pfOpen);
}
