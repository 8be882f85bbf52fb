/** @file
 * Assertion reports, Windows: the last-error values and the raw write to the
 * standard error handle.
 */
#include <windows.h>

#include "internal/assert.h"

int(__stdcall *g_pfnrtAssertWSAGetLastError)(void);
void(__stdcall *g_pfnrtAssertWSASetLastError)(int iError);

void rtAssertSaveLastError(RTASSERTLASTERR *pSaved)
{
    pSaved->uLastError = GetLastError();
    pSaved->iWsaLastError = g_pfnrtAssertWSAGetLastError ? g_pfnrtAssertWSAGetLastError() : RTASSERTLASTERR_NO_WSA;
    pSaved->u32Magic = RTASSERTLASTERR_MAGIC;
}

void rtAssertRestoreLastError(const RTASSERTLASTERR *pSaved)
{
    if (pSaved->u32Magic != RTASSERTLASTERR_MAGIC)
        return;
    if (pSaved->iWsaLastError != RTASSERTLASTERR_NO_WSA && g_pfnrtAssertWSASetLastError)
        g_pfnrtAssertWSASetLastError(pSaved->iWsaLastError);
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
