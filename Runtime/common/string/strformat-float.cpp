/** @file
 * Floating-point rendering: the raw IEEE fields of a double, exact and
 * free of any rounding or locale.
 */
#include <zolt/err.h>
#include <zolt/strformat.h>

#include <string.h>

#include "internal/strformat.h"

RTDECL(int)
RTStrFmtFloat(char *pszBuf, size_t cbBuf, const double *prd, int cchWidth, int cchPrecision, unsigned fFlags)
{
    (void)cchWidth, (void)cchPrecision; /* the fields have fixed widths */
    uint64_t u64;
    memcpy(&u64, prd, sizeof(u64));
    bool fNegative = (u64 >> 63) != 0;
    unsigned uExp = (unsigned)(u64 >> 52) & 0x7ff;
    uint64_t uFraction = u64 & ((UINT64_C(1) << 52) - 1);

    char szTmp[RTSTRFMT_NUM_BUF];
    char *psz = szTmp;
    *psz++ = fNegative ? '-' : '+';
    /* The fraction as "0x" and all 13 of its hexadecimal digits. */
    auto fnFraction = [&]() {
        psz += RTStrFmtNumber(psz, uFraction, 16, 15, -1, FMT_F_ALT | FMT_F_ZERO_PAD | FMT_F_SIZE64);
    };
    if (uExp == 0 && uFraction == 0)
        *psz++ = '0';
    else if (uExp == 0x7ff && uFraction == 0)
    {
        memcpy(psz, "Inf", 3);
        psz += 3;
    }
    else if (uExp == 0x7ff)
    {
        *psz++ = (uFraction >> 51) & 1 ? 'Q' : 'S';
        if (fFlags & FMT_F_ALT)
        {
            memcpy(psz, "NaN[.", 5);
            psz += 5;
            fnFraction();
            *psz++ = ']';
        }
        else
        {
            memcpy(psz, "Nan", 3);
            psz += 3;
        }
    }
    else if (uExp == 0)
    {
        *psz++ = '0';
        *psz++ = 'm';
        fnFraction();
        if (fFlags & FMT_F_ALT)
        {
            memcpy(psz, "[SubN]", 6);
            psz += 6;
        }
    }
    else
    {
        *psz++ = '1';
        *psz++ = 'm';
        fnFraction();
        *psz++ = '^';
        psz += RTStrFmtNumber(psz, (uint64_t)(int64_t)((int)uExp - 1023), 10, -1, -1, FMT_F_SIGNED);
    }
    *psz = '\0';

    size_t cch = (size_t)(psz - szTmp);
    if (cch < cbBuf)
    {
        memcpy(pszBuf, szTmp, cch + 1);
        return (int)cch;
    }
    if (cbBuf)
    {
        memcpy(pszBuf, szTmp, cbBuf - 1);
        pszBuf[cbBuf - 1] = '\0';
    }
    return ERR_BUFFER_OVERFLOW;
}
