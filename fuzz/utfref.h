/* Fuzz oracle: naive reference decoders for UTF-8 (both rule sets) and
   UTF-16, written for clarity rather than speed, and a trap that stops the
   fuzzer with a message when an expectation fails. */
#ifndef ZOLT_FUZZ_UTFREF_H
#define ZOLT_FUZZ_UTFREF_H

#include <zolt/err.h>

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <vector>

#define FUZZ_CHECK(expr)                                                                                               \
    do                                                                                                                 \
    {                                                                                                                  \
        if (!(expr))                                                                                                   \
        {                                                                                                              \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #expr);                                   \
            abort();                                                                                                   \
        }                                                                                                              \
    } while (0)

/** Decodes the one sequence at @a pb (at most @a cb bytes, cb >= 1) under
 *  the recoding rules (@a fRecode) or the validation rules.
 *  @returns its status; on success *puCp and *pcbSeq. */
inline int RefDecodeUtf8One(const uint8_t *pb, size_t cb, bool fRecode, uint32_t *puCp, size_t *pcbSeq)
{
    uint8_t const b = pb[0];
    size_t cbSeq;
    uint32_t uCp, uMin;
    if (b < 0x80)
        cbSeq = 1, uCp = b, uMin = 0;
    else if (b >= 0xC0 && b < 0xE0)
        cbSeq = 2, uCp = b & 0x1F, uMin = 0x80;
    else if (b >= 0xE0 && b < 0xF0)
        cbSeq = 3, uCp = b & 0x0F, uMin = 0x800;
    else if (b >= 0xF0 && b < 0xF8)
        cbSeq = 4, uCp = b & 0x07, uMin = 0x10000;
    else if (b >= 0xF8 && b < 0xFC)
        cbSeq = 5, uCp = b & 0x03, uMin = 0x200000;
    else if (b >= 0xFC && b < 0xFE)
        cbSeq = 6, uCp = b & 0x01, uMin = 0x4000000;
    else
        return ERR_INVALID_UTF8_ENCODING;
    for (size_t i = 1; i < cbSeq; i++)
    {
        if (i >= cb || (pb[i] & 0xC0) != 0x80)
            return ERR_INVALID_UTF8_ENCODING;
        uCp = uCp << 6 | (pb[i] & 0x3F);
    }
    if (uCp < uMin)
        return ERR_INVALID_UTF8_ENCODING;
    if (fRecode && uCp > 0x10FFFF)
        return ERR_CODE_POINT_TOO_LARGE;
    if (uCp >= 0xD800 && uCp <= 0xDFFF)
        return ERR_SURROGATE_CODE_POINT;
    if (uCp == 0xFFFE || uCp == 0xFFFF)
        return ERR_INVALID_CODE_POINT;
    *puCp = uCp;
    *pcbSeq = cbSeq;
    return SUCCESS;
}

/** Result of a reference decode: the status of the first malformed
 *  sequence (or 0) and the code points before it. */
struct RefText
{
    int rc = SUCCESS;
    std::vector<uint32_t> aCps;
};

/** Decodes up to the first NUL or @a cb bytes. */
inline RefText RefDecodeUtf8(const uint8_t *pb, size_t cb, bool fRecode)
{
    RefText Result;
    for (size_t off = 0; off < cb && pb[off] && Result.rc == SUCCESS;)
    {
        uint32_t uCp;
        size_t cbSeq;
        Result.rc = RefDecodeUtf8One(pb + off, cb - off, fRecode, &uCp, &cbSeq);
        if (Result.rc == SUCCESS)
        {
            Result.aCps.push_back(uCp);
            off += cbSeq;
        }
    }
    return Result;
}

/** Decodes up to the first zero unit or @a cwc units. */
inline RefText RefDecodeUtf16(const char16_t *pwc, size_t cwc)
{
    RefText Result;
    for (size_t i = 0; i < cwc && pwc[i]; i++)
    {
        uint32_t const wc = pwc[i];
        if (wc >= 0xD800 && wc <= 0xDBFF && i + 1 < cwc && pwc[i + 1] >= 0xDC00 && pwc[i + 1] <= 0xDFFF)
        {
            Result.aCps.push_back(0x10000 + ((wc - 0xD800) << 10) + (pwc[i + 1] - 0xDC00));
            i++;
        }
        else if (wc >= 0xD800 && wc <= 0xDFFF)
        {
            Result.rc = ERR_INVALID_UTF16_ENCODING;
            break;
        }
        else if (wc >= 0xFFFE)
        {
            Result.rc = ERR_INVALID_CODE_POINT;
            break;
        }
        else
            Result.aCps.push_back(wc);
    }
    return Result;
}

/** Encodes valid code points (up to 0x7FFFFFFF) in UTF-8 and UTF-16. */
inline std::string RefEncodeUtf8(const std::vector<uint32_t> &aCps)
{
    std::string str;
    for (uint32_t uCp : aCps)
    {
        if (uCp < 0x80)
        {
            str += (char)uCp;
            continue;
        }
        size_t cb = uCp < 0x800 ? 2 : uCp < 0x10000 ? 3 : uCp < 0x200000 ? 4 : uCp < 0x4000000 ? 5 : 6;
        std::string strSeq(cb, '\0');
        for (size_t i = cb - 1; i > 0; i--, uCp >>= 6)
            strSeq[i] = (char)(0x80 | (uCp & 0x3F));
        strSeq[0] = (char)((0xFF00 >> cb) | uCp);
        str += strSeq;
    }
    return str;
}

inline std::u16string RefEncodeUtf16(const std::vector<uint32_t> &aCps)
{
    std::u16string str;
    for (uint32_t uCp : aCps)
        if (uCp < 0x10000)
            str += (char16_t)uCp;
        else
            str += {(char16_t)(0xD800 + ((uCp - 0x10000) >> 10)), (char16_t)(0xDC00 + (uCp & 0x3FF))};
    return str;
}

#endif /* ZOLT_FUZZ_UTFREF_H */
