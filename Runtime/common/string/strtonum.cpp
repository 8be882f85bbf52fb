/** @file
 * Text to integer conversion and hexadecimal byte strings.
 */
#include <zolt/err.h>
#include <zolt/strtonum.h>

namespace
{

/* Character classes: digit values 0-35, and markers for the characters the
   hexadecimal byte parser treats specially. */
constexpr uint8_t kDigitNone = 0xff;
constexpr uint8_t kDigitEnd = 0xfe;
constexpr uint8_t kDigitBlank = 0xfd;
constexpr uint8_t kDigitColon = 0xfc;

struct RTSTRDIGITMAP
{
    uint8_t au8[256];
};

constexpr RTSTRDIGITMAP rtStrMakeDigitMap()
{
    RTSTRDIGITMAP Map{};
    for (unsigned ch = 0; ch < 256; ch++)
    {
        uint8_t u8 = kDigitNone;
        if (ch >= '0' && ch <= '9')
            u8 = (uint8_t)(ch - '0');
        else if (ch >= 'a' && ch <= 'z')
            u8 = (uint8_t)(ch - 'a' + 10);
        else if (ch >= 'A' && ch <= 'Z')
            u8 = (uint8_t)(ch - 'A' + 10);
        else if (ch == '\0')
            u8 = kDigitEnd;
        else if (ch == ' ' || ch == '\t')
            u8 = kDigitBlank;
        else if (ch == ':')
            u8 = kDigitColon;
        Map.au8[ch] = u8;
    }
    return Map;
}

constexpr RTSTRDIGITMAP g_rtStrDigits = rtStrMakeDigitMap();

inline uint8_t rtStrDigit(char ch)
{
    return g_rtStrDigits.au8[(unsigned char)ch];
}

inline bool rtStrIsHexDigit(char ch)
{
    return rtStrDigit(ch) < 16;
}

/** The character limit of a base word; "none" is the largest size. */
inline size_t rtStrLimit(uint32_t uBaseWord)
{
    size_t const cchMax = uBaseWord >> 8;
    return cchMax ? cchMax : ~(size_t)0;
}

/**
 * What follows a number at @a psz, looking at no more than @a cchLeft
 * characters: 0 (terminator or limit), WRN_TRAILING_SPACES (blanks only) or
 * WRN_TRAILING_CHARS.
 */
int rtStrTrailingStatus(const char *psz, size_t cchLeft)
{
    if (cchLeft == 0 || *psz == '\0')
        return SUCCESS;
    size_t off = 0;
    while (off < cchLeft && (psz[off] == ' ' || psz[off] == '\t'))
        off++;
    return off == cchLeft || psz[off] == '\0' ? WRN_TRAILING_SPACES : WRN_TRAILING_CHARS;
}

/** The sign, magnitude and end of a number, shared by both signedness. */
struct RTSTRNUMSCAN
{
    uint64_t uMagnitude; /**< Modulo 2^64. */
    bool fNegative;
    bool fOverflow; /**< The exact magnitude exceeds 2^64 - 1. */
    size_t offEnd;
    int rcTrailing; /**< rtStrTrailingStatus after the digits, or ERR_NO_DIGITS. */
};

RTSTRNUMSCAN rtStrScanNumber(const char *pszValue, uint32_t uBaseWord)
{
    size_t const cchMax = rtStrLimit(uBaseWord);
    RTSTRNUMSCAN Scan{};
    size_t off = 0;
    while (off < cchMax && (pszValue[off] == '+' || pszValue[off] == '-'))
    {
        if (pszValue[off] == '-')
            Scan.fNegative = !Scan.fNegative;
        off++;
    }

    /* The reads stop at the terminator: each index is only looked at when
       the one before it held a digit or 'x'. */
    bool const fHexPrefix = cchMax - off > 2 && pszValue[off] == '0' && (pszValue[off + 1] | 0x20) == 'x' &&
                            rtStrIsHexDigit(pszValue[off + 2]);
    unsigned uBase = uBaseWord & 0xff;
    if (uBase == 0 || uBase > 35)
    {
        if (fHexPrefix)
            uBase = 16;
        else if (cchMax - off > 1 && pszValue[off] == '0' && rtStrDigit(pszValue[off + 1]) < 8)
            uBase = 8;
        else
            uBase = 10;
    }
    if (uBase == 16 && fHexPrefix)
        off += 2;

    size_t const offDigits = off;
    uint64_t u = 0;
    while (off < cchMax)
    {
        uint8_t const uDigit = rtStrDigit(pszValue[off]);
        if (uDigit >= uBase)
            break;
        Scan.fOverflow |= __builtin_mul_overflow(u, uBase, &u);
        Scan.fOverflow |= __builtin_add_overflow(u, uDigit, &u);
        off++;
    }
    Scan.uMagnitude = u;
    Scan.offEnd = off;
    Scan.rcTrailing = off == offDigits ? ERR_NO_DIGITS : rtStrTrailingStatus(&pszValue[off], cchMax - off);
    return Scan;
}

/** Whole-text rule shared by both signedness: text after the number fails. */
int rtStrWholeStatus(const char *pszValue, const char *pszEnd, uint32_t uBaseWord, int rc)
{
    if (rc < 0 || *pszEnd == '\0')
        return rc;
    switch (rc)
    {
        case WRN_TRAILING_CHARS: return ERR_TRAILING_CHARS;
        case WRN_TRAILING_SPACES: return ERR_TRAILING_SPACES;
        case SUCCESS: return SUCCESS; /* the character limit ended the number */
        default: break;
    }
    /* A value warning hid what follows the number: look now. */
    size_t const cchUsed = (size_t)(pszEnd - pszValue);
    int const rcTrailing = rtStrTrailingStatus(pszEnd, rtStrLimit(uBaseWord) - cchUsed);
    if (rcTrailing == WRN_TRAILING_CHARS)
        return ERR_TRAILING_CHARS;
    if (rcTrailing == WRN_TRAILING_SPACES)
        return ERR_TRAILING_SPACES;
    return rc;
}

/** Range wrapper: a successful 64-bit result that changes when narrowed. */
template <typename T, typename T64> int rtStrNarrow(int rc, T64 v64, T *pv)
{
    T const v = (T)v64;
    if (pv)
        *pv = v;
    if (rc >= 0 && (T64)v != v64)
        return WRN_NUMBER_TOO_BIG;
    return rc;
}

} // namespace

RTDECL(int) RTStrParseU64(const char *pszValue, char **ppszNext, uint32_t uBaseWord, uint64_t *pu64)
{
    if (!RT_VALID_PTR(pszValue))
        return ERR_INVALID_POINTER;
    RTSTRNUMSCAN const Scan = rtStrScanNumber(pszValue, uBaseWord);
    if (ppszNext)
        *ppszNext = (char *)&pszValue[Scan.offEnd];
    uint64_t const u = Scan.fNegative ? 0 - Scan.uMagnitude : Scan.uMagnitude;
    if (pu64)
        *pu64 = u;
    if (Scan.rcTrailing < 0)
        return Scan.rcTrailing;
    if (Scan.fOverflow)
        return WRN_NUMBER_TOO_BIG;
    if (Scan.fNegative && Scan.uMagnitude != 0)
        return WRN_NEGATIVE_UNSIGNED;
    return Scan.rcTrailing;
}

RTDECL(int) RTStrParseS64(const char *pszValue, char **ppszNext, uint32_t uBaseWord, int64_t *pi64)
{
    if (!RT_VALID_PTR(pszValue))
        return ERR_INVALID_POINTER;
    RTSTRNUMSCAN const Scan = rtStrScanNumber(pszValue, uBaseWord);
    if (ppszNext)
        *ppszNext = (char *)&pszValue[Scan.offEnd];
    uint64_t const uMin = UINT64_C(1) << 63;
    if (pi64)
        *pi64 = (int64_t)(Scan.fNegative ? 0 - Scan.uMagnitude : Scan.uMagnitude);
    if (Scan.rcTrailing < 0)
        return Scan.rcTrailing;
    if (Scan.fOverflow || Scan.uMagnitude > uMin || (Scan.uMagnitude == uMin && !Scan.fNegative))
        return WRN_NUMBER_TOO_BIG;
    return Scan.rcTrailing;
}

RTDECL(int) RTStrParseU64Whole(const char *pszValue, uint32_t uBaseWord, uint64_t *pu64)
{
    char *pszEnd = nullptr;
    int const rc = RTStrParseU64(pszValue, &pszEnd, uBaseWord, pu64);
    if (rc == ERR_INVALID_POINTER)
        return rc;
    return rtStrWholeStatus(pszValue, pszEnd, uBaseWord, rc);
}

RTDECL(int) RTStrParseS64Whole(const char *pszValue, uint32_t uBaseWord, int64_t *pi64)
{
    char *pszEnd = nullptr;
    int const rc = RTStrParseS64(pszValue, &pszEnd, uBaseWord, pi64);
    if (rc == ERR_INVALID_POINTER)
        return rc;
    return rtStrWholeStatus(pszValue, pszEnd, uBaseWord, rc);
}

RTDECL(int) RTStrParseU32(const char *pszValue, char **ppszNext, uint32_t uBaseWord, uint32_t *pu32)
{
    uint64_t u64 = 0;
    int const rc = RTStrParseU64(pszValue, ppszNext, uBaseWord, &u64);
    return rtStrNarrow(rc, u64, pu32);
}

RTDECL(int) RTStrParseU8(const char *pszValue, char **ppszNext, uint32_t uBaseWord, uint8_t *pu8)
{
    uint64_t u64 = 0;
    int const rc = RTStrParseU64(pszValue, ppszNext, uBaseWord, &u64);
    return rtStrNarrow(rc, u64, pu8);
}

RTDECL(int) RTStrParseU32Whole(const char *pszValue, uint32_t uBaseWord, uint32_t *pu32)
{
    uint64_t u64 = 0;
    int const rc = RTStrParseU64Whole(pszValue, uBaseWord, &u64);
    return rtStrNarrow(rc, u64, pu32);
}

RTDECL(int) RTStrParseU16Whole(const char *pszValue, uint32_t uBaseWord, uint16_t *pu16)
{
    uint64_t u64 = 0;
    int const rc = RTStrParseU64Whole(pszValue, uBaseWord, &u64);
    return rtStrNarrow(rc, u64, pu16);
}

RTDECL(int) RTStrParseU8Whole(const char *pszValue, uint32_t uBaseWord, uint8_t *pu8)
{
    uint64_t u64 = 0;
    int const rc = RTStrParseU64Whole(pszValue, uBaseWord, &u64);
    return rtStrNarrow(rc, u64, pu8);
}

RTDECL(int) RTStrParseS32Whole(const char *pszValue, uint32_t uBaseWord, int32_t *pi32)
{
    int64_t i64 = 0;
    int const rc = RTStrParseS64Whole(pszValue, uBaseWord, &i64);
    return rtStrNarrow(rc, i64, pi32);
}

RTDECL(int) RTStrParseS16Whole(const char *pszValue, uint32_t uBaseWord, int16_t *pi16)
{
    int64_t i64 = 0;
    int const rc = RTStrParseS64Whole(pszValue, uBaseWord, &i64);
    return rtStrNarrow(rc, i64, pi16);
}

RTDECL(int) RTStrParseS8Whole(const char *pszValue, uint32_t uBaseWord, int8_t *pi8)
{
    int64_t i64 = 0;
    int const rc = RTStrParseS64Whole(pszValue, uBaseWord, &i64);
    return rtStrNarrow(rc, i64, pi8);
}

RTDECL(int32_t) RTStrParseS32Simple(const char *pszValue)
{
    int64_t i64 = 0;
    int const rc = RTStrParseS64(pszValue, nullptr, 0, &i64);
    return rc < 0 ? 0 : (int32_t)i64;
}

/*
 * Hexadecimal byte strings.
 */

namespace
{

/**
 * Reads one byte at *ppsz. @a fAfterByte says a byte came before (so a
 * separating ':' may stand here).
 * @returns 0 with the byte and *ppsz advanced; ERR_UNEVEN_INPUT;
 *          ERR_NO_DIGITS when no byte starts here (*ppsz unchanged).
 */
int rtStrHexReadByte(const char **ppsz, uint32_t fFlags, bool fAfterByte, uint8_t *pb)
{
    const char *psz = *ppsz;
    bool fColonBefore = false;
    if ((fFlags & RTSTRHEXTOBYTES_F_SEP_COLON) && fAfterByte && rtStrDigit(psz[0]) == kDigitColon &&
        rtStrIsHexDigit(psz[1]))
    {
        psz++;
        fColonBefore = true;
    }
    if (!rtStrIsHexDigit(psz[0]))
        return ERR_NO_DIGITS;
    uint8_t const uHigh = rtStrDigit(psz[0]);
    if (rtStrIsHexDigit(psz[1]))
    {
        *pb = (uint8_t)(uHigh << 4 | rtStrDigit(psz[1]));
        *ppsz = psz + 2;
        return SUCCESS;
    }
    if ((fFlags & RTSTRHEXTOBYTES_F_SEP_COLON) && (fColonBefore || rtStrDigit(psz[1]) == kDigitColon))
    {
        *pb = uHigh;
        *ppsz = psz + 1;
        return SUCCESS;
    }
    return ERR_UNEVEN_INPUT;
}

} // namespace

RTDECL(int) RTStrHexToBytes(const char *pszHex, void *pv, size_t cb, uint32_t fFlags)
{
    if (!RT_VALID_PTR(pszHex) || (cb && !RT_VALID_PTR(pv)))
        return ERR_INVALID_POINTER;
    if (fFlags & ~RTSTRHEXTOBYTES_F_SEP_COLON)
        return ERR_INVALID_FLAGS;

    uint8_t *pb = (uint8_t *)pv;
    const char *psz = pszHex;
    for (size_t i = 0; i < cb; i++)
    {
        int const rc = rtStrHexReadByte(&psz, fFlags, i > 0, &pb[i]);
        if (rc == ERR_NO_DIGITS)
            return ERR_STR_SHORTER_THAN_SIZE;
        if (rc < 0)
            return rc;
    }

    uint8_t bExtra;
    int const rc = rtStrHexReadByte(&psz, fFlags, cb > 0, &bExtra);
    if (rc == SUCCESS)
        return ERR_BUFFER_OVERFLOW;
    if (rc != ERR_NO_DIGITS)
        return rc;
    return rtStrTrailingStatus(psz, ~(size_t)0);
}
