/** @file
 * Tests of the payload lookup on real containers: other launchers' images
 * loaded as resources (tests/installer/fixture.h), among them a container
 * refused piece by piece, with the platform's own resource calls; the
 * lookup's resource-call table replaced only to fail a call, which the
 * platform does not do on demand. Host architecture matching with the real
 * host and with stand-ins for the others.
 */
#include <windows.h>

#include <zolt/err.h>

#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <vector>

#include "capture.h"
#include "cmdline.h"
#include "fixture.h"
#include "payload.h"

namespace
{

/** pkg-a.bin (65,537 bytes), pkg-b.bin (65,536), pkg-c.bin (300,000) as
 *  packages 0 (x86-64), 1 (ARM64) and 2 (all hosts). */
HMODULE HookLauncher()
{
    static HMODULE s_hMod = LoadFixture("e2e_hook_launcher.exe");
    return s_hMod;
}

/** Package 1 (empty.cab, all hosts) has 0 bytes. */
HMODULE HookFailLauncher()
{
    static HMODULE s_hMod = LoadFixture("e2e_hook_fail_launcher.exe");
    return s_hMod;
}

/** tests/e2e/fixtures/make-bad-container.py. */
HMODULE BadContainer()
{
    static HMODULE s_hMod = LoadFixture("fixtures\\bad-container.dll");
    return s_hMod;
}

std::string FileBytes(const std::string &strPath)
{
    std::ifstream In(strPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
}

class PayloadTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        g_fSilentMode = true;
    }
    void TearDown() override
    {
        g_fSilentMode = false;
    }
    StreamCapture m_Capture;
};

TEST_F(PayloadTest, FindsTheContainersPiecesWithTheirExactBytes)
{
    struct Case
    {
        const char *pszName;
        const char *pszFile; /**< the bytes' source, or null: the manifest */
    } const aCases[] = {
        {"MANIFEST", nullptr}, {"BIN_00", "pkg-a.bin"}, {"BIN_01", "pkg-b.bin"}, {"BIN_02", "pkg-c.bin"}};
    for (const Case &c : aCases)
    {
        const void *pvData = nullptr;
        size_t cbData = 0;
        ASSERT_EQ(0, FindPayloadResource(HookLauncher(), c.pszName, &pvData, &cbData)) << c.pszName;
        std::string strExpected = c.pszFile ? FileBytes(FixtureDir() + c.pszFile)
                                            : std::string("QuorInstV1\0\0\0\0\0\3", sizeof(PayloadManifest));
        ASSERT_FALSE(strExpected.empty()) << c.pszFile;
        EXPECT_EQ(strExpected, std::string((const char *)pvData, cbData)) << c.pszName;
    }
    /* The size is optional. */
    const void *pvData = nullptr;
    EXPECT_EQ(0, FindPayloadResource(HookLauncher(), "BIN_00", &pvData, nullptr));
    EXPECT_NE(nullptr, pvData);
}

TEST_F(PayloadTest, LookupFailuresLeaveTheOutputsAlone)
{
    struct Case
    {
        HMODULE hMod;
        const char *pszName;
        int rcExpected;
    } const aCases[] = {
        {HookLauncher(), "BIN_03", ERR_IO_GEN_FAILURE},
        /* Our own image carries no container at all. */
        {GetModuleHandleW(NULL), "MANIFEST", ERR_IO_GEN_FAILURE},
        {HookFailLauncher(), "BIN_01", ERR_NO_DATA},
        {HookLauncher(), nullptr, ERR_INVALID_PARAMETER},
        {HookLauncher(), "BIN_\xff", ERR_INVALID_UTF8_ENCODING},
    };
    for (const Case &c : aCases)
    {
        const void *pvData = &c;
        size_t cbData = 12345;
        EXPECT_EQ(c.rcExpected, FindPayloadResource(c.hMod, c.pszName, &pvData, &cbData))
            << (c.pszName ? c.pszName : "<null>");
        EXPECT_EQ(&c, pvData);
        EXPECT_EQ(12345u, cbData);
    }
    EXPECT_EQ("", m_Capture.TakeErr());
}

/** Forwards to the platform's resource calls, records each, and fails the
 *  one numbered iFail (1 to 4, in the order of the table; 0 fails none). */
struct ResourceCallLog
{
    static inline std::vector<std::string> s_Calls;
    static inline int s_iFail;
    static inline HMODULE s_hModSeen;

    static HRSRC WINAPI Find(HMODULE hMod, LPCWSTR pwszType, LPCWSTR pwszName, WORD idLang)
    {
        s_hModSeen = hMod;
        std::string strName;
        for (LPCWSTR pwc = pwszName; *pwc; pwc++)
            strName += (char)*pwc;
        s_Calls.push_back("find " + std::to_string((uintptr_t)pwszType) + " " + strName + " " + std::to_string(idLang));
        return s_iFail == 1 ? nullptr : g_PayloadHostResourceCalls.pfnFindResourceExW(hMod, pwszType, pwszName, idLang);
    }
    static DWORD WINAPI Size(HMODULE hMod, HRSRC hRsrc)
    {
        s_Calls.push_back(hMod == s_hModSeen ? "size" : "size of another module");
        return s_iFail == 2 ? 0 : g_PayloadHostResourceCalls.pfnSizeofResource(hMod, hRsrc);
    }
    static HGLOBAL WINAPI Load(HMODULE hMod, HRSRC hRsrc)
    {
        s_Calls.push_back(hMod == s_hModSeen ? "load" : "load of another module");
        return s_iFail == 3 ? nullptr : g_PayloadHostResourceCalls.pfnLoadResource(hMod, hRsrc);
    }
    static LPVOID WINAPI Lock(HGLOBAL hGlobal)
    {
        s_Calls.push_back("lock");
        return s_iFail == 4 ? nullptr : g_PayloadHostResourceCalls.pfnLockResource(hGlobal);
    }
    static constexpr PayloadResourceCalls s_Table = {Find, Size, Load, Lock};
};

/** Puts the recording table in place for a scope. */
class ResourceCallScope
{
  public:
    explicit ResourceCallScope(int iFail)
    {
        ResourceCallLog::s_Calls.clear();
        ResourceCallLog::s_iFail = iFail;
        m_pOld = SetPayloadResourceCalls(&ResourceCallLog::s_Table);
    }
    ~ResourceCallScope()
    {
        EXPECT_EQ(&ResourceCallLog::s_Table, SetPayloadResourceCalls(m_pOld));
    }

  private:
    const PayloadResourceCalls *m_pOld;
};

TEST_F(PayloadTest, ResourceCallsGoThroughTheTableInOrderAndStopAtTheFirstFailure)
{
    /* The type is RT_RCDATA (10), the language neutral (0). */
    const std::string strFind = "find 10 BIN_02 0";
    struct Case
    {
        int iFail;
        int rcExpected;
        bool fSizeKnown;
        std::vector<std::string> Calls;
    } const aCases[] = {
        {0, 0, true, {strFind, "size", "load", "lock"}},
        {1, ERR_IO_GEN_FAILURE, false, {strFind}},
        {2, ERR_NO_DATA, false, {strFind, "size"}},
        {3, ERR_IO_GEN_FAILURE, true, {strFind, "size", "load"}},
        {4, ERR_IO_GEN_FAILURE, true, {strFind, "size", "load", "lock"}},
    };
    for (const Case &c : aCases)
    {
        const void *pvData = nullptr;
        size_t cbData = 0;
        {
            ResourceCallScope Scope(c.iFail);
            EXPECT_EQ(c.rcExpected, FindPayloadResource(HookLauncher(), "BIN_02", &pvData, &cbData)) << c.iFail;
        }
        EXPECT_EQ(HookLauncher(), ResourceCallLog::s_hModSeen) << c.iFail;
        EXPECT_EQ(c.Calls, ResourceCallLog::s_Calls) << c.iFail;
        EXPECT_EQ(c.fSizeKnown ? 300000u : 0u, cbData) << c.iFail;
        EXPECT_EQ(c.rcExpected == 0, pvData != nullptr) << c.iFail;
    }
    /* Null puts the platform's calls back. */
    EXPECT_EQ(&g_PayloadHostResourceCalls, SetPayloadResourceCalls(nullptr));
}

TEST_F(PayloadTest, HeaderNamesHaveTwoDigitsAtLeast)
{
    ResourceCallScope Scope(1);
    for (unsigned iPackage : {0u, 7u, 99u, 123u})
    {
        ResourceCallLog::s_Calls.clear();
        EXPECT_EQ(nullptr, GetPackageHeader(HookLauncher(), iPackage));
        char szExpected[32];
        snprintf(szExpected, sizeof(szExpected), "find 10 HDR_%02u 0", iPackage);
        EXPECT_EQ(std::vector<std::string>{szExpected}, ResourceCallLog::s_Calls);
    }
    EXPECT_EQ("shown: Internal error: Could not find package header #0: ERR_IO_GEN_FAILURE\n"
              "shown: Internal error: Could not find package header #7: ERR_IO_GEN_FAILURE\n"
              "shown: Internal error: Could not find package header #99: ERR_IO_GEN_FAILURE\n"
              "shown: Internal error: Could not find package header #123: ERR_IO_GEN_FAILURE\n",
              Reports(m_Capture.TakeErr()));
}

TEST_F(PayloadTest, GoodHeadersAndManifest)
{
    const PayloadManifest *pManifest = nullptr;
    ASSERT_EQ(0, FindPayloadManifest(HookLauncher(), &pManifest));
    EXPECT_EQ(3, pManifest->cPackages);

    struct Case
    {
        uint32_t enmArch;
        const char *pszResource;
        const char *pszFile;
    } const aCases[] = {{3, "BIN_00", "pkg-a.cab"}, {4, "BIN_01", "pkg-b.cab"}, {1, "BIN_02", "pkg-c.cab"}};
    for (unsigned i = 0; i < 3; i++)
    {
        const PackageHeader *pHdr = GetPackageHeader(HookLauncher(), i);
        ASSERT_NE(nullptr, pHdr) << i;
        EXPECT_EQ(aCases[i].enmArch, pHdr->enmArch) << i;
        EXPECT_STREQ(aCases[i].pszResource, pHdr->szResourceName) << i;
        EXPECT_STREQ(aCases[i].pszFile, pHdr->szFileName) << i;
    }
    EXPECT_EQ("", m_Capture.TakeErr());
}

TEST_F(PayloadTest, EveryBadPieceOfAContainerIsRefused)
{
    const PayloadManifest *pManifest = nullptr;
    EXPECT_EQ(ERR_INVALID_MAGIC, FindPayloadManifest(BadContainer(), &pManifest));
    EXPECT_EQ(ERR_IO_GEN_FAILURE, FindPayloadManifest(GetModuleHandleW(NULL), &pManifest));
    EXPECT_EQ(nullptr, pManifest);

    /* The headers of make-bad-container.py: 0 is good, 11 names a missing
       resource (which only extraction finds out). */
    EXPECT_NE(nullptr, GetPackageHeader(BadContainer(), 0));
    EXPECT_NE(nullptr, GetPackageHeader(BadContainer(), 11));
    EXPECT_EQ("", m_Capture.TakeErr());
    struct Case
    {
        unsigned iPackage;
        const char *pszWhat;
        const char *pszStatus;
    } const aCases[] = {
        {1, "255 bytes", "ERR_IO_BAD_LENGTH"},
        {2, "257 bytes", "ERR_IO_BAD_LENGTH"},
        {3, "unterminated resource name", "ERR_INVALID_NAME"},
        {4, "unterminated file name", "ERR_INVALID_NAME"},
        {5, "empty file name", "ERR_INVALID_NAME"},
        {6, "file name .", "ERR_INVALID_NAME"},
        {7, "file name ..", "ERR_INVALID_NAME"},
        {8, "backslash", "ERR_INVALID_NAME"},
        {9, "slash", "ERR_INVALID_NAME"},
        {10, "drive", "ERR_INVALID_NAME"},
        {12, "0 bytes", "ERR_NO_DATA"},
        {13, "missing", "ERR_IO_GEN_FAILURE"},
    };
    for (const Case &c : aCases)
    {
        EXPECT_EQ(nullptr, GetPackageHeader(BadContainer(), c.iPackage)) << c.pszWhat;
        EXPECT_EQ("shown: Internal error: Could not find package header #" + std::to_string(c.iPackage) + ": " +
                      c.pszStatus + "\n",
                  Reports(m_Capture.TakeErr()))
            << c.pszWhat;
    }
}

TEST(PayloadCheckTest, ManifestMustHaveItsSizeAndItsWholeMagic)
{
    PayloadManifest Manifest = {"QuorInstV1", 3};
    EXPECT_EQ(0, CheckPayloadManifest(&Manifest, sizeof(Manifest)));
    EXPECT_EQ(ERR_IO_BAD_LENGTH, CheckPayloadManifest(&Manifest, sizeof(Manifest) - 1));
    EXPECT_EQ(ERR_IO_BAD_LENGTH, CheckPayloadManifest(&Manifest, sizeof(Manifest) + 1));
    /* The padding is part of the magic. */
    Manifest.szMagic[14] = 'x';
    EXPECT_EQ(ERR_INVALID_MAGIC, CheckPayloadManifest(&Manifest, sizeof(Manifest)));
}

/** A host stand-in that counts how often it is asked. */
struct HostStandIn
{
    static inline PackageArch s_enmHost;
    static inline unsigned s_cCalls;
    static PackageArch Detect(void)
    {
        s_cCalls++;
        return s_enmHost;
    }
};

TEST(PayloadArchTest, APackageFitsWhenItIsForAllHostsOrForThisOne)
{
    for (PackageArch enmHost : {PackageArch_X86, PackageArch_X86_64, PackageArch_Arm64})
        for (uint32_t enmArch = 0; enmArch <= 5; enmArch++)
        {
            HostStandIn::s_enmHost = enmHost;
            HostStandIn::s_cCalls = 0;
            bool fExpected = enmArch == PackageArch_All || enmArch == (uint32_t)enmHost;
            EXPECT_EQ(fExpected, PackageFitsHost(enmArch, HostStandIn::Detect)) << enmArch << " on " << enmHost;
            /* The host is asked anew for every package not for all hosts. */
            EXPECT_EQ(enmArch == PackageArch_All ? 0u : 1u, HostStandIn::s_cCalls) << enmArch << " on " << enmHost;
        }
}

TEST(PayloadArchTest, TheRealHostIsX86_64)
{
    /* This test runs under 64-bit Wine on an x86-64 machine, whose native
       machine IsWow64Process2 reports as AMD64. */
    EXPECT_EQ(PackageArch_X86_64, DetectHostArch());
    for (uint32_t enmArch = 0; enmArch <= 5; enmArch++)
        EXPECT_EQ(enmArch == PackageArch_All || enmArch == PackageArch_X86_64, PackageFitsHost(enmArch, DetectHostArch))
            << enmArch;
}

TEST(PayloadArchTest, DisplayNames)
{
    const char *const apszNames[] = {"<Unknown>", "<Unknown>", "x86", "x86_64", "arm64", "<Unknown>"};
    for (uint32_t enmArch = 0; enmArch <= 5; enmArch++)
        EXPECT_STREQ(apszNames[enmArch], PackageArchName(enmArch)) << enmArch;
    EXPECT_STREQ("<Unknown>", PackageArchName(UINT32_MAX));
}

} // namespace
