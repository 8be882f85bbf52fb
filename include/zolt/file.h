/** @file
 * File I/O: open by one flag word, whole-buffer reads and writes, seek,
 * size, information, delete and rename.
 *
 * Paths are UTF-8 under Windows rules ("\\" and "/" both separate).
 *
 * On a POSIX host the same contracts hold where the host can give them,
 * with these differences:
 * - Sharing (RTFOPEN_DENY_*) is validated but not enforced: POSIX has no
 *   mandatory share modes, so a second opener is never refused.
 * - The create mode (RTFOPEN_CREATE_MODE) becomes the new file's permission
 *   bits (subject to the umask); Windows ignores it.
 * - RTFOPEN_NOT_CONTENT_INDEXED, RTFOPEN_TEMPORARY, RTFOPEN_INHERIT (handles
 *   are opened close-on-exec unless it is given) and the attribute-access
 *   bits have no further effect.
 * - The file identity is the inode number, its device st_dev.
 */
#ifndef ZOLT_FILE_H
#define ZOLT_FILE_H

#include <zolt/cdefs.h>
#include <zolt/fs.h>

RT_C_DECLS_BEGIN

/** A file handle: the platform's native handle (HANDLE on Windows, a file
 *  descriptor on POSIX). */
typedef intptr_t RTFILE;
/** The invalid (nil) file handle: all ones. */
#define NIL_RTFILE ((RTFILE)-1)

/** @name Open flag word. Only the low 32 bits are defined; the high 32 are
 * ignored. An open validates the whole word first and changes nothing on
 * ERR_INVALID_PARAMETER.
 * @{ */
#define RTFOPEN_READ 0x00000001u
#define RTFOPEN_WRITE 0x00000002u
#define RTFOPEN_READWRITE 0x00000003u
#define RTFOPEN_ACCESS_MASK 0x00000003u
/** Writes go to the end of the file. */
#define RTFOPEN_APPEND 0x00000004u
/** Sharing: what other openers may do. 0 means RTFOPEN_DENY_NONE. */
#define RTFOPEN_SHARE_MASK 0x000000F0u
#define RTFOPEN_DENY_READ 0x00000010u                   /**< others may write */
#define RTFOPEN_DENY_WRITE 0x00000020u                  /**< others may read */
#define RTFOPEN_DENY_READWRITE 0x00000030u              /**< others may nothing */
#define RTFOPEN_DENY_NONE_ALLOW_DELETE 0x00000040u      /**< others may read, write, delete */
#define RTFOPEN_DENY_READ_ALLOW_DELETE 0x00000050u      /**< others may write, delete */
#define RTFOPEN_DENY_WRITE_ALLOW_DELETE 0x00000060u     /**< others may read, delete */
#define RTFOPEN_DENY_READWRITE_ALLOW_DELETE 0x00000070u /**< others may delete */
#define RTFOPEN_DENY_NONE 0x00000080u                   /**< others may read, write */
/** Action when the file exists or not. 0 means RTFOPEN_OPEN; 0x400, 0x500
 *  and 0x600 are invalid. */
#define RTFOPEN_ACTION_MASK 0x00000700u
#define RTFOPEN_OPEN_CREATE 0x00000100u    /**< open, or create if missing */
#define RTFOPEN_CREATE 0x00000200u         /**< create; fail if it exists */
#define RTFOPEN_CREATE_REPLACE 0x00000300u /**< create, or replace */
#define RTFOPEN_OPEN 0x00000700u           /**< open an existing file */
/** Mark a newly created or replaced file as not to be indexed; invalid with
 *  RTFOPEN_OPEN. */
#define RTFOPEN_NOT_CONTENT_INDEXED 0x00000800u
/** Truncate an existing file on open; needs write access. */
#define RTFOPEN_TRUNCATE 0x00001000u
/** The handle is inherited by child processes. */
#define RTFOPEN_INHERIT 0x00002000u
#define RTFOPEN_WRITE_THROUGH 0x00008000u
#define RTFOPEN_ACCESS_ATTR_READ 0x00010000u
#define RTFOPEN_ACCESS_ATTR_WRITE 0x00020000u
#define RTFOPEN_ACCESS_ATTR_READWRITE 0x00030000u
#define RTFOPEN_ACCESS_ATTR_MASK 0x00030000u
#define RTFOPEN_ASYNC_IO 0x00040000u
#define RTFOPEN_NO_CACHE 0x00080000u
/** Unix permission bits of a new file, shifted left by 20: octal 0700 is
 *  0x1C000000. */
#define RTFOPEN_CREATE_MODE_MASK 0x1FF00000u
#define RTFOPEN_CREATE_MODE_SHIFT 20
#define RTFOPEN_TEMPORARY 0x40000000u
/** Bits that make any flag word invalid. */
#define RTFOPEN_INVALID_MASK 0x80004008u
/** @} */

/** What RTFileOpenEx did. */
typedef enum RTFILEACTION
{
    RTFILEACTION_INVALID = 0,
    RTFILEACTION_OPENED = 1,
    RTFILEACTION_CREATED = 2,
    RTFILEACTION_REPLACED = 3,
    RTFILEACTION_TRUNCATED = 4,
    /** RTFOPEN_CREATE failed because the file exists. */
    RTFILEACTION_ALREADY_EXISTS = 5,
} RTFILEACTION;

/** @name RTFileSeek methods.
 * @{ */
#define RTFILE_SEEK_BEGIN 0u
#define RTFILE_SEEK_CURRENT 1u
#define RTFILE_SEEK_END 2u
/** @} */

/** RTFileRename flag: replace an existing destination. */
#define RTFILEMOVE_FLAGS_REPLACE 1u

/** RTFileOpenEx without the action output. */
RT_NODISCARD RTDECL(int) RTFileOpen(RTFILE *phFile, const char *pszFilename, uint64_t fOpen);

/**
 * Opens or creates a file.
 *
 * Examples of flag words: 0x1C000322 creates or replaces a file for
 * writing while others may only read it (mode 0700 on POSIX); 0x721 opens
 * an existing file for reading while others may only read; 0x1C000781
 * opens for reading with others allowed to read and write.
 *
 * @param phFile out: the handle; set to NIL_RTFILE first, so it is nil on
 *        every failure.
 * @param penmActionTaken optional out: RTFILEACTION_*; set to 0 first.
 *        RTFOPEN_CREATE on an existing file reports
 *        RTFILEACTION_ALREADY_EXISTS with its failure.
 * @returns 0; ERR_INVALID_PARAMETER for a bad path, handle or action
 *          pointer, and for an invalid flag word: no read, write or attribute access,
 *          any bit of RTFOPEN_INVALID_MASK, RTFOPEN_TRUNCATE without write
 *          access, an action of 0x400-0x600, RTFOPEN_NOT_CONTENT_INDEXED
 *          with RTFOPEN_OPEN, a sharing value above 0x80; path conversion
 *          statuses; the converted platform error (ERR_FILE_NOT_FOUND,
 *          ERR_PATH_NOT_FOUND, ERR_ALREADY_EXISTS, ERR_SHARING_VIOLATION,
 *          ERR_ACCESS_DENIED ...). A failure after the file was opened
 *          (marking it not indexed, truncating it) closes it again.
 */
RT_NODISCARD RTDECL(int)
    RTFileOpenEx(const char *pszFilename, uint64_t fOpen, RTFILE *phFile, RTFILEACTION *penmActionTaken);

/** Closes a file. @returns 0 (also for NIL_RTFILE); the converted platform
 *  error (ERR_INVALID_HANDLE for a handle that is not open). */
RTDECL(int) RTFileClose(RTFILE hFile);

/**
 * Reads @a cbToRead bytes at the current position.
 * @param pcbRead optional out: bytes read. With it a short read (end of
 *        file) is success; without it the call reads until the buffer is
 *        full and fails with ERR_EOF if the file ends first.
 * @returns 0; ERR_EOF; the converted platform error. Size 0 is success
 *          with *pcbRead 0.
 */
RT_NODISCARD RTDECL(int) RTFileRead(RTFILE hFile, void *pvBuf, size_t cbToRead, size_t *pcbRead);

/**
 * Writes @a cbToWrite bytes at the current position (at the end with
 * RTFOPEN_APPEND).
 * @param pcbWritten optional out: bytes written; with it a partial write is
 *        success; without it the call writes until all is written and fails
 *        with ERR_WRITE_ERROR if a write makes no progress. Size 0 is
 *        success and leaves *pcbWritten untouched.
 * @returns 0; ERR_WRITE_ERROR; ERR_DISK_FULL; ERR_FILE_TOO_BIG when the
 *          platform says the disk is full but the write would take the file
 *          to the size limit of its file system (4 GiB on FAT, 2 GiB on
 *          HPFS, 8 TiB on CDFS); the converted platform error.
 */
RT_NODISCARD RTDECL(int) RTFileWrite(RTFILE hFile, const void *pvBuf, size_t cbToWrite, size_t *pcbWritten);

/**
 * Moves the file position.
 * @param uMethod RTFILE_SEEK_BEGIN, _CURRENT or _END.
 * @param poffActual optional out: the new position.
 * @returns 0; ERR_INVALID_PARAMETER for a method above 2; the converted
 *          platform error (ERR_NEGATIVE_SEEK ...).
 */
RT_NODISCARD RTDECL(int) RTFileSeek(RTFILE hFile, int64_t offSeek, unsigned uMethod, uint64_t *poffActual);

/** Size of the file in bytes; for a handle of a whole disk (fixed or
 *  removable media) the disk's size. @returns 0; ERR_INVALID_POINTER; the
 *  converted platform error. */
RT_NODISCARD RTDECL(int) RTFileGetSize(RTFILE hFile, uint64_t *pcbSize);

/** Flushes the file's buffers to the device. @returns 0; the converted
 *  platform error. */
RTDECL(int) RTFileFlush(RTFILE hFile);

/**
 * Queries size, times, mode and (with RTFSOBJATTRADD_UNIX) identity.
 * A console handle (Windows) gives success with a zeroed record whose mode
 * is that of a device and whose kind is @a enmAdditional.
 * @returns 0; ERR_INVALID_PARAMETER for NIL_RTFILE, a bad record pointer or
 *          a kind outside 1..5 (record untouched); ERR_INVALID_HANDLE for a
 *          handle that is not an open file; the converted platform error.
 */
RT_NODISCARD RTDECL(int) RTFileQueryInfo(RTFILE hFile, RTFSOBJREC *pObjInfo, RTFSOBJATTRADD enmAdditional);

/**
 * Deletes a file. Never follows a link: a symbolic link (or other reparse
 * point) is refused and neither it nor its target is touched. Read-only
 * files are not made writable first.
 * @returns 0; ERR_IS_A_DIRECTORY; ERR_IS_A_SYMLINK; ERR_FILE_NOT_FOUND;
 *          ERR_PATH_NOT_FOUND; ERR_ACCESS_DENIED; path conversion statuses;
 *          the converted platform error.
 */
RT_NODISCARD RTDECL(int) RTFileDelete(const char *pszFilename);

/**
 * Renames (moves) a file.
 * @param fRename RTFILEMOVE_FLAGS_REPLACE or 0.
 * @returns 0; ERR_INVALID_POINTER for bad paths; ERR_INVALID_PARAMETER for
 *          other flag bits; ERR_IS_A_DIRECTORY when the source is a
 *          directory; ERR_ALREADY_EXISTS without the replace flag; the
 *          converted platform error.
 */
RT_NODISCARD RTDECL(int) RTFileRename(const char *pszSrc, const char *pszDst, unsigned fRename);

/**
 * Wraps a native handle (HANDLE, file descriptor) as a file handle.
 * @returns 0; ERR_INVALID_HANDLE for the nil value, which is still stored.
 */
RTDECL(int) RTFileFromNative(RTFILE *phFile, uintptr_t uNative);

/** @returns true when @a hFile is not nil and names an open file, device,
 *  pipe or console. */
RTDECL(bool) RTFileIsValid(RTFILE hFile);

/**
 * The type of the file system holding the file.
 * @returns 0 with the type in *penmType (RTFSTYPE_UNKNOWN for names not in
 *          the list); the converted platform error with RTFSTYPE_UNKNOWN;
 *          ERR_INVALID_POINTER.
 */
RT_NODISCARD RTDECL(int) RTFileQueryFsType(RTFILE hFile, RTFSTYPE *penmType);

RT_C_DECLS_END

#endif /* ZOLT_FILE_H */
