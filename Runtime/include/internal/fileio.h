/** @file
 * File I/O internals: flag validation and the full-disk decision shared by
 * the backends, and each backend's table of system calls.
 *
 * The system-call table lets tests inject faults the host cannot produce
 * on demand (a full disk at a given offset, a FAT32 volume, a write that
 * runs out of kernel memory, any one call of a whole run failing). Production
 * code never changes it.
 */
#ifndef ZOLT_INTERNAL_FILEIO_H
#define ZOLT_INTERNAL_FILEIO_H

#include <zolt/file.h>

#ifdef _WIN32
#include <windows.h>

#include <winternl.h>

#include "internal/nt.h"
#else
#include <sys/types.h>
#endif

/**
 * Validates an open flag word and fills in its defaults: action 0 becomes
 * RTFOPEN_OPEN, sharing 0 becomes RTFOPEN_DENY_NONE, the high 32 bits are
 * cleared.
 * @returns 0; ERR_INVALID_PARAMETER (the word is then untouched).
 */
int rtFileRecalcAndValidateFlags(uint64_t *pfOpen);

/**
 * The argument checks every backend's RTFileOpenEx starts with: the outputs
 * are set to nil / RTFILEACTION_INVALID wherever they are writable, then the
 * pointers and the flag word (recalculated in place) are checked.
 * @returns 0; ERR_INVALID_PARAMETER for a bad pointer; the flag status.
 */
int rtFileOpenCheckArgs(const char *pszFilename, uint64_t *pfOpen, RTFILE *phFile, RTFILEACTION *penmActionTaken);

/** @returns the largest file size a file system of type @a enmType allows,
 *  UINT64_MAX when it has no limit worth checking. */
uint64_t rtFileFsMaxFileSize(RTFSTYPE enmType);

/**
 * Tells a full disk from a file-size limit after a write failed with
 * ERR_DISK_FULL: the write's end (the current position plus the
 * @a cbLeft bytes not yet written) reaching the file system's limit is
 * ERR_FILE_TOO_BIG.
 * @returns ERR_DISK_FULL or ERR_FILE_TOO_BIG.
 */
int rtFileDiskFullOrTooBig(RTFILE hFile, uint64_t cbLeft);

/** Sets the additional part of @a pObjInfo for @a enmAdditional with
 *  "not known" values: ids all ones, one link, everything else zero. */
void rtFsObjInfoInitAdditional(RTFSOBJREC *pObjInfo, RTFSOBJATTRADD enmAdditional);

#ifdef _WIN32
/**
 * Fills @a pObjInfo from an open handle with NtQueryInformationFile
 * (FileAllInformation) and, for RTFSOBJATTRADD_UNIX, the volume serial
 * number. @a enmAdditional must be valid; @a uReparseTag is the object's
 * reparse tag when known (it makes a symbolic link's type), else 0.
 * @returns 0; the converted NT status (the record is then untouched).
 */
int rtFileNtQueryInfo(HANDLE hFile, RTFSOBJREC *pObjInfo, RTFSOBJATTRADD enmAdditional, uint32_t uReparseTag);

/**
 * True when @a hFile, opened by the NT path @a pNtName with
 * FILE_OPEN_REPARSE_POINT, is not the object the name's final component
 * names. Wine ignores the option for Unix symbolic links and opens their
 * target, reporting no reparse point at all; the opened object's own name
 * then ends differently. False when the name cannot be queried.
 */
bool rtFileNtOpenedThroughFinalLink(HANDLE hFile, const UNICODE_STRING *pNtName);
#else
struct stat;
/** Fills @a pObjInfo from a stat result (size, times, mode with synthesised
 *  Windows attributes, and the additional part of @a enmAdditional). */
void rtFsPosixObjInfoFromStat(RTFSOBJREC *pObjInfo, const struct stat *pSt, RTFSOBJATTRADD enmAdditional);

/** Converts the errno value of a failed call on @a pszNative; ENOENT
 *  becomes ERR_PATH_NOT_FOUND when the parent directory is missing too,
 *  as Windows tells the two apart. */
int rtPathPosixConvertErrno(int iErr, const char *pszNative);
#endif

/** The host calls the backend makes through the table. */
typedef struct RTFILESYSCALLS
{
#ifdef _WIN32
    BOOL(WINAPI *pfnReadFile)(HANDLE hFile, LPVOID pvBuf, DWORD cbToRead, LPDWORD pcbRead, LPOVERLAPPED pOverlapped);
    BOOL(WINAPI *pfnWriteFile)
    (HANDLE hFile, LPCVOID pvBuf, DWORD cbToWrite, LPDWORD pcbWritten, LPOVERLAPPED pOverlapped);
    NTSTATUS(NTAPI *pfnNtQueryVolumeInformationFile)
    (HANDLE hFile, PIO_STATUS_BLOCK pIos, PVOID pvBuf, ULONG cbBuf, FS_INFORMATION_CLASS enmClass);
    /** RTFileOpenEx's open and RTFileClose's close. */
    decltype(&::CreateFileW) pfnCreateFileW;
    decltype(&::CloseHandle) pfnCloseHandle;
    /** The native opens (deletion, directory handles, path information),
     *  the file information queries, the deletion's disposition, the
     *  attribute query by path, and the closing of native handles. */
    decltype(&::NtCreateFile) pfnNtCreateFile;
    decltype(&::NtQueryInformationFile) pfnNtQueryInformationFile;
    decltype(&::NtSetInformationFile) pfnNtSetInformationFile;
    decltype(&::NtQueryFullAttributesFile) pfnNtQueryFullAttributesFile;
    decltype(&::NtClose) pfnNtClose;
    /** RTDirCreate and RTDirRemove. */
    decltype(&::CreateDirectoryW) pfnCreateDirectoryW;
    decltype(&::RemoveDirectoryW) pfnRemoveDirectoryW;
    /** The process token's user (rtNtQueryProcessUser): a private
     *  directory's access list, and RTPathSystemTempDir. */
    decltype(&::NtOpenProcessToken) pfnNtOpenProcessToken;
    decltype(&::NtQueryInformationToken) pfnNtQueryInformationToken;
    /** GetTempPath2W (RTPathSystemTempDir); the host's entry is
     *  rtPathWinGetTempPath2W. */
    DWORD(WINAPI *pfnGetTempPath2W)(DWORD cwcBuf, LPWSTR pwszBuf);
#else
    ssize_t (*pfnRead)(int fd, void *pvBuf, size_t cbToRead);
    ssize_t (*pfnWrite)(int fd, const void *pvBuf, size_t cbToWrite);
    /** Returns the Linux file-system magic (statfs f_type) of @a fd, or -1
     *  with errno set. */
    long (*pfnQueryFsMagic)(int fd);
#endif
} RTFILESYSCALLS;

/** The host's own calls. */
extern const RTFILESYSCALLS g_rtFileHostSysCalls;

#ifdef _WIN32
/** GetTempPath2W, looked up in kernel32 on its first call (newer hosts
 *  only). Where the host lacks it, it fails with ERROR_CALL_NOT_IMPLEMENTED,
 *  as the system's own stubs of missing functions do. */
DWORD WINAPI rtPathWinGetTempPath2W(DWORD cwcBuf, LPWSTR pwszBuf);
#endif

/**
 * Replaces the table (null restores the host's). Not thread-safe: tests
 * call it while no other thread does file I/O.
 * @returns the previous table.
 */
const RTFILESYSCALLS *rtFileSetSysCalls(const RTFILESYSCALLS *pSysCalls);

/** The table in use. */
extern const RTFILESYSCALLS *g_pRtFileSysCalls;

#endif /* ZOLT_INTERNAL_FILEIO_H */
