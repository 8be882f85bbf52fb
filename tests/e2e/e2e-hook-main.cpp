/** @file
 * main of the launchers built for the tampering, cleanup and splash tests:
 * the launcher itself (its test build, with the hooks of testhooks.h), plus
 * a pause between writing each package and verifying it, so a test can act
 * on the file at that moment.
 *
 * With ZOLT_E2E_HOOK_DIR set, the pause creates "<dir>\hook-<index>.ready"
 * holding the file's path and waits (at most two minutes) until
 * "<dir>\hook-<index>.go" exists. With ZOLT_E2E_CONSOLE_FILE set, a verbose
 * run writes its console output to that file instead of a console of its
 * own. Without them the launcher runs as usual.
 */
#include <windows.h>

#include <zolt/strformat.h>

#include "run.h"
#include "testhooks.h"

static bool e2eFileExists(const char *pszPath)
{
    return GetFileAttributesA(pszPath) != INVALID_FILE_ATTRIBUTES;
}

static void e2eExtractHook(const char *pszTargetPath, unsigned iPackage)
{
    char szDir[1024];
    DWORD cch = GetEnvironmentVariableA("ZOLT_E2E_HOOK_DIR", szDir, sizeof(szDir));
    if (cch == 0 || cch >= sizeof(szDir))
        return;

    char szReady[1200], szGo[1200], szTemp[1200];
    RTStrPrintf(szReady, sizeof(szReady), "%s\\hook-%u.ready", szDir, iPackage);
    RTStrPrintf(szTemp, sizeof(szTemp), "%s\\hook-%u.tmp", szDir, iPackage);
    RTStrPrintf(szGo, sizeof(szGo), "%s\\hook-%u.go", szDir, iPackage);

    /* Written under another name and renamed, so the test never reads a
       half-written path. */
    HANDLE h = CreateFileA(szTemp, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return;
    DWORD cbWritten = 0;
    WriteFile(h, pszTargetPath, (DWORD)lstrlenA(pszTargetPath), &cbWritten, NULL);
    CloseHandle(h);
    MoveFileExA(szTemp, szReady, MOVEFILE_REPLACE_EXISTING);

    for (int i = 0; i < 6000 && !e2eFileExists(szGo); i++)
        Sleep(20);
}

int main(int cArgs, char **papszArgs)
{
    g_pfnStubExtractTestHook = e2eExtractHook;
    /* Wine cannot give a GUI child of a console process a console of its
       own (AllocConsole fails with ERROR_ACCESS_DENIED). */
    static char s_szConsoleFile[1024];
    DWORD cch = GetEnvironmentVariableA("ZOLT_E2E_CONSOLE_FILE", s_szConsoleFile, sizeof(s_szConsoleFile));
    if (cch != 0 && cch < sizeof(s_szConsoleFile))
        g_pszStubTestConsoleFile = s_szConsoleFile;
    return StubMain(cArgs, papszArgs);
}
