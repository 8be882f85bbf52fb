/* The packer's input checks on real fixtures (tests/packer/fixtures:
 * packages made by wixl and msibuild, a gcab cabinet, openssl certificates,
 * an osslsigncode-signed package) and on damaged copies of them. */
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

#include "checks.h"
#include "der.h"
#include "msi.h"

namespace
{

const std::string g_strFx = PACK_FIXTURES;

std::string Fx(const char *pszName)
{
    return g_strFx + "/" + pszName;
}

std::vector<uint8_t> ReadAll(const std::string &strPath)
{
    std::ifstream file(strPath, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    std::string str = bytes.str();
    return std::vector<uint8_t>(str.begin(), str.end());
}

/** A scratch directory of the test's own, removed afterwards. */
class PackChecks : public testing::Test
{
  protected:
    void SetUp() override
    {
        m_Dir = std::filesystem::temp_directory_path() /
                ("pack-checks-" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(m_Dir);
        std::filesystem::create_directories(m_Dir);
    }
    void TearDown() override
    {
        std::filesystem::remove_all(m_Dir);
    }

    std::string Write(const char *pszName, const std::vector<uint8_t> &ab)
    {
        std::string strPath = (m_Dir / pszName).generic_string();
        std::ofstream(strPath, std::ios::binary)
            .write(reinterpret_cast<const char *>(ab.data()), std::streamsize(ab.size()));
        return strPath;
    }
    std::string Write(const char *pszName, const std::string &str)
    {
        return Write(pszName, std::vector<uint8_t>(str.begin(), str.end()));
    }

    std::filesystem::path m_Dir;
};

struct PackageCase
{
    const char *pszArch;
    std::string strPath;
    const char *pszName;  /* nullptr: the file's own */
    std::string strError; /* empty: accepted */
};

void ExpectPackages(const std::vector<PackageCase> &cases)
{
    for (const PackageCase &c : cases)
    {
        std::vector<PackPackage> packages(1);
        packages[0].strArch = c.pszArch;
        packages[0].strPath = c.strPath;
        packages[0].strName = c.pszName ? c.pszName : "";
        std::string strError;
        bool fOk = PackCheckPackages(packages, false, false, strError);
        EXPECT_EQ(fOk, c.strError.empty()) << c.pszArch << " " << c.strPath;
        EXPECT_EQ(strError, c.strError) << c.pszArch << " " << c.strPath;
    }
}

TEST_F(PackChecks, PackagesFitTheirArchitectureAndName)
{
    std::string strText = Write("notes.msi", "neither database nor cabinet\n");
    std::string strCabAsMsi = Write("cab.msi", ReadAll(Fx("common.cab")));
    std::string strEmpty = Write("empty.cab", "");
    std::string strLong(219, 'n');
    const std::string strP = "package #0 (";
    ExpectPackages({
        {"3", Fx("x64.msi"), nullptr, ""},
        {"2", Fx("intel.msi"), nullptr, ""},
        {"4", Fx("arm64.msi"), nullptr, ""},
        {"2", Fx("empty.msi"), nullptr, ""},
        {"3", Fx("spaced.msi"), nullptr, ""},
        {"3", Fx("large.msi"), nullptr, ""},
        {"1", Fx("common.cab"), nullptr, ""},
        {"0x3", Fx("x64.msi"), "Product.MSI", ""},
        {" 1 ", Fx("common.cab"), nullptr, ""},
        {"0", Fx("common.cab"), nullptr,
         strP + Fx("common.cab") + "): architecture '0' is not one of 1 (all), 2 (x86), 3 (x86-64), 4 (ARM64)"},
        {"03", Fx("x64.msi"), nullptr,
         strP + Fx("x64.msi") + "): architecture '03' is not one of 1 (all), 2 (x86), 3 (x86-64), 4 (ARM64)"},
        {"x64", Fx("x64.msi"), nullptr,
         strP + Fx("x64.msi") + "): architecture 'x64' is not one of 1 (all), 2 (x86), 3 (x86-64), 4 (ARM64)"},
        {"1", Fx("missing.cab"), nullptr, strP + Fx("missing.cab") + "): no such file"},
        {"1", g_strFx, nullptr, strP + g_strFx + "): not a regular file"},
        {"1", strEmpty, nullptr, strP + strEmpty + "): the package is empty"},
        {"1", Fx("common.cab"), "sub/common.cab",
         strP + Fx("common.cab") + "): file name 'sub/common.cab' must be a plain file name"},
        {"1", Fx("common.cab"), "c:common.cab",
         strP + Fx("common.cab") + "): file name 'c:common.cab' must be a plain file name"},
        {"3", Fx("common.cab"), nullptr,
         strP + Fx("common.cab") +
             "): a cabinet given as architecture 3 (x86-64); the cabinet is shared by the "
             "packages of every host: give it as 1 (all)"},
        {"1", Fx("x64.msi"), nullptr,
         strP + Fx("x64.msi") +
             "): a Windows Installer package given as architecture 1 (all), which is for the "
             "cabinet shared by every host; Template platform 'x64' makes it 3 (x86-64)"},
        {"3", Fx("intel.msi"), nullptr,
         strP + Fx("intel.msi") +
             "): a Windows Installer package for Template platform 'Intel' given as "
             "architecture 3 (x86-64); give it as 2 (x86)"},
        {"2", Fx("arm64.msi"), nullptr,
         strP + Fx("arm64.msi") +
             "): a Windows Installer package for Template platform 'Arm64' given as "
             "architecture 2 (x86); give it as 4 (ARM64)"},
        {"3", Fx("empty.msi"), nullptr,
         strP + Fx("empty.msi") +
             "): a Windows Installer package for an empty Template platform (Intel) given "
             "as architecture 3 (x86-64); give it as 2 (x86)"},
        {"3", Fx("alpha.msi"), nullptr,
         strP + Fx("alpha.msi") +
             "): a Windows Installer package for Template platform 'Alpha', which no "
             "architecture of the launcher fits (Intel: 2, x64: 3, Arm64: 4)"},
        {"1", strText, nullptr, strP + strText + "): neither a Windows Installer package nor a cabinet"},
        {"1", strCabAsMsi, nullptr,
         strP + strCabAsMsi +
             "): file name 'cab.msi' must end in .cab, as the launcher tells the kind of a "
             "package by its name"},
        {"3", Fx("x64.msi"), "x64.cab",
         strP + Fx("x64.msi") +
             "): file name 'x64.cab' must end in .msi, as the launcher tells the kind of a "
             "package by its name"},
        {"1", Fx("common.cab"), "it's.msi",
         strP + Fx("common.cab") +
             "): file name \"it's.msi\" must end in .cab, as the launcher tells the kind of a "
             "package by its name"},
        {"1", Fx("common.cab"), (strLong + "n.cab").c_str(),
         strP + Fx("common.cab") + "): file name '" + strLong +
             "n.cab' is 224 bytes; it must fit 224 bytes with "
             "its terminator (at most 223)"},
        {"1", Fx("common.cab"), (strLong + ".cab").c_str(), ""},
    });
}

TEST_F(PackChecks, PackagesGetTheirHeadersAndTheCountIsLimited)
{
    std::vector<PackPackage> packages(2);
    packages[0].strArch = "3";
    packages[0].strPath = Fx("x64.msi");
    packages[0].strName = "Product-x64.msi";
    packages[1].strArch = "1";
    packages[1].strPath = Fx("common.cab");
    std::string strError;
    ASSERT_TRUE(PackCheckPackages(packages, false, false, strError)) << strError;
    EXPECT_EQ(packages[0].strResource, "BIN_00");
    EXPECT_EQ(packages[1].strResource, "BIN_01");
    EXPECT_EQ(packages[1].strName, "common.cab");
    EXPECT_EQ(packages[0].cbSize, ReadAll(Fx("x64.msi")).size());
    std::vector<uint8_t> abExpected(256, 0);
    abExpected[0] = 3;
    memcpy(&abExpected[4], "BIN_00", 6);
    memcpy(&abExpected[32], "Product-x64.msi", 15);
    EXPECT_EQ(packages[0].abHeader, abExpected);

    /* An empty package and a misfit are for test containers only. */
    std::vector<PackPackage> tests(2);
    tests[0].strArch = "1";
    tests[0].strPath = Write("empty.cab", "");
    tests[1].strArch = "2";
    tests[1].strPath = Fx("x64.msi");
    tests[1].strName = "anything.bin";
    EXPECT_TRUE(PackCheckPackages(tests, true, true, strError)) << strError;
    tests[0].strOrigin = "vendor/empty.cab";
    EXPECT_FALSE(PackCheckPackages(tests, false, true, strError));
    EXPECT_EQ(strError, "package #0 (vendor/empty.cab): the package is empty");

    std::vector<PackPackage> many(256, packages[1]);
    EXPECT_FALSE(PackCheckPackages(many, false, false, strError));
    EXPECT_EQ(strError, "256 packages given; a container holds at most 255");
    many.resize(255);
    EXPECT_TRUE(PackCheckPackages(many, false, false, strError)) << strError;
    EXPECT_EQ(many[254].strResource, "BIN_254");
    std::vector<PackPackage> none;
    EXPECT_FALSE(PackCheckPackages(none, false, false, strError));
    EXPECT_EQ(strError, "no packages given; a container holds at least one");
}

uint32_t GetU32(const std::vector<uint8_t> &ab, size_t off)
{
    return uint32_t(ab[off]) | uint32_t(ab[off + 1]) << 8 | uint32_t(ab[off + 2]) << 16 | uint32_t(ab[off + 3]) << 24;
}

void PutU32(std::vector<uint8_t> &ab, size_t off, uint32_t u)
{
    const uint8_t abValue[4] = {uint8_t(u), uint8_t(u >> 8), uint8_t(u >> 16), uint8_t(u >> 24)};
    ab.at(off + 3); /* in range */
    std::copy(abValue, abValue + 4, ab.begin() + std::ptrdiff_t(off));
}

/* A package is read in pieces: the header, the allocation table sectors on
 * the way and the directory, not the payload. */
TEST_F(PackChecks, LargePackagesAreNotReadWhole)
{
    struct Counting
    {
        FILE *pFile;
        uint64_t cbRead;
        static bool Read(void *pv, uint64_t off, void *pvBuf, size_t cb)
        {
            auto *pThis = static_cast<Counting *>(pv);
            pThis->cbRead += cb;
            return fseek(pThis->pFile, long(off), SEEK_SET) == 0 && fread(pvBuf, 1, cb, pThis->pFile) == cb;
        }
    };
    std::string strPath = Fx("large.msi");
    Counting counting = {fopen(strPath.c_str(), "rb"), 0};
    ASSERT_NE(counting.pFile, nullptr);
    uint64_t cbFile = std::filesystem::file_size(strPath);
    ASSERT_GT(cbFile, 7u << 20);
    PackMsiSource source = {Counting::Read, &counting, cbFile};
    std::string strTemplate, strError;
    EXPECT_TRUE(PackMsiReadTemplate(source, strTemplate, strError)) << strError;
    fclose(counting.pFile);
    EXPECT_EQ(strTemplate, "x64;1033");
    EXPECT_LT(counting.cbRead, 64u << 10);
}

/* Damaged packages are refused with the reason, never read past their end
 * or followed round a loop. */
TEST_F(PackChecks, DamagedPackagesAreRefused)
{
    const std::vector<uint8_t> abMsi = ReadAll(Fx("x64.msi"));
    ASSERT_GT(abMsi.size(), 4096u);
    uint32_t uFat0 = GetU32(abMsi, 76), uDir = GetU32(abMsi, 48);
    size_t offFat0 = (size_t(uFat0) + 1) * 512;

    std::vector<uint8_t> abLoop = abMsi; /* the directory's chain points back at itself */
    PutU32(abLoop, offFat0 + 4 * uDir, uDir);
    std::vector<uint8_t> abFar = abMsi; /* the directory starts past the end */
    PutU32(abFar, 48, 0x00FFFFFF);
    std::vector<uint8_t> abShift = abMsi; /* an unknown sector size */
    abShift[30] = 10;
    std::vector<uint8_t> abFat = abMsi; /* more FAT sectors than the file has */
    PutU32(abFat, 44, 0x7FFFFFFF);
    std::vector<uint8_t> abTree = abMsi; /* the root's child is the root */
    PutU32(abTree, (size_t(uDir) + 1) * 512 + 76, 0);
    std::vector<uint8_t> abCut(abMsi.begin(), abMsi.begin() + 600);

    const struct
    {
        const char *pszName;
        const std::vector<uint8_t> &ab;
        const char *pszWhy;
    } aCases[] = {
        {"loop.msi", abLoop, "the directory's sector chain loops"},
        {"far.msi", abFar, "sector 16777215 lies past the end of the file"},
        {"shift.msi", abShift, "an unknown compound file version or sector size"},
        {"fat.msi", abFat, "more allocation table sectors than the file holds"},
        {"tree.msi", abTree, "the directory's tree is malformed"},
        {"cut.msi", abCut, nullptr},
    };
    for (const auto &c : aCases)
    {
        std::string strPath = Write(c.pszName, c.ab);
        std::vector<PackPackage> packages(1);
        packages[0].strArch = "3";
        packages[0].strPath = strPath;
        std::string strError;
        EXPECT_FALSE(PackCheckPackages(packages, false, false, strError)) << c.pszName;
        std::string strPrefix = "package #0 (" + strPath + "): not a readable Windows Installer package (";
        EXPECT_EQ(strError.substr(0, strPrefix.size()), strPrefix) << strError;
        if (c.pszWhy)
        {
            EXPECT_EQ(strError, strPrefix + c.pszWhy + ")");
        }
    }
}

TEST_F(PackChecks, CarriedCertificates)
{
    std::vector<uint8_t> abDer = ReadAll(Fx("signer.der"));
    std::string strTruncated = Write("truncated.der", std::vector<uint8_t>(abDer.begin(), abDer.end() - 1));
    std::vector<uint8_t> abTrailing = abDer;
    abTrailing.push_back(0);
    std::string strTrailing = Write("trailing.der", abTrailing);
    std::string strPemAsDer = Write("pem-named.der", ReadAll(Fx("signer.pem")));
    std::string strPemAsCrt = Write("signer.crt", ReadAll(Fx("signer.pem")));
    const std::string strHint = "the launcher adds it to the TrustedPublisher store, which takes code-signing "
                                "certificates (Code Signing, 1.3.6.1.5.5.7.3.3)";
    const struct
    {
        std::string strPath;
        bool fAllowMisfits;
        std::string strError;
    } aCases[] = {
        {Fx("signer.der"), false, ""},
        {Fx("other.der"), false, ""},
        {Fx("server.der"), true, ""},
        {Fx("no-usage.der"), true, ""},
        {Fx("missing.der"), false, "certificate " + Fx("missing.der") + ": no such file"},
        {Fx("signer.pem"), false,
         "certificate " + Fx("signer.pem") +
             ": a PEM (text) certificate, but the launcher carries DER-encoded ones; "
             "convert it with: openssl x509 -in " +
             Fx("signer.pem") + " -outform der -out " + Fx("signer.der")},
        {strPemAsDer, false,
         "certificate " + strPemAsDer +
             ": a PEM (text) certificate, but the launcher carries DER-encoded ones; "
             "convert it with: openssl x509 -in " +
             strPemAsDer + " -outform der -out " + strPemAsDer.substr(0, strPemAsDer.size() - 4) + ".cer"},
        {strPemAsCrt, true,
         "certificate " + strPemAsCrt +
             ": a PEM (text) certificate, but the launcher carries DER-encoded ones; "
             "convert it with: openssl x509 -in " +
             strPemAsCrt + " -outform der -out " + strPemAsCrt.substr(0, strPemAsCrt.size() - 4) + ".der"},
        {Fx("signer.key"), false,
         "certificate " + Fx("signer.key") + ": a PEM file holding a private key, not a certificate"},
        {strTruncated, true,
         "certificate " + strTruncated + ": not a DER-encoded certificate (one ASN.1 SEQUENCE filling the file)"},
        {strTrailing, true,
         "certificate " + strTrailing + ": not a DER-encoded certificate (one ASN.1 SEQUENCE filling the file)"},
        {Fx("no-usage.der"), false,
         "certificate " + Fx("no-usage.der") + " (CN=Packer Check No Usage): no extended key usage; " + strHint},
        {Fx("server.der"), false,
         "certificate " + Fx("server.der") +
             " (CN=Packer Check Server): its extended key usage is TLS Web Server "
             "Authentication, E-mail Protection, not code signing; " +
             strHint},
    };
    for (const auto &c : aCases)
    {
        std::vector<uint8_t> ab;
        std::string strError;
        EXPECT_EQ(PackCheckCertificate(c.strPath, c.fAllowMisfits, ab, strError), c.strError.empty()) << c.strPath;
        EXPECT_EQ(strError, c.strError);
        if (c.strError.empty())
        {
            EXPECT_EQ(ab, ReadAll(c.strPath));
        }
    }
}

TEST_F(PackChecks, X509FieldsOfRealCertificates)
{
    std::vector<uint8_t> abDer = ReadAll(Fx("other.der"));
    PackX509 cert;
    ASSERT_TRUE(PackX509Parse(abDer.data(), abDer.size(), cert));
    EXPECT_EQ(PackX509NameText(cert.Subject), "CN=Packer Check Other, O=Marrowdale Test");
    EXPECT_EQ(PackX509NameText(cert.Issuer), "CN=Packer Check Other, O=Marrowdale Test");
    EXPECT_TRUE(cert.fHasExtKeyUsage);
    EXPECT_EQ(cert.ExtKeyUsages, (std::vector<std::string>{PACK_OID_CODE_SIGNING, "1.3.6.1.5.5.7.3.8"}));

    /* The PEM form holds the same bytes. */
    std::vector<uint8_t> abPem = ReadAll(Fx("other.pem"));
    std::vector<std::vector<uint8_t>> blocks;
    ASSERT_TRUE(PackPemDecode(abPem.data(), abPem.size(), "CERTIFICATE", blocks));
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0], abDer);

    /* Every cut of a certificate is refused. */
    for (size_t cb = 0; cb < abDer.size(); cb++)
        EXPECT_FALSE(PackX509Parse(abDer.data(), cb, cert)) << cb;
}

/** Runs the warning with stderr captured; returns what it printed. */
std::string Warnings(const std::vector<std::string> &certs, const std::string &strLauncherSigner,
                     const std::vector<std::string> &msis)
{
    std::vector<std::vector<uint8_t>> ders, signer;
    for (const std::string &str : certs)
        ders.push_back(ReadAll(str));
    if (!strLauncherSigner.empty())
        signer.push_back(ReadAll(strLauncherSigner));
    std::vector<PackPackage> packages;
    for (const std::string &str : msis)
    {
        packages.emplace_back();
        packages.back().strPath = str;
    }
    testing::internal::CaptureStderr();
    PackWarnForeignCertificates(certs, ders, signer, packages);
    return testing::internal::GetCapturedStderr();
}

TEST_F(PackChecks, ForeignCertificatesAreWarnedAbout)
{
    std::vector<uint8_t> abSigned = ReadAll(Fx("signed.msi"));
    std::vector<uint8_t> abSignature;
    bool fFound = false;
    std::string strError;
    struct Memory
    {
        static bool Read(void *pv, uint64_t off, void *pvBuf, size_t cb)
        {
            auto *pab = static_cast<std::vector<uint8_t> *>(pv);
            if (off > pab->size() || pab->size() - off < cb)
                return false;
            memcpy(pvBuf, pab->data() + off, cb);
            return true;
        }
    };
    PackMsiSource source = {Memory::Read, &abSigned, abSigned.size()};
    ASSERT_TRUE(PackMsiReadStream(source, "\005DigitalSignature", 1 << 20, abSignature, fFound, strError)) << strError;
    ASSERT_TRUE(fFound);
    PackDerTlv signer;
    ASSERT_TRUE(PackPkcs7Signer(abSignature.data(), abSignature.size(), signer));
    std::vector<uint8_t> abSignerDer = ReadAll(Fx("signer.der"));
    ASSERT_EQ(signer.cbTotal, abSignerDer.size());
    EXPECT_EQ(memcmp(signer.pbContent - (signer.cbTotal - signer.cbContent), abSignerDer.data(), signer.cbTotal), 0);

    const std::string strTail = "): silent installations add to the TrustedPublisher store a publisher that did not "
                                "sign this release\n";
    const std::string strOther = "marrowdale-pack: warning: certificate " + Fx("other.der") +
                                 " (CN=Packer Check Other, O=Marrowdale Test) is neither the launcher's signer nor the "
                                 "signer of the signed packages (";
    const std::string strSignerSubject = "CN=Packer Check Signer, O=Marrowdale Test, C=GB";
    const struct
    {
        const char *pszWhat;
        std::vector<std::string> certs;
        std::string strLauncher; /* empty: the launcher is not signed */
        std::vector<std::string> msis;
        std::string strExpected;
    } aCases[] = {
        {"the launcher's signer", {Fx("signer.der")}, Fx("signer.der"), {}, ""},
        {"a package's signer", {Fx("signer.der")}, "", {Fx("signed.msi"), Fx("x64.msi")}, ""},
        {"nothing signed: nothing to compare", {Fx("other.der")}, "", {Fx("x64.msi")}, ""},
        {"foreign to a signed package",
         {Fx("other.der")},
         "",
         {Fx("x64.msi"), Fx("signed.msi")},
         strOther + strSignerSubject + strTail},
        {"foreign to the launcher",
         {Fx("other.der"), Fx("signer.der")},
         Fx("signer.der"),
         {Fx("signed.msi")},
         strOther + strSignerSubject + strTail},
        {"a package's signer, not the launcher's", {Fx("signer.der")}, Fx("other.der"), {Fx("signed.msi")}, ""},
        {"foreign to both, each signer named once",
         {Fx("server.der")},
         Fx("other.der"),
         {Fx("signed.msi"), Fx("signed.msi")},
         "marrowdale-pack: warning: certificate " + Fx("server.der") +
             " (CN=Packer Check Server) is neither the launcher's signer nor the signer of the signed packages "
             "(CN=Packer Check Other, O=Marrowdale Test and " +
             strSignerSubject + strTail},
    };
    for (const auto &c : aCases)
        EXPECT_EQ(Warnings(c.certs, c.strLauncher, c.msis), c.strExpected) << c.pszWhat;
}

TEST_F(PackChecks, SplashPictures)
{
    const struct
    {
        const char *pszName;
        std::string strBytes;
        const char *pszWhy;
    } aCases[] = {
        {"a.png", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), nullptr},
        {"a.jpg", "\xff\xd8\xff\xe0\0\x10JFIF", ": not a PNG file (it is a JPEG picture; convert it to PNG)"},
        {"a.tif", std::string("MM\0*\0\0\0\x08", 8), ": not a PNG file (it is a TIFF picture; convert it to PNG)"},
        {"a.txt", "not a picture\n", ": not a PNG file"},
        {"empty.png", "", ": not a PNG file"},
    };
    for (const auto &c : aCases)
    {
        std::string strPath = Write(c.pszName, c.strBytes);
        std::string strError;
        EXPECT_EQ(PackCheckSplash(strPath, strError), c.pszWhy == nullptr) << c.pszName;
        EXPECT_EQ(strError, c.pszWhy ? "splash picture " + strPath + c.pszWhy : std::string()) << c.pszName;
    }
    std::string strError;
    EXPECT_FALSE(PackCheckSplash(Fx("missing.png"), strError));
    EXPECT_EQ(strError, "splash picture " + Fx("missing.png") + ": no such file");
}

/** A one-image .ico file: its directory and a 40-byte bitmap header. */
std::vector<uint8_t> Icon()
{
    std::vector<uint8_t> ab = {0, 0, 1, 0, 1, 0, 16, 16, 0, 0, 1, 0, 32, 0, 44, 0, 0, 0, 22, 0, 0, 0};
    ab.resize(22 + 44, 0);
    ab[22] = 40;
    return ab;
}

TEST_F(PackChecks, IdentityDefaults)
{
    PackIdentityOptions options;
    options.strFileName = "MarrowdaleInstaller.exe";
    PackIdentity identity;
    std::string strError;
    ASSERT_TRUE(PackCheckIdentity(options, Icon(), identity, strError)) << strError;
    EXPECT_EQ(identity.strProductName, "Marrowdale Installer");
    EXPECT_EQ(identity.strProductInSentences, "Marrowdale");
    EXPECT_EQ(identity.strCompanyName, "Marrowdale");
    EXPECT_EQ(identity.strCopyright, "");
    EXPECT_EQ(identity.strVersionText, "7.2.0r169963");
    EXPECT_EQ(identity.strExecutionLevel, "requireAdministrator");
    EXPECT_EQ(identity.strMutexName, "QuorStubInstaller");
    EXPECT_EQ(identity.strFileName, "MarrowdaleInstaller.exe");
    EXPECT_EQ(std::vector<uint16_t>(identity.au16Version, identity.au16Version + 4),
              (std::vector<uint16_t>{7, 2, 0, 0}));
    EXPECT_FALSE(identity.fDpiAware);
    EXPECT_FALSE(identity.fLongPathAware);
    EXPECT_EQ(identity.abIcon, Icon());

    /* A version alone is the version text too; another title is its own
     * name in sentences. */
    options.ProductName = "Fernhill Setup";
    options.Version = "3.1";
    options.DpiAware = "yes";
    options.LongPathAware = "On";
    options.Icon = Write("app.ico", Icon());
    ASSERT_TRUE(PackCheckIdentity(options, std::vector<uint8_t>(), identity, strError)) << strError;
    EXPECT_EQ(identity.strProductInSentences, "Fernhill Setup");
    EXPECT_EQ(identity.strVersionText, "3.1");
    EXPECT_EQ(std::vector<uint16_t>(identity.au16Version, identity.au16Version + 4),
              (std::vector<uint16_t>{3, 1, 0, 0}));
    EXPECT_TRUE(identity.fDpiAware);
    EXPECT_TRUE(identity.fLongPathAware);
    options.VersionText = "3.1 beta";
    ASSERT_TRUE(PackCheckIdentity(options, std::vector<uint8_t>(), identity, strError)) << strError;
    EXPECT_EQ(identity.strVersionText, "3.1 beta");
}

TEST_F(PackChecks, IdentityRefusals)
{
    std::vector<uint8_t> abPng = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0};
    std::vector<uint8_t> abShort = Icon();
    abShort.resize(40);
    std::vector<uint8_t> abNoBitmap = Icon();
    abNoBitmap[22] = 41;
    std::vector<uint8_t> abTwo = Icon();
    abTwo[4] = 5;
    std::string strPng = Write("png.ico", abPng), strShort = Write("short.ico", abShort),
                strNoBitmap = Write("nobitmap.ico", abNoBitmap), strTwo = Write("two.ico", abTwo);
    std::string strLongMutex = "Global\\" + std::string(253, 'm');
    using Field = std::optional<std::string> PackIdentityOptions::*;
    const struct
    {
        Field field;
        std::string strValue;
        std::string strError; /* empty: accepted */
    } aCases[] = {
        {&PackIdentityOptions::ProductName, "", "PRODUCT_NAME '': must not be empty"},
        {&PackIdentityOptions::ProductName, "Tab\there",
         "PRODUCT_NAME 'Tab\there': holds the control character U+0009"},
        {&PackIdentityOptions::ProductName, std::string(512, 'p'), ""},
        {&PackIdentityOptions::ProductName, std::string(511, 'p') + "\xc3\xbc",
         "PRODUCT_NAME '" + std::string(511, 'p') + "\xc3\xbc': is longer than 512 bytes in UTF-8"},
        {&PackIdentityOptions::VersionText, std::string(513, 'v'),
         "VERSION_TEXT '" + std::string(513, 'v') + "': is longer than 512 bytes in UTF-8"},
        {&PackIdentityOptions::CompanyName, "", ""},
        {&PackIdentityOptions::CompanyName, "Del\x7f", "COMPANY_NAME 'Del\x7f': holds the control character U+007F"},
        {&PackIdentityOptions::Copyright, "\xc3(", "COPYRIGHT '\xc3(': is not UTF-8 text"},
        {&PackIdentityOptions::Copyright, "\xc2\xa9 2026 M\xc3\xbcller", ""},
        {&PackIdentityOptions::Version, "",
         "VERSION '': must not be empty; give one to four numbers 0..65535 separated by dots"},
        {&PackIdentityOptions::Version, "1.x", "VERSION '1.x': must be one to four numbers 0..65535 separated by dots"},
        {&PackIdentityOptions::Version, "1..2",
         "VERSION '1..2': must be one to four numbers 0..65535 separated by dots"},
        {&PackIdentityOptions::Version, "1.2.3.4.5", "VERSION '1.2.3.4.5': has 5 numbers; at most four"},
        {&PackIdentityOptions::Version, "1.065536", "VERSION '1.065536': the number 065536 is larger than 65535"},
        {&PackIdentityOptions::Version, "1.99999999999999999999",
         "VERSION '1.99999999999999999999': the number 99999999999999999999 is larger than 65535"},
        {&PackIdentityOptions::Version, "65535.0.0.65535", ""},
        {&PackIdentityOptions::VersionText, "", "VERSION_TEXT '': must not be empty"},
        {&PackIdentityOptions::Icon, Fx("missing.ico"), "ICON '" + Fx("missing.ico") + "': no such file"},
        {&PackIdentityOptions::Icon, strPng,
         "ICON '" + strPng + "': not an .ico file (a PNG picture; convert it to an .ico file)"},
        {&PackIdentityOptions::Icon, Fx("common.cab"),
         "ICON '" + Fx("common.cab") + "': not an .ico file (no icon header)"},
        {&PackIdentityOptions::Icon, strTwo,
         "ICON '" + strTwo + "': not an .ico file (its directory of 5 images does not fit the file)"},
        {&PackIdentityOptions::Icon, strShort,
         "ICON '" + strShort + "': not an .ico file (image #0 lies outside the file)"},
        {&PackIdentityOptions::Icon, strNoBitmap,
         "ICON '" + strNoBitmap + "': not an .ico file (image #0 is neither a PNG nor a bitmap)"},
        {&PackIdentityOptions::ExecutionLevel, "admin",
         "EXECUTION_LEVEL 'admin': must be one of requireAdministrator, highestAvailable, asInvoker"},
        {&PackIdentityOptions::ExecutionLevel, "asInvoker", ""},
        {&PackIdentityOptions::DpiAware, "maybe", "DPI_AWARE 'maybe': must be ON or OFF"},
        {&PackIdentityOptions::LongPathAware, "", "LONG_PATH_AWARE '': must be ON or OFF"},
        {&PackIdentityOptions::MutexName, "", "MUTEX_NAME '': must not be empty"},
        {&PackIdentityOptions::MutexName, "Local\\", "MUTEX_NAME 'Local\\': names a namespace but no mutex"},
        {&PackIdentityOptions::MutexName, "Global\\a\\b",
         "MUTEX_NAME 'Global\\a\\b': may hold a backslash only after the namespace Global or Local"},
        {&PackIdentityOptions::MutexName, "Session\\1\\x",
         "MUTEX_NAME 'Session\\1\\x': may hold a backslash only after the namespace Global or Local"},
        {&PackIdentityOptions::MutexName, strLongMutex, ""},
        {&PackIdentityOptions::MutexName, strLongMutex + "m",
         "MUTEX_NAME '" + strLongMutex + "m': is longer than 260 characters"},
    };
    for (const auto &c : aCases)
    {
        PackIdentityOptions options;
        options.*c.field = c.strValue;
        PackIdentity identity;
        std::string strError;
        EXPECT_EQ(PackCheckIdentity(options, Icon(), identity, strError), c.strError.empty()) << c.strValue;
        EXPECT_EQ(strError, c.strError);
    }
}

} // namespace
