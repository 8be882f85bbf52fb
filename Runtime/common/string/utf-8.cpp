/** @file
 * UTF-8: validation, counting, reading and writing code points, and
 * recoding to UTF-16 and to code points.
 *
 * Every conversion finds the end of its source first (strlen, or memchr
 * bounded by the limit), so the passes that follow work on a known range
 * that holds no NUL and never read beyond it. A conversion then runs two
 * passes: a measuring pass that validates and counts, and a decoding pass
 * into a buffer known to be large enough. The caller's buffer must stay
 * untouched when the source is malformed, which rules out a single pass.
 *
 * The measuring pass first tries a block scanner that can only answer
 * "certainly valid"; whatever it doubts is measured again by the exact
 * rules, which alone decide the status.
 */
#include <zolt/err.h>
#include <zolt/string.h>

#include <string.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "internal/utf8.h"

/** Smallest value each sequence length may carry; anything below is an
 *  overlong form. Indexed by the length in bytes. */
static const RTUNICP g_auRtUtf8MinCp[7] = {0, 0, 0x80, 0x800, 0x10000, 0x200000, 0x4000000};

/** @returns the length of the sequence that @a b starts (1 to 6), or 0 for
 *  a byte that cannot start one: a continuation byte, 0xFE or 0xFF. */
static inline unsigned rtUtf8SeqLength(uint8_t b)
{
    unsigned const cLeadingOnes = (unsigned)__builtin_clz(~((uint32_t)b << 24));
    if (cLeadingOnes == 0)
        return 1;
    return cLeadingOnes == 1 || cLeadingOnes > 6 ? 0 : cLeadingOnes;
}

/**
 * Decodes the sequence at @a pb under the exact rules. Reads no byte at or
 * beyond @a pb + @a cbAvail (cbAvail >= 1) and stops at the first byte
 * that is not a continuation byte, so a terminator inside a sequence ends
 * it. @a fRecode selects the recoding rules (nothing above U+10FFFF) over
 * the validation rules (five- and six-byte forms up to 0x7FFFFFFF).
 * @returns 0 with *pCp and *pcbSeq set; ERR_INVALID_UTF8_ENCODING,
 *          ERR_SURROGATE_CODE_POINT, ERR_INVALID_CODE_POINT or
 *          ERR_CODE_POINT_TOO_LARGE.
 */
static int rtUtf8DecodeSeq(const uint8_t *pb, size_t cbAvail, bool fRecode, RTUNICP *pCp, size_t *pcbSeq)
{
    unsigned const cbSeq = rtUtf8SeqLength(pb[0]);
    if (cbSeq == 1)
    {
        *pCp = pb[0];
        *pcbSeq = 1;
        return SUCCESS;
    }
    if (cbSeq == 0)
        return ERR_INVALID_UTF8_ENCODING;
    RTUNICP uCp = pb[0] & (0x7Fu >> cbSeq);
    for (unsigned i = 1; i < cbSeq; i++)
    {
        if (i >= cbAvail || (pb[i] & 0xC0) != 0x80)
            return ERR_INVALID_UTF8_ENCODING;
        uCp = (uCp << 6) | (pb[i] & 0x3Fu);
    }
    if (uCp < g_auRtUtf8MinCp[cbSeq])
        return ERR_INVALID_UTF8_ENCODING;
    if (fRecode && uCp > 0x10FFFF)
        return ERR_CODE_POINT_TOO_LARGE;
    if (uCp - 0xD800 < 0x800)
        return ERR_SURROGATE_CODE_POINT;
    if (uCp == 0xFFFE || uCp == 0xFFFF)
        return ERR_INVALID_CODE_POINT;
    *pCp = uCp;
    *pcbSeq = cbSeq;
    return SUCCESS;
}

/** @returns the length of @a psz up to its terminator or @a cchMax bytes,
 *  reading nothing beyond either. */
static size_t rtUtf8Extent(const char *psz, size_t cchMax)
{
    if (cchMax == RTSTR_MAX)
        return strlen(psz);
    const char *pchEnd = (const char *)memchr(psz, '\0', cchMax);
    return pchEnd ? (size_t)(pchEnd - psz) : cchMax;
}

/** Counts of a measured range. */
typedef struct RTUTF8MEASURE
{
    size_t cCps; /**< Code points. */
    size_t cwc;  /**< UTF-16 units (code points above U+FFFF count twice). */
} RTUTF8MEASURE;

/**
 * Measures [pb, pb + cb), which holds no NUL, under the exact rules.
 * @returns 0 with *pMeasure set, or the status of the first malformed
 *          sequence.
 */
static int rtUtf8MeasureExact(const uint8_t *pb, size_t cb, bool fRecode, RTUTF8MEASURE *pMeasure)
{
    const uint8_t *const pbEnd = pb + cb;
    size_t cCps = 0;
    size_t cSupplementary = 0;
    while (pb < pbEnd)
    {
        if (*pb < 0x80)
        {
            /* ASCII runs eight bytes at a time where the range allows. */
            size_t cbAscii = 1;
            if (pbEnd - pb >= 8)
            {
                uint64_t u64;
                memcpy(&u64, pb, sizeof(u64));
                if (!(u64 & UINT64_C(0x8080808080808080)))
                    cbAscii = 8;
            }
            pb += cbAscii;
            cCps += cbAscii;
            continue;
        }
        RTUNICP uCp;
        size_t cbSeq;
        int const rc = rtUtf8DecodeSeq(pb, (size_t)(pbEnd - pb), fRecode, &uCp, &cbSeq);
        if (RT_FAILURE(rc))
            return rc;
        pb += cbSeq;
        cCps++;
        cSupplementary += uCp > 0xFFFF;
    }
    pMeasure->cCps = cCps;
    pMeasure->cwc = cCps + cSupplementary;
    return SUCCESS;
}

#if defined(__SSE2__)
#define RT_V8(b) _mm_set1_epi8((char)(b))

/**
 * Checks the 16 bytes at @a pb, which are preceded by three readable bytes,
 * against the shape of well-formed UTF-8 for Unicode without U+FFFE/U+FFFF.
 * The bytes before are loaded rather than shifted in: loads are cheaper.
 * @returns a vector that is zero where no byte is in doubt.
 */
static inline __m128i rtUtf8DoubtsSse2(const uint8_t *pb)
{
    __m128i const vCur = _mm_loadu_si128((const __m128i *)pb);
    __m128i const vPrev1 = _mm_loadu_si128((const __m128i *)(pb - 1));
    __m128i const vPrev2 = _mm_loadu_si128((const __m128i *)(pb - 2));
    __m128i const vPrev3 = _mm_loadu_si128((const __m128i *)(pb - 3));

    /* A byte must be a continuation byte (80..BF, exactly the signed bytes
       below -64) when a lead byte 1, 2 or 3 places before it announces a
       sequence long enough to reach it (C0 and up, E0 and up, F0 and up: a
       saturating subtraction leaves non-zero there), and only then. */
    __m128i const vIsCont = _mm_cmplt_epi8(vCur, RT_V8(0xC0));
    __m128i const vNoneDue = _mm_cmpeq_epi8(
        _mm_or_si128(_mm_or_si128(_mm_subs_epu8(vPrev1, RT_V8(0xBF)), _mm_subs_epu8(vPrev2, RT_V8(0xDF))),
                     _mm_subs_epu8(vPrev3, RT_V8(0xEF))),
        _mm_setzero_si128());
    __m128i vDoubt = _mm_cmpeq_epi8(vIsCont, vNoneDue);

    /* C0 and C1 start only overlong forms; F5..FF start nothing here. */
    vDoubt = _mm_or_si128(vDoubt, _mm_cmpeq_epi8(_mm_and_si128(vCur, RT_V8(0xFE)), RT_V8(0xC0)));
    vDoubt = _mm_or_si128(vDoubt, _mm_subs_epu8(vCur, RT_V8(0xF4)));

    /* The second byte's range after E0 (overlong), ED (surrogates), F0
       (overlong) and F4 (above U+10FFFF). The signed compares are exact for
       continuation bytes; any other byte there is in doubt already. */
    vDoubt =
        _mm_or_si128(vDoubt, _mm_and_si128(_mm_cmpeq_epi8(vPrev1, RT_V8(0xE0)), _mm_cmplt_epi8(vCur, RT_V8(0xA0))));
    vDoubt =
        _mm_or_si128(vDoubt, _mm_and_si128(_mm_cmpeq_epi8(vPrev1, RT_V8(0xED)), _mm_cmpgt_epi8(vCur, RT_V8(0x9F))));
    vDoubt =
        _mm_or_si128(vDoubt, _mm_and_si128(_mm_cmpeq_epi8(vPrev1, RT_V8(0xF0)), _mm_cmplt_epi8(vCur, RT_V8(0x90))));
    vDoubt =
        _mm_or_si128(vDoubt, _mm_and_si128(_mm_cmpeq_epi8(vPrev1, RT_V8(0xF4)), _mm_cmpgt_epi8(vCur, RT_V8(0x8F))));

    /* EF BF BE and EF BF BF: U+FFFE and U+FFFF. */
    return _mm_or_si128(
        vDoubt, _mm_and_si128(_mm_and_si128(_mm_cmpeq_epi8(vPrev2, RT_V8(0xEF)), _mm_cmpeq_epi8(vPrev1, RT_V8(0xBF))),
                              _mm_cmpeq_epi8(_mm_or_si128(vCur, RT_V8(0x01)), RT_V8(0xBF))));
}

/** @returns true if @a v is all zero. */
static inline bool rtUtf8IsZeroSse2(__m128i v)
{
    return _mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_setzero_si128())) == 0xFFFF;
}

/** Running counts of the SSE2 scanner, two 64-bit partial sums each. */
typedef struct RTUTF8SCANSSE2
{
    __m128i vCont;  /**< Continuation bytes. */
    __m128i vLead4; /**< Four-byte lead bytes. */
} RTUTF8SCANSSE2;

/** Checks and counts the 64 bytes at @a pb, which are preceded by three
 *  readable bytes. @returns false on doubt. */
static inline bool rtUtf8ScanRoundSse2(RTUTF8SCANSSE2 *pState, const uint8_t *pb)
{
    __m128i vDoubt = _mm_setzero_si128();
    __m128i vCont = _mm_setzero_si128(); /* per byte lane, 0 to 4 */
    __m128i vLead4 = _mm_setzero_si128();
    for (unsigned off = 0; off < 64; off += 16)
    {
        __m128i const vCur = _mm_loadu_si128((const __m128i *)(pb + off));
        vDoubt = _mm_or_si128(vDoubt, rtUtf8DoubtsSse2(pb + off));
        vCont = _mm_sub_epi8(vCont, _mm_cmplt_epi8(vCur, RT_V8(0xC0)));
        vLead4 = _mm_sub_epi8(vLead4, _mm_cmpeq_epi8(_mm_and_si128(vCur, RT_V8(0xF0)), RT_V8(0xF0)));
    }
    __m128i const vZero = _mm_setzero_si128();
    pState->vCont = _mm_add_epi64(pState->vCont, _mm_sad_epu8(vCont, vZero));
    pState->vLead4 = _mm_add_epi64(pState->vLead4, _mm_sad_epu8(vLead4, vZero));
    return rtUtf8IsZeroSse2(vDoubt);
}

/** @returns the sum of the two 64-bit halves of @a v. */
static inline size_t rtUtf8SumSse2(__m128i v)
{
    uint64_t au64[2];
    memcpy(au64, &v, sizeof(au64));
    return (size_t)(au64[0] + au64[1]);
}

/**
 * Block scanner over [pb, pb + cb), which holds no NUL. It never accepts
 * what the exact rules refuse, but doubts some of what the validation rules
 * accept (five- and six-byte forms, four-byte values above U+10FFFF).
 * @returns true with *pMeasure set if the range is certainly valid under
 *          both rule sets.
 */
static bool rtUtf8MeasureSse2(const uint8_t *pb, size_t cb, RTUTF8MEASURE *pMeasure)
{
    /* Lead bytes among the three bytes before a round that need more bytes
       than they have before it: what stops an ASCII round from being
       skipped unchecked. */
    __m128i const vTailRoom =
        _mm_set_epi8((char)0xBF, (char)0xDF, (char)0xEF, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    RTUTF8SCANSSE2 State = {_mm_setzero_si128(), _mm_setzero_si128()};
    /* Rounds look back into the bytes before them, so the first and the
       last round work on NUL-padded copies. The last holds at least one NUL
       after the range, so a sequence cut short by the end of the range
       shows as a missing continuation byte. */
    uint8_t abPadded[16 + 64];
    size_t off = 0;
    if (cb >= 64)
    {
        memset(abPadded, 0, 16);
        memcpy(&abPadded[16], pb, 64);
        if (!rtUtf8ScanRoundSse2(&State, &abPadded[16]))
            return false;
        for (off = 64; cb - off >= 64; off += 64)
        {
            const __m128i *pv = (const __m128i *)(pb + off);
            __m128i const vAll = _mm_or_si128(_mm_or_si128(_mm_loadu_si128(pv), _mm_loadu_si128(pv + 1)),
                                              _mm_or_si128(_mm_loadu_si128(pv + 2), _mm_loadu_si128(pv + 3)));
            if (!_mm_movemask_epi8(vAll) && rtUtf8IsZeroSse2(_mm_subs_epu8(_mm_loadu_si128(pv - 1), vTailRoom)))
                continue;
            if (!rtUtf8ScanRoundSse2(&State, pb + off))
                return false;
        }
    }
    memset(abPadded, 0, sizeof(abPadded));
    if (off)
        memcpy(abPadded, pb + off - 16, 16);
    memcpy(&abPadded[16], pb + off, cb - off);
    if (!rtUtf8ScanRoundSse2(&State, &abPadded[16]))
        return false;

    pMeasure->cCps = cb - rtUtf8SumSse2(State.vCont);
    pMeasure->cwc = pMeasure->cCps + rtUtf8SumSse2(State.vLead4);
    return true;
}
#undef RT_V8
#endif /* __SSE2__ */

/** Measures [pb, pb + cb), which holds no NUL: the block scanner where it
 *  is certain, the exact rules otherwise. @returns as rtUtf8MeasureExact. */
static int rtUtf8Measure(const uint8_t *pb, size_t cb, bool fRecode, RTUTF8MEASURE *pMeasure)
{
#if defined(__SSE2__)
    if (rtUtf8MeasureSse2(pb, cb, pMeasure))
        return SUCCESS;
#endif
    return rtUtf8MeasureExact(pb, cb, fRecode, pMeasure);
}

/*
 * Validation and lengths.
 */

RTDECL(int) RTStrValidateUtf8(const char *psz, size_t cchMax, uint32_t fFlags)
{
    if (fFlags & ~(RTSTR_VALIDATE_ENCODING_ZERO_TERMINATED | RTSTR_VALIDATE_ENCODING_EXACT_LENGTH))
        return ERR_INVALID_PARAMETER;
    size_t const cch = rtUtf8Extent(psz, cchMax);
    RTUTF8MEASURE Measure;
    int const rc = rtUtf8Measure((const uint8_t *)psz, cch, false /*fRecode*/, &Measure);
    if (RT_FAILURE(rc))
        return rc;
    bool const fTerminated = fFlags & RTSTR_VALIDATE_ENCODING_ZERO_TERMINATED;
    if (fFlags & RTSTR_VALIDATE_ENCODING_EXACT_LENGTH)
    {
        size_t const cbNeeded = cch + fTerminated;
        if (cbNeeded < cchMax)
            return ERR_STR_SHORTER_THAN_SIZE;
        if (cbNeeded > cchMax)
            return ERR_BUFFER_OVERFLOW;
    }
    else if (fTerminated && cch == cchMax)
        return ERR_BUFFER_OVERFLOW;
    return SUCCESS;
}

RTDECL(size_t) RTStrCountCodePoints(const char *psz)
{
    RTUTF8MEASURE Measure;
    int const rc = rtUtf8Measure((const uint8_t *)psz, strlen(psz), false /*fRecode*/, &Measure);
    return RT_SUCCESS(rc) ? Measure.cCps : 0;
}

RTDECL(int) RTStrCountUtf16Units(const char *psz, size_t cchMax, size_t *pcwc)
{
    RTUTF8MEASURE Measure;
    int const rc = rtUtf8Measure((const uint8_t *)psz, rtUtf8Extent(psz, cchMax), true /*fRecode*/, &Measure);
    if (pcwc)
        *pcwc = RT_SUCCESS(rc) ? Measure.cwc : RTSTR_MAX;
    return rc;
}

/*
 * Single code points.
 */

RTDECL(int) RTStrReadCp(const char **ppsz, RTUNICP *pCp)
{
    size_t cchUnlimited = RTSTR_MAX;
    return RTStrReadCpN(ppsz, &cchUnlimited, pCp);
}

RTDECL(int) RTStrReadCpN(const char **ppsz, size_t *pcch, RTUNICP *pCp)
{
    if (!*pcch)
    {
        *pCp = RTUNICP_INVALID;
        return ERR_END_OF_STRING;
    }
    size_t cbSeq;
    int const rc = rtUtf8DecodeSeq((const uint8_t *)*ppsz, *pcch, false /*fRecode*/, pCp, &cbSeq);
    if (RT_FAILURE(rc))
    {
        /* One byte forward, so a caller can resynchronise byte by byte. */
        *pCp = RTUNICP_INVALID;
        cbSeq = 1;
    }
    *ppsz += cbSeq;
    if (*pcch != RTSTR_MAX)
        *pcch -= cbSeq;
    return rc;
}

RTDECL(RTUNICP) RTStrFirstCp(const char *psz)
{
    RTUNICP uCp;
    (void)RTStrReadCp(&psz, &uCp); /* a failure leaves the marker in uCp */
    return uCp;
}

RTDECL(const char *) RTStrStepBackCp(const char *pszStart, const char *psz)
{
    if (psz <= pszStart)
        return pszStart;
    const uint8_t *pb = (const uint8_t *)psz - 1;
    if (*pb < 0x80)
        return (const char *)pb;
    if (*pb >= 0xC0) /* a lead byte with nothing after it */
        return pszStart;
    unsigned cbSeq = 1;
    while ((*pb & 0xC0) == 0x80)
    {
        if (pb == (const uint8_t *)pszStart || ++cbSeq > 7)
            return pszStart;
        pb--;
    }
    /* The lead must announce exactly the bytes found: 110xxxxx two,
       1110xxxx three, ... 11111110 seven. An ASCII byte announces none. */
    unsigned const cLeadingOnes = (unsigned)__builtin_clz(~((uint32_t)*pb << 24));
    return cLeadingOnes == cbSeq ? (const char *)pb : pszStart;
}

RTDECL(char *) RTStrWriteCp(char *psz, RTUNICP uCp)
{
    uint8_t *pb = (uint8_t *)psz;
    if (uCp < 0x80)
        *pb++ = (uint8_t)uCp;
    else if (uCp & 0x80000000)
        *pb++ = 0x7F; /* no UTF-8 form, not even a historic one */
    else
    {
        unsigned cbSeq = 2;
        while (cbSeq < 6 && uCp >= g_auRtUtf8MinCp[cbSeq + 1])
            cbSeq++;
        for (unsigned i = cbSeq - 1; i > 0; i--)
        {
            pb[i] = (uint8_t)(0x80 | (uCp & 0x3F));
            uCp >>= 6;
        }
        pb[0] = (uint8_t)(((0xFF00u >> cbSeq) & 0xFF) | uCp); /* cbSeq leading ones */
        pb += cbSeq;
    }
    return (char *)pb;
}

/*
 * Conversions.
 */

/** Decodes the valid multi-byte sequence at *ppb into one unit, or a
 *  surrogate pair, at *ppwc, and advances both. */
static inline void rtUtf8RecodeMultiByte(const uint8_t **ppb, RTUTF16 **ppwc)
{
    const uint8_t *pb = *ppb;
    RTUTF16 *pwc = *ppwc;
    unsigned const b0 = pb[0];
    if (b0 < 0xE0)
    {
        *pwc++ = (RTUTF16)(((b0 & 0x1F) << 6) | (pb[1] & 0x3F));
        pb += 2;
    }
    else if (b0 < 0xF0)
    {
        *pwc++ = (RTUTF16)(((b0 & 0x0F) << 12) | ((pb[1] & 0x3F) << 6) | (pb[2] & 0x3F));
        pb += 3;
    }
    else
    {
        RTUNICP const uCp =
            (((b0 & 0x07) << 18) | ((pb[1] & 0x3Fu) << 12) | ((pb[2] & 0x3Fu) << 6) | (pb[3] & 0x3Fu)) - 0x10000;
        pwc[0] = (RTUTF16)(0xD800 | (uCp >> 10));
        pwc[1] = (RTUTF16)(0xDC00 | (uCp & 0x3FF));
        pwc += 2;
        pb += 4;
    }
    *ppb = pb;
    *ppwc = pwc;
}

/** Widens the 16 bytes at @a pb into 16 units at @a pwc as if they were
 *  all ASCII. @returns the number of leading ASCII bytes (16 for all);
 *  only that many units are right. */
static inline unsigned rtUtf8WidenBlock(const uint8_t *pb, RTUTF16 *pwc)
{
#if defined(__SSE2__)
    __m128i const vBytes = _mm_loadu_si128((const __m128i *)pb);
    __m128i const vZero = _mm_setzero_si128();
    _mm_storeu_si128((__m128i *)pwc, _mm_unpacklo_epi8(vBytes, vZero));
    _mm_storeu_si128((__m128i *)(pwc + 8), _mm_unpackhi_epi8(vBytes, vZero));
    unsigned const fNonAscii = (unsigned)_mm_movemask_epi8(vBytes);
    return fNonAscii ? (unsigned)__builtin_ctz(fNonAscii) : 16;
#else
    unsigned i = 0;
    for (; i < 16 && pb[i] < 0x80; i++)
        pwc[i] = pb[i];
    return i;
#endif
}

/** Recodes the valid range [pb, pb + cb) into exactly @a cwc units at
 *  @a pwc and terminates them. */
static void rtUtf8RecodeToUtf16(const uint8_t *pb, size_t cb, RTUTF16 *pwc, size_t cwc)
{
    const uint8_t *const pbEnd = pb + cb;
    RTUTF16 *const pwcEnd = pwc + cwc;
    /* Blocks are widened whole while 16 units of the result remain: the
       units past an ASCII run are scratch that the following units
       overwrite, so nothing lands beyond the result. */
    while (pbEnd - pb >= 16 && pwcEnd - pwc >= 16)
    {
        unsigned const cAscii = rtUtf8WidenBlock(pb, pwc);
        pb += cAscii;
        pwc += cAscii;
        if (cAscii < 16)
            do
                rtUtf8RecodeMultiByte(&pb, &pwc);
            while (pb < pbEnd && *pb >= 0x80);
    }
    while (pb < pbEnd)
    {
        if (*pb < 0x80)
            *pwc++ = *pb++;
        else
            rtUtf8RecodeMultiByte(&pb, &pwc);
    }
    *pwc = 0;
}

RTDECL(int) RTStrToUtf16(const char *pszString, RTUTF16 **ppwszString, const char *pszTag)
{
    *ppwszString = nullptr;
    return RTStrToUtf16Ex(pszString, RTSTR_MAX, ppwszString, 0, nullptr, pszTag);
}

RTDECL(int)
RTStrToUtf16Ex(const char *pszString, size_t cchString, RTUTF16 **ppwsz, size_t cwc, size_t *pcwc, const char *pszTag)
{
    const uint8_t *pb = (const uint8_t *)pszString;
    size_t const cb = rtUtf8Extent(pszString, cchString);
    RTUTF8MEASURE Measure;
    int rc = rtUtf8Measure(pb, cb, true /*fRecode*/, &Measure);
    if (RT_FAILURE(rc))
        return rc;
    RTUTF16 *pwszBuf;
    rc = rtUniPickTarget(Measure.cwc, ppwsz, cwc, pcwc, ERR_NO_UTF16_MEMORY, pszTag, &pwszBuf);
    if (RT_FAILURE(rc))
        return rc;
    rtUtf8RecodeToUtf16(pb, cb, pwszBuf, Measure.cwc);
    *ppwsz = pwszBuf;
    return SUCCESS;
}

RTDECL(int)
RTStrToCodePoints(const char *pszString, size_t cchString, RTUNICP **ppaCps, size_t cCps, size_t *pcCps,
                  const char *pszTag)
{
    const uint8_t *pb = (const uint8_t *)pszString;
    size_t const cb = rtUtf8Extent(pszString, cchString);
    RTUTF8MEASURE Measure;
    int rc = rtUtf8Measure(pb, cb, false /*fRecode*/, &Measure);
    if (RT_FAILURE(rc))
        return rc;
    RTUNICP *paBuf;
    rc = rtUniPickTarget(Measure.cCps, ppaCps, cCps, pcCps, ERR_NO_CODE_POINT_MEMORY, pszTag, &paBuf);
    if (RT_FAILURE(rc))
        return rc;
    const uint8_t *const pbEnd = pb + cb;
    RTUNICP *puCp = paBuf;
    while (pb < pbEnd)
    {
        size_t cbSeq = 1;
        (void)rtUtf8DecodeSeq(pb, (size_t)(pbEnd - pb), false /*fRecode*/, puCp++, &cbSeq); /* measured valid */
        pb += cbSeq;
    }
    *puCp = 0;
    *ppaCps = paBuf;
    return SUCCESS;
}

int rtStrValidateAndDup(char **ppszString, const char *pszSource, const char *pszTag)
{
    *ppszString = nullptr;
    int const rc = RTStrValidateUtf8(pszSource, RTSTR_MAX, 0);
    if (RT_FAILURE(rc))
        return rc;
    *ppszString = RTStrDup(pszSource, pszTag);
    return *ppszString ? SUCCESS : ERR_NO_STR_MEMORY;
}
