/** @file
 * Directories, host independent: mode completion, temporary names,
 * existence, argument checks and the handle record.
 */
#include "internal/dir.h"

#include <zolt/dir.h>
#include <zolt/err.h>
#include <zolt/mem.h>
#include <zolt/path.h>
#include <zolt/rand.h>
#include <zolt/string.h>

#include <string.h>

int rtDirCreateCompleteMode(RTFMODE *pfMode)
{
    RTFMODE fMode = *pfMode;
    if (!(fMode & RTFS_UNIX_MASK))
        fMode = RTFsModeFromDos(fMode, nullptr, 0, 0, RTFS_TYPE_DIRECTORY);
    else if (!(fMode & RTFS_TYPE_MASK))
        fMode |= fMode & RTFS_DOS_DIRECTORY ? RTFS_TYPE_DIRECTORY : RTFS_TYPE_FILE;
    if (RTFS_IS_DIRECTORY(fMode))
        fMode |= RTFS_DOS_DIRECTORY;
    else if (fMode & RTFS_DOS_DIRECTORY)
        return ERR_INVALID_FILE_MODE;
    *pfMode = fMode;
    return SUCCESS;
}

static bool rtDirIsTemplateSep(char ch)
{
    return ch == '\\' || ch == '/' || ch == ':';
}

/** Finds the run of 'X's to replace. @returns its length (0: none) with its
 *  start in *poffRun. */
static size_t rtDirFindTemplateRun(const char *pszTemplate, size_t cchTemplate, size_t *poffRun)
{
    size_t offEnd = cchTemplate;
    if (!cchTemplate || pszTemplate[cchTemplate - 1] != 'X')
    {
        /* Inside the last component, which must be longer than 3
           characters: the last three consecutive 'X's found from its end. */
        size_t offName = cchTemplate;
        while (offName > 0 && !rtDirIsTemplateSep(pszTemplate[offName - 1]))
            offName--;
        if (cchTemplate - offName <= 3)
            return 0;
        offEnd = 0;
        for (size_t off = cchTemplate; off >= offName + 3; off--)
            if (pszTemplate[off - 1] == 'X' && pszTemplate[off - 2] == 'X' && pszTemplate[off - 3] == 'X')
            {
                offEnd = off;
                break;
            }
        if (!offEnd)
            return 0;
    }
    size_t offStart = offEnd;
    while (offStart > 0 && pszTemplate[offStart - 1] == 'X')
        offStart--;
    *poffRun = offStart;
    return offEnd - offStart;
}

RTDECL(int) RTDirCreateTemp(char *pszTemplate, RTFMODE fMode)
{
    return RTDirCreateTempEx(pszTemplate, fMode, 0);
}

RTDECL(int) RTDirCreateTempEx(char *pszTemplate, RTFMODE fMode, uint32_t fCreate)
{
    if (!RT_VALID_PTR(pszTemplate))
        return ERR_INVALID_POINTER;
    size_t offRun = 0;
    size_t const cchRun = rtDirFindTemplateRun(pszTemplate, strlen(pszTemplate), &offRun);
    if (!cchRun)
    {
        *pszTemplate = '\0';
        return ERR_INVALID_PARAMETER;
    }

    static const char s_achChars[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    int rc = ERR_ALREADY_EXISTS;
    for (unsigned cTries = 0; cTries < 10000; cTries++)
    {
        for (size_t i = cchRun; i-- > 0;)
        {
            /* All ones: the shared generator could not be allocated. */
            uint32_t const iChar = RTRandU32Ex(0, sizeof(s_achChars) - 2);
            if (iChar > sizeof(s_achChars) - 2)
            {
                *pszTemplate = '\0';
                return ERR_NO_MEMORY;
            }
            pszTemplate[offRun + i] = s_achChars[iChar];
        }
        rc = RTDirCreate(pszTemplate, fMode, fCreate);
        if (rc != ERR_ALREADY_EXISTS)
            break;
    }
    if (RT_FAILURE(rc))
        *pszTemplate = '\0'; /* never leave a name that is not ours */
    return rc;
}

RTDECL(bool) RTDirExists(const char *pszPath)
{
    RTFSOBJREC Info;
    return RT_SUCCESS(RTPathQueryInfo(pszPath, &Info, RTFSOBJATTRADD_NOTHING, RTPATH_F_FOLLOW_LINK)) &&
           RTFS_IS_DIRECTORY(Info.Attr.fMode);
}

RTDECL(int) RTPathQueryInfo(const char *pszPath, RTFSOBJREC *pObjInfo, RTFSOBJATTRADD enmAdditional, uint32_t fFlags)
{
    if (!RT_VALID_PTR(pszPath) || !RT_VALID_PTR(pObjInfo))
        return ERR_INVALID_POINTER;
    uint32_t const fLink = fFlags & ~RTPATH_F_NO_SYMLINKS;
    if (!*pszPath || enmAdditional < RTFSOBJATTRADD_NOTHING || enmAdditional > RTFSOBJATTRADD_EASIZE ||
        (fLink != RTPATH_F_ON_LINK && fLink != RTPATH_F_FOLLOW_LINK))
        return ERR_INVALID_PARAMETER;
    return rtPathNativeQueryInfo(pszPath, pObjInfo, enmAdditional, fFlags);
}

RTDECL(int) RTDirOpen(RTDIR *phDir, const char *pszPath)
{
    return RTDirOpenFiltered(phDir, pszPath, RTDIRFILTER_NONE, 0);
}

/** The directory part as a path ending in a separator: absolute, or copied
 *  as it is with RTDIR_F_NO_ABS_PATH (".\\" when empty). @returns a heap
 *  string or null. */
static char *rtDirMakePath(const char *pszPath, size_t cchDir, uint32_t fFlags)
{
    if (fFlags & RTDIR_F_NO_ABS_PATH)
    {
        char *psz = RTStrAlloc(cchDir + 3);
        if (psz)
        {
            memcpy(psz, pszPath, cchDir);
            psz[cchDir] = '\0';
            RTPathEnsureSeparator(psz, cchDir + 3); /* two bytes to spare: always fits */
        }
        return psz;
    }
    char *pszDir = cchDir ? RTStrDupN(pszPath, cchDir) : RTStrDup(".");
    if (!pszDir)
        return nullptr;
    char *pszAbs = RTPathAbsExDup(nullptr, pszDir, RTPATH_STYLE_HOST | RTPATHABS_TRAILING_SLASH);
    RTStrFree(pszDir);
    return pszAbs;
}

RTDECL(int) RTDirOpenFiltered(RTDIR *phDir, const char *pszPath, RTDIRFILTER enmFilter, uint32_t fFlags)
{
    if (!RT_VALID_PTR(phDir) || !RT_VALID_PTR(pszPath))
        return ERR_INVALID_POINTER;
    switch (enmFilter)
    {
        case RTDIRFILTER_NONE:
        case RTDIRFILTER_WINNT: break;
        case RTDIRFILTER_UNIX:
        case RTDIRFILTER_UNIX_UPCASED: return ERR_NOT_IMPLEMENTED;
        default: return ERR_INVALID_PARAMETER;
    }
    if (fFlags & ~RTDIR_F_VALID_MASK)
        return ERR_INVALID_FLAGS;

    size_t cchDir = strlen(pszPath);
    const char *pszFilter = nullptr;
    if (enmFilter == RTDIRFILTER_WINNT)
    {
        pszFilter = RTPathFindFilename(pszPath);
        if (pszFilter)
            cchDir = (size_t)(pszFilter - pszPath);
        else
            enmFilter = RTDIRFILTER_NONE;
    }
    size_t const cchFilter = pszFilter ? strlen(pszFilter) : 0;
    bool const fDirSlash = cchDir > 0 && (pszPath[cchDir - 1] == '\\' || pszPath[cchDir - 1] == '/');

    char *pszDir = rtDirMakePath(pszPath, cchDir, fFlags);
    if (!pszDir)
        return ERR_NO_MEMORY;
    size_t const cchPath = strlen(pszDir);

    /* One block: the record, the path and the filter. */
    RTDIRREC *pDir = (RTDIRREC *)RTMemAlloc(sizeof(*pDir) + cchPath + 1 + cchFilter + 1);
    if (!pDir)
    {
        RTStrFree(pszDir);
        return ERR_NO_MEMORY;
    }
    char *pszPathCopy = (char *)(pDir + 1);
    memcpy(pszPathCopy, pszDir, cchPath + 1);
    RTStrFree(pszDir);
    pDir->u32Magic = RTDIR_MAGIC;
    pDir->enmFilter = enmFilter;
    pDir->pszPath = pszPathCopy;
    pDir->cchPath = cchPath;
    pDir->pszFilter = nullptr;
    pDir->cchFilter = cchFilter;
    if (pszFilter)
    {
        char *pszFilterCopy = pszPathCopy + cchPath + 1;
        memcpy(pszFilterCopy, pszFilter, cchFilter + 1);
        pDir->pszFilter = pszFilterCopy;
    }
    pDir->fFlags = fFlags;
    pDir->fDirSlash = fDirSlash;
    pDir->fIsObjDir = false;
    pDir->hDir = -1;

    int const rc = rtDirNativeOpen(pDir);
    if (RT_FAILURE(rc))
    {
        pDir->u32Magic = RTDIR_MAGIC_DEAD;
        RTMemFree(pDir);
        return rc;
    }
    *phDir = pDir;
    return rc;
}

RTDECL(int) RTDirClose(RTDIR hDir)
{
    if (!RTDirIsValid(hDir))
        return ERR_INVALID_PARAMETER;
    hDir->u32Magic = RTDIR_MAGIC_DEAD;
    /* A refused close is the caller's to report: the directory may stay
       pinned, so that removing it fails. The record goes either way. */
    int const rc = rtDirNativeClose(hDir);
    RTMemFree(hDir);
    return rc;
}

RTDECL(bool) RTDirIsValid(RTDIR hDir)
{
    return RT_VALID_PTR(hDir) && hDir->u32Magic == RTDIR_MAGIC;
}
