/* Command-line splitting: both styles, copying and in place, vector growth,
   bad flags and separators, malformed UTF-8 and allocation failures. */
#include <zolt/err.h>
#include <zolt/getopt.h>

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "heapfault.h"

namespace
{

struct SplitCase
{
    const char *pszLine;
    std::vector<std::string> Expected;
};

std::string caseName(const char *pszLine)
{
    return std::string("line <") + pszLine + ">";
}

/** Splits a copy of @a pszLine both ways and checks that copying and in-place
 *  splitting agree; returns the arguments. */
std::vector<std::string> split(const char *pszLine, uint32_t fStyle, const char *pszSeps = nullptr)
{
    std::vector<std::string> Result;
    char **papszArgs = nullptr;
    int cArgs = -1;
    int rc = RTGetOptSplitCommandLine(&papszArgs, &cArgs, pszLine, fStyle, pszSeps);
    EXPECT_EQ(rc, 0) << caseName(pszLine);
    if (rc != 0)
        return Result;
    for (int i = 0; i < cArgs; i++)
        Result.emplace_back(papszArgs[i]);
    EXPECT_EQ(papszArgs[cArgs], nullptr);
    RTGetOptArgvFree(papszArgs, fStyle);

    std::string InPlace(pszLine);
    rc = RTGetOptSplitCommandLine(&papszArgs, &cArgs, InPlace.data(), fStyle | GETOPTARGV_F_IN_PLACE, pszSeps);
    EXPECT_EQ(rc, 0) << caseName(pszLine);
    if (rc == 0)
    {
        std::vector<std::string> Other;
        for (int i = 0; i < cArgs; i++)
        {
            EXPECT_TRUE(papszArgs[i] >= InPlace.data() && papszArgs[i] <= InPlace.data() + InPlace.size());
            Other.emplace_back(papszArgs[i]);
        }
        EXPECT_EQ(Other, Result) << caseName(pszLine) << " in place";
        RTGetOptArgvFree(papszArgs, fStyle | GETOPTARGV_F_IN_PLACE);
    }
    return Result;
}

TEST(GetOptSplit, MsCrtRules)
{
    static const SplitCase s_aCases[] = {
        {"setup.exe --path \"C:\\Program Files\\X\" -s", {"setup.exe", "--path", "C:\\Program Files\\X", "-s"}},
        {"a\\\\\\\"b", {"a\\\"b"}},        /* 3 backslashes + quote: one backslash, literal quote */
        {"a\\\\\"b c\"", {"a\\b c"}},      /* 2 backslashes + quote: one backslash, quote opens */
        {"\"a\"\"b\"", {"a\"b"}},          /* doubled quote inside quotes */
        {"\"a\"\"\"b c\"", {"a\"b", "c"}}, /* "" inside keeps quoting; then closes */
        {"a\\b", {"a\\b"}},                /* backslashes before other characters are literal */
        {"a\\\\\\\\b", {"a\\\\\\\\b"}},    /* ... however many */
        {"\"\"", {""}},                    /* one empty argument */
        {"\"\" \"\"", {"", ""}},
        {"   ", {}},
        {"", {}},
        {"\t a \t b\r\n", {"a", "b"}},
        {"\"a b", {"a b"}}, /* unclosed quote runs to the end */
        {"a\"b\"c", {"abc"}},
        {"\\\"", {"\""}},
        {"\\\\\"a b\"", {"\\a b"}},
        {"a\\", {"a\\"}},
        {"\"a\\\" b\"", {"a\" b"}},
        {"x\"\"\"y", {"x\"y"}}, /* open, doubled quote, no close */
        {"caf\xc3\xa9 \"\xe2\x82\xac \xf0\x9f\x98\x80\"", {"caf\xc3\xa9", "\xe2\x82\xac \xf0\x9f\x98\x80"}},
    };
    for (auto const &Case : s_aCases)
    {
        EXPECT_EQ(split(Case.pszLine, GETOPTARGV_STYLE_MSCRT), Case.Expected) << caseName(Case.pszLine);
    }
}

TEST(GetOptSplit, BourneRules)
{
    static const SplitCase s_aCases[] = {
        {"'a b' \"c\\$d\" e\\ f \"g\\h\"", {"a b", "c$d", "e f", "g\\h"}},
        {"\"a\\\"b\\\\c\\`d\\\ne\"", {"a\"b\\c`d\ne"}},
        {"'a\\b' 'it'\\''s'", {"a\\b", "it's"}},
        {"a\\", {"a"}},     /* a backslash at the very end is dropped */
        {"\"a\\", {"a\\"}}, /* inside double quotes it stays */
        {"'' \"\"", {"", ""}},
        {"'unclosed", {"unclosed"}},
        {"a'b c'd", {"ab cd"}},
        {"\\'x \\\"y", {"'x", "\"y"}},
        {"\"'\" '\"'", {"'", "\""}},
        {"\\\xc3\xa9 \"\\\xc3\xa9\"", {"\xc3\xa9", "\\\xc3\xa9"}},
        {"  \n ", {}},
    };
    for (auto const &Case : s_aCases)
    {
        EXPECT_EQ(split(Case.pszLine, GETOPTARGV_STYLE_BOURNE), Case.Expected) << caseName(Case.pszLine);
    }
}

TEST(GetOptSplit, CustomSeparators)
{
    EXPECT_EQ(split("a,b c,,d", GETOPTARGV_STYLE_MSCRT, ","), (std::vector<std::string>{"a", "b c", "d"}));
    /* Non-ASCII separators are matched by code point, not by byte: U+00B7
       must not split U+00B6, which shares its lead byte. */
    EXPECT_EQ(split("a\xc2\xb7"
                    "b\xc2\xb6"
                    "c",
                    GETOPTARGV_STYLE_BOURNE, "\xc2\xb7"),
              (std::vector<std::string>{"a", "b\xc2\xb6"
                                             "c"}));
    EXPECT_EQ(split("\"a\xc2\xb7"
                    "b\"\xc2\xb7"
                    "c",
                    GETOPTARGV_STYLE_MSCRT, "\xc2\xb7"),
              (std::vector<std::string>{"a\xc2\xb7"
                                        "b",
                                        "c"}));
}

TEST(GetOptSplit, VectorGrowsInSteps)
{
    for (int cArgs : {31, 32, 33, 64, 65, 200})
    {
        std::string Line;
        for (int i = 0; i < cArgs; i++)
            Line += "a" + std::to_string(i) + " ";
        std::vector<std::string> Args = split(Line.c_str(), GETOPTARGV_STYLE_MSCRT);
        ASSERT_EQ((int)Args.size(), cArgs);
        EXPECT_EQ(Args.back(), "a" + std::to_string(cArgs - 1));
    }

    /* 33 arguments: one allocation for the copy buffer and two for the
       vector (33, then 65 pointers). */
    std::string Line;
    for (int i = 0; i < 33; i++)
        Line += "x ";
    HeapFaultScope Heap;
    char **papszArgs;
    int cArgs;
    ASSERT_EQ(RTGetOptSplitCommandLine(&papszArgs, &cArgs, Line.c_str(), GETOPTARGV_STYLE_MSCRT, nullptr), 0);
    EXPECT_EQ(Heap.allocs(), 3);
    EXPECT_EQ(cArgs, 33);
    EXPECT_EQ(papszArgs[33], nullptr);
    RTGetOptArgvFree(papszArgs, GETOPTARGV_STYLE_MSCRT);
    EXPECT_EQ(Heap.frees(), 2); /* the buffer and the vector */
}

TEST(GetOptSplit, EmptyLineGivesTerminatedVector)
{
    HeapFaultScope Heap;
    char **papszArgs = nullptr;
    int cArgs = -1;
    ASSERT_EQ(RTGetOptSplitCommandLine(&papszArgs, &cArgs, " \t ", GETOPTARGV_STYLE_BOURNE, nullptr), 0);
    EXPECT_EQ(cArgs, 0);
    ASSERT_NE(papszArgs, nullptr);
    EXPECT_EQ(papszArgs[0], nullptr);
    EXPECT_EQ(Heap.frees(), 1); /* the unused copy buffer */
    RTGetOptArgvFree(papszArgs, GETOPTARGV_STYLE_BOURNE);
    EXPECT_EQ(Heap.frees(), 2);
}

TEST(GetOptSplit, BadArguments)
{
    char **papszArgs = reinterpret_cast<char **>(16);
    int cArgs = 7;
    EXPECT_EQ(RTGetOptSplitCommandLine(&papszArgs, &cArgs, "a", 2, nullptr), ERR_INVALID_FLAGS);
    EXPECT_EQ(papszArgs, nullptr);
    EXPECT_EQ(cArgs, 0);
    EXPECT_EQ(RTGetOptSplitCommandLine(&papszArgs, &cArgs, "a", 3, nullptr), ERR_INVALID_FLAGS);
    EXPECT_EQ(RTGetOptSplitCommandLine(&papszArgs, &cArgs, "a", 0x100, nullptr), ERR_INVALID_FLAGS);
    EXPECT_EQ(RTGetOptSplitCommandLine(&papszArgs, &cArgs, "a", 0, ""), ERR_INVALID_PARAMETER);
    EXPECT_EQ(RTGetOptSplitCommandLine(&papszArgs, &cArgs, "a", 0, "\xff"), ERR_INVALID_UTF8_ENCODING);
    EXPECT_EQ(RTGetOptSplitCommandLine(&papszArgs, &cArgs, nullptr, 0, nullptr), ERR_INVALID_POINTER);
    EXPECT_EQ(RTGetOptSplitCommandLine(nullptr, &cArgs, "a", 0, nullptr), ERR_INVALID_POINTER);
    EXPECT_EQ(RTGetOptSplitCommandLine(&papszArgs, nullptr, "a", 0, nullptr), ERR_INVALID_POINTER);
}

TEST(GetOptSplit, MalformedUtf8FailsAndFreesEverything)
{
    /* Malformed bytes between arguments, inside an argument, inside quotes,
       after a Bourne backslash, and after many arguments (vector allocated). */
    std::string Many;
    for (int i = 0; i < 20; i++)
        Many += "a ";
    Many += "b\xc3";
    const char *apszLines[] = {"a \xff", "a\xc3(", "\"a \xe2\x82\"", "\\\xfe", Many.c_str(), "\xed\xa0\x80"};
    for (uint32_t fStyle : {GETOPTARGV_STYLE_MSCRT, GETOPTARGV_STYLE_BOURNE})
        for (const char *pszLine : apszLines)
        {
            HeapFaultScope Heap;
            char **papszArgs = reinterpret_cast<char **>(16);
            int cArgs = 7;
            EXPECT_LT(RTGetOptSplitCommandLine(&papszArgs, &cArgs, pszLine, fStyle, nullptr), 0)
                << caseName(pszLine) << " style " << fStyle;
            EXPECT_EQ(papszArgs, nullptr);
            EXPECT_EQ(cArgs, 0);
            EXPECT_EQ(Heap.allocs(), Heap.frees()) << caseName(pszLine);
        }
}

TEST(GetOptSplit, AllocationFailures)
{
    char **papszArgs;
    int cArgs;
    {
        HeapFaultScope Heap(0);
        EXPECT_EQ(RTGetOptSplitCommandLine(&papszArgs, &cArgs, "a b", GETOPTARGV_STYLE_MSCRT, nullptr),
                  ERR_NO_STR_MEMORY);
    }
    {
        HeapFaultScope Heap(1);
        EXPECT_EQ(RTGetOptSplitCommandLine(&papszArgs, &cArgs, "a b", GETOPTARGV_STYLE_MSCRT, nullptr), ERR_NO_MEMORY);
        EXPECT_EQ(Heap.allocs(), Heap.frees());
    }
    {
        /* In place the first allocation is the vector; an empty line still
           needs one for the terminating null pointer. */
        char szLine[] = "  ";
        HeapFaultScope Heap(0);
        EXPECT_EQ(RTGetOptSplitCommandLine(&papszArgs, &cArgs, szLine, GETOPTARGV_STYLE_MSCRT | GETOPTARGV_F_IN_PLACE,
                                           nullptr),
                  ERR_NO_MEMORY);
    }
    {
        std::string Line;
        for (int i = 0; i < 40; i++)
            Line += "a ";
        HeapFaultScope Heap(2); /* copy buffer and first vector, then the growth fails */
        EXPECT_EQ(RTGetOptSplitCommandLine(&papszArgs, &cArgs, Line.c_str(), GETOPTARGV_STYLE_BOURNE, nullptr),
                  ERR_NO_MEMORY);
        EXPECT_EQ(Heap.allocs(), Heap.frees());
    }
}

} // namespace
