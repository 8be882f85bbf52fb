/** @file
 * File I/O, Windows: CreateFileW with the flag word's mapping, whole and
 * piecewise transfers, seek, size, flush and the file-system type.
 */
#include <windows.h>

#include <zolt/err.h>
#include <zolt/file.h>
#include <zolt/path.h>

#include <winternl.h>

#include <string.h>
#include <wchar.h>
#include <winioctl.h>

#include "internal/fileio.h"

const RTFILESYSCALLS g_rtFileHostSysCalls = {
    ReadFile,
    WriteFile,
    NtQueryVolumeInformationFile,
    CreateFileW,
    CloseHandle,
    NtCreateFile,
    NtQueryInformationFile,
    NtSetInformationFile,
    NtQueryFullAttributesFile,
    NtClose,
    CreateDirectoryW,
    RemoveDirectoryW,
    NtOpenProcessToken,
    NtQueryInformationToken,
    rtPathWinGetTempPath2W,
};

/** Platform share mode by sharing value (RTFOPEN_SHARE_MASK >> 4). */
static const DWORD g_afRtFileWinShare[9] = {
    0, /* 0 is turned into RTFOPEN_DENY_NONE by the validation */
    FILE_SHARE_WRITE,
    FILE_SHARE_READ,
    0,
    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
    FILE_SHARE_WRITE | FILE_SHARE_DELETE,
    FILE_SHARE_READ | FILE_SHARE_DELETE,
    FILE_SHARE_DELETE,
    FILE_SHARE_READ | FILE_SHARE_WRITE,
};

/** Access rights by data access (RTFOPEN_ACCESS_MASK), without and with
 *  RTFOPEN_APPEND: appending asks for FILE_APPEND_DATA without
 *  FILE_WRITE_DATA, so that every write lands at the end. */
static const DWORD g_afRtFileWinAccess[4][2] = {
    {0, 0},
    {FILE_GENERIC_READ, FILE_GENERIC_READ},
    {FILE_GENERIC_WRITE, FILE_GENERIC_WRITE & ~FILE_WRITE_DATA},
    {FILE_GENERIC_READ | FILE_GENERIC_WRITE, (FILE_GENERIC_READ | FILE_GENERIC_WRITE) & ~FILE_WRITE_DATA},
};

/** Attribute access rights by RTFOPEN_ACCESS_ATTR_MASK >> 16. */
static const DWORD g_afRtFileWinAttrAccess[4] = {
    0,
    SYNCHRONIZE | FILE_READ_ATTRIBUTES,
    SYNCHRONIZE | FILE_WRITE_ATTRIBUTES,
    SYNCHRONIZE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
};

/**
 * CreateFileW's steps through rtNtPathWinCreate, for a long-form path past
 * the host's limit on one path. Arguments as given to CreateFileW, with
 * @a fInherit for the inheritable handle; @a fExtraAttributes go to the new
 * file as it is made.
 * @returns the last-error value CreateFileW would have left: on success 0,
 *          or ERROR_ALREADY_EXISTS when CREATE_ALWAYS or OPEN_ALWAYS found
 *          the file; on failure the error (*phFile INVALID_HANDLE_VALUE).
 */
static DWORD rtFileWinCreateNt(RTUTF16 *pwszPath, DWORD dwDesiredAccess, DWORD dwShareMode, bool fInherit,
                               DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes, DWORD fExtraAttributes,
                               HANDLE *phFile)
{
    ULONG fDisposition;
    switch (dwCreationDisposition)
    {
        case CREATE_NEW: fDisposition = FILE_CREATE; break;
        case CREATE_ALWAYS: fDisposition = FILE_OVERWRITE_IF; break;
        case OPEN_ALWAYS: fDisposition = FILE_OPEN_IF; break;
        case TRUNCATE_EXISTING: fDisposition = FILE_OVERWRITE; break;
        default: fDisposition = FILE_OPEN; break;
    }
    ULONG fOptions = FILE_NON_DIRECTORY_FILE;
    if (!(dwFlagsAndAttributes & FILE_FLAG_OVERLAPPED))
        fOptions |= FILE_SYNCHRONOUS_IO_NONALERT;
    if (dwFlagsAndAttributes & FILE_FLAG_WRITE_THROUGH)
        fOptions |= FILE_WRITE_THROUGH;
    if (dwFlagsAndAttributes & FILE_FLAG_NO_BUFFERING)
        fOptions |= FILE_NO_INTERMEDIATE_BUFFERING;
    ULONG_PTR uInformation = 0;
    DWORD const dwErr = rtNtPathWinCreate(pwszPath, dwDesiredAccess | SYNCHRONIZE | FILE_READ_ATTRIBUTES,
                                          OBJ_CASE_INSENSITIVE | (fInherit ? OBJ_INHERIT : 0),
                                          (dwFlagsAndAttributes & 0x7fff) | fExtraAttributes, dwShareMode, fDisposition,
                                          fOptions, phFile, &uInformation);
    if (dwErr != ERROR_SUCCESS)
        return dwErr == ERROR_ALREADY_EXISTS && fDisposition == FILE_CREATE ? ERROR_FILE_EXISTS : dwErr;
    bool const fExisted = uInformation == FILE_OPENED || uInformation == FILE_OVERWRITTEN;
    return fExisted && (fDisposition == FILE_OVERWRITE_IF || fDisposition == FILE_OPEN_IF) ? ERROR_ALREADY_EXISTS
                                                                                           : ERROR_SUCCESS;
}

RTDECL(int) RTFileOpen(RTFILE *phFile, const char *pszFilename, uint64_t fOpen)
{
    return RTFileOpenEx(pszFilename, fOpen, phFile, nullptr);
}

RTDECL(int) RTFileOpenEx(const char *pszFilename, uint64_t fOpen, RTFILE *phFile, RTFILEACTION *penmActionTaken)
{
    int rc = rtFileOpenCheckArgs(pszFilename, &fOpen, phFile, penmActionTaken);
    if (RT_FAILURE(rc))
        return rc;

    DWORD dwCreationDisposition;
    switch (fOpen & RTFOPEN_ACTION_MASK)
    {
        case RTFOPEN_OPEN_CREATE: dwCreationDisposition = OPEN_ALWAYS; break;
        case RTFOPEN_CREATE: dwCreationDisposition = CREATE_NEW; break;
        case RTFOPEN_CREATE_REPLACE: dwCreationDisposition = CREATE_ALWAYS; break;
        default: dwCreationDisposition = fOpen & RTFOPEN_TRUNCATE ? TRUNCATE_EXISTING : OPEN_EXISTING; break;
    }

    DWORD dwDesiredAccess = g_afRtFileWinAccess[fOpen & RTFOPEN_ACCESS_MASK][(fOpen & RTFOPEN_APPEND) ? 1 : 0];
    dwDesiredAccess |= g_afRtFileWinAttrAccess[(fOpen & RTFOPEN_ACCESS_ATTR_MASK) >> 16];
    if (dwCreationDisposition == TRUNCATE_EXISTING)
        dwDesiredAccess |= GENERIC_WRITE; /* TRUNCATE_EXISTING insists on it */

    DWORD dwFlagsAndAttributes = fOpen & RTFOPEN_TEMPORARY ? FILE_ATTRIBUTE_TEMPORARY : FILE_ATTRIBUTE_NORMAL;
    if (fOpen & RTFOPEN_WRITE_THROUGH)
        dwFlagsAndAttributes |= FILE_FLAG_WRITE_THROUGH;
    if (fOpen & RTFOPEN_ASYNC_IO)
        dwFlagsAndAttributes |= FILE_FLAG_OVERLAPPED;
    if (fOpen & RTFOPEN_NO_CACHE)
    {
        /* Unbuffered writes must be sector-aligned, which appending cannot
           promise. */
        dwFlagsAndAttributes |= FILE_FLAG_NO_BUFFERING;
        dwDesiredAccess &= ~FILE_APPEND_DATA;
    }

    SECURITY_ATTRIBUTES SecAttr = {sizeof(SecAttr), nullptr, TRUE};
    RTUTF16 *pwszFilename;
    rc = RTPathToNativeWide(&pwszFilename, pszFilename);
    if (RT_FAILURE(rc))
        return rc;

    DWORD const dwShareMode = g_afRtFileWinShare[(fOpen & RTFOPEN_SHARE_MASK) >> 4];
    HANDLE hFile = g_pRtFileSysCalls->pfnCreateFileW((LPCWSTR)pwszFilename, dwDesiredAccess, dwShareMode,
                                                     fOpen & RTFOPEN_INHERIT ? &SecAttr : nullptr,
                                                     dwCreationDisposition, dwFlagsAndAttributes, nullptr);
    DWORD dwErr = GetLastError();
    /* Past the host's limit on one path SetFileAttributesW could not name
       the file either: it is marked as it is made. */
    DWORD const fNotIndexed = fOpen & RTFOPEN_NOT_CONTENT_INDEXED ? FILE_ATTRIBUTE_NOT_CONTENT_INDEXED : 0;
    bool const fViaNt = hFile == INVALID_HANDLE_VALUE && rtNtPathWinMayRetry(dwErr, pwszFilename);
    if (fViaNt)
        dwErr = rtFileWinCreateNt(pwszFilename, dwDesiredAccess, dwShareMode, (fOpen & RTFOPEN_INHERIT) != 0,
                                  dwCreationDisposition, dwFlagsAndAttributes, fNotIndexed, &hFile);
    if (hFile == INVALID_HANDLE_VALUE)
    {
        RTPathFreeNativeWide(pwszFilename);
        if (penmActionTaken && dwCreationDisposition == CREATE_NEW && dwErr == ERROR_FILE_EXISTS)
            *penmActionTaken = RTFILEACTION_ALREADY_EXISTS;
        return RTErrConvertFromWin32(dwErr);
    }

    RTFILEACTION enmAction;
    switch (dwCreationDisposition)
    {
        case CREATE_NEW: enmAction = RTFILEACTION_CREATED; break;
        case CREATE_ALWAYS:
            enmAction = dwErr == ERROR_ALREADY_EXISTS ? RTFILEACTION_REPLACED : RTFILEACTION_CREATED;
            break;
        case OPEN_ALWAYS: enmAction = dwErr == ERROR_ALREADY_EXISTS ? RTFILEACTION_OPENED : RTFILEACTION_CREATED; break;
        case TRUNCATE_EXISTING: enmAction = RTFILEACTION_TRUNCATED; break;
        default: enmAction = RTFILEACTION_OPENED; break;
    }

    /* CreateFileW has no way to set these in the same step. */
    bool fOk = true;
    if (fNotIndexed && !fViaNt && (enmAction == RTFILEACTION_CREATED || enmAction == RTFILEACTION_REPLACED))
        fOk = SetFileAttributesW((LPCWSTR)pwszFilename, FILE_ATTRIBUTE_NOT_CONTENT_INDEXED) != FALSE;
    else if ((fOpen & RTFOPEN_ACTION_MASK) == RTFOPEN_OPEN_CREATE && (fOpen & RTFOPEN_TRUNCATE) &&
             enmAction == RTFILEACTION_OPENED)
    {
        fOk = SetEndOfFile(hFile) != FALSE;
        enmAction = RTFILEACTION_TRUNCATED;
    }
    DWORD const dwErrFixup = GetLastError();
    RTPathFreeNativeWide(pwszFilename);
    if (penmActionTaken)
        *penmActionTaken = enmAction;
    if (!fOk)
    {
        CloseHandle(hFile);
        return RTErrConvertFromWin32(dwErrFixup);
    }
    *phFile = (RTFILE)hFile;
    return SUCCESS;
}

RTDECL(int) RTFileClose(RTFILE hFile)
{
    if (hFile == NIL_RTFILE)
        return SUCCESS;
    if (!g_pRtFileSysCalls->pfnCloseHandle((HANDLE)hFile))
        return RTErrConvertFromWin32(GetLastError());
    return SUCCESS;
}

/** Largest transfer handed to one ReadFile/WriteFile call (their sizes are
 *  32-bit); bigger requests take several calls. */
static DWORD rtFileWinClampIo(size_t cb)
{
    return cb > UINT32_C(0x40000000) ? UINT32_C(0x40000000) : (DWORD)cb;
}

/** First piece size after ERROR_NOT_ENOUGH_MEMORY: half the request,
 *  rounded up to 256 bytes, at most @a cbMax. The error comes from the
 *  kernel's non-paged pool (pipes, network redirectors, very large
 *  transfers), so smaller pieces usually go through. */
static size_t rtFileWinFirstPiece(size_t cb, size_t cbMax)
{
    size_t const cbPiece = (cb / 2 + 255) & ~(size_t)255;
    return cbPiece < cbMax ? cbPiece : cbMax;
}

/** Reads in shrinking pieces after ERROR_NOT_ENOUGH_MEMORY. */
static int rtFileWinReadPiecewise(HANDLE hFile, uint8_t *pbBuf, size_t cbToRead, size_t *pcbRead)
{
    size_t cbPiece = rtFileWinFirstPiece(cbToRead, 16384);
    size_t off = 0;
    while (off < cbToRead)
    {
        DWORD cbThis = (DWORD)(cbToRead - off < cbPiece ? cbToRead - off : cbPiece);
        DWORD cbRead = 0;
        if (!g_pRtFileSysCalls->pfnReadFile(hFile, pbBuf + off, cbThis, &cbRead, nullptr))
        {
            DWORD const dwErr = GetLastError();
            if (dwErr == ERROR_NOT_ENOUGH_MEMORY && cbPiece > 8)
            {
                cbPiece /= 2;
                continue;
            }
            return RTErrConvertFromWin32(dwErr);
        }
        if (pcbRead)
        {
            *pcbRead = off + cbRead;
            return SUCCESS;
        }
        if (cbRead == 0)
            return ERR_EOF;
        off += cbRead;
    }
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
    HANDLE const hNative = (HANDLE)hFile;
    uint8_t *pbBuf = (uint8_t *)pvBuf;
    DWORD cbRead = 0;
    if (!g_pRtFileSysCalls->pfnReadFile(hNative, pbBuf, rtFileWinClampIo(cbToRead), &cbRead, nullptr))
    {
        DWORD const dwErr = GetLastError();
        if (dwErr == ERROR_NOT_ENOUGH_MEMORY)
            return rtFileWinReadPiecewise(hNative, pbBuf, cbToRead, pcbRead);
        return RTErrConvertFromWin32(dwErr);
    }
    if (pcbRead)
    {
        *pcbRead = cbRead;
        return SUCCESS;
    }
    size_t off = cbRead;
    while (off < cbToRead)
    {
        if (!g_pRtFileSysCalls->pfnReadFile(hNative, pbBuf + off, rtFileWinClampIo(cbToRead - off), &cbRead, nullptr))
            return RTErrConvertFromWin32(GetLastError());
        if (cbRead == 0)
            return ERR_EOF;
        off += cbRead;
    }
    return SUCCESS;
}

/** Converts a failed write's error; a full disk may really be the file
 *  system's size limit, which would not go away by freeing space. */
static int rtFileWinWriteFailed(RTFILE hFile, DWORD dwErr, size_t cbLeft)
{
    int const rc = RTErrConvertFromWin32(dwErr);
    return rc == ERR_DISK_FULL ? rtFileDiskFullOrTooBig(hFile, cbLeft) : rc;
}

/** Writes in shrinking pieces after ERROR_NOT_ENOUGH_MEMORY. */
static int rtFileWinWritePiecewise(RTFILE hFile, const uint8_t *pbBuf, size_t cbToWrite, size_t *pcbWritten)
{
    size_t cbPiece = rtFileWinFirstPiece(cbToWrite, 32768);
    size_t off = 0;
    while (off < cbToWrite)
    {
        DWORD cbThis = (DWORD)(cbToWrite - off < cbPiece ? cbToWrite - off : cbPiece);
        DWORD cbWritten = 0;
        if (!g_pRtFileSysCalls->pfnWriteFile((HANDLE)hFile, pbBuf + off, cbThis, &cbWritten, nullptr))
        {
            DWORD const dwErr = GetLastError();
            if (dwErr == ERROR_NOT_ENOUGH_MEMORY && cbPiece > 8)
            {
                cbPiece /= 2;
                continue;
            }
            return rtFileWinWriteFailed(hFile, dwErr, cbToWrite - off);
        }
        if (pcbWritten)
        {
            *pcbWritten = off + cbWritten;
            return SUCCESS;
        }
        if (cbWritten == 0)
            return ERR_WRITE_ERROR;
        off += cbWritten;
    }
    return SUCCESS;
}

RTDECL(int) RTFileWrite(RTFILE hFile, const void *pvBuf, size_t cbToWrite, size_t *pcbWritten)
{
    if (cbToWrite == 0)
        return SUCCESS;
    const uint8_t *pbBuf = (const uint8_t *)pvBuf;
    DWORD cbWritten = 0;
    if (!g_pRtFileSysCalls->pfnWriteFile((HANDLE)hFile, pbBuf, rtFileWinClampIo(cbToWrite), &cbWritten, nullptr))
    {
        DWORD const dwErr = GetLastError();
        if (dwErr == ERROR_NOT_ENOUGH_MEMORY)
            return rtFileWinWritePiecewise(hFile, pbBuf, cbToWrite, pcbWritten);
        return rtFileWinWriteFailed(hFile, dwErr, cbToWrite);
    }
    if (pcbWritten)
    {
        *pcbWritten = cbWritten < cbToWrite ? cbWritten : cbToWrite;
        return SUCCESS;
    }
    size_t off = cbWritten;
    while (off < cbToWrite)
    {
        if (!g_pRtFileSysCalls->pfnWriteFile((HANDLE)hFile, pbBuf + off, rtFileWinClampIo(cbToWrite - off), &cbWritten,
                                             nullptr))
            return rtFileWinWriteFailed(hFile, GetLastError(), cbToWrite - off);
        if (cbWritten == 0)
            return ERR_WRITE_ERROR;
        off += cbWritten;
    }
    return SUCCESS;
}

RTDECL(int) RTFileSeek(RTFILE hFile, int64_t offSeek, unsigned uMethod, uint64_t *poffActual)
{
    /* The method values are FILE_BEGIN, FILE_CURRENT and FILE_END. */
    if (uMethod > RTFILE_SEEK_END)
        return ERR_INVALID_PARAMETER;
    LONG lHigh = (LONG)(offSeek >> 32);
    SetLastError(NO_ERROR);
    DWORD const dwLow = SetFilePointer((HANDLE)hFile, (LONG)(uint32_t)offSeek, &lHigh, uMethod);
    if (dwLow == INVALID_SET_FILE_POINTER)
    {
        /* All ones is also a valid low half of a position. */
        DWORD const dwErr = GetLastError();
        if (dwErr != NO_ERROR)
            return RTErrConvertFromWin32(dwErr);
    }
    if (poffActual)
        *poffActual = ((uint64_t)(uint32_t)lHigh << 32) | dwLow;
    return SUCCESS;
}

/** Size of a disk device opened as a file (\\.\PhysicalDriveN, \\.\C:),
 *  for which GetFileSize fails. */
static bool rtFileWinQueryDiskSize(HANDLE hFile, uint64_t *pcbSize)
{
    DISK_GEOMETRY Geometry;
    DWORD cbReturned;
    if (!DeviceIoControl(hFile, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &Geometry, sizeof(Geometry), &cbReturned,
                         nullptr) ||
        (Geometry.MediaType != FixedMedia && Geometry.MediaType != RemovableMedia))
        return false;
    *pcbSize = (uint64_t)Geometry.Cylinders.QuadPart * Geometry.TracksPerCylinder * Geometry.SectorsPerTrack *
               Geometry.BytesPerSector;
    /* The geometry rounds down to whole cylinders; the length is exact. */
    GET_LENGTH_INFORMATION LengthInfo;
    if (DeviceIoControl(hFile, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &LengthInfo, sizeof(LengthInfo), &cbReturned,
                        nullptr))
        *pcbSize = (uint64_t)LengthInfo.Length.QuadPart;
    return true;
}

RTDECL(int) RTFileGetSize(RTFILE hFile, uint64_t *pcbSize)
{
    if (!RT_VALID_PTR(pcbSize))
        return ERR_INVALID_POINTER;
    DWORD dwHigh = 0;
    SetLastError(NO_ERROR);
    DWORD const dwLow = GetFileSize((HANDLE)hFile, &dwHigh);
    if (dwLow == INVALID_FILE_SIZE)
    {
        DWORD const dwErr = GetLastError();
        if (dwErr != NO_ERROR)
        {
            if (rtFileWinQueryDiskSize((HANDLE)hFile, pcbSize))
                return SUCCESS;
            return RTErrConvertFromWin32(dwErr);
        }
    }
    *pcbSize = ((uint64_t)dwHigh << 32) | dwLow;
    return SUCCESS;
}

RTDECL(int) RTFileFlush(RTFILE hFile)
{
    if (!FlushFileBuffers((HANDLE)hFile))
        return RTErrConvertFromWin32(GetLastError());
    return SUCCESS;
}

RTDECL(bool) RTFileIsValid(RTFILE hFile)
{
    if (hFile == NIL_RTFILE)
        return false;
    SetLastError(NO_ERROR);
    switch (GetFileType((HANDLE)hFile))
    {
        case FILE_TYPE_DISK:
        case FILE_TYPE_CHAR:
        case FILE_TYPE_PIPE:
        case FILE_TYPE_REMOTE: return true;
        /* Unknown is also the answer for a valid handle of an unusual kind;
           only an error says the handle is bad. */
        case FILE_TYPE_UNKNOWN: return GetLastError() == NO_ERROR;
        default: return false;
    }
}

RTDECL(int) RTFileQueryFsType(RTFILE hFile, RTFSTYPE *penmType)
{
    if (!RT_VALID_PTR(penmType))
        return ERR_INVALID_POINTER;
    *penmType = RTFSTYPE_UNKNOWN;
    union {
        FILE_FS_ATTRIBUTE_INFORMATION Info;
        uint8_t ab[sizeof(FILE_FS_ATTRIBUTE_INFORMATION) + 64 * sizeof(WCHAR)];
    } u;
    IO_STATUS_BLOCK Ios;
    NTSTATUS const rcNt = g_pRtFileSysCalls->pfnNtQueryVolumeInformationFile((HANDLE)hFile, &Ios, &u, sizeof(u),
                                                                             FileFsAttributeInformation);
    if (!NT_SUCCESS(rcNt))
        return RTErrConvertFromNtStatus(rcNt);

    static const struct
    {
        const WCHAR *pwszName;
        RTFSTYPE enmType;
    } s_aNames[] = {
        {L"NTFS", RTFSTYPE_NTFS},   {L"FAT", RTFSTYPE_FAT},   {L"FAT32", RTFSTYPE_FAT},
        {L"exFAT", RTFSTYPE_EXFAT}, {L"UDF", RTFSTYPE_UDF},   {L"CDFS", RTFSTYPE_ISO9660},
        {L"HPFS", RTFSTYPE_HPFS},   {L"ReFS", RTFSTYPE_REFS}, {L"QuorSharedFolderFS", RTFSTYPE_QUORSF},
    };
    size_t const cwcName = u.Info.FileSystemNameLength / sizeof(WCHAR);
    for (const auto &Name : s_aNames)
        if (wcslen(Name.pwszName) == cwcName && !memcmp(Name.pwszName, u.Info.FileSystemName, cwcName * sizeof(WCHAR)))
        {
            *penmType = Name.enmType;
            break;
        }
    return SUCCESS;
}
