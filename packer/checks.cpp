/** @file
 * The packer's input checks: packages, certificates, the splash picture and
 * the identity values.
 */
#include "checks.h"

#include <cstring>
#include <memory>

#include "der.h"
#include "msi.h"
#include "os.h"

namespace
{

const uint8_t g_abCfbSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
const uint8_t g_abCabSignature[4] = {'M', 'S', 'C', 'F'};
const uint8_t g_abPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

/** The manifest's count is one byte. */
constexpr size_t MAX_PACKAGES = 255;
/** A header's fields, terminator included. */
constexpr size_t RESOURCE_NAME_FIELD = 28;
constexpr size_t FILE_NAME_FIELD = 224;
constexpr size_t HEADER_SIZE = 4 + RESOURCE_NAME_FIELD + FILE_NAME_FIELD;
/** Larger "certificates" are some other file: no reason to read them whole. */
constexpr uint64_t MAX_CERTIFICATE_FILE = 1 << 20;
/** A signed package's signature: its certificates and the signature itself. */
constexpr size_t MAX_SIGNATURE_STREAM = 4 << 20;

const char *const g_apszArchNames[] = {nullptr, "all", "x86", "x86-64", "ARM64"};

/** The summary information's Template platforms (before the ";"), compared
 *  without case as the Windows Installer does; an empty one means Intel. */
const struct
{
    const char *pszPlatform;
    unsigned uArch;
} g_aTemplateArch[] = {{"", 2}, {"intel", 2}, {"x64", 3}, {"amd64", 3}, {"arm64", 4}};

/** Closes a FILE when it goes out of scope. */
struct FileCloser
{
    void operator()(FILE *pFile) const
    {
        fclose(pFile);
    }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

std::string ArchText(unsigned uArch)
{
    return std::to_string(uArch) + " (" + g_apszArchNames[uArch] + ")";
}

/** Decodes one UTF-8 sequence at str[off]; false (uc the byte) when malformed. */
bool DecodeUtf8(const std::string &str, size_t &off, uint32_t &uc)
{
    uint8_t b = uint8_t(str[off]);
    unsigned cb = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
    uc = b;
    if (cb == 0 || str.size() - off < cb)
    {
        off++;
        return false;
    }
    uint32_t ucValue = cb == 1 ? b : b & (0x7F >> cb);
    for (unsigned i = 1; i < cb; i++)
    {
        uint8_t bNext = uint8_t(str[off + i]);
        if ((bNext & 0xC0) != 0x80)
        {
            off++;
            return false;
        }
        ucValue = (ucValue << 6) | (bNext & 0x3F);
    }
    static const uint32_t s_auMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (ucValue < s_auMin[cb] || ucValue > 0x10FFFF || (ucValue >= 0xD800 && ucValue <= 0xDFFF))
    {
        off++;
        return false;
    }
    off += cb;
    uc = ucValue;
    return true;
}

/** A text the way a Python repr() shows it: in single quotes (double ones
 *  when it holds a single quote and no double one), backslashes, that quote
 *  and unprintable characters escaped. */
std::string Repr(const std::string &str)
{
    char chQuote = str.find('\'') != std::string::npos && str.find('"') == std::string::npos ? '"' : '\'';
    std::string strOut(1, chQuote);
    char szEscape[16];
    for (size_t off = 0; off < str.size();)
    {
        size_t offStart = off;
        uint32_t uc;
        bool fValid = DecodeUtf8(str, off, uc);
        if (!fValid)
        {
            snprintf(szEscape, sizeof(szEscape), "\\x%02x", unsigned(uc));
            strOut += szEscape;
        }
        else if (uc == '\\' || uc == uint32_t(chQuote))
        {
            strOut += '\\';
            strOut += char(uc);
        }
        else if (uc == '\t')
            strOut += "\\t";
        else if (uc == '\n')
            strOut += "\\n";
        else if (uc == '\r')
            strOut += "\\r";
        else if (uc < 0x20 || (uc >= 0x7F && uc <= 0xA0) || uc == 0xAD)
        {
            snprintf(szEscape, sizeof(szEscape), "\\x%02x", unsigned(uc));
            strOut += szEscape;
        }
        else
            strOut.append(str, offStart, off - offStart);
    }
    return strOut + chQuote;
}

/** Refuses a path that names no readable regular file; opens it. */
bool OpenInput(const std::string &strLabel, const std::string &strPath, FilePtr &file, uint64_t &cbSize,
               std::string &strError)
{
    PackPathKind kind = PackPathQuery(strPath, &cbSize);
    if (kind == PACK_PATH_NONE)
    {
        strError = strLabel + ": no such file";
        return false;
    }
    if (kind != PACK_PATH_FILE)
    {
        strError = strLabel + ": not a regular file";
        return false;
    }
    file.reset(PackOpen(strPath, "rb"));
    if (!file)
    {
        strError = strLabel + ": not readable";
        return false;
    }
    return true;
}

/** Reads up to cbMax bytes from the start of an open file. */
std::vector<uint8_t> ReadStart(FILE *pFile, size_t cbMax)
{
    std::vector<uint8_t> ab(cbMax);
    ab.resize(fread(ab.data(), 1, cbMax, pFile));
    return ab;
}

bool StartsWith(const std::vector<uint8_t> &ab, const uint8_t *pbPrefix, size_t cbPrefix)
{
    return ab.size() >= cbPrefix && memcmp(ab.data(), pbPrefix, cbPrefix) == 0;
}

std::string Lower(std::string str)
{
    for (char &ch : str)
        if (ch >= 'A' && ch <= 'Z')
            ch = char(ch - 'A' + 'a');
    return str;
}

std::string Upper(std::string str)
{
    for (char &ch : str)
        if (ch >= 'a' && ch <= 'z')
            ch = char(ch - 'a' + 'A');
    return str;
}

bool EndsWith(const std::string &str, const std::string &strSuffix)
{
    return str.size() >= strSuffix.size() &&
           str.compare(str.size() - strSuffix.size(), strSuffix.size(), strSuffix) == 0;
}

/** White space as Python's str.strip() takes it away (ASCII). */
std::string Strip(const std::string &str)
{
    const char *pszSpace = " \t\n\r\f\v";
    size_t offStart = str.find_first_not_of(pszSpace);
    if (offStart == std::string::npos)
        return std::string();
    return str.substr(offStart, str.find_last_not_of(pszSpace) - offStart + 1);
}

/** An architecture as an integer literal: decimal, or 0x, 0o, 0b digits,
 *  underscores between digits, white space around. False when it is none. */
bool ParseArch(const std::string &strArch, unsigned &uArch)
{
    std::string str = Strip(strArch);
    bool fNegative = false;
    if (!str.empty() && (str[0] == '+' || str[0] == '-'))
    {
        fNegative = str[0] == '-';
        str.erase(0, 1);
    }
    unsigned uBase = 10;
    if (str.size() > 1 && str[0] == '0' && strchr("xXoObB", str[1]))
    {
        uBase = strchr("xX", str[1]) ? 16 : strchr("oO", str[1]) ? 8 : 2;
        str.erase(0, 2);
        /* An underscore may follow the prefix. */
        if (!str.empty() && str[0] == '_')
            str.erase(0, 1);
    }
    if (str.empty() || str.back() == '_')
        return false;
    uint64_t uValue = 0;
    bool fNonZero = false;
    for (size_t i = 0; i < str.size(); i++)
    {
        char ch = str[i];
        if (ch == '_')
        {
            if (i == 0 || str[i - 1] == '_')
                return false;
            continue;
        }
        unsigned uDigit = ch >= '0' && ch <= '9'   ? unsigned(ch - '0')
                          : ch >= 'a' && ch <= 'f' ? unsigned(ch - 'a' + 10)
                          : ch >= 'A' && ch <= 'F' ? unsigned(ch - 'A' + 10)
                                                   : 99;
        if (uDigit >= uBase)
            return false;
        /* Decimal literals take no leading zeros ("03"), only zeros ("00"). */
        if (uBase == 10 && uDigit != 0 && !fNonZero && i > 0)
            return false;
        fNonZero |= uDigit != 0;
        if (uValue < 1000)
            uValue = uValue * uBase + uDigit;
    }
    if (fNegative && uValue != 0)
        return false;
    uArch = unsigned(uValue);
    return uArch >= 1 && uArch <= 4;
}

/** Appends text NUL-terminated and NUL-padded as a fixed field. */
bool AppendField(std::vector<uint8_t> &ab, const std::string &str, size_t cbField, const std::string &strWhat,
                 std::string &strError)
{
    if (str.find('\0') != std::string::npos)
    {
        strError = strWhat + " " + Repr(str) + " contains a NUL character";
        return false;
    }
    if (str.size() + 1 > cbField)
    {
        strError = strWhat + " " + Repr(str) + " is " + std::to_string(str.size()) + " bytes; it must fit " +
                   std::to_string(cbField) + " bytes with its terminator (at most " + std::to_string(cbField - 1) + ")";
        return false;
    }
    ab.insert(ab.end(), str.begin(), str.end());
    ab.resize(ab.size() + cbField - str.size(), 0);
    return true;
}

/** A package must be what its architecture and its file name say: the
 *  launcher installs only .msi files and leaves .cab files for them, and a
 *  misfit fails every installation on the hosts it is extracted on. */
bool CheckKind(const std::string &strLabel, const PackPackage &pkg, FILE *pFile, const std::vector<uint8_t> &abStart,
               std::string &strError)
{
    const char *pszSuffix;
    if (StartsWith(abStart, g_abCabSignature, sizeof(g_abCabSignature)))
    {
        if (pkg.uArch != 1)
        {
            strError = strLabel + ": a cabinet given as architecture " + ArchText(pkg.uArch) +
                       "; the cabinet is shared by the packages of every host: give it as 1 (all)";
            return false;
        }
        pszSuffix = ".cab";
    }
    else if (StartsWith(abStart, g_abCfbSignature, sizeof(g_abCfbSignature)))
    {
        std::string strTemplate, strWhy;
        if (!PackMsiReadTemplate(PackMsiFileSource(pFile, pkg.cbSize), strTemplate, strWhy))
        {
            strError = strLabel + ": not a readable Windows Installer package (" + strWhy + ")";
            return false;
        }
        std::string strPlatform = Strip(strTemplate.substr(0, strTemplate.find(';')));
        unsigned uFits = 0;
        for (const auto &entry : g_aTemplateArch)
            if (Lower(strPlatform) == entry.pszPlatform)
                uFits = entry.uArch;
        std::string strShown = strPlatform.empty() ? std::string("an empty Template platform (Intel)")
                                                   : "Template platform " + Repr(strPlatform);
        if (uFits == 0)
        {
            strError = strLabel + ": a Windows Installer package for " + strShown +
                       ", which no architecture of the launcher fits (Intel: 2, x64: 3, Arm64: 4)";
            return false;
        }
        if (pkg.uArch == 1)
        {
            strError = strLabel + ": a Windows Installer package given as architecture " + ArchText(1) +
                       ", which is for the cabinet shared by every host; " + strShown + " makes it " + ArchText(uFits);
            return false;
        }
        if (pkg.uArch != uFits)
        {
            strError = strLabel + ": a Windows Installer package for " + strShown + " given as architecture " +
                       ArchText(pkg.uArch) + "; give it as " + ArchText(uFits);
            return false;
        }
        pszSuffix = ".msi";
    }
    else
    {
        strError = strLabel + ": neither a Windows Installer package nor a cabinet";
        return false;
    }
    if (!EndsWith(Lower(pkg.strName), pszSuffix))
    {
        strError = strLabel + ": file name " + Repr(pkg.strName) + " must end in " + pszSuffix +
                   ", as the launcher tells the kind of a package by its name";
        return false;
    }
    return true;
}

/** The certificate's subject as text, or empty when it cannot be read. */
std::string SubjectText(const std::vector<uint8_t> &abDer)
{
    PackX509 cert;
    return PackX509Parse(abDer.data(), abDer.size(), cert) ? PackX509NameText(cert.Subject) : std::string();
}

/** The certificate that signed a Windows Installer package; empty when the
 *  package is not signed or its signature cannot be read. */
std::vector<uint8_t> PackageSigner(const std::string &strPath)
{
    uint64_t cbSize = 0;
    if (PackPathQuery(strPath, &cbSize) != PACK_PATH_FILE)
        return {};
    FilePtr file(PackOpen(strPath, "rb"));
    if (!file)
        return {};
    std::vector<uint8_t> abSignature;
    bool fFound = false;
    std::string strWhy;
    PackDerTlv signer;
    if (!PackMsiReadStream(PackMsiFileSource(file.get(), cbSize), "\005DigitalSignature", MAX_SIGNATURE_STREAM,
                           abSignature, fFound, strWhy) ||
        !fFound || !PackPkcs7Signer(abSignature.data(), abSignature.size(), signer))
        return {};
    const uint8_t *pb = signer.pbContent - (signer.cbTotal - signer.cbContent);
    return std::vector<uint8_t>(pb, pb + signer.cbTotal);
}

const char g_szTrustedPublisherHint[] = "the launcher adds it to the TrustedPublisher store, which takes code-signing "
                                        "certificates (Code Signing, 1.3.6.1.5.5.7.3.3)";

} // namespace

bool PackCheckPackages(std::vector<PackPackage> &packages, bool fAllowEmpty, bool fAllowMisfits, std::string &strError)
{
    if (packages.empty())
    {
        strError = "no packages given; a container holds at least one";
        return false;
    }
    if (packages.size() > MAX_PACKAGES)
    {
        strError = std::to_string(packages.size()) + " packages given; a container holds at most " +
                   std::to_string(MAX_PACKAGES);
        return false;
    }
    for (size_t i = 0; i < packages.size(); i++)
    {
        PackPackage &pkg = packages[i];
        std::string strLabel =
            "package #" + std::to_string(i) + " (" + (pkg.strOrigin.empty() ? pkg.strPath : pkg.strOrigin) + ")";
        if (!ParseArch(pkg.strArch, pkg.uArch))
        {
            strError = strLabel + ": architecture " + Repr(pkg.strArch) +
                       " is not one of 1 (all), 2 (x86), 3 (x86-64), 4 (ARM64)";
            return false;
        }
        FilePtr file;
        if (!OpenInput(strLabel, pkg.strPath, file, pkg.cbSize, strError))
            return false;
        if (pkg.cbSize == 0 && !fAllowEmpty)
        {
            strError = strLabel + ": the package is empty";
            return false;
        }
        if (pkg.strName.empty())
            pkg.strName = PackPathName(pkg.strPath);
        if (pkg.strName.empty() || pkg.strName.find_first_of("\\/:") != std::string::npos)
        {
            strError = strLabel + ": file name " + Repr(pkg.strName) + " must be a plain file name";
            return false;
        }
        std::vector<uint8_t> abStart = ReadStart(file.get(), sizeof(g_abCfbSignature));
        if (!fAllowMisfits && !abStart.empty() && !CheckKind(strLabel, pkg, file.get(), abStart, strError))
            return false;
        char szResource[16];
        snprintf(szResource, sizeof(szResource), "BIN_%02u", unsigned(i));
        pkg.strResource = szResource;
        pkg.abHeader.clear();
        for (unsigned iShift = 0; iShift < 32; iShift += 8)
            pkg.abHeader.push_back(uint8_t(pkg.uArch >> iShift));
        if (!AppendField(pkg.abHeader, pkg.strResource, RESOURCE_NAME_FIELD, strLabel + ": resource name", strError) ||
            !AppendField(pkg.abHeader, pkg.strName, FILE_NAME_FIELD, strLabel + ": file name", strError))
            return false;
        static_assert(HEADER_SIZE == 256, "the launcher reads 256-byte headers");
    }
    return true;
}

bool PackCheckCertificate(const std::string &strPath, bool fAllowMisfits, std::vector<uint8_t> &abDer,
                          std::string &strError)
{
    /* A carried certificate must be one DER-encoded SEQUENCE filling the
     * whole file: the certificate store calls take exactly those bytes. */
    std::string strLabel = "certificate " + strPath;
    FilePtr file;
    uint64_t cbSize;
    if (!OpenInput(strLabel, strPath, file, cbSize, strError))
        return false;
    abDer = ReadStart(file.get(), size_t(cbSize < MAX_CERTIFICATE_FILE ? cbSize : MAX_CERTIFICATE_FILE));
    std::string strPemLabel;
    if (PackPemLabel(abDer.data(), abDer.size(), strPemLabel))
    {
        if (strPemLabel == "CERTIFICATE" || strPemLabel == "TRUSTED CERTIFICATE" || strPemLabel == "X509 CERTIFICATE")
        {
            /* The suggested output: the name with .der for .pem (or any
             * other extension), .cer for a .der that is PEM inside. */
            std::string strName = PackPathName(strPath);
            size_t offDot = strName.find_last_of('.');
            size_t cchExt = 0;
            if (offDot != std::string::npos && strName.find_first_not_of('.') < offDot)
                cchExt = strName.size() - offDot;
            std::string strBase = strPath.substr(0, strPath.size() - cchExt);
            std::string strExt = strPath.substr(strPath.size() - cchExt);
            strError = strLabel +
                       ": a PEM (text) certificate, but the launcher carries DER-encoded ones; convert it with: "
                       "openssl x509 -in " +
                       strPath + " -outform der -out " + strBase + (Lower(strExt) == ".der" ? ".cer" : ".der");
        }
        else
            strError = strLabel + ": a PEM file holding a " + Lower(strPemLabel) + ", not a certificate";
        return false;
    }
    PackDerTlv tlv;
    if (cbSize > MAX_CERTIFICATE_FILE || abDer.size() != cbSize ||
        !PackDerExpect(abDer.data(), abDer.size(), PACK_DER_SEQUENCE, tlv) || tlv.cbTotal != abDer.size())
    {
        strError = strLabel + ": not a DER-encoded certificate (one ASN.1 SEQUENCE filling the file)";
        return false;
    }
    if (fAllowMisfits)
        return true;
    /* The carried certificate goes into the TrustedPublisher store, which
     * trusts code signed with it: it must be a code-signing certificate. */
    PackX509 cert;
    if (!PackX509Parse(abDer.data(), abDer.size(), cert))
    {
        strError = strLabel + ": not a readable X.509 certificate";
        return false;
    }
    std::string strSubject = PackX509NameText(cert.Subject);
    if (!cert.fHasExtKeyUsage)
    {
        strError = strLabel + " (" + strSubject + "): no extended key usage; " + g_szTrustedPublisherHint;
        return false;
    }
    std::string strUsages;
    for (const std::string &strOid : cert.ExtKeyUsages)
    {
        if (strOid == PACK_OID_CODE_SIGNING)
            return true;
        strUsages += (strUsages.empty() ? "" : ", ") + PackExtKeyUsageName(strOid);
    }
    strError = strLabel + " (" + strSubject + "): its extended key usage is " + strUsages + ", not code signing; " +
               g_szTrustedPublisherHint;
    return false;
}

void PackWarnForeignCertificates(const std::vector<std::string> &certPaths,
                                 const std::vector<std::vector<uint8_t>> &certDers,
                                 const std::vector<std::vector<uint8_t>> &signerDers,
                                 const std::vector<PackPackage> &packages)
{
    /* A carried certificate that signed neither the launcher nor any signed
     * package puts a publisher into TrustedPublisher that this release does
     * not come from: legal, but most often the wrong file. */
    const std::vector<uint8_t> *pLauncher = signerDers.empty() || signerDers[0].empty() ? nullptr : &signerDers[0];
    std::vector<std::vector<uint8_t>> packageSigners;
    for (const PackPackage &pkg : packages)
    {
        std::string strName = pkg.strName.empty() ? PackPathName(pkg.strPath) : pkg.strName;
        if (EndsWith(Lower(strName), ".msi"))
        {
            std::vector<uint8_t> abSigner = PackageSigner(pkg.strPath);
            if (!abSigner.empty())
                packageSigners.push_back(std::move(abSigner));
        }
    }
    for (size_t i = 0; i < certDers.size() && i < certPaths.size(); i++)
    {
        const std::vector<uint8_t> &abDer = certDers[i];
        if (pLauncher && abDer == *pLauncher)
            continue;
        std::vector<std::string> signers;
        if (pLauncher)
            signers.push_back(SubjectText(*pLauncher));
        bool fSigned = false;
        for (const std::vector<uint8_t> &abSigner : packageSigners)
        {
            if (abSigner == abDer)
            {
                fSigned = true;
                break;
            }
            std::string strSubject = SubjectText(abSigner);
            bool fKnown = false;
            for (const std::string &str : signers)
                fKnown |= str == strSubject;
            if (!fKnown)
                signers.push_back(strSubject);
        }
        if (fSigned || signers.empty())
            continue;
        std::string strSigners;
        for (const std::string &str : signers)
            strSigners += (strSigners.empty() ? "" : " and ") + str;
        fprintf(stderr,
                "marrowdale-pack: warning: certificate %s (%s) is neither the launcher's signer nor the signer of the "
                "signed packages (%s): silent installations add to the TrustedPublisher store a publisher that did "
                "not sign this release\n",
                certPaths[i].c_str(), SubjectText(abDer).c_str(), strSigners.c_str());
    }
}

bool PackCheckSplash(const std::string &strPath, std::string &strError)
{
    /* Pictures a splash is most often mistaken for, by their first bytes. */
    static const struct
    {
        const char *pszMagic;
        size_t cbMagic;
        const char *pszKind;
    } s_aOtherPictures[] = {{"\xff\xd8\xff", 3, "JPEG"}, {"GIF8", 4, "GIF"},   {"BM", 2, "BMP"},
                            {"II*\0", 4, "TIFF"},        {"MM\0*", 4, "TIFF"}, {"RIFF", 4, "WebP"}};
    std::string strLabel = "splash picture " + strPath;
    FilePtr file;
    uint64_t cbSize;
    if (!OpenInput(strLabel, strPath, file, cbSize, strError))
        return false;
    std::vector<uint8_t> abStart = ReadStart(file.get(), sizeof(g_abPngSignature));
    if (StartsWith(abStart, g_abPngSignature, sizeof(g_abPngSignature)))
        return true;
    strError = strLabel + ": not a PNG file";
    for (const auto &other : s_aOtherPictures)
        if (StartsWith(abStart, reinterpret_cast<const uint8_t *>(other.pszMagic), other.cbMagic))
        {
            strError += std::string(" (it is a ") + other.pszKind + " picture; convert it to PNG)";
            break;
        }
    return false;
}

namespace
{

bool Refuse(const char *pszOption, const std::string &strValue, const std::string &strWhy, std::string &strError)
{
    strError = std::string(pszOption) + " '" + strValue + "': " + strWhy;
    return false;
}

/** Text values: UTF-8 without control characters, not empty if required. */
bool CheckText(const char *pszOption, const std::string &strValue, bool fRequired, std::string &strError)
{
    if (fRequired && strValue.empty())
        return Refuse(pszOption, strValue, "must not be empty", strError);
    for (size_t off = 0; off < strValue.size();)
    {
        uint32_t uc;
        if (!DecodeUtf8(strValue, off, uc))
            return Refuse(pszOption, strValue, "is not UTF-8 text", strError);
        if (uc < 0x20 || uc == 0x7F)
        {
            char szWhy[48];
            snprintf(szWhy, sizeof(szWhy), "holds the control character U+%04X", unsigned(uc));
            return Refuse(pszOption, strValue, szWhy, strError);
        }
    }
    return true;
}

/** The longest text of the launcher's identity, in UTF-8 bytes: a launcher
 *  refuses a longer one when it starts. */
constexpr size_t cbMaxIdentityText = 512;

/** A text the launcher shows: required, and within that maximum. */
bool CheckIdentityText(const char *pszOption, const std::string &strValue, std::string &strError)
{
    if (!CheckText(pszOption, strValue, true, strError))
        return false;
    if (strValue.size() > cbMaxIdentityText)
        return Refuse(pszOption, strValue, "is longer than " + std::to_string(cbMaxIdentityText) + " bytes in UTF-8",
                      strError);
    return true;
}

/** One to four numbers 0..65535 separated by dots, padded to four. */
bool CheckVersion(const std::string &strValue, uint16_t au16Version[4], std::string &strError)
{
    if (strValue.empty())
        return Refuse("VERSION", strValue, "must not be empty; give one to four numbers 0..65535 separated by dots",
                      strError);
    std::vector<std::string> parts(1);
    for (char ch : strValue)
    {
        if (ch == '.')
            parts.emplace_back();
        else
            parts.back() += ch;
    }
    for (const std::string &strPart : parts)
        if (strPart.empty() || strPart.find_first_not_of("0123456789") != std::string::npos)
            return Refuse("VERSION", strValue, "must be one to four numbers 0..65535 separated by dots", strError);
    if (parts.size() > 4)
        return Refuse("VERSION", strValue, "has " + std::to_string(parts.size()) + " numbers; at most four", strError);
    for (size_t i = 0; i < 4; i++)
    {
        uint32_t uValue = 0;
        if (i < parts.size())
        {
            for (char ch : parts[i])
                if ((uValue = uValue * 10 + unsigned(ch - '0')) > 65535)
                    return Refuse("VERSION", strValue, "the number " + parts[i] + " is larger than 65535", strError);
        }
        au16Version[i] = uint16_t(uValue);
    }
    return true;
}

/** CMake's own spellings of a boolean. */
bool CheckBool(const char *pszOption, const std::string &strValue, bool &fValue, std::string &strError)
{
    static const char *const s_apszTrue[] = {"ON", "YES", "TRUE", "Y", "1"};
    static const char *const s_apszFalse[] = {"OFF", "NO", "FALSE", "N", "0"};
    std::string strUpper = Upper(strValue);
    for (size_t i = 0; i < 5; i++)
    {
        if (strUpper == s_apszTrue[i] || strUpper == s_apszFalse[i])
        {
            fValue = strUpper == s_apszTrue[i];
            return true;
        }
    }
    return Refuse(pszOption, strValue, "must be ON or OFF", strError);
}

/** The UTF-16 length of checked UTF-8 text. */
size_t Utf16Length(const std::string &str)
{
    size_t cwc = 0;
    for (size_t off = 0; off < str.size();)
    {
        uint32_t uc;
        (void)DecodeUtf8(str, off, uc); /* checked by CheckText before */
        cwc += uc >= 0x10000 ? 2 : 1;
    }
    return cwc;
}

/** Kernel object names are at most MAX_PATH UTF-16 units long; a backslash
 *  only ends the namespace prefix. */
bool CheckMutexName(const std::string &strValue, std::string &strError)
{
    if (!CheckText("MUTEX_NAME", strValue, true, strError))
        return false;
    std::string strRest = strValue;
    for (const char *pszNamespace : {"Global\\", "Local\\"})
        if (strValue.compare(0, strlen(pszNamespace), pszNamespace) == 0)
        {
            strRest = strValue.substr(strlen(pszNamespace));
            break;
        }
    if (strRest.empty())
        return Refuse("MUTEX_NAME", strValue, "names a namespace but no mutex", strError);
    if (strRest.find('\\') != std::string::npos)
        return Refuse("MUTEX_NAME", strValue, "may hold a backslash only after the namespace Global or Local",
                      strError);
    if (Utf16Length(strValue) > 260)
        return Refuse("MUTEX_NAME", strValue, "is longer than 260 characters", strError);
    return true;
}

uint32_t GetU32(const uint8_t *pb, size_t cb)
{
    uint32_t u = 0;
    for (size_t i = 0; i < 4 && i < cb; i++)
        u |= uint32_t(pb[i]) << (8 * i);
    return u;
}

/** Refuses a file that is no .ico file with its directory and images
 *  within the file (every image of it goes into the launcher). */
bool CheckIcon(const std::string &strPath, const std::vector<uint8_t> &ab, std::string &strError)
{
    if (ab.size() < 6 || GetU32(ab.data(), 4) != 0x00010000)
        return Refuse("ICON", strPath,
                      StartsWith(ab, g_abPngSignature, sizeof(g_abPngSignature))
                          ? "not an .ico file (a PNG picture; convert it to an .ico file)"
                          : "not an .ico file (no icon header)",
                      strError);
    size_t cImages = size_t(ab[4] | ab[5] << 8);
    size_t cbDirectory = 6 + 16 * cImages;
    if (cImages == 0 || ab.size() < cbDirectory)
        return Refuse("ICON", strPath,
                      "not an .ico file (its directory of " + std::to_string(cImages) +
                          " images does not fit the file)",
                      strError);
    for (size_t i = 0; i < cImages; i++)
    {
        const uint8_t *pbEntry = ab.data() + 6 + 16 * i;
        uint64_t cbImage = GetU32(pbEntry + 8, 4), offImage = GetU32(pbEntry + 12, 4);
        if (cbImage == 0 || offImage < cbDirectory || offImage + cbImage > ab.size())
            return Refuse("ICON", strPath, "not an .ico file (image #" + std::to_string(i) + " lies outside the file)",
                          strError);
        const uint8_t *pbImage = ab.data() + offImage;
        bool fPng =
            cbImage >= sizeof(g_abPngSignature) && memcmp(pbImage, g_abPngSignature, sizeof(g_abPngSignature)) == 0;
        if (!fPng && GetU32(pbImage, size_t(cbImage)) != 40 /* BITMAPINFOHEADER */)
            return Refuse("ICON", strPath,
                          "not an .ico file (image #" + std::to_string(i) + " is neither a PNG nor a bitmap)",
                          strError);
    }
    return true;
}

} // namespace

bool PackCheckIdentity(const PackIdentityOptions &options, const std::vector<uint8_t> &abDefaultIcon,
                       PackIdentity &identity, std::string &strError)
{
    /* The defaults of add_stub_installer; the version text is the version
     * when only that is given. */
    identity.strProductName = options.ProductName.value_or("Marrowdale Installer");
    identity.strCompanyName = options.CompanyName.value_or("Marrowdale");
    identity.strCopyright = options.Copyright.value_or("");
    std::string strVersion = options.Version.value_or("7.2.0");
    identity.strVersionText = options.VersionText ? *options.VersionText
                              : options.Version   ? *options.Version
                                                  : std::string("7.2.0r169963");
    identity.strExecutionLevel = options.ExecutionLevel.value_or("requireAdministrator");
    identity.strMutexName = options.MutexName.value_or("QuorStubInstaller");
    identity.strFileName = options.strFileName;
    /* The demo's title, whose sentences ("Forces Marrowdale to get
     * re-installed") name the product without the word "Installer". Any
     * other title is the name in those sentences too. */
    identity.strProductInSentences =
        identity.strProductName == "Marrowdale Installer" ? std::string("Marrowdale") : identity.strProductName;

    if (!CheckIdentityText("PRODUCT_NAME", identity.strProductName, strError) ||
        !CheckText("COMPANY_NAME", identity.strCompanyName, false, strError) ||
        !CheckText("COPYRIGHT", identity.strCopyright, false, strError) ||
        !CheckVersion(strVersion, identity.au16Version, strError) ||
        !CheckIdentityText("VERSION_TEXT", identity.strVersionText, strError))
        return false;

    if (options.Icon)
    {
        FilePtr file;
        uint64_t cbSize = 0;
        if (PackPathQuery(*options.Icon, &cbSize) != PACK_PATH_FILE ||
            !(file.reset(PackOpen(*options.Icon, "rb")), file))
            return Refuse("ICON", *options.Icon, "no such file", strError);
        identity.abIcon = ReadStart(file.get(), size_t(cbSize));
        if (!CheckIcon(*options.Icon, identity.abIcon, strError))
            return false;
    }
    else
    {
        identity.abIcon = abDefaultIcon;
        if (!CheckIcon("<the built-in icon>", identity.abIcon, strError))
            return false;
    }

    static const char *const s_apszLevels[] = {"requireAdministrator", "highestAvailable", "asInvoker"};
    bool fLevel = false;
    for (const char *psz : s_apszLevels)
        fLevel |= identity.strExecutionLevel == psz;
    if (!fLevel)
        return Refuse("EXECUTION_LEVEL", identity.strExecutionLevel,
                      "must be one of requireAdministrator, highestAvailable, asInvoker", strError);
    return CheckBool("DPI_AWARE", options.DpiAware.value_or("OFF"), identity.fDpiAware, strError) &&
           CheckBool("LONG_PATH_AWARE", options.LongPathAware.value_or("OFF"), identity.fLongPathAware, strError) &&
           CheckMutexName(identity.strMutexName, strError);
}
