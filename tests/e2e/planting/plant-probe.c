/** @file
 * The positive control of the planting tests: a program that loads DLLs
 * the naive way, LoadLibraryW with a bare name and the platform's default
 * search order (its own directory, the system directories, the current
 * directory, PATH). Planted marker DLLs must be seen here, or the test's
 * method would let the launcher pass for the wrong reason.
 *
 * Usage: plant-probe NAME...
 * Prints one line per name: "NAME preloaded" when the process had it before
 * the call (the call would only return that module), "NAME loaded PATH" or
 * "NAME failed ERROR". Exits 0.
 *
 * It imports kernel32 alone and needs no C runtime: a planted msvcrt.dll
 * beside it must not be what it runs on.
 */
#include <windows.h>

/** The output buffer: static, since a stack frame this large would need
 *  the compiler's stack probe from its runtime library. */
static char g_szUtf8[4096];

static void writeOut(const WCHAR *pwsz, size_t cwc)
{
    int cb = WideCharToMultiByte(CP_UTF8, 0, pwsz, (int)cwc, g_szUtf8, sizeof(g_szUtf8), NULL, NULL);
    DWORD cbWritten;
    if (cb > 0)
        WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), g_szUtf8, (DWORD)cb, &cbWritten, NULL);
}

static void writeOutZ(const WCHAR *pwsz)
{
    writeOut(pwsz, (size_t)lstrlenW(pwsz));
}

static void probe(const WCHAR *pwszName)
{
    writeOutZ(pwszName);
    if (GetModuleHandleW(pwszName))
    {
        writeOutZ(L" preloaded\n");
        return;
    }
    HMODULE hMod = LoadLibraryW(pwszName);
    if (!hMod)
    {
        DWORD dwErr = GetLastError();
        WCHAR wszErr[16];
        size_t i = RTL_NUMBER_OF(wszErr);
        wszErr[--i] = L'\n';
        do
            wszErr[--i] = (WCHAR)(L'0' + dwErr % 10);
        while ((dwErr /= 10) != 0);
        writeOutZ(L" failed ");
        writeOut(&wszErr[i], RTL_NUMBER_OF(wszErr) - i);
        return;
    }
    WCHAR wszPath[MAX_PATH];
    DWORD cwc = GetModuleFileNameW(hMod, wszPath, MAX_PATH);
    writeOutZ(L" loaded ");
    writeOut(wszPath, cwc);
    writeOutZ(L"\n");
}

void __stdcall ProbeMain(void)
{
    /* The names are plain DLL names: split at blanks, skipping the program
       name (quoted or not). */
    WCHAR *pwsz = GetCommandLineW();
    if (*pwsz == L'"')
    {
        pwsz++;
        while (*pwsz && *pwsz != L'"')
            pwsz++;
        if (*pwsz)
            pwsz++;
    }
    else
        while (*pwsz && *pwsz != L' ' && *pwsz != L'\t')
            pwsz++;
    for (;;)
    {
        while (*pwsz == L' ' || *pwsz == L'\t')
            pwsz++;
        if (!*pwsz)
            break;
        WCHAR *pwszName = pwsz;
        while (*pwsz && *pwsz != L' ' && *pwsz != L'\t')
            pwsz++;
        WCHAR const wcEnd = *pwsz;
        *pwsz = 0;
        probe(pwszName);
        *pwsz = wcEnd;
    }
    ExitProcess(0);
}
