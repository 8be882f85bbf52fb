/** @file
 * Standard stream handles, Windows: GetStdHandle, and GetConsoleMode to
 * tell a console from a redirected file or pipe.
 */
#include <windows.h>

#include <zolt/err.h>

#include "internal/stream.h"

int rtStrmNativeGetStdHandle(int iStd, RTFILE *phFile, bool *pfConsole)
{
    static const DWORD s_aidStd[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    HANDLE hNative = GetStdHandle(s_aidStd[iStd]);
    if (hNative == nullptr || hNative == INVALID_HANDLE_VALUE)
        return ERR_INVALID_HANDLE;
    DWORD fMode;
    *pfConsole = GetConsoleMode(hNative, &fMode) != FALSE;
    *phFile = (RTFILE)(intptr_t)hNative;
    return SUCCESS;
}
