/* The Park-Miller generator and the shared generator. */
#include <zolt/err.h>
#include <zolt/rand.h>

#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>

#include "heapfault.h"
#include "internal/rand.h"

namespace
{
/* One generator per test, destroyed at the end. */
struct PmGen
{
    PmGen()
    {
        EXPECT_EQ(RTRandParkMillerCreate(&h), SUCCESS);
    }
    ~PmGen()
    {
        EXPECT_EQ(RTRandAdvDestroy(h), SUCCESS);
    }
    RTRAND h = nullptr;
};

/* The minimal-standard step, written independently of the runtime. */
uint32_t oracleNext(uint32_t s)
{
    return (uint32_t)((uint64_t)(s ? s : 20080806) * 16807 % 2147483647);
}

std::string saveState(RTRAND h)
{
    char sz[RTRAND_PARKMILLER_STATE_SIZE];
    size_t cb = sizeof(sz);
    EXPECT_EQ(RTRandAdvSaveState(h, sz, &cb), SUCCESS);
    return sz;
}

TEST(RandParkMiller, MinimalStandardSequence)
{
    /* Range 0..0x7FFFFFFE hands out the raw state: seed 1 must produce the
       published minimal-standard sequence, whose 10000th value is
       1043618065. */
    PmGen g;
    ASSERT_EQ(RTRandAdvSeed(g.h, 1), SUCCESS);
    static const uint32_t s_au[] = {16807, 282475249, 1622650073, 984943658, 1144108930};
    for (size_t i = 0; i < RT_ELEMENTS(s_au); i++)
        EXPECT_EQ(RTRandAdvU32Ex(g.h, 0, 0x7FFFFFFE), s_au[i]) << "value #" << i;
    uint32_t u = 0;
    for (size_t i = RT_ELEMENTS(s_au); i < 10000; i++)
        u = RTRandAdvU32Ex(g.h, 0, 0x7FFFFFFE);
    EXPECT_EQ(u, 1043618065u);
}

TEST(RandParkMiller, FixedSequencesByRangeKind)
{
    /* Each range kind has its own rule; seed 1 pins all of them. */
    struct Case
    {
        uint32_t uFirst, uLast;
        uint32_t au[5];
    };
    static const Case s_aCases[] = {
        {0, 35, {15, 12, 20, 1, 29}},                                                  /* narrow: one step */
        {0, UINT32_MAX, {0x400020d3, 0x305bd66c, 0xdd5a8615, 0xe218dbc1, 0x8e036d64}}, /* 2 cached bits */
        {0, 0x7FFFFFFF, {0x400020d3, 0x705bd66c, 0x5d5a8615, 0x6218dbc1, 0x0e036d64}}, /* 6 cached bits */
        {100, 0x10000000 + 99, {0x2137, 0x5bd6d0, 0xd5a8679}},                         /* wide, offset */
    };
    for (const Case &c : s_aCases)
    {
        PmGen g;
        ASSERT_EQ(RTRandAdvSeed(g.h, 1), SUCCESS);
        for (size_t i = 0; i < 5 && c.au[i]; i++)
            EXPECT_EQ(RTRandAdvU32Ex(g.h, c.uFirst, c.uLast), c.au[i])
                << std::hex << c.uFirst << ".." << c.uLast << " value #" << i;
    }
}

TEST(RandParkMiller, CreationStateAndZeroSeed)
{
    /* A new generator starts at 0x20080806 (hex); a zero state is replaced
       by 20080806 (decimal), so seed 0 and seed 20080806 agree. */
    PmGen fresh, zero, dec;
    EXPECT_EQ(saveState(fresh.h), "PM:20080806,00000000,00;");
    ASSERT_EQ(RTRandAdvSeed(zero.h, 0), SUCCESS);
    ASSERT_EQ(RTRandAdvSeed(dec.h, 20080806), SUCCESS);
    for (int i = 0; i < 50; i++)
    {
        uint32_t const uFirst = i % 3 == 0 ? 0 : 7, uLast = i % 2 ? UINT32_MAX : 35;
        EXPECT_EQ(RTRandAdvU32Ex(zero.h, uFirst, uLast), RTRandAdvU32Ex(dec.h, uFirst, uLast)) << "draw #" << i;
    }
    static const uint32_t s_au[] = {3, 30, 23, 22, 31, 20, 27, 3, 0, 8};
    for (size_t i = 0; i < RT_ELEMENTS(s_au); i++)
        EXPECT_EQ(RTRandAdvU32Ex(fresh.h, 0, 35), s_au[i]) << "value #" << i;
}

TEST(RandParkMiller, SeedKeepsLow32BitsAndDropsCache)
{
    PmGen a, b;
    ASSERT_EQ(RTRandAdvSeed(a.h, UINT64_C(0x123456789)), SUCCESS);
    EXPECT_EQ(saveState(a.h), "PM:23456789,00000000,00;");
    (void)RTRandAdvU32Ex(a.h, 0, UINT32_MAX); /* fills the cache */
    ASSERT_EQ(RTRandAdvSeed(a.h, 5), SUCCESS);
    ASSERT_EQ(RTRandAdvSeed(b.h, 5), SUCCESS);
    EXPECT_EQ(saveState(a.h), saveState(b.h));
}

TEST(RandParkMiller, SaveAndRestoreState)
{
    PmGen g;
    ASSERT_EQ(RTRandAdvSeed(g.h, 1), SUCCESS);
    for (int i = 0; i < 3; i++)
        (void)RTRandAdvU32Ex(g.h, 0, UINT32_MAX);
    EXPECT_EQ(saveState(g.h), "PM:3ab50c2a,004358eb,18;");

    char sz[RTRAND_PARKMILLER_STATE_SIZE - 1];
    memset(sz, 'x', sizeof(sz));
    size_t cb = sizeof(sz);
    EXPECT_EQ(RTRandAdvSaveState(g.h, sz, &cb), ERR_BUFFER_OVERFLOW);
    EXPECT_EQ(cb, 25u);
    EXPECT_EQ(sz[0], 'x');

    /* A restored state continues exactly where the saved one was. */
    std::string const strSaved = saveState(g.h);
    uint32_t au[4];
    for (uint32_t &u : au)
        u = RTRandAdvU32Ex(g.h, 0, UINT32_MAX);
    PmGen other;
    ASSERT_EQ(RTRandAdvRestoreState(other.h, strSaved.c_str()), SUCCESS);
    for (size_t i = 0; i < RT_ELEMENTS(au); i++)
        EXPECT_EQ(RTRandAdvU32Ex(other.h, 0, UINT32_MAX), au[i]) << "value #" << i;
    EXPECT_EQ(RTRandAdvRestoreState(other.h, "PM:3AB50C2A,004358EB,18;"), SUCCESS) << "upper-case hex";
    EXPECT_EQ(saveState(other.h), "PM:3ab50c2a,004358eb,18;");
}

TEST(RandParkMiller, RestoreRejectsAnythingButTheExactForm)
{
    static const char *const s_apsz[] = {
        "",
        "PM:",
        "PM:3AB50C2A,004358EB,18",   /* no ';' */
        "PM:3AB50C2A,004358EB,18;x", /* trailing text */
        "PM:3AB50C2A,004358EB,1;",   /* short field */
        "PM:3AB50C2,004358EB,18;",
        "PM:3AB50C2A;004358EB,18;",
        "PM:3AB50C2G,004358EB,18;", /* not hex */
        "pm:3AB50C2A,004358EB,18;",
        " PM:3AB50C2A,004358EB,18;",
    };
    PmGen g;
    std::string const strBefore = saveState(g.h);
    for (const char *psz : s_apsz)
    {
        EXPECT_EQ(RTRandAdvRestoreState(g.h, psz), ERR_PARSE_ERROR) << '"' << psz << '"';
        EXPECT_EQ(saveState(g.h), strBefore) << '"' << psz << '"';
    }
}

TEST(RandParkMiller, BytesAreLittleEndianFullWidthValues)
{
    PmGen a, b;
    ASSERT_EQ(RTRandAdvSeed(a.h, 1), SUCCESS);
    ASSERT_EQ(RTRandAdvSeed(b.h, 1), SUCCESS);
    uint8_t ab[7] = {0};
    RTRandAdvBytes(a.h, ab, 6);
    uint32_t const u1 = RTRandAdvU32Ex(b.h, 0, UINT32_MAX), u2 = RTRandAdvU32Ex(b.h, 0, UINT32_MAX);
    uint8_t const abExpect[7] = {
        (uint8_t)u1, (uint8_t)(u1 >> 8), (uint8_t)(u1 >> 16), (uint8_t)(u1 >> 24), (uint8_t)u2, (uint8_t)(u2 >> 8), 0};
    EXPECT_EQ(memcmp(ab, abExpect, sizeof(ab)), 0);
    /* The cut value was drawn in full: both generators are in step. */
    EXPECT_EQ(saveState(a.h), saveState(b.h));
}

TEST(RandParkMiller, U64Ranges)
{
    PmGen a, b;
    ASSERT_EQ(RTRandAdvSeed(a.h, 9), SUCCESS);
    ASSERT_EQ(RTRandAdvSeed(b.h, 9), SUCCESS);
    /* Up to 32 bits wide: the same draw as the 32-bit call. */
    EXPECT_EQ(RTRandAdvU64Ex(a.h, UINT64_C(1) << 40, (UINT64_C(1) << 40) + 35),
              (UINT64_C(1) << 40) + RTRandAdvU32Ex(b.h, 0, 35));
    for (int i = 0; i < 1000; i++)
    {
        uint64_t const u = RTRandAdvU64Ex(a.h, 10, UINT64_C(10) + UINT64_C(0x1FFFFFFFF));
        ASSERT_GE(u, 10u);
        ASSERT_LE(u, UINT64_C(10) + UINT64_C(0x1FFFFFFFF));
    }
}

TEST(RandParkMiller, BadHandlesAndPointers)
{
    static const RTRAND s_ah[] = {nullptr, (RTRAND)(uintptr_t)0x10};
    for (RTRAND h : s_ah)
    {
        EXPECT_EQ(RTRandAdvDestroy(h), ERR_INVALID_HANDLE);
        EXPECT_EQ(RTRandAdvSeed(h, 1), ERR_INVALID_HANDLE);
        EXPECT_EQ(RTRandAdvU32Ex(h, 0, 35), UINT32_MAX);
        EXPECT_EQ(RTRandAdvU64Ex(h, 0, 35), UINT64_MAX);
        char sz[32] = "untouched";
        size_t cb = sizeof(sz);
        EXPECT_EQ(RTRandAdvSaveState(h, sz, &cb), ERR_INVALID_HANDLE);
        EXPECT_EQ(RTRandAdvRestoreState(h, "PM:00000001,00000000,00;"), ERR_INVALID_HANDLE);
        RTRandAdvBytes(h, sz, sizeof(sz));
        EXPECT_STREQ(sz, "untouched");
    }
    PmGen g;
    size_t cb = 64;
    EXPECT_EQ(RTRandAdvSaveState(g.h, nullptr, &cb), ERR_INVALID_POINTER);
    EXPECT_EQ(RTRandAdvRestoreState(g.h, nullptr), ERR_INVALID_POINTER);
    EXPECT_EQ(RTRandParkMillerCreate(nullptr), ERR_INVALID_POINTER);

    /* A destroyed generator's magic changes before its memory goes, so a
       late caller of a copied record sees a dead generator. */
    RTRAND h;
    ASSERT_EQ(RTRandParkMillerCreate(&h), SUCCESS);
    RTRANDREC Copy = *h;
    ASSERT_EQ(RTRandAdvDestroy(h), SUCCESS);
    Copy.u32Magic = RTRANDREC_MAGIC_DEAD;
    EXPECT_EQ(RTRandAdvSeed(&Copy, 1), ERR_INVALID_HANDLE);
}

TEST(RandParkMiller, CreateWithoutMemory)
{
    RTRAND h = (RTRAND)(uintptr_t)0x5000;
    {
        HeapFaultScope Fault(0);
        EXPECT_EQ(RTRandParkMillerCreate(&h), ERR_NO_MEMORY);
    }
    EXPECT_EQ(h, (RTRAND)(uintptr_t)0x5000);
}

TEST(RandShared, U32ExTakesOneStepPerCallAndStaysInRange)
{
    RTRAND const hShared = rtRandShared();
    ASSERT_NE(hShared, nullptr);
    for (int i = 0; i < 2000; i++)
    {
        std::string const strBefore = saveState(hShared);
        uint32_t const uNext = oracleNext((uint32_t)strtoul(strBefore.c_str() + 3, nullptr, 16));
        uint32_t const u = RTRandU32Ex(0, 35);
        ASSERT_LE(u, 35u);
        ASSERT_EQ(u, (uNext >> 1) % 36) << "call #" << i << " from " << strBefore;
        char szExpect[RTRAND_PARKMILLER_STATE_SIZE];
        snprintf(szExpect, sizeof(szExpect), "PM:%08x,%s", uNext, strBefore.c_str() + 12);
        ASSERT_EQ(saveState(hShared), szExpect) << "call #" << i << ": exactly one step, cache untouched";
    }
    EXPECT_EQ(rtRandShared(), hShared) << "created once";
}
} // namespace
