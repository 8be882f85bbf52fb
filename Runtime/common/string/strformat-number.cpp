/** @file
 * Integer rendering for the formatter and for callers with buffers.
 */
#include <zolt/err.h>
#include <zolt/strformat.h>

#include <string.h>

#include "internal/strformat.h"

char *rtStrFmtDecimal(char *pchEnd, uint64_t u)
{
    /* Peel off nine digits at a time until the rest fits 32 bits. */
    while (u > UINT32_MAX)
    {
        uint32_t uLow = (uint32_t)(u % 1000000000);
        u /= 1000000000;
        char *pchLow = rtStrFmtDecimal32(pchEnd, uLow);
        while (pchLow > pchEnd - 9)
            *--pchLow = '0';
        pchEnd = pchLow;
    }
    return rtStrFmtDecimal32(pchEnd, (uint32_t)u);
}

/** " 000" to " 999": a digit group with the blank before it, written in
 *  one move. */
static constexpr struct RTSTRFMTGROUPS
{
    char ach[1000][4];
} g_Groups = [] {
    RTSTRFMTGROUPS Groups{};
    for (int i = 0; i < 1000; i++)
    {
        Groups.ach[i][0] = ' ';
        Groups.ach[i][1] = (char)('0' + i / 100);
        Groups.ach[i][2] = (char)('0' + i / 10 % 10);
        Groups.ach[i][3] = (char)('0' + i % 10);
    }
    return Groups;
}();

/** The full groups of a value below 10^(3 * @a cGroups), written backwards
 *  from @a pchEnd in 32-bit arithmetic. @returns the first blank. */
static char *rtStrFmtGroups32(char *pchEnd, uint32_t u, unsigned cGroups)
{
    while (cGroups-- > 0)
    {
        pchEnd -= 4;
        memcpy(pchEnd, g_Groups.ach[u % 1000], 4);
        u /= 1000;
    }
    return pchEnd;
}

char *rtStrFmtDecimalGrouped(char *pchEnd, uint64_t u)
{
    /* Nine digits (three whole groups) at a time until the rest fits 32
       bits, then group by group. */
    while (u > UINT32_MAX)
    {
        uint32_t uLow = (uint32_t)(u % 1000000000);
        u /= 1000000000;
        pchEnd = rtStrFmtGroups32(pchEnd, uLow, 3);
    }
    uint32_t u32 = (uint32_t)u;
    while (u32 >= 1000)
    {
        pchEnd -= 4;
        memcpy(pchEnd, g_Groups.ach[u32 % 1000], 4);
        u32 /= 1000;
    }
    return rtStrFmtDecimal32(pchEnd, u32);
}

/** "00" to "ff" and "00" to "FF", for writing hex digits a byte at a time. */
static constexpr struct RTSTRFMTHEXPAIRS
{
    char achLower[256][2];
    char achUpper[256][2];
} g_HexPairs = [] {
    RTSTRFMTHEXPAIRS Pairs{};
    for (int i = 0; i < 256; i++)
    {
        Pairs.achLower[i][0] = "0123456789abcdef"[i >> 4];
        Pairs.achLower[i][1] = "0123456789abcdef"[i & 15];
        Pairs.achUpper[i][0] = "0123456789ABCDEF"[i >> 4];
        Pairs.achUpper[i][1] = "0123456789ABCDEF"[i & 15];
    }
    return Pairs;
}();

/** Hex digits written backwards ending at @a pchEnd. */
static void rtStrFmtHexDigits(char *pchEnd, uint64_t u, bool fUpper)
{
    const char(*pachPairs)[2] = fUpper ? g_HexPairs.achUpper : g_HexPairs.achLower;
    while (u >= 0x100)
    {
        pchEnd -= 2;
        memcpy(pchEnd, pachPairs[u & 0xff], 2);
        u >>= 8;
    }
    if (u >= 0x10)
        memcpy(pchEnd - 2, pachPairs[u], 2);
    else
        pchEnd[-1] = pachPairs[u][1];
}

/** The number of digits of @a u in @a uBase (8, 10 or 16; 1 for 0). */
static unsigned rtStrFmtDigitCount(uint64_t u, unsigned uBase)
{
    if (uBase == 10)
        return rtStrFmtDecimalLen(u);
    unsigned cBits = 64 - (unsigned)__builtin_clzll(u | 1);
    return uBase == 16 ? (cBits + 3) / 4 : (cBits + 2) / 3;
}

/** Writes the digits of @a u ending at @a pchEnd, grouped if asked. */
static void rtStrFmtWriteDigits(char *pchEnd, uint64_t u, unsigned uBase, bool fUpper, bool fGroup)
{
    if (uBase == 10)
    {
        if (fGroup)
            rtStrFmtDecimalGrouped(pchEnd, u);
        else
            rtStrFmtDecimal(pchEnd, u);
    }
    else if (uBase == 16)
        rtStrFmtHexDigits(pchEnd, u, fUpper);
    else
        do
        {
            *--pchEnd = (char)('0' + (u & 7));
            u >>= 3;
        } while (u);
}

/** Fills @a c bytes with the byte of @a pszRun, a run of 16 of them:
 *  exactly @a c bytes, by fixed-size moves where they suffice. */
static char *rtStrFmtFill(char *psz, const char *pszRun, size_t c)
{
    if (c <= 16)
        rtStrFmtCopy(psz, pszRun, c);
    else
        memset(psz, *pszRun, c);
    return psz + c;
}

static const char g_szZeros16[] = "0000000000000000";
static const char g_szBlanks16[] = "                ";

int rtStrFmtNumberText(char *pch, uint64_t u64Value, unsigned uBase, int cchWidth, int cchPrecision, unsigned fFlags)
{
    /* Other bases would divide by zero, loop, or (base 2) need more room
       than the text may take. */
    if (uBase != 8 && uBase != 16)
        uBase = 10;
    if (fFlags & FMT_F_LEFT)
        fFlags &= ~FMT_F_ZERO_PAD;

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

    /* The layout first, from the digit count; then each part is written in
       its place, the digits from their end. */
    int cDigits = (int)rtStrFmtDigitCount(u64Value, uBase);
    char chSign = 0;
    if (fFlags & FMT_F_SIGNED)
        chSign = fNegative ? '-' : (fFlags & FMT_F_PLUS) ? '+' : (fFlags & FMT_F_BLANK) ? ' ' : 0;
    int cchPrefix = (fFlags & FMT_F_ALT) ? (uBase == 16 ? 2 : uBase == 8 ? 1 : 0) : 0;
    bool fGroup = (fFlags & FMT_F_GROUP) && uBase == 10 && !(fFlags & FMT_F_ZERO_PAD) && cDigits > 3;
    bool fUpper = (fFlags & FMT_F_UPPER) != 0;

    /* Digit positions, group separators included. */
    int cchDigits = fGroup ? cDigits + (cDigits - 1) / 3 : cDigits;

    /* The common case: nothing but the digits. */
    if (!chSign && !cchPrefix && cchWidth <= cchDigits && cchPrecision <= cchDigits)
    {
        rtStrFmtWriteDigits(pch + cchDigits, u64Value, uBase, fUpper, fGroup);
        return cchDigits;
    }

    int cchSign = chSign ? 1 : 0;
    int cchPad = cchWidth - (cchDigits + cchSign + cchPrefix);
    int cchRoom = RTSTRFMT_NUM_MAX - cchSign - cchPrefix - cchDigits;
    char *psz = pch;

    /* Blanks go before the sign and prefix, zeros after them. */
    if (!(fFlags & (FMT_F_ZERO_PAD | FMT_F_LEFT)) && cchPad > 0)
    {
        int cchBlanks = cchPad < cchRoom - 1 ? cchPad : cchRoom - 1;
        psz = rtStrFmtFill(psz, g_szBlanks16, (size_t)cchBlanks);
        cchRoom -= cchBlanks;
    }
    if (chSign)
        *psz++ = chSign;
    if (cchPrefix)
    {
        *psz++ = '0';
        if (uBase == 16)
            *psz++ = fUpper ? 'X' : 'x';
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
        psz = rtStrFmtFill(psz, g_szZeros16, (size_t)cZeros);
        cchRoom -= cZeros;
    }

    psz += cchDigits;
    rtStrFmtWriteDigits(psz, u64Value, uBase, fUpper, fGroup);

    if ((fFlags & FMT_F_LEFT) && cchPad > 0)
    {
        int cchBlanks = cchPad < cchRoom ? cchPad : cchRoom;
        psz = rtStrFmtFill(psz, g_szBlanks16, (size_t)cchBlanks);
    }
    return (int)(psz - pch);
}

RTDECL(int)
RTStrFmtNumber(char *pszBuf, uint64_t u64Value, unsigned uBase, int cchWidth, int cchPrecision, unsigned fFlags)
{
    int cch = rtStrFmtNumberText(pszBuf, u64Value, uBase, cchWidth, cchPrecision, fFlags);
    pszBuf[cch] = '\0';
    return cch;
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
