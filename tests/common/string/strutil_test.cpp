/* Heap strings, bounded copy and append, comparisons. */
#include <zolt/err.h>
#include <zolt/mem.h>
#include <zolt/string.h>

#include <gtest/gtest.h>
#include <memory>
#include <string.h>
#include <string>

#include "heapfault.h"

namespace
{
/* A heap buffer of exactly cb bytes filled with 'x', so that ASan catches
   any write or read past its end. A size of 0 still gets one byte, also 'x',
   to show that nothing was written. */
struct ExactBuf
{
    explicit ExactBuf(size_t cb) : cb(cb), p(new char[cb ? cb : 1])
    {
        memset(p.get(), 'x', cb ? cb : 1);
    }
    size_t cb;
    std::unique_ptr<char[]> p;
};

TEST(StrCopy, TruncationRules)
{
    struct Case
    {
        const char *pszSrc;
        size_t cbDst;
        int rc;
        const char *pszResult; /* null: buffer untouched */
    };
    static const Case s_aCases[] = {
        {"abc", 4, SUCCESS, "abc"},              /* length size - 1 fits */
        {"abcd", 4, ERR_BUFFER_OVERFLOW, "abc"}, /* length == size */
        {"abcdefgh", 4, ERR_BUFFER_OVERFLOW, "abc"},
        {"", 1, SUCCESS, ""},
        {"a", 1, ERR_BUFFER_OVERFLOW, ""},
        {"abc", 0, ERR_BUFFER_OVERFLOW, nullptr}, /* size 0 writes nothing */
    };
    for (const Case &c : s_aCases)
    {
        ExactBuf buf(c.cbDst);
        EXPECT_EQ(RTStrCopy(buf.p.get(), c.cbDst, c.pszSrc), c.rc) << c.pszSrc << " into " << c.cbDst;
        if (c.pszResult)
            EXPECT_STREQ(buf.p.get(), c.pszResult) << c.pszSrc << " into " << c.cbDst;
        else
            EXPECT_EQ(buf.p[0], 'x');
    }
}

TEST(StrCopyEx, LimitsTheSource)
{
    char sz[8];
    EXPECT_EQ(RTStrCopyEx(sz, sizeof(sz), "abcdef", 3), SUCCESS);
    EXPECT_STREQ(sz, "abc");
    EXPECT_EQ(RTStrCopyEx(sz, 3, "abcdef", 3), ERR_BUFFER_OVERFLOW);
    EXPECT_STREQ(sz, "ab");
    /* The source need not be terminated within the maximum. */
    static const char s_achUnterminated[3] = {'x', 'y', 'z'};
    EXPECT_EQ(RTStrCopyEx(sz, sizeof(sz), s_achUnterminated, sizeof(s_achUnterminated)), SUCCESS);
    EXPECT_STREQ(sz, "xyz");
}

TEST(StrCat, AppendRules)
{
    char sz[6];
    strcpy(sz, "ab");
    EXPECT_EQ(RTStrCat(sz, sizeof(sz), "cd"), SUCCESS);
    EXPECT_STREQ(sz, "abcd");
    EXPECT_EQ(RTStrCat(sz, sizeof(sz), "efg"), ERR_BUFFER_OVERFLOW);
    EXPECT_STREQ(sz, "abcde"); /* as much as fits, terminated */

    /* Full buffer: "" still fits, one more byte does not and changes nothing. */
    EXPECT_EQ(RTStrCat(sz, sizeof(sz), ""), SUCCESS);
    EXPECT_EQ(RTStrCat(sz, sizeof(sz), "z"), ERR_BUFFER_OVERFLOW);
    EXPECT_STREQ(sz, "abcde");

    /* No terminator within the size: refused, untouched. */
    ExactBuf buf(4);
    EXPECT_EQ(RTStrCat(buf.p.get(), buf.cb, "a"), ERR_INVALID_PARAMETER);
    EXPECT_EQ(memcmp(buf.p.get(), "xxxx", 4), 0);
    EXPECT_EQ(RTStrCat(buf.p.get(), 0, "a"), ERR_INVALID_PARAMETER);
}

TEST(StrCat, BuildsAParameterStringUntilItOverflows)
{
    /* The launcher's pattern: repeated appends into a fixed buffer; the first
       append that does not fit reports it and leaves a terminated prefix. */
    char sz[16] = "";
    int rc = SUCCESS;
    int cAppends = 0;
    while (rc == SUCCESS)
    {
        rc = RTStrCat(sz, sizeof(sz), " A=1");
        cAppends++;
    }
    EXPECT_EQ(rc, ERR_BUFFER_OVERFLOW);
    EXPECT_EQ(cAppends, 4);
    EXPECT_STREQ(sz, " A=1 A=1 A=1 A=");
}

TEST(StrFindEndNLen, StopAtTheLimit)
{
    ExactBuf buf(5); /* "xxxxx", no terminator anywhere */
    EXPECT_EQ(RTStrFindEnd(buf.p.get(), buf.cb), nullptr);
    EXPECT_EQ(RTStrNLen(buf.p.get(), buf.cb), 5u);
    EXPECT_EQ(RTStrFindEnd("", 0), nullptr);
    EXPECT_EQ(RTStrNLen("abc", 0), 0u);
    const char *psz = "ab\0cd";
    EXPECT_EQ(RTStrFindEnd(psz, 5), psz + 2);
    EXPECT_EQ(RTStrNLen(psz, RTSTR_MAX), 2u);
}

TEST(StrStripLeft, SkipsBlanksAndControls)
{
    EXPECT_STREQ(RTStrStripLeft(" \t\n\v\f\rabc "), "abc ");
    EXPECT_STREQ(RTStrStripLeft("\x01x"), "\x01x"); /* only 0x09..0x0D and space */
    EXPECT_STREQ(RTStrStripLeft(""), "");
}

TEST(StrDup, CopiesAndLimits)
{
    char *psz = RTStrDup("hello");
    ASSERT_NE(psz, nullptr);
    EXPECT_STREQ(psz, "hello");
    RTStrFree(psz);

    psz = RTStrDupN("abcdef", 3);
    EXPECT_STREQ(psz, "abc");
    RTStrFree(psz);
    psz = RTStrDupN("abcdef", 0);
    EXPECT_STREQ(psz, "");
    RTStrFree(psz);

    ExactBuf buf(4); /* unterminated source within the maximum */
    psz = RTStrDupN(buf.p.get(), buf.cb);
    EXPECT_STREQ(psz, "xxxx");
    RTStrFree(psz);

    char *pszCopy = (char *)1;
    EXPECT_EQ(RTStrDupNEx(&pszCopy, "abc", RTSTR_MAX), SUCCESS);
    EXPECT_STREQ(pszCopy, "abc");
    RTStrFree(pszCopy);
}

TEST(StrAlloc, EmptyStringOfTheSize)
{
    char *psz = RTStrAlloc(0); /* taken as 1 */
    ASSERT_NE(psz, nullptr);
    EXPECT_STREQ(psz, "");
    RTMemFree(psz); /* both release calls take either kind of block */
    RTStrFree(nullptr);
    RTMemFree(nullptr);
}

TEST(StrRealloc, Rules)
{
    char *psz = nullptr;
    ASSERT_EQ(RTStrRealloc(&psz, 10), SUCCESS); /* fresh: NUL first and last */
    ASSERT_NE(psz, nullptr);
    EXPECT_EQ(psz[0], '\0');
    EXPECT_EQ(psz[9], '\0');

    strcpy(psz, "abcdefghi");
    ASSERT_EQ(RTStrRealloc(&psz, 4), SUCCESS); /* shrink leaves "abc" */
    EXPECT_STREQ(psz, "abc");

    ASSERT_EQ(RTStrRealloc(&psz, 100), SUCCESS);
    EXPECT_STREQ(psz, "abc"); /* grow keeps the content */

    ASSERT_EQ(RTStrRealloc(&psz, 0), SUCCESS); /* frees and nulls */
    EXPECT_EQ(psz, nullptr);
    EXPECT_EQ(RTStrRealloc(&psz, 0), SUCCESS);
}

TEST(HeapFailure, ReportedNotFatal)
{
    char *psz = RTStrDup("keep");
    ASSERT_NE(psz, nullptr);
    {
        HeapFaultScope fault(0);
        EXPECT_EQ(RTStrRealloc(&psz, 100), ERR_NO_STR_MEMORY);
        EXPECT_STREQ(psz, "keep"); /* old string untouched */
        char *pszNone = nullptr;
        EXPECT_EQ(RTStrRealloc(&pszNone, 10), ERR_NO_STR_MEMORY);
        EXPECT_EQ(pszNone, nullptr);

        char *pszCopy = (char *)1;
        EXPECT_EQ(RTStrDupNEx(&pszCopy, "abc", 2), ERR_NO_STR_MEMORY);
        EXPECT_EQ(pszCopy, nullptr);
        EXPECT_EQ(RTStrDup("x"), nullptr);
        EXPECT_EQ(RTStrAlloc(5), nullptr);
        EXPECT_EQ(RTMemAlloc(5), nullptr);
        EXPECT_EQ(RTMemRealloc(psz, 50), nullptr);
    }
    EXPECT_STREQ(psz, "keep");
    RTStrFree(psz);
}

TEST(MemAlloc, ZeroAndRealloc)
{
    unsigned char *pb = (unsigned char *)RTMemAllocZero(64);
    ASSERT_NE(pb, nullptr);
    for (int i = 0; i < 64; i++)
        ASSERT_EQ(pb[i], 0) << i;
    pb[63] = 0x5A;
    pb = (unsigned char *)RTMemRealloc(pb, 4096);
    ASSERT_NE(pb, nullptr);
    EXPECT_EQ(pb[63], 0x5A);
    RTMemFree(pb);

    void *pv = RTMemRealloc(nullptr, 8); /* null block: plain allocation */
    ASSERT_NE(pv, nullptr);
    RTMemFree(pv);
}

TEST(StrCmp, NullsAndBytes)
{
    struct Case
    {
        const char *psz1;
        const char *psz2;
        int iSign;
    };
    static const Case s_aCases[] = {
        {nullptr, nullptr, 0}, {nullptr, "", -1}, {"", nullptr, 1},  {"abc", "abc", 0},
        {"abc", "abd", -1},    {"abd", "abc", 1}, {"ab", "abc", -1}, {"\xC3\xA9", "e", 1}, /* unsigned bytes */
        {"A", "a", -1},
    };
    for (const Case &c : s_aCases)
    {
        int const i = RTStrCmp(c.psz1, c.psz2);
        EXPECT_EQ((i > 0) - (i < 0), c.iSign) << (c.psz1 ? c.psz1 : "(null)") << " vs " << (c.psz2 ? c.psz2 : "(null)");
    }
    EXPECT_EQ(RTStrCmp(nullptr, "x"), -1);
    EXPECT_EQ(RTStrCmp("x", nullptr), 1);
    EXPECT_EQ(RTStrCmp("a", "c"), 'a' - 'c'); /* difference of the bytes */
}

TEST(StrCmpAsciiNoCase, Rules)
{
    struct Case
    {
        const char *pszUtf8;
        const char *pszAscii;
        int iExpected;
    };
    static const Case s_aCases[] = {
        {".MSI", ".msi", 0},
        {".Cab", ".cab", 0},
        {"a", "B", -1}, /* 'a' - 'b' */
        {"b", "A", 1},
        {"\xC3\xA9", "e", 1}, /* U+00E9 differs and is not ASCII */
        {nullptr, "x", -1},
        {"x", nullptr, 1},
        {nullptr, nullptr, 0},
        {"abc", "ab", 'c'},
        {"[", "{", '[' - '{'}, /* only A..Z fold */
        /* A malformed sequence ends the walk with a byte comparison of the
           rest: 0x80 against 'a'. */
        {"A\x80", "aa", 0x80 - 'a'},
    };
    for (const Case &c : s_aCases)
        EXPECT_EQ(RTStrCmpAsciiNoCase(c.pszUtf8, c.pszAscii), c.iExpected)
            << (c.pszUtf8 ? c.pszUtf8 : "(null)") << " vs " << (c.pszAscii ? c.pszAscii : "(null)");
}
} // namespace
