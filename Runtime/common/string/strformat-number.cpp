/** @file
 * Integer rendering for the formatter and for callers with buffers.
 */
#include <zolt/err.h>
#include <zolt/strformat.h>

#include <string.h>

#include "internal/strformat.h"

/** The longest text RTStrFmtNumber writes; its buffer holds one more byte. */
#define RTSTRFMT_NUM_MAX 63

RTDECL(int)
RTStrFmtNumber(char *pszBuf, uint64_t u64Value, unsigned uBase, int cchWidth, int cchPrecision, unsigned fFlags)
{
    /* Other bases would divide by zero, loop, or (base 2) need more room
       than the buffer has. */
    if (uBase != 8 && uBase != 16)
        uBase = 10;
    const char *pachDigits = (fFlags & FMT_F_UPPER) ? "0123456789ABCDEF" : "0123456789abcdef";
    if (fFlags & FMT_F_LEFT)
        fFlags &= ~FMT_F_ZERO_PAD;
    if ((fFlags & FMT_F_GROUP) && (uBase != 10 || (fFlags & FMT_F_ZERO_PAD)))
        fFlags &= ~FMT_F_GROUP;

    /* Sign and magnitude; the value is 64-bit when flagged so or when its
       high half is in use. Negating in unsigned arithmetic renders the
       smallest value of either width correctly. */
    bool f64 = (fFlags & FMT_F_SIZE64) || (u64Value >> 32) != 0;
    bool fNegative = false;
    if (fFlags & FMT_F_SIGNED)
    {
        if (f64 && (int64_t)u64Value < 0)
        {
            fNegative = true;
            u64Value = 0 - u64Value;
        }
        else if (!f64 && (int32_t)(uint32_t)u64Value < 0)
        {
            fNegative = true;
            u64Value = (uint32_t)(0 - (uint32_t)u64Value);
        }
    }

    /* Digit positions, group separators included. */
    int cDigits = 0;
    uint64_t u = u64Value;
    do
    {
        cDigits++;
        u /= uBase;
    } while (u);
    bool fGroup = (fFlags & FMT_F_GROUP) && cDigits > 3;
    int cchDigits = fGroup ? cDigits + (cDigits - 1) / 3 : cDigits;

    char chSign = 0;
    if (fFlags & FMT_F_SIGNED)
        chSign = fNegative ? '-' : (fFlags & FMT_F_PLUS) ? '+' : (fFlags & FMT_F_BLANK) ? ' ' : 0;
    int cchSign = chSign ? 1 : 0;
    int cchPrefix = (fFlags & FMT_F_ALT) ? (uBase == 16 ? 2 : uBase == 8 ? 1 : 0) : 0;

    int cchPad = cchWidth - (cchDigits + cchSign + cchPrefix);
    int cchRoom = RTSTRFMT_NUM_MAX - cchSign - cchPrefix - cchDigits;
    char *psz = pszBuf;

    /* Blanks go before the sign and prefix, zeros after them. */
    if (!(fFlags & (FMT_F_ZERO_PAD | FMT_F_LEFT)) && cchPad > 0)
    {
        int cchBlanks = cchPad < cchRoom - 1 ? cchPad : cchRoom - 1;
        memset(psz, ' ', (size_t)cchBlanks);
        psz += cchBlanks;
        cchRoom -= cchBlanks;
    }
    if (chSign)
        *psz++ = chSign;
    if (cchPrefix)
    {
        *psz++ = '0';
        if (uBase == 16)
            *psz++ = (fFlags & FMT_F_UPPER) ? 'X' : 'x';
    }
    int cZeros = 0;
    if ((fFlags & FMT_F_ZERO_PAD) && cchPad > 0)
        cZeros = cchPad < cchRoom ? cchPad : cchRoom;
    /* Padding zeros count against the precision; the precision's zeros come
       on top of any blanks, so width and precision together can exceed the
       width. */
    if (cchPrecision - cchDigits > cZeros)
    {
        int cMore = cchPrecision - cchDigits - cZeros;
        cZeros += cMore < cchRoom - cZeros ? cMore : cchRoom - cZeros;
    }
    memset(psz, '0', (size_t)cZeros);
    psz += cZeros;
    cchRoom -= cZeros;

    /* Digits from the least significant end, a blank before every fourth,
       seventh, ... digit when grouping. */
    char *pszEnd = psz + cchDigits;
    char *pch = pszEnd;
    int iDigit = 0;
    do
    {
        if (fGroup && iDigit && iDigit % 3 == 0)
            *--pch = ' ';
        *--pch = pachDigits[u64Value % uBase];
        u64Value /= uBase;
        iDigit++;
    } while (u64Value);
    psz = pszEnd;

    if ((fFlags & FMT_F_LEFT) && cchPad > 0)
    {
        int cchBlanks = cchPad < cchRoom ? cchPad : cchRoom;
        memset(psz, ' ', (size_t)cchBlanks);
        psz += cchBlanks;
    }
    *psz = '\0';
    return (int)(psz - pszBuf);
}

/** Renders into a work buffer and copies what fits of it. */
static int rtStrFmtUxx(char *pszBuf, size_t cbBuf, uint64_t u64Value, unsigned uBase, int cchWidth, int cchPrecision,
                       unsigned fFlags)
{
    if (cbBuf > RTSTRFMT_NUM_MAX)
        return RTStrFmtNumber(pszBuf, u64Value, uBase, cchWidth, cchPrecision, fFlags);
    char szTmp[RTSTRFMT_NUM_MAX + 1];
    int cch = RTStrFmtNumber(szTmp, u64Value, uBase, cchWidth, cchPrecision, fFlags);
    if ((size_t)cch < cbBuf)
    {
        memcpy(pszBuf, szTmp, (size_t)cch + 1);
        return cch;
    }
    if (cbBuf)
    {
        memcpy(pszBuf, szTmp, cbBuf - 1);
        pszBuf[cbBuf - 1] = '\0';
    }
    return ERR_BUFFER_OVERFLOW;
}

/** The caller's flags up to FMT_F_MASKED; the size flags are ours to set. */
#define RTSTRFMT_UXX_FLAGS_MASK 0x7ffu

RTDECL(int)
RTStrFmtU32(char *pszBuf, size_t cbBuf, uint32_t u32Value, unsigned uBase, int cchWidth, int cchPrecision,
            unsigned fFlags)
{
    return rtStrFmtUxx(pszBuf, cbBuf, u32Value, uBase, cchWidth, cchPrecision,
                       (fFlags & RTSTRFMT_UXX_FLAGS_MASK) | FMT_F_SIZE32);
}

RTDECL(int)
RTStrFmtU64(char *pszBuf, size_t cbBuf, uint64_t u64Value, unsigned uBase, int cchWidth, int cchPrecision,
            unsigned fFlags)
{
    return rtStrFmtUxx(pszBuf, cbBuf, u64Value, uBase, cchWidth, cchPrecision,
                       (fFlags & RTSTRFMT_UXX_FLAGS_MASK) | FMT_F_SIZE64);
}
