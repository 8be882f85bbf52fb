/** @file
 * Integer rendering for the formatter and for callers with buffers.
 */
#include <zolt/err.h>
#include <zolt/strformat.h>

#include <string.h>

#include "internal/strformat.h"

/** The longest text RTStrFmtNumber writes; its buffer holds one more byte. */
#define RTSTRFMT_NUM_MAX 63
/** Room for the digits of any 64-bit value in base 8, 10 or 16. */
#define RTSTRFMT_DIGITS_MAX 24

/** "00" to "99", for writing decimal digits two at a time. */
static const char g_achTwoDigits[] = "00010203040506070809"
                                     "10111213141516171819"
                                     "20212223242526272829"
                                     "30313233343536373839"
                                     "40414243444546474849"
                                     "50515253545556575859"
                                     "60616263646566676869"
                                     "70717273747576777879"
                                     "80818283848586878889"
                                     "90919293949596979899";

/** Decimal digits of a value that fits 32 bits, written backwards from
 *  @a pchEnd. Constant divisors let the compiler multiply instead of
 *  divide. @returns the first digit. */
static char *rtStrFmtDec32(char *pchEnd, uint32_t u)
{
    while (u >= 100)
    {
        unsigned i = (u % 100) * 2;
        u /= 100;
        pchEnd -= 2;
        memcpy(pchEnd, &g_achTwoDigits[i], 2);
    }
    if (u >= 10)
    {
        pchEnd -= 2;
        memcpy(pchEnd, &g_achTwoDigits[u * 2], 2);
    }
    else
        *--pchEnd = (char)('0' + u);
    return pchEnd;
}

/** The digits of @a u in @a uBase, written backwards from @a pchEnd.
 *  @returns the first digit. */
static char *rtStrFmtDigits(char *pchEnd, uint64_t u, unsigned uBase, const char *pachDigits)
{
    if (uBase == 10)
    {
        /* Peel off nine digits at a time until the rest fits 32 bits. */
        while (u > UINT32_MAX)
        {
            uint32_t uLow = (uint32_t)(u % 1000000000);
            u /= 1000000000;
            char *pchLow = rtStrFmtDec32(pchEnd, uLow);
            while (pchLow > pchEnd - 9)
                *--pchLow = '0';
            pchEnd = pchLow;
        }
        return rtStrFmtDec32(pchEnd, (uint32_t)u);
    }
    unsigned cShift = uBase == 16 ? 4 : 3;
    do
    {
        *--pchEnd = pachDigits[u & (uBase - 1)];
        u >>= cShift;
    } while (u);
    return pchEnd;
}

char *rtStrFmtDecimal(char *pchEnd, uint64_t u)
{
    return rtStrFmtDigits(pchEnd, u, 10, nullptr);
}

/**
 * Copies the digits to the output with fixed-size moves, which the compiler
 * inlines where a variable size would be a library call. The digits buffer
 * has 8 bytes of slack after the digits, and a move is fixed-size only when
 * the output buffer has room for all of it; the extra bytes land after the
 * text and are overwritten or lie beyond its terminator.
 */
static char *rtStrFmtPutDigits(char *psz, const char *pszBufEnd, const char *pchDigits, size_t cDigits)
{
    if (cDigits <= 8 && psz + 8 <= pszBufEnd)
        memcpy(psz, pchDigits, 8);
    else if (cDigits <= 16 && psz + 16 <= pszBufEnd)
        memcpy(psz, pchDigits, 16);
    else
        memcpy(psz, pchDigits, cDigits);
    return psz + cDigits;
}

/** Fills @a c bytes with @a ch, by a fixed-size move where it fits. */
static char *rtStrFmtFill(char *psz, const char *pszBufEnd, char ch, int c)
{
    if (c <= 16 && psz + 16 <= pszBufEnd)
        memset(psz, ch, 16);
    else
        memset(psz, ch, (size_t)c);
    return psz + c;
}

RTDECL(int)
RTStrFmtNumber(char *pszBuf, uint64_t u64Value, unsigned uBase, int cchWidth, int cchPrecision, unsigned fFlags)
{
    /* Other bases would divide by zero, loop, or (base 2) need more room
       than the buffer has. */
    if (uBase != 8 && uBase != 16)
        uBase = 10;
    const char *pszBufEnd = pszBuf + RTSTRFMT_NUM_MAX + 1;
    if (fFlags & FMT_F_LEFT)
        fFlags &= ~FMT_F_ZERO_PAD;
    if ((fFlags & FMT_F_GROUP) && (uBase != 10 || (fFlags & FMT_F_ZERO_PAD)))
        fFlags &= ~FMT_F_GROUP;

    /* Sign and magnitude; the value is 64-bit when flagged so or when its
       high half is in use. Negating in unsigned arithmetic renders the
       smallest value of either width correctly. */
    bool fNegative = false;
    if (fFlags & FMT_F_SIGNED)
    {
        bool f64 = (fFlags & FMT_F_SIZE64) || (u64Value >> 32) != 0;
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

    /* The digits first; their count decides the layout. */
    char achDigits[RTSTRFMT_DIGITS_MAX + 8] = {};
    char *pchDigitsEnd = &achDigits[RTSTRFMT_DIGITS_MAX];
    char *pchDigits =
        rtStrFmtDigits(pchDigitsEnd, u64Value, uBase, (fFlags & FMT_F_UPPER) ? "0123456789ABCDEF" : "0123456789abcdef");
    int cDigits = (int)(pchDigitsEnd - pchDigits);

    char chSign = 0;
    if (fFlags & FMT_F_SIGNED)
        chSign = fNegative ? '-' : (fFlags & FMT_F_PLUS) ? '+' : (fFlags & FMT_F_BLANK) ? ' ' : 0;
    int cchPrefix = (fFlags & FMT_F_ALT) ? (uBase == 16 ? 2 : uBase == 8 ? 1 : 0) : 0;
    bool fGroup = (fFlags & FMT_F_GROUP) && cDigits > 3;

    /* The common case: nothing but the digits. */
    if (!chSign && !cchPrefix && !fGroup && cchWidth <= cDigits && cchPrecision <= cDigits)
    {
        char *pszEnd = rtStrFmtPutDigits(pszBuf, pszBufEnd, pchDigits, (size_t)cDigits);
        *pszEnd = '\0';
        return cDigits;
    }

    /* Digit positions, group separators included. */
    int cchDigits = fGroup ? cDigits + (cDigits - 1) / 3 : cDigits;
    int cchSign = chSign ? 1 : 0;
    int cchPad = cchWidth - (cchDigits + cchSign + cchPrefix);
    int cchRoom = RTSTRFMT_NUM_MAX - cchSign - cchPrefix - cchDigits;
    char *psz = pszBuf;

    /* Blanks go before the sign and prefix, zeros after them. */
    if (!(fFlags & (FMT_F_ZERO_PAD | FMT_F_LEFT)) && cchPad > 0)
    {
        int cchBlanks = cchPad < cchRoom - 1 ? cchPad : cchRoom - 1;
        psz = rtStrFmtFill(psz, pszBufEnd, ' ', cchBlanks);
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
    if (cZeros)
    {
        psz = rtStrFmtFill(psz, pszBufEnd, '0', cZeros);
        cchRoom -= cZeros;
    }

    /* The digits, with a blank before every fourth, seventh, ... digit
       counted from the right when grouping. */
    if (fGroup)
    {
        int cLead = (cDigits - 1) % 3 + 1;
        for (int i = 0; i < cLead; i++)
            *psz++ = pchDigits[i];
        for (const char *pch = pchDigits + cLead; pch < pchDigitsEnd; pch += 3)
        {
            psz[0] = ' ';
            psz[1] = pch[0];
            psz[2] = pch[1];
            psz[3] = pch[2];
            psz += 4;
        }
    }
    else
        psz = rtStrFmtPutDigits(psz, pszBufEnd, pchDigits, (size_t)cDigits);

    if ((fFlags & FMT_F_LEFT) && cchPad > 0)
    {
        int cchBlanks = cchPad < cchRoom ? cchPad : cchRoom;
        psz = rtStrFmtFill(psz, pszBufEnd, ' ', cchBlanks);
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
