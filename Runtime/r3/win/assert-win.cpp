/** @file
 * Assertion reports, Windows: the last-error values and the raw write to the
 * standard error handle.
 */
#include <windows.h>

#include "internal/assert.h"
#include "internal/init-win.h"

namespace
{
/* The sockets library's calls, found by runtime initialisation (or null). */
typedef int(WINAPI *PFNWSAGETLASTERROR)(void);
typedef void(WINAPI *PFNWSASETLASTERROR)(int iError);
} // namespace

void rtAssertSaveLastError(RTASSERTLASTERR *pSaved)
{
    pSaved->uLastError = GetLastError();
    PFNWSAGETLASTERROR const pfnGet = (PFNWSAGETLASTERROR)g_apfnrtWinSock[RTR3WINSOCK_WSAGetLastError];
    pSaved->iWsaLastError = pfnGet ? pfnGet() : RTASSERTLASTERR_NO_WSA;
    pSaved->u32Magic = RTASSERTLASTERR_MAGIC;
}

void rtAssertRestoreLastError(const RTASSERTLASTERR *pSaved)
{
    if (pSaved->u32Magic != RTASSERTLASTERR_MAGIC)
        return;
    PFNWSASETLASTERROR const pfnSet = (PFNWSASETLASTERROR)g_apfnrtWinSock[RTR3WINSOCK_WSASetLastError];
    if (pSaved->iWsaLastError != RTASSERTLASTERR_NO_WSA && pfnSet)
        pfnSet(pSaved->iWsaLastError);
    SetLastError(pSaved->uLastError);
}

void rtAssertWriteStdErr(const char *pch, size_t cch)
{
    HANDLE const hStdErr = GetStdHandle(STD_ERROR_HANDLE);
    if (hStdErr == nullptr || hStdErr == INVALID_HANDLE_VALUE)
        return;
    DWORD cbWritten = 0;
    /* The result does not matter: a report never fails. */
    (void)WriteFile(hStdErr, pch, (DWORD)cch, &cbWritten, nullptr);
}
