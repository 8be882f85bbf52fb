/** @file
 * Authenticode signing for the packer: key checks (openssl for private
 * keys, our own reading of certificates), signing with osslsigncode or the
 * signer's command, and verification of every signed file before it takes
 * its name: with osslsigncode where the host has it, else by reading the
 * signature's structure (PackSignVerifyStructure).
 */
#include "sign.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "der.h"
#include "os.h"
#include "sha256.h"

namespace
{

const char g_szOsslsigncode[] = "osslsigncode";
const char g_szOpenssl[] = "openssl";
const char g_szPasswordLabel[] = "password file (SIGN_PASSWORD_FILE)";
const char g_szCertLabel[] = "signing certificate (SIGN_CERT)";
const char g_szKeyLabel[] = "signing key (SIGN_KEY)";
const char g_szPkcs12Label[] = "PKCS#12 file (SIGN_PKCS12)";
const char g_szCommandLabel[] = "signing command (SIGN_COMMAND)";
const char *const g_apszPlaceholders[] = {"in", "out", "description", "url", "timestamp_url"};
/* The system's trusted roots, for a signing certificate issued by a public
   authority whose root its own chain leaves out. */
const char *const g_apszSystemRoots[] = {"/etc/ssl/certs/ca-certificates.crt", "/etc/pki/tls/certs/ca-bundle.crt"};

typedef std::vector<uint8_t> Bytes;

/* ---- DER, PEM and certificates ---- */

/* The whole element, from its tag. */
const uint8_t *wholeOf(const PackDerTlv &tlv)
{
    return tlv.pbContent - (tlv.cbTotal - tlv.cbContent);
}

bool isOid(const PackDerTlv &tlv, const char *pszOid)
{
    return tlv.bTag == PACK_DER_OID && PackDerOidText(tlv) == pszOid;
}

bool sameBytes(const uint8_t *pb1, size_t cb1, const uint8_t *pb2, size_t cb2)
{
    return cb1 == cb2 && memcmp(pb1, pb2, cb1) == 0;
}

bool sameElement(const PackDerTlv &tlv1, const PackDerTlv &tlv2)
{
    return sameBytes(wholeOf(tlv1), tlv1.cbTotal, wholeOf(tlv2), tlv2.cbTotal);
}

/* The decoded "-----BEGIN <label>-----" blocks of a tool's output. */
std::vector<Bytes> pemBlocks(const std::string &strText, const char *pszLabel)
{
    std::vector<Bytes> blocks;
    if (!PackPemDecode(reinterpret_cast<const uint8_t *>(strText.data()), strText.size(), pszLabel, blocks))
        blocks.clear();
    return blocks;
}

/* The label of a PEM file's first block, or empty when it is not PEM. */
std::string pemLabel(const std::string &strData)
{
    std::string strLabel;
    return PackPemLabel(reinterpret_cast<const uint8_t *>(strData.data()), strData.size(), strLabel) ? strLabel : "";
}

/* ---- texts ---- */

/* A text quoted the way Python shows a string (the build's messages always
   showed the command so). */
std::string quoteRepr(const std::string &str)
{
    char chQuote = str.find('\'') != std::string::npos && str.find('"') == std::string::npos ? '"' : '\'';
    std::string strOut(1, chQuote);
    for (char ch : str)
    {
        if (ch == '\\' || ch == chQuote)
            strOut += '\\';
        strOut += ch;
    }
    return strOut + chQuote;
}

/* An argument as a POSIX shell reads it back as one word. */
std::string quoteShell(const std::string &str)
{
    bool fPlain = !str.empty();
    for (unsigned char ch : str)
        if (!(isalnum(ch) || strchr("@%+=:,./-_", ch)))
            fPlain = false;
    if (fPlain)
        return str;
    std::string strOut = "'";
    for (char ch : str)
        strOut += ch == '\'' ? std::string("'\"'\"'") : std::string(1, ch);
    return strOut + "'";
}

/* A program's output, trimmed, its lines indented under a message. */
std::string indentedOutput(const std::string &strOutput)
{
    size_t offStart = strOutput.find_first_not_of(" \t\r\n"), offEnd = strOutput.find_last_not_of(" \t\r\n");
    std::string strOut;
    if (offStart == std::string::npos)
        return strOut;
    for (size_t i = offStart; i <= offEnd; i++)
        strOut += strOutput[i] == '\n' ? std::string("\n    ") : std::string(1, strOutput[i]);
    return strOut;
}

std::string firstLine(const std::string &strOutput)
{
    size_t off = strOutput.find_first_not_of(" \t\r\n");
    if (off == std::string::npos)
        return "";
    size_t offEnd = strOutput.find_first_of("\r\n", off);
    return strOutput.substr(off, offEnd == std::string::npos ? std::string::npos : offEnd - off);
}

/* ---- files and tools ---- */

bool readWhole(const std::string &strPath, std::string &strData)
{
    FILE *pFile = PackOpen(strPath, "rb");
    if (!pFile)
        return false;
    char ab[65536];
    size_t cb;
    strData.clear();
    while ((cb = fread(ab, 1, sizeof(ab), pFile)) > 0)
        strData.append(ab, cb);
    bool fOk = !ferror(pFile);
    fclose(pFile);
    return fOk;
}

bool writeWhole(const std::string &strPath, const std::string &strData)
{
    FILE *pFile = PackOpen(strPath, "wb");
    if (!pFile)
        return false;
    bool fOk = fwrite(strData.data(), 1, strData.size(), pFile) == strData.size();
    return fclose(pFile) == 0 && fOk;
}

/* A key input's bytes, or the message that it is missing or unreadable. */
bool checkFile(const char *pszLabel, const std::string &strPath, std::string &strData, std::string &strError)
{
    PackPathKind enmKind = PackPathQuery(strPath);
    if (enmKind == PACK_PATH_NONE)
    {
        strError = std::string(pszLabel) + " " + strPath + ": no such file";
        return false;
    }
    if (enmKind != PACK_PATH_FILE || !readWhole(strPath, strData))
    {
        strError = std::string(pszLabel) + " " + strPath + ": not a readable file";
        return false;
    }
    return true;
}

/* Runs a tool the packer needs; false (with the message) when the host has
   none. */
bool runTool(const std::vector<std::string> &argv, PackRunResult &result, std::string &strError)
{
    PackRun(argv, result);
    if (!result.fStarted)
    {
        strError = argv[0] + " is not installed";
        return false;
    }
    return true;
}

std::string passIn(const PackSigning &signing)
{
    return signing.strPasswordFile.empty() ? "pass:" : "file:" + signing.strPasswordFile;
}

/* ---- certificates and keys ---- */

/* The certificates of a PEM (chain after it) or DER (the same, one after
   the other) certificate file, each one checked to be a certificate. */
bool certificatesOf(const char *pszLabel, const std::string &strPath, const std::string &strData,
                    std::vector<Bytes> &certs, std::string &strError)
{
    std::string strKind = pemLabel(strData);
    const std::string strWhere = std::string(pszLabel) + " " + strPath;
    if (strKind.find("PRIVATE KEY") != std::string::npos)
    {
        strError = strWhere + ": a private key, not a certificate (are SIGN_KEY and SIGN_CERT swapped?)";
        return false;
    }
    certs.clear();
    const uint8_t *pb = reinterpret_cast<const uint8_t *>(strData.data());
    size_t cb = strData.size();
    bool fRead = true;
    if (!strKind.empty())
        fRead = PackPemDecode(pb, cb, "CERTIFICATE", certs);
    else
    {
        PackDerTlv tlv;
        for (; cb > 0 && PackDerExpect(pb, cb, PACK_DER_SEQUENCE, tlv); pb += tlv.cbTotal, cb -= tlv.cbTotal)
            certs.emplace_back(pb, pb + tlv.cbTotal);
        fRead = cb == 0;
    }
    if (!fRead || certs.empty())
    {
        strError = strWhere + (strKind.empty() ? ": not a certificate (neither PEM nor DER)"
                                               : ": not a certificate (no whole CERTIFICATE block in the PEM file)");
        return false;
    }
    for (const Bytes &cert : certs)
    {
        PackX509 x509;
        if (!PackX509Parse(cert.data(), cert.size(), x509))
        {
            strError = strWhere + ": not a certificate (a damaged X.509 structure)";
            return false;
        }
    }
    return true;
}

Bytes spkiOf(const Bytes &cert)
{
    PackX509 x509;
    if (!PackX509Parse(cert.data(), cert.size(), x509))
        return Bytes();
    const PackDerTlv &spki = x509.SubjectPublicKeyInfo;
    return Bytes(wholeOf(spki), wholeOf(spki) + spki.cbTotal);
}

/* The public key (SubjectPublicKeyInfo) openssl derives from a private key
   file, or the message saying why it is not one openssl can use. */
bool publicKeyOfKey(const PackSigning &signing, const std::string &strData, Bytes &spki, std::string &strError)
{
    const std::string strWhere = std::string(g_szKeyLabel) + " " + signing.strKey;
    if (pemLabel(strData).find("CERTIFICATE") != std::string::npos)
    {
        strError = strWhere + ": a certificate, not a private key (are SIGN_KEY and SIGN_CERT swapped?)";
        return false;
    }
    bool fEncrypted = strData.substr(0, 200).find("ENCRYPTED") != std::string::npos;
    if (fEncrypted && signing.strPasswordFile.empty())
    {
        strError = strWhere + ": the key is encrypted; give its password with SIGN_PASSWORD_FILE";
        return false;
    }
    PackRunResult result;
    if (!runTool({g_szOpenssl, "pkey", "-in", signing.strKey, "-passin", passIn(signing), "-pubout"}, result, strError))
        return false;
    std::vector<Bytes> keys = pemBlocks(result.strOutput, "PUBLIC KEY");
    if (result.iExitCode != 0 || keys.empty())
    {
        strError = fEncrypted ? strWhere + ": cannot be decrypted with the password in " + signing.strPasswordFile
                              : strWhere + ": not a private key openssl can read (" + firstLine(result.strOutput) + ")";
        return false;
    }
    spki = keys[0];
    return true;
}

/* The signing certificate, its chain and its key's public key from a
   PKCS#12 file. Files exported by older systems use ciphers that OpenSSL 3
   keeps in its legacy provider, so that is tried second. */
bool pkcs12Parts(const PackSigning &signing, Bytes &keySpki, std::vector<Bytes> &certs, std::string &strError)
{
    const std::string &strPath = signing.strPkcs12;
    const std::string strWhere = std::string(g_szPkcs12Label) + " " + strPath;
    std::string strData;
    if (!checkFile(g_szPkcs12Label, strPath, strData, strError))
        return false;
    std::string strKind = pemLabel(strData);
    if (!strKind.empty())
    {
        std::string strLower = strKind, strName = PackPathName(strPath), strStem = strPath;
        for (char &ch : strLower)
            ch = char(tolower((unsigned char)ch));
        size_t offDot = strName.rfind('.');
        if (offDot != std::string::npos && strName.find_first_not_of('.') < offDot)
            strStem.resize(strPath.size() - (strName.size() - offDot));
        strError = strWhere + ": a PEM file holding a " + strLower +
                   "; give PEM files as SIGN_KEY and SIGN_CERT, or make a PKCS#12 file with: openssl pkcs12 "
                   "-export -inkey KEY -in CERT -out " +
                   strStem + ".p12";
        return false;
    }
    std::string strErr;
    for (int fLegacy = 0; fLegacy < 2; fLegacy++)
    {
        std::vector<std::string> common = {g_szOpenssl, "pkcs12", "-in", strPath, "-passin", passIn(signing)};
        if (fLegacy)
            common.push_back("-legacy");
        auto with = [&common](std::initializer_list<const char *> extra) {
            std::vector<std::string> argv = common;
            argv.insert(argv.end(), extra.begin(), extra.end());
            return argv;
        };
        PackRunResult key, cert;
        if (!runTool(with({"-nocerts", "-nodes"}), key, strError))
            return false;
        strErr = firstLine(key.strOutput);
        if (key.iExitCode != 0)
            continue;
        PackRun(with({"-clcerts", "-nokeys"}), cert);
        strErr = firstLine(cert.strOutput);
        if (cert.iExitCode != 0)
            continue;
        if (key.strOutput.find("PRIVATE KEY") == std::string::npos)
        {
            strError = strWhere + ": holds no private key";
            return false;
        }
        certs = pemBlocks(cert.strOutput, "CERTIFICATE");
        if (certs.empty())
        {
            strError = strWhere + ": holds no certificate for its key";
            return false;
        }
        // The key's public half, from the file itself: the decrypted key
        // is never written anywhere.
        std::vector<std::string> pkey = {g_szOpenssl, "pkey", "-in", strPath, "-passin", passIn(signing), "-pubout"};
        if (fLegacy)
            pkey.insert(pkey.end(), {"-provider", "legacy", "-provider", "default"});
        PackRunResult pub;
        PackRun(pkey, pub);
        std::vector<Bytes> keys = pemBlocks(pub.strOutput, "PUBLIC KEY");
        if (pub.iExitCode != 0 || keys.empty() || spkiOf(certs[0]).empty())
        {
            strError = strWhere + ": its key or certificate cannot be read (" + firstLine(pub.strOutput) + ")";
            return false;
        }
        keySpki = keys[0];
        PackRunResult chain;
        PackRun(with({"-cacerts", "-nokeys"}), chain);
        if (chain.iExitCode == 0)
            for (Bytes &ab : pemBlocks(chain.strOutput, "CERTIFICATE"))
                certs.push_back(ab);
        return true;
    }
    if (!signing.strPasswordFile.empty())
        strError = strWhere + ": cannot be opened with the password in " + signing.strPasswordFile +
                   " (wrong password, or not a PKCS#12 file: " + strErr + ")";
    else
        strError = strWhere +
                   ": cannot be opened without a password (give SIGN_PASSWORD_FILE, or it is not a "
                   "PKCS#12 file: " +
                   strErr + ")";
    return false;
}

/* ---- the signing command ---- */

/* Splits a command line by POSIX shell rules (quotes, backslashes), as
   the build has always read it; no shell runs it. */
bool shellSplit(const std::string &strLine, std::vector<std::string> &argv, std::string &strError)
{
    argv.clear();
    std::string strWord;
    bool fInWord = false;
    for (size_t i = 0; i < strLine.size(); i++)
    {
        char ch = strLine[i];
        if (ch == ' ' || ch == '\t' || ch == '\n' || ch == '\r')
        {
            if (fInWord)
                argv.push_back(strWord);
            strWord.clear();
            fInWord = false;
            continue;
        }
        fInWord = true;
        if (ch == '\\')
        {
            if (++i == strLine.size())
            {
                strError = "No escaped character";
                return false;
            }
            strWord += strLine[i];
        }
        else if (ch == '\'' || ch == '"')
        {
            size_t j = i + 1;
            for (; j < strLine.size() && strLine[j] != ch; j++)
            {
                // Inside double quotes a backslash escapes only these.
                if (ch == '"' && strLine[j] == '\\' && j + 1 < strLine.size() && strchr("\\\"$`\n", strLine[j + 1]))
                    j++;
                strWord += strLine[j];
            }
            if (j == strLine.size())
            {
                strError = "No closing quotation";
                return false;
            }
            i = j;
        }
        else
            strWord += ch;
    }
    if (fInWord)
        argv.push_back(strWord);
    return true;
}

/* Calls fn(name, offset, length) for each "{name}" in an argument (name of
   word characters, maybe empty); fn returns false to stop. */
template <typename Fn> bool forEachPlaceholder(const std::string &strArg, Fn fn)
{
    for (size_t off = strArg.find('{'); off != std::string::npos; off = strArg.find('{', off + 1))
    {
        size_t offEnd = off + 1;
        while (offEnd < strArg.size() && (isalnum((unsigned char)strArg[offEnd]) || strArg[offEnd] == '_'))
            offEnd++;
        if (offEnd < strArg.size() && strArg[offEnd] == '}' &&
            !fn(strArg.substr(off + 1, offEnd - off - 1), off, offEnd + 1 - off))
            return false;
    }
    return true;
}

const std::string *placeholderOption(const PackSigning &signing, const std::string &strName)
{
    return strName == "description"     ? &signing.strDescription
           : strName == "url"           ? &signing.strUrl
           : strName == "timestamp_url" ? &signing.strTimestampUrl
                                        : nullptr;
}

/* The signing command's arguments with their placeholders, checked: each
   one known and given, each option used; fHasOut when it takes {out}. */
bool templateArguments(const PackSigning &signing, std::vector<std::string> &argv, bool &fHasOut, std::string &strError)
{
    const std::string strWhere = std::string(g_szCommandLabel) + " " + quoteRepr(signing.strCommand);
    std::string strSplitError;
    if (!shellSplit(signing.strCommand, argv, strSplitError))
    {
        strError = strWhere + ": " + strSplitError;
        return false;
    }
    std::vector<std::string> used;
    for (const std::string &strArg : argv)
        if (!forEachPlaceholder(strArg, [&](const std::string &strName, size_t, size_t) {
                for (const char *psz : g_apszPlaceholders)
                    if (strName == psz)
                    {
                        used.push_back(strName);
                        return true;
                    }
                strError = strWhere + ": unknown placeholder {" + strName + "}; the placeholders are ";
                for (const char *psz : g_apszPlaceholders)
                    strError += std::string(psz == g_apszPlaceholders[0] ? "" : ", ") + "{" + psz + "}";
                return false;
            }))
            return false;
    auto isUsed = [&used](const char *pszName) {
        for (const std::string &str : used)
            if (str == pszName)
                return true;
        return false;
    };
    if (argv.empty() || !isUsed("in"))
    {
        strError = strWhere + ": names no file to sign ({in})";
        return false;
    }
    // The description has a default, which a command may leave out; a link
    // or a time-stamp server given is never left out unnoticed.
    static const struct
    {
        const char *pszName, *pszOption;
        bool fNeeded;
    } s_aRules[] = {{"url", "SIGN_URL", true},
                    {"timestamp_url", "TIMESTAMP_URL", true},
                    {"description", "SIGN_DESCRIPTION", false}};
    for (const auto &rule : s_aRules)
    {
        bool fGiven = !placeholderOption(signing, rule.pszName)->empty();
        if (isUsed(rule.pszName) && !fGiven)
        {
            strError = strWhere + ": uses {" + rule.pszName + "}, but no " + rule.pszOption + " is given";
            return false;
        }
        if (rule.fNeeded && fGiven && !isUsed(rule.pszName))
        {
            strError = strWhere + ": " + rule.pszOption + " is given, but the command takes no {" + rule.pszName + "}";
            return false;
        }
    }
    fHasOut = isUsed("out");
    return true;
}

/* The option combination add_stub_installer has always enforced, in the
   packer's option names. */
bool checkCombination(const PackSigning &signing, std::string &strError)
{
    if (!signing.strCommand.empty())
    {
        if (!signing.strPkcs12.empty() || !signing.strKey.empty() || !signing.strPasswordFile.empty() ||
            signing.strCert.empty())
        {
            strError = "--sign-command takes --sign-cert, the certificate it signs with, and no --sign-pkcs12, "
                       "--sign-key or --sign-password-file (the command has the key)";
            return false;
        }
    }
    else if (!signing.strPkcs12.empty() && (!signing.strKey.empty() || !signing.strCert.empty()))
    {
        strError = "give --sign-pkcs12 or --sign-key with --sign-cert, not both";
        return false;
    }
    else if (signing.strPkcs12.empty() && signing.strKey.empty() != signing.strCert.empty())
    {
        strError = "--sign-key and --sign-cert go together";
        return false;
    }
    else if (!signing.isEnabled() &&
             (!signing.strPasswordFile.empty() || !signing.strTimestampUrl.empty() || signing.fSignPackages ||
              !signing.strDescription.empty() || !signing.strUrl.empty()))
    {
        strError = "--sign-password-file, --sign-description, --sign-url, --timestamp-url and --sign-packages "
                   "need a key (--sign-pkcs12, --sign-key with --sign-cert, or --sign-command with --sign-cert)";
        return false;
    }
    return true;
}

} // namespace

bool PackSignCheck(const PackSigning &signing, std::vector<Bytes> &signerDers, std::string &strError)
{
    signerDers.clear();
    if (!checkCombination(signing, strError))
        return false;
    if (!signing.isEnabled())
        return true;
    std::string strData;
    if (!signing.strPasswordFile.empty())
    {
        // openssl and osslsigncode take the first line of the file; with no
        // line at all they only say "Error reading password from BIO". (An
        // empty first line is an empty password, which a key may have.)
        if (!checkFile(g_szPasswordLabel, signing.strPasswordFile, strData, strError))
            return false;
        if (strData.empty())
        {
            strError = std::string(g_szPasswordLabel) + " " + signing.strPasswordFile +
                       ": the file is empty; write the key's password into it";
            return false;
        }
    }
    std::vector<Bytes> certs;
    if (!signing.strCommand.empty())
    {
        std::vector<std::string> argv;
        bool fHasOut;
        if (!templateArguments(signing, argv, fHasOut, strError) ||
            !checkFile(g_szCertLabel, signing.strCert, strData, strError) ||
            !certificatesOf(g_szCertLabel, signing.strCert, strData, certs, strError))
            return false;
        signerDers = certs;
        return true;
    }
    if (PackFindProgram(g_szOsslsigncode).empty())
    {
        strError = "osslsigncode is not installed; on a host without it, sign with --sign-command";
        return false;
    }
    Bytes keySpki;
    std::string strWhere;
    if (!signing.strPkcs12.empty())
    {
        if (!pkcs12Parts(signing, keySpki, certs, strError))
            return false;
        strWhere = std::string(g_szPkcs12Label) + " " + signing.strPkcs12;
    }
    else
    {
        if (!checkFile(g_szKeyLabel, signing.strKey, strData, strError) ||
            !publicKeyOfKey(signing, strData, keySpki, strError) ||
            !checkFile(g_szCertLabel, signing.strCert, strData, strError) ||
            !certificatesOf(g_szCertLabel, signing.strCert, strData, certs, strError))
            return false;
        strWhere = std::string(g_szKeyLabel) + " " + signing.strKey;
    }
    if (keySpki != spkiOf(certs[0]))
    {
        strError = strWhere + ": the key does not belong to the certificate in " +
                   (signing.strPkcs12.empty() ? signing.strCert : signing.strPkcs12);
        return false;
    }
    signerDers = certs;
    return true;
}

/* ---- verification by structure ---- */

namespace
{

uint32_t readU32(const uint8_t *pb)
{
    return uint32_t(pb[0]) | uint32_t(pb[1]) << 8 | uint32_t(pb[2]) << 16 | uint32_t(pb[3]) << 24;
}
uint16_t readU16(const uint8_t *pb)
{
    return uint16_t(pb[0] | pb[1] << 8);
}

/* Where the Authenticode hash skips: the checksum, the certificate table's
   directory entry and the table itself (which must end the file). */
struct PeSignedLayout
{
    uint64_t offChecksum = 0, offCertDir = 0, offCertTable = 0, cbCertTable = 0;
};

bool peLayout(FILE *pFile, uint64_t cbFile, PeSignedLayout &layout, std::string &strReason)
{
    uint8_t abHdr[4096];
    size_t cbHdr = fread(abHdr, 1, sizeof(abHdr), pFile);
    strReason = "not a PE image";
    if (cbHdr < 0x40 || abHdr[0] != 'M' || abHdr[1] != 'Z')
        return false;
    uint32_t offPe = readU32(abHdr + 0x3c);
    if (offPe > cbHdr - 24 || memcmp(abHdr + offPe, "PE\0\0", 4) != 0)
        return false;
    uint32_t offOpt = offPe + 24, cbOpt = readU16(abHdr + offPe + 20);
    if (cbOpt < 2 || offOpt + cbOpt > cbHdr)
        return false;
    uint16_t uMagic = readU16(abHdr + offOpt);
    uint32_t offCount = uMagic == 0x10b ? 92 : uMagic == 0x20b ? 108 : 0;
    if (offCount == 0 || offCount + 4 + 5 * 8 > cbOpt || readU32(abHdr + offOpt + offCount) < 5)
        return false;
    layout.offChecksum = offOpt + 64;
    layout.offCertDir = offOpt + offCount + 4 + 4 * 8;
    layout.offCertTable = readU32(abHdr + layout.offCertDir);
    layout.cbCertTable = readU32(abHdr + layout.offCertDir + 4);
    if (layout.cbCertTable == 0)
    {
        strReason = "no signature";
        return false;
    }
    if (layout.offCertTable < layout.offCertDir + 8 || layout.offCertTable + layout.cbCertTable != cbFile)
    {
        strReason = "its certificate table does not end the file";
        return false;
    }
    return true;
}

/* The Authenticode SHA-256 of the file and its certificate table, read in
   one pass from the start (no seeks: a C long cannot reach past 2 GiB on
   Windows, and a launcher's payload may). */
bool peHashAndTable(FILE *pFile, const PeSignedLayout &layout, uint8_t abDigest[32], Bytes &table)
{
    const uint64_t aSkips[2][2] = {{layout.offChecksum, layout.offChecksum + 4},
                                   {layout.offCertDir, layout.offCertDir + 8}};
    PackSha256 sha;
    Bytes abBuf(65536);
    rewind(pFile);
    for (uint64_t off = 0; off < layout.offCertTable;)
    {
        uint64_t cbWant = layout.offCertTable - off < abBuf.size() ? layout.offCertTable - off : abBuf.size();
        size_t cb = fread(abBuf.data(), 1, size_t(cbWant), pFile);
        if (cb == 0)
            return false;
        /* Hash the chunk around the fields the signature leaves out. */
        uint64_t offHash = off, offEnd = off + cb;
        for (const auto &skip : aSkips)
        {
            if (skip[1] <= offHash || skip[0] >= offEnd)
                continue;
            if (skip[0] > offHash)
                sha.Update(abBuf.data() + (offHash - off), size_t(skip[0] - offHash));
            offHash = skip[1] < offEnd ? skip[1] : offEnd;
        }
        if (offHash < offEnd)
            sha.Update(abBuf.data() + (offHash - off), size_t(offEnd - offHash));
        off = offEnd;
    }
    sha.Final(abDigest);
    table.resize(size_t(layout.cbCertTable));
    return fread(table.data(), 1, table.size(), pFile) == table.size();
}

/* Checks a PKCS#7 SignedData of Authenticode against the signing
   certificate and the file's hash; strReason says what is wrong. */
bool checkSignedData(const uint8_t *pb, size_t cb, const Bytes &signer, const uint8_t abFileHash[32],
                     std::string &strReason)
{
    PackX509 cert;
    if (!PackX509Parse(signer.data(), signer.size(), cert))
    {
        strReason = "the signing certificate cannot be read";
        return false;
    }
    strReason = "the signature is not an Authenticode PKCS#7 structure";
    PackDerTlv ci, oid, explicitSd, sd, tlv, contentInfo, contentOid, explicitSpc, spc, spcData, digestInfo, digestAlg,
        digestAlgOid, digest, certs, signerInfos;
    if (!PackDerExpect(pb, cb, PACK_DER_SEQUENCE, ci))
        return false;
    PackDerCursor rCi(ci);
    if (!rCi.NextIf(PACK_DER_OID, oid) || !isOid(oid, "1.2.840.113549.1.7.2") ||
        !rCi.NextIf(PACK_DER_CONTEXT_0, explicitSd))
        return false;
    PackDerCursor rExplicit(explicitSd);
    if (!rExplicit.NextIf(PACK_DER_SEQUENCE, sd))
        return false;
    PackDerCursor rSd(sd);
    if (!rSd.NextIf(PACK_DER_INTEGER, tlv) || !rSd.NextIf(PACK_DER_SET, tlv) ||
        !rSd.NextIf(PACK_DER_SEQUENCE, contentInfo))
        return false;
    PackDerCursor rContent(contentInfo);
    if (!rContent.NextIf(PACK_DER_OID, contentOid) || !isOid(contentOid, "1.3.6.1.4.1.311.2.1.4") ||
        !rContent.NextIf(PACK_DER_CONTEXT_0, explicitSpc))
        return false;
    PackDerCursor rExplicitSpc(explicitSpc);
    if (!rExplicitSpc.NextIf(PACK_DER_SEQUENCE, spc))
        return false;
    PackDerCursor rSpc(spc);
    if (!rSpc.NextIf(PACK_DER_SEQUENCE, spcData) || !rSpc.NextIf(PACK_DER_SEQUENCE, digestInfo))
        return false;
    PackDerCursor rDigestInfo(digestInfo);
    if (!rDigestInfo.NextIf(PACK_DER_SEQUENCE, digestAlg) || !rDigestInfo.NextIf(PACK_DER_OCTET_STRING, digest))
        return false;
    PackDerCursor rDigestAlg(digestAlg);
    if (!rDigestAlg.NextIf(PACK_DER_OID, digestAlgOid) || !isOid(digestAlgOid, "2.16.840.1.101.3.4.2.1"))
    {
        strReason = "its file hash is not SHA-256";
        return false;
    }
    if (!sameBytes(digest.pbContent, digest.cbContent, abFileHash, 32))
    {
        strReason = "the file's hash does not match the hash its signature holds (the file was changed after "
                    "signing)";
        return false;
    }
    bool fCertFound = false;
    if (rSd.NextIf(PACK_DER_CONTEXT_0, certs))
    {
        PackDerCursor rCerts(certs);
        while (!fCertFound && rCerts.NextIf(PACK_DER_SEQUENCE, tlv))
            fCertFound = sameBytes(wholeOf(tlv), tlv.cbTotal, signer.data(), signer.size());
    }
    (void)rSd.NextIf(PACK_DER_CONTEXT_1, tlv); /* revocation lists, not used */
    if (!rSd.NextIf(PACK_DER_SET, signerInfos))
        return false;
    PackDerCursor rSigners(signerInfos);
    PackDerTlv signerInfo, issuerSerial, issuer, serial, attrs;
    if (!rSigners.NextIf(PACK_DER_SEQUENCE, signerInfo) || !rSigners.AtEnd())
    {
        strReason = "the signature has not exactly one signer";
        return false;
    }
    PackDerCursor rSigner(signerInfo);
    if (!rSigner.NextIf(PACK_DER_INTEGER, tlv) || !rSigner.NextIf(PACK_DER_SEQUENCE, issuerSerial) ||
        !rSigner.NextIf(PACK_DER_SEQUENCE, tlv) || !rSigner.NextIf(PACK_DER_CONTEXT_0, attrs))
        return false;
    PackDerCursor rIssuerSerial(issuerSerial);
    if (!rIssuerSerial.NextIf(PACK_DER_SEQUENCE, issuer) || !rIssuerSerial.NextIf(PACK_DER_INTEGER, serial))
        return false;
    if (!fCertFound || !sameElement(issuer, cert.Issuer) || !sameElement(serial, cert.Serial))
    {
        strReason = "it is signed with another certificate than the signing certificate";
        return false;
    }
    // The signed attributes' message digest covers the indirect data's
    // content (without its own tag and length): it ties what the signature
    // value signs to the file hash checked above.
    uint8_t abSpcHash[32];
    PackSha256 sha;
    sha.Update(spc.pbContent, spc.cbContent);
    sha.Final(abSpcHash);
    PackDerCursor rAttrs(attrs);
    PackDerTlv attr;
    while (rAttrs.NextIf(PACK_DER_SEQUENCE, attr))
    {
        PackDerCursor rAttr(attr);
        PackDerTlv attrOid, values, value;
        if (rAttr.NextIf(PACK_DER_OID, attrOid) && isOid(attrOid, "1.2.840.113549.1.9.4") &&
            rAttr.NextIf(PACK_DER_SET, values))
        {
            PackDerCursor rValues(values);
            if (rValues.NextIf(PACK_DER_OCTET_STRING, value) &&
                sameBytes(value.pbContent, value.cbContent, abSpcHash, 32))
                return true;
            strReason = "its signed attributes do not match its file hash";
            return false;
        }
    }
    strReason = "its signed attributes hold no message digest";
    return false;
}

} // namespace

bool PackSignVerifyStructure(const std::vector<Bytes> &signerDers, const std::string &strFile, std::string &strReason)
{
    uint64_t cbFile = 0;
    if (signerDers.empty())
    {
        strReason = "no signing certificate to verify with";
        return false;
    }
    if (PackPathQuery(strFile, &cbFile) != PACK_PATH_FILE)
    {
        strReason = "no signed file";
        return false;
    }
    FILE *pFile = PackOpen(strFile, "rb");
    if (!pFile)
    {
        strReason = std::string("cannot be read (") + strerror(errno) + ")";
        return false;
    }
    PeSignedLayout layout;
    uint8_t abHash[32];
    bool fOk = peLayout(pFile, cbFile, layout, strReason);
    Bytes table;
    if (fOk)
    {
        // A signature with its chain is a few KiB; a table of megabytes is
        // no signature this packer's signers make.
        fOk = layout.cbCertTable >= 8 && layout.cbCertTable <= (16u << 20);
        strReason = "its certificate table has no valid size";
    }
    if (fOk)
    {
        fOk = peHashAndTable(pFile, layout, abHash, table);
        strReason = "cannot be read";
    }
    fclose(pFile);
    if (!fOk)
        return false;
    // WIN_CERTIFICATE: length, revision 2.0, type PKCS#7 SignedData.
    uint32_t cbEntry = readU32(table.data());
    if (cbEntry < 8 || cbEntry > table.size() || readU16(table.data() + 4) != 0x0200 ||
        readU16(table.data() + 6) != 0x0002)
    {
        strReason = "its certificate table holds no Authenticode signature";
        return false;
    }
    return checkSignedData(table.data() + 8, cbEntry - 8, signerDers[0], abHash, strReason);
}

/* ---- signing ---- */

namespace
{

bool copyFile(const std::string &strFrom, const std::string &strTo)
{
    FILE *pIn = PackOpen(strFrom, "rb");
    if (!pIn)
        return false;
    FILE *pOut = PackOpen(strTo, "wb");
    bool fOk = pOut != nullptr;
    char ab[65536];
    size_t cb;
    while (fOk && (cb = fread(ab, 1, sizeof(ab), pIn)) > 0)
        fOk = fwrite(ab, 1, cb, pOut) == cb;
    fOk = fOk && !ferror(pIn);
    fclose(pIn);
    return pOut && fclose(pOut) == 0 && fOk;
}

std::string pemOf(const Bytes &der)
{
    static const char s_szDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string strOut = "-----BEGIN CERTIFICATE-----\n";
    for (size_t i = 0; i < der.size(); i += 3)
    {
        uint32_t u =
            uint32_t(der[i]) << 16 | (i + 1 < der.size() ? der[i + 1] << 8 : 0) | (i + 2 < der.size() ? der[i + 2] : 0);
        for (size_t j = 0; j < 4; j++)
            strOut += i + j <= der.size() ? s_szDigits[(u >> (18 - 6 * j)) & 63] : '=';
        if ((i / 3) % 16 == 15 || i + 3 >= der.size())
            strOut += '\n';
    }
    return strOut + "-----END CERTIFICATE-----\n";
}

std::string hexOf(const uint8_t *pb, size_t cb)
{
    static const char s_szHex[] = "0123456789abcdef";
    std::string str;
    for (size_t i = 0; i < cb; i++)
        str += std::string{s_szHex[pb[i] >> 4], s_szHex[pb[i] & 15]};
    return str;
}

bool signingTime(std::vector<std::string> &argv, std::string &strError)
{
    std::string strValue;
    if (!PackGetEnv("SOURCE_DATE_EPOCH", strValue))
        return true;
    if (strValue.empty() || strValue.find_first_not_of("0123456789") != std::string::npos)
    {
        strError = "SOURCE_DATE_EPOCH " + quoteRepr(strValue) + " is not a number of seconds";
        return false;
    }
    argv.insert(argv.end(), {"-time", strValue});
    return true;
}

bool signBuiltin(const PackSigning &signing, const std::string &strSource, const std::string &strSigned,
                 std::string &strError)
{
    std::vector<std::string> argv = {g_szOsslsigncode, "sign", "-h", "sha256"};
    if (!signing.strPkcs12.empty())
        argv.insert(argv.end(), {"-pkcs12", signing.strPkcs12});
    else
        argv.insert(argv.end(), {"-certs", signing.strCert, "-key", signing.strKey});
    if (!signing.strPasswordFile.empty())
        argv.insert(argv.end(), {"-readpass", signing.strPasswordFile});
    if (!signing.strDescription.empty())
        argv.insert(argv.end(), {"-n", signing.strDescription});
    if (!signing.strUrl.empty())
        argv.insert(argv.end(), {"-i", signing.strUrl});
    if (!signing.strTimestampUrl.empty())
        argv.insert(argv.end(), {"-ts", signing.strTimestampUrl});
    if (!signingTime(argv, strError))
        return false;
    argv.insert(argv.end(), {"-in", strSource, "-out", strSigned});
    PackRunResult result;
    PackRun(argv, result);
    if (!result.fStarted)
    {
        strError = "signing " + strSource + ": " + argv[0] + " cannot be run (" + result.strStartError + ")";
        return false;
    }
    if (result.iExitCode != 0)
    {
        std::string strWhat =
            signing.strTimestampUrl.empty() ? "" : " or time-stamping through " + signing.strTimestampUrl;
        strError = "signing" + strWhat + " " + strSource + " failed:\n    " + indentedOutput(result.strOutput);
        return false;
    }
    return true;
}

/* Runs the signer's command on strSource; the signed file ends up in
   strSigned. The command's own output is passed on when it fails. */
bool signCommand(const PackSigning &signing, const std::string &strSource, const std::string &strSigned,
                 std::string &strError)
{
    std::vector<std::string> argv;
    bool fHasOut;
    if (!templateArguments(signing, argv, fHasOut, strError))
        return false;
    // Without {out} the command signs in place: a scratch copy.
    const std::string &strIn = fHasOut ? strSource : strSigned;
    if (!fHasOut && !copyFile(strSource, strSigned))
    {
        strError = "signing " + strSource + " with SIGN_COMMAND: cannot copy it to " + strSigned + " (" +
                   strerror(errno) + ")";
        return false;
    }
    for (std::string &strArg : argv)
    {
        std::string strNew;
        size_t offDone = 0;
        (void)forEachPlaceholder(strArg, [&](const std::string &strName, size_t off, size_t cb) {
            const std::string *pstrValue = placeholderOption(signing, strName);
            strNew += strArg.substr(offDone, off - offDone);
            strNew += pstrValue ? *pstrValue : strName == "in" ? strIn : strSigned;
            offDone = off + cb;
            return true;
        });
        strArg = strNew + strArg.substr(offDone);
    }
    PackRunResult result;
    PackRun(argv, result);
    if (!result.fStarted)
    {
        strError =
            "signing " + strSource + " with SIGN_COMMAND: " + argv[0] + " cannot be run (" + result.strStartError + ")";
        return false;
    }
    if (result.iExitCode != 0)
    {
        std::string strLine;
        for (const std::string &strArg : argv)
            strLine += (strLine.empty() ? "" : " ") + quoteShell(strArg);
        strError = "signing " + strSource + " with SIGN_COMMAND failed (exit code " + std::to_string(result.iExitCode) +
                   "):\n    " + strLine + "\n    " + indentedOutput(result.strOutput);
        return false;
    }
    if (PackPathQuery(strSigned) != PACK_PATH_FILE)
    {
        strError = "signing " + strSource + " with SIGN_COMMAND wrote no signed file " + strSigned;
        return false;
    }
    return true;
}

/* osslsigncode's verdict: the signature verifies, its signer is the signing
   certificate, and its chain ends at that certificate's own chain or a root
   of the system's store (the time-stamp is the authority's and is not
   checked here). */
bool verifyOsslsigncode(const std::vector<Bytes> &certs, const std::string &strSigned, std::string &strReason)
{
    std::string strAnchors;
    for (const Bytes &cert : certs)
        strAnchors += pemOf(cert);
    for (const char *pszRoots : g_apszSystemRoots)
    {
        std::string strRoots;
        if (PackPathQuery(pszRoots) == PACK_PATH_FILE && readWhole(pszRoots, strRoots))
        {
            strAnchors += strRoots;
            break;
        }
    }
    const std::string strAnchorFile = strSigned + ".anchors.pem";
    if (!writeWhole(strAnchorFile, strAnchors))
    {
        strReason = "cannot write " + strAnchorFile + " (" + strerror(errno) + ")";
        (void)PackRemove(strAnchorFile);
        return false;
    }
    uint8_t abLeaf[32];
    PackSha256 sha;
    sha.Update(certs[0].data(), certs[0].size());
    sha.Final(abLeaf);
    PackRunResult result;
    PackRun({g_szOsslsigncode, "verify", "-CAfile", strAnchorFile, "-ignore-timestamp", "-ignore-cdp",
             "-require-leaf-hash", "sha256:" + hexOf(abLeaf, sizeof(abLeaf)), "-in", strSigned},
            result);
    (void)PackRemove(strAnchorFile); /* public certificates only; a leftover does no harm */
    if (result.fStarted && result.iExitCode == 0 &&
        result.strOutput.find("Signature verification: ok") != std::string::npos)
        return true;
    std::vector<std::string> lines, reasons;
    bool fOtherLeaf = false;
    for (size_t off = 0; off < result.strOutput.size();)
    {
        size_t offEnd = result.strOutput.find('\n', off);
        if (offEnd == std::string::npos)
            offEnd = result.strOutput.size();
        std::string strLine = result.strOutput.substr(off, offEnd - off);
        off = offEnd + 1;
        size_t offStart = strLine.find_first_not_of(" \t\r"), offLast = strLine.find_last_not_of(" \t\r");
        strLine = offStart == std::string::npos ? "" : strLine.substr(offStart, offLast + 1 - offStart);
        lines.push_back(strLine);
        fOtherLeaf |= strLine == "Leaf hash match: failed";
        // osslsigncode says "MISMATCH!!!" beside a digest that differs.
        std::string strLower = strLine;
        for (char &ch : strLower)
            ch = char(tolower((unsigned char)ch));
        for (const char *pszWord : {"no signature", "mismatch", "failed", "error"})
            if (strLower.find(pszWord) != std::string::npos)
            {
                reasons.push_back(strLine);
                break;
            }
    }
    if (!result.fStarted)
        reasons.push_back("osslsigncode cannot be run (" + result.strStartError + ")");
    if (fOtherLeaf)
        reasons.insert(reasons.begin(), "it is signed with another certificate than the signing certificate");
    if (reasons.empty())
        reasons.assign(lines.size() > 3 ? lines.end() - 3 : lines.begin(), lines.end());
    strReason.clear();
    for (const std::string &str : reasons)
        strReason += (strReason.empty() ? "" : "\n    ") + str;
    return false;
}

bool isPeFile(const std::string &strPath)
{
    char ab[2] = {};
    FILE *pFile = PackOpen(strPath, "rb");
    bool fPe = pFile && fread(ab, 1, 2, pFile) == 2 && ab[0] == 'M' && ab[1] == 'Z';
    if (pFile)
        fclose(pFile);
    return fPe;
}

} // namespace

bool PackSignFile(const PackSigning &signing, const std::vector<Bytes> &signerDers, const std::string &strIn,
                  const std::string &strOut, std::string &strError)
{
    const std::string strSigned = strOut + ".signing";
    // osslsigncode refuses to write over an existing file.
    (void)PackRemove(strSigned);
    bool fOk = !signerDers.empty();
    if (!fOk)
        strError = "signing " + strIn + ": no signing certificate was checked";
    if (fOk)
        fOk = signing.strCommand.empty() ? signBuiltin(signing, strIn, strSigned, strError)
                                         : signCommand(signing, strIn, strSigned, strError);
    if (fOk)
    {
        std::string strReason;
        if (!PackFindProgram(g_szOsslsigncode).empty())
            fOk = verifyOsslsigncode(signerDers, strSigned, strReason);
        else if (!isPeFile(strIn))
        {
            fOk = false;
            strReason = "a signed Windows Installer package is verified by osslsigncode, which is not installed";
        }
        else
            fOk = PackSignVerifyStructure(signerDers, strSigned, strReason);
        if (!fOk)
            strError = "signing " + strIn + " gave no valid signature of the signing certificate:\n    " + strReason;
    }
    std::string strRenameError;
    if (fOk && !PackRename(strSigned, strOut, &strRenameError))
    {
        fOk = false;
        strError = "cannot rename " + strSigned + " to " + strOut + ": " + strRenameError;
    }
    // An earlier signed copy must not stay in place of one that failed.
    if (!fOk)
    {
        (void)PackRemove(strSigned);
        (void)PackRemove(strOut);
    }
    return fOk;
}

namespace
{

/* A JSON string (ASCII only, as Python writes it). */
std::string jsonString(const std::string &str)
{
    std::string strOut = "\"";
    char sz[16];
    for (size_t i = 0; i < str.size();)
    {
        unsigned char ch = (unsigned char)str[i];
        uint32_t uCp = ch;
        size_t cb = 1;
        if (ch >= 0xf0 && i + 3 < str.size())
            uCp = (ch & 7) << 18 | (str[i + 1] & 0x3f) << 12 | (str[i + 2] & 0x3f) << 6 | (str[i + 3] & 0x3f), cb = 4;
        else if (ch >= 0xe0 && i + 2 < str.size())
            uCp = (ch & 15) << 12 | (str[i + 1] & 0x3f) << 6 | (str[i + 2] & 0x3f), cb = 3;
        else if (ch >= 0xc0 && i + 1 < str.size())
            uCp = (ch & 31) << 6 | (str[i + 1] & 0x3f), cb = 2;
        i += cb;
        if (uCp == '"' || uCp == '\\')
            strOut += '\\', strOut += char(uCp);
        else if (uCp == '\n')
            strOut += "\\n";
        else if (uCp == '\r')
            strOut += "\\r";
        else if (uCp == '\t')
            strOut += "\\t";
        else if (uCp == '\b')
            strOut += "\\b";
        else if (uCp == '\f')
            strOut += "\\f";
        else if (uCp >= 0x20 && uCp < 0x7f)
            strOut += char(uCp);
        else if (uCp >= 0x10000)
        {
            snprintf(sz, sizeof(sz), "\\u%04x\\u%04x", 0xd800 + ((uCp - 0x10000) >> 10),
                     0xdc00 + ((uCp - 0x10000) & 0x3ff));
            strOut += sz;
        }
        else
        {
            snprintf(sz, sizeof(sz), "\\u%04x", uCp);
            strOut += sz;
        }
    }
    return strOut + "\"";
}

} // namespace

std::string PackSignOptionsRecord(const PackSigning &signing)
{
    // The options by name in sorted order, then SOURCE_DATE_EPOCH: the text
    // the build's stamp files have always held.
    std::string strEpoch;
    bool fEpoch = PackGetEnv("SOURCE_DATE_EPOCH", strEpoch);
    const struct
    {
        const char *pszName;
        const std::string *pstrValue;
        bool fGiven;
    } aFields[] = {
        {"cert", &signing.strCert, !signing.strCert.empty()},
        {"command", &signing.strCommand, !signing.strCommand.empty()},
        {"description", &signing.strDescription, !signing.strDescription.empty()},
        {"key", &signing.strKey, !signing.strKey.empty()},
        {"password_file", &signing.strPasswordFile, !signing.strPasswordFile.empty()},
        {"pkcs12", &signing.strPkcs12, !signing.strPkcs12.empty()},
        {"timestamp_url", &signing.strTimestampUrl, !signing.strTimestampUrl.empty()},
        {"url", &signing.strUrl, !signing.strUrl.empty()},
        {"SOURCE_DATE_EPOCH", &strEpoch, fEpoch},
    };
    std::string strOut = "{";
    for (const auto &field : aFields)
        strOut += std::string(field.pszName == aFields[0].pszName ? "\n" : ",\n") + " \"" + field.pszName +
                  "\": " + (field.fGiven ? jsonString(*field.pstrValue) : "null");
    return strOut + "\n}\n";
}
