/* Prints the argument vector that the C runtime's start-up made of this
   process's command line: one line per argument, the UTF-16 units as
   4-digit hexadecimal numbers, written raw to standard output. */
#include <windows.h>

#include <stdio.h>

int wmain(int cArgs, wchar_t **papwszArgs)
{
    HANDLE hOut = GetStdHandle(STD_OUTPUT_HANDLE);
    for (int i = 0; i < cArgs; i++)
    {
        char szLine[8192];
        size_t off = 0;
        for (const wchar_t *pwc = papwszArgs[i]; *pwc && off + 5 < sizeof(szLine); pwc++)
            off += (size_t)snprintf(&szLine[off], sizeof(szLine) - off, "%04x", (unsigned)*pwc);
        szLine[off++] = '\n';
        DWORD cbWritten;
        WriteFile(hOut, szLine, (DWORD)off, &cbWritten, nullptr);
    }
    return 0;
}
