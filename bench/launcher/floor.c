/* The floor of the extraction benchmark: the least a program can do to put
 * the launcher's packages on disk as the launcher does. Each package, one of
 * this program's own resources (mapped from the page-aligned image), is
 * written into a new file and read back in 64 KiB blocks, compared with the
 * resource. No file identity or size checks, no cleanup records, no
 * directory checks.
 *
 * Usage: bench-floor.exe <directory>   (created when missing)
 * Exit code 0 on success, 1 on any failure. */
#include <windows.h>

#include <string.h>
#include <wchar.h>

#define BLOCK_SIZE 65536

static BYTE g_abBlock[BLOCK_SIZE];

static int writeAndReadBack(const WCHAR *pwszDir, int idResource)
{
    HRSRC hRsrc = FindResourceW(NULL, MAKEINTRESOURCEW(idResource), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    HGLOBAL hData = hRsrc ? LoadResource(NULL, hRsrc) : NULL;
    const BYTE *pbData = hData ? (const BYTE *)LockResource(hData) : NULL;
    DWORD const cbData = hRsrc ? SizeofResource(NULL, hRsrc) : 0;
    if (!pbData || !cbData)
        return 1;

    WCHAR wszPath[MAX_PATH];
    wsprintfW(wszPath, L"%s\\package-%d.bin", pwszDir, idResource);
    HANDLE hFile = CreateFileW(wszPath, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return 1;
    DWORD cbWritten = 0;
    BOOL fOk = WriteFile(hFile, pbData, cbData, &cbWritten, NULL) && cbWritten == cbData;
    CloseHandle(hFile);
    if (!fOk)
        return 1;

    hFile = CreateFileW(wszPath, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return 1;
    for (DWORD off = 0; fOk && off < cbData; off += BLOCK_SIZE)
    {
        DWORD const cbBlock = cbData - off < BLOCK_SIZE ? cbData - off : BLOCK_SIZE;
        DWORD cbRead = 0;
        fOk = ReadFile(hFile, g_abBlock, cbBlock, &cbRead, NULL) && cbRead == cbBlock &&
              memcmp(g_abBlock, pbData + off, cbBlock) == 0;
    }
    CloseHandle(hFile);
    return fOk ? 0 : 1;
}

/* The directory: the command line after the program's name, without
   quotes. (CommandLineToArgvW would load shell32, which the launcher does
   not load for an extraction.) */
static WCHAR *directoryArgument(void)
{
    WCHAR *pwsz = GetCommandLineW();
    if (*pwsz == L'"')
    {
        pwsz = wcschr(pwsz + 1, L'"');
        if (!pwsz)
            return NULL;
        pwsz++;
    }
    else
        while (*pwsz && *pwsz != L' ' && *pwsz != L'\t')
            pwsz++;
    while (*pwsz == L' ' || *pwsz == L'\t')
        pwsz++;
    if (*pwsz == L'"')
    {
        pwsz++;
        WCHAR *pwszEnd = wcschr(pwsz, L'"');
        if (pwszEnd)
            *pwszEnd = L'\0';
    }
    return *pwsz ? pwsz : NULL;
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR pszCmdLine, int nShowCmd)
{
    (void)hInstance;
    (void)hPrevInstance;
    (void)pszCmdLine;
    (void)nShowCmd;
    WCHAR *pwszDir = directoryArgument();
    if (!pwszDir)
        return 1;
    CreateDirectoryW(pwszDir, NULL);
    for (int id = 1; id <= 3; id++)
        if (writeAndReadBack(pwszDir, id) != 0)
            return 1;
    return 0;
}
