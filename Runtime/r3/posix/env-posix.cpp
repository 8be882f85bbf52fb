/** @file
 * Environment variables, POSIX host: the process environment (names are
 * case-sensitive here).
 */
#include <zolt/err.h>
#include <zolt/string.h>

#include <stdlib.h>
#include <string.h>

#include "internal/env.h"

namespace
{

/** Looks a variable up; the value must be UTF-8 like every runtime text. */
int rtEnvPosixLookup(const char *pszVar, const char **ppszValue, size_t *pcch)
{
    const char *pszValue = getenv(pszVar);
    if (!pszValue)
        return ERR_ENV_VAR_NOT_FOUND;
    size_t const cch = strlen(pszValue);
    int const rc = RTStrValidateUtf8(pszValue, cch, 0);
    if (rc < 0)
        return rc;
    *ppszValue = pszValue;
    *pcch = cch;
    return SUCCESS;
}

} // namespace

RTDECL(int) RTEnvGetEx(RTENV hEnv, const char *pszVar, char *pszValue, size_t cbValue, size_t *pcchActual)
{
    int rc = rtEnvCheckArgs(hEnv, pszVar, pszValue, cbValue, pcchActual);
    if (rc < 0)
        return rc;
    const char *pszFound = nullptr;
    size_t cch = 0;
    rc = rtEnvPosixLookup(pszVar, &pszFound, &cch);
    if (rc < 0)
        return rc;
    if (pcchActual)
        *pcchActual = cch;
    if (!pszValue)
        return SUCCESS;
    if (cch >= cbValue)
        return ERR_BUFFER_OVERFLOW;
    memcpy(pszValue, pszFound, cch + 1);
    return SUCCESS;
}

int rtEnvHostGetDup(const char *pszVar, char **ppszValue)
{
    int rc = rtEnvCheckName(pszVar);
    if (rc < 0)
        return rc;
    const char *pszFound = nullptr;
    size_t cch = 0;
    rc = rtEnvPosixLookup(pszVar, &pszFound, &cch);
    if (rc < 0)
        return rc;
    return RTStrDupNEx(ppszValue, pszFound, cch);
}
