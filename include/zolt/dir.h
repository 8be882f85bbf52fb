/** @file
 * Directories: create, remove, uniquely named temporary directories,
 * existence and information queries by path, and directory handles that
 * pin a directory while it is in use.
 *
 * Paths are UTF-8 under Windows rules ("\\" and "/" both separate).
 *
 * On a POSIX host RTDirCreate applies the mode's permission bits (subject
 * to the umask) and ignores the indexing flags; a directory handle is an
 * open descriptor of the directory, which keeps its inode alive but, unlike
 * Windows, does not stop it from being renamed or removed.
 */
#ifndef ZOLT_DIR_H
#define ZOLT_DIR_H

#include <zolt/cdefs.h>
#include <zolt/fs.h>

RT_C_DECLS_BEGIN

/** Handle of an open directory. */
typedef struct RTDIRREC *RTDIR;

/** @name RTDirCreate flags.
 * @{ */
/** Do not mark the new directory as not content indexed (Windows). */
#define RTDIRCREATE_KEEP_INDEXING 2u
/** Failing to mark the directory as not content indexed is not an error. */
#define RTDIRCREATE_INDEXING_OPTIONAL 4u
/** A private directory (Windows): created with a protected access list
 *  that grants full control to the process's user, BUILTIN\Administrators
 *  and SYSTEM only, each entry inherited by the files and subdirectories
 *  created in it; nothing is inherited from the parent. POSIX hosts ignore
 *  it: there the mode's permission bits (0700) make a directory private. */
#define RTDIRCREATE_PRIVATE 8u
/** @} */

/**
 * Creates a directory.
 * @param fMode the new directory's mode: permission bits (POSIX), a Unix
 *        type and/or Windows attributes; completed as described at
 *        ERR_INVALID_FILE_MODE. Windows does not apply it.
 * @param fCreate RTDIRCREATE_* flags. Unless RTDIRCREATE_KEEP_INDEXING is
 *        given, Windows marks the directory as not content indexed. Without
 *        RTDIRCREATE_PRIVATE a Windows directory inherits its parent's
 *        access list.
 * @returns 0; ERR_ALREADY_EXISTS when the path exists (its attributes are
 *          not touched); ERR_INVALID_FILE_MODE for a mode that, after
 *          completion (no Unix part: derived from the Windows attributes as
 *          a directory; no Unix type: directory or regular by the directory
 *          attribute; a Unix directory type adds the directory attribute),
 *          has a non-directory Unix type with the directory attribute;
 *          ERR_PATH_NOT_FOUND when the parent is missing; path conversion
 *          statuses; the converted platform error; with RTDIRCREATE_PRIVATE
 *          the converted status of the token query that names the process's
 *          user (nothing is created then). When only marking it fails, the
 *          directory stays created and that error is returned.
 */
RT_NODISCARD RTDECL(int) RTDirCreate(const char *pszPath, RTFMODE fMode, uint32_t fCreate);

/**
 * Removes an empty directory.
 * @returns 0; ERR_DIR_NOT_EMPTY; ERR_PATH_NOT_FOUND or ERR_FILE_NOT_FOUND;
 *          ERR_NOT_A_DIRECTORY (POSIX) for a file; the converted platform
 *          error (ERR_SHARING_VIOLATION while another handle holds it on
 *          Windows).
 */
RT_NODISCARD RTDECL(int) RTDirRemove(const char *pszPath);

/**
 * Creates a directory with a new random name from a template, in place.
 *
 * The characters replaced are the template's trailing 'X's (one is
 * enough); if it does not end in 'X', the last run of at least three 'X's
 * in its last component (which must be longer than 3 characters), e.g.
 * "abcXXXdef". Each is drawn from "0123456789abcdefghijklmnopqrstuvwxyz"
 * with the shared random generator; a name that exists is retried, up to
 * 10000 attempts. "C:\\T\\" plus 24 'X's gives one of 36^24 names.
 *
 * @param pszTemplate in: the template; out: the created directory's path,
 *        or the empty string on every failure.
 * @param fMode as for RTDirCreate.
 * @returns 0; ERR_INVALID_PARAMETER when the template has no run of 'X's;
 *          ERR_ALREADY_EXISTS when all 10000 names existed; ERR_NO_MEMORY
 *          when the shared random generator cannot be had; the first other
 *          failure of RTDirCreate.
 */
RT_NODISCARD RTDECL(int) RTDirCreateTemp(char *pszTemplate, RTFMODE fMode);

/**
 * RTDirCreateTemp with RTDirCreate flags for every attempt, e.g.
 * RTDIRCREATE_PRIVATE for a temporary directory nobody else may enter.
 * @returns as RTDirCreateTemp.
 */
RT_NODISCARD RTDECL(int) RTDirCreateTempEx(char *pszTemplate, RTFMODE fMode, uint32_t fCreate);

/** @returns true if @a pszPath names a directory (a symbolic link to one
 *  included); false for anything else, errors and bad paths included. */
RTDECL(bool) RTDirExists(const char *pszPath);

/**
 * Queries an object's information by path.
 * @param enmAdditional RTFSOBJATTRADD_NOTHING .. RTFSOBJATTRADD_EASIZE.
 * @param fFlags RTPATH_F_ON_LINK (report a final symbolic link itself) or
 *        RTPATH_F_FOLLOW_LINK (report its target), either optionally with
 *        RTPATH_F_NO_SYMLINKS (accepted, no further effect).
 * @returns 0; ERR_INVALID_PARAMETER for a bad kind or flags or an empty
 *          path; ERR_INVALID_POINTER for bad pointers; ERR_FILE_NOT_FOUND;
 *          ERR_PATH_NOT_FOUND; path conversion statuses; the converted
 *          platform error. The record is untouched on failure.
 */
RT_NODISCARD RTDECL(int)
    RTPathQueryInfo(const char *pszPath, RTFSOBJREC *pObjInfo, RTFSOBJATTRADD enmAdditional, uint32_t fFlags);

/** Filter types of RTDirOpenFiltered. */
typedef enum RTDIRFILTER
{
    RTDIRFILTER_NONE = 1,
    /** Windows wildcards ('*', '?') in the path's last component. */
    RTDIRFILTER_WINNT = 2,
    RTDIRFILTER_UNIX = 3,
    RTDIRFILTER_UNIX_UPCASED = 4,
} RTDIRFILTER;

/** @name RTDirOpenFiltered flags (0..15 are accepted).
 * @{ */
/** Refuse a symbolic link as the final component (ERR_IS_A_SYMLINK)
 *  instead of opening what it points to; a path ending in a separator
 *  still follows it. */
#define RTDIR_F_NO_FOLLOW 4u
/** Use the path as given instead of making it absolute. */
#define RTDIR_F_NO_ABS_PATH 8u
#define RTDIR_F_VALID_MASK 0xFu
/** @} */

/** RTDirOpenFiltered with no filter and no flags. @returns as it does;
 *  ERR_INVALID_POINTER for bad pointers. */
RT_NODISCARD RTDECL(int) RTDirOpen(RTDIR *phDir, const char *pszPath);

/**
 * Opens a directory handle; it keeps the directory in place until closed.
 * Entries are not enumerated by this runtime, so the filter is only
 * recorded.
 * @param enmFilter RTDIRFILTER_NONE, or RTDIRFILTER_WINNT to take the
 *        path's last component as the filter (and the rest, or ".", as the
 *        directory).
 * @returns 0 with the handle in *phDir; ERR_INVALID_POINTER for bad
 *          pointers; ERR_NOT_IMPLEMENTED for the Unix filter types;
 *          ERR_INVALID_PARAMETER for other filter types; ERR_INVALID_FLAGS
 *          for flags above 15; ERR_NO_MEMORY; ERR_IS_A_SYMLINK (with
 *          RTDIR_F_NO_FOLLOW); ERR_NOT_A_DIRECTORY; ERR_FILE_NOT_FOUND or
 *          ERR_PATH_NOT_FOUND; the converted platform error. *phDir is
 *          untouched on failure.
 */
RT_NODISCARD RTDECL(int) RTDirOpenFiltered(RTDIR *phDir, const char *pszPath, RTDIRFILTER enmFilter, uint32_t fFlags);

/**
 * Closes a directory handle and frees it; the magic changes first, so a
 * late call with a stale copy of the record is refused. The record is
 * freed even when the platform refuses to close the native handle.
 * @returns 0; ERR_INVALID_PARAMETER for null or a handle that is not open;
 *          the converted platform error of a refused close (the handle is
 *          gone for the caller all the same).
 */
RTDECL(int) RTDirClose(RTDIR hDir);

/** @returns true when @a hDir is a valid pointer to an open directory
 *  record. The record of a closed handle is freed, so do not ask about
 *  one. */
RTDECL(bool) RTDirIsValid(RTDIR hDir);

RT_C_DECLS_END

#endif /* ZOLT_DIR_H */
