/** @file
 * Environment internals: the host lookup behind RTEnvGet.
 */
#ifndef ZOLT_INTERNAL_ENV_H
#define ZOLT_INTERNAL_ENV_H

#include <zolt/env.h>

/**
 * Reads a process environment variable into a new heap string (RTStrFree).
 * @returns 0; the failure statuses of RTEnvGetEx; ERR_NO_STR_MEMORY.
 */
int rtEnvHostGetDup(const char *pszVar, char **ppszValue);

/** Checks a variable name: ERR_INVALID_POINTER, ERR_ENV_INVALID_VAR_NAME
 *  for a name containing '=', else 0. */
int rtEnvCheckName(const char *pszVar);

/** The argument checks shared by the backends of RTEnvGetEx. */
int rtEnvCheckArgs(RTENV hEnv, const char *pszVar, char *pszValue, size_t cbValue, size_t *pcchActual);

#endif /* ZOLT_INTERNAL_ENV_H */
