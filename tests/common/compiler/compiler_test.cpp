/** @file
 * Tests of the compiler-support layer against the C library's own
 * functions: the same sources are compiled here under rtCs_ names (see
 * internal/compiler.h), so each primitive can be compared with the one it
 * stands in for on the same inputs.
 */
#include <gtest/gtest.h>
#include <random>
#include <string.h>
#include <vector>
#include <wchar.h>

#include "internal/compiler.h"

namespace
{

int sign(int i)
{
    return (i > 0) - (i < 0);
}

/* Buffers with room around the area under test, so unaligned starts and
   ends at every offset within a word are reached, and writes outside the
   area would show. */
constexpr size_t TST_PAD = 32;
constexpr size_t TST_MAX = 300;

struct TstBuffers
{
    std::mt19937 Rng{20261210};
    std::vector<unsigned char> abOurs = std::vector<unsigned char>(TST_MAX + 2 * TST_PAD);
    std::vector<unsigned char> abLibc = std::vector<unsigned char>(TST_MAX + 2 * TST_PAD);

    void fill()
    {
        for (size_t i = 0; i < abOurs.size(); i++)
            abOurs[i] = abLibc[i] = (unsigned char)Rng();
    }
};

TEST(CompilerSupport, CopiesMatchTheCLibrary)
{
    TstBuffers Buf;
    std::vector<unsigned char> abSrc(TST_MAX + 2 * TST_PAD);
    for (size_t cb = 0; cb <= TST_MAX; cb += cb < 40 ? 1 : 13)
        for (size_t offDst = 0; offDst < 16; offDst++)
            for (size_t offSrc = 0; offSrc < 16; offSrc += 3)
            {
                Buf.fill();
                for (auto &b : abSrc)
                    b = (unsigned char)Buf.Rng();
                EXPECT_EQ(&Buf.abOurs[offDst], rtCs_memcpy(&Buf.abOurs[offDst], &abSrc[offSrc], cb));
                memcpy(&Buf.abLibc[offDst], &abSrc[offSrc], cb);
                ASSERT_EQ(Buf.abLibc, Buf.abOurs)
                    << "memcpy of " << cb << " bytes, offsets " << offDst << "/" << offSrc;

                int const iByte = (int)(Buf.Rng() & 0x1ff) - 0x80; /* also values outside a byte */
                EXPECT_EQ(&Buf.abOurs[offDst], rtCs_memset(&Buf.abOurs[offDst], iByte, cb));
                memset(&Buf.abLibc[offDst], iByte, cb);
                ASSERT_EQ(Buf.abLibc, Buf.abOurs) << "memset of " << cb << " bytes with " << iByte << " at " << offDst;
            }
}

TEST(CompilerSupport, OverlappingMovesMatchTheCLibrary)
{
    TstBuffers Buf;
    for (size_t cb = 0; cb <= TST_MAX - TST_PAD; cb += cb < 40 ? 1 : 11)
        for (int iShift = -(int)TST_PAD + 1; iShift < (int)TST_PAD; iShift++)
        {
            Buf.fill();
            size_t const offSrc = TST_PAD + (Buf.Rng() % 8);
            size_t const offDst = offSrc + iShift;
            EXPECT_EQ(&Buf.abOurs[offDst], rtCs_memmove(&Buf.abOurs[offDst], &Buf.abOurs[offSrc], cb));
            memmove(&Buf.abLibc[offDst], &Buf.abLibc[offSrc], cb);
            ASSERT_EQ(Buf.abLibc, Buf.abOurs) << "memmove of " << cb << " bytes by " << iShift;
        }
}

TEST(CompilerSupport, SearchesAndComparisonsMatchTheCLibrary)
{
    TstBuffers Buf;
    std::vector<unsigned char> abOther(TST_MAX);
    for (int iRound = 0; iRound < 4000; iRound++)
    {
        Buf.fill();
        size_t const cb = Buf.Rng() % TST_MAX;
        size_t const off = Buf.Rng() % 16;
        const unsigned char *pb = &Buf.abOurs[off];
        /* Equal areas, then one byte changed anywhere (also at either end
           and in the upper half of the byte range). */
        memcpy(abOther.data(), pb, cb);
        EXPECT_EQ(0, rtCs_memcmp(pb, abOther.data(), cb));
        if (cb > 0)
        {
            abOther[Buf.Rng() % cb] = (unsigned char)Buf.Rng();
            EXPECT_EQ(sign(memcmp(pb, abOther.data(), cb)), sign(rtCs_memcmp(pb, abOther.data(), cb)))
                << "memcmp of " << cb << " bytes";
        }
        int const iByte = (int)(Buf.Rng() & 0x1ff) - 0x80;
        EXPECT_EQ(memchr(pb, iByte, cb), rtCs_memchr(pb, iByte, cb)) << "memchr " << iByte << " in " << cb;
    }
}

TEST(CompilerSupport, StringFunctionsMatchTheCLibrary)
{
    const char *const apsz[] = {"", "a", "ab", "abc", "abd", "ab\xff", "ab\x7f", "\x80", "a/b\\c:d", "zzzzzzzzzz"};
    const char *const apszSets[] = {"", "a", "/\\", ":z", "\xff\x80", "xyz"};
    for (const char *psz1 : apsz)
    {
        EXPECT_EQ(strlen(psz1), rtCs_strlen(psz1)) << psz1;
        for (size_t cbMax : {0, 1, 2, 3, 50})
            EXPECT_EQ(strnlen(psz1, cbMax), rtCs_strnlen(psz1, cbMax)) << psz1 << " " << cbMax;
        for (int iChar : {0, (int)'a', (int)'b', (int)'c', 0xff, -1, 0x180, (int)'/'})
            EXPECT_EQ(strchr(psz1, iChar), rtCs_strchr(psz1, iChar)) << psz1 << " " << iChar;
        for (const char *pszSet : apszSets)
        {
            EXPECT_EQ(strcspn(psz1, pszSet), rtCs_strcspn(psz1, pszSet)) << psz1 << " " << pszSet;
            EXPECT_EQ(strpbrk(psz1, pszSet), rtCs_strpbrk(psz1, pszSet)) << psz1 << " " << pszSet;
        }
        for (const char *psz2 : apsz)
        {
            EXPECT_EQ(sign(strcmp(psz1, psz2)), sign(rtCs_strcmp(psz1, psz2))) << psz1 << " " << psz2;
            for (size_t cbMax : {0, 1, 2, 3, 50})
                EXPECT_EQ(sign(strncmp(psz1, psz2, cbMax)), sign(rtCs_strncmp(psz1, psz2, cbMax)))
                    << psz1 << " " << psz2 << " " << cbMax;
        }
    }
    for (const wchar_t *pwsz : {L"", L"a", L"abc\x20ac", L"0123456789"})
        EXPECT_EQ(wcslen(pwsz), rtCs_wcslen(pwsz));
}

TEST(CompilerSupport, DivisionHelpersMatchTheOperators)
{
    std::mt19937_64 Rng(20261210);
    std::vector<uint64_t> au = {0,
                                1,
                                2,
                                3,
                                7,
                                10,
                                0xffffffff,
                                0x100000000,
                                0x100000001,
                                0x7fffffffffffffff,
                                0x8000000000000000,
                                0x8000000000000001,
                                0xfffffffffffffffe,
                                0xffffffffffffffff};
    for (int i = 0; i < 200; i++)
        au.push_back(Rng() >> (Rng() % 64));
    for (uint64_t uNum : au)
        for (uint64_t uDen : au)
        {
            if (uDen == 0)
                continue;
            uint64_t uRem = 0;
            ASSERT_EQ(uNum / uDen, rtCs___udivmoddi4(uNum, uDen, &uRem)) << uNum << " / " << uDen;
            ASSERT_EQ(uNum % uDen, uRem) << uNum << " % " << uDen;
            ASSERT_EQ(uNum / uDen, rtCs___udivdi3(uNum, uDen));
            ASSERT_EQ(uNum % uDen, rtCs___umoddi3(uNum, uDen));

            int64_t const iNum = (int64_t)uNum, iDen = (int64_t)uDen;
            if (iNum == INT64_MIN && iDen == -1)
            {
                /* Overflows: the helpers wrap, as the instruction would. */
                int64_t iRem = 1;
                EXPECT_EQ(INT64_MIN, rtCs___divmoddi4(iNum, iDen, &iRem));
                EXPECT_EQ(0, iRem);
                continue;
            }
            int64_t iRem = 0;
            ASSERT_EQ(iNum / iDen, rtCs___divmoddi4(iNum, iDen, &iRem)) << iNum << " / " << iDen;
            ASSERT_EQ(iNum % iDen, iRem) << iNum << " % " << iDen;
            ASSERT_EQ(iNum / iDen, rtCs___divdi3(iNum, iDen));
            ASSERT_EQ(iNum % iDen, rtCs___moddi3(iNum, iDen));
        }
}

} // namespace
