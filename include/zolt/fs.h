/** @file
 * File-system objects: the mode word, the object information record and
 * the file-system types.
 */
#ifndef ZOLT_FS_H
#define ZOLT_FS_H

#include <zolt/cdefs.h>
#include <zolt/time.h>

RT_C_DECLS_BEGIN

/**
 * File mode: the low 16 bits are Unix-style type and permission bits, the
 * high 16 bits the Windows file attributes (their low 15 bits) shifted left
 * by 16. Example: a read-only regular file SETUP.EXE is 0x00018165
 * (read-only attribute, regular file, r-xr-xr-x).
 */
typedef uint32_t RTFMODE;

/** @name Unix part: type (RTFS_TYPE_MASK) and permissions (0777).
 * @{ */
#define RTFS_UNIX_MASK 0xFFFFu
#define RTFS_UNIX_ALL_PERMS 0777u
#define RTFS_UNIX_IRUSR 0400u
#define RTFS_UNIX_IWUSR 0200u
#define RTFS_UNIX_IXUSR 0100u
#define RTFS_UNIX_ALL_READ 0444u
#define RTFS_UNIX_ALL_WRITE 0222u
#define RTFS_UNIX_ALL_EXEC 0111u
#define RTFS_TYPE_MASK 0xF000u
#define RTFS_TYPE_FIFO 0x1000u
#define RTFS_TYPE_DEV_CHAR 0x2000u
#define RTFS_TYPE_DIRECTORY 0x4000u
#define RTFS_TYPE_DEV_BLOCK 0x6000u
#define RTFS_TYPE_FILE 0x8000u
#define RTFS_TYPE_SYMLINK 0xA000u
#define RTFS_TYPE_SOCKET 0xC000u
#define RTFS_IS_DIRECTORY(fMode) (((fMode)&RTFS_TYPE_MASK) == RTFS_TYPE_DIRECTORY)
#define RTFS_IS_FILE(fMode) (((fMode)&RTFS_TYPE_MASK) == RTFS_TYPE_FILE)
#define RTFS_IS_SYMLINK(fMode) (((fMode)&RTFS_TYPE_MASK) == RTFS_TYPE_SYMLINK)
/** @} */

/** @name Windows part: the file attributes shifted left by 16.
 * @{ */
#define RTFS_DOS_SHIFT 16
#define RTFS_DOS_MASK 0x7FFF0000u
#define RTFS_DOS_READONLY 0x00010000u
#define RTFS_DOS_HIDDEN 0x00020000u
#define RTFS_DOS_SYSTEM 0x00040000u
#define RTFS_DOS_DIRECTORY 0x00100000u
#define RTFS_DOS_ARCHIVED 0x00200000u
#define RTFS_DOS_NT_DEVICE 0x00400000u
#define RTFS_DOS_NT_NORMAL 0x00800000u
#define RTFS_DOS_NT_TEMPORARY 0x01000000u
#define RTFS_DOS_NT_SPARSE_FILE 0x02000000u
#define RTFS_DOS_NT_REPARSE_POINT 0x04000000u
#define RTFS_DOS_NT_COMPRESSED 0x08000000u
#define RTFS_DOS_NT_OFFLINE 0x10000000u
#define RTFS_DOS_NT_NOT_CONTENT_INDEXED 0x20000000u
#define RTFS_DOS_NT_ENCRYPTED 0x40000000u
/** @} */

/** Which additional fields of RTFSOBJREC are meaningful (and asked for). */
typedef enum RTFSOBJATTRADD
{
    RTFSOBJATTRADD_NOTHING = 1,
    /** Unix attributes: owner and group ids, links, inode id and device. */
    RTFSOBJATTRADD_UNIX = 2,
    RTFSOBJATTRADD_UNIX_OWNER = 3,
    RTFSOBJATTRADD_UNIX_GROUP = 4,
    RTFSOBJATTRADD_EASIZE = 5,
} RTFSOBJATTRADD;

/** An id that is not known (user, group). */
#define NIL_RTUID (~(uint32_t)0)
#define NIL_RTGID (~(uint32_t)0)

/** Information about a file-system object. */
typedef struct RTFSOBJREC
{
    /** Bytes of data (end of file). */
    int64_t cbObject;
    /** Bytes allocated on disk. */
    int64_t cbAllocated;
    RTTIMESPEC AccessTime;
    RTTIMESPEC ModificationTime;
    /** Last change of data or attributes. */
    RTTIMESPEC ChangeTime;
    RTTIMESPEC BirthTime;
    struct
    {
        RTFMODE fMode;
        /** RTFSOBJATTRADD: which member of u is meaningful. */
        uint32_t enmAdditional;
        union {
            /** RTFSOBJATTRADD_UNIX. */
            struct
            {
                uint32_t uid;        /**< NIL_RTUID when not known */
                uint32_t gid;        /**< NIL_RTGID when not known */
                uint32_t cHardlinks; /**< at least 1 */
                /** Device of the inode: the volume serial number on Windows,
                 *  st_dev (truncated) on POSIX. */
                uint32_t INodeIdDevice;
                /** The file's identity on its volume (Windows file index,
                 *  POSIX inode number): two handles with equal device and
                 *  id refer to the same file. */
                uint64_t INodeId;
                uint32_t fFlags;       /**< 0 */
                uint32_t GenerationId; /**< 0 */
                uint32_t Device;       /**< 0 */
            } Unix;
            /** RTFSOBJATTRADD_UNIX_OWNER and RTFSOBJATTRADD_UNIX_GROUP. */
            struct
            {
                uint32_t id; /**< NIL_RTUID / NIL_RTGID */
                char szName[64];
            } UnixOwner, UnixGroup;
            /** RTFSOBJATTRADD_EASIZE. */
            struct
            {
                uint64_t cb; /**< 0 */
            } EASize;
        } u;
    } Attr;
} RTFSOBJREC;

/** @name Link flags of RTPathQueryInfo.
 * @{ */
/** Report a final symbolic link itself. */
#define RTPATH_F_ON_LINK 1u
/** Report what a final symbolic link points to. */
#define RTPATH_F_FOLLOW_LINK 2u
/** May be added to either: refuse symbolic links in the path. */
#define RTPATH_F_NO_SYMLINKS 4u
/** @} */

/** Kind of a file system, used to tell a full disk from a file-size limit. */
typedef enum RTFSTYPE : uint32_t
{
    RTFSTYPE_UNKNOWN = 0,
    RTFSTYPE_UDF = 1,
    RTFSTYPE_ISO9660 = 2,
    /** This product's shared-folder file system ("QuorSharedFolderFS"). */
    RTFSTYPE_QUORSF = 4,
    RTFSTYPE_NTFS = 17,
    RTFSTYPE_FAT = 18,
    RTFSTYPE_EXFAT = 19,
    RTFSTYPE_REFS = 20,
    RTFSTYPE_HPFS = 28,
} RTFSTYPE;

/**
 * Builds a mode from Windows attributes.
 * @param fMode the attributes shifted by RTFS_DOS_SHIFT; a Unix part in it
 *        is ignored.
 * @param pszName the object's name or null; names ending in ".exe",
 *        ".bat", ".com", ".cmd" or ".btm" (any case) get execute bits.
 * @param cchName length of @a pszName, or 0 to measure it.
 * @param uReparseTag the reparse tag; 0xA000000C (symbolic link) with the
 *        reparse-point attribute makes the type a symbolic link.
 * @param fTypeHint RTFS_TYPE_DIRECTORY adds the directory attribute; 0 for
 *        none.
 * @returns the mode: directories get r-xr-xr-x, other objects r--r--r--
 *          (plus execute as above); write bits are added unless the object
 *          is a read-only non-directory. A read-only SETUP.EXE gives a
 *          regular r-xr-xr-x; a directory rwxrwxrwx.
 */
RTDECL(RTFMODE)
RTFsModeFromDos(RTFMODE fMode, const char *pszName, size_t cchName, uint32_t uReparseTag, RTFMODE fTypeHint);

RT_C_DECLS_END

#endif /* ZOLT_FS_H */
