/** @file
 * Windows-side driver of the end-to-end tests: runs a program with its
 * standard output and error captured into files and prints the program's
 * full 32-bit exit code (Wine hands only its low 8 bits to Linux).
 *
 * Usage: e2e-driver STDOUT-FILE STDERR-FILE PROGRAM [ARG...]
 * Prints "exit=<code>" and a line feed; exits 0, or 100 when it could not
 * run the program.
 */
#include <windows.h>

#include <stdio.h>
#include <string>

/** Appends @a pwszArg quoted by the rules the C runtime splits by. */
static void appendQuoted(std::wstring &CmdLine, const wchar_t *pwszArg)
{
    if (!CmdLine.empty())
        CmdLine += L' ';
    if (*pwszArg && !wcspbrk(pwszArg, L" \t\n\v\""))
    {
        CmdLine += pwszArg;
        return;
    }
    CmdLine += L'"';
    for (const wchar_t *pwc = pwszArg;; pwc++)
    {
        size_t cBackslashes = 0;
        while (*pwc == L'\\')
        {
            pwc++;
            cBackslashes++;
        }
        if (!*pwc)
        {
            CmdLine.append(cBackslashes * 2, L'\\');
            break;
        }
        if (*pwc == L'"')
            CmdLine.append(cBackslashes * 2 + 1, L'\\');
        else
            CmdLine.append(cBackslashes, L'\\');
        CmdLine += *pwc;
    }
    CmdLine += L'"';
}

static HANDLE createCapture(const wchar_t *pwszPath)
{
    SECURITY_ATTRIBUTES Sa = {sizeof(Sa), NULL, TRUE};
    return CreateFileW(pwszPath, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &Sa, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, NULL);
}

int wmain(int argc, wchar_t **argv)
{
    if (argc < 4)
    {
        fprintf(stderr, "usage: e2e-driver STDOUT-FILE STDERR-FILE PROGRAM [ARG...]\n");
        return 100;
    }
    std::wstring CmdLine;
    for (int i = 3; i < argc; i++)
        appendQuoted(CmdLine, argv[i]);

    HANDLE hOut = createCapture(argv[1]);
    HANDLE hErr = createCapture(argv[2]);
    if (hOut == INVALID_HANDLE_VALUE || hErr == INVALID_HANDLE_VALUE)
    {
        fprintf(stderr, "e2e-driver: cannot create the capture files: %lu\n", GetLastError());
        return 100;
    }
    STARTUPINFOW Si = {};
    Si.cb = sizeof(Si);
    Si.dwFlags = STARTF_USESTDHANDLES;
    Si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    Si.hStdOutput = hOut;
    Si.hStdError = hErr;
    PROCESS_INFORMATION Pi;
    if (!CreateProcessW(argv[3], &CmdLine[0], NULL, NULL, TRUE, 0, NULL, NULL, &Si, &Pi))
    {
        fprintf(stderr, "e2e-driver: CreateProcessW failed: %lu\n", GetLastError());
        return 100;
    }
    CloseHandle(hOut);
    CloseHandle(hErr);
    printf("pid=%lu\n", Pi.dwProcessId);
    fflush(stdout);
    WaitForSingleObject(Pi.hProcess, INFINITE);
    DWORD dwExit = 0;
    GetExitCodeProcess(Pi.hProcess, &dwExit);
    printf("exit=%lu\n", dwExit);
    return 0;
}
