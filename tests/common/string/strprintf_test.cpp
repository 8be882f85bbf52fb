/* Formatted output into caller buffers and new heap strings: truncation,
   overflow reports, growth of the heap string, allocation failures. */
#include <zolt/mem.h>
#include <zolt/strformat.h>
#include <zolt/string.h>

#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include <vector>

#include "heapfault.h"
#include "internal/mem.h"

namespace
{

TEST(StrPrintf, TruncatesSilently)
{
    char szBuf[8];
    memset(szBuf, 'x', sizeof(szBuf));
    EXPECT_EQ(RTStrPrintf(szBuf, 0, "abc"), 0u);
    EXPECT_EQ(RTStrPrintf(nullptr, 0, "abc"), 0u);
    EXPECT_EQ(szBuf[0], 'x');
    EXPECT_EQ(RTStrPrintf(szBuf, 1, "abc"), 0u);
    EXPECT_STREQ(szBuf, "");
    EXPECT_EQ(RTStrPrintf(szBuf, 4, "%s%d", "ab", 1234), 3u);
    EXPECT_STREQ(szBuf, "ab1");
    EXPECT_EQ(RTStrPrintf(szBuf, sizeof(szBuf), "%d-%s", 42, "x"), 4u);
    EXPECT_STREQ(szBuf, "42-x");
    EXPECT_EQ(RTStrPrintf(szBuf, sizeof(szBuf), ""), 0u);
    EXPECT_STREQ(szBuf, "");
}

TEST(StrPrintfChecked, ReportsOverflow)
{
    char szBuf[16];
    struct
    {
        size_t cbBuf;
        const char *pszText;
        ptrdiff_t cchExpected;
        const char *pszStored;
    } const aCases[] = {
        {5, "hello", -6, "hell"}, {6, "hello", 5, "hello"}, {1, "hello", -6, ""}, {1, "", 0, ""}, {16, "", 0, ""},
    };
    for (const auto &c : aCases)
    {
        memset(szBuf, 'x', sizeof(szBuf));
        EXPECT_EQ(RTStrPrintfChecked(szBuf, c.cbBuf, "%s", c.pszText), c.cchExpected)
            << c.pszText << " into " << c.cbBuf;
        EXPECT_STREQ(szBuf, c.pszStored) << c.pszText << " into " << c.cbBuf;
    }

    /* Size 0 writes nothing and always reports overflow, even for nothing. */
    memset(szBuf, 'x', sizeof(szBuf));
    EXPECT_EQ(RTStrPrintfChecked(szBuf, 0, ""), -1);
    EXPECT_EQ(RTStrPrintfChecked(nullptr, 0, "abc"), -4);
    EXPECT_EQ(szBuf[0], 'x');

    /* An overflow in an early piece stays reported; later pieces neither
       write nor clear it, but count towards the length. */
    memset(szBuf, 'x', sizeof(szBuf));
    EXPECT_EQ(RTStrPrintfChecked(szBuf, 5, "%s%s%s", "abc", "defg", "h"), ~(ptrdiff_t)8);
    EXPECT_STREQ(szBuf, "abcd");
    EXPECT_EQ(szBuf[5], 'x');
}

/** A heap that records the sizes asked for, for the growth rules. */
struct HeapRecorder
{
    static inline std::vector<std::string> s_vecCalls;
    static void *alloc(size_t cb)
    {
        s_vecCalls.push_back("alloc " + std::to_string(cb));
        return g_rtMemHostHeapOps.pfnAlloc(cb);
    }
    static void *allocZero(size_t cb)
    {
        s_vecCalls.push_back("allocz " + std::to_string(cb));
        return g_rtMemHostHeapOps.pfnAllocZero(cb);
    }
    static void *realloc(void *pv, size_t cb)
    {
        s_vecCalls.push_back("realloc " + std::to_string(cb));
        return g_rtMemHostHeapOps.pfnRealloc(pv, cb);
    }
    static void free(void *pv)
    {
        s_vecCalls.push_back("free");
        g_rtMemHostHeapOps.pfnFree(pv);
    }
    static inline const RTMEMHEAPOPS s_Ops = {alloc, allocZero, realloc, free};

    /** Runs RTStrAPrintf and returns the heap calls it made (the final free
     *  by the test excluded). */
    template <typename... Args>
    static std::vector<std::string> calls(int cchExpected, const char *pszFormat, Args... args)
    {
        s_vecCalls.clear();
        const RTMEMHEAPOPS *pOld = rtMemSetHeapOps(&s_Ops);
        char *psz = nullptr;
        int cch = RTStrAPrintf(&psz, pszFormat, args...);
        rtMemSetHeapOps(pOld);
        EXPECT_EQ(cch, cchExpected) << pszFormat;
        EXPECT_TRUE(psz != nullptr && strlen(psz) == (size_t)cchExpected) << pszFormat;
        RTStrFree(psz);
        return s_vecCalls;
    }
};

TEST(StrAPrintf, GrowthSteps)
{
    typedef std::vector<std::string> Calls;
    std::string str2047(2047, 'a');
    std::string str3000(3000, 'b');
    /* 2047 bytes fit the stack buffer: one allocation, the final copy. */
    EXPECT_EQ(HeapRecorder::calls(2047, "%s", str2047.c_str()), Calls({"alloc 2048"}));
    /* A 3000-byte piece first: the step is the piece rounded up to 4096. */
    EXPECT_EQ(HeapRecorder::calls(3000, "%s", str3000.c_str()), Calls({"alloc 6144", "realloc 3001"}));
    /* One byte more than the stack holds: the step is the capacity. */
    EXPECT_EQ(HeapRecorder::calls(2048, "%sx", str2047.c_str()), Calls({"alloc 4096", "realloc 2049"}));
    /* Padding arrives in small pieces: the capacity doubles up to steps of
       1 MiB, then grows by 1 MiB. */
    Calls vecExpected = {"alloc 4096"};
    for (size_t cb = 8192; cb <= 2 * 1048576; cb *= 2)
        vecExpected.push_back("realloc " + std::to_string(cb));
    vecExpected.push_back("realloc 3145728");
    vecExpected.push_back("realloc 3000001");
    EXPECT_EQ(HeapRecorder::calls(3000000, "%3000000s", ""), vecExpected);
}

TEST(StrAPrintf, AllocationFailuresLeakNothing)
{
    std::string strLong(5000, 'c');
    struct
    {
        long cAllocsBeforeFailure;
        const char *pszArg;
        int cchExpected;
        const char *pszWhat;
    } const aCases[] = {
        {0, "short", -1, "final copy of a stack text"},
        {0, strLong.c_str(), -1, "first growth"},
        {1, strLong.c_str(), 5000, "final shrink (the larger block is kept)"},
        {-1, strLong.c_str(), 5000, "no failure"},
    };
    for (const auto &c : aCases)
    {
        char *psz = (char *)1;
        {
            HeapFaultScope Heap(c.cAllocsBeforeFailure);
            int cch = RTStrAPrintf(&psz, "%s", c.pszArg);
            EXPECT_EQ(cch, c.cchExpected) << c.pszWhat;
            if (cch < 0)
            {
                EXPECT_EQ(psz, nullptr) << c.pszWhat;
                EXPECT_EQ(HeapFaultScope::allocs(), HeapFaultScope::frees()) << c.pszWhat;
            }
            else
            {
                ASSERT_NE(psz, nullptr);
                EXPECT_STREQ(psz, c.pszArg) << c.pszWhat;
                RTStrFree(psz);
            }
        }
    }

    /* A failure in the middle (the second growth) frees the first block and
       drops every later piece. */
    std::string strHuge(3000, 'd');
    char *psz = (char *)1;
    HeapFaultScope Heap(1);
    EXPECT_EQ(RTStrAPrintf(&psz, "%s%s%s", strHuge.c_str(), strLong.c_str(), "tail"), -1);
    EXPECT_EQ(psz, nullptr);
    EXPECT_EQ(HeapFaultScope::allocs(), 1);
    EXPECT_EQ(HeapFaultScope::frees(), 1);
}

TEST(StrAPrintf, VaListForm)
{
    struct Wrapper
    {
        static int run(char **ppsz, const char *pszFormat, ...)
        {
            va_list Args;
            va_start(Args, pszFormat);
            int cch = RTStrAPrintfV(ppsz, pszFormat, Args);
            va_end(Args);
            return cch;
        }
    };
    char *psz = nullptr;
    EXPECT_EQ(Wrapper::run(&psz, "%s=%d", "x", 5), 3);
    EXPECT_STREQ(psz, "x=5");
    RTStrFree(psz);
    EXPECT_EQ(Wrapper::run(&psz, ""), 0);
    EXPECT_STREQ(psz, "");
    RTStrFree(psz);
}

} // namespace
