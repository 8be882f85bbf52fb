/** @file
 * Environment variables, Windows: the process environment through
 * GetEnvironmentVariableW.
 */
#include <windows.h>

#include <zolt/err.h>
#include <zolt/mem.h>
#include <zolt/string.h>
#include <zolt/utf16.h>

#include "internal/env.h"

namespace
{

constexpr DWORD kcwcEnvStack = 512;
/** The platform's largest value, in units with the terminator. */
constexpr DWORD kcwcEnvMax = 32767;

/** A looked-up value in a stack buffer, or in a heap one for long values. */
struct RTENVWINVALUE
{
    RTUTF16 awcStack[kcwcEnvStack];
    RTUTF16 *pwszHeap = nullptr;
    const RTUTF16 *pwsz = nullptr;
    size_t cwc = 0;

    RTENVWINVALUE() = default;
    RTENVWINVALUE(const RTENVWINVALUE &) = delete;
    RTENVWINVALUE &operator=(const RTENVWINVALUE &) = delete;
    ~RTENVWINVALUE()
    {
        RTMemFree(pwszHeap);
    }
};

int rtEnvWinLookup(const char *pszVar, RTENVWINVALUE *pValue)
{
    RTUTF16 *pwszVar = nullptr;
    int rc = RTStrToUtf16(pszVar, &pwszVar);
    if (rc < 0)
        return rc;

    /* A value may grow between the calls (another thread setting it), so the
       buffer follows the reported size until it fits. */
    RTUTF16 *pwszBuf = pValue->awcStack;
    DWORD cwcBuf = kcwcEnvStack;
    SetLastError(ERROR_SUCCESS);
    DWORD cwc = GetEnvironmentVariableW((LPCWSTR)pwszVar, (LPWSTR)pwszBuf, cwcBuf);
    for (DWORD cRetries = 0; cwc >= cwcBuf; cRetries++)
    {
        if (cwcBuf > kcwcEnvMax)
        {
            rc = ERR_INTERNAL_ERROR_3;
            break;
        }
        DWORD cwcNew = cwc + cRetries;
        if (cwcNew < kcwcEnvStack * cRetries)
            cwcNew = kcwcEnvStack * cRetries;
        RTMemFree(pValue->pwszHeap);
        pValue->pwszHeap = (RTUTF16 *)RTMemAlloc(cwcNew * sizeof(RTUTF16));
        if (!pValue->pwszHeap)
        {
            rc = ERR_NO_TMP_MEMORY;
            break;
        }
        pwszBuf = pValue->pwszHeap;
        cwcBuf = cwcNew;
        SetLastError(ERROR_SUCCESS);
        cwc = GetEnvironmentVariableW((LPCWSTR)pwszVar, (LPWSTR)pwszBuf, cwcBuf);
    }
    if (rc >= 0 && cwc == 0)
    {
        /* Zero units: an empty value, or no variable at all. */
        DWORD const dwErr = GetLastError();
        if (dwErr != ERROR_SUCCESS)
            rc = RTErrConvertFromWin32(dwErr);
    }
    RTMemFree(pwszVar);
    if (rc < 0)
        return rc;
    pValue->pwsz = pwszBuf;
    pValue->cwc = cwc;
    return SUCCESS;
}

} // namespace

RTDECL(int) RTEnvGetEx(RTENV hEnv, const char *pszVar, char *pszValue, size_t cbValue, size_t *pcchActual)
{
    int rc = rtEnvCheckArgs(hEnv, pszVar, pszValue, cbValue, pcchActual);
    if (rc < 0)
        return rc;
    RTENVWINVALUE Value;
    rc = rtEnvWinLookup(pszVar, &Value);
    if (rc < 0)
        return rc;
    size_t cch = 0;
    if (pszValue)
        rc = RTUtf16ToUtf8Ex(Value.pwsz, Value.cwc, &pszValue, cbValue, &cch);
    else
        rc = RTUtf16CountUtf8Bytes(Value.pwsz, Value.cwc, &cch);
    if (pcchActual && (rc >= 0 || rc == ERR_BUFFER_OVERFLOW))
        *pcchActual = cch;
    return rc;
}

int rtEnvHostGetDup(const char *pszVar, char **ppszValue)
{
    int rc = rtEnvCheckName(pszVar);
    if (rc < 0)
        return rc;
    RTENVWINVALUE Value;
    rc = rtEnvWinLookup(pszVar, &Value);
    if (rc < 0)
        return rc;
    *ppszValue = nullptr;
    return RTUtf16ToUtf8Ex(Value.pwsz, Value.cwc, ppszValue, 0, nullptr);
}
