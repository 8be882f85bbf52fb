/** @file
 * Runtime messages: "<program>: error: ..." and "<program>: info: ..."
 * lines, and the report of a failed initialisation.
 */
#include <zolt/message.h>
#include <zolt/stream.h>
#include <zolt/strformat.h>
#include <zolt/string.h>

#include <string.h>

#include "internal/initterm.h"

namespace
{

/** The program name: the file-name part of the recorded executable path
 *  (empty before initialisation). Taken afresh for every message, since a
 *  later initialisation may record another path. */
const char *rtMsgProgName(void)
{
    return &g_szrtProcExePath[g_offrtProcName];
}

} // namespace

RTDECL(int) RTMessageWriteV(PRTSTREAM pStream, const char *pszPrefix, const char *pszFormat, va_list Args)
{
    if (!*pszFormat || strcmp(pszFormat, "\n") == 0)
    {
        RTStreamPrintf(pStream, "\n");
        return 0;
    }
    const char *pszProgName = rtMsgProgName();

    char *pszMsg = nullptr;
    va_list ArgsCopy;
    va_copy(ArgsCopy, Args);
    int cchMsg = RTStrAPrintfV(&pszMsg, pszFormat, ArgsCopy);
    va_end(ArgsCopy);
    if (cchMsg < 0 || !pszMsg)
    {
        /* No memory for the text: write it unsplit, straight onto the stream. */
        RTStreamPrintf(pStream, "%s: %s", pszProgName, pszPrefix);
        va_copy(ArgsCopy, Args);
        RTStreamPrintfV(pStream, pszFormat, ArgsCopy);
        va_end(ArgsCopy);
        if (!strchr(pszFormat, '\n'))
            RTStreamPrintf(pStream, "\n");
        return 0;
    }

    for (const char *pszLine = pszMsg; *pszLine;)
    {
        const char *pszEnd = strchr(pszLine, '\n');
        size_t const cchLine = pszEnd ? (size_t)(pszEnd - pszLine) : strlen(pszLine);
        if (cchLine == 0)
            RTStreamPrintf(pStream, "\n");
        else
            RTStreamPrintf(pStream, "%s: %s%.*s\n", pszProgName, pszPrefix, (int)cchLine, pszLine);
        pszLine += cchLine + (pszEnd ? 1 : 0);
    }
    RTStrFree(pszMsg);
    return 0;
}

RTDECL(int) RTMessageError(const char *pszFormat, ...)
{
    va_list Args;
    va_start(Args, pszFormat);
    RTMessageWriteV(g_pStdErr, "error: ", pszFormat, Args);
    va_end(Args);
    return 0;
}

RTDECL(int) RTMessageInfo(const char *pszFormat, ...)
{
    va_list Args;
    va_start(Args, pszFormat);
    RTMessageWriteV(g_pStdOut, "info: ", pszFormat, Args);
    va_end(Args);
    return 0;
}

RTDECL(int) RTMessageInitFailure(int rc)
{
    const char *pszName = &g_szrtProcExePath[g_offrtProcName];
    if (g_offrtProcName > 0 && g_offrtProcName < RTPATH_EXEC_MAX && g_szrtProcExePath[0] && *pszName)
        RTStreamPrintf(g_pStdErr, "%s: fatal error: RTR3Init: %Rrc\n", pszName, rc);
    else
        RTStreamPrintf(g_pStdErr, "fatal error: RTR3Init: %Rrc\n", rc);
    return 3;
}
