/** @file
 * The launcher's reporters: message boxes in interactive runs, console
 * streams in silent runs, and diagnostic lines on the standard error stream.
 */
#include "messages.h"

#include <windows.h>

#include <zolt/err.h>
#include <zolt/mem.h>
#include <zolt/message.h>
#include <zolt/stream.h>
#include <zolt/strformat.h>
#include <zolt/string.h>

#include <stdarg.h>

#include "cmdline.h"
#include "identity.h"
#include "lazybind.h"

/** Shows @a pszText in a modal box owned by the desktop window. The box's
 *  result, a failure to show it included, tells the launcher nothing. */
static void rtStubMessageBox(const char *pszText, UINT fStyle)
{
    RTUTF16 *pwszText = NULL;
    int rc = RTStrToUtf16(pszText, &pwszText);
    if (RT_SUCCESS(rc))
    {
        g_pfnMessageBoxW(g_pfnGetDesktopWindow(), (const wchar_t *)pwszText, g_pwszStubProductTitle, fStyle);
        RTMemFree(pwszText);
    }
    else /* not valid UTF-8: the narrow box shows the bytes as they are */
        g_pfnMessageBoxA(g_pfnGetDesktopWindow(), pszText, g_pszStubProductTitle, fStyle);
}

static void rtStubShowErrorV(const char *pszFormat, va_list Args)
{
    va_list ArgsCopy;
    va_copy(ArgsCopy, Args);
    char *pszText = NULL;
    int cchText = RTStrAPrintfV(&pszText, pszFormat, Args);
    if (cchText > 0)
    {
        if (g_fSilentMode)
            RTMessageError("%s", pszText);
        else
            rtStubMessageBox(pszText, MB_ICONERROR);
    }
    else if (cchText < 0)
    {
        /* Out of memory: the console routine can still stream the text
           unsplit; a box gets the unexpanded format, which still says what
           went wrong. */
        if (g_fSilentMode)
            RTMessageError("%N", pszFormat, &ArgsCopy);
        else
            g_pfnMessageBoxA(g_pfnGetDesktopWindow(), pszFormat, g_pszStubProductTitle, MB_ICONERROR);
    }
    RTStrFree(pszText);
    va_end(ArgsCopy);
}

int ShowError(const char *pszFormat, ...)
{
    va_list Args;
    va_start(Args, pszFormat);
    rtStubShowErrorV(pszFormat, Args);
    va_end(Args);
    return STUB_EXIT_FAILURE;
}

void ShowInfo(const char *pszFormat, ...)
{
    va_list Args;
    va_start(Args, pszFormat);
    char *pszText = NULL;
    int cchText = RTStrAPrintfV(&pszText, pszFormat, Args);
    va_end(Args);
    if (cchText < 0)
        return;
    if (g_fSilentMode)
        RTPrintf("%s\n", pszText);
    else
        rtStubMessageBox(pszText, MB_ICONINFORMATION);
    RTStrFree(pszText);
}

int ShowSyntaxError(const char *pszFormat, ...)
{
    va_list Args;
    va_start(Args, pszFormat);
    rtStubShowErrorV(pszFormat, Args);
    va_end(Args);
    return STUB_EXIT_SYNTAX_ERROR;
}

static void rtStubPrintErrorV(const char *pszFormat, va_list Args)
{
    RTStreamPrintf(g_pStdErr, "error: %N\n", pszFormat, &Args);
}

void PrintError(const char *pszFormat, ...)
{
    va_list Args;
    va_start(Args, pszFormat);
    rtStubPrintErrorV(pszFormat, Args);
    va_end(Args);
}

int PrintErrorFailure(const char *pszFormat, ...)
{
    va_list Args;
    va_start(Args, pszFormat);
    rtStubPrintErrorV(pszFormat, Args);
    va_end(Args);
    return STUB_EXIT_FAILURE;
}

int PrintErrorRc(int rc, const char *pszFormat, ...)
{
    va_list Args;
    va_start(Args, pszFormat);
    rtStubPrintErrorV(pszFormat, Args);
    va_end(Args);
    return rc;
}
