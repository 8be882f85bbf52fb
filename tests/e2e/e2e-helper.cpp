/** @file
 * Windows-side helper processes of the end-to-end tests: they hold what a
 * competing program would hold (file sharing is enforced only between Wine
 * processes, so these must be Wine processes, not Linux ones).
 *
 *  hold-mutex NAME READY RELEASE     own the named mutex until RELEASE exists
 *  hold-open PATH MODE READY RELEASE keep PATH open until RELEASE exists;
 *                                    MODE "write": write access, sharing
 *                                    read and write; "nodelete": read
 *                                    access, sharing read and write only
 *  poke PATH OFFSET                  invert the byte at OFFSET
 *  append PATH TEXT                  append TEXT (its UTF-16 units' low
 *                                    bytes) at the end of PATH
 *  box-text TITLE                    print the text of the message box
 *                                    captioned TITLE (UTF-8): its "Static"
 *                                    controls' texts, one per line
 *
 * READY is created once the object is held. Exits 0, or 1 with a message.
 */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

static void touch(const wchar_t *pwszPath)
{
    HANDLE h = CreateFileW(pwszPath, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (h != INVALID_HANDLE_VALUE)
        CloseHandle(h);
}

/** Waits (at most two minutes) until @a pwszPath exists. */
static void waitFor(const wchar_t *pwszPath)
{
    for (int i = 0; i < 6000 && GetFileAttributesW(pwszPath) == INVALID_FILE_ATTRIBUTES; i++)
        Sleep(20);
}

/** Writes @a pwsz to standard output as UTF-8. */
static void printUtf8(const wchar_t *pwsz)
{
    int cb = WideCharToMultiByte(CP_UTF8, 0, pwsz, -1, NULL, 0, NULL, NULL);
    char *psz = (char *)malloc(cb);
    if (!psz)
        return;
    WideCharToMultiByte(CP_UTF8, 0, pwsz, -1, psz, cb, NULL, NULL);
    fwrite(psz, 1, strlen(psz), stdout);
    free(psz);
}

/** EnumChildWindows callback: prints the text of each "Static" control
 *  that has one (the box's icon is a Static control without text). */
static BOOL CALLBACK printStaticText(HWND hWnd, LPARAM)
{
    wchar_t wszClass[32];
    if (!GetClassNameW(hWnd, wszClass, 32) || _wcsicmp(wszClass, L"Static"))
        return TRUE;
    int cwc = GetWindowTextLengthW(hWnd);
    if (cwc <= 0)
        return TRUE;
    wchar_t *pwsz = (wchar_t *)calloc(cwc + 1, sizeof(wchar_t));
    if (pwsz && GetWindowTextW(hWnd, pwsz, cwc + 1) > 0)
    {
        printUtf8(pwsz);
        fputc('\n', stdout);
    }
    free(pwsz);
    return TRUE;
}

static int fail(const char *pszWhat)
{
    fprintf(stderr, "e2e-helper: %s failed: %lu\n", pszWhat, GetLastError());
    return 1;
}

int wmain(int argc, wchar_t **argv)
{
    if (argc == 5 && !wcscmp(argv[1], L"hold-mutex"))
    {
        HANDLE h = CreateMutexW(NULL, TRUE, argv[2]);
        if (!h)
            return fail("CreateMutexW");
        touch(argv[3]);
        waitFor(argv[4]);
        CloseHandle(h);
        return 0;
    }
    if (argc == 6 && !wcscmp(argv[1], L"hold-open"))
    {
        bool fWrite = !wcscmp(argv[3], L"write");
        HANDLE h = CreateFileW(argv[2], fWrite ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
        if (h == INVALID_HANDLE_VALUE)
            return fail("CreateFileW");
        touch(argv[4]);
        waitFor(argv[5]);
        CloseHandle(h);
        return 0;
    }
    if (argc == 4 && !wcscmp(argv[1], L"poke"))
    {
        HANDLE h = CreateFileW(argv[2], GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
        if (h == INVALID_HANDLE_VALUE)
            return fail("CreateFileW");
        LARGE_INTEGER off;
        off.QuadPart = _wtoi64(argv[3]);
        BYTE b = 0;
        DWORD cb = 0;
        if (!SetFilePointerEx(h, off, NULL, FILE_BEGIN) || !ReadFile(h, &b, 1, &cb, NULL) || cb != 1)
            return fail("reading the byte");
        b = (BYTE)~b;
        if (!SetFilePointerEx(h, off, NULL, FILE_BEGIN) || !WriteFile(h, &b, 1, &cb, NULL) || cb != 1)
            return fail("writing the byte");
        CloseHandle(h);
        return 0;
    }
    if (argc == 4 && !wcscmp(argv[1], L"append"))
    {
        HANDLE h = CreateFileW(argv[2], FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, NULL);
        if (h == INVALID_HANDLE_VALUE)
            return fail("CreateFileW");
        for (const wchar_t *pwc = argv[3]; *pwc; pwc++)
        {
            BYTE b = (BYTE)*pwc;
            DWORD cb = 0;
            if (!WriteFile(h, &b, 1, &cb, NULL) || cb != 1)
                return fail("appending");
        }
        CloseHandle(h);
        return 0;
    }
    if (argc == 3 && !wcscmp(argv[1], L"box-text"))
    {
        /* A message box is a dialog (class "#32770"); its text is a child
           "Static" control. */
        HWND hBox = FindWindowW(L"#32770", argv[2]);
        if (!hBox)
            return fail("FindWindowW");
        EnumChildWindows(hBox, printStaticText, 0);
        return 0;
    }
    fprintf(stderr, "usage: see e2e-helper.cpp\n");
    return 1;
}
