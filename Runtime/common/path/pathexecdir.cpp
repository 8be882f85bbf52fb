/** @file
 * The executable's directory.
 */
#include <zolt/err.h>
#include <zolt/string.h>

#include <atomic>
#include <string.h>

#include "internal/path.h"

namespace
{
/* Written once at start-up (or on first use from the host), read after. */
char g_szExecPath[RTPATH_MAX];
std::atomic<bool> g_fExecPathKnown;
} // namespace

int rtPathSetExecutablePath(const char *pszExePath)
{
    int const rc = RTStrCopy(g_szExecPath, sizeof(g_szExecPath), pszExePath);
    g_fExecPathKnown.store(rc >= 0, std::memory_order_release);
    return rc;
}

RTDECL(int) RTPathExecutableDir(char *pszPath, size_t cbPath)
{
    if (!RT_VALID_PTR(pszPath))
        return ERR_INVALID_POINTER;
    if (!g_fExecPathKnown.load(std::memory_order_acquire))
    {
        /* Started without our own start-up code (test programs, tools). */
        char szPath[RTPATH_MAX];
        if (rtPathHostQueryExecutablePath(szPath, sizeof(szPath)) < 0 || rtPathSetExecutablePath(szPath) < 0)
            return ERR_WRONG_STATE;
    }
    size_t cchDir = 0;
    RTPathSplitSimple(g_szExecPath, &cchDir, nullptr, nullptr);
    return RTStrCopyEx(pszPath, cbPath, g_szExecPath, cchDir);
}
