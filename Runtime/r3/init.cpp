/** @file
 * Runtime initialisation: the first call does the work, later calls
 * reconcile flags, program path and arguments.
 */
#include <zolt/err.h>
#include <zolt/initterm.h>
#include <zolt/path.h>
#include <zolt/string.h>
#include <zolt/time.h>

#include <atomic>
#include <stdlib.h>
#include <string.h>

#include "internal/initterm.h"
#include "internal/path.h"
#include "internal/thread.h"
#include "internal/time.h"

char g_szrtProcExePath[RTPATH_EXEC_MAX];
size_t g_cchrtProcExePath;
size_t g_offrtProcName;
size_t g_cchrtProcDir;
bool volatile g_frtR3Initializing;
bool volatile g_frtR3Terminating;
int g_crtArgs = -1;
char **g_papszrtOrgArgs;
char **g_papszrtArgs;
uint32_t g_rtProcessSelf;

namespace
{

/** Number of RTR3Init calls that count (a failed first one does not). */
std::atomic<int32_t> g_crtR3Users{0};
/** Set once a first initialisation has completed. */
std::atomic<bool> g_frtR3Initialized{false};
/** The flags of every call so far. */
std::atomic<uint32_t> g_frtR3InitFlags{0};

/** Sets the terminating flag. The loggers it would flush are not part of
 *  this runtime. */
void rtR3ExitCallback(void)
{
    g_frtR3Terminating = true;
}

/** Records @a pszPath (shorter than RTPATH_EXEC_MAX) as the executable's
 *  path and finds its name and directory. */
int rtR3SetExePath(const char *pszPath)
{
    size_t const cch = strlen(pszPath);
    if (cch >= sizeof(g_szrtProcExePath))
        return ERR_BUFFER_OVERFLOW;
    memcpy(g_szrtProcExePath, pszPath, cch + 1);
    g_cchrtProcExePath = cch;

    size_t cchDir = 0;
    ptrdiff_t offName = -1;
    RTPathSplitSimple(g_szrtProcExePath, &cchDir, &offName, nullptr);
    g_cchrtProcDir = cchDir;
    g_offrtProcName = offName >= 0 ? (size_t)offName : cch;
    return rtPathSetExecutablePath(g_szrtProcExePath);
}

/** Records the arguments, or checks them against the recorded ones. */
int rtR3RecordArgs(int cArgs, char ***ppapszArgs)
{
    char **papszArgs = ppapszArgs ? *ppapszArgs : nullptr;
    if (g_crtArgs == -1)
    {
        g_crtArgs = cArgs;
        g_papszrtOrgArgs = papszArgs;
        g_papszrtArgs = papszArgs;
        return SUCCESS;
    }
    return g_crtArgs == cArgs && g_papszrtOrgArgs == papszArgs ? SUCCESS : ERR_WRONG_STATE;
}

int rtR3InitBody(uint32_t fFlags, int cArgs, char ***ppapszArgs, const char *pszProgramPath)
{
    int rc = RTR3InitNative(fFlags);
    if (RT_FAILURE(rc))
        return rc;
    g_rtProcessSelf = rtProcNativeSelf();
    g_frtR3InitFlags.fetch_or(fFlags);

    rc = rtThreadInit();
    if (RT_FAILURE(rc))
        return rc;

    if (pszProgramPath)
        rc = rtR3SetExePath(pszProgramPath);
    else
    {
        char szPath[RTPATH_EXEC_MAX];
        rc = rtPathHostQueryExecutablePath(szPath, sizeof(szPath));
        if (RT_SUCCESS(rc))
            rc = rtR3SetExePath(szPath);
    }
    if (RT_FAILURE(rc))
        return rc;

    if (cArgs != 0)
    {
        rc = rtR3RecordArgs(cArgs, ppapszArgs);
        if (RT_FAILURE(rc))
            return rc;
    }

    g_u64rtProgramStartNanoTS = RTTimeNanoTS();
    /* In an executable started by the runtime's own entry point atexit is
       the runtime's at-exit table; elsewhere it is the C library's. */
    if (atexit(rtR3ExitCallback) != 0)
        return ERR_NO_MEMORY;
    return SUCCESS;
}

/** A later RTR3Init: reconcile flags, program path and arguments. */
int rtR3InitAgain(uint32_t fFlags, int cArgs, char ***ppapszArgs, const char *pszProgramPath)
{
    g_frtR3InitFlags.fetch_or(fFlags & RTR3INIT_F_RESERVED_2);
    uint32_t fOld = g_frtR3InitFlags.load();
    if ((fOld & RTR3INIT_F_UNOBTRUSIVE) && !(fFlags & RTR3INIT_F_UNOBTRUSIVE))
    {
        uint32_t const fNew = (fOld & ~RTR3INIT_F_UNOBTRUSIVE) | (fFlags & RTR3INIT_F_SYSTEM32_DLLS);
        g_frtR3InitFlags.store(fNew);
        int rc = RTR3InitHardening(fNew);
        if (RT_FAILURE(rc))
            return rc;
    }

    if (pszProgramPath)
    {
        int rc = rtR3SetExePath(pszProgramPath);
        if (RT_FAILURE(rc))
            return rc;
    }

    if (cArgs == 0)
        return SUCCESS;
    return rtR3RecordArgs(cArgs, ppapszArgs);
}

} // namespace

RTDECL(int) RTR3Init(uint32_t fFlags, int cArgs, char ***ppapszArgs, const char *pszProgramPath)
{
    if (g_crtR3Users.fetch_add(1) > 0)
        return rtR3InitAgain(fFlags, cArgs, ppapszArgs, pszProgramPath);

    g_frtR3Initializing = true;
    int rc = rtR3InitBody(fFlags, cArgs, ppapszArgs, pszProgramPath);
    g_frtR3Initializing = false;
    if (RT_FAILURE(rc))
    {
        g_crtR3Users.fetch_sub(1);
        return rc;
    }
    g_frtR3Initialized.store(true);
    return SUCCESS;
}

RTDECL(int) RTR3InitForExe(int cArgs, char ***ppapszArgs, uint32_t fFlags)
{
    return RTR3Init(fFlags, cArgs, ppapszArgs, nullptr);
}

RTDECL(bool) RTR3InitIsInitialized(void)
{
    return g_frtR3Initialized.load();
}
