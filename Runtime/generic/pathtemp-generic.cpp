/** @file
 * The temporary directory, from the environment.
 */
#include <zolt/env.h>
#include <zolt/err.h>
#include <zolt/string.h>

#include "internal/path.h"

RTDECL(int) RTPathTempDir(char *pszPath, size_t cbPath)
{
    static const char *const s_apszVars[] = {"ZOLT_TMPDIR", "TMP", "TEMP", "USERPROFILE"};
    for (const char *pszVar : s_apszVars)
    {
        /* Only "not set" moves on: a value that does not fit is a failure,
           not a reason to pick another directory. */
        size_t cch = 0;
        int const rc = RTEnvGetEx(RTENV_DEFAULT, pszVar, pszPath, cbPath, &cch);
        if (rc != ERR_ENV_VAR_NOT_FOUND)
            return rc;
    }
    return RTStrCopy(pszPath, cbPath, "/tmp");
}
