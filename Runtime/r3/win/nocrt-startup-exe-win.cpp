/** @file
 * The runtime's own process entry point for Windows executables.
 *
 * This object is linked only into executables that name RTNoCrtExeStartup
 * as their entry point: nothing else refers to it. That matters because it
 * also supplies atexit and __main, which in such an executable (linked
 * without any C runtime) have nothing else behind them; an executable with
 * the normal C runtime start-up gets both from there and never pulls this
 * object in.
 */
#include <windows.h>

#include <zolt/err.h>
#include <zolt/getopt.h>
#include <zolt/nocrt.h>
#include <zolt/utf16.h>

#include <winternl.h>

#include "internal/nocrt.h"
#include "internal/path.h"

#define RT_STR2(a) #a
#define RT_STR(a) RT_STR2(a)

/* The program's main function. Declared through its symbol name because a
   C++ translation unit may not declare ::main with a linkage. */
extern "C" int rtNoCrtProgramMain(int cArgs, char **papszArgs) __asm__(RT_STR(__USER_LABEL_PREFIX__) "main");

namespace
{

typedef void (*PFNRTNOCRTCTOR)(void);

} // namespace

/* The linker's tables of static constructors and destructors (.ctors and
   .dtors): a count or -1 first, then the entries, then a null entry. */
extern "C" PFNRTNOCRTCTOR __CTOR_LIST__[];
extern "C" PFNRTNOCRTCTOR __DTOR_LIST__[];

namespace
{

bool g_frtNoCrtCtorsDone = false;

/** Runs the .dtors entries in table order (the reverse of construction). */
void rtNoCrtRunDestructors(void)
{
    for (PFNRTNOCRTCTOR *ppfn = &__DTOR_LIST__[1]; *ppfn; ppfn++)
        (*ppfn)();
}

/** The executable's path as the start-up found it (UTF-8), and its length. */
char g_szrtNoCrtExePath[4100];
size_t g_cchrtNoCrtExePath;

/** Records the executable's path; a failure is reported and start-up goes
 *  on (the runtime's initialisation asks again and fails properly). */
void rtNoCrtInitProcExecPath(void)
{
    WCHAR wszPath[4100];
    DWORD const cwc = GetModuleFileNameW(nullptr, wszPath, RT_ELEMENTS(wszPath));
    if (cwc == 0 || cwc >= RT_ELEMENTS(wszPath))
    {
        DWORD const uErr = cwc == 0 ? GetLastError() : ERROR_INSUFFICIENT_BUFFER;
        RTNoCrtWriteStdErr("initProcExecPath: GetModuleFileNameW failed: ");
        RTNoCrtWriteStdErrPair(uErr);
        RTNoCrtWriteStdErr("\r\n");
        return;
    }
    char *pszPath = g_szrtNoCrtExePath;
    int rc = RTUtf16ToUtf8Ex(reinterpret_cast<const RTUTF16 *>(wszPath), cwc, &pszPath, sizeof(g_szrtNoCrtExePath),
                             &g_cchrtNoCrtExePath);
    if (RT_FAILURE(rc))
    {
        RTNoCrtWriteStdErrRc("initProcExecPath: RTUtf16ToUtf8Ex failed: ", rc);
        g_szrtNoCrtExePath[0] = '\0';
        g_cchrtNoCrtExePath = 0;
        return;
    }
    (void)rtPathSetExecutablePath(g_szrtNoCrtExePath); /* fits: same buffer size */
}

/** The process parameters from the process environment block: the command
 *  line there carries its length, unlike GetCommandLineW's copy. */
const RTL_USER_PROCESS_PARAMETERS *rtNoCrtProcessParameters(void)
{
    /* GCC 12 takes the segment-relative read in NtCurrentTeb for an access
       to a zero-length array at address 0. */
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
    return NtCurrentTeb()->ProcessEnvironmentBlock->ProcessParameters;
#pragma GCC diagnostic pop
}

} // namespace

/* In an executable started here, atexit (used by the compiler for static
   destructors, and by the runtime) is the runtime's at-exit table. */
extern "C" int atexit(void (*pfnCallback)(void))
{
    return RTNoCrtAtExit(pfnCallback) == 0 ? 0 : -1;
}

/* The compiler calls __main at the top of main, on targets whose object
   format has no init section: it runs the .ctors table, last entry first,
   once per process, and the destructors at exit. The start-up calls it
   before main, so main's own call finds the work done. */
extern "C" void __main(void)
{
    if (g_frtNoCrtCtorsDone)
        return;
    g_frtNoCrtCtorsDone = true;
    size_t cCtors = (size_t)(uintptr_t)__CTOR_LIST__[0];
    if (cCtors == ~(size_t)0)
        for (cCtors = 0; __CTOR_LIST__[cCtors + 1]; cCtors++)
            ;
    for (size_t i = cCtors; i >= 1; i--)
        __CTOR_LIST__[i]();
    (void)atexit(rtNoCrtRunDestructors);
}

RTDECL(void) RTNoCrtExeStartup(void)
{
    rtNoCrtInitProcExecPath();

    int rc = rtNoCrtRunInitializers();
    if (rc != 0)
    {
        RTNoCrtWriteStdErr("A C static initializor failed (");
        RTNoCrtWriteStdErrPair((uint32_t)rc);
        RTNoCrtWriteStdErr("\r\n");
        RTNoCrtExit(rc, false);
    }
    __main();

    const RTL_USER_PROCESS_PARAMETERS *pParams = rtNoCrtProcessParameters();
    if (!pParams || !pParams->CommandLine.Buffer)
    {
        RTNoCrtWriteStdErr("No command line\r\n");
        RTNoCrtExit(3, true);
    }
    char *pszCmdLine = nullptr;
    rc = RTUtf16ToUtf8Ex(reinterpret_cast<const RTUTF16 *>(pParams->CommandLine.Buffer),
                         pParams->CommandLine.Length / sizeof(WCHAR), &pszCmdLine, 0, nullptr);
    if (RT_FAILURE(rc))
    {
        RTNoCrtWriteStdErrRc("Failed to convert command line to UTF-8: ", rc);
        RTNoCrtExit(3, true);
    }

    /* The vector and the text it points into live until the process ends. */
    char **papszArgs = nullptr;
    int cArgs = 0;
    rc = RTGetOptSplitCommandLine(&papszArgs, &cArgs, pszCmdLine, GETOPTARGV_STYLE_MSCRT | GETOPTARGV_F_IN_PLACE,
                                  nullptr);
    if (RT_FAILURE(rc))
    {
        RTNoCrtWriteStdErrRc("Error parsing command line: ", rc);
        RTNoCrtExit(3, true);
    }

    RTNoCrtExit(rtNoCrtProgramMain(cArgs, papszArgs), true);
}
