/** @file
 * Standard stream handles, POSIX host: file descriptors 0, 1 and 2.
 */
#include <zolt/err.h>

#include <fcntl.h>
#include <unistd.h>

#include "internal/stream.h"

int rtStrmNativeGetStdHandle(int iStd, RTFILE *phFile, bool *pfConsole)
{
    if (fcntl(iStd, F_GETFD) == -1)
        return ERR_INVALID_HANDLE;
    *phFile = iStd;
    *pfConsole = isatty(iStd) != 0;
    return SUCCESS;
}
