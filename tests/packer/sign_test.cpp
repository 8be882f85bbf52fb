/** @file
 * The packer's signing: option rules, key checks with real openssl keys,
 * the signer's command template, signing a real PE with osslsigncode or a
 * command, and verifying it with osslsigncode and by structure.
 */
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <optional>

#include "os.h"
#include "sign.h"

namespace
{

typedef std::vector<uint8_t> Bytes;

std::string fixture(const char *pszName)
{
    return std::string(PACK_SIGN_FIXTURES) + "/" + pszName;
}

Bytes readFile(const std::string &strPath)
{
    std::ifstream in(strPath, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string &strPath, const Bytes &ab)
{
    std::ofstream out(strPath, std::ios::binary);
    out.write(reinterpret_cast<const char *>(ab.data()), std::streamsize(ab.size()));
}

void setEnv(const char *pszName, const char *pszValue)
{
#ifdef _WIN32
    _putenv_s(pszName, pszValue ? pszValue : "");
#else
    if (pszValue)
        setenv(pszName, pszValue, 1);
    else
        unsetenv(pszName);
#endif
}

/* Sets an environment variable for one scope (nullptr: unset). */
class ScopedEnv
{
    std::string m_strName, m_strOld;
    bool m_fHadOld;

  public:
    ScopedEnv(const char *pszName, const char *pszValue) : m_strName(pszName)
    {
        m_fHadOld = PackGetEnv(pszName, m_strOld);
        setEnv(pszName, pszValue);
    }
    ~ScopedEnv()
    {
        setEnv(m_strName.c_str(), m_fHadOld ? m_strOld.c_str() : nullptr);
    }
};

void put16(Bytes &ab, size_t off, uint16_t u)
{
    ab[off] = uint8_t(u);
    ab[off + 1] = uint8_t(u >> 8);
}
void put32(Bytes &ab, size_t off, uint32_t u)
{
    put16(ab, off, uint16_t(u));
    put16(ab, off + 2, uint16_t(u >> 16));
}

/* A minimal x86-64 PE image: headers and one code section, 1 KiB, then
   cbOverlay bytes of data after the image (as an archive carries). */
Bytes minimalPe(size_t cbOverlay = 0)
{
    Bytes ab(0x400 + cbOverlay, 0);
    ab[0] = 'M';
    ab[1] = 'Z';
    put32(ab, 0x3c, 0x40);
    memcpy(&ab[0x40], "PE\0\0", 4);
    put16(ab, 0x44, 0x8664); /* machine */
    put16(ab, 0x46, 1);      /* sections */
    put16(ab, 0x54, 240);    /* optional header size */
    put16(ab, 0x56, 0x22);   /* executable, large-address aware */
    const size_t offOpt = 0x58;
    put16(ab, offOpt, 0x20b);
    put32(ab, offOpt + 4, 0x200);       /* size of code */
    put32(ab, offOpt + 16, 0x1000);     /* entry point */
    put32(ab, offOpt + 20, 0x1000);     /* base of code */
    put32(ab, offOpt + 28, 0x1);        /* image base 0x140000000 (high half) */
    put32(ab, offOpt + 24, 0x40000000); /* image base (low half) */
    put32(ab, offOpt + 32, 0x1000);     /* section alignment */
    put32(ab, offOpt + 36, 0x200);      /* file alignment */
    put16(ab, offOpt + 40, 6);          /* OS version */
    put16(ab, offOpt + 48, 6);          /* subsystem version */
    put32(ab, offOpt + 56, 0x2000);     /* size of image */
    put32(ab, offOpt + 60, 0x200);      /* size of headers */
    put16(ab, offOpt + 68, 3);          /* console */
    put16(ab, offOpt + 70, 0x8160);
    put32(ab, offOpt + 72, 0x100000);
    put32(ab, offOpt + 80, 0x1000);
    put32(ab, offOpt + 88, 0x100000);
    put32(ab, offOpt + 96, 0x1000);
    put32(ab, offOpt + 108, 16); /* data directories */
    const size_t offSection = offOpt + 240;
    memcpy(&ab[offSection], ".text", 5);
    put32(ab, offSection + 8, 0x10);
    put32(ab, offSection + 12, 0x1000);
    put32(ab, offSection + 16, 0x200);
    put32(ab, offSection + 20, 0x200);
    put32(ab, offSection + 36, 0x60000020);
    ab[0x200] = 0xc3; /* ret */
    for (size_t i = 0x201; i < ab.size(); i++)
        ab[i] = uint8_t(i * 7);
    return ab;
}

/* A byte of the code section, which every Authenticode hash covers. */
const size_t g_offTamper = 0x300;

class SignTest : public ::testing::Test
{
  protected:
    std::string m_strDir, m_strOsslsigncode;

    void SetUp() override
    {
        if (PackFindProgram("openssl").empty() || PackFindProgram("osslsigncode").empty())
            GTEST_SKIP() << "openssl and osslsigncode are needed to make and check signatures";
        m_strOsslsigncode = PackFindProgram("osslsigncode");
        const ::testing::TestInfo *pInfo = ::testing::UnitTest::GetInstance()->current_test_info();
        m_strDir = ::testing::TempDir() + "sign_test-" + pInfo->name();
        for (char &ch : m_strDir)
            if (ch == '/' && &ch > &m_strDir[::testing::TempDir().size()])
                ch = '-';
        std::filesystem::remove_all(m_strDir);
        std::filesystem::create_directories(m_strDir);
    }
    void TearDown() override
    {
        if (!m_strDir.empty())
            std::filesystem::remove_all(m_strDir);
    }
    std::string path(const char *pszName) const
    {
        return m_strDir + "/" + pszName;
    }

    /* The unsigned launcher stand-in, written once per test. */
    std::string unsignedPe()
    {
        std::string strPath = path("unsigned.exe");
        writeFile(strPath, minimalPe());
        return strPath;
    }

    /* osslsigncode's own verdict on a file against the signer's certificate. */
    bool osslsigncodeVerifies(const std::string &strFile)
    {
        PackRunResult result;
        PackRun(
            {m_strOsslsigncode, "verify", "-CAfile", fixture("signer-cert.pem"), "-ignore-timestamp", "-in", strFile},
            result);
        return result.iExitCode == 0 && result.strOutput.find("Signature verification: ok") != std::string::npos;
    }

    /* A signing command that signs with osslsigncode by its full path
       (so it runs with osslsigncode off the PATH too), with the given key. */
    std::string osslsigncodeCommand(const char *pszKey, const char *pszCert) const
    {
        return m_strOsslsigncode + " sign -h sha256 -certs " + fixture(pszCert) + " -key " + fixture(pszKey) +
               " -in {in} -out {out}";
    }
};

PackSigning pemSigning()
{
    PackSigning signing;
    signing.strKey = fixture("signer-key.pem");
    signing.strCert = fixture("signer-cert.pem");
    return signing;
}

PackSigning commandSigning(const std::string &strCommand)
{
    PackSigning signing;
    signing.strCommand = strCommand;
    signing.strCert = fixture("signer-cert.pem");
    return signing;
}

TEST_F(SignTest, OptionCombinations)
{
    struct Case
    {
        const char *pszWhat;
        PackSigning signing;
        const char *pszError; /* empty: accepted */
    };
    const char *pszCommandRule = "--sign-command takes --sign-cert, the certificate it signs with, and no "
                                 "--sign-pkcs12, --sign-key or --sign-password-file (the command has the key)";
    const char *pszNeedKey = "--sign-password-file, --sign-description, --sign-url, --timestamp-url and "
                             "--sign-packages need a key (--sign-pkcs12, --sign-key with --sign-cert, or "
                             "--sign-command with --sign-cert)";
    PackSigning noCert = commandSigning("sign {in}"), commandP12 = commandSigning("sign {in}"),
                commandPassword = commandSigning("sign {in}"), p12Cert, keyOnly, certOnly, stampOnly, packagesOnly,
                urlOnly;
    noCert.strCert.clear();
    commandP12.strPkcs12 = fixture("signer.p12");
    commandPassword.strPasswordFile = fixture("password.txt");
    p12Cert.strPkcs12 = fixture("signer.p12");
    p12Cert.strCert = fixture("signer-cert.pem");
    keyOnly.strKey = fixture("signer-key.pem");
    certOnly.strCert = fixture("signer-cert.pem");
    stampOnly.strTimestampUrl = "http://timestamp.example";
    packagesOnly.fSignPackages = true;
    urlOnly.strUrl = "https://example.com";
    const Case aCases[] = {
        {"command without certificate", noCert, pszCommandRule},
        {"command with PKCS#12", commandP12, pszCommandRule},
        {"command with password file", commandPassword, pszCommandRule},
        {"PKCS#12 and certificate", p12Cert, "give --sign-pkcs12 or --sign-key with --sign-cert, not both"},
        {"key alone", keyOnly, "--sign-key and --sign-cert go together"},
        {"certificate alone", certOnly, "--sign-key and --sign-cert go together"},
        {"time-stamp server alone", stampOnly, pszNeedKey},
        {"packages alone", packagesOnly, pszNeedKey},
        {"link alone", urlOnly, pszNeedKey},
        {"nothing", PackSigning(), ""},
    };
    for (const Case &c : aCases)
    {
        std::vector<Bytes> signers = {Bytes{1}};
        std::string strError;
        bool fOk = PackSignCheck(c.signing, signers, strError);
        EXPECT_EQ(fOk, !*c.pszError) << c.pszWhat;
        EXPECT_EQ(strError, c.pszError) << c.pszWhat;
        EXPECT_TRUE(signers.empty()) << c.pszWhat << ": no key, no signer";
    }
}

TEST_F(SignTest, KeyFiles)
{
    struct Case
    {
        const char *pszWhat;
        const char *pszPkcs12, *pszKey, *pszCert, *pszPassword;
        bool fCommand;
        std::string strError; /* the message's start; empty: accepted */
        size_t cSigners;
    };
    const std::string strP12 = "PKCS#12 file (SIGN_PKCS12) " + fixture("signer.p12");
    const std::string strKey = "signing key (SIGN_KEY) ";
    const std::string strCert = "signing certificate (SIGN_CERT) ";
    const Case aCases[] = {
        {"PKCS#12 with password", "signer.p12", nullptr, nullptr, "password.txt", false, "", 1},
        {"PKCS#12 in legacy ciphers", "signer-legacy.p12", nullptr, nullptr, "password.txt", false, "", 1},
        {"PEM key and certificate", nullptr, "signer-key.pem", "signer-cert.pem", nullptr, false, "", 1},
        {"PEM key, DER certificate", nullptr, "signer-key.pem", "signer-cert.der", nullptr, false, "", 1},
        {"encrypted key with password", nullptr, "signer-key-encrypted.pem", "signer-cert.pem", "password.txt", false,
         "", 1},
        {"certificate with its chain", nullptr, "signer-key.pem", "signer-chain.pem", nullptr, false, "", 2},
        {"command, PEM certificate", nullptr, nullptr, "signer-cert.pem", nullptr, true, "", 1},
        {"command, DER certificate", nullptr, nullptr, "signer-cert.der", nullptr, true, "", 1},
        {"missing PKCS#12", "missing.p12", nullptr, nullptr, nullptr, false,
         "PKCS#12 file (SIGN_PKCS12) " + fixture("missing.p12") + ": no such file", 0},
        {"certificate is a directory", nullptr, "signer-key.pem", ".", nullptr, false,
         strCert + fixture(".") + ": not a readable file", 0},
        {"empty password file", "signer.p12", nullptr, nullptr, "empty-password.txt", false,
         "password file (SIGN_PASSWORD_FILE) " + fixture("empty-password.txt") +
             ": the file is empty; write the key's password into it",
         0},
        {"PKCS#12, wrong password", "signer.p12", nullptr, nullptr, "wrong-password.txt", false,
         strP12 + ": cannot be opened with the password in " + fixture("wrong-password.txt") +
             " (wrong password, or not a PKCS#12 file: ",
         0},
        {"PKCS#12, no password", "signer.p12", nullptr, nullptr, nullptr, false,
         strP12 + ": cannot be opened without a password (give SIGN_PASSWORD_FILE, or it is not a PKCS#12 file: ", 0},
        {"PKCS#12 that is PEM", "signer-cert.pem", nullptr, nullptr, nullptr, false,
         "PKCS#12 file (SIGN_PKCS12) " + fixture("signer-cert.pem") +
             ": a PEM file holding a certificate; give PEM files as SIGN_KEY and SIGN_CERT, or make a PKCS#12 "
             "file with: openssl pkcs12 -export -inkey KEY -in CERT -out " +
             fixture("signer-cert.p12"),
         0},
        {"encrypted key, wrong password", nullptr, "signer-key-encrypted.pem", "signer-cert.pem", "wrong-password.txt",
         false,
         strKey + fixture("signer-key-encrypted.pem") + ": cannot be decrypted with the password in " +
             fixture("wrong-password.txt"),
         0},
        {"encrypted key, no password", nullptr, "signer-key-encrypted.pem", "signer-cert.pem", nullptr, false,
         strKey + fixture("signer-key-encrypted.pem") +
             ": the key is encrypted; give its password with "
             "SIGN_PASSWORD_FILE",
         0},
        {"key of another certificate", nullptr, "other-key.pem", "signer-cert.pem", nullptr, false,
         strKey + fixture("other-key.pem") + ": the key does not belong to the certificate in " +
             fixture("signer-cert.pem"),
         0},
        {"key and certificate swapped", nullptr, "signer-cert.pem", "signer-key.pem", nullptr, false,
         strKey + fixture("signer-cert.pem") +
             ": a certificate, not a private key (are SIGN_KEY and SIGN_CERT swapped?)",
         0},
        {"command, certificate is a key", nullptr, nullptr, "signer-key.pem", nullptr, true,
         strCert + fixture("signer-key.pem") +
             ": a private key, not a certificate (are SIGN_KEY and SIGN_CERT "
             "swapped?)",
         0},
        {"command, certificate is no certificate", nullptr, nullptr, "password.txt", nullptr, true,
         strCert + fixture("password.txt") + ": not a certificate", 0},
    };
    const Bytes der = readFile(fixture("signer-cert.der"));
    ASSERT_FALSE(der.empty());
    for (const Case &c : aCases)
    {
        PackSigning signing;
        if (c.pszPkcs12)
            signing.strPkcs12 = fixture(c.pszPkcs12);
        if (c.pszKey)
            signing.strKey = fixture(c.pszKey);
        if (c.pszCert)
            signing.strCert = fixture(c.pszCert);
        if (c.pszPassword)
            signing.strPasswordFile = fixture(c.pszPassword);
        if (c.fCommand)
            signing.strCommand = "sign {in}";
        std::vector<Bytes> signers;
        std::string strError;
        bool fOk = PackSignCheck(signing, signers, strError);
        EXPECT_EQ(fOk, c.strError.empty()) << c.pszWhat << ": " << strError;
        EXPECT_EQ(strError.substr(0, c.strError.size()), c.strError) << c.pszWhat;
        ASSERT_EQ(signers.size(), c.cSigners) << c.pszWhat;
        if (c.cSigners)
        {
            EXPECT_EQ(signers[0], der) << c.pszWhat << ": the signing certificate comes first";
        }
    }
}

TEST_F(SignTest, CommandTemplates)
{
    struct Case
    {
        const char *pszCommand, *pszDescription, *pszUrl, *pszTimestampUrl;
        const char *pszError; /* after "signing command (SIGN_COMMAND) '<command>': "; empty: accepted */
    };
    const Case aCases[] = {
        {"sign --out {out} {in}", nullptr, nullptr, nullptr, ""},
        {"sign -n {description} -i {url} -t {timestamp_url} {in}", "Product", "https://example.com",
         "http://ts.example", ""},
        {"sign {in}", "Product", nullptr, nullptr, ""}, /* the description has a default a command may omit */
        {"sign {in} {bogus}", nullptr, nullptr, nullptr,
         "unknown placeholder {bogus}; the placeholders are {in}, {out}, {description}, {url}, {timestamp_url}"},
        {"sign {in} {}", nullptr, nullptr, nullptr,
         "unknown placeholder {}; the placeholders are {in}, {out}, {description}, {url}, {timestamp_url}"},
        {"sign --out {out} file.exe", nullptr, nullptr, nullptr, "names no file to sign ({in})"},
        {"   ", nullptr, nullptr, nullptr, "names no file to sign ({in})"},
        {"sign '{in}'", nullptr, nullptr, nullptr, ""},
        {"sign {in} {url}", nullptr, nullptr, nullptr, "uses {url}, but no SIGN_URL is given"},
        {"sign {in} {description}", nullptr, nullptr, nullptr, "uses {description}, but no SIGN_DESCRIPTION is given"},
        {"sign {in}", nullptr, "https://example.com", nullptr, "SIGN_URL is given, but the command takes no {url}"},
        {"sign {in}", nullptr, nullptr, "http://ts.example",
         "TIMESTAMP_URL is given, but the command takes no {timestamp_url}"},
        {"sign \"unclosed {in}", nullptr, nullptr, nullptr, "No closing quotation"},
    };
    for (const Case &c : aCases)
    {
        PackSigning signing = commandSigning(c.pszCommand);
        signing.strDescription = c.pszDescription ? c.pszDescription : "";
        signing.strUrl = c.pszUrl ? c.pszUrl : "";
        signing.strTimestampUrl = c.pszTimestampUrl ? c.pszTimestampUrl : "";
        std::vector<Bytes> signers;
        std::string strError;
        bool fOk = PackSignCheck(signing, signers, strError);
        EXPECT_EQ(fOk, !*c.pszError) << c.pszCommand << ": " << strError;
        if (*c.pszError)
        {
            EXPECT_EQ(strError, std::string("signing command (SIGN_COMMAND) '") + c.pszCommand + "': " + c.pszError);
        }
    }
    // The command is shown as the build has always shown it: a single quote
    // in it puts it in double quotes, a backslash is doubled.
    const struct
    {
        const char *pszCommand, *pszError;
    } aShown[] = {
        {"sign 'unclosed {in}", "signing command (SIGN_COMMAND) \"sign 'unclosed {in}\": No closing quotation"},
        {"sign {in} \\", "signing command (SIGN_COMMAND) 'sign {in} \\\\': No escaped character"},
    };
    for (const auto &c : aShown)
    {
        std::vector<Bytes> signers;
        std::string strError;
        EXPECT_FALSE(PackSignCheck(commandSigning(c.pszCommand), signers, strError));
        EXPECT_EQ(strError, c.pszError);
    }
}

/* Every route signs a real PE, and the file passes both verifiers. The
   command routes run also with osslsigncode off the PATH: the host kind
   (Windows with a signing service) where the packer checks the signature's
   structure itself. */
TEST_F(SignTest, SignsAndVerifies)
{
    const std::string strInPlace = "/bin/sh -c 'o=$1.tmp; " + m_strOsslsigncode + " sign -h sha256 -certs " +
                                   fixture("signer-cert.pem") + " -key " + fixture("signer-key.pem") +
                                   " -in \"$1\" -out \"$o\" && /bin/mv \"$o\" \"$1\"' sh {in}";
    PackSigning p12;
    p12.strPkcs12 = fixture("signer.p12");
    p12.strPasswordFile = fixture("password.txt");
    p12.strDescription = "Marrowdale";
    p12.strUrl = "https://example.com";
    const struct
    {
        const char *pszWhat;
        PackSigning signing;
        bool fWithoutOsslsigncode;
    } aCases[] = {
        {"PKCS#12", p12, false},
        {"PEM key", pemSigning(), false},
        {"command with {out}", commandSigning(osslsigncodeCommand("signer-key.pem", "signer-cert.pem")), false},
        {"command in place", commandSigning(strInPlace), false},
        {"command with {out}, no osslsigncode",
         commandSigning(osslsigncodeCommand("signer-key.pem", "signer-cert.pem")), true},
        {"command in place, no osslsigncode", commandSigning(strInPlace), true},
    };
    const std::string strIn = unsignedPe(), strOut = path("signed.exe");
    for (const auto &c : aCases)
    {
        std::vector<Bytes> signers;
        std::string strError;
        ASSERT_TRUE(PackSignCheck(c.signing, signers, strError)) << c.pszWhat << ": " << strError;
        {
            std::optional<ScopedEnv> noOsslsigncode;
            if (c.fWithoutOsslsigncode)
                noOsslsigncode.emplace("PATH", m_strDir.c_str());
            EXPECT_TRUE(PackSignFile(c.signing, signers, strIn, strOut, strError)) << c.pszWhat << ": " << strError;
        }
        EXPECT_TRUE(osslsigncodeVerifies(strOut)) << c.pszWhat;
        std::string strReason;
        EXPECT_TRUE(PackSignVerifyStructure(signers, strOut, strReason)) << c.pszWhat << ": " << strReason;
        EXPECT_EQ(PackPathQuery(strOut + ".signing"), PACK_PATH_NONE) << c.pszWhat;
        EXPECT_EQ(readFile(strIn), minimalPe()) << c.pszWhat << ": the input stays as it was";
    }
}

/* A file changed after signing, or signed with another certificate, fails
   both verifiers, and no file is left under the output's name (not even
   an earlier one). */
TEST_F(SignTest, BadSignatureLeavesNoFile)
{
    const std::string strTamper =
        "/bin/sh -c '" + m_strOsslsigncode + " sign -h sha256 -certs " + fixture("signer-cert.pem") + " -key " +
        fixture("signer-key.pem") +
        " -in \"$1\" -out \"$2\" && printf X | /bin/dd of=\"$2\" bs=1 seek=" + std::to_string(g_offTamper) +
        " conv=notrunc 2>/dev/null' sh {in} {out}";
    const struct
    {
        const char *pszWhat, *pszCommand, *pszCert;
        bool fWithoutOsslsigncode;
        const char *pszReason;
    } aCases[] = {
        {"tampered", strTamper.c_str(), "signer-cert.pem", false, "MISMATCH"},
        {"tampered, no osslsigncode", strTamper.c_str(), "signer-cert.pem", true,
         "the file's hash does not match the hash its signature holds (the file was changed after signing)"},
        {"other signer", nullptr, "signer-cert.pem", false,
         "it is signed with another certificate than the signing certificate"},
        {"other signer, no osslsigncode", nullptr, "signer-cert.pem", true,
         "it is signed with another certificate than the signing certificate"},
        /* Its chain verifies: only the signer's own certificate tells. */
        {"other signer in the certificate's chain", nullptr, "signer-chain.pem", false,
         "it is signed with another certificate than the signing certificate"},
        {"other signer in the certificate's chain, no osslsigncode", nullptr, "signer-chain.pem", true,
         "it is signed with another certificate than the signing certificate"},
    };
    const std::string strIn = unsignedPe(), strOut = path("signed.exe");
    const std::string strOther = osslsigncodeCommand("other-key.pem", "other-cert.pem");
    for (const auto &c : aCases)
    {
        PackSigning signing = commandSigning(c.pszCommand ? c.pszCommand : strOther);
        signing.strCert = fixture(c.pszCert);
        std::vector<Bytes> signers;
        std::string strError;
        ASSERT_TRUE(PackSignCheck(signing, signers, strError)) << c.pszWhat << ": " << strError;
        writeFile(strOut, {'o', 'l', 'd'});
        {
            std::optional<ScopedEnv> noOsslsigncode;
            if (c.fWithoutOsslsigncode)
                noOsslsigncode.emplace("PATH", m_strDir.c_str());
            EXPECT_FALSE(PackSignFile(signing, signers, strIn, strOut, strError)) << c.pszWhat;
        }
        const std::string strStart = "signing " + strIn + " gave no valid signature of the signing certificate:\n    ";
        EXPECT_EQ(strError.substr(0, strStart.size()), strStart) << c.pszWhat << ": " << strError;
        EXPECT_NE(strError.find(c.pszReason, strStart.size()), std::string::npos) << c.pszWhat << ": " << strError;
        EXPECT_EQ(PackPathQuery(strOut), PACK_PATH_NONE) << c.pszWhat;
        EXPECT_EQ(PackPathQuery(strOut + ".signing"), PACK_PATH_NONE) << c.pszWhat;
    }
}

/* The structural verifier on its own: a good signature passes; one changed
   byte anywhere the hash covers fails it, as it fails osslsigncode. */
TEST_F(SignTest, StructureVerifierSeesEveryHashedByte)
{
    std::vector<Bytes> signers;
    std::string strError, strReason;
    const std::string strOut = path("signed.exe"), strBad = path("bad.exe");
    ASSERT_TRUE(PackSignCheck(pemSigning(), signers, strError)) << strError;
    /* Data after the image makes the file longer than one piece read. */
    const size_t cbOverlay = 200 * 1024;
    writeFile(path("long.exe"), minimalPe(cbOverlay));
    ASSERT_TRUE(PackSignFile(pemSigning(), signers, path("long.exe"), strOut, strError)) << strError;
    const Bytes signedPe = readFile(strOut);
    ASSERT_TRUE(PackSignVerifyStructure(signers, strOut, strReason)) << strReason;
    /* The DOS header, the PE header's time stamp, the last header byte
       before the section data, the code section's last byte, and the data
       after the image: in a later piece and its last byte. */
    for (size_t off :
         {size_t(2), size_t(0x48), size_t(0x1ff), size_t(0x3ff), size_t(0x400 + 150000), size_t(0x400 + cbOverlay - 1)})
    {
        Bytes bad = signedPe;
        bad[off] ^= 1;
        writeFile(strBad, bad);
        EXPECT_FALSE(PackSignVerifyStructure(signers, strBad, strReason)) << "offset " << off;
        EXPECT_FALSE(osslsigncodeVerifies(strBad)) << "offset " << off;
    }
    EXPECT_FALSE(PackSignVerifyStructure(signers, unsignedPe(), strReason));
    EXPECT_EQ(strReason, "no signature");
}

/* The file hash in a signature, as osslsigncode reads it. */
Bytes signedFileHash(const std::string &strOsslsigncode, const std::string &strFile)
{
    PackRunResult result;
    PackRun({strOsslsigncode, "verify", "-in", strFile}, result);
    Bytes ab;
    size_t off = result.strOutput.find("Current message digest");
    off = off == std::string::npos ? off : result.strOutput.find(':', off);
    if (off == std::string::npos)
        return ab;
    off = result.strOutput.find_first_not_of(' ', off + 1);
    for (size_t i = 0; i < 32 && off + 2 * i + 2 <= result.strOutput.size(); i++)
        ab.push_back(uint8_t(std::stoul(result.strOutput.substr(off + 2 * i, 2), nullptr, 16)));
    return ab;
}

/* A signature carried over to a changed file, with the file hash in it
   edited to the changed file's: only the signed attributes, which carry the
   hash of what the signature value signs, tell. */
TEST_F(SignTest, StructureVerifierTiesTheFileHashToTheSignedAttributes)
{
    ScopedEnv epoch("SOURCE_DATE_EPOCH", "1700000000");
    std::vector<Bytes> signers;
    std::string strError, strReason;
    ASSERT_TRUE(PackSignCheck(pemSigning(), signers, strError)) << strError;
    Bytes changed = minimalPe();
    changed[g_offTamper] ^= 1;
    writeFile(path("changed.exe"), changed);
    ASSERT_TRUE(PackSignFile(pemSigning(), signers, unsignedPe(), path("signed.exe"), strError)) << strError;
    ASSERT_TRUE(PackSignFile(pemSigning(), signers, path("changed.exe"), path("changed-signed.exe"), strError))
        << strError;
    const Bytes hash = signedFileHash(m_strOsslsigncode, path("signed.exe"));
    const Bytes changedHash = signedFileHash(m_strOsslsigncode, path("changed-signed.exe"));
    ASSERT_EQ(hash.size(), 32u);
    ASSERT_EQ(changedHash.size(), 32u);

    Bytes forged = readFile(path("signed.exe"));
    forged[g_offTamper] ^= 1;
    auto it = std::search(forged.begin() + 0x400, forged.end(), hash.begin(), hash.end());
    ASSERT_NE(it, forged.end());
    std::copy(changedHash.begin(), changedHash.end(), it);
    writeFile(path("forged.exe"), forged);
    EXPECT_FALSE(PackSignVerifyStructure(signers, path("forged.exe"), strReason));
    EXPECT_EQ(strReason, "its signed attributes do not match its file hash");
    EXPECT_FALSE(osslsigncodeVerifies(path("forged.exe")));
}

/* With SOURCE_DATE_EPOCH the signing time is fixed: the signature's
   signing time is that time, and signing again gives the same bytes. */
TEST_F(SignTest, SourceDateEpochMakesSigningReproducible)
{
    std::vector<Bytes> signers;
    std::string strError;
    const PackSigning signing = pemSigning();
    ASSERT_TRUE(PackSignCheck(signing, signers, strError)) << strError;
    const std::string strIn = unsignedPe();
    auto signAt = [&](const char *pszEpoch, const char *pszName) {
        ScopedEnv epoch("SOURCE_DATE_EPOCH", pszEpoch);
        EXPECT_TRUE(PackSignFile(signing, signers, strIn, path(pszName), strError)) << strError;
        return readFile(path(pszName));
    };
    auto holds = [](const Bytes &ab, const std::string &str) {
        return std::search(ab.begin(), ab.end(), str.begin(), str.end()) != ab.end();
    };
    const Bytes first = signAt("1700000000", "first.exe");
    /* The signing time attribute's UTCTime. */
    EXPECT_TRUE(holds(first, "231114221320Z"));
    EXPECT_EQ(signAt("1700000000", "second.exe"), first);
    EXPECT_TRUE(holds(signAt("1700000001", "later.exe"), "231114221321Z"));

    ScopedEnv epoch("SOURCE_DATE_EPOCH", "yesterday");
    EXPECT_FALSE(PackSignFile(signing, signers, strIn, path("bad.exe"), strError));
    EXPECT_EQ(strError, "SOURCE_DATE_EPOCH 'yesterday' is not a number of seconds");
    EXPECT_EQ(PackPathQuery(path("bad.exe")), PACK_PATH_NONE);
}

TEST_F(SignTest, OptionsRecord)
{
    PackSigning signing = pemSigning();
    signing.strKey = "key.pem";
    signing.strCert = "cert.pem";
    signing.strDescription = "Caf\xc3\xa9 \"Tools\" \xf0\x9f\x8e\x89";
    {
        ScopedEnv epoch("SOURCE_DATE_EPOCH", "1700000000");
        EXPECT_EQ(PackSignOptionsRecord(signing), "{\n \"cert\": \"cert.pem\",\n \"command\": null,\n"
                                                  " \"description\": \"Caf\\u00e9 \\\"Tools\\\" \\ud83c\\udf89\",\n"
                                                  " \"key\": \"key.pem\",\n \"password_file\": null,\n"
                                                  " \"pkcs12\": null,\n \"timestamp_url\": null,\n \"url\": null,\n"
                                                  " \"SOURCE_DATE_EPOCH\": \"1700000000\"\n}\n");
    }
    ScopedEnv epoch("SOURCE_DATE_EPOCH", nullptr);
    const std::string strRecord = PackSignOptionsRecord(signing);
    EXPECT_NE(strRecord.find("\"SOURCE_DATE_EPOCH\": null\n}"), std::string::npos) << strRecord;
}

} // namespace
