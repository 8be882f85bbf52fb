/* Started by the runtime's own entry point (RTNoCrtExeStartup), like the
   launcher. argv[1] picks what it does; everything it reports goes raw to
   the standard output handle unless a mode says otherwise.
     args          each argument, argv[0] included, as hexadecimal UTF-8 bytes,
                   one per line
     exit N        returns N from main
     order         reports which static initialisers ran, registers at-exit
                   callbacks, returns; the callbacks, static destructors and
                   terminators then report in the order they run
     stream        initialises the runtime, prints two lines with RTPrintf
                   around a raw write, returns
     init FLAGS    initialises the runtime with FLAGS and reports what it
                   found; an error message goes to standard error
     crash         initialises the runtime and dereferences a null pointer
   The environment variable NOCRT_CHILD_XI makes the .CRT$XI initialiser
   return its value, which must end the process before main. */
#include <windows.h>

#include <zolt/err.h>
#include <zolt/initterm.h>
#include <zolt/message.h>
#include <zolt/nocrt.h>
#include <zolt/stream.h>
#include <zolt/strtonum.h>

#include <stdlib.h>
#include <string.h>

#include "internal/init-win.h"

namespace
{

void emit(const char *psz)
{
    DWORD cbWritten;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), psz, (DWORD)strlen(psz), &cbWritten, nullptr);
}

bool g_fCtorRan, g_fXiRan, g_fXcRan;
/** Set by the "order" mode: the exit-time hooks below report then. */
bool g_fReportExit;

/** A static object: its constructor runs at start-up, its destructor at
 *  exit (registered with atexit by the compiler). */
struct STATICOBJ
{
    STATICOBJ()
    {
        g_fCtorRan = true;
    }
    ~STATICOBJ()
    {
        if (g_fReportExit)
            emit("D");
    }
} g_StaticObj;

int xiInit(void)
{
    g_fXiRan = true;
    char szValue[32];
    if (GetEnvironmentVariableA("NOCRT_CHILD_XI", szValue, sizeof(szValue)) == 0)
        return 0;
    int32_t iValue = 0;
    return RTStrParseS32Whole(szValue, 10, &iValue) == 0 ? iValue : 0;
}
void xcInit(void)
{
    g_fXcRan = true;
}
void xtTerm(void)
{
    if (g_fReportExit)
        emit("T");
}
__attribute__((section(".CRT$XIU"), used)) int (*g_pfnXiInit)(void) = xiInit;
__attribute__((section(".CRT$XCU"), used)) void (*g_pfnXcInit)(void) = xcInit;
__attribute__((section(".CRT$XTU"), used)) void (*g_pfnXtTerm)(void) = xtTerm;

void atExitE(void)
{
    emit("E");
}
void atExitA(void)
{
    emit("A");
    atexit(atExitE); /* registered while exiting: runs next */
}
void atExitB(void)
{
    emit("B");
}
void atExitC(void)
{
    emit("C");
}

void emitHex(const char *psz)
{
    static const char s_szHex[] = "0123456789abcdef";
    for (; *psz; psz++)
    {
        char szByte[3] = {s_szHex[(unsigned char)*psz >> 4], s_szHex[*psz & 0xf], '\0'};
        emit(szByte);
    }
    emit("\n");
}

} // namespace

int main(int cArgs, char **papszArgs)
{
    const char *pszMode = cArgs > 1 ? papszArgs[1] : "";
    if (!strcmp(pszMode, "args"))
    {
        for (int i = 0; i < cArgs; i++)
            emitHex(papszArgs[i]);
        return 0;
    }
    if (!strcmp(pszMode, "exit") && cArgs > 2)
    {
        int32_t iExit = 0;
        return RTStrParseS32Whole(papszArgs[2], 10, &iExit) == 0 ? iExit : 1;
    }
    if (!strcmp(pszMode, "order"))
    {
        g_fReportExit = true;
        emit(g_fCtorRan ? "ctor " : "no-ctor ");
        emit(g_fXiRan ? "xi " : "no-xi ");
        emit(g_fXcRan ? "xc|" : "no-xc|");
        atexit(atExitA);
        atexit(atExitB);
        RTNoCrtAtExit(atExitC);
        emit("main|");
        return 0;
    }
    if (!strcmp(pszMode, "stream"))
    {
        if (RT_FAILURE(RTR3InitForExe(cArgs, &papszArgs, 0)))
            return 2;
        RTPrintf("a\n");
        RTPrintf("b\xc3\xa9\n"); /* e acute: reaches the file in the ANSI code page */
        emit("|");
        return 0;
    }
    if (!strcmp(pszMode, "init") && cArgs > 2)
    {
        uint32_t fFlags = 0;
        if (RTStrParseU32Whole(papszArgs[2], 10, &fFlags) != 0)
            return 1;
        int rc = RTR3InitForExe(cArgs, &papszArgs, fFlags);
        if (RT_FAILURE(rc))
            return RTMessageInitFailure(rc);
        RTPrintf("type=%d search=%d stdout=%s\n", g_enmrtWinOsType, g_enmrtWinDllSearchMode,
                 g_pStdOut == &g_StdOutRec ? "std" : "other");
        RTMessageError("boom %d", 42);
        return 0;
    }
    if (!strcmp(pszMode, "crash"))
    {
        if (RT_FAILURE(RTR3InitForExe(cArgs, &papszArgs, 0)))
            return 2;
        *(volatile int *)(uintptr_t)cArgs = 0; /* cArgs is a small number: an invalid address */
        return 0;
    }
    return 1;
}
