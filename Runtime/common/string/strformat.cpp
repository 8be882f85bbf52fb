/** @file
 * The formatter's core walk: literal runs, directive parsing, integers,
 * characters, strings in three encodings, nested formats and the dispatch
 * of extension and unknown conversions.
 */
#include "internal/strformat.h"

#include <zolt/err.h>
#include <zolt/strformat.h>
#include <zolt/string.h>
#include <zolt/utf16.h>

#include <limits.h>
#include <string.h>

#include "internal/errtable.h"

/* Padding is sent in chunks from this run of blanks rather than one blank at
   a time. */
static const char g_szBlanks[] = "                                                                ";

size_t rtStrFmtBlanks(PFNFMTOUTPUT pfnOutput, void *pvArgOutput, size_t cch)
{
    size_t cchTotal = 0;
    while (cch > 0)
    {
        size_t cchChunk = cch < sizeof(g_szBlanks) - 1 ? cch : sizeof(g_szBlanks) - 1;
        cchTotal += pfnOutput(pvArgOutput, g_szBlanks, cchChunk);
        cch -= cchChunk;
    }
    return cchTotal;
}

size_t rtStrFmtPadded(PFNFMTOUTPUT pfnOutput, void *pvArgOutput, const char *pch, size_t cch, size_t cchShown,
                      int cchWidth, unsigned fFlags)
{
    size_t cchPad = cchWidth > 0 && (size_t)cchWidth > cchShown ? (size_t)cchWidth - cchShown : 0;
    size_t cchTotal = 0;
    if (cchPad && !(fFlags & FMT_F_LEFT))
        cchTotal += rtStrFmtBlanks(pfnOutput, pvArgOutput, cchPad);
    if (cch)
        cchTotal += pfnOutput(pvArgOutput, pch, cch);
    if (cchPad && (fFlags & FMT_F_LEFT))
        cchTotal += rtStrFmtBlanks(pfnOutput, pvArgOutput, cchPad);
    return cchTotal;
}

size_t rtStrFmtBadPtrText(char *pszBuf, const void *pv, const char *pszMarker)
{
    /* Only pointers within 4096 of zero get here, so the low 32 bits say all
       there is to say about them on every host. */
    pszBuf[0] = '<';
    size_t cch = 1 + (size_t)RTStrFmtNumber(&pszBuf[1], (uint32_t)(uintptr_t)pv, 16, 8, -1, FMT_F_ZERO_PAD);
    size_t cchMarker = strlen(pszMarker);
    memcpy(&pszBuf[cch], pszMarker, cchMarker);
    cch += cchMarker;
    pszBuf[cch++] = '>';
    pszBuf[cch] = '\0';
    return cch;
}

size_t rtStrFmtBadPtr(PFNFMTOUTPUT pfnOutput, void *pvArgOutput, const void *pv, const char *pszMarker)
{
    char szBuf[RTSTRFMT_NUM_BUF];
    size_t cch = rtStrFmtBadPtrText(szBuf, pv, pszMarker);
    return pfnOutput(pvArgOutput, szBuf, cch);
}

size_t rtStrFmtOutPrintf(PFNFMTOUTPUT pfnOutput, void *pvArgOutput, const char *pszFormat, ...)
{
    char szBuf[80];
    va_list Args;
    va_start(Args, pszFormat);
    size_t cch = RTStrPrintfV(szBuf, sizeof(szBuf), pszFormat, Args);
    va_end(Args);
    return pfnOutput(pvArgOutput, szBuf, cch);
}

void RTSTRFMTSINK::putSlow(const char *pch, size_t cch)
{
    flush();
    if (cch > sizeof(achBuf))
        cchTotal += pfnOutput(pvArgOutput, pch, cch);
    else
    {
        memcpy(achBuf, pch, cch);
        cchBuf = cch;
    }
}

void RTSTRFMTSINK::flush()
{
    if (cchBuf)
    {
        cchTotal += pfnOutput(pvArgOutput, achBuf, cchBuf);
        cchBuf = 0;
    }
}

namespace
{

/** The walk's output through the caller's callback. */
struct RTSTRFMTCBOUT
{
    PFNFMTOUTPUT pfnOutput;
    void *pvArgOutput;

    size_t put(const char *pch, size_t cch)
    {
        return pfnOutput(pvArgOutput, pch, cch);
    }
    /** Room to write @a cch bytes in place; a callback has none. */
    char *room(size_t cch)
    {
        (void)cch;
        return nullptr;
    }
    size_t advance(size_t cch)
    {
        (void)cch;
        return 0;
    }
    PFNFMTOUTPUT pfn() const
    {
        return pfnOutput;
    }
    void *pv() const
    {
        return pvArgOutput;
    }
    void end()
    {
        pfnOutput(pvArgOutput, nullptr, 0);
    }
};

/** Output callback over RTSTRFMTBUF, for the renderers that need one. */
size_t rtStrFmtBufOutput(void *pvArg, const char *pachChars, size_t cbChars)
{
    ((RTSTRFMTBUF *)pvArg)->put(pachChars, cbChars);
    return cbChars;
}

/** The walk's output straight into a caller's buffer. The walk's own total
 *  is not used; the buffer keeps the counts that matter. */
struct RTSTRFMTBUFOUT
{
    RTSTRFMTBUF *pBuf;

    size_t put(const char *pch, size_t cch)
    {
        pBuf->put(pch, cch);
        return cch;
    }
    /** Room to write exactly @a cch bytes in place, when the buffer has it. */
    char *room(size_t cch)
    {
        return (size_t)(pBuf->pchLast - pBuf->pchCur) >= cch ? pBuf->pchCur : nullptr;
    }
    /** Accounts for @a cch bytes written at room(). */
    size_t advance(size_t cch)
    {
        pBuf->pchCur += cch;
        pBuf->cchTotal += cch;
        return cch;
    }
    PFNFMTOUTPUT pfn() const
    {
        return rtStrFmtBufOutput;
    }
    void *pv() const
    {
        return pBuf;
    }
    void end()
    {
    }
};

} // namespace

/** Text of a string pointer that must not be read, padded like a string. */
static size_t rtStrFmtBadStr(PFNFMTOUTPUT pfnOutput, void *pvArgOutput, const void *pv, const char *pszMarker,
                             int cchWidth, unsigned fFlags)
{
    char szBuf[RTSTRFMT_NUM_BUF];
    size_t cch;
    if (!pv)
    {
        memcpy(szBuf, "<NULL>", sizeof("<NULL>"));
        cch = sizeof("<NULL>") - 1;
    }
    else
        cch = rtStrFmtBadPtrText(szBuf, pv, pszMarker);
    return rtStrFmtPadded(pfnOutput, pvArgOutput, szBuf, cch, cch, cchWidth, fFlags);
}

/**
 * Decodes the next UTF-16 character. Plain BMP units are taken as they are;
 * surrogates and U+FFFE/U+FFFF go through the full decoder.
 * @returns false at the zero unit or on a decoding failure.
 */
static bool rtStrFmtUtf16Next(const RTUTF16 **ppwsz, bool fBigEndian, RTUNICP *pCp)
{
    RTUTF16 wc = **ppwsz;
    if (fBigEndian)
        wc = (RTUTF16)((wc >> 8) | (wc << 8));
    if (wc == 0)
        return false;
    if (wc < 0xd800 || (wc >= 0xe000 && wc < 0xfffe))
    {
        *pCp = wc;
        (*ppwsz)++;
        return true;
    }
    int rc = fBigEndian ? RTUtf16BigReadCp(ppwsz, pCp) : RTUtf16ReadCp(ppwsz, pCp);
    return RT_SUCCESS(rc);
}

/** Outputs one code point as UTF-8, as one piece. */
static size_t rtStrFmtCodePoint(PFNFMTOUTPUT pfnOutput, void *pvArgOutput, RTUNICP uCp)
{
    char achCp[8];
    char *pchEnd = RTStrWriteCp(achCp, uCp);
    return pfnOutput(pvArgOutput, achCp, (size_t)(pchEnd - achCp));
}

size_t rtStrFmtUtf16(PFNFMTOUTPUT pfnOutput, void *pvArgOutput, const RTUTF16 *pwsz, bool fBigEndian, int cchWidth,
                     int cchPrecision, unsigned fFlags)
{
    /* The width counts characters, so count them before outputting any. */
    size_t cchMax = cchPrecision >= 0 ? (size_t)cchPrecision : RTSTR_MAX;
    size_t cChars = 0;
    const RTUTF16 *pwszCur = pwsz;
    RTUNICP uCp;
    while (cChars < cchMax && rtStrFmtUtf16Next(&pwszCur, fBigEndian, &uCp))
        cChars++;

    size_t cchPad = cchWidth > 0 && (size_t)cchWidth > cChars ? (size_t)cchWidth - cChars : 0;
    size_t cchTotal = 0;
    if (cchPad && !(fFlags & FMT_F_LEFT))
        cchTotal += rtStrFmtBlanks(pfnOutput, pvArgOutput, cchPad);
    for (size_t i = 0; i < cChars; i++)
    {
        rtStrFmtUtf16Next(&pwsz, fBigEndian, &uCp);
        cchTotal += rtStrFmtCodePoint(pfnOutput, pvArgOutput, uCp);
    }
    if (cchPad && (fFlags & FMT_F_LEFT))
        cchTotal += rtStrFmtBlanks(pfnOutput, pvArgOutput, cchPad);
    return cchTotal;
}

/** "%Ls": 32-bit code points up to a zero value or the precision. */
static size_t rtStrFmtCodePoints(PFNFMTOUTPUT pfnOutput, void *pvArgOutput, const RTUNICP *pauCps, int cchWidth,
                                 int cchPrecision, unsigned fFlags)
{
    size_t cchMax = cchPrecision >= 0 ? (size_t)cchPrecision : RTSTR_MAX;
    size_t cChars = 0;
    while (cChars < cchMax && pauCps[cChars] != 0)
        cChars++;

    size_t cchPad = cchWidth > 0 && (size_t)cchWidth > cChars ? (size_t)cchWidth - cChars : 0;
    size_t cchTotal = 0;
    if (cchPad && !(fFlags & FMT_F_LEFT))
        cchTotal += rtStrFmtBlanks(pfnOutput, pvArgOutput, cchPad);
    for (size_t i = 0; i < cChars; i++)
        cchTotal += rtStrFmtCodePoint(pfnOutput, pvArgOutput, pauCps[i]);
    if (cchPad && (fFlags & FMT_F_LEFT))
        cchTotal += rtStrFmtBlanks(pfnOutput, pvArgOutput, cchPad);
    return cchTotal;
}

/** "%s", "%ls", "%Ls". */
template <class Out>
static size_t rtStrFmtString(Out &out, va_list *pArgs, int cchWidth, int cchPrecision, unsigned fFlags, char chArgSize)
{
    PFNFMTOUTPUT pfnOutput = out.pfn();
    void *pvArgOutput = out.pv();
    if (chArgSize == 'l')
    {
        const RTUTF16 *pwsz = va_arg(*pArgs, const RTUTF16 *);
        if (!RT_VALID_PTR(pwsz))
            return rtStrFmtBadStr(pfnOutput, pvArgOutput, pwsz, "!BadStrW", cchWidth, fFlags);
        return rtStrFmtUtf16(pfnOutput, pvArgOutput, pwsz, false /*fBigEndian*/, cchWidth, cchPrecision, fFlags);
    }
    if (chArgSize == 'L')
    {
        const RTUNICP *pauCps = va_arg(*pArgs, const RTUNICP *);
        if (!RT_VALID_PTR(pauCps))
            return rtStrFmtBadStr(pfnOutput, pvArgOutput, pauCps, "!BadStrU", cchWidth, fFlags);
        return rtStrFmtCodePoints(pfnOutput, pvArgOutput, pauCps, cchWidth, cchPrecision, fFlags);
    }
    const char *psz = va_arg(*pArgs, const char *);
    if (!RT_VALID_PTR(psz))
        return rtStrFmtBadStr(pfnOutput, pvArgOutput, psz, "!BadStr", cchWidth, fFlags);
    size_t cch = cchPrecision >= 0 ? RTStrNLen(psz, (size_t)cchPrecision) : strlen(psz);
    if (cchWidth < 0 || (size_t)cchWidth <= cch)
        return out.put(psz, cch);
    return rtStrFmtPadded(pfnOutput, pvArgOutput, psz, cch, cch, cchWidth, fFlags);
}

/** True for the sizes that read a 64-bit integer argument. */
static bool rtStrFmtIs64BitSize(char chArgSize)
{
    switch (chArgSize)
    {
        case 'L':
        case 'j': return true;
        /* size_t and ptrdiff_t are as wide as a pointer. */
        case 'z':
        case 't': return sizeof(size_t) == sizeof(uint64_t);
        default: return false;
    }
}

/** Outputs an integer fetched by the walk, as RTStrFmtNumber renders it. */
template <class Out>
static inline size_t rtStrFmtOutInteger(Out &out, uint64_t u64Value, unsigned uBase, int cchWidth, int cchPrecision,
                                        unsigned fFlags)
{
    char szNum[RTSTRFMT_NUM_BUF];
    if (uBase == 10 && !(fFlags & (FMT_F_ALT | FMT_F_PLUS | FMT_F_BLANK | FMT_F_WIDTH | FMT_F_PRECISION)) &&
        (fFlags & (FMT_F_GROUP | FMT_F_ZERO_PAD)) != (FMT_F_GROUP | FMT_F_ZERO_PAD))
    {
        /* Plain decimal, the most common directive: the digits, grouped if
           asked, and a minus sign at most, written in place once their
           length is known. Signed values narrower than 64 bits arrive
           sign-extended. */
        bool fNegative = (fFlags & FMT_F_SIGNED) && (int64_t)u64Value < 0;
        uint64_t uMagnitude = fNegative ? 0 - u64Value : u64Value;
        unsigned cDigits = rtStrFmtDecimalLen(uMagnitude);
        bool fGroup = (fFlags & FMT_F_GROUP) && cDigits > 3;
        size_t cch = cDigits + (fGroup ? (cDigits - 1) / 3 : 0) + fNegative;
        char *pchEnd;
        char *pchRoom = out.room(cch);
        if (pchRoom)
            pchEnd = pchRoom + cch; /* digits in place: nothing to copy */
        else
            pchEnd = &szNum[sizeof(szNum)];
        char *pch = fGroup                     ? rtStrFmtDecimalGrouped(pchEnd, uMagnitude)
                    : uMagnitude <= UINT32_MAX ? rtStrFmtDecimal32(pchEnd, (uint32_t)uMagnitude)
                                               : rtStrFmtDecimal(pchEnd, uMagnitude);
        if (fNegative)
            *--pch = '-';
        if (pchRoom)
            return out.advance(cch);
        return out.put(pch, cch);
    }

    /* Everything else is rendered in place too when the buffer has room for
       the longest text, and copied from a work buffer otherwise. */
    char *pchRoom = out.room(RTSTRFMT_NUM_MAX);
    if (pchRoom)
        return out.advance((size_t)rtStrFmtNumberText(pchRoom, u64Value, uBase, cchWidth, cchPrecision, fFlags));
    int cch = rtStrFmtNumberText(szNum, u64Value, uBase, cchWidth, cchPrecision, fFlags);
    return out.put(szNum, (size_t)cch);
}

/** Base and flags of an integer conversion letter. */
struct RTSTRFMTINTCONV
{
    uint8_t uBase;
    uint8_t fFlags;
};

/** The integer conversions, indexed from "X" to "x". */
static constexpr struct RTSTRFMTINTCONVS
{
    RTSTRFMTINTCONV a['x' - 'X' + 1];
    constexpr const RTSTRFMTINTCONV &operator[](size_t i) const
    {
        return a[i];
    }
} g_aRtStrFmtIntConvs = [] {
    RTSTRFMTINTCONVS Table{};
    Table.a['X' - 'X'] = {16, FMT_F_UPPER};
    Table.a['d' - 'X'] = {10, FMT_F_SIGNED};
    Table.a['i' - 'X'] = {10, FMT_F_SIGNED};
    Table.a['o' - 'X'] = {8, 0};
    Table.a['u' - 'X'] = {10, 0};
    Table.a['x' - 'X'] = {16, 0};
    return Table;
}();

/** "%d", "%i", "%u", "%o", "%x", "%X". */
template <class Out>
static size_t rtStrFmtInteger(Out &out, va_list *pArgs, char chConv, int cchWidth, int cchPrecision, unsigned fFlags,
                              char chArgSize)
{
    const RTSTRFMTINTCONV &Conv = g_aRtStrFmtIntConvs[chConv - 'X'];
    fFlags |= Conv.fFlags;
    unsigned uBase = Conv.uBase;

    uint64_t u64Value;
    if (!chArgSize)
    {
        uint32_t u32Value = va_arg(*pArgs, uint32_t);
        u64Value = (fFlags & FMT_F_SIGNED) ? (uint64_t)(int64_t)(int32_t)u32Value : u32Value;
        fFlags |= FMT_F_SIZE32;
    }
    else if (rtStrFmtIs64BitSize(chArgSize))
    {
        u64Value = va_arg(*pArgs, uint64_t);
        fFlags |= FMT_F_SIZE64;
    }
    else
    {
        uint32_t u32Value = va_arg(*pArgs, uint32_t);
        /* "h", "hh" and "t" widen with the sign even for unsigned output; no
           truncation to 8 or 16 bits takes place. */
        bool fSignExtend = (fFlags & FMT_F_SIGNED) || chArgSize == 'h' || chArgSize == 'H' || chArgSize == 't';
        u64Value = fSignExtend ? (uint64_t)(int64_t)(int32_t)u32Value : u32Value;
        fFlags |= chArgSize == 'h' ? FMT_F_SIZE16 : chArgSize == 'H' ? FMT_F_SIZE8 : FMT_F_SIZE32;
    }
    return rtStrFmtOutInteger(out, u64Value, uBase, cchWidth, cchPrecision, fFlags);
}

/**
 * The sized integer types of the "%R" type table ("%RU8" to "%RU64",
 * "%RI8" to "%RI64", "%RX8" to "%RX64"), the most common ones, rendered
 * here without the type lookup and with the same results: @a psz is after
 * the "R". @returns the length of the type name, 0 for any other type.
 */
static inline unsigned rtStrFmtSizedType(const char *psz, unsigned *pcBits)
{
    if (psz[0] != 'U' && psz[0] != 'I' && psz[0] != 'X')
        return 0;
    if (psz[1] == '8')
    {
        *pcBits = 8;
        return 2;
    }
    unsigned cBits = psz[1] == '1' && psz[2] == '6'   ? 16
                     : psz[1] == '3' && psz[2] == '2' ? 32
                     : psz[1] == '6' && psz[2] == '4' ? 64
                                                      : 0;
    *pcBits = cBits;
    return cBits ? 3 : 0;
}

/** Fetches and outputs a sized integer type; @a chType is "U", "I" or "X". */
template <class Out>
static size_t rtStrFmtSizedInteger(Out &out, va_list *pArgs, char chType, unsigned cBits, int cchWidth,
                                   int cchPrecision, unsigned fFlags)
{
    /* Each value takes whole argument slots as the caller passed it. Signed
       types narrower than 64 bits arrive promoted and are not truncated;
       unsigned ones keep only their own bits. */
    uint64_t u64Value;
    if (cBits == 64)
        u64Value = va_arg(*pArgs, uint64_t);
    else if (chType == 'I')
        u64Value = (uint64_t)(int64_t)va_arg(*pArgs, int32_t);
    else
    {
        uint32_t u32Value = va_arg(*pArgs, uint32_t);
        u64Value = cBits == 32 ? u32Value : cBits == 16 ? (uint16_t)u32Value : (uint8_t)u32Value;
    }
    fFlags |= cBits == 64 ? FMT_F_SIZE64 : cBits == 32 ? FMT_F_SIZE32 : cBits == 16 ? FMT_F_SIZE16 : FMT_F_SIZE8;
    if (chType == 'I')
        fFlags |= FMT_F_SIGNED;
    return rtStrFmtOutInteger(out, u64Value, chType == 'X' ? 16 : 10, cchWidth, cchPrecision, fFlags);
}

/** The process's registry of "%R[name]" types; this runtime registers none. */
static const RTStrFmtCustomType *const g_paRtStrFmtCustomTypes = nullptr;
static const size_t g_cRtStrFmtCustomTypes = 0;

const RTStrFmtCustomType *rtStrFmtCustomTypeFind(const RTStrFmtCustomType *paTypes, size_t cTypes, const char *pchName,
                                                 size_t cchName)
{
    size_t iLow = 0;
    size_t iHigh = cTypes;
    while (iLow < iHigh)
    {
        size_t i = iLow + (iHigh - iLow) / 2;
        const RTStrFmtCustomType *pType = &paTypes[i];
        size_t cchCmp = cchName < pType->cchName ? cchName : pType->cchName;
        int iDiff = memcmp(pchName, pType->szName, cchCmp);
        if (iDiff == 0)
            iDiff = cchName < pType->cchName ? -1 : cchName > pType->cchName ? 1 : 0;
        if (iDiff == 0)
            return pType;
        if (iDiff < 0)
            iHigh = i;
        else
            iLow = i + 1;
    }
    return nullptr;
}

/** "%R[name]": *ppszFormat is at the "[". */
static size_t rtStrFmtCustomType(PFNFMTOUTPUT pfnOutput, void *pvArgOutput, const char **ppszFormat, va_list *pArgs,
                                 int cchWidth, int cchPrecision, unsigned fFlags)
{
    const char *pszName = *ppszFormat + 1;
    const char *pszEnd = pszName;
    while (*pszEnd != ']')
    {
        if (*pszEnd == '\0' || *pszEnd == '%' || *pszEnd == '[')
        {
            /* Not a type name: output nothing and go on with what stopped us. */
            *ppszFormat = pszEnd;
            return 0;
        }
        pszEnd++;
    }
    *ppszFormat = pszEnd + 1;
    void *pvValue = va_arg(*pArgs, void *);
    size_t cchName = (size_t)(pszEnd - pszName);

    const RTStrFmtCustomType *pType =
        rtStrFmtCustomTypeFind(g_paRtStrFmtCustomTypes, g_cRtStrFmtCustomTypes, pszName, cchName);
    if (pType)
        return pType->pfnHandler(pfnOutput, pvArgOutput, pszName, pvValue, cchWidth, cchPrecision, fFlags,
                                 pType->pvUser);
    return pfnOutput(pvArgOutput, "<missing:%R[", sizeof("<missing:%R[") - 1) +
           pfnOutput(pvArgOutput, pszName, cchName) + pfnOutput(pvArgOutput, "]>", 2);
}

/** Reads decimal digits, saturating at INT_MAX. */
static int rtStrFmtParseDigits(const char **ppsz)
{
    const char *psz = *ppsz;
    int iValue = 0;
    while (*psz >= '0' && *psz <= '9')
    {
        int iDigit = *psz++ - '0';
        iValue = iValue > (INT_MAX - iDigit) / 10 ? INT_MAX : iValue * 10 + iDigit;
    }
    *ppsz = psz;
    return iValue;
}

/** Character classes of the walk. */
#define RTSTRFMT_CLASS_STOP 1u /**< ends a literal run: '%' and the terminator */
#define RTSTRFMT_CLASS_SPEC 2u /**< starts a flag, width, precision or size */
/** The flag characters carry the index of their flag in these bits. */
#define RTSTRFMT_CLASS_FLAG_SHIFT 2

/** The flags by index, the flag characters in the same order. */
static constexpr unsigned g_afRtStrFmtFlags[] = {0,          FMT_F_BLANK, FMT_F_ALT,     FMT_F_GROUP,
                                                 FMT_F_PLUS, FMT_F_LEFT,  FMT_F_ZERO_PAD};
static constexpr char g_szRtStrFmtFlagChars[] = " #'+-0";

static constexpr struct RTSTRFMTCLASSES
{
    uint8_t ab[256];
    constexpr uint8_t operator[](size_t i) const
    {
        return ab[i];
    }
} g_abRtStrFmtClass = [] {
    RTSTRFMTCLASSES Table{};
    Table.ab[(unsigned char)'\0'] = RTSTRFMT_CLASS_STOP;
    Table.ab[(unsigned char)'%'] = RTSTRFMT_CLASS_STOP;
    for (const char *pch = " #'+-0123456789*.hlLqjztI"; *pch; pch++)
        Table.ab[(unsigned char)*pch] = RTSTRFMT_CLASS_SPEC;
    for (unsigned i = 0; i < sizeof(g_szRtStrFmtFlagChars) - 1; i++)
        Table.ab[(unsigned char)g_szRtStrFmtFlagChars[i]] |= (uint8_t)((i + 1) << RTSTRFMT_CLASS_FLAG_SHIFT);
    return Table;
}();

/** @returns the end of the literal run at @a psz: its '%' or terminator. */
static inline const char *rtStrFmtSkipRun(const char *psz)
{
    /* Short runs are settled by the first four bytes (never looking past
       the one that stops); a longer one is left to the C library's scan,
       which looks at many bytes at once. */
    if (g_abRtStrFmtClass[(unsigned char)psz[0]] & RTSTRFMT_CLASS_STOP)
        return psz;
    if (g_abRtStrFmtClass[(unsigned char)psz[1]] & RTSTRFMT_CLASS_STOP)
        return psz + 1;
    if (g_abRtStrFmtClass[(unsigned char)psz[2]] & RTSTRFMT_CLASS_STOP)
        return psz + 2;
    if (g_abRtStrFmtClass[(unsigned char)psz[3]] & RTSTRFMT_CLASS_STOP)
        return psz + 3;
    return psz + 4 + strcspn(psz + 4, "%");
}

/** The directive parts between "%" and the conversion letter. */
struct RTSTRFMTSPEC
{
    unsigned fFlags;
    int cchWidth;     /**< -1: none */
    int cchPrecision; /**< -1: none */
    char chArgSize;   /**< the size character handed to handlers */
};

/** Parses flags, width, precision and size at @a psz.
 *  @returns the position of the conversion letter. */
static const char *rtStrFmtParseSpec(const char *psz, va_list *pArgs, RTSTRFMTSPEC *pSpec)
{
    unsigned fFlags = 0;
    int cchWidth = -1;
    int cchPrecision = -1;
    char chArgSize = 0;
    /* Flags. */
    while (unsigned iFlag = g_abRtStrFmtClass[(unsigned char)*psz] >> RTSTRFMT_CLASS_FLAG_SHIFT)
    {
        fFlags |= g_afRtStrFmtFlags[iFlag];
        psz++;
    }

    /* Width. */
    if (*psz >= '0' && *psz <= '9')
    {
        cchWidth = rtStrFmtParseDigits(&psz);
        fFlags |= FMT_F_WIDTH;
    }
    else if (*psz == '*')
    {
        psz++;
        int iWidth = va_arg(*pArgs, int);
        if (iWidth < 0)
        {
            fFlags |= FMT_F_LEFT;
            iWidth = iWidth == INT_MIN ? INT_MAX : -iWidth;
        }
        cchWidth = iWidth;
        fFlags |= FMT_F_WIDTH;
    }

    /* Precision. */
    if (*psz == '.')
    {
        psz++;
        fFlags |= FMT_F_PRECISION;
        if (*psz >= '0' && *psz <= '9')
            cchPrecision = rtStrFmtParseDigits(&psz);
        else if (*psz == '*')
        {
            psz++;
            cchPrecision = va_arg(*pArgs, int);
            if (cchPrecision < 0)
                cchPrecision = 0;
        }
        else
            cchPrecision = 0;
    }

    /* Size. */
    switch (*psz)
    {
        case 'h':
            psz++;
            chArgSize = 'h';
            if (*psz == 'h')
            {
                psz++;
                chArgSize = 'H';
            }
            break;
        case 'l':
            psz++;
            chArgSize = 'l';
            if (*psz == 'l')
            {
                psz++;
                chArgSize = 'L';
            }
            break;
        case 'L':
        case 'q':
            psz++;
            chArgSize = 'L';
            break;
        case 'j':
        case 'z':
        case 't': chArgSize = *psz++; break;
        case 'I':
            psz++;
            if (psz[0] == '6' && psz[1] == '4')
            {
                psz += 2;
                chArgSize = 'L';
            }
            else if (psz[0] == '3' && psz[1] == '2')
                psz += 2;
            else
                chArgSize = 'j';
            break;
        default: break;
    }

    pSpec->fFlags = fFlags;
    pSpec->cchWidth = cchWidth;
    pSpec->cchPrecision = cchPrecision;
    pSpec->chArgSize = chArgSize;
    return psz;
}

/** The walk itself; @a pArgs is the walk's own copy of the arguments. The
 *  common pieces go through @a out, the rest through its callback. */
template <class Out>
static size_t rtStrFmtWalk(Out &out, PFNFMTHANDLER pfnFormat, void *pvArgFormat, const char *pszFormat, va_list *pArgs)
{
    PFNFMTOUTPUT pfnOutput = out.pfn();
    void *pvArgOutput = out.pv();
    size_t cchTotal = 0;
    const char *pszRun = pszFormat; /* start of the pending literal run */
    const char *psz = pszFormat;
    for (;;)
    {
        psz = rtStrFmtSkipRun(psz);
        if (*psz == '\0')
            break;

        if (psz != pszRun)
            cchTotal += out.put(pszRun, (size_t)(psz - pszRun));
        psz++;
        if (*psz == '%')
        {
            /* The second '%' starts the next run and goes out as text. */
            pszRun = psz++;
            continue;
        }

        /* Flags, width, precision and size; most directives have none. */
        RTSTRFMTSPEC Spec = {0, -1, -1, 0};
        if (g_abRtStrFmtClass[(unsigned char)*psz] & RTSTRFMT_CLASS_SPEC)
            psz = rtStrFmtParseSpec(psz, pArgs, &Spec);
        unsigned fFlags = Spec.fFlags;
        int cchWidth = Spec.cchWidth;
        int cchPrecision = Spec.cchPrecision;
        char chArgSize = Spec.chArgSize;

        /* Conversion. A directive cut short by the terminator ends the walk. */
        char chConv = *psz;
        if (chConv == '\0')
        {
            pszRun = psz;
            break;
        }
        psz++;
        switch (chConv)
        {
            case 'd':
            case 'i':
            case 'u':
            case 'o':
            case 'x':
            case 'X': cchTotal += rtStrFmtInteger(out, pArgs, chConv, cchWidth, cchPrecision, fFlags, chArgSize); break;

            case 'p': {
                uintptr_t uPtr = (uintptr_t)va_arg(*pArgs, void *);
                if (!(fFlags & FMT_F_WIDTH))
                    cchWidth = (int)sizeof(void *) * 2;
                fFlags |= FMT_F_ZERO_PAD | (sizeof(void *) == 8 ? FMT_F_SIZE64 : FMT_F_SIZE32);
                char szNum[RTSTRFMT_NUM_BUF];
                int cch = RTStrFmtNumber(szNum, uPtr, 16, cchWidth, cchPrecision, fFlags);
                cchTotal += pfnOutput(pvArgOutput, szNum, (size_t)cch);
                break;
            }

            case 'c': {
                char chValue = (char)va_arg(*pArgs, int);
                cchTotal += rtStrFmtPadded(pfnOutput, pvArgOutput, &chValue, 1, 1, cchWidth, fFlags);
                break;
            }

            case 's':
            case 'S': cchTotal += rtStrFmtString(out, pArgs, cchWidth, cchPrecision, fFlags, chArgSize); break;

            case 'a':
            case 'A':
            case 'e':
            case 'E':
            case 'f':
            case 'F':
            case 'g':
            case 'G': {
                double rd = va_arg(*pArgs, double);
                char szNum[RTSTRFMT_NUM_BUF];
                int cch = RTStrFmtFloat(szNum, sizeof(szNum), &rd, cchWidth, cchPrecision, 0);
                cchTotal += pfnOutput(pvArgOutput, szNum, (size_t)cch);
                break;
            }

            case 'N': {
                const char *pszNested = va_arg(*pArgs, const char *);
                va_list *pNestedArgs = va_arg(*pArgs, va_list *);
                if (RT_VALID_PTR(pszNested) && RT_VALID_PTR(pNestedArgs))
                    cchTotal += RTStrFmtV(pfnOutput, pvArgOutput, pfnFormat, pvArgFormat, pszNested, *pNestedArgs);
                break;
            }

            case 'M': {
                const char *pszNext = va_arg(*pArgs, const char *);
                if (RT_VALID_PTR(pszNext))
                    psz = pszNext;
                break;
            }

            case 'R': {
                unsigned cBits;
                if (psz[0] == 'r' && psz[1] == 'c')
                {
                    /* A status name, the most common extension: copied as
                       it is, without the extension dispatch. */
                    psz += 2;
                    int rc = va_arg(*pArgs, int);
                    const char *pchName;
                    size_t cchName = rtErrFindName(rc, &pchName);
                    if (cchName)
                        cchTotal += out.put(pchName, cchName);
                    else
                    {
                        char szBuf[80];
                        cchTotal += RTErrFmtName(rc, pfnOutput, pvArgOutput, szBuf, sizeof(szBuf));
                    }
                }
                else if (unsigned cchType = rtStrFmtSizedType(psz, &cBits))
                {
                    char chType = *psz;
                    psz += cchType;
                    cchTotal += rtStrFmtSizedInteger(out, pArgs, chType, cBits, cchWidth, cchPrecision, fFlags);
                }
                else if (*psz == '[')
                    cchTotal += rtStrFmtCustomType(pfnOutput, pvArgOutput, &psz, pArgs, cchWidth, cchPrecision, fFlags);
                else
                {
                    psz--; /* the extension renderers start at the "R" */
                    cchTotal +=
                        RTStrFmtExtType(pfnOutput, pvArgOutput, &psz, pArgs, cchWidth, cchPrecision, fFlags, chArgSize);
                }
                break;
            }

            default:
                if (pfnFormat)
                {
                    psz--; /* the handler starts at the conversion letter */
                    cchTotal += pfnFormat(pvArgFormat, pfnOutput, pvArgOutput, &psz, pArgs, cchWidth, cchPrecision,
                                          fFlags, chArgSize);
                }
                break;
        }
        pszRun = psz;
    }

    if (psz != pszRun)
        cchTotal += out.put(pszRun, (size_t)(psz - pszRun));
    out.end();
    return cchTotal;
}

RTDECL(size_t)
RTStrFmtV(PFNFMTOUTPUT pfnOutput, void *pvArgOutput, PFNFMTHANDLER pfnFormat, void *pvArgFormat, const char *pszFormat,
          va_list Args)
{
    /* The walk and its helpers take the arguments through a pointer; a
       va_list parameter may be an array type that decays, so work on a
       local copy whose address is a true va_list pointer. */
    va_list ArgsCopy;
    va_copy(ArgsCopy, Args);
    RTSTRFMTCBOUT Out = {pfnOutput, pvArgOutput};
    size_t cch = rtStrFmtWalk(Out, pfnFormat, pvArgFormat, pszFormat, &ArgsCopy);
    va_end(ArgsCopy);
    return cch;
}

void rtStrFmtToBuf(RTSTRFMTBUF *pBuf, const char *pszFormat, va_list *pArgs)
{
    RTSTRFMTBUFOUT Out = {pBuf};
    rtStrFmtWalk(Out, nullptr, nullptr, pszFormat, pArgs);
    *pBuf->pchCur = '\0';
}

RTDECL(size_t)
RTStrFmt(PFNFMTOUTPUT pfnOutput, void *pvArgOutput, PFNFMTHANDLER pfnFormat, void *pvArgFormat, const char *pszFormat,
         ...)
{
    va_list Args;
    va_start(Args, pszFormat);
    size_t cch = RTStrFmtV(pfnOutput, pvArgOutput, pfnFormat, pvArgFormat, pszFormat, Args);
    va_end(Args);
    return cch;
}
