/* The "%R" extension conversions: typed integers, handles, booleans, far
   pointers, addresses, UUIDs, error information, escapes, names, dumps,
   sizes, registers, and bad pointers throughout. */
#include <zolt/err.h>
#include <zolt/net.h>
#include <zolt/strformat.h>
#include <zolt/time.h>
#include <zolt/uuid.h>

#include <gtest/gtest.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "common/string/fmtcapture.h"

namespace
{

const bool g_f64 = sizeof(void *) == 8;

/** What a "%R" type takes from the argument list. */
enum class TypeArg
{
    k32,       /**< a 32-bit slot (types of 1, 2 and 4 bytes) */
    k64,       /**< a 64-bit value */
    kPtr,      /**< a pointer-sized handle or host value */
    kFarPtr32, /**< a 32-bit offset, then a 16-bit selector in its own slot */
    kFarPtr64, /**< a 64-bit offset, then a 16-bit selector in its own slot */
    kIPv6,     /**< pointer to 16 address bytes */
    kMac,      /**< pointer to 6 address bytes */
    kNetAddr,  /**< pointer to an RTNetAddrRec */
    kUuid,     /**< pointer to an RTUUID */
    kErrInfo,  /**< pointer to an RTERRINFO */
    kStatus,   /**< a status code */
    kWinError, /**< a 32-bit Windows error code */
};

struct TypeCase
{
    const char *pszName; /**< without the "R" */
    TypeArg enmArg;
};

/** Every name of the type table, in its order. */
const TypeCase g_aTypeCases[] = {
    {"Ci", TypeArg::k32},          {"Cp", TypeArg::k64},          {"Cr", TypeArg::kPtr},
    {"Cu", TypeArg::k32},          {"Cv", TypeArg::kPtr},         {"Cx", TypeArg::k32},
    {"Gi", TypeArg::k64},          {"Gp", TypeArg::k64},          {"Gr", TypeArg::k64},
    {"Gu", TypeArg::k64},          {"Gv", TypeArg::k64},          {"Gx", TypeArg::k64},
    {"Hi", TypeArg::k32},          {"Hp", TypeArg::k64},          {"Hr", TypeArg::kPtr},
    {"Hu", TypeArg::k32},          {"Hv", TypeArg::kPtr},         {"Hx", TypeArg::k32},
    {"I16", TypeArg::k32},         {"I32", TypeArg::k32},         {"I64", TypeArg::k64},
    {"I8", TypeArg::k32},          {"Kv", TypeArg::kPtr},         {"Rv", TypeArg::k32},
    {"Tbool", TypeArg::k32},       {"Teic", TypeArg::kErrInfo},   {"Teim", TypeArg::kErrInfo},
    {"Tfile", TypeArg::kPtr},      {"Tfmode", TypeArg::k32},      {"Tfoff", TypeArg::k64},
    {"Tfp16", TypeArg::k32},       {"Tfp32", TypeArg::kFarPtr32}, {"Tfp64", TypeArg::kFarPtr64},
    {"Tgid", TypeArg::k32},        {"Tino", TypeArg::k64},        {"Tint", TypeArg::k32},
    {"Tiop", TypeArg::k32},        {"Tldrm", TypeArg::kPtr},      {"Tmac", TypeArg::kMac},
    {"Tnaddr", TypeArg::kNetAddr}, {"Tnaipv4", TypeArg::k32},     {"Tnaipv6", TypeArg::kIPv6},
    {"Tnthrd", TypeArg::kPtr},     {"Tproc", TypeArg::k32},       {"Tptr", TypeArg::k64},
    {"Treg", TypeArg::kPtr},       {"Tsel", TypeArg::k32},        {"Tsem", TypeArg::kPtr},
    {"Tsock", TypeArg::kPtr},      {"Tthrd", TypeArg::kPtr},      {"Tuid", TypeArg::k32},
    {"Tuint", TypeArg::k32},       {"Tunicp", TypeArg::k32},      {"Tutf16", TypeArg::k32},
    {"Tuuid", TypeArg::kUuid},     {"Txint", TypeArg::k32},       {"U16", TypeArg::k32},
    {"U32", TypeArg::k32},         {"U64", TypeArg::k64},         {"U8", TypeArg::k32},
    {"X16", TypeArg::k32},         {"X32", TypeArg::k32},         {"X64", TypeArg::k64},
    {"X8", TypeArg::k32},
};

/** The status types, dispatched beside the table ("%Rrc" also has a path
 *  of its own in the walk). */
const TypeCase g_aStatusTypeCases[] = {
    {"rc", TypeArg::kStatus},   {"rs", TypeArg::kStatus},   {"rf", TypeArg::kStatus},   {"ra", TypeArg::kStatus},
    {"wc", TypeArg::kWinError}, {"wf", TypeArg::kWinError}, {"wa", TypeArg::kWinError},
};

TEST(StrFmtTypes, Integers)
{
    const FmtCase aCases[] = {
        {"%RU8 reads the low byte", "255", fmt("%RU8", 0x1ff)},
        {"%RI8 does not truncate", "511", fmt("%RI8", 0x1ff)},
        {"%RI8 -1", "-1", fmt("%RI8", -1)},
        {"%RU16", "65535|7", fmt("%RU16|%u", 0x1ffff, 7)},
        {"%RX16", "ffff", fmt("%RX16", 0xffff)},
        {"%RI32", "-2147483648", fmt("%RI32", INT32_MIN)},
        {"%'RU64", "1 234 567", fmt("%'RU64", (uint64_t)1234567)},
        {"%'RU32", "4 294 967 295", fmt("%'RU32", UINT32_MAX)},
        {"%#RX64", "0x1234", fmt("%#RX64", (uint64_t)0x1234)},
        {"%RX64|%u", "123456789abc|7", fmt("%RX64|%u", (uint64_t)0x123456789abc, 7)},
        {"%RI64", "-9223372036854775808", fmt("%RI64", INT64_MIN)},
        {"%09RU32", "000000042", fmt("%09RU32", 42)},
        {"%RGi", "-5", fmt("%RGi", (int64_t)-5)},
        {"%RTfoff", "-1", fmt("%RTfoff", (int64_t)-1)},
        {"%RTint|%RTuint|%RTxint", "-1|4294967295|ff", fmt("%RTint|%RTuint|%RTxint", -1, -1, 0xff)},
        {"%RTthrd", g_f64 ? "000000000000001c" : "0000001c", fmt("%RTthrd", (void *)0x1c)},
        {"%#RTptr", "0x000000000000001c", fmt("%#RTptr", (uint64_t)0x1c)},
        {"%RTproc", "0000001c", fmt("%RTproc", 0x1c)},
        {"%RTsel", "001c", fmt("%RTsel", 0x1c)},
        {"%6RTsel (a width replaces the fixed one)", "    1c", fmt("%6RTsel", 0x1c)},
        {"%RTunicp", "0001f600", fmt("%RTunicp", 0x1f600)},
        {"%RTutf16", "00e9", fmt("%RTutf16", 0xe9)},
        {"%RGp", "00000000deadbeef", fmt("%RGp", (uint64_t)0xdeadbeef)},
        {"%RHv", g_f64 ? "00007fff12345678" : "12345678",
         fmt("%RHv", (void *)(uintptr_t)(g_f64 ? UINT64_C(0x7fff12345678) : 0x12345678))},
        {"%RKv", "XXXXXXXX|7", fmt("%RKv|%d", (void *)0x1234, 7)},
        {"%#RKv", "0xXXXXXXXX", fmt("%#RKv", (void *)0x1234)},
        {"%RTbool 1", "true", fmt("%RTbool", 1)},
        {"%RTbool 0", "false", fmt("%RTbool", 0)},
        {"%RTbool 2", "!2!", fmt("%RTbool", 2)},
        {"%#RTbool", "true |", fmt("%#RTbool|", 1)},
        {"%RTfp16", "1234:5678", fmt("%RTfp16", 0x12345678)},
        {"%RTfp32", "0010:12345678|7", fmt("%RTfp32|%d", 0x12345678, 0x10, 7)},
        {"%RTfp64", "0010:0000000012345678|7", fmt("%RTfp64|%d", (uint64_t)0x12345678, 0x10, 7)},
        {"%RTnaipv4", "192.168.0.1", fmt("%RTnaipv4", 0x0100a8c0)},
        {"%Rzz: unknown family", "z|7", fmt("%Rzz|%d", 7)},
        {"%RTnope: unknown type", "nope|7", fmt("%RTnope|%d", 7)},
        {"%RU: cut by the end", "a", fmt("a%RU")},
    };
    for (const FmtCase &c : aCases)
        EXPECT_EQ(c.strActual, c.strExpected) << c.pszFormat;
}

/** Formats into a caller buffer, the path the walk writes in place. */
template <typename T> std::string printfOf(const std::string &strFormat, T Value)
{
    char szBuf[128];
    size_t cch = RTStrPrintf(szBuf, sizeof(szBuf), strFormat.c_str(), Value, 7);
    return std::string(szBuf, cch);
}

/* The sized types are rendered on a path of their own; they give the same
   text as the table's other types of the same size, sign and base, under
   every combination of flags, width and precision, into a buffer and
   through a callback. */
TEST(StrFmtTypes, SizedTypesMatchTheirSynonyms)
{
    static const struct
    {
        const char *pszSized;
        const char *pszSynonym;
        bool f64;
    } s_aPairs[] = {{"U32", "Tuint", false}, {"I32", "Tint", false}, {"X32", "Txint", false},
                    {"U64", "Gu", true},     {"I64", "Gi", true},    {"X64", "Gx", true}};
    static const char *const s_apszMids[] = {"",    "'",   "#",    "+",  " ",   "-",    "0",    "12",   "-12",
                                             "012", "'12", "#018", ".5", "8.3", "'.12", "+'15", "-#10", "70"};
    static const uint64_t s_au64Values[] = {0,
                                            1,
                                            7,
                                            999,
                                            1000,
                                            123456,
                                            1234567,
                                            0x7fffffff,
                                            0x80000000,
                                            0xffffffff,
                                            UINT64_C(0x100000000),
                                            UINT64_C(123456789012),
                                            INT64_MAX,
                                            UINT64_MAX - 41};
    unsigned cCompared = 0;
    for (const auto &Pair : s_aPairs)
        for (const char *pszMid : s_apszMids)
            for (uint64_t u64 : s_au64Values)
            {
                std::string strSized = std::string("%") + pszMid + "R" + Pair.pszSized + "|%d";
                std::string strSynonym = std::string("%") + pszMid + "R" + Pair.pszSynonym + "|%d";
                std::string strGot, strWant;
                if (Pair.f64)
                {
                    strGot = printfOf(strSized, u64);
                    EXPECT_EQ(fmt(strSized.c_str(), u64, 7), strGot) << strSized << " of " << u64;
                    strWant = fmt(strSynonym.c_str(), u64, 7);
                }
                else
                {
                    strGot = printfOf(strSized, (uint32_t)u64);
                    EXPECT_EQ(fmt(strSized.c_str(), (uint32_t)u64, 7), strGot) << strSized << " of " << u64;
                    strWant = fmt(strSynonym.c_str(), (uint32_t)u64, 7);
                }
                EXPECT_EQ(strGot, strWant) << strSized << " of " << u64;
                cCompared++;
            }
    EXPECT_GT(cCompared, 1000u);
}

/** The handler the walk calls for "%y": it hands the "R" type after it to
 *  the dispatcher, with the flags, width, precision and size the walk
 *  parsed, so the type is rendered through the type table (or its family's
 *  renderer) even where the walk has a path of its own for it. */
size_t viaDispatcher(void *, PFNFMTOUTPUT pfnOutput, void *pvArgOutput, const char **ppszFormat, va_list *pArgs,
                     int cchWidth, int cchPrecision, unsigned fFlags, char chArgSize)
{
    (*ppszFormat)++; /* past the "y": the dispatcher starts at the "R" */
    return RTStrFmtExtType(pfnOutput, pvArgOutput, ppszFormat, pArgs, cchWidth, cchPrecision, fFlags, chArgSize);
}

/** One directive rendered the three ways: by the walk through a callback,
 *  by the walk into a buffer (which writes in place), and through the
 *  dispatcher. */
struct FmtRoutes
{
    std::string strWalk, strBuffer, strDispatcher;
};

/** Renders "%<mid>R<type>|%d" and "%<mid>yR<type>|%d" with the arguments
 *  (the value's, then the sentinel for "%d"). */
FmtRoutes renderRoutes(const char *pszWalkFormat, const char *pszDispatcherFormat, ...)
{
    FmtRoutes Routes;
    va_list Args, ArgsBuffer, ArgsDispatcher;
    va_start(Args, pszDispatcherFormat);
    va_copy(ArgsBuffer, Args);
    va_copy(ArgsDispatcher, Args);
    Routes.strWalk = fmtV(pszWalkFormat, Args);
    char szBuf[256];
    size_t cch = RTStrPrintfV(szBuf, sizeof(szBuf), pszWalkFormat, ArgsBuffer);
    Routes.strBuffer.assign(szBuf, cch);
    FmtCapture Capture;
    cch = RTStrFmtV(FmtCapture::output, &Capture, viaDispatcher, nullptr, pszDispatcherFormat, ArgsDispatcher);
    Routes.strDispatcher = cch == Capture.strText.size() ? Capture.strText : "<result differs from output>";
    va_end(ArgsDispatcher);
    va_end(ArgsBuffer);
    va_end(Args);
    return Routes;
}

/** Renders one type with one directive middle and one value through every
 *  route; they must agree, and every route must consume exactly the
 *  type's own arguments (the sentinel after them prints). */
template <typename... T>
void expectRoutesAgree(const char *pszType, const std::string &strMid, const std::string &strValue, unsigned *pcCases,
                       T... Values)
{
    std::string strWalk = "%" + strMid + "R" + pszType + "|%d";
    std::string strDispatcher = "%" + strMid + "yR" + pszType + "|%d";
    FmtRoutes Routes = renderRoutes(strWalk.c_str(), strDispatcher.c_str(), Values..., 77);
    std::string strCase = strWalk + " of " + strValue;
    EXPECT_EQ(Routes.strWalk, Routes.strDispatcher) << strCase;
    EXPECT_EQ(Routes.strBuffer, Routes.strDispatcher) << strCase;
    EXPECT_TRUE(Routes.strDispatcher.size() >= 3 &&
                Routes.strDispatcher.compare(Routes.strDispatcher.size() - 3, 3, "|77") == 0)
        << strCase << ": " << Routes.strDispatcher;
    ++*pcCases;
}

std::string hexOf(uint64_t u64)
{
    char sz[32];
    snprintf(sz, sizeof(sz), "%#llx", (unsigned long long)u64);
    return sz;
}

/* Some types are rendered by the walk itself (the sized integers, "%Rrc"),
   all of them also by the dispatcher through the type table or their
   family's renderer. Every type gives the same text both ways, into a
   callback and into a buffer, under a range of flags, widths, precisions
   and sizes, for values at the edges of its argument. */
TEST(StrFmtTypes, EveryTypeRendersAlikeInTheWalkAndThroughTheTable)
{
    static const char *const s_apszMids[] = {"",   "#",   "'",    "+",   " ",   "-", "0", "12", "-12", "012",
                                             ".5", "8.3", "#018", "'15", "+.0", "l", "h", "ll", "-#10"};
    static const uint32_t s_au32Values[] = {0,      1,       2,       7,          0x1c,       0xff,      0x1ff,
                                            0xffff, 0x1ffff, 1234567, 0x7fffffff, 0x80000000, 0xffffffff};
    static const uint64_t s_au64Values[] = {0,
                                            1,
                                            0x1c,
                                            1234567,
                                            0xffffffff,
                                            UINT64_C(0x100000000),
                                            UINT64_C(0x123456789abc),
                                            INT64_MAX,
                                            UINT64_C(0x8000000000000000),
                                            UINT64_MAX};
    static const int32_t s_aiStatuses[] = {0, -1, ERR_FILE_NOT_FOUND, INF_NOT_AN_OPTION, 30000, -30000, INT32_MIN};
    static const uint32_t s_auWinErrors[] = {0, 5, 0x80070000, 0x80070005};

    static const uint8_t s_abIPv6[][16] = {
        {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1},
        {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 10, 0, 0, 1},
        {0},
    };
    static const uint8_t s_abMac[6] = {0x00, 0x1b, 0x21, 0xab, 0xcd, 0xef};
    RTNetAddrRec aAddrs[4] = {};
    aAddrs[0].enmType = RTNETADDRTYPE_IPV4;
    memcpy(aAddrs[0].uAddr.au8, "\x0a\x00\x00\x01", 4);
    aAddrs[0].uPort = 80;
    aAddrs[1].enmType = RTNETADDRTYPE_IPV6;
    memcpy(aAddrs[1].uAddr.au8, s_abIPv6[0], 16);
    aAddrs[1].uPort = RTNETADDR_PORT_NA;
    aAddrs[2].enmType = RTNETADDRTYPE_MAC;
    memcpy(aAddrs[2].uAddr.au8, s_abMac, 6);
    aAddrs[2].uPort = RTNETADDR_PORT_NA;
    aAddrs[3].enmType = 3;
    RTUUID Uuid;
    Uuid.Gen.u32TimeLow = 0x12345678;
    Uuid.Gen.u16TimeMid = 0x9abc;
    Uuid.Gen.u16TimeHiAndVersion = 0x4def;
    memcpy(&Uuid.au8[8], "\x80\x01\x02\x03\x04\x05\x06\x07", 8);
    char szMsg[16] = "disk on fire";
    const RTERRINFO aInfos[] = {
        {RTERRINFO_FLAGS_MAGIC | RTERRINFO_FLAGS_SET, ERR_FILE_NOT_FOUND, sizeof(szMsg), szMsg},
        {RTERRINFO_FLAGS_MAGIC | RTERRINFO_FLAGS_SET, 30000, 4, szMsg},
        {RTERRINFO_FLAGS_MAGIC | RTERRINFO_FLAGS_SET, 0, 0, szMsg},
        {RTERRINFO_FLAGS_SET, ERR_FILE_NOT_FOUND, sizeof(szMsg), szMsg},
    };
    /* Records by kind, each list ending with the bad pointers. */
    const void *const apvIPv6[] = {s_abIPv6[0], s_abIPv6[1], s_abIPv6[2], nullptr, (void *)16};
    const void *const apvMac[] = {s_abMac, nullptr, (void *)4095};
    const void *const apvNetAddr[] = {&aAddrs[0], &aAddrs[1], &aAddrs[2], &aAddrs[3], nullptr};
    const void *const apvUuid[] = {&Uuid, nullptr};
    const void *const apvErrInfo[] = {&aInfos[0], &aInfos[1], &aInfos[2], &aInfos[3], nullptr, (void *)16};

    unsigned cCases = 0;
    auto checkType = [&](const TypeCase &Type) {
        for (const char *pszMid : s_apszMids)
        {
            auto checkPointers = [&](const void *const *papv, size_t cpv) {
                for (size_t i = 0; i < cpv; i++)
                    expectRoutesAgree(Type.pszName, pszMid, "record #" + std::to_string(i), &cCases, papv[i]);
            };
            switch (Type.enmArg)
            {
                case TypeArg::k32:
                    for (uint32_t u32 : s_au32Values)
                        expectRoutesAgree(Type.pszName, pszMid, hexOf(u32), &cCases, u32);
                    break;
                case TypeArg::k64:
                    for (uint64_t u64 : s_au64Values)
                        expectRoutesAgree(Type.pszName, pszMid, hexOf(u64), &cCases, u64);
                    break;
                case TypeArg::kPtr:
                    for (uint64_t u64 : s_au64Values)
                        expectRoutesAgree(Type.pszName, pszMid, hexOf((uintptr_t)u64), &cCases, (uintptr_t)u64);
                    break;
                case TypeArg::kFarPtr32:
                    for (uint32_t u32 : s_au32Values)
                        expectRoutesAgree(Type.pszName, pszMid, hexOf(u32) + " sel 0x1c", &cCases, u32, (uint32_t)0x1c);
                    break;
                case TypeArg::kFarPtr64:
                    for (uint64_t u64 : s_au64Values)
                        expectRoutesAgree(Type.pszName, pszMid, hexOf(u64) + " sel 0xffff", &cCases, u64,
                                          (uint32_t)0xffff);
                    break;
                case TypeArg::kIPv6: checkPointers(apvIPv6, RT_ELEMENTS(apvIPv6)); break;
                case TypeArg::kMac: checkPointers(apvMac, RT_ELEMENTS(apvMac)); break;
                case TypeArg::kNetAddr: checkPointers(apvNetAddr, RT_ELEMENTS(apvNetAddr)); break;
                case TypeArg::kUuid: checkPointers(apvUuid, RT_ELEMENTS(apvUuid)); break;
                case TypeArg::kErrInfo: checkPointers(apvErrInfo, RT_ELEMENTS(apvErrInfo)); break;
                case TypeArg::kStatus:
                    for (int32_t rc : s_aiStatuses)
                        expectRoutesAgree(Type.pszName, pszMid, std::to_string(rc), &cCases, rc);
                    break;
                case TypeArg::kWinError:
                    for (uint32_t u32 : s_auWinErrors)
                        expectRoutesAgree(Type.pszName, pszMid, hexOf(u32), &cCases, u32);
                    break;
            }
        }
    };
    for (const TypeCase &Type : g_aTypeCases)
        checkType(Type);
    for (const TypeCase &Type : g_aStatusTypeCases)
        checkType(Type);
    EXPECT_GT(cCases, 10000u);
}

/* Every name of the type table is found by the binary search, and consumes
   exactly its own name and its argument. */
TEST(StrFmtTypes, EveryTypeIsFound)
{
    ASSERT_EQ(RT_ELEMENTS(g_aTypeCases), 64u);
    for (const TypeCase &Type : g_aTypeCases)
    {
        const char *pszType = Type.pszName;
        /* Zero arguments: pointer types see null and print a marker, the
           error information types print nothing; far pointers take two or
           three slots, so give every type three zeros and a sentinel. */
        std::string strFormat = std::string("<%R") + pszType + ">";
        bool fMulti = strncmp(pszType, "Tfp", 3) == 0 && pszType[3] != '1';
        if (!fMulti)
            strFormat += "%d";
        std::string str = fmt(strFormat.c_str(), 0ULL, 0ULL, 0ULL, 77);
        if (strcmp(pszType, "Teic") == 0 || strcmp(pszType, "Teim") == 0)
            EXPECT_EQ(str, "<>0") << pszType;
        else if (fMulti)
            EXPECT_EQ(str.substr(0, 6), "<0000:") << pszType;
        else
        {
            ASSERT_GE(str.size(), 4u) << pszType;
            EXPECT_NE(str[1], '>') << pszType << " printed nothing";
            EXPECT_EQ(str.substr(str.size() - 2), ">0") << pszType << ": " << str;
        }
    }
}

TEST(StrFmtTypes, Addresses)
{
    static const uint8_t s_abV6[16] = {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1};
    static const uint8_t s_abMapped[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 10, 0, 0, 1};
    static const uint8_t s_abCompat[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 10, 0, 0, 1};
    static const uint8_t s_abTranslated[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 0, 0, 10, 0, 0, 1};
    static const uint8_t s_abLoopback[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    static const uint8_t s_abZero[16] = {0};
    static const uint8_t s_abTail[16] = {0, 1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0, 0, 0, 0};
    static const uint8_t s_abNoRun[16] = {0, 1, 0, 0, 0, 3, 0, 4, 0, 5, 0, 6, 0, 7, 0, 8};

    RTNetAddrRec V4Port = {};
    V4Port.enmType = RTNETADDRTYPE_IPV4;
    memcpy(V4Port.uAddr.au8, "\x0a\x00\x00\x01", 4);
    V4Port.uPort = 80;
    RTNetAddrRec V4 = V4Port;
    V4.uPort = RTNETADDR_PORT_NA;
    RTNetAddrRec V6Port = {};
    V6Port.enmType = RTNETADDRTYPE_IPV6;
    memcpy(V6Port.uAddr.au8, s_abLoopback, 16);
    V6Port.uPort = 443;
    RTNetAddrRec Mac = {};
    Mac.enmType = RTNETADDRTYPE_MAC;
    memcpy(Mac.uAddr.au8, "\x00\x1b\x21\xab\xcd\xef", 6);
    Mac.uPort = RTNETADDR_PORT_NA;
    RTNetAddrRec Odd = {};
    Odd.enmType = 3;

    RTUUID Uuid;
    Uuid.Gen.u32TimeLow = 0x12345678;
    Uuid.Gen.u16TimeMid = 0x9abc;
    Uuid.Gen.u16TimeHiAndVersion = 0x4def;
    memcpy(&Uuid.au8[8], "\x80\x01\x02\x03\x04\x05\x06\x07", 8);

    const FmtCase aCases[] = {
        {"%RTnaipv6", "2001:db8::1:0:0:1", fmt("%RTnaipv6", s_abV6)},
        {"%RTnaipv6 mapped", "::ffff:10.0.0.1", fmt("%RTnaipv6", s_abMapped)},
        {"%RTnaipv6 compatible", "::10.0.0.1", fmt("%RTnaipv6", s_abCompat)},
        {"%RTnaipv6 translated", "::ffff:0:10.0.0.1", fmt("%RTnaipv6", s_abTranslated)},
        {"%RTnaipv6 loopback", "::1", fmt("%RTnaipv6", s_abLoopback)},
        {"%RTnaipv6 zero", "::", fmt("%RTnaipv6", s_abZero)},
        {"%RTnaipv6 zero tail", "1:2:3:4:5:6::", fmt("%RTnaipv6", s_abTail)},
        {"%RTnaipv6 single zero group", "1:0:3:4:5:6:7:8", fmt("%RTnaipv6", s_abNoRun)},
        {"%RTnaipv6 null", "<00000000!BadIPv6>", fmt("%RTnaipv6", (void *)nullptr)},
        {"%RTmac", "00:1b:21:ab:cd:ef", fmt("%RTmac", Mac.uAddr.au8)},
        {"%RTmac bad", "<00000fff!BadMac>", fmt("%RTmac", (void *)4095)},
        {"%RTnaddr v4", "10.0.0.1", fmt("%RTnaddr", &V4)},
        {"%RTnaddr v4 port", "10.0.0.1:80", fmt("%RTnaddr", &V4Port)},
        {"%RTnaddr v6 port", "[::1]:443", fmt("%RTnaddr", &V6Port)},
        {"%RTnaddr mac", "00:1b:21:ab:cd:ef", fmt("%RTnaddr", &Mac)},
        {"%RTnaddr other", "unsupported-netaddr-type=3", fmt("%RTnaddr", &Odd)},
        {"%RTnaddr bad", "<00000001!BadNetAddr>", fmt("%RTnaddr", (void *)1)},
        {"%RTuuid", "12345678-9abc-4def-8001-020304050607", fmt("%RTuuid", &Uuid)},
        {"%RTuuid null", "<00000000!BadUuid>", fmt("%RTuuid", (void *)nullptr)},
    };
    for (const FmtCase &c : aCases)
        EXPECT_EQ(c.strActual, c.strExpected) << c.pszFormat;
}

TEST(StrFmtTypes, ErrorInformation)
{
    char szMsg[16] = "disk on fire";
    RTERRINFO Info = {RTERRINFO_FLAGS_MAGIC | RTERRINFO_FLAGS_SET, ERR_FILE_NOT_FOUND, sizeof(szMsg), szMsg};
    EXPECT_EQ(fmt("%RTeic", &Info), "The file was not found: disk on fire");
    EXPECT_EQ(fmt("%#RTeic", &Info), "The file was not found - disk on fire");
    EXPECT_EQ(fmt("%RTeim", &Info), ": disk on fire");
    /* The message stops at the buffer's size even without a terminator. */
    Info.cbMsg = 4;
    EXPECT_EQ(fmt("%RTeim", &Info), ": disk");
    Info.cbMsg = 0;
    EXPECT_EQ(fmt("%RTeic", &Info), "The file was not found");
    RTERRINFO NoMarker = Info;
    NoMarker.fFlags = RTERRINFO_FLAGS_SET;
    EXPECT_EQ(fmt("[%RTeic]", &NoMarker), "[]");
    RTERRINFO NotSet = Info;
    NotSet.fFlags = RTERRINFO_FLAGS_MAGIC;
    EXPECT_EQ(fmt("[%RTeic]", &NotSet), "[]");
    EXPECT_EQ(fmt("[%RTeic]%d", (void *)16, 5), "[]5");
}

TEST(StrFmtTypes, Text)
{
    RTTIMESPEC Time = {1500};
    static const uint8_t s_abBigEndian[] = {0x00, 'h', 0x00, 0xe9, 0xd8, 0x3d, 0xde, 0x00, 0, 0};
    const FmtCase aCases[] = {
        {"%RDtimespec", "1 500 ns", fmt("%RDtimespec", &Time)},
        {"%RDtimespec bad", "<00000000!BadRD>", fmt("%RDtimespec", (void *)nullptr)},
        {"%RDfoo", "foo|7", fmt("%RDfoo|%d", 7)},
        {"%RMes", "a&lt;b&gt;&amp;&quot;&apos;", fmt("%RMes", "a<b>&\"'")},
        {"%RMas", "\"a&lt;&#xA;&#xD;'\"", fmt("%RMas", "a<\n\r'")},
        {"%RMjs tab", "\"\\t\"", fmt("%RMjs", "\t")},
        {"%RMjs", "\"q\\\"\\\\\\b\\f\\n\\u000d\\u001f\xc3\xa9\"", fmt("%RMjs", "q\"\\\b\f\n\r\x1f\xc3\xa9")},
        {"%RMpf", "a+b", fmt("%RMpf", "a b")},
        {"%RMpp", "/a%20b%2B~", fmt("%RMpp", "/a b+~")},
        {"%RMpq", "%2Fa%20b+", fmt("%RMpq", "/a b+")},
        {"%RMpa", "%2Fa%3D%C3%A9", fmt("%RMpa", "/a=\xc3\xa9")},
        {"%6RMpf pads with %20", "%20%20%20a+b", fmt("%6RMpf", "a b")},
        {"%-5RMes", "&lt;    |", fmt("%-5RMes|", "<  ")},
        {"%.2RMes", "a&lt;", fmt("%.2RMes", "a<b")},
        {"%RMes bad", "&lt;NULL&gt;", fmt("%RMes", (char *)nullptr)},
        {"%RMpx unknown", "|7", fmt("%RMpx|%d", 7)},
        {"%Rbn", "file.txt", fmt("%Rbn", "C:\\dir\\file.txt")},
        {"%Rbn slash", "b", fmt("%Rbn", "a/b")},
        {"%Rbn drive", "x", fmt("%Rbn", "C:x")},
        {"%Rbn bad", "<00000000!BadBaseName>", fmt("%Rbn", (char *)nullptr)},
        {"%lRbs", "h\xc3\xa9\xf0\x9f\x98\x80", fmt("%lRbs", s_abBigEndian)},
        {"%4.2lRbs", "  h\xc3\xa9", fmt("%4.2lRbs", s_abBigEndian)},
        {"%lRbs bad", "<NULL>", fmt("%lRbs", (void *)nullptr)},
        {"%Rbs without l", "|7", fmt("%Rbs|%d", s_abBigEndian, 7)},
        {"%Rfn", "rtR3InitBody", fmt("%Rfn", "int __cdecl rtR3InitBody(unsigned int,int,char ***,const char *)")},
        {"%Rfn templates", "ns::f", fmt("%Rfn", "std::map<int, long> __cdecl ns::f(int)")},
        {"%Rfn bare", "main", fmt("%Rfn", "main")},
        {"%Rfn bad", "<00000010!BadFnNm>", fmt("%Rfn", (char *)16)},
    };
    for (const FmtCase &c : aCases)
        EXPECT_EQ(c.strActual, c.strExpected) << c.pszFormat;
}

TEST(StrFmtTypes, HexAndSizes)
{
    static const uint8_t s_ab3[] = {1, 2, 3};
    uint8_t ab[40];
    for (unsigned i = 0; i < sizeof(ab); i++)
        ab[i] = (uint8_t)(i < 32 ? 0x41 : i);
    const FmtCase aCases[] = {
        {"%.3Rhxs", "01 02 03", fmt("%.3Rhxs", s_ab3)},
        {"%'.3Rhxs", "01:02:03", fmt("%'.3Rhxs", s_ab3)},
        {"%#.3Rhxs", "010203", fmt("%#.3Rhxs", s_ab3)},
        {"%.3RhXs", "00001000: 01 02 03", fmt("%.3RhXs", s_ab3, (uint64_t)0x1000)},
        {"%.3RhXs wide", "0000000100000000: 01 02 03", fmt("%.3RhXs", s_ab3, (uint64_t)1 << 32)},
        {"%Rhxs null", "<null>", fmt("%Rhxs", (void *)nullptr)},
        {"%Rhxd bad", "<00000010!BadHex>", fmt("%Rhxd", (void *)16)},
        {"%.3RhXd", "00001000/0000: 01 02 03" + std::string(13 * 3, ' ') + " ...",
         fmt("%.3RhXd", s_ab3, (uint64_t)0x1000)},
        {"%4.6RhXd", "00000010/0000: 41 41 41 41 AAAA\n00000014/0004: 41 41       AA",
         fmt("%4.6RhXd", ab, (uint64_t)0x10)},
        {"%.18RhXd",
         "00000000/0000: 41 41 41 41 41 41 41 41-41 41 41 41 41 41 41 41 AAAAAAAAAAAAAAAA\n"
         "00000010/0010: 41 41" +
             std::string(14 * 3, ' ') + " AA",
         fmt("%.18RhXd", ab, (uint64_t)0)},
        {"%4.40RhXD",
         "00000000/0000: 41 41 41 41 AAAA\n******** ****  <ditto x 7>\n"
         "00000020/0020: 20 21 22 23  !\"#\n00000024/0024: 24 25 26 27 $%&'",
         fmt("%4.40RhXD", ab, (uint64_t)0)},
        {"%4.12RhXD trailing ditto", "00000000/0000: 41 41 41 41 AAAA\n******** ****  <ditto x 2>",
         fmt("%4.12RhXD", ab, (uint64_t)0)},
        {"% .1Rhcb", "1.5 KiB", fmt("% .1Rhcb", (uint64_t)1536)},
        {"%Rhcb", "1.5KiB", fmt("%Rhcb", (uint64_t)1536)},
        {"%.0Rhcb below twice the unit", "1536B", fmt("%.0Rhcb", (uint64_t)1536)},
        {"%.0Rhcb", "2KiB", fmt("%.0Rhcb", (uint64_t)2048)},
        {"%.2RhcB", "3.00MB", fmt("%.2RhcB", (uint64_t)3 << 20)},
        {"%.5Rhub caps at 3", "1.000Ki", fmt("%.5Rhub", (uint64_t)1024)},
        {"%Rhui", "1.5k", fmt("%Rhui", (uint64_t)1500)},
        {"%.0Rhui below 1.01 units", "1005", fmt("%.0Rhui", (uint64_t)1005)},
        {"%.0Rhui", "1k", fmt("%.0Rhui", (uint64_t)1010)},
        {"%Rhci", "18.4EB", fmt("%Rhci", UINT64_MAX)},
        {"%Rhcb max", "16.0EiB", fmt("%Rhcb", UINT64_MAX)},
        {"%Rhcb small", "512B", fmt("%Rhcb", (uint64_t)512)},
        {"%.1Rhub rounds up", "2.0Ki", fmt("%.1Rhub", (uint64_t)2047)},
        {"%Rhq unknown", "|7", fmt("%Rhq|%d", 7)},
        {"%Rhxq unknown", "|7", fmt("%Rhxq|%d", 7)},
        {"%RAx86[cr0]", "80050033{PE,MP,ET,NE,WP,AM,PG}", fmt("%RAx86[cr0]", (uint64_t)0x80050033)},
        {"%RAx86[cr4] unknown bits", "100002000{VMXE,unkn=100000000}", fmt("%RAx86[cr4]", (uint64_t)0x100002000)},
        {"%RAx86[cr0] zero", "00000000{}", fmt("%RAx86[cr0]", (uint64_t)0)},
        {"%RAx86[cr3] consumed", "|7", fmt("%RAx86[cr3]|%d", (uint64_t)1, 7)},
        {"%RAx86 incomplete", "x86|7", fmt("%RAx86|%d", 7)},
    };
    for (const FmtCase &c : aCases)
        EXPECT_EQ(c.strActual, c.strExpected) << c.pszFormat;
}

TEST(StrFmtTypes, Ipv6Directly)
{
    static const uint8_t s_ab[16] = {0xfe, 0x80, 0, 0, 0, 0, 0, 0, 0x02, 0x1b, 0x21, 0xff, 0xfe, 0xab, 0xcd, 0xef};
    FmtCapture Capture;
    size_t cch = RTStrFmtIPv6(FmtCapture::output, &Capture, s_ab);
    EXPECT_EQ(Capture.strText, "fe80::21b:21ff:feab:cdef");
    EXPECT_EQ(cch, Capture.strText.size());
    EXPECT_EQ(Capture.cEndSignals, 0u);
}

} // namespace
