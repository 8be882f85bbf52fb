/* UTF-16: lengths, conversion to UTF-8, code points and buffers. */
#include <zolt/err.h>
#include <zolt/mem.h>
#include <zolt/string.h>
#include <zolt/utf16.h>

#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>
#include <string>
#include <vector>

#include "common/string/utftest.h"
#include "heapfault.h"

namespace
{
std::string Hex(const std::u16string &wstr)
{
    std::string str;
    char sz[8];
    for (char16_t wc : wstr)
    {
        snprintf(sz, sizeof(sz), "%04X ", (unsigned)wc);
        str += sz;
    }
    return str;
}

struct Utf16Case
{
    std::u16string wstrSrc; /* the units up to the limit; no terminator */
    int rc;
    std::string strUtf8; /* the result on success */
};

const Utf16Case g_aUtf16Cases[] = {
    {u"", SUCCESS, ""},
    {u"A\x7F", SUCCESS, "A\x7F"},
    {u"\x80\x7FF", SUCCESS, "\xC2\x80\xDF\xBF"},
    {u"\x800\x20AC\xD7FF\xE000\xFFFD", SUCCESS, "\xE0\xA0\x80\xE2\x82\xAC\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBD"},
    {{0xD83D, 0xDE00}, SUCCESS, "\xF0\x9F\x98\x80"},
    {{0xD800, 0xDC00, 0xDBFF, 0xDFFF}, SUCCESS, "\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"},
    {{0xDC00}, ERR_INVALID_UTF16_ENCODING, ""},
    {{'a', 0xDFFF, 0xD800}, ERR_INVALID_UTF16_ENCODING, ""},
    {{0xD800}, ERR_INVALID_UTF16_ENCODING, ""}, /* high surrogate at the limit */
    {{0xD800, 'A'}, ERR_INVALID_UTF16_ENCODING, ""},
    {{0xD800, 0xD800, 0xDC00}, ERR_INVALID_UTF16_ENCODING, ""},
    {{0xFFFE}, ERR_INVALID_CODE_POINT, ""},
    {{'x', 0xFFFF}, ERR_INVALID_CODE_POINT, ""},
    {{0xFFFF, 0xDC00}, ERR_INVALID_CODE_POINT, ""}, /* the first fault decides */
    {{0xDC00, 0xFFFF}, ERR_INVALID_UTF16_ENCODING, ""},
};

TEST(Utf16ToUtf8, StatusesAndResults)
{
    for (const Utf16Case &c : g_aUtf16Cases)
        for (size_t cPad : {0, 1, 7, 40})
        {
            /* After valid text, ahead of the limit or the terminator. */
            std::u16string const wstrPad = std::u16string(cPad, u'p') + u"\xE9\xD83D\xDE00";
            std::u16string const wstrSrc = wstrPad + c.wstrSrc;
            std::string const strExpected = std::string(cPad, 'p') + "\xC3\xA9\xF0\x9F\x98\x80" + c.strUtf8;
            SCOPED_TRACE(testing::Message() << Hex(c.wstrSrc) << "after " << wstrPad.size() << " units");
            TailBuf<RTUTF16> const Terminated(wstrSrc + u'\0');
            TailBuf<RTUTF16> const Unterminated(wstrSrc);
            for (size_t cwcLimit : {RTSTR_MAX, wstrSrc.size()})
            {
                const RTUTF16 *pwsz = cwcLimit == RTSTR_MAX ? Terminated.get() : Unterminated.get();
                size_t cch = 0;
                EXPECT_EQ(RTUtf16CountUtf8Bytes(pwsz, cwcLimit, &cch), c.rc);
                EXPECT_EQ(cch, RT_SUCCESS(c.rc) ? strExpected.size() : RTSTR_MAX);

                HeapFaultScope Heap;
                char *psz = (char *)&Heap; /* replaced on success only */
                EXPECT_EQ(RTUtf16ToUtf8Ex(pwsz, cwcLimit, &psz, 0, nullptr), c.rc);
                if (RT_SUCCESS(c.rc))
                {
                    EXPECT_EQ(std::string(psz), strExpected);
                    RTStrFree(psz);
                }
                else
                    EXPECT_EQ(psz, (char *)&Heap);
                EXPECT_EQ(Heap.allocs(), RT_SUCCESS(c.rc) ? 1 : 0);
            }
        }
}

TEST(Utf16ToUtf8, LimitAndTerminator)
{
    /* The limit cuts a pair: the high surrogate is lone. */
    TailBuf<RTUTF16> const Pair(std::u16string{0xD83D, 0xDE00});
    size_t cch = 0;
    EXPECT_EQ(RTUtf16CountUtf8Bytes(Pair.get(), 1, &cch), ERR_INVALID_UTF16_ENCODING);
    EXPECT_EQ(RTUtf16CountUtf8Bytes(Pair.get(), 2, &cch), SUCCESS);
    EXPECT_EQ(cch, 4u);
    /* A terminator before the limit ends the string there, and a high
       surrogate before it is lone. */
    TailBuf<RTUTF16> const Early(std::u16string{'a', 0, 'b', 'c'});
    EXPECT_EQ(RTUtf16CountUtf8Bytes(Early.get(), 100, &cch), SUCCESS);
    EXPECT_EQ(cch, 1u);
    TailBuf<RTUTF16> const HighThenNul(std::u16string{0xD800, 0, 0xDC00});
    EXPECT_EQ(RTUtf16CountUtf8Bytes(HighThenNul.get(), 3, &cch), ERR_INVALID_UTF16_ENCODING);
    EXPECT_EQ(RTUtf16CountUtf8Bytes(HighThenNul.get(), 0, &cch), SUCCESS);
    EXPECT_EQ(cch, 0u);
}

TEST(Utf16ToUtf8Ex, CallerBufferProtocol)
{
    std::vector<uint32_t> const aCps = {'P',     'r', 0xE9, 'c', 'i', 's', ' ', 0x4E16, 0x754C, ' ',
                                        0x1F600, '.', 'x',  'y', 'z', 'w', 'v', 'u',    't',    's'};
    std::u16string const wstrSrc = RefUtf16(aCps);
    std::string const strExpected = RefUtf8(aCps);
    CheckCallerBufferProtocol<char>(
        [&](char **ppsz, size_t cch, size_t *pcch) {
            return RTUtf16ToUtf8Ex(wstrSrc.c_str(), RTSTR_MAX, ppsz, cch, pcch);
        },
        std::vector<char>(strExpected.begin(), strExpected.end()), ERR_NO_STR_MEMORY);
}

TEST(Utf16ReadCp, BothByteOrders)
{
    struct Case
    {
        std::u16string wstrSrc; /* host order; the terminator follows */
        int rc;
        RTUNICP uCp;
        size_t cwcAdvance;
    };
    static const Case s_aCases[] = {
        {u"A", SUCCESS, 'A', 1},
        {u"", SUCCESS, 0, 1},
        {u"\xD7FF", SUCCESS, 0xD7FF, 1},
        {u"\xE000", SUCCESS, 0xE000, 1},
        {u"\xFFFD", SUCCESS, 0xFFFD, 1},
        {{0xD83D, 0xDE00}, SUCCESS, 0x1F600, 2},
        {{0xDBFF, 0xDFFF}, SUCCESS, 0x10FFFF, 2},
        {{0xDC00, 0xDC00}, ERR_INVALID_UTF16_ENCODING, RTUNICP_INVALID, 1},
        {{0xD800}, ERR_INVALID_UTF16_ENCODING, RTUNICP_INVALID, 1}, /* before the terminator */
        {{0xD800, 'a'}, ERR_INVALID_UTF16_ENCODING, RTUNICP_INVALID, 1},
        {u"\xFFFE", ERR_INVALID_CODE_POINT, RTUNICP_INVALID, 1},
        {u"\xFFFF", ERR_INVALID_CODE_POINT, RTUNICP_INVALID, 1},
    };
    for (const Case &c : s_aCases)
    {
        std::u16string wstrSwapped;
        for (char16_t wc : c.wstrSrc)
            wstrSwapped += (char16_t)((wc >> 8) | (wc << 8));
        for (bool fBigEndian : {false, true})
        {
            TailBuf<RTUTF16> const Src((fBigEndian ? wstrSwapped : c.wstrSrc) + u'\0');
            const RTUTF16 *pwsz = Src.get();
            RTUNICP uCp = 0;
            EXPECT_EQ(fBigEndian ? RTUtf16BigReadCp(&pwsz, &uCp) : RTUtf16ReadCp(&pwsz, &uCp), c.rc)
                << Hex(c.wstrSrc) << (fBigEndian ? "big-endian" : "host order");
            EXPECT_EQ(uCp, c.uCp) << Hex(c.wstrSrc) << (fBigEndian ? "big-endian" : "host order");
            EXPECT_EQ(pwsz, Src.get() + c.cwcAdvance) << Hex(c.wstrSrc);
        }
    }
}

TEST(Utf16Length, CountsUnits)
{
    EXPECT_EQ(RTUtf16Length(nullptr), 0u);
    EXPECT_EQ(RTUtf16Length(u""), 0u);
    TailBuf<RTUTF16> const Src(std::u16string{0xD83D, 0xDE00, 'a', 0});
    EXPECT_EQ(RTUtf16Length(Src.get()), 3u);
}

TEST(Utf16Alloc, RoundsUpAndTerminates)
{
    struct Case
    {
        size_t cbAsked;
        size_t cbAllocated;
    };
    static const Case s_aCases[] = {{0, 2}, {1, 2}, {2, 2}, {3, 4}, {10, 10}, {11, 12}};
    for (const Case &c : s_aCases)
    {
        HeapSizeRecorder Sizes;
        RTUTF16 *pwsz = RTUtf16Alloc(c.cbAsked);
        ASSERT_NE(pwsz, nullptr);
        EXPECT_EQ(Sizes.cbLast(), c.cbAllocated) << c.cbAsked;
        EXPECT_EQ(pwsz[0], 0);
        RTMemFree(pwsz);
    }
    EXPECT_EQ(RTUtf16Alloc(RTSTR_MAX), nullptr); /* no even size fits */

    HeapFaultScope Heap(0);
    EXPECT_EQ(RTUtf16Alloc(8), nullptr);
}

TEST(Utf16Dup, CopiesWithTerminator)
{
    TailBuf<RTUTF16> const Src(std::u16string{'a', 0xD83D, 0xDE00, 0});
    HeapSizeRecorder Sizes;
    RTUTF16 *pwsz = RTUtf16Dup(Src.get());
    ASSERT_NE(pwsz, nullptr);
    EXPECT_EQ(Sizes.cbLast(), 8u);
    EXPECT_EQ(std::u16string(pwsz), std::u16string(Src.get()));
    RTMemFree(pwsz);

    HeapFaultScope Heap(0);
    EXPECT_EQ(RTUtf16Dup(Src.get()), nullptr);
}

TEST(Utf16Realloc, SizesStatusesAndTerminators)
{
    /* Fresh block: zero units at the start and the end. */
    RTUTF16 *pwsz = nullptr;
    ASSERT_EQ(RTUtf16Realloc(&pwsz, 7), SUCCESS);
    ASSERT_NE(pwsz, nullptr);
    EXPECT_EQ(pwsz[0], 0);
    EXPECT_EQ(pwsz[3], 0);

    /* Growing keeps the contents and terminates at the new end. */
    pwsz[0] = 'a';
    pwsz[1] = 'b';
    pwsz[2] = 'c';
    ASSERT_EQ(RTUtf16Realloc(&pwsz, 12), SUCCESS);
    EXPECT_EQ(std::u16string(pwsz, 3), u"abc");
    EXPECT_EQ(pwsz[5], 0);

    /* Shrinking terminates inside the old text. */
    ASSERT_EQ(RTUtf16Realloc(&pwsz, 4), SUCCESS);
    EXPECT_EQ(std::u16string(pwsz), u"a");

    /* A failed resize: its status, the block untouched and still owned. */
    {
        HeapFaultScope Heap(0);
        RTUTF16 *pwszOld = pwsz;
        EXPECT_EQ(RTUtf16Realloc(&pwsz, 100), ERR_NO_STR_MEMORY);
        EXPECT_EQ(pwsz, pwszOld);
        EXPECT_EQ(std::u16string(pwsz), u"a");
        EXPECT_EQ(RTUtf16Realloc(&pwsz, RTSTR_MAX), ERR_NO_STR_MEMORY);
        EXPECT_EQ(pwsz, pwszOld);
    }

    /* Size 0 frees and nulls. */
    {
        HeapFaultScope Heap;
        EXPECT_EQ(RTUtf16Realloc(&pwsz, 0), SUCCESS);
        EXPECT_EQ(pwsz, nullptr);
        EXPECT_EQ(Heap.frees(), 1);
        EXPECT_EQ(RTUtf16Realloc(&pwsz, 0), SUCCESS);
        EXPECT_EQ(pwsz, nullptr);
    }

    /* A fresh allocation that fails. */
    HeapFaultScope Heap(0);
    EXPECT_EQ(RTUtf16Realloc(&pwsz, 8), ERR_NO_UTF16_MEMORY);
    EXPECT_EQ(pwsz, nullptr);
}

TEST(Utf16RoundTrip, ThroughUtf8)
{
    /* Every unit class, both directions, exactly. */
    std::vector<uint32_t> aCps;
    for (uint32_t uCp = 1; uCp <= 0x10FFFF; uCp += uCp < 0x3000 ? 1 : 97)
        if ((uCp < 0xD800 || uCp > 0xDFFF) && uCp != 0xFFFE && uCp != 0xFFFF)
            aCps.push_back(uCp);
    std::u16string const wstrSrc = RefUtf16(aCps);
    char *psz = nullptr;
    ASSERT_EQ(RTUtf16ToUtf8Ex(wstrSrc.c_str(), RTSTR_MAX, &psz, 0, nullptr), SUCCESS);
    EXPECT_EQ(std::string(psz), RefUtf8(aCps));
    RTUTF16 *pwsz = nullptr;
    ASSERT_EQ(RTStrToUtf16(psz, &pwsz), SUCCESS);
    EXPECT_TRUE(std::u16string(pwsz) == wstrSrc);
    RTStrFree(psz);
    RTMemFree(pwsz);
}
} // namespace
