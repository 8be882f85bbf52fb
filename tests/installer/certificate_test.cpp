/** @file
 * Tests of adding a certificate to a system store: with the platform's
 * crypt32 on a store of the current user made for the test, and with the
 * store calls replaced through their lazily bound slots for the failures
 * the platform does not give on demand. The certificate is the demo
 * publisher's (payload/, built into <build>/payload/publisher.der).
 */
#include <windows.h>

#include <zolt/err.h>
#include <zolt/initterm.h>

#include <wincrypt.h>

#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <vector>

#include "capture.h"
#include "certificate.h"
#include "lazybind.h"

namespace
{

/** The demo certificate: <build>/payload/publisher.der, the build tree
 *  being the parent of this test's folder. */
std::vector<uint8_t> DemoCertificate()
{
    char szExe[MAX_PATH];
    DWORD cch = GetModuleFileNameA(NULL, szExe, MAX_PATH);
    std::string strPath(szExe, cch < MAX_PATH ? cch : 0);
    strPath = strPath.substr(0, strPath.find_last_of("\\/"));
    strPath = strPath.substr(0, strPath.find_last_of("\\/") + 1) + "payload\\publisher.der";
    std::ifstream In(strPath, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
}

/** The runtime error messages written, their "<program>: error: " prefix
 *  removed. */
std::string ErrorMessages(const std::string &strErr)
{
    std::string strOut;
    size_t off = 0;
    while ((off = strErr.find(": error: ", off)) != std::string::npos)
    {
        size_t offEnd = strErr.find('\n', off);
        strOut += strErr.substr(off + 9, offEnd - off - 9) + "\n";
        off = offEnd;
    }
    return strOut;
}

/** Calls of the replaced store functions; each forwards to crypt32 unless
 *  told to fail. */
struct StoreCalls
{
    std::vector<std::string> Calls;
    /** CertOpenStore fails with this last error (0: forward). */
    DWORD dwOpenError = 0;
    /** CertAddCertificateContextToStore fails with this (0: forward). */
    DWORD dwAddError = 0;
    /** CertOpenStore gives a memory store instead of the system store. */
    bool fMemoryStore = false;
};
StoreCalls *g_pCalls;

HCERTSTORE WINAPI FakeCertOpenStore(LPCSTR pszProvider, DWORD fEncoding, HCRYPTPROV_LEGACY hProv, DWORD fFlags,
                                    const void *pvPara)
{
    char sz[160];
    int cchName = WideCharToMultiByte(CP_UTF8, 0, (const wchar_t *)pvPara, -1, NULL, 0, NULL, NULL);
    std::string strName(cchName > 0 ? cchName - 1 : 0, '\0');
    WideCharToMultiByte(CP_UTF8, 0, (const wchar_t *)pvPara, -1, &strName[0], cchName, NULL, NULL);
    snprintf(sz, sizeof(sz), "open %u %#lx %u %#lx ", (unsigned)(uintptr_t)pszProvider, fEncoding, (unsigned)hProv,
             fFlags);
    g_pCalls->Calls.push_back(sz + strName);
    if (g_pCalls->dwOpenError)
    {
        SetLastError(g_pCalls->dwOpenError);
        return NULL;
    }
    if (g_pCalls->fMemoryStore)
        return CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, NULL);
    return CertOpenStore(pszProvider, fEncoding, hProv, fFlags, pvPara);
}

BOOL WINAPI FakeCertAdd(HCERTSTORE hStore, PCCERT_CONTEXT pCert, DWORD dwDisposition, PCCERT_CONTEXT *ppStored)
{
    g_pCalls->Calls.push_back("add " + std::to_string(dwDisposition) + (ppStored ? " out" : " null"));
    if (g_pCalls->dwAddError)
    {
        SetLastError(g_pCalls->dwAddError);
        return FALSE;
    }
    return CertAddCertificateContextToStore(hStore, pCert, dwDisposition, ppStored);
}

BOOL WINAPI FakeCertClose(HCERTSTORE hStore, DWORD fFlags)
{
    g_pCalls->Calls.push_back("close " + std::to_string(fFlags));
    return CertCloseStore(hStore, fFlags);
}

BOOL WINAPI FakeCertFree(PCCERT_CONTEXT pCert)
{
    g_pCalls->Calls.push_back("free");
    return CertFreeCertificateContext(pCert);
}

class CertificateTest : public ::testing::Test
{
  protected:
    /** The runtime as the launcher sets it up: system libraries come from
     *  the system directory only. */
    static void SetUpTestSuite()
    {
        ASSERT_EQ(0, RTR3InitForExe(0, nullptr, RTR3INIT_F_SYSTEM32_DLLS));
    }
    void SetUp() override
    {
        g_pCalls = &m_Calls;
        m_pfnOpen = g_pfnCertOpenStore;
        m_pfnAdd = g_pfnCertAddCertificateContextToStore;
        m_pfnClose = g_pfnCertCloseStore;
        m_pfnFree = g_pfnCertFreeCertificateContext;
        g_pfnCertOpenStore = FakeCertOpenStore;
        g_pfnCertAddCertificateContextToStore = FakeCertAdd;
        g_pfnCertCloseStore = FakeCertClose;
        g_pfnCertFreeCertificateContext = FakeCertFree;
        m_Cert = DemoCertificate();
        ASSERT_GT(m_Cert.size(), 100u) << "no demo certificate (payload/publisher.der in the build tree)";
        /* A store of our own, new for every test. */
        m_strStore = "ZoltCertificateTest" + std::to_string(GetCurrentProcessId()) + "-" +
                     ::testing::UnitTest::GetInstance()->current_test_info()->name();
        m_wstrStore.assign(m_strStore.begin(), m_strStore.end());
    }
    void TearDown() override
    {
        g_pfnCertOpenStore = m_pfnOpen;
        g_pfnCertAddCertificateContextToStore = m_pfnAdd;
        g_pfnCertCloseStore = m_pfnClose;
        g_pfnCertFreeCertificateContext = m_pfnFree;
        g_pCalls = nullptr;
        CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER | CERT_STORE_DELETE_FLAG,
                      m_wstrStore.c_str());
    }
    bool Add(uint32_t fLocation, const char *pszStore)
    {
        return AddCertificateToStore(fLocation, pszStore, m_Cert.data(), (uint32_t)m_Cert.size());
    }
    /** Number of certificates in the test's store equal to the demo's. */
    unsigned CountInStore()
    {
        HCERTSTORE hStore =
            CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                          CERT_SYSTEM_STORE_CURRENT_USER | CERT_STORE_READONLY_FLAG | CERT_STORE_OPEN_EXISTING_FLAG,
                          m_wstrStore.c_str());
        if (!hStore)
            return 0;
        unsigned cFound = 0;
        for (PCCERT_CONTEXT pCert = NULL; (pCert = CertEnumCertificatesInStore(hStore, pCert)) != NULL;)
            if (pCert->cbCertEncoded == m_Cert.size() && !memcmp(pCert->pbCertEncoded, m_Cert.data(), m_Cert.size()))
                cFound++;
        CertCloseStore(hStore, 0);
        return cFound;
    }
    std::string OpenCall(uint32_t fFlags, const std::string &strStore)
    {
        char sz[64];
        snprintf(sz, sizeof(sz), "open 10 0x10001 0 %#x ", fFlags);
        return sz + strStore;
    }

    StoreCalls m_Calls;
    StreamCapture m_Capture;
    std::vector<uint8_t> m_Cert;
    std::string m_strStore;
    std::wstring m_wstrStore;
    decltype(g_pfnCertOpenStore) m_pfnOpen;
    decltype(g_pfnCertAddCertificateContextToStore) m_pfnAdd;
    decltype(g_pfnCertCloseStore) m_pfnClose;
    decltype(g_pfnCertFreeCertificateContext) m_pfnFree;
};

TEST_F(CertificateTest, AddsToANewStoreAndReplacesOnTheSecondAdd)
{
    /* The open-existing flag is dropped (the store does not exist yet);
       every other flag goes through. */
    ASSERT_TRUE(Add(CERT_SYSTEM_STORE_CURRENT_USER | CERT_STORE_OPEN_EXISTING_FLAG, m_strStore.c_str()))
        << m_Capture.TakeErr();
    EXPECT_EQ(1u, CountInStore());
    ASSERT_TRUE(Add(CERT_SYSTEM_STORE_CURRENT_USER, m_strStore.c_str())) << m_Capture.TakeErr();
    EXPECT_EQ(1u, CountInStore()) << "the second add must replace, not duplicate";

    std::string strOpen = OpenCall(CERT_SYSTEM_STORE_CURRENT_USER, m_strStore);
    std::vector<std::string> Want = {strOpen, "add 3 null", "close 2", "free",
                                     strOpen, "add 3 null", "close 2", "free"};
    EXPECT_EQ(Want, m_Calls.Calls);
    EXPECT_EQ("", m_Capture.TakeErr());
}

TEST_F(CertificateTest, MalformedCertificateOpensNoStore)
{
    static const uint8_t s_abBad[] = {0x30, 0x03, 0x02, 0x01, 0x01};
    EXPECT_FALSE(AddCertificateToStore(CERT_SYSTEM_STORE_CURRENT_USER, m_strStore.c_str(), s_abBad, sizeof(s_abBad)));
    EXPECT_TRUE(m_Calls.Calls.empty());
    std::string strErr = ErrorMessages(m_Capture.TakeErr());
    std::string strPrefix = "Unable to get certificate context: ";
    ASSERT_EQ(0u, strErr.find(strPrefix)) << strErr;
    /* The platform's reason, a signed decimal (an HRESULT of the ASN.1
       decoder is negative). */
    long lErr = strtol(strErr.c_str() + strPrefix.size(), NULL, 10);
    EXPECT_NE(0, lErr) << strErr;
    EXPECT_EQ(strPrefix + std::to_string(lErr) + "\n", strErr);
}

TEST_F(CertificateTest, FailuresAreReportedWithTheLastErrorAndReleaseEverything)
{
    const struct
    {
        DWORD dwOpenError, dwAddError;
        const char *pszMessage;
        std::vector<std::string> CallsAfterOpen;
    } s_aCases[] = {
        {ERROR_ACCESS_DENIED, 0, "Unable to open certificates store: 5", {"free"}},
        {0, 0x80070005, "Unable to install certificate: -2147024891", {"add 3 null", "close 2", "free"}},
    };
    for (const auto &Case : s_aCases)
    {
        m_Calls.Calls.clear();
        m_Calls.dwOpenError = Case.dwOpenError;
        m_Calls.dwAddError = Case.dwAddError;
        m_Calls.fMemoryStore = true;
        /* The launcher's own store and location, passed as they are. */
        EXPECT_FALSE(Add(CERT_SYSTEM_STORE_LOCAL_MACHINE, STUB_CERT_STORE_NAME)) << Case.pszMessage;
        std::vector<std::string> Want = {OpenCall(CERT_SYSTEM_STORE_LOCAL_MACHINE, "TrustedPublisher")};
        Want.insert(Want.end(), Case.CallsAfterOpen.begin(), Case.CallsAfterOpen.end());
        EXPECT_EQ(Want, m_Calls.Calls) << Case.pszMessage;
        EXPECT_EQ(std::string(Case.pszMessage) + "\n", ErrorMessages(m_Capture.TakeErr()));
    }

    /* A store name that does not convert is reported like a store that
       does not open. */
    m_Calls.Calls.clear();
    EXPECT_FALSE(Add(CERT_SYSTEM_STORE_CURRENT_USER, "Trusted\xffPublisher"));
    EXPECT_EQ(std::vector<std::string>{"free"}, m_Calls.Calls);
    EXPECT_EQ(0u, ErrorMessages(m_Capture.TakeErr()).find("Unable to open certificates store: "));
}

} // namespace
