/** @file
 * Directory internals: the handle record and the backend entry points.
 */
#ifndef ZOLT_INTERNAL_DIR_H
#define ZOLT_INTERNAL_DIR_H

#include <zolt/dir.h>

/** RTDIRREC::u32Magic while open. */
#define RTDIR_MAGIC UINT32_C(0x19291112)
/** RTDIRREC::u32Magic once closing has begun. */
#define RTDIR_MAGIC_DEAD UINT32_C(0xE6D6EEED)

/** An open directory. The strings live in the same heap block. Entries are
 *  never enumerated here, so the filter is kept as given and no matcher is
 *  prepared. */
typedef struct RTDIRREC
{
    uint32_t u32Magic;
    /** RTDIRFILTER_NONE or RTDIRFILTER_WINNT. */
    RTDIRFILTER enmFilter;
    /** The filter as given (RTDIRFILTER_WINNT), or null. */
    const char *pszFilter;
    size_t cchFilter;
    /** The directory's path, absolute (unless RTDIR_F_NO_ABS_PATH) and
     *  ending in a separator. */
    const char *pszPath;
    size_t cchPath;
    /** RTDIR_F_* as given. */
    uint32_t fFlags;
    /** The path as given ended in a separator, so a final link is followed
     *  even with RTDIR_F_NO_FOLLOW. */
    bool fDirSlash;
    /** The handle is an NT object directory, not a file-system one. */
    bool fIsObjDir;
    /** Native handle (HANDLE, or file descriptor); -1 when closed. */
    intptr_t hDir;
} RTDIRREC;

/** Completes a directory mode (see RTDirCreate) and checks it.
 *  @returns 0 with the completed mode in *pfMode; ERR_INVALID_FILE_MODE. */
int rtDirCreateCompleteMode(RTFMODE *pfMode);

/** Opens pDir->pszPath for the record (backend). @returns 0 with hDir set;
 *  a status. */
int rtDirNativeOpen(RTDIRREC *pDir);

/** Closes pDir->hDir (backend); the handle is forgotten either way.
 *  @returns 0; the converted platform error of a refused close. */
int rtDirNativeClose(RTDIRREC *pDir);

/** RTPathQueryInfo after its argument checks (backend). */
int rtPathNativeQueryInfo(const char *pszPath, RTFSOBJREC *pObjInfo, RTFSOBJATTRADD enmAdditional, uint32_t fFlags);

#endif /* ZOLT_INTERNAL_DIR_H */
