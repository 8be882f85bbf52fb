/* The option parser: long and short forms, clusters, built-in options,
   operands and "--", options-first rearrangement, Unicode dashes, case
   folding, every value kind with its base flags, indexed options,
   RTGetOptTakeValue, and the standard error messages. */
#include <zolt/err.h>
#include <zolt/getopt.h>
#include <zolt/initterm.h>

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "streamcapture.h"

namespace
{

/** The launcher's kind of table: the same option under several names. */
const RTGetOptDef g_aLauncherOptions[] = {
    {"--silent", 's', OPT_VALUE_NONE}, {"-silent", 's', OPT_VALUE_NONE},
    {"/silent", 's', OPT_VALUE_NONE},  {"--extract", 'x', OPT_VALUE_NONE},
    {"--path", 'p', OPT_VALUE_STRING}, {"/path", 'p', OPT_VALUE_STRING},
    {"--count", 'c', OPT_VALUE_UINT8}, {"--name", 'n', OPT_VALUE_STRING | OPT_FLAG_ICASE},
};

/** One step's outcome: the result and the text or option it names. */
struct Step
{
    int rc;
    std::string str;
    bool operator==(const Step &) const = default;
};

std::ostream &operator<<(std::ostream &os, const Step &S)
{
    return os << "{" << S.rc << ", \"" << S.str << "\"}";
}

/** An argument vector the parser may rearrange. The parser moves pointers
 *  only and never writes to the text, so the vector points straight at the
 *  caller's strings and returned values can be compared with them. */
class Args
{
  public:
    Args(std::initializer_list<const char *> List) : Args(std::vector<const char *>(List))
    {
    }
    explicit Args(const std::vector<const char *> &List)
    {
        m_Ptrs.push_back(const_cast<char *>("prog"));
        for (const char *psz : List)
            m_Ptrs.push_back(const_cast<char *>(psz));
        m_Ptrs.push_back(nullptr);
    }
    char **argv()
    {
        return m_Ptrs.data();
    }
    int argc() const
    {
        return (int)m_Ptrs.size() - 1;
    }
    std::vector<std::string> current() const
    {
        return std::vector<std::string>(m_Ptrs.begin() + 1, m_Ptrs.end() - 1);
    }

  private:
    std::vector<char *> m_Ptrs;
};

/** Runs the parser to the end (at most 50 steps); options with a text value
 *  report the value, value-less ones their long name, operands and unknown
 *  options their text. */
std::vector<Step> parseAll(Args &A, const RTGetOptDef *paOptions, size_t cOptions, uint32_t fFlags = 0)
{
    RTGetOptState State;
    EXPECT_EQ(RTGetOptInit(&State, A.argc(), A.argv(), paOptions, (uint32_t)cOptions, 1, fFlags), 0);
    std::vector<Step> Steps;
    for (int i = 0; i < 50; i++)
    {
        RTGetOptValue Value;
        int rc = RTGetOpt(&State, &Value);
        if (rc == 0)
            break;
        std::string Str;
        bool const fNamesOption =
            rc == ERR_OPTION_VALUE_MISSING || rc == ERR_OPTION_VALUE_FORMAT || rc == ERR_OPTION_INDEX_MISSING;
        if (rc == INF_NOT_AN_OPTION || rc == ERR_OPTION_UNKNOWN)
            Str = Value.psz;
        else if (rc > 0 && State.pDef && (State.pDef->fFlags & OPT_VALUE_MASK) == OPT_VALUE_STRING)
            Str = Value.psz;
        else if (rc > 0 && State.pDef && State.pDef->pszLong)
            Str = State.pDef->pszLong;
        else if (fNamesOption && Value.pDef->pszLong)
            Str = Value.pDef->pszLong;
        else if (rc < 0)
        {
            EXPECT_EQ(Value.pDef, nullptr) << "a failure that names nothing must leave the union empty";
        }
        Steps.push_back({rc, Str});
    }
    return Steps;
}

std::vector<Step> parseLauncher(std::initializer_list<const char *> List, uint32_t fFlags = 0)
{
    Args A(List);
    return parseAll(A, g_aLauncherOptions, RT_ELEMENTS(g_aLauncherOptions), fFlags);
}

TEST(GetOpt, LongShortAndClusters)
{
    typedef std::vector<Step> Steps;
    EXPECT_EQ(parseLauncher({"/silent"}), (Steps{{'s', "/silent"}}));
    EXPECT_EQ(parseLauncher({"-silent", "--silent"}), (Steps{{'s', "-silent"}, {'s', "--silent"}}));
    EXPECT_EQ(parseLauncher({"--silent=1"}), (Steps{{ERR_OPTION_UNKNOWN, "--silent=1"}}));
    EXPECT_EQ(parseLauncher({"-s", "-xs"}), (Steps{{'s', "--silent"}, {'x', "--extract"}, {'s', "--silent"}}));
    EXPECT_EQ(parseLauncher({"-xsx", "a"}),
              (Steps{{'x', "--extract"}, {'s', "--silent"}, {'x', "--extract"}, {INF_NOT_AN_OPTION, "a"}}));
    for (auto List : {std::vector<const char *>{"-p", "C:\\dir"},
                      {"-pC:\\dir"},
                      {"-p=C:\\dir"},
                      {"-p:C:\\dir"},
                      {"--path=C:\\dir"},
                      {"--path:C:\\dir"},
                      {"--path", "C:\\dir"},
                      {"/path", "C:\\dir"},
                      {"-xpC:\\dir"}})
    {
        Args A(List);
        std::vector<Step> Got = parseAll(A, g_aLauncherOptions, RT_ELEMENTS(g_aLauncherOptions));
        ASSERT_FALSE(Got.empty());
        EXPECT_EQ(Got.back(), (Step{'p', "C:\\dir"})) << List[0];
        EXPECT_EQ(Got.size(), strcmp(List[0], "-xpC:\\dir") == 0 ? 2u : 1u) << List[0];
    }
    /* A value option in the middle of a cluster takes the rest as its value;
       at the end of a cluster it takes the next argument. */
    EXPECT_EQ(parseLauncher({"-xp", "v", "w"}), (Steps{{'x', "--extract"}, {'p', "v"}, {INF_NOT_AN_OPTION, "w"}}));
    EXPECT_EQ(parseLauncher({"-xpsx"}), (Steps{{'x', "--extract"}, {'p', "sx"}}));
}

TEST(GetOpt, OperandsUnknownsAndEnd)
{
    typedef std::vector<Step> Steps;
    EXPECT_EQ(parseLauncher({"-"}), (Steps{{ERR_OPTION_UNKNOWN, "-"}}));
    EXPECT_EQ(parseLauncher({"file.txt", "-s"}), (Steps{{INF_NOT_AN_OPTION, "file.txt"}, {'s', "--silent"}}));
    EXPECT_EQ(parseLauncher({"--bogus", "-s"}), (Steps{{ERR_OPTION_UNKNOWN, "--bogus"}, {'s', "--silent"}}));
    /* An unknown character in a cluster names the rest of the cluster; the
       parse goes on with the next argument. */
    EXPECT_EQ(parseLauncher({"-xqs", "-s"}),
              (Steps{{'x', "--extract"}, {ERR_OPTION_UNKNOWN, "qs"}, {'s', "--silent"}}));
    EXPECT_EQ(parseLauncher({"--path"}), (Steps{{ERR_OPTION_VALUE_MISSING, "--path"}}));
    EXPECT_EQ(parseLauncher({"--path="}), (Steps{{'p', ""}}));
    EXPECT_EQ(
        parseLauncher({"-s", "--", "-s", "--", "x"}),
        (Steps{{'s', "--silent"}, {INF_NOT_AN_OPTION, "-s"}, {INF_NOT_AN_OPTION, "--"}, {INF_NOT_AN_OPTION, "x"}}));
    /* An argument that is not UTF-8 is reported, and skipped. */
    EXPECT_EQ(parseLauncher({"\xff", "-s"}), (Steps{{ERR_INVALID_UTF8_ENCODING, ""}, {'s', "--silent"}}));

    /* The end is sticky. */
    Args A({"-s"});
    RTGetOptState State;
    ASSERT_EQ(RTGetOptInit(&State, A.argc(), A.argv(), g_aLauncherOptions, RT_ELEMENTS(g_aLauncherOptions), 1, 0), 0);
    RTGetOptValue Value;
    EXPECT_EQ(RTGetOpt(&State, &Value), 's');
    EXPECT_EQ(RTGetOpt(&State, &Value), 0);
    EXPECT_EQ(RTGetOpt(&State, &Value), 0);
    EXPECT_EQ(State.pDef, nullptr);
}

TEST(GetOpt, BuiltInOptions)
{
    typedef std::vector<Step> Steps;
    EXPECT_EQ(parseLauncher({"-?", "-h", "-V", "--help", "-help", "--version", "-version"}),
              (Steps{{'h', "--help"},
                     {'h', "--help"},
                     {'V', "--version"},
                     {'h', "--help"},
                     {'h', "-help"},
                     {'V', "--version"},
                     {'V', "-version"}}));
    EXPECT_EQ(parseLauncher({"-?", "-h", "-V", "--help", "-help", "--version", "-version"}, OPT_INIT_NO_STD_OPTS),
              (Steps{{ERR_OPTION_UNKNOWN, "-?"},
                     {ERR_OPTION_UNKNOWN, "-h"},
                     {ERR_OPTION_UNKNOWN, "-V"},
                     {ERR_OPTION_UNKNOWN, "--help"},
                     {ERR_OPTION_UNKNOWN, "-help"},
                     {ERR_OPTION_UNKNOWN, "--version"},
                     {ERR_OPTION_UNKNOWN, "-version"}}));
    /* The caller's table comes first. */
    static const RTGetOptDef s_aOwnHelp[] = {{"--help", 1000, OPT_VALUE_NONE}, {nullptr, 'h', OPT_VALUE_NONE}};
    Args A({"--help", "-h"});
    EXPECT_EQ(parseAll(A, s_aOwnHelp, RT_ELEMENTS(s_aOwnHelp)), (Steps{{1000, "--help"}, {'h', ""}}));
    RTGetOptState State;
    EXPECT_EQ(RTGetOptInit(&State, 1, A.argv(), s_aOwnHelp, 2, 1, 4), ERR_INVALID_PARAMETER);
}

TEST(GetOpt, OptionsFirstRearrangesTheVector)
{
    typedef std::vector<Step> Steps;
    static const RTGetOptDef s_aOptions[] = {
        {"-x", 'x', OPT_VALUE_NONE}, {"-y", 'y', OPT_VALUE_NONE}, {"--val", 'v', OPT_VALUE_STRING}};
    {
        Args A({"a", "-x", "b", "-y"});
        EXPECT_EQ(parseAll(A, s_aOptions, 3, OPT_INIT_OPTIONS_FIRST),
                  (Steps{{'x', "-x"}, {'y', "-y"}, {INF_NOT_AN_OPTION, "a"}, {INF_NOT_AN_OPTION, "b"}}));
        EXPECT_EQ(A.current(), (std::vector<std::string>{"-x", "-y", "a", "b"}));
    }
    {
        /* A value stays right behind its option; so does a cluster's. */
        Args A({"a", "--val", "1", "b", "-xv", "2", "c"});
        EXPECT_EQ(parseAll(A, s_aOptions, 3, OPT_INIT_OPTIONS_FIRST), (Steps{{'v', "1"},
                                                                             {'x', "-x"},
                                                                             {'v', "2"},
                                                                             {INF_NOT_AN_OPTION, "a"},
                                                                             {INF_NOT_AN_OPTION, "b"},
                                                                             {INF_NOT_AN_OPTION, "c"}}));
        EXPECT_EQ(A.current(), (std::vector<std::string>{"--val", "1", "-xv", "2", "a", "b", "c"}));
    }
    {
        /* "--": the operands deferred before it come first, then everything
           after it as it stands. */
        Args A({"a", "-x", "--", "-y", "b"});
        EXPECT_EQ(parseAll(A, s_aOptions, 3, OPT_INIT_OPTIONS_FIRST),
                  (Steps{{'x', "-x"}, {INF_NOT_AN_OPTION, "a"}, {INF_NOT_AN_OPTION, "-y"}, {INF_NOT_AN_OPTION, "b"}}));
        EXPECT_EQ(A.current(), (std::vector<std::string>{"-x", "--", "a", "-y", "b"}));
    }
    {
        /* Errors keep the deferred operands together and in order. */
        Args A({"a", "-q", "b", "--val"});
        EXPECT_EQ(parseAll(A, s_aOptions, 3, OPT_INIT_OPTIONS_FIRST), (Steps{{ERR_OPTION_UNKNOWN, "-q"},
                                                                             {ERR_OPTION_VALUE_MISSING, "--val"},
                                                                             {INF_NOT_AN_OPTION, "a"},
                                                                             {INF_NOT_AN_OPTION, "b"}}));
        EXPECT_EQ(A.current(), (std::vector<std::string>{"-q", "--val", "a", "b"}));
    }
}

TEST(GetOpt, UnicodeDashesAndCase)
{
    typedef std::vector<Step> Steps;
    EXPECT_EQ(parseLauncher({"\xe2\x80\x93x"}), (Steps{{'x', "--extract"}}));                   /* en dash */
    EXPECT_EQ(parseLauncher({"\xe2\x80\x93\xe2\x80\x93path", "v"}), (Steps{{'p', "v"}}));       /* two en dashes */
    EXPECT_EQ(parseLauncher({"-\xef\xbc\x8dsilent"}), (Steps{{'s', "--silent"}}));              /* fullwidth */
    EXPECT_EQ(parseLauncher({"\xe2\x88\x92q"}), (Steps{{INF_NOT_AN_OPTION, "\xe2\x88\x92q"}})); /* minus sign */
    EXPECT_EQ(parseLauncher({"\xe2\x80\x93\xe2\x80\x95path"}),                                  /* U+2015 is no dash */
              (Steps{{INF_NOT_AN_OPTION, "\xe2\x80\x93\xe2\x80\x95path"}}));

    EXPECT_EQ(parseLauncher({"--NAME=a", "--Name", "b"}), (Steps{{'n', "a"}, {'n', "b"}}));
    EXPECT_EQ(parseLauncher({"--PATH=a"}), (Steps{{ERR_OPTION_UNKNOWN, "--PATH=a"}}));
    /* Only ASCII letters fold. */
    static const RTGetOptDef s_aAccent[] = {{"--\xc3\xa9t\xc3\xa9", 'e', OPT_VALUE_NONE | OPT_FLAG_ICASE}};
    Args A({"--\xc3\x89T\xc3\x89", "--\xc3\xa9T\xc3\xa9"});
    EXPECT_EQ(parseAll(A, s_aAccent, 1),
              (Steps{{ERR_OPTION_UNKNOWN, "--\xc3\x89T\xc3\x89"}, {'e', "--\xc3\xa9t\xc3\xa9"}}));
}

/** Parses "--opt VALUE" for an option of the given flags. */
int parseValue(uint32_t fFlags, const char *pszValue, RTGetOptValue *pValue)
{
    const RTGetOptDef Opt = {"--opt", 'o', fFlags};
    Args A({"--opt", pszValue});
    RTGetOptState State;
    EXPECT_EQ(RTGetOptInit(&State, A.argc(), A.argv(), &Opt, 1, 1, 0), 0);
    int rc = RTGetOpt(&State, pValue);
    if (rc < 0)
    {
        EXPECT_EQ(State.pDef, nullptr);
        EXPECT_EQ(State.iNext, 3) << "a failed step skips the option and its value";
        if (rc != ERR_OPTION_UNKNOWN)
        {
            EXPECT_EQ(pValue->pDef, &Opt) << "the report needs the descriptor, not a half-stored number";
        }
    }
    return rc;
}

struct IntCase
{
    uint32_t fFlags;
    const char *pszValue;
    int rc;
    uint64_t u64; /* the union's 64-bit member after success */
};

TEST(GetOpt, IntegerKinds)
{
    const int F = ERR_OPTION_VALUE_FORMAT;
    static const IntCase s_aCases[] = {
        {OPT_VALUE_UINT8, "255", 'o', 255},
        {OPT_VALUE_UINT8, "256", F, 0},
        {OPT_VALUE_UINT8, "-1", F, 0},
        {OPT_VALUE_UINT8, "0x100", F, 0},
        {OPT_VALUE_UINT8, "12 ", F, 0},
        {OPT_VALUE_UINT8, "", F, 0},
        {OPT_VALUE_UINT8, "0x1f", 'o', 31},
        {OPT_VALUE_UINT8, "0X1F", 'o', 31},
        {OPT_VALUE_UINT8, "0xg", F, 0},
        {OPT_VALUE_UINT8, "017", 'o', 17}, /* decimal, not octal */
        {OPT_VALUE_UINT8 | OPT_FLAG_HEX, "1f", 'o', 31},
        {OPT_VALUE_UINT8 | OPT_FLAG_HEX, "0x1f", 'o', 31},
        {OPT_VALUE_UINT8 | OPT_FLAG_DEC, "0x1f", F, 0},
        {OPT_VALUE_UINT8 | OPT_FLAG_OCT, "17", 'o', 15},
        {OPT_VALUE_UINT8 | OPT_FLAG_OCT, "8", F, 0},
        {OPT_VALUE_INT8, "-128", 'o', 0x80},
        {OPT_VALUE_INT8, "128", F, 0},
        {OPT_VALUE_INT8, "0x7f", 'o', 0x7f},
        {OPT_VALUE_INT16, "-32768", 'o', 0x8000},
        {OPT_VALUE_INT16, "32768", F, 0},
        {OPT_VALUE_UINT16, "65535", 'o', 0xffff},
        {OPT_VALUE_UINT16, "65536", F, 0},
        {OPT_VALUE_INT32, "-2147483648", 'o', 0x80000000},
        {OPT_VALUE_INT32, "2147483648", F, 0},
        {OPT_VALUE_UINT32, "4294967295", 'o', 0xffffffff},
        {OPT_VALUE_UINT32, "4294967296", F, 0},
        {OPT_VALUE_UINT32, "-1", F, 0},
        {OPT_VALUE_INT64, "-9223372036854775808", 'o', 0x8000000000000000},
        {OPT_VALUE_INT64, "9223372036854775808", F, 0},
        {OPT_VALUE_INT64, "--5", 'o', 5},
        {OPT_VALUE_INT64, "+-5", 'o', (uint64_t)-5},
        {OPT_VALUE_UINT64, "18446744073709551615", 'o', UINT64_MAX},
        {OPT_VALUE_UINT64, "18446744073709551616", F, 0},
        {OPT_VALUE_UINT64, "20496382304121724020", F, 0},
        {OPT_VALUE_UINT64, "-1", F, 0},
        {OPT_VALUE_UINT64 | OPT_FLAG_HEX, "ffffffffffffffff", 'o', UINT64_MAX},
        /* Base flags only go with integer and pair kinds, one at a time. */
        {OPT_VALUE_UINT8 | OPT_FLAG_HEX | OPT_FLAG_DEC, "1", ERR_INTERNAL_ERROR, 0},
        {OPT_VALUE_STRING | OPT_FLAG_HEX, "1", ERR_INTERNAL_ERROR, 0},
        {OPT_VALUE_BOOL | OPT_FLAG_DEC, "1", ERR_INTERNAL_ERROR, 0},
        {12, "1", ERR_INTERNAL_ERROR, 0},
        {13, "1", ERR_INTERNAL_ERROR, 0},
        {22, "1", ERR_INTERNAL_ERROR, 0},
        {31, "1", ERR_INTERNAL_ERROR, 0},
    };
    for (auto const &Case : s_aCases)
    {
        RTGetOptValue Value;
        int rc = parseValue(Case.fFlags, Case.pszValue, &Value);
        EXPECT_EQ(rc, Case.rc) << "flags " << std::hex << Case.fFlags << " value '" << Case.pszValue << "'";
        if (rc > 0)
        {
            EXPECT_EQ(Value.u64, Case.u64) << "flags " << std::hex << Case.fFlags << " value '" << Case.pszValue << "'";
        }
    }
}

TEST(GetOpt, BooleanKinds)
{
    static const char *const s_apszTrue[] = {"t", "TRUE", "y", "yEs", "En", "enable", "ENABLED", "on", "1"};
    static const char *const s_apszFalse[] = {"f", "false", "No", "n", "d", "dis", "disable", "disabled", "off", "0"};
    static const char *const s_apszBad[] = {"o", "tr", "of", "", "ena", "truex", "2", "onn", "disa"};
    for (const char *psz : s_apszTrue)
    {
        RTGetOptValue Value;
        EXPECT_EQ(parseValue(OPT_VALUE_BOOL, psz, &Value), 'o') << psz;
        EXPECT_EQ(Value.u64, 1u) << psz;
    }
    for (const char *psz : s_apszFalse)
    {
        RTGetOptValue Value;
        EXPECT_EQ(parseValue(OPT_VALUE_BOOL, psz, &Value), 'o') << psz;
        EXPECT_EQ(Value.u64, 0u) << psz;
    }
    for (const char *psz : s_apszBad)
    {
        RTGetOptValue Value;
        EXPECT_EQ(parseValue(OPT_VALUE_BOOL, psz, &Value), ERR_OPTION_UNKNOWN) << psz;
        EXPECT_EQ(Value.psz, psz);
    }

    RTGetOptValue Value;
    EXPECT_EQ(parseValue(OPT_VALUE_ON_OFF, "ON", &Value), 'o');
    EXPECT_TRUE(Value.f);
    EXPECT_EQ(parseValue(OPT_VALUE_ON_OFF, "oFf", &Value), 'o');
    EXPECT_FALSE(Value.f);
    for (const char *psz : {"o", "1", "true", "", "offf"})
    {
        EXPECT_EQ(parseValue(OPT_VALUE_ON_OFF, psz, &Value), ERR_OPTION_UNKNOWN) << psz;
        EXPECT_EQ(Value.psz, psz);
    }
}

struct PairCase
{
    uint32_t fFlags;
    const char *pszValue;
    int rc;
    uint64_t uFirst;
    uint64_t uSecond;
};

TEST(GetOpt, PairKinds)
{
    const int F = ERR_OPTION_VALUE_FORMAT;
    static const PairCase s_aCases[] = {
        {OPT_VALUE_UINT32_OPT_PAIR, "5", 'o', 5, UINT32_MAX},
        {OPT_VALUE_UINT32_OPT_PAIR, "5:6", 'o', 5, 6},
        {OPT_VALUE_UINT32_OPT_PAIR, "5 / 6", 'o', 5, 6},
        {OPT_VALUE_UINT32_OPT_PAIR, "5|0x10", 'o', 5, 16},
        {OPT_VALUE_UINT32_OPT_PAIR, "5 6", 'o', 5, 6},
        {OPT_VALUE_UINT32_OPT_PAIR, "0x10:5", 'o', 16, 5},
        {OPT_VALUE_UINT32_OPT_PAIR, "5:", F, 0, 0},
        {OPT_VALUE_UINT32_OPT_PAIR, "5: 6x", F, 0, 0},
        {OPT_VALUE_UINT32_OPT_PAIR, "5:6 ", F, 0, 0},
        {OPT_VALUE_UINT32_OPT_PAIR, "5x", 'o', 5, UINT32_MAX}, /* what follows unseparated is not read */
        {OPT_VALUE_UINT32_OPT_PAIR, ":6", F, 0, 0},
        {OPT_VALUE_UINT32_OPT_PAIR, "-5:6", F, 0, 0},
        {OPT_VALUE_UINT32_OPT_PAIR, "4294967296:1", F, 0, 0},
        {OPT_VALUE_UINT32_PAIR, "5", F, 0, 0},
        {OPT_VALUE_UINT32_PAIR, "1:4294967295", 'o', 1, UINT32_MAX},
        {OPT_VALUE_UINT64_PAIR, "18446744073709551615/1", 'o', UINT64_MAX, 1},
        {OPT_VALUE_UINT64_OPT_PAIR, "7", 'o', 7, UINT64_MAX},
        {OPT_VALUE_UINT64_OPT_PAIR, "4294967296:1", 'o', UINT64_C(4294967296), 1},
        {OPT_VALUE_UINT32_PAIR | OPT_FLAG_HEX, "10:ff", 'o', 16, 255},
        {OPT_VALUE_UINT32_PAIR | OPT_FLAG_OCT, "10:0x10", 'o', 8, 16},
        {OPT_VALUE_UINT32_PAIR | OPT_FLAG_DEC, "010:0x10", 'o', 10, 16},
    };
    for (auto const &Case : s_aCases)
    {
        RTGetOptValue Value;
        int rc = parseValue(Case.fFlags, Case.pszValue, &Value);
        EXPECT_EQ(rc, Case.rc) << "flags " << std::hex << Case.fFlags << " value '" << Case.pszValue << "'";
        if (rc <= 0)
            continue;
        bool const f64 = (Case.fFlags & OPT_VALUE_MASK) == OPT_VALUE_UINT64_PAIR ||
                         (Case.fFlags & OPT_VALUE_MASK) == OPT_VALUE_UINT64_OPT_PAIR;
        EXPECT_EQ(f64 ? Value.PairU64.uFirst : Value.PairU32.uFirst, Case.uFirst) << Case.pszValue;
        EXPECT_EQ(f64 ? Value.PairU64.uSecond : Value.PairU32.uSecond, Case.uSecond) << Case.pszValue;
    }
}

/* The same texts through all four pair kinds. */
TEST(GetOpt, PairKindsWithoutSecondNumber)
{
    enum Shape
    {
        kPair, /* every kind: the two numbers */
        kLone, /* no blank or separator after the first number: the optional
                  pairs give it and all ones, the others refuse */
        kBad,  /* every kind refuses */
    };
    struct Case
    {
        const char *pszValue;
        Shape enmShape;
        uint64_t uFirst;
        uint64_t uSecond;
    };
    static const Case s_aCases[] = {
        {"5", kLone, 5, 0},       {"5x", kLone, 5, 0},        {"5x:6", kLone, 5, 0}, {"5.6", kLone, 5, 0},
        {"5-6", kLone, 5, 0},     {"0x10g", kLone, 16, 0},    {"5:6", kPair, 5, 6},  {"5 6", kPair, 5, 6},
        {"5\t|\t6", kPair, 5, 6}, {"5 / 0x10", kPair, 5, 16}, {"5:", kBad, 0, 0},    {"5 ", kBad, 0, 0},
        {"5 x", kBad, 0, 0},      {"5:6x", kBad, 0, 0},       {"5:6 ", kBad, 0, 0},  {":6", kBad, 0, 0},
        {"x", kBad, 0, 0},        {"", kBad, 0, 0},           {"-5:6", kBad, 0, 0},
    };
    static const uint32_t s_afKinds[] = {OPT_VALUE_UINT32_PAIR, OPT_VALUE_UINT64_PAIR, OPT_VALUE_UINT32_OPT_PAIR,
                                         OPT_VALUE_UINT64_OPT_PAIR};
    for (const Case &c : s_aCases)
        for (uint32_t const fKind : s_afKinds)
        {
            bool const f64 = fKind == OPT_VALUE_UINT64_PAIR || fKind == OPT_VALUE_UINT64_OPT_PAIR;
            bool const fOptional = fKind == OPT_VALUE_UINT32_OPT_PAIR || fKind == OPT_VALUE_UINT64_OPT_PAIR;
            bool const fAccepted = c.enmShape == kPair || (c.enmShape == kLone && fOptional);
            uint64_t const uSecond = c.enmShape == kLone ? (f64 ? UINT64_MAX : UINT32_MAX) : c.uSecond;

            RTGetOptValue Value;
            int const rc = parseValue(fKind, c.pszValue, &Value);
            std::string const sCase = "kind " + std::to_string(fKind) + " value '" + c.pszValue + "'";
            EXPECT_EQ(rc, fAccepted ? 'o' : ERR_OPTION_VALUE_FORMAT) << sCase;
            if (rc != 'o' || !fAccepted)
                continue;
            EXPECT_EQ(f64 ? Value.PairU64.uFirst : Value.PairU32.uFirst, c.uFirst) << sCase;
            EXPECT_EQ(f64 ? Value.PairU64.uSecond : Value.PairU32.uSecond, uSecond) << sCase;
        }
}

TEST(GetOpt, AddressKinds)
{
    RTGetOptValue Value;
    EXPECT_EQ(parseValue(OPT_VALUE_IPV4_ADDR, "192.168.1.20", &Value), 'o');
    EXPECT_EQ(Value.IPv4Addr.au8[0], 192);
    EXPECT_EQ(Value.IPv4Addr.au8[3], 20);
    EXPECT_EQ(parseValue(OPT_VALUE_IPV4_ADDR, "192.168.1", &Value), ERR_OPTION_VALUE_FORMAT);
    EXPECT_EQ(parseValue(OPT_VALUE_IPV4_ADDR, "256.1.1.1", &Value), ERR_OPTION_VALUE_FORMAT);

    EXPECT_EQ(parseValue(OPT_VALUE_IPV4_CIDR, "10/8", &Value), 'o');
    EXPECT_EQ(Value.CidrIPv4.u32Addr, 0x0A000000u);
    EXPECT_EQ(Value.CidrIPv4.u32Mask, 0xFF000000u);
    EXPECT_EQ(parseValue(OPT_VALUE_IPV4_CIDR, "192.168.1.0/24", &Value), 'o');
    EXPECT_EQ(Value.CidrIPv4.u32Mask, 0xFFFFFF00u);
    EXPECT_EQ(parseValue(OPT_VALUE_IPV4_CIDR, "0.0.0.0/0", &Value), 'o');
    EXPECT_EQ(Value.CidrIPv4.u32Addr, 0u);
    EXPECT_EQ(Value.CidrIPv4.u32Mask, 0u);
    EXPECT_EQ(parseValue(OPT_VALUE_IPV4_CIDR, "10.1/8", &Value), ERR_OPTION_VALUE_FORMAT);
    EXPECT_EQ(parseValue(OPT_VALUE_IPV4_CIDR, "0.0.0.0", &Value), ERR_OPTION_VALUE_FORMAT);

    for (const char *psz : {"001122aabbcc", "00:11:22:aa:bb:cc", "0:11::aa:bb:c"})
    {
        EXPECT_EQ(parseValue(OPT_VALUE_MAC_ADDR, psz, &Value), 'o') << psz;
        EXPECT_EQ(Value.MacAddr.au8[1], 0x11) << psz;
        EXPECT_EQ(Value.MacAddr.au8[4], 0xbb) << psz;
    }
    EXPECT_EQ(parseValue(OPT_VALUE_MAC_ADDR, "00:11:22", &Value), ERR_OPTION_VALUE_FORMAT);

    EXPECT_EQ(parseValue(OPT_VALUE_UUID, "{01234567-89ab-cdef-0123-456789abcdef}", &Value), 'o');
    EXPECT_EQ(Value.Uuid.Gen.u32TimeLow, 0x01234567u);
    EXPECT_EQ(Value.Uuid.Gen.u16TimeMid, 0x89abu);
    EXPECT_EQ(Value.Uuid.Gen.au8Node[5], 0xef);
    EXPECT_EQ(parseValue(OPT_VALUE_UUID, "01234567-89ab-cdef-0123-456789abcdef ", &Value), ERR_OPTION_VALUE_FORMAT);
}

TEST(GetOpt, IndexedOptions)
{
    typedef std::vector<Step> Steps;
    static const RTGetOptDef s_aOptions[] = {
        {"--disk", 'd', OPT_VALUE_STRING | OPT_FLAG_INDEX},
        {"--nic", 'n', OPT_VALUE_STRING | OPT_FLAG_INDEX | (1u << OPT_FLAG_INDEX_DEF_SHIFT)},
        {"--port", 'p', OPT_VALUE_NONE | OPT_FLAG_INDEX | OPT_FLAG_INDEX_DASH},
        {"--cpu", 'c', OPT_VALUE_UINT8 | OPT_FLAG_INDEX | OPT_FLAG_INDEX_DASH | (3u << OPT_FLAG_INDEX_DEF_SHIFT)},
    };
    struct IndexCase
    {
        std::vector<const char *> Args;
        int rc;
        uint32_t uIndex;
        const char *pszValue;
    } s_aCases[] = {
        {{"--disk3=x"}, 'd', 3, "x"},
        {{"--disk3:x"}, 'd', 3, "x"},
        {{"--disk3", "x"}, 'd', 3, "x"},
        {{"--disk12="}, 'd', 12, ""},
        {{"--disk=x"}, ERR_OPTION_VALUE_FORMAT, UINT32_MAX, nullptr},
        {{"--disk"}, ERR_OPTION_INDEX_MISSING, UINT32_MAX, nullptr},
        {{"--disk3"}, ERR_OPTION_VALUE_MISSING, 3, nullptr},
        {{"--disk99999999999=x"}, ERR_OPTION_VALUE_FORMAT, UINT32_MAX, nullptr},
        {{"--nic=x"}, 'n', 0, "x"},
        {{"--nic", "x"}, 'n', 0, "x"},
        {{"--nic7", "x"}, 'n', 7, "x"},
        {{"--port2"}, 'p', 2, nullptr},
        {{"--port-2"}, 'p', 2, nullptr},
        {{"--port\xe2\x80\x93"
          "2"},
         'p',
         2,
         nullptr},
        {{"--port"}, ERR_OPTION_INDEX_MISSING, UINT32_MAX, nullptr},
        {{"--cpu-1=5"}, 'c', 1, nullptr},
        {{"--cpu=5"}, 'c', 2, nullptr},
    };
    for (auto const &Case : s_aCases)
    {
        Args A(Case.Args);
        RTGetOptState State;
        ASSERT_EQ(RTGetOptInit(&State, A.argc(), A.argv(), s_aOptions, RT_ELEMENTS(s_aOptions), 1, 0), 0);
        RTGetOptValue Value;
        int rc = RTGetOpt(&State, &Value);
        EXPECT_EQ(rc, Case.rc) << Case.Args[0];
        if (rc > 0)
        {
            EXPECT_EQ(State.uIndex, Case.uIndex) << Case.Args[0];
            if (Case.pszValue)
            {
                EXPECT_STREQ(Value.psz, Case.pszValue) << Case.Args[0];
            }
        }
        else if (rc != ERR_OPTION_VALUE_MISSING)
        {
            EXPECT_EQ(State.uIndex, Case.uIndex) << Case.Args[0];
        }
        EXPECT_EQ(RTGetOpt(&State, &Value), 0) << Case.Args[0];
    }
    Args A({"--cpu-1=5", "--port-", "--port-x"});
    EXPECT_EQ(parseAll(A, s_aOptions, RT_ELEMENTS(s_aOptions)),
              (Steps{{'c', "--cpu"}, {ERR_OPTION_UNKNOWN, "--port-"}, {ERR_OPTION_UNKNOWN, "--port-x"}}));
}

TEST(GetOpt, TakeValue)
{
    static const RTGetOptDef s_aOptions[] = {{"--msi-prop", 'm', OPT_VALUE_STRING}, {"-x", 'x', OPT_VALUE_NONE}};
    for (uint32_t fInit : {0u, OPT_INIT_OPTIONS_FIRST})
    {
        Args A({"a", "--msi-prop", "NAME", "VALUE", "-x", "b", "--msi-prop", "N2"});
        RTGetOptState State;
        ASSERT_EQ(RTGetOptInit(&State, A.argc(), A.argv(), s_aOptions, 2, 1, fInit), 0);
        RTGetOptValue Value;
        if (!fInit)
        {
            EXPECT_EQ(RTGetOpt(&State, &Value), INF_NOT_AN_OPTION);
        }
        ASSERT_EQ(RTGetOpt(&State, &Value), 'm');
        EXPECT_STREQ(Value.psz, "NAME");
        ASSERT_EQ(RTGetOptTakeValue(&State, &Value, OPT_VALUE_STRING), 0);
        EXPECT_STREQ(Value.psz, "VALUE");
        EXPECT_EQ(RTGetOpt(&State, &Value), 'x');
        if (!fInit)
        {
            EXPECT_EQ(RTGetOpt(&State, &Value), INF_NOT_AN_OPTION);
        }
        ASSERT_EQ(RTGetOpt(&State, &Value), 'm');
        EXPECT_EQ(RTGetOptTakeValue(&State, &Value, OPT_VALUE_STRING), ERR_OPTION_VALUE_MISSING);
        EXPECT_EQ(RTGetOptTakeValue(&State, &Value, OPT_VALUE_NONE), ERR_INVALID_PARAMETER);
        EXPECT_EQ(RTGetOptTakeValue(&State, &Value, OPT_VALUE_STRING | 0x100), ERR_INVALID_PARAMETER);
        EXPECT_EQ(RTGetOptTakeValue(&State, &Value, OPT_VALUE_STRING | 0x1000000), ERR_INVALID_PARAMETER);
        if (fInit)
        {
            EXPECT_EQ(A.current(),
                      (std::vector<std::string>{"--msi-prop", "NAME", "VALUE", "-x", "--msi-prop", "N2", "a", "b"}));
            EXPECT_EQ(RTGetOpt(&State, &Value), INF_NOT_AN_OPTION);
            EXPECT_STREQ(Value.psz, "a");
        }
    }

    /* A converted value, and a refused one that still names the option. */
    Args A({"-x", "12", "zz"});
    RTGetOptState State;
    ASSERT_EQ(RTGetOptInit(&State, A.argc(), A.argv(), s_aOptions, 2, 1, 0), 0);
    RTGetOptValue Value;
    ASSERT_EQ(RTGetOpt(&State, &Value), 'x');
    EXPECT_EQ(RTGetOptTakeValue(&State, &Value, OPT_VALUE_UINT16 | OPT_FLAG_HEX), 0);
    EXPECT_EQ(Value.u16, 0x12);
    EXPECT_EQ(RTGetOptTakeValue(&State, &Value, OPT_VALUE_UINT16), ERR_OPTION_VALUE_FORMAT);
    EXPECT_EQ(Value.pDef, &s_aOptions[1]);
}

TEST(GetOpt, ReportErrorTexts)
{
    ASSERT_EQ(RTR3Init(0, 0, nullptr, "C:\\dir\\setup.exe"), 0);
    static const RTGetOptDef s_Path = {"--path", 'p', OPT_VALUE_STRING};
    RTGetOptValue Operand, Unknown, WithDef, NoDef;
    Operand.psz = "x";
    Unknown.psz = "-z";
    WithDef.pDef = &s_Path;
    NoDef.pDef = nullptr;
    struct
    {
        int iResult;
        const RTGetOptValue *pValue;
        const char *pszExpected;
    } const s_aCases[] = {
        {INF_NOT_AN_OPTION, &Operand, "setup.exe: error: Invalid parameter: x\n"},
        {'q', &NoDef, "setup.exe: error: Unhandled option: -q\n"},
        {'!', &NoDef, "setup.exe: error: Unhandled option: -!\n"},
        {1000, &NoDef, "setup.exe: error: Unhandled option: 1000 (0x3e8)\n"},
        {32, &NoDef, "setup.exe: error: Unhandled option: 32 (0x20)\n"},
        {127, &NoDef, "setup.exe: error: Unhandled option: 127 (0x7f)\n"},
        {ERR_OPTION_UNKNOWN, &Unknown, "setup.exe: error: Unknown option: '-z'\n"},
        {ERR_OPTION_VALUE_FORMAT, &WithDef, "setup.exe: error: The value given '--path' has an invalid format.\n"},
        {ERR_OPTION_VALUE_MISSING, &WithDef, "setup.exe: error: --path: A command-line option is missing its value\n"},
        {ERR_INVALID_UTF8_ENCODING, &NoDef, "setup.exe: error: The text is not valid UTF-8\n"},
    };
    int i = 0;
    for (auto const &Case : s_aCases)
    {
        StreamCapture Err(&g_pStdErr, ("getopt_test-report" + std::to_string(i++)).c_str());
        EXPECT_EQ(RTGetOptReportError(Case.iResult, Case.pValue), 2) << Case.iResult;
        EXPECT_EQ(Err.text(), Case.pszExpected) << Case.iResult;
    }

    /* End to end: what a real parse reports. */
    StreamCapture Err(&g_pStdErr, "getopt_test-report-parse");
    Args A({"--bogus", "--path"});
    RTGetOptState State;
    ASSERT_EQ(RTGetOptInit(&State, A.argc(), A.argv(), &s_Path, 1, 1, 0), 0);
    RTGetOptValue Value;
    int rc;
    while ((rc = RTGetOpt(&State, &Value)) != 0)
        EXPECT_EQ(RTGetOptReportError(rc, &Value), 2);
    EXPECT_EQ(Err.text(), "setup.exe: error: Unknown option: '--bogus'\n"
                          "setup.exe: error: --path: A command-line option is missing its value\n");
}

} // namespace
