/** @file
 * Tests of the launcher's own data resources: the identity and the carried
 * certificate table, their checks on tables of well-formed and malformed
 * bytes, and their readers on real images (other launchers loaded as image
 * resources, a module of refused resources, and this test binary, which
 * carries the default identity and an empty certificate table).
 */
#include <windows.h>

#include <zolt/err.h>

#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include <vector>

#include "capture.h"
#include "certificate.h"
#include "cmdline.h"
#include "exitcodes.h"
#include "fixture.h"
#include "identity.h"
#include "install.h"
#include "payload.h"

namespace
{

using namespace std::string_literals;

/** An identity resource of the given texts, each terminated. */
std::string Identity(const std::vector<std::string> &Texts)
{
    std::string str = "QuorIdV1";
    for (const std::string &strText : Texts)
        str += strText + '\0';
    return str;
}

const std::vector<std::string> g_DefaultTexts = {"Marrowdale Installer", "Marrowdale", "7.2.0r169963",
                                                 "QuorStubInstaller"};

TEST(IdentityCheck, TakesWellFormedIdentitiesAndRefusesTheRestUntouched)
{
    struct Case
    {
        const char *pszWhat;
        std::string strData;
        int rcExpected;
    } const aCases[] = {
        {"the default", Identity(g_DefaultTexts), 0},
        {"a namespace, UTF-8, longest texts",
         Identity({"Caf\xc3\xa9 " + std::string(506, 'T'), "\xf0\x9f\x98\x80", "1", "Local\\" + std::string(254, 'm')}),
         0},
        {"a mutex of 260 units", Identity({"T", "N", "V", std::string(260, 'm')}), 0},
        {"nothing", "", ERR_INVALID_MAGIC},
        {"part of the magic", "QuorIdV", ERR_INVALID_MAGIC},
        {"another magic", "QuorIdV2" + Identity(g_DefaultTexts).substr(8), ERR_INVALID_MAGIC},
        {"the magic alone", "QuorIdV1", ERR_IO_BAD_LENGTH},
        {"the last terminator cut off", Identity(g_DefaultTexts).substr(0, Identity(g_DefaultTexts).size() - 1),
         ERR_IO_BAD_LENGTH},
        {"three texts", Identity({"T", "N", "V"}), ERR_IO_BAD_LENGTH},
        {"a fifth text", Identity({"T", "N", "V", "M", "X"}), ERR_IO_BAD_LENGTH},
        {"a byte after the fourth text", Identity(g_DefaultTexts) + "x", ERR_IO_BAD_LENGTH},
        {"a NUL after the fourth text", Identity(g_DefaultTexts) + '\0', ERR_IO_BAD_LENGTH},
        {"an empty title", Identity({"", "N", "V", "M"}), ERR_NO_DATA},
        {"an empty name", Identity({"T", "", "V", "M"}), ERR_NO_DATA},
        {"an empty version", Identity({"T", "N", "", "M"}), ERR_NO_DATA},
        {"an empty mutex name", Identity({"T", "N", "V", ""}), ERR_NO_DATA},
        {"a title of 513 bytes", Identity({std::string(513, 'T'), "N", "V", "M"}), ERR_BUFFER_OVERFLOW},
        {"a version of 513 bytes", Identity({"T", "N", std::string(513, 'V'), "M"}), ERR_BUFFER_OVERFLOW},
        {"a mutex of 261 units", Identity({"T", "N", "V", std::string(261, 'm')}), ERR_BUFFER_OVERFLOW},
        {"a bad UTF-8 byte", Identity({"T", "N\xff", "V", "M"}), ERR_INVALID_UTF8_ENCODING},
        {"a cut UTF-8 sequence", Identity({"T", "N", "V", "M\xc3"}), ERR_INVALID_UTF8_ENCODING},
        {"a code point beyond UTF-16", Identity({"\xf8\x88\x80\x80\x80", "N", "V", "M"}), ERR_CODE_POINT_TOO_LARGE},
        {"a surrogate", Identity({"T", "N", "V", "M\xed\xa0\x80"}), ERR_SURROGATE_CODE_POINT},
        {"a tab in the title", Identity({"T\tT", "N", "V", "M"}), ERR_INVALID_NAME},
        {"a DEL in the version", Identity({"T", "N", "V\x7f", "M"}), ERR_INVALID_NAME},
        {"a namespace without a name", Identity({"T", "N", "V", "Global\\"}), ERR_INVALID_NAME},
        {"a backslash in the name", Identity({"T", "N", "V", "Global\\a\\b"}), ERR_INVALID_NAME},
        {"a backslash without a namespace", Identity({"T", "N", "V", "Session\\a"}), ERR_INVALID_NAME},
    };
    for (const Case &c : aCases)
    {
        StubIdentityTexts Texts = {"untouched", "untouched", "untouched", "untouched"};
        EXPECT_EQ(c.rcExpected, CheckStubIdentity(c.strData.data(), c.strData.size(), &Texts)) << c.pszWhat;
        if (c.rcExpected != 0)
        {
            EXPECT_STREQ("untouched", Texts.pszProductTitle) << c.pszWhat;
            EXPECT_STREQ("untouched", Texts.pszMutexName) << c.pszWhat;
            continue;
        }
        /* The texts point into the data, in their order. */
        const char *pszData = c.strData.data();
        EXPECT_EQ(pszData + 8, Texts.pszProductTitle) << c.pszWhat;
        EXPECT_EQ(Texts.pszProductTitle + strlen(Texts.pszProductTitle) + 1, Texts.pszProductName) << c.pszWhat;
        EXPECT_EQ(Texts.pszProductName + strlen(Texts.pszProductName) + 1, Texts.pszVersionText) << c.pszWhat;
        EXPECT_EQ(Texts.pszVersionText + strlen(Texts.pszVersionText) + 1, Texts.pszMutexName) << c.pszWhat;
    }
}

/** A certificate table of the given count and entries (each its length
 *  field and bytes). */
std::string Table(uint32_t cCerts, const std::string &strEntries)
{
    return "QuorCrV1" + std::string((const char *)&cCerts, 4) + strEntries;
}

std::string Entry(const std::string &strDer)
{
    uint32_t cb = (uint32_t)strDer.size();
    return std::string((const char *)&cb, 4) + strDer;
}

TEST(CertificateTableCheck, TakesWellFormedTablesAndRefusesTheRestUntouched)
{
    struct Case
    {
        const char *pszWhat;
        std::string strData;
        int rcExpected;
        std::vector<std::string> Certs; /**< the entries a good table yields */
    } const aCases[] = {
        {"no certificate", Table(0, ""), 0, {}},
        {"one", Table(1, Entry("\x30\x03\x02\x01\x01")), 0, {"\x30\x03\x02\x01\x01"}},
        {"two", Table(2, Entry("A") + Entry("BCD")), 0, {"A", "BCD"}},
        {"nothing", "", ERR_INVALID_MAGIC, {}},
        {"another magic", "QuorCrV2" + Table(0, "").substr(8), ERR_INVALID_MAGIC, {}},
        {"the magic alone", "QuorCrV1", ERR_IO_BAD_LENGTH, {}},
        {"a cut count", Table(0, "").substr(0, 11), ERR_IO_BAD_LENGTH, {}},
        {"a count larger than the entries", Table(2, Entry("A")), ERR_IO_BAD_LENGTH, {}},
        {"the largest count and no entry", Table(0xffffffff, ""), ERR_IO_BAD_LENGTH, {}},
        {"a cut length", Table(1, "\x01\x00"s), ERR_IO_BAD_LENGTH, {}},
        {"a length beyond the data", Table(1, Entry("ABC").substr(0, 6)), ERR_IO_BAD_LENGTH, {}},
        {"the largest length",
         Table(1, "\xff\xff\xff\xff"
                  "ABC"s),
         ERR_IO_BAD_LENGTH,
         {}},
        {"a length of 0", Table(2, Entry("") + Entry("A")), ERR_NO_DATA, {}},
        {"a byte after the last entry", Table(1, Entry("A") + "x"), ERR_IO_BAD_LENGTH, {}},
        {"an entry beyond the count", Table(0, Entry("A")), ERR_IO_BAD_LENGTH, {}},
    };
    for (const Case &c : aCases)
    {
        uint32_t cCerts = 12345;
        EXPECT_EQ(c.rcExpected, CheckCarriedCertificates(c.strData.data(), c.strData.size(), &cCerts)) << c.pszWhat;
        if (c.rcExpected != 0)
        {
            EXPECT_EQ(12345u, cCerts) << c.pszWhat;
            continue;
        }
        ASSERT_EQ(c.Certs.size(), cCerts) << c.pszWhat;
        size_t offEntry = STUB_CERTS_FIRST_ENTRY;
        for (const std::string &strCert : c.Certs)
        {
            CarriedCertificate Cert = NextCarriedCertificate(c.strData.data(), &offEntry);
            EXPECT_EQ(strCert, std::string((const char *)Cert.pbData, Cert.cbData)) << c.pszWhat;
        }
        EXPECT_EQ(c.strData.size(), offEntry) << c.pszWhat;
    }
}

class IdentityLoadTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        g_fSilentMode = true;
    }
    void TearDown() override
    {
        g_fSilentMode = false;
        /* Back to this binary's own identity, whatever a test did. */
        EXPECT_EQ(0, LoadStubIdentity(GetModuleHandleW(NULL)));
    }
    static void ExpectIdentity(const std::vector<std::string> &Texts, const wchar_t *pwszTitle,
                               const wchar_t *pwszMutex)
    {
        EXPECT_STREQ(Texts[0].c_str(), g_pszStubProductTitle);
        EXPECT_STREQ(Texts[1].c_str(), g_pszStubProductName);
        EXPECT_STREQ(Texts[2].c_str(), g_pszStubVersionText);
        EXPECT_STREQ(pwszTitle, g_pwszStubProductTitle);
        EXPECT_STREQ(pwszMutex, g_pwszStubMutexName);
    }
    StreamCapture m_Capture;
};

TEST_F(IdentityLoadTest, ReadsTheIdentityTheBuildGaveALauncher)
{
    /* Its own identity (tests/e2e/fixtures/CMakeLists.txt): a title not
       the default is also the name in sentences. */
    ASSERT_EQ(0, LoadStubIdentity(LoadFixture("fixtures\\unit_arch_launcher.exe")));
    ExpectIdentity({"\xc3\x9cnit Arch Fixture", "\xc3\x9cnit Arch Fixture", "1.2.3-unit", "Local\\ZoltUnitArch"},
                   L"\u00dcnit Arch Fixture", L"Local\\ZoltUnitArch");
    EXPECT_EQ("", m_Capture.TakeErr());
}

TEST_F(IdentityLoadTest, AFailedLoadKeepsTheIdentityItHad)
{
    struct Case
    {
        const char *pszWhat;
        HMODULE hMod;
        int rcExpected;
    } const aCases[] = {
        {"a refused identity", LoadFixture("fixtures\\bad-container.dll"), ERR_INVALID_NAME},
        {"no identity", LoadFixture("fixtures\\netmsg.dll"), ERR_IO_GEN_FAILURE},
    };
    for (const Case &c : aCases)
    {
        EXPECT_EQ(c.rcExpected, LoadStubIdentity(c.hMod)) << c.pszWhat;
        ExpectIdentity(g_DefaultTexts, L"Marrowdale Installer", L"QuorStubInstaller");
    }
    EXPECT_EQ("", m_Capture.TakeErr());
}

TEST_F(IdentityLoadTest, ACertificateTableThatCannotBeReadAddsNothingAndSaysWhy)
{
    struct Case
    {
        const char *pszWhat;
        HMODULE hMod;
        const char *pszDetail;
    } const aCases[] = {
        {"a count larger than the entries", LoadFixture("fixtures\\bad-container.dll"), "ERR_IO_BAD_LENGTH"},
        {"no table", LoadFixture("fixtures\\netmsg.dll"), "ERR_IO_GEN_FAILURE"},
    };
    for (const Case &c : aCases)
    {
        EXPECT_EQ(STUB_EXIT_FAILURE, InstallCarriedCertificates(c.hMod)) << c.pszWhat;
        EXPECT_EQ("error: Could not read the certificate table: "s + c.pszDetail +
                      "\nshown: Failed to add our certificate(s) to trusted publisher store.\n",
                  Reports(m_Capture.TakeErr()))
            << c.pszWhat;
    }
}

TEST_F(IdentityLoadTest, AnEmptyCertificateTableAddsNothing)
{
    /* This binary carries a table of no certificate, as a launcher built
       without one does. */
    const void *pvTable = nullptr;
    size_t cbTable = 0;
    ASSERT_EQ(0, FindPayloadResource(GetModuleHandleW(NULL), "CERTS", &pvTable, &cbTable));
    EXPECT_EQ("QuorCrV1\0\0\0\0"s, std::string((const char *)pvTable, cbTable));
    EXPECT_EQ(STUB_EXIT_SUCCESS, InstallCarriedCertificates(GetModuleHandleW(NULL)));
    EXPECT_EQ("", m_Capture.TakeErr());
}

} // namespace
