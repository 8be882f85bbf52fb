/** @file
 * Assertion reports, POSIX host: errno and the raw write to stderr.
 */
#include <errno.h>
#include <unistd.h>

#include "internal/assert.h"

void rtAssertSaveLastError(RTASSERTLASTERR *pSaved)
{
    pSaved->uLastError = (uint32_t)errno;
    pSaved->iWsaLastError = RTASSERTLASTERR_NO_WSA; /* sockets use errno here */
    pSaved->u32Magic = RTASSERTLASTERR_MAGIC;
}

void rtAssertRestoreLastError(const RTASSERTLASTERR *pSaved)
{
    if (pSaved->u32Magic == RTASSERTLASTERR_MAGIC)
        errno = (int)pSaved->uLastError;
}

void rtAssertWriteStdErr(const char *pch, size_t cch)
{
    while (cch > 0)
    {
        ssize_t const cbWritten = write(STDERR_FILENO, pch, cch);
        if (cbWritten <= 0)
        {
            if (cbWritten < 0 && errno == EINTR)
                continue;
            return; /* a report never fails */
        }
        pch += cbWritten;
        cch -= (size_t)cbWritten;
    }
}
