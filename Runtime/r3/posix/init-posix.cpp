/** @file
 * Runtime initialisation, POSIX host: nothing to detect or harden.
 */
#include <zolt/err.h>

#include <unistd.h>

#include "internal/initterm.h"

int RTR3InitNative(uint32_t fFlags)
{
    if (!(fFlags & RTR3INIT_F_UNOBTRUSIVE))
        return RTR3InitHardening(fFlags);
    return SUCCESS;
}

int RTR3InitHardening(uint32_t fFlags)
{
    (void)fFlags; /* library search paths are the dynamic loader's business here */
    return SUCCESS;
}

uint32_t rtProcNativeSelf(void)
{
    return (uint32_t)getpid();
}
