/** @file
 * Formatter internals shared by the core walk, the extension renderers and
 * the status rendering.
 */
#ifndef ZOLT_INTERNAL_STRFORMAT_H
#define ZOLT_INTERNAL_STRFORMAT_H

#include <zolt/strformat.h>

#include <string.h>

/** Size of the work buffers of the number and status renderers. */
#define RTSTRFMT_NUM_BUF 64
/** The longest text RTStrFmtNumber writes; its buffer holds one more byte. */
#define RTSTRFMT_NUM_MAX 63

/** Copies the small pieces most output consists of without a library call:
 *  two fixed-size moves (up to 32 bytes) that overlap when the piece is
 *  shorter than both.
 *  Reads and writes exactly @a cb bytes. */
inline void rtStrFmtCopy(char *pchDst, const char *pchSrc, size_t cb)
{
    if (cb > 16 && cb <= 32)
    {
        struct RTSTRFMTCHUNK
        {
            char ab[16];
        } u1, u2;
        memcpy(&u1, pchSrc, 16);
        memcpy(&u2, pchSrc + cb - 16, 16);
        memcpy(pchDst, &u1, 16);
        memcpy(pchDst + cb - 16, &u2, 16);
    }
    else if (cb >= 8 && cb <= 16)
    {
        uint64_t u1, u2;
        memcpy(&u1, pchSrc, 8);
        memcpy(&u2, pchSrc + cb - 8, 8);
        memcpy(pchDst, &u1, 8);
        memcpy(pchDst + cb - 8, &u2, 8);
    }
    else if (cb >= 4 && cb < 8)
    {
        uint32_t u1, u2;
        memcpy(&u1, pchSrc, 4);
        memcpy(&u2, pchSrc + cb - 4, 4);
        memcpy(pchDst, &u1, 4);
        memcpy(pchDst + cb - 4, &u2, 4);
    }
    else if (cb >= 2 && cb < 4)
    {
        uint16_t u1, u2;
        memcpy(&u1, pchSrc, 2);
        memcpy(&u2, pchSrc + cb - 2, 2);
        memcpy(pchDst, &u1, 2);
        memcpy(pchDst + cb - 2, &u2, 2);
    }
    else if (cb == 1)
        *pchDst = *pchSrc;
    else if (cb)
        memcpy(pchDst, pchSrc, cb);
}

/** "00" to "99", for writing decimal digits two at a time. */
inline constexpr char g_achRtStrFmtTwoDigits[] = "00010203040506070809"
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
 *  divide, and splitting off four digits at a time gives two pairs whose
 *  divisions do not wait for each other. @returns the first digit. */
inline char *rtStrFmtDecimal32(char *pchEnd, uint32_t u)
{
    while (u >= 10000)
    {
        uint32_t uLow = u % 10000;
        u /= 10000;
        pchEnd -= 4;
        memcpy(pchEnd, &g_achRtStrFmtTwoDigits[(uLow / 100) * 2], 2);
        memcpy(pchEnd + 2, &g_achRtStrFmtTwoDigits[(uLow % 100) * 2], 2);
    }
    if (u >= 100)
    {
        unsigned i = (u % 100) * 2;
        u /= 100;
        pchEnd -= 2;
        memcpy(pchEnd, &g_achRtStrFmtTwoDigits[i], 2);
    }
    if (u >= 10)
    {
        pchEnd -= 2;
        memcpy(pchEnd, &g_achRtStrFmtTwoDigits[u * 2], 2);
    }
    else
        *--pchEnd = (char)('0' + u);
    return pchEnd;
}

/** Writes the decimal digits of @a u backwards, ending just before
 *  @a pchEnd (at most 20 of them). @returns the first digit. */
char *rtStrFmtDecimal(char *pchEnd, uint64_t u);

/** rtStrFmtDecimal with a blank before every fourth, seventh, ... digit
 *  counted from the right (at most 26 bytes). @returns the first digit. */
char *rtStrFmtDecimalGrouped(char *pchEnd, uint64_t u);

/**
 * RTStrFmtNumber without the terminator: writes exactly the text (at most
 * RTSTRFMT_NUM_MAX bytes, nothing after it) at @a pch, so that it can go
 * straight into an output buffer. @returns its length.
 */
int rtStrFmtNumberText(char *pch, uint64_t u64Value, unsigned uBase, int cchWidth, int cchPrecision, unsigned fFlags);

/** The number of decimal digits of @a u (1 for 0). */
inline unsigned rtStrFmtDecimalLen(uint64_t u)
{
    /* The bit length gives the digit count or one less; one compare with
       the next power of ten settles it. The first entry is 0 so that the
       value 0 counts one digit. */
    static const uint64_t s_au64Pow10[20] = {0,
                                             10,
                                             100,
                                             1000,
                                             10000,
                                             100000,
                                             1000000,
                                             10000000,
                                             100000000,
                                             1000000000,
                                             UINT64_C(10000000000),
                                             UINT64_C(100000000000),
                                             UINT64_C(1000000000000),
                                             UINT64_C(10000000000000),
                                             UINT64_C(100000000000000),
                                             UINT64_C(1000000000000000),
                                             UINT64_C(10000000000000000),
                                             UINT64_C(100000000000000000),
                                             UINT64_C(1000000000000000000),
                                             UINT64_C(10000000000000000000)};
    unsigned cBits = 64 - (unsigned)__builtin_clzll(u | 1);
    unsigned i = (cBits * 1233) >> 12;
    return i + (u >= s_au64Pow10[i]);
}

/**
 * Output straight into a caller's buffer, for the buffer front-ends: the
 * walk writes every piece into place instead of handing it to a callback.
 * Pieces are cut where the buffer ends (one byte stays for the terminator);
 * the total counts them uncut.
 */
struct RTSTRFMTBUF
{
    char *pchCur;    /**< where the next byte goes */
    char *pchLast;   /**< the buffer's last byte, kept for the terminator */
    size_t cchTotal; /**< length of all pieces, cut or not */

    /** Copies what fits of a piece. */
    void put(const char *pch, size_t cch)
    {
        cchTotal += cch;
        size_t cchFree = (size_t)(pchLast - pchCur);
        if (cch > cchFree)
            cch = cchFree;
        rtStrFmtCopy(pchCur, pch, cch);
        pchCur += cch;
    }
};

/**
 * Formats into @a pBuf (no handler) and terminates the text there. The
 * buffer must have room for the terminator at least. The arguments are
 * taken from @a pArgs, which is left past them: a caller with its own
 * va_start list passes it directly, one holding a va_list parameter passes
 * a copy.
 */
void rtStrFmtToBuf(RTSTRFMTBUF *pBuf, const char *pszFormat, va_list *pArgs);

/** Outputs @a cch blanks. @returns the callback results' sum. */
size_t rtStrFmtBlanks(PFNFMTOUTPUT pfnOutput, void *pvArgOutput, size_t cch);

/**
 * Outputs @a cch bytes at @a pch as one piece, padded with blanks to
 * @a cchWidth positions (before it, or after it with FMT_F_LEFT).
 * @a cchShown is the number of positions the text occupies (its character
 * count), which is what the width is measured against.
 */
size_t rtStrFmtPadded(PFNFMTOUTPUT pfnOutput, void *pvArgOutput, const char *pch, size_t cch, size_t cchShown,
                      int cchWidth, unsigned fFlags);

/** Writes "<" + the low 32 bits of @a pv as 8 hex digits + @a pszMarker +
 *  ">" into @a pszBuf (at least 16 bytes more than the marker).
 *  @returns the length. */
size_t rtStrFmtBadPtrText(char *pszBuf, const void *pv, const char *pszMarker);

/** Outputs the bad-pointer text of rtStrFmtBadPtrText as one piece. */
size_t rtStrFmtBadPtr(PFNFMTOUTPUT pfnOutput, void *pvArgOutput, const void *pv, const char *pszMarker);

/**
 * Outputs UTF-16 text (host or big-endian units) as UTF-8, one piece per
 * character, up to a zero unit, a decoding failure or @a cchPrecision
 * characters, padded to @a cchWidth characters. @a pwsz must be valid.
 */
size_t rtStrFmtUtf16(PFNFMTOUTPUT pfnOutput, void *pvArgOutput, const RTUTF16 *pwsz, bool fBigEndian, int cchWidth,
                     int cchPrecision, unsigned fFlags);

/**
 * Looks up @a pchName (@a cchName bytes) in a registry of custom types
 * sorted by name (compared over the shorter length, then by length).
 * @returns the entry, or null.
 */
const RTStrFmtCustomType *rtStrFmtCustomTypeFind(const RTStrFmtCustomType *paTypes, size_t cTypes, const char *pchName,
                                                 size_t cchName);

/** Outputs the text RTStrPrintf makes of the arguments (at most 79 bytes)
 *  as one piece. */
size_t rtStrFmtOutPrintf(PFNFMTOUTPUT pfnOutput, void *pvArgOutput, const char *pszFormat, ...);

/**
 * Collects small pieces of output and passes them on in larger ones, so
 * that renderers producing text byte by byte do not call the output
 * callback for every byte.
 */
struct RTSTRFMTSINK
{
    PFNFMTOUTPUT pfnOutput;
    void *pvArgOutput;
    size_t cchTotal; /**< the callback results so far */
    size_t cchBuf;
    char achBuf[120];

    RTSTRFMTSINK(PFNFMTOUTPUT pfn, void *pv) : pfnOutput(pfn), pvArgOutput(pv), cchTotal(0), cchBuf(0)
    {
    }
    void put(const char *pch, size_t cch)
    {
        if (cch <= sizeof(achBuf) - cchBuf)
        {
            memcpy(&achBuf[cchBuf], pch, cch);
            cchBuf += cch;
        }
        else
            putSlow(pch, cch);
    }
    /** put() for a piece that does not fit what is left of the buffer. */
    void putSlow(const char *pch, size_t cch);
    void put(char ch)
    {
        if (cchBuf == sizeof(achBuf))
            flush();
        achBuf[cchBuf++] = ch;
    }
    void flush();
    /** Flushes and returns the callback results' sum. */
    size_t done()
    {
        flush();
        return cchTotal;
    }
};

/**
 * A family renderer of RTStrFmtExtType: called with *ppszFormat at the
 * family letter (after "R"); advances it past what it consumed.
 */
typedef size_t FNRTSTRFMTEXT(PFNFMTOUTPUT pfnOutput, void *pvArgOutput, const char **ppszFormat, va_list *pArgs,
                             int cchWidth, int cchPrecision, unsigned fFlags, char chArgSize);

FNRTSTRFMTEXT rtStrFmtExtTime;     /**< "D": time spans */
FNRTSTRFMTEXT rtStrFmtExtEscape;   /**< "M": escaped strings */
FNRTSTRFMTEXT rtStrFmtExtBaseName; /**< "b": base names, big-endian UTF-16 */
FNRTSTRFMTEXT rtStrFmtExtFnName;   /**< "f": function names */
FNRTSTRFMTEXT rtStrFmtExtHex;      /**< "h": hex dumps and sizes */
FNRTSTRFMTEXT rtStrFmtExtRegister; /**< "A": processor registers */
FNRTSTRFMTEXT rtStrFmtExtStatus;   /**< "r", "w": status codes */

#endif /* ZOLT_INTERNAL_STRFORMAT_H */
