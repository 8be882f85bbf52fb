/** @file
 * Environment variables of the process, in UTF-8.
 *
 * Names are compared as the host does: without regard to case on Windows,
 * case-sensitively on the POSIX host.
 */
#ifndef ZOLT_ENV_H
#define ZOLT_ENV_H

#include <zolt/cdefs.h>

RT_C_DECLS_BEGIN

/** An environment block. Only the process's own is supported. */
typedef struct RTENVINT *RTENV;

/** The process environment. */
#define RTENV_DEFAULT ((RTENV) ~(uintptr_t)0)

/**
 * Reads the variable @a pszVar of the environment @a hEnv.
 *
 * @param hEnv        RTENV_DEFAULT.
 * @param pszValue    Buffer for the value, or null to ask for the length.
 * @param cbValue     Size of the buffer in bytes (0 with a null buffer).
 * @param pcchActual  Optional: the value's length in bytes without the
 *                    terminator, set whenever the variable was read (also on
 *                    ERR_BUFFER_OVERFLOW). Without it a buffer is required.
 * Example: a 20-byte value into a 10-byte buffer gives ERR_BUFFER_OVERFLOW
 * and *pcchActual 20; a variable set to "" gives 0 and length 0.
 * @returns 0; ERR_ENV_VAR_NOT_FOUND when the variable is not set;
 *          ERR_ENV_INVALID_VAR_NAME for a name containing '=';
 *          ERR_BUFFER_OVERFLOW when the value and its terminator do not fit
 *          (the buffer is not written);
 *          ERR_INVALID_POINTER for invalid pointers; ERR_INVALID_PARAMETER
 *          for a null buffer with a size, or neither buffer nor
 *          @a pcchActual; ERR_INVALID_HANDLE for another environment;
 *          ERR_NO_TMP_MEMORY; ERR_INTERNAL_ERROR_3 when the value keeps
 *          growing beyond the platform's limit while it is read;
 *          conversion statuses; other platform errors.
 */
RTDECL(int) RTEnvGetEx(RTENV hEnv, const char *pszVar, char *pszValue, size_t cbValue, size_t *pcchActual);

/**
 * Reads a process environment variable into a string owned by the runtime.
 * The strings live in a ring of 64 shared by all threads: a returned
 * pointer stays valid for at least the next 63 calls by any thread.
 * @returns the value, or null when it is not set or cannot be read.
 */
RTDECL(const char *) RTEnvGet(const char *pszVar);

RT_C_DECLS_END

#endif /* ZOLT_ENV_H */
