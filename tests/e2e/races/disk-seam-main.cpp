/** @file
 * main of the launcher the full-disk test falls back on where it cannot
 * mount a small file system: the launcher itself, with the file layer's
 * writes into the temporary directory limited as a full disk would limit
 * them.
 *
 * With ZOLT_E2E_DISK_ROOM set to a byte count, writes through the file
 * layer to files below ZOLT_TMPDIR together store at most that many bytes:
 * the write that would go beyond stores what still fits and then fails with
 * ERROR_DISK_FULL, as a disk that fills up in the middle of a write does.
 * Other files (the standard streams redirected to files) are written as
 * usual.
 */
#include <windows.h>

#include "internal/fileio.h"
#include "run.h"

/** Bytes the "disk" still takes. */
static uint64_t g_cbSeamRoom;
/** ZOLT_TMPDIR as the file system names it ("\\?\Z:\..."). */
static wchar_t g_wszSeamDir[1024];

/** True when @a hFile is a file below the temporary directory. */
static bool seamOnSmallDisk(HANDLE hFile)
{
    wchar_t wszPath[1024];
    DWORD cwc = GetFinalPathNameByHandleW(hFile, wszPath, 1024, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    int const cwcDir = lstrlenW(g_wszSeamDir);
    return cwc > (DWORD)cwcDir && cwc < 1024 && wszPath[cwcDir] == L'\\' &&
           CompareStringOrdinal(wszPath, cwcDir, g_wszSeamDir, cwcDir, TRUE) == CSTR_EQUAL;
}

static BOOL WINAPI seamWriteFile(HANDLE hFile, LPCVOID pvBuf, DWORD cbToWrite, LPDWORD pcbWritten,
                                 LPOVERLAPPED pOverlapped)
{
    if (!seamOnSmallDisk(hFile))
        return WriteFile(hFile, pvBuf, cbToWrite, pcbWritten, pOverlapped);
    DWORD const cbFits = cbToWrite <= g_cbSeamRoom ? cbToWrite : (DWORD)g_cbSeamRoom;
    DWORD cbWritten = 0;
    if (cbFits && !WriteFile(hFile, pvBuf, cbFits, &cbWritten, pOverlapped))
        return FALSE;
    g_cbSeamRoom -= cbWritten;
    if (pcbWritten)
        *pcbWritten = cbWritten;
    if (cbWritten < cbToWrite)
    {
        SetLastError(ERROR_DISK_FULL);
        return FALSE;
    }
    return TRUE;
}

int main(int cArgs, char **papszArgs)
{
    static RTFILESYSCALLS s_SeamSysCalls;
    wchar_t wszRoom[32], wszDir[1000];
    DWORD cwcRoom = GetEnvironmentVariableW(L"ZOLT_E2E_DISK_ROOM", wszRoom, 32);
    DWORD cwcDir = GetEnvironmentVariableW(L"ZOLT_TMPDIR", wszDir, 1000);
    if (cwcRoom > 0 && cwcRoom < 32 && cwcDir > 0 && cwcDir < 1000)
    {
        for (const wchar_t *pwc = wszRoom; *pwc >= L'0' && *pwc <= L'9'; pwc++)
            g_cbSeamRoom = g_cbSeamRoom * 10 + (uint64_t)(*pwc - L'0');
        /* The form GetFinalPathNameByHandleW gives: long path prefix, no
           trailing separator. */
        lstrcpyW(g_wszSeamDir, L"\\\\?\\");
        lstrcatW(g_wszSeamDir, wszDir);
        int cwc = lstrlenW(g_wszSeamDir);
        while (cwc > 4 && (g_wszSeamDir[cwc - 1] == L'\\' || g_wszSeamDir[cwc - 1] == L'/'))
            g_wszSeamDir[--cwc] = L'\0';
        s_SeamSysCalls = g_rtFileHostSysCalls;
        s_SeamSysCalls.pfnWriteFile = seamWriteFile;
        rtFileSetSysCalls(&s_SeamSysCalls);
    }
    return StubMain(cArgs, papszArgs);
}
