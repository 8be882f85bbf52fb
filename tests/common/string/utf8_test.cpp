/* UTF-8: validation, counting, code-point reading and writing, recoding to
   UTF-16 and to code points. */
#include <zolt/err.h>
#include <zolt/mem.h>
#include <zolt/string.h>

#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include <vector>

#include "common/string/utftest.h"
#include "heapfault.h"

namespace
{
/* One sequence class: its bytes, the status under the recoding rules
   (conversion to UTF-16) and under the validation rules, and the code
   points the validation rules read when they accept it. */
struct SeqCase
{
    const char *pszName;
    std::string strBytes;
    int rcRecode;
    int rcValidate;
    std::vector<uint32_t> aCps;
};

const SeqCase g_aSeqCases[] = {
    {"empty", "", SUCCESS, SUCCESS, {}},
    {"ascii", "A~\x7F", SUCCESS, SUCCESS, {'A', '~', 0x7F}},
    {"2-byte", "\xC3\xA9", SUCCESS, SUCCESS, {0xE9}},
    {"2-byte min", "\xC2\x80", SUCCESS, SUCCESS, {0x80}},
    {"3-byte", "\xE2\x82\xAC", SUCCESS, SUCCESS, {0x20AC}},
    {"3-byte min", "\xE0\xA0\x80", SUCCESS, SUCCESS, {0x800}},
    {"U+FFFD", "\xEF\xBF\xBD", SUCCESS, SUCCESS, {0xFFFD}},
    {"last before surrogates", "\xED\x9F\xBF", SUCCESS, SUCCESS, {0xD7FF}},
    {"first after surrogates", "\xEE\x80\x80", SUCCESS, SUCCESS, {0xE000}},
    {"4-byte", "\xF0\x9F\x98\x80", SUCCESS, SUCCESS, {0x1F600}},
    {"U+10000", "\xF0\x90\x80\x80", SUCCESS, SUCCESS, {0x10000}},
    {"U+10FFFF", "\xF4\x8F\xBF\xBF", SUCCESS, SUCCESS, {0x10FFFF}},
    {"plane-1 noncharacter", "\xF0\x9F\xBF\xBE", SUCCESS, SUCCESS, {0x1FFFE}},
    {"overlong NUL", "\xC0\x80", ERR_INVALID_UTF8_ENCODING, ERR_INVALID_UTF8_ENCODING, {}},
    {"overlong 2-byte", "\xC1\xBF", ERR_INVALID_UTF8_ENCODING, ERR_INVALID_UTF8_ENCODING, {}},
    {"overlong 3-byte", "\xE0\x9F\xBF", ERR_INVALID_UTF8_ENCODING, ERR_INVALID_UTF8_ENCODING, {}},
    {"overlong 4-byte", "\xF0\x8F\xBF\xBF", ERR_INVALID_UTF8_ENCODING, ERR_INVALID_UTF8_ENCODING, {}},
    {"surrogate D800", "\xED\xA0\x80", ERR_SURROGATE_CODE_POINT, ERR_SURROGATE_CODE_POINT, {}},
    {"surrogate DFFF", "\xED\xBF\xBF", ERR_SURROGATE_CODE_POINT, ERR_SURROGATE_CODE_POINT, {}},
    {"U+FFFE", "\xEF\xBF\xBE", ERR_INVALID_CODE_POINT, ERR_INVALID_CODE_POINT, {}},
    {"U+FFFF", "\xEF\xBF\xBF", ERR_INVALID_CODE_POINT, ERR_INVALID_CODE_POINT, {}},
    {"0x110000", "\xF4\x90\x80\x80", ERR_CODE_POINT_TOO_LARGE, SUCCESS, {0x110000}},
    {"F5 lead", "\xF5\x80\x80\x80", ERR_CODE_POINT_TOO_LARGE, SUCCESS, {0x140000}},
    {"0x1FFFFF", "\xF7\xBF\xBF\xBF", ERR_CODE_POINT_TOO_LARGE, SUCCESS, {0x1FFFFF}},
    {"5-byte 0x200000", "\xF8\x88\x80\x80\x80", ERR_CODE_POINT_TOO_LARGE, SUCCESS, {0x200000}},
    {"5-byte max", "\xFB\xBF\xBF\xBF\xBF", ERR_CODE_POINT_TOO_LARGE, SUCCESS, {0x3FFFFFF}},
    {"5-byte overlong 0x1FFFFF", "\xF8\x87\xBF\xBF\xBF", ERR_INVALID_UTF8_ENCODING, ERR_INVALID_UTF8_ENCODING, {}},
    {"6-byte 0x4000000", "\xFC\x84\x80\x80\x80\x80", ERR_CODE_POINT_TOO_LARGE, SUCCESS, {0x4000000}},
    {"6-byte max", "\xFD\xBF\xBF\xBF\xBF\xBF", ERR_CODE_POINT_TOO_LARGE, SUCCESS, {0x7FFFFFFF}},
    {"6-byte overlong", "\xFC\x83\xBF\xBF\xBF\xBF", ERR_INVALID_UTF8_ENCODING, ERR_INVALID_UTF8_ENCODING, {}},
    {"byte FE", "\xFE\x80\x80\x80\x80\x80\x80", ERR_INVALID_UTF8_ENCODING, ERR_INVALID_UTF8_ENCODING, {}},
    {"byte FF", "\xFF", ERR_INVALID_UTF8_ENCODING, ERR_INVALID_UTF8_ENCODING, {}},
    {"stray continuation", "\x80", ERR_INVALID_UTF8_ENCODING, ERR_INVALID_UTF8_ENCODING, {}},
    {"stray after 2-byte", "\xC3\xA9\xA9", ERR_INVALID_UTF8_ENCODING, ERR_INVALID_UTF8_ENCODING, {}},
    {"2-byte cut", "\xC3", ERR_INVALID_UTF8_ENCODING, ERR_INVALID_UTF8_ENCODING, {}},
    {"3-byte cut", "\xE2\x82", ERR_INVALID_UTF8_ENCODING, ERR_INVALID_UTF8_ENCODING, {}},
    {"4-byte cut", "\xF0\x9F\x98", ERR_INVALID_UTF8_ENCODING, ERR_INVALID_UTF8_ENCODING, {}},
    {"6-byte cut", "\xFD\xBF\xBF\xBF\xBF", ERR_INVALID_UTF8_ENCODING, ERR_INVALID_UTF8_ENCODING, {}},
    {"ASCII inside", "\xE2\x41\xAC", ERR_INVALID_UTF8_ENCODING, ERR_INVALID_UTF8_ENCODING, {}},
    {"lead inside", "\xE2\xC3\xA9", ERR_INVALID_UTF8_ENCODING, ERR_INVALID_UTF8_ENCODING, {}},
    /* The first malformed sequence decides. */
    {"surrogate then overlong", "\xED\xA0\x80\xC0\x80", ERR_SURROGATE_CODE_POINT, ERR_SURROGATE_CODE_POINT, {}},
    {"too large then surrogate",
     "\xF4\x90\x80\x80\xED\xA0\x80",
     ERR_CODE_POINT_TOO_LARGE,
     ERR_SURROGATE_CODE_POINT,
     {}},
};

/* Valid text around each case, so that it lands at every offset of a
   16-byte block and after both ASCII and multi-byte text. */
const std::vector<uint32_t> g_aMixedFill = {0xE9, 'a', 0x4E16, 0x1F600, 'b', 0x3B1};

std::vector<uint32_t> Repeat(const std::vector<uint32_t> &aCps, size_t cTimes)
{
    std::vector<uint32_t> aResult;
    for (size_t i = 0; i < cTimes; i++)
        aResult.insert(aResult.end(), aCps.begin(), aCps.end());
    return aResult;
}

std::vector<uint32_t> Concat(std::vector<uint32_t> a, const std::vector<uint32_t> &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

/* Every conversion and count over one placed source, with the terminator
   (RTSTR_MAX) and with an exact limit on a source without one. */
void CheckPlacedSource(const SeqCase &c, const std::vector<uint32_t> &aPrefix, const std::vector<uint32_t> &aSuffix)
{
    std::string const strSrc = RefUtf8(aPrefix) + c.strBytes + RefUtf8(aSuffix);
    std::vector<uint32_t> const aCps = Concat(Concat(aPrefix, c.aCps), aSuffix);
    SCOPED_TRACE(testing::Message() << c.pszName << " after " << RefUtf8(aPrefix).size() << " bytes, before "
                                    << RefUtf8(aSuffix).size());
    TailBuf<char> const Terminated(strSrc + '\0');
    TailBuf<char> const Unterminated(strSrc);
    for (size_t cchLimit : {RTSTR_MAX, strSrc.size()})
    {
        const char *psz = cchLimit == RTSTR_MAX ? Terminated.get() : Unterminated.get();
        EXPECT_EQ(RTStrValidateUtf8(psz, cchLimit, 0), c.rcValidate);

        size_t cwc = 0;
        EXPECT_EQ(RTStrCountUtf16Units(psz, cchLimit, &cwc), c.rcRecode);
        EXPECT_EQ(cwc, RT_SUCCESS(c.rcRecode) ? RefUtf16(aCps).size() : RTSTR_MAX);

        HeapFaultScope Heap;
        RTUTF16 *pwsz = (RTUTF16 *)&Heap; /* must be replaced */
        EXPECT_EQ(RTStrToUtf16Ex(psz, cchLimit, &pwsz, 0, nullptr), c.rcRecode);
        if (RT_SUCCESS(c.rcRecode))
            EXPECT_EQ(std::u16string(pwsz), RefUtf16(aCps));
        else
            EXPECT_EQ(pwsz, (RTUTF16 *)&Heap) << "malformed source, output untouched";
        if (RT_SUCCESS(c.rcRecode))
            RTMemFree(pwsz);

        RTUNICP *paCps = nullptr;
        size_t cCps = 0;
        EXPECT_EQ(RTStrToCodePoints(psz, cchLimit, &paCps, 0, &cCps), c.rcValidate);
        if (RT_SUCCESS(c.rcValidate))
        {
            EXPECT_EQ(std::vector<uint32_t>(paCps, paCps + cCps), aCps);
            EXPECT_EQ(paCps[cCps], 0u);
            RTMemFree(paCps);
        }
        /* Malformed sources are refused before anything is allocated. */
        EXPECT_EQ(Heap.allocs(), RT_SUCCESS(c.rcRecode) + RT_SUCCESS(c.rcValidate));
    }
    EXPECT_EQ(RTStrCountCodePoints(Terminated.get()), RT_SUCCESS(c.rcValidate) ? aCps.size() : 0);

    RTUTF16 *pwsz = (RTUTF16 *)&pwsz;
    EXPECT_EQ(RTStrToUtf16(Terminated.get(), &pwsz), c.rcRecode);
    if (RT_SUCCESS(c.rcRecode))
        EXPECT_EQ(std::u16string(pwsz), RefUtf16(aCps));
    else
        EXPECT_EQ(pwsz, nullptr);
    RTMemFree(pwsz);
}

TEST(Utf8Sequences, StatusesCountsAndConversions)
{
    for (const SeqCase &c : g_aSeqCases)
        for (size_t cMixed : {0, 1, 4})
            for (size_t cAscii : {0, 1, 2, 3, 12, 13, 14, 15, 16, 17, 31, 46, 47, 48, 61, 62, 63, 64, 65, 200})
                for (const std::vector<uint32_t> &aSuffix : {std::vector<uint32_t>{}, std::vector<uint32_t>{'z'},
                                                             Repeat({'y', 0x20AC}, 20), Repeat({'s'}, 80)})
                    CheckPlacedSource(c, Concat(Repeat(g_aMixedFill, cMixed), Repeat({'x'}, cAscii)), aSuffix);
}

TEST(Utf8Sequences, LimitCutsASequence)
{
    /* E2 82 AC (the euro sign) with limits 0 to 3, never terminated. */
    static const int s_aRc[] = {SUCCESS, ERR_INVALID_UTF8_ENCODING, ERR_INVALID_UTF8_ENCODING, SUCCESS};
    for (size_t cch = 0; cch < RT_ELEMENTS(s_aRc); cch++)
    {
        TailBuf<char> const Src(std::string("\xE2\x82\xAC", cch));
        size_t cwc = 0;
        EXPECT_EQ(RTStrValidateUtf8(Src.get(), cch, 0), s_aRc[cch]) << "limit " << cch;
        EXPECT_EQ(RTStrCountUtf16Units(Src.get(), cch, &cwc), s_aRc[cch]) << "limit " << cch;
        RTUTF16 *pwsz = nullptr;
        EXPECT_EQ(RTStrToUtf16Ex(Src.get(), cch, &pwsz, 0, nullptr), s_aRc[cch]) << "limit " << cch;
        RTMemFree(pwsz);
    }
    /* A limit beyond the terminator stops at the terminator. */
    TailBuf<char> const Short(std::string("\xC3\xA9", 3));
    size_t cwc = 0;
    EXPECT_EQ(RTStrCountUtf16Units(Short.get(), 1000, &cwc), SUCCESS);
    EXPECT_EQ(cwc, 1u);
}

TEST(StrValidateUtf8, Flags)
{
    struct Case
    {
        const char *pszSrc;
        size_t cbBuf; /* bytes in the heap block, the source's first ones */
        size_t cchMax;
        uint32_t fFlags;
        int rc;
    };
    static const Case s_aCases[] = {
        {"abc", 4, RTSTR_MAX, 0, SUCCESS},
        {"abc", 4, 4, RTSTR_VALIDATE_ENCODING_ZERO_TERMINATED, SUCCESS},
        {"abc", 3, 3, RTSTR_VALIDATE_ENCODING_ZERO_TERMINATED, ERR_BUFFER_OVERFLOW},
        {"abc", 3, 3, 0, SUCCESS},
        {"abc", 3, 3, RTSTR_VALIDATE_ENCODING_EXACT_LENGTH, SUCCESS},
        {"abc", 4, 4, RTSTR_VALIDATE_ENCODING_EXACT_LENGTH, ERR_STR_SHORTER_THAN_SIZE},
        {"abc", 2, 2, RTSTR_VALIDATE_ENCODING_EXACT_LENGTH, SUCCESS},
        {"abc", 4, 4, 3, SUCCESS},
        {"abc", 4, 5, 3, ERR_STR_SHORTER_THAN_SIZE}, /* reads stop at the terminator */
        {"abc", 3, 3, 3, ERR_BUFFER_OVERFLOW},
        {"", 0, 0, RTSTR_VALIDATE_ENCODING_ZERO_TERMINATED, ERR_BUFFER_OVERFLOW},
        {"", 1, 1, 3, SUCCESS},
        {"\xC0\x80", 3, 3, 3, ERR_INVALID_UTF8_ENCODING}, /* the encoding is judged first */
        {"abc", 4, 4, 4, ERR_INVALID_PARAMETER},
        {"abc", 4, 4, 0x80000001, ERR_INVALID_PARAMETER},
    };
    for (const Case &c : s_aCases)
    {
        TailBuf<char> const Src(std::string(c.pszSrc, c.cbBuf));
        EXPECT_EQ(RTStrValidateUtf8(Src.get(), c.cchMax, c.fFlags), c.rc)
            << "\"" << c.pszSrc << "\" in " << c.cbBuf << " bytes, limit " << c.cchMax << ", flags " << c.fFlags;
    }
}

TEST(StrReadCp, DecodesAndResynchronises)
{
    struct Case
    {
        const char *pszSrc;
        int rc;
        RTUNICP uCp;
        size_t cbAdvance;
    };
    static const Case s_aCases[] = {
        {"A", SUCCESS, 'A', 1},
        {"", SUCCESS, 0, 1}, /* the terminator reads as code point 0 */
        {"\xC3\xA9x", SUCCESS, 0xE9, 2},
        {"\xF0\x9F\x98\x80", SUCCESS, 0x1F600, 4},
        {"\xF4\x90\x80\x80", SUCCESS, 0x110000, 4},
        {"\xF8\x88\x80\x80\x80", SUCCESS, 0x200000, 5},
        {"\xFD\xBF\xBF\xBF\xBF\xBF", SUCCESS, 0x7FFFFFFF, 6},
        {"\x80\x41", ERR_INVALID_UTF8_ENCODING, RTUNICP_INVALID, 1},
        {"\xC0\x80", ERR_INVALID_UTF8_ENCODING, RTUNICP_INVALID, 1},
        {"\xE2\x82", ERR_INVALID_UTF8_ENCODING, RTUNICP_INVALID, 1},
        {"\xED\xA0\x80", ERR_SURROGATE_CODE_POINT, RTUNICP_INVALID, 1},
        {"\xEF\xBF\xBF", ERR_INVALID_CODE_POINT, RTUNICP_INVALID, 1},
        {"\xFF", ERR_INVALID_UTF8_ENCODING, RTUNICP_INVALID, 1},
    };
    for (const Case &c : s_aCases)
    {
        TailBuf<char> const Src(std::string(c.pszSrc) + '\0');
        const char *psz = Src.get();
        RTUNICP uCp = 0;
        EXPECT_EQ(RTStrReadCp(&psz, &uCp), c.rc) << c.pszSrc;
        EXPECT_EQ(uCp, c.uCp) << c.pszSrc;
        EXPECT_EQ(psz, Src.get() + c.cbAdvance) << c.pszSrc;
        EXPECT_EQ(RTStrFirstCp(Src.get()), c.uCp) << c.pszSrc;
    }

    /* Byte-wise resynchronisation over a stray byte and a cut sequence. */
    const char *psz = "a\x80\xC3\xA9\xE2\x82z";
    std::vector<RTUNICP> aCps;
    RTUNICP uCp;
    do
    {
        (void)RTStrReadCp(&psz, &uCp); /* failures show as the marker */
        aCps.push_back(uCp);
    } while (uCp);
    std::vector<RTUNICP> const aExpected = {'a', RTUNICP_INVALID, 0xE9, RTUNICP_INVALID, RTUNICP_INVALID, 'z', 0};
    EXPECT_EQ(aCps, aExpected);
}

TEST(StrReadCpN, NeverReadsBeyondTheCount)
{
    struct Case
    {
        std::string strSrc; /* unterminated; the count is its size */
        int rc;
        RTUNICP uCp;
        size_t cbAdvance;
    };
    static const Case s_aCases[] = {
        {"", ERR_END_OF_STRING, RTUNICP_INVALID, 0},
        {"\xE2\x82", ERR_INVALID_UTF8_ENCODING, RTUNICP_INVALID, 1},
        {"\xE2\x82\xAC", SUCCESS, 0x20AC, 3},
        {std::string("a\0b", 3), SUCCESS, 'a', 1},
        {std::string("\0", 1), SUCCESS, 0, 1},
        {"\xF8\x88\x80\x80", ERR_INVALID_UTF8_ENCODING, RTUNICP_INVALID, 1},
    };
    for (const Case &c : s_aCases)
    {
        TailBuf<char> const Src(c.strSrc);
        const char *psz = Src.get();
        size_t cch = Src.size();
        RTUNICP uCp = 0;
        EXPECT_EQ(RTStrReadCpN(&psz, &cch, &uCp), c.rc) << c.strSrc;
        EXPECT_EQ(uCp, c.uCp) << c.strSrc;
        EXPECT_EQ(psz, Src.get() + c.cbAdvance) << c.strSrc;
        EXPECT_EQ(cch, Src.size() - c.cbAdvance) << c.strSrc;
    }
}

TEST(StrStepBackCp, FindsTheStartOfTheLastCodePoint)
{
    struct Case
    {
        std::string strSrc;
        size_t offPos;
        size_t offExpected;
    };
    static const Case s_aCases[] = {
        {"ab", 0, 0},
        {"ab", 2, 1},
        {"a\xC3\xA9", 3, 1},
        {"a\xE2\x82\xAC", 4, 1},
        {"a\xF0\x9F\x98\x80", 5, 1},
        {"a\xF0\x9F\x98\x80", 4, 0},                 /* lead announces 4, only 3 found */
        {"a\xC3", 2, 0},                             /* a lead right before the position */
        {"\x80\x80", 2, 0},                          /* the start reached on continuations */
        {"a\xC3\xA9\xA9", 4, 0},                     /* lead announces 2, 3 found */
        {"a\x80", 2, 0},                             /* ASCII before a continuation */
        {"a\xFD\xBF\xBF\xBF\xBF\xBF", 7, 1},         /* six bytes */
        {"a\xFE\xBF\xBF\xBF\xBF\xBF\xBF", 8, 1},     /* seven, as 0xFE announces */
        {"a\xFF\xBF\xBF\xBF\xBF\xBF\xBF\xBF", 9, 0}, /* a seventh continuation byte */
        {"\xE2\x82\xAC\xE2\x82\xAC", 6, 3},
    };
    for (const Case &c : s_aCases)
    {
        TailBuf<char> const Src(c.strSrc);
        EXPECT_EQ(RTStrStepBackCp(Src.get(), Src.get() + c.offPos), Src.get() + c.offExpected)
            << "offset " << c.offPos << " in " << c.strSrc;
    }
}

TEST(StrWriteCp, WritesEveryLength)
{
    struct Case
    {
        RTUNICP uCp;
        const char *pszExpected;
    };
    static const Case s_aCases[] = {
        {0x41, "A"},
        {0x7F, "\x7F"},
        {0x80, "\xC2\x80"},
        {0x7FF, "\xDF\xBF"},
        {0x800, "\xE0\xA0\x80"},
        {0xD800, "\xED\xA0\x80"}, /* written as it is */
        {0xFFFE, "\xEF\xBF\xBE"},
        {0xFFFF, "\xEF\xBF\xBF"},
        {0x10000, "\xF0\x90\x80\x80"},
        {0x10FFFF, "\xF4\x8F\xBF\xBF"},
        {0x110000, "\xF4\x90\x80\x80"},
        {0x1FFFFF, "\xF7\xBF\xBF\xBF"},
        {0x200000, "\xF8\x88\x80\x80\x80"},
        {0x3FFFFFF, "\xFB\xBF\xBF\xBF\xBF"},
        {0x4000000, "\xFC\x84\x80\x80\x80\x80"},
        {0x7FFFFFFF, "\xFD\xBF\xBF\xBF\xBF\xBF"},
        {0x80000000, "\x7F"},
        {0xFFFFFFFF, "\x7F"},
    };
    for (const Case &c : s_aCases)
    {
        char sz[8];
        memset(sz, 'x', sizeof(sz));
        char *pszEnd = RTStrWriteCp(sz, c.uCp);
        EXPECT_EQ(std::string(sz, (size_t)(pszEnd - sz)), c.pszExpected) << std::hex << c.uCp;
        EXPECT_EQ(sz[pszEnd - sz], 'x') << std::hex << c.uCp;
    }
    char sz[2] = {'x', 'x'};
    EXPECT_EQ(RTStrWriteCp(sz, 0), sz + 1);
    EXPECT_EQ(sz[0], '\0');
}

TEST(StrWriteCp, ReadsBackUnderTheValidationRules)
{
    /* A spread over the whole range, denser at the low end. */
    for (RTUNICP uCp = 1; uCp < 0x80000000; uCp = uCp < 0x100 ? uCp + 1 : uCp + (uCp >> 7) + 1)
    {
        if ((uCp >= 0xD800 && uCp <= 0xDFFF) || uCp == 0xFFFE || uCp == 0xFFFF)
            continue;
        char sz[8];
        *RTStrWriteCp(sz, uCp) = '\0';
        const char *psz = sz;
        RTUNICP uCpRead = 0;
        ASSERT_EQ(RTStrReadCp(&psz, &uCpRead), SUCCESS) << std::hex << uCp;
        EXPECT_EQ(uCpRead, uCp);
        EXPECT_EQ(*psz, '\0') << std::hex << uCp;
    }
}

TEST(StrToUtf16Ex, CallerBufferProtocol)
{
    std::vector<uint32_t> const aCps = Concat(Repeat({'G', 'r', 0xFC, 0xDF, 'e', ' '}, 4), {0x4E16, 0x1F600, '!'});
    std::u16string const wstrExpected = RefUtf16(aCps);
    std::string const strSrc = RefUtf8(aCps);
    CheckCallerBufferProtocol<RTUTF16>(
        [&](RTUTF16 **ppwsz, size_t cwc, size_t *pcwc) {
            return RTStrToUtf16Ex(strSrc.c_str(), RTSTR_MAX, ppwsz, cwc, pcwc);
        },
        std::vector<RTUTF16>(wstrExpected.begin(), wstrExpected.end()), ERR_NO_UTF16_MEMORY);

    /* A surrogate pair is never split: 2 units cannot hold it and its
       terminator. */
    RTUTF16 awc[4] = {0xAAAA, 0xAAAA, 0xAAAA, 0xAAAA};
    RTUTF16 *pwc = awc;
    EXPECT_EQ(RTStrToUtf16Ex("\xF0\x9F\x98\x80", RTSTR_MAX, &pwc, 2, nullptr), ERR_BUFFER_OVERFLOW);
    EXPECT_EQ(awc[0], 0xAAAA);
    EXPECT_EQ(RTStrToUtf16Ex("\xF0\x9F\x98\x80", RTSTR_MAX, &pwc, 3, nullptr), SUCCESS);
    EXPECT_EQ(std::u16string(awc, 4), std::u16string({0xD83D, 0xDE00, 0, 0xAAAA}));

    /* A malformed source leaves a caller's buffer and length alone. */
    size_t cwc = 1234;
    awc[0] = 0xAAAA;
    EXPECT_EQ(RTStrToUtf16Ex("ab\xC0\x80", RTSTR_MAX, &pwc, 4, &cwc), ERR_INVALID_UTF8_ENCODING);
    EXPECT_EQ(awc[0], 0xAAAA);
    EXPECT_EQ(cwc, 1234u);
}

TEST(StrToUtf16, OutOfMemory)
{
    HeapFaultScope Heap(0);
    RTUTF16 *pwsz = (RTUTF16 *)&Heap;
    EXPECT_EQ(RTStrToUtf16("abc", &pwsz), ERR_NO_UTF16_MEMORY);
    EXPECT_EQ(pwsz, nullptr);
}

TEST(StrToCodePoints, CallerBufferProtocol)
{
    std::vector<uint32_t> const aCps = {'a', 0xE9, 0x20AC, 0x1F600, 0x110000, 0x7FFFFFFF, 'z'};
    std::string const strSrc = RefUtf8({'a', 0xE9, 0x20AC, 0x1F600}) + "\xF4\x90\x80\x80\xFD\xBF\xBF\xBF\xBF\xBFz";
    CheckCallerBufferProtocol<RTUNICP>(
        [&](RTUNICP **ppaCps, size_t cCps, size_t *pcCps) {
            return RTStrToCodePoints(strSrc.c_str(), RTSTR_MAX, ppaCps, cCps, pcCps);
        },
        aCps, ERR_NO_CODE_POINT_MEMORY);
}

TEST(StrToAnsiCodePage, ValidatesAndConverts)
{
    char *psz = (char *)&psz;
    EXPECT_EQ(RTStrToAnsiCodePage(&psz, "plain ASCII"), SUCCESS);
    EXPECT_STREQ(psz, "plain ASCII");
    RTStrFree(psz);

    EXPECT_EQ(RTStrToAnsiCodePage(&psz, ""), SUCCESS);
    EXPECT_STREQ(psz, "");
    RTStrFree(psz);

    psz = (char *)&psz;
    EXPECT_EQ(RTStrToAnsiCodePage(&psz, "bad \xC0\x80"), ERR_INVALID_UTF8_ENCODING);
    EXPECT_EQ(psz, nullptr);
    EXPECT_EQ(RTStrToAnsiCodePage(&psz, "bad \xED\xA0\x80"), ERR_SURROGATE_CODE_POINT);
    EXPECT_EQ(psz, nullptr);
}
} // namespace
