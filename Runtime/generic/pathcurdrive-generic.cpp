/** @file
 * The current drive, taken from the current directory.
 */
#include <zolt/err.h>
#include <zolt/mem.h>
#include <zolt/string.h>

#include "internal/path.h"

RTDECL(int) RTPathGetCurrentDrive(char *pszPath, size_t cbPath)
{
    char *pszCwd = pszPath;
    char *pszHeap = nullptr;
    int rc = RTPathGetCurrentDir(pszPath, cbPath);
    if (rc == ERR_BUFFER_OVERFLOW)
    {
        size_t const cbHeap = 65536;
        pszHeap = (char *)RTMemAlloc(cbHeap);
        if (!pszHeap)
            return ERR_NO_TMP_MEMORY;
        pszCwd = pszHeap;
        rc = RTPathGetCurrentDir(pszHeap, cbHeap);
    }
    if (rc >= 0)
    {
        size_t cchDrive = 0;
        if (pszCwd[0] != '\0' && pszCwd[1] == ':')
            cchDrive = 2;
        else if (rtPathIsDosSep(pszCwd[0]) && rtPathIsDosSep(pszCwd[1]) && pszCwd[2] != '\0' &&
                 !rtPathIsDosSep(pszCwd[2]))
        {
            /* Server, then the share if anything but separators follows. */
            cchDrive = 2;
            while (pszCwd[cchDrive] != '\0' && !rtPathIsDosSep(pszCwd[cchDrive]))
                cchDrive++;
            size_t off = cchDrive;
            while (rtPathIsDosSep(pszCwd[off]))
                off++;
            if (pszCwd[off] != '\0')
            {
                cchDrive = off;
                while (pszCwd[cchDrive] != '\0' && !rtPathIsDosSep(pszCwd[cchDrive]))
                    cchDrive++;
            }
        }
        else if (rtPathIsDosSep(pszCwd[0]) && !rtPathIsDosSep(pszCwd[1]))
            cchDrive = 0; /* the POSIX host: one root, no drives */
        else
            rc = ERR_INTERNAL_ERROR_4;
        if (rc >= 0)
        {
            if (pszHeap)
                rc = RTStrCopyEx(pszPath, cbPath, pszHeap, cchDrive);
            else
                pszPath[cchDrive] = '\0';
        }
    }
    RTMemFree(pszHeap);
    return rc;
}
