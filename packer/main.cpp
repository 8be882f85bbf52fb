/** @file
 * marrowdale-pack: makes a vendor's launcher from a launcher stub. Every
 * input is checked before anything is written; the launcher is written
 * beside its final name and renamed onto it only when it is complete (and
 * signed, when asked), so a failure leaves no launcher and keeps an old one.
 *
 * Exit codes: 0 success, 1 a bad input or a failure while writing or
 * signing ("marrowdale-pack: error: ..."), 2 a usage error.
 */
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <memory>

#include "checks.h"
#include "embedded.h"
#include "os.h"
#include "pe.h"
#include "resources.h"
#include "sign.h"

static const char g_szUsage[] =
    "Usage: marrowdale-pack [options] --package ARCH FILE [--name NAME]... -o LAUNCHER.exe\n"
    "Makes a launcher: the launcher stub with the packages, certificates, splash\n"
    "picture and identity as its resources, signed when a key is given.\n"
    "\n"
    "Payload:\n"
    "  --package ARCH FILE    a package: ARCH 1 (the cabinet shared by all hosts), 2 (x86),\n"
    "                         3 (x86-64) or 4 (ARM64); in the order given\n"
    "  --name NAME            right after a --package: the name it is extracted under\n"
    "                         (default: the file's own name)\n"
    "  --certificate FILE     a DER certificate the launcher adds to TrustedPublisher\n"
    "  --splash FILE          the splash picture (PNG)\n"
    "Identity:\n"
    "  --product-name TEXT    (\"Marrowdale Installer\")\n"
    "  --company-name TEXT    (\"Marrowdale\")\n"
    "  --copyright TEXT       (none)\n"
    "  --version N[.N[.N[.N]]] (7.2.0)\n"
    "  --version-text TEXT    (the --version given, else \"7.2.0r169963\")\n"
    "  --icon FILE.ico        (the built-in icon)\n"
    "  --execution-level requireAdministrator|highestAvailable|asInvoker\n"
    "  --dpi-aware ON|OFF, --long-path-aware ON|OFF (OFF)\n"
    "  --mutex-name NAME      (\"QuorStubInstaller\"; every vendor sets a name of their own)\n"
    "Signing (osslsigncode, or a command of the signer's):\n"
    "  --sign-pkcs12 FILE | --sign-key PEM --sign-cert CERT | --sign-command CMD --sign-cert CERT\n"
    "  --sign-password-file FILE, --timestamp-url URL, --sign-description TEXT, --sign-url URL\n"
    "  --sign-packages        sign the .msi packages with the same key first\n"
    "Launcher:\n"
    "  --arch x86-64|x86      the launcher's architecture (x86-64)\n"
    "  --stub FILE            the launcher stub (default: marrowdale-stub-ARCH.exe beside\n"
    "                         this program)\n"
    "  -o, --output FILE      the launcher to write\n"
    "  --help                 this text; --version alone: the packer's version\n"
    "For the build:\n"
    "  --check                check every input, write nothing\n"
    "  --allow-empty-packages accept 0-byte packages (test containers)\n"
    "  --allow-misfits        packages and certificates of any kind, architecture and key\n"
    "                         usage (test containers)\n"
    "  --keep-unsigned FILE   keep the launcher as packed, before it is signed, as FILE\n"
    "  --signed-packages-dir DIR  keep the signed packages as DIR/<index>/<name>\n"
    "  --options-stamp FILE   write what the signatures depend on (the signing options and\n"
    "                         SOURCE_DATE_EPOCH) to FILE when it differs, then exit\n"
    "Options take their value as the next argument or after '=' (--version=1.2).\n"
    "Exit codes: 0 done, 1 a bad input or a failure (nothing written), 2 a usage error.\n";

static const char g_szPackerVersion[] = "marrowdale-pack 7.2.0\n";

/** A usage error: the message and a hint to --help; exit code 2. */
static int packUsageError(const std::string &strText)
{
    fprintf(stderr, "marrowdale-pack: %s\nTry 'marrowdale-pack --help' for more information.\n", strText.c_str());
    return 2;
}

/** A bad input or a failure; exit code 1. */
static int packError(const std::string &strText)
{
    fprintf(stderr, "marrowdale-pack: error: %s\n", strText.c_str());
    return 1;
}

/** Everything the command line gives. */
struct PackOptions
{
    std::vector<PackPackage> packages;
    std::vector<std::string> certificates;
    std::string strSplash, strArch = "x86-64", strStub, strOutput, strKeepUnsigned, strSignedPackagesDir,
                           strOptionsStamp;
    PackIdentityOptions identity;
    PackSigning signing;
    bool fCheck = false, fAllowEmpty = false, fAllowMisfits = false, fSignPackages = false;
};

/** The options taking one value, and where it goes. */
struct PackValueOption
{
    const char *pszName;
    std::string PackOptions::*pstr;
    std::optional<std::string> PackIdentityOptions::*pIdentity;
    std::string PackSigning::*pSigning;
};

static const PackValueOption g_aValueOptions[] = {
    {"--splash", &PackOptions::strSplash, nullptr, nullptr},
    {"--arch", &PackOptions::strArch, nullptr, nullptr},
    {"--stub", &PackOptions::strStub, nullptr, nullptr},
    {"--output", &PackOptions::strOutput, nullptr, nullptr},
    {"--keep-unsigned", &PackOptions::strKeepUnsigned, nullptr, nullptr},
    {"--signed-packages-dir", &PackOptions::strSignedPackagesDir, nullptr, nullptr},
    {"--options-stamp", &PackOptions::strOptionsStamp, nullptr, nullptr},
    {"--product-name", nullptr, &PackIdentityOptions::ProductName, nullptr},
    {"--company-name", nullptr, &PackIdentityOptions::CompanyName, nullptr},
    {"--copyright", nullptr, &PackIdentityOptions::Copyright, nullptr},
    {"--version", nullptr, &PackIdentityOptions::Version, nullptr},
    {"--version-text", nullptr, &PackIdentityOptions::VersionText, nullptr},
    {"--icon", nullptr, &PackIdentityOptions::Icon, nullptr},
    {"--execution-level", nullptr, &PackIdentityOptions::ExecutionLevel, nullptr},
    {"--dpi-aware", nullptr, &PackIdentityOptions::DpiAware, nullptr},
    {"--long-path-aware", nullptr, &PackIdentityOptions::LongPathAware, nullptr},
    {"--mutex-name", nullptr, &PackIdentityOptions::MutexName, nullptr},
    {"--sign-pkcs12", nullptr, nullptr, &PackSigning::strPkcs12},
    {"--sign-key", nullptr, nullptr, &PackSigning::strKey},
    {"--sign-cert", nullptr, nullptr, &PackSigning::strCert},
    {"--sign-password-file", nullptr, nullptr, &PackSigning::strPasswordFile},
    {"--timestamp-url", nullptr, nullptr, &PackSigning::strTimestampUrl},
    {"--sign-description", nullptr, nullptr, &PackSigning::strDescription},
    {"--sign-url", nullptr, nullptr, &PackSigning::strUrl},
    {"--sign-command", nullptr, nullptr, &PackSigning::strCommand},
};

/** The options without a value. */
static const struct
{
    const char *pszName;
    bool PackOptions::*pf;
} g_aFlags[] = {
    {"--check", &PackOptions::fCheck},
    {"--allow-empty-packages", &PackOptions::fAllowEmpty},
    {"--allow-misfits", &PackOptions::fAllowMisfits},
    {"--sign-packages", &PackOptions::fSignPackages},
};

/** Result of parsing: go on, or exit with iExit (0 after --help). */
struct PackParse
{
    bool fGoOn = false;
    int iExit = 0;
};

static PackParse packExit(int iExit)
{
    PackParse parse;
    parse.iExit = iExit;
    return parse;
}

static PackParse packParse(int argc, char **argv, PackOptions &options)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && args[0] == "--version")
    {
        fputs(g_szPackerVersion, stdout);
        return packExit(0);
    }
    bool fAfterPackage = false; /* --name may follow a --package only */
    for (size_t i = 0; i < args.size(); i++)
    {
        std::string strOption = args[i], strValue;
        bool fInline = false;
        if (strOption.compare(0, 2, "--") == 0)
        {
            size_t offEq = strOption.find('=');
            if (offEq != std::string::npos)
            {
                strValue = strOption.substr(offEq + 1);
                strOption.resize(offEq);
                fInline = true;
            }
        }
        else if (strOption == "-o")
            strOption = "--output";
        else
            return packExit(packUsageError("unexpected argument '" + args[i] + "'"));
        /* The next value: after '=', or the next argument. */
        auto takeValue = [&](std::string &strOut) {
            if (fInline)
            {
                strOut = strValue;
                fInline = false;
                return true;
            }
            if (i + 1 >= args.size())
                return false;
            strOut = args[++i];
            return true;
        };
        bool fWasAfterPackage = fAfterPackage;
        fAfterPackage = false;

        if (strOption == "--help")
        {
            fputs(g_szUsage, stdout);
            return packExit(0);
        }
        if (strOption == "--package")
        {
            PackPackage pkg;
            if (!takeValue(pkg.strArch) || !takeValue(pkg.strPath))
                return packExit(packUsageError("--package needs an architecture and a file"));
            options.packages.push_back(pkg);
            fAfterPackage = true;
            continue;
        }
        if (strOption == "--name")
        {
            if (!fWasAfterPackage)
                return packExit(packUsageError("--name must come right after a --package"));
            if (!takeValue(options.packages.back().strName))
                return packExit(packUsageError("--name needs a file name"));
            continue;
        }
        if (strOption == "--certificate")
        {
            options.certificates.emplace_back();
            if (!takeValue(options.certificates.back()))
                return packExit(packUsageError("--certificate needs a file"));
            continue;
        }
        bool PackOptions::*pfFlag = nullptr;
        for (const auto &flag : g_aFlags)
            if (strOption == flag.pszName)
                pfFlag = flag.pf;
        if (pfFlag)
        {
            if (fInline)
                return packExit(packUsageError(strOption + " takes no value"));
            options.*pfFlag = true;
            continue;
        }
        const PackValueOption *pOption = nullptr;
        for (const PackValueOption &option : g_aValueOptions)
            if (strOption == option.pszName)
                pOption = &option;
        if (!pOption)
            return packExit(packUsageError("unknown option '" + args[i] + "'"));
        std::string strGiven;
        if (!takeValue(strGiven))
            return packExit(packUsageError(strOption + " needs a value"));
        if (pOption->pstr)
            options.*pOption->pstr = strGiven;
        else if (pOption->pIdentity)
            options.identity.*pOption->pIdentity = strGiven;
        else
            options.signing.*pOption->pSigning = strGiven;
    }

    options.signing.fSignPackages = options.fSignPackages;
    if (options.strOptionsStamp.empty())
    {
        if (options.strOutput.empty())
            return packExit(packUsageError("no launcher to write: give -o/--output FILE"));
        if (options.strArch != "x86-64" && options.strArch != "x86")
            return packExit(packUsageError("--arch '" + options.strArch + "': must be x86-64 or x86"));
        if (!options.strKeepUnsigned.empty() && !options.signing.isEnabled())
            return packExit(packUsageError("--keep-unsigned needs a signing key: the launcher is not signed"));
    }
    PackParse parse;
    parse.fGoOn = true;
    return parse;
}

/** Reads a whole small file (the stub); false with strError set. */
static bool packReadFile(const std::string &strPath, size_t cbMax, std::vector<uint8_t> &ab, std::string &strError)
{
    uint64_t cb = 0;
    PackPathKind kind = PackPathQuery(strPath, &cb);
    if (kind != PACK_PATH_FILE)
    {
        strError = "'" + strPath + "': " + (kind == PACK_PATH_NONE ? "no such file" : "not a regular file");
        return false;
    }
    if (cb > cbMax)
    {
        strError = "'" + strPath + "' is not a launcher stub: " + std::to_string(cb) + " bytes, more than a stub has";
        return false;
    }
    FILE *pFile = PackOpen(strPath, "rb");
    if (!pFile)
    {
        strError = "'" + strPath + "': " + strerror(errno);
        return false;
    }
    ab.resize((size_t)cb);
    bool fOk = fread(ab.data(), 1, ab.size(), pFile) == ab.size();
    if (!fOk)
        strError = "'" + strPath + "': cannot be read";
    fclose(pFile);
    return fOk;
}

/** Writes the launcher file with stdio; the checksum is patched in by
 *  seeking back. */
class PackStdioSink : public PackFileSink
{
  public:
    explicit PackStdioSink(FILE *pFile) : m_pFile(pFile)
    {
    }
    bool write(const void *pv, size_t cb) override
    {
        if (cb && fwrite(pv, 1, cb, m_pFile) != cb)
            return fail();
        return true;
    }
    bool patch(uint64_t offFile, const uint8_t abBytes[4]) override
    {
        if (fseek(m_pFile, (long)offFile, SEEK_SET) != 0 || fwrite(abBytes, 1, 4, m_pFile) != 4)
            return fail();
        return true;
    }
    const std::string &error() const
    {
        return m_strError;
    }

  private:
    bool fail()
    {
        if (m_strError.empty())
            m_strError = strerror(errno);
        return false;
    }
    FILE *m_pFile;
    std::string m_strError;
};

/** The files made on the way: removed at the end unless kept. */
class PackScratch
{
  public:
    ~PackScratch()
    {
        for (const std::string &strPath : m_paths)
            PackRemove(strPath);
    }
    /** Records a path and gives it back (a copy: the list may grow). */
    std::string add(const std::string &strPath)
    {
        m_paths.push_back(strPath);
        return strPath;
    }

  private:
    std::vector<std::string> m_paths;
};

static bool packEndsWithNoCase(const std::string &str, const char *pszSuffix)
{
    size_t cch = strlen(pszSuffix);
    if (str.size() < cch)
        return false;
    for (size_t i = 0; i < cch; i++)
    {
        char ch = str[str.size() - cch + i];
        if (ch >= 'A' && ch <= 'Z')
            ch = (char)(ch - 'A' + 'a');
        if (ch != pszSuffix[i])
            return false;
    }
    return true;
}

/** Writes strText to strPath unless it holds exactly that already. */
static int packWriteStamp(const std::string &strPath, const std::string &strText)
{
    std::vector<uint8_t> abOld;
    std::string strError;
    if (PackPathQuery(strPath) == PACK_PATH_FILE && packReadFile(strPath, 1024 * 1024, abOld, strError) &&
        std::string(abOld.begin(), abOld.end()) == strText)
        return 0;
    FILE *pFile = PackOpen(strPath, "wb");
    if (!pFile)
        return packError("options stamp '" + strPath + "': " + strerror(errno));
    bool fOk = fwrite(strText.data(), 1, strText.size(), pFile) == strText.size();
    fOk = fclose(pFile) == 0 && fOk;
    return fOk ? 0 : packError("options stamp '" + strPath + "': cannot be written");
}

/** Signs the Windows Installer packages into their copies (kept in the
 *  signed packages folder, else scratch files beside the output); the
 *  packages then name the copies, their messages the vendor's file. */
static bool packSignPackages(PackOptions &options, const std::vector<std::vector<uint8_t>> &signerDers,
                             PackScratch &scratch, std::string &strError)
{
    for (size_t i = 0; i < options.packages.size(); i++)
    {
        PackPackage &pkg = options.packages[i];
        if (!packEndsWithNoCase(pkg.strName, ".msi"))
            continue;
        std::string strSigned;
        if (!options.strSignedPackagesDir.empty())
        {
            std::string strDir = options.strSignedPackagesDir + "/" + std::to_string(i), strDirError;
            if (!PackMakeDir(options.strSignedPackagesDir, &strDirError) || !PackMakeDir(strDir, &strDirError))
            {
                strError = "signed packages folder '" + strDir + "': " + strDirError;
                return false;
            }
            strSigned = strDir + "/" + pkg.strName;
        }
        else
            strSigned = scratch.add(options.strOutput + ".package" + std::to_string(i) + "-" + pkg.strName);
        if (!PackSignFile(options.signing, signerDers, pkg.strPath, strSigned, strError))
            return false;
        if (pkg.strOrigin.empty())
            pkg.strOrigin = pkg.strPath;
        pkg.strPath = strSigned;
        if (PackPathQuery(strSigned, &pkg.cbSize) != PACK_PATH_FILE)
        {
            strError = "signed package '" + strSigned + "' is gone";
            return false;
        }
    }
    return true;
}

int PackMain(int argc, char **argv)
{
    PackOptions options;
    PackParse parse = packParse(argc, argv, options);
    if (!parse.fGoOn)
        return parse.iExit;
    if (!options.strOptionsStamp.empty())
        return packWriteStamp(options.strOptionsStamp, PackSignOptionsRecord(options.signing));

    /* Every input first: nothing is written before all are good. */
    std::string strError;
    options.identity.strFileName = PackPathName(options.strOutput);
    PackIdentity identity;
    std::vector<uint8_t> abDefaultIcon(g_abPackDefaultIcon, g_abPackDefaultIcon + g_abPackDefaultIconSize);
    if (!PackCheckIdentity(options.identity, abDefaultIcon, identity, strError) ||
        !PackCheckPackages(options.packages, options.fAllowEmpty, options.fAllowMisfits, strError))
        return packError(strError);
    std::vector<std::vector<uint8_t>> certDers(options.certificates.size());
    for (size_t i = 0; i < options.certificates.size(); i++)
        if (!PackCheckCertificate(options.certificates[i], options.fAllowMisfits, certDers[i], strError))
            return packError(strError);
    uint64_t cbSplash = 0;
    if (!options.strSplash.empty())
    {
        if (!PackCheckSplash(options.strSplash, strError))
            return packError(strError);
        PackPathQuery(options.strSplash, &cbSplash);
    }
    std::vector<std::vector<uint8_t>> signerDers;
    if (!PackSignCheck(options.signing, signerDers, strError))
        return packError(strError);

    std::string strStub = options.strStub;
    if (strStub.empty())
    {
        std::string strSelf = PackSelfPath();
        if (strSelf.empty())
            return packError("the packer cannot tell its own folder, where the launcher stub is; give --stub");
        strStub = PackPathDir(strSelf) + "/marrowdale-stub-" + options.strArch + ".exe";
    }
    std::vector<uint8_t> abStub;
    PackStub stub;
    if (!packReadFile(strStub, 64 * 1024 * 1024, abStub, strError) ||
        !PackCheckStub(strStub, std::move(abStub), options.strArch == "x86" ? PACK_MACHINE_X86 : PACK_MACHINE_X86_64,
                       stub, strError))
        return packError(strError);
    if (!options.fAllowMisfits)
        PackWarnForeignCertificates(options.certificates, certDers, signerDers, options.packages);
    if (options.fCheck)
        return 0;

    /* Then the files, each beside the output, the output renamed at the end. */
    PackScratch scratch;
    if (options.signing.fSignPackages && !packSignPackages(options, signerDers, scratch, strError))
        return packError(strError);
    std::vector<PackResource> resources;
    PackAddContainerResources(options.packages, certDers, options.strSplash, cbSplash, resources);
    if (!PackAddIdentityResources(identity, resources, strError))
        return packError(strError);

    const std::string strPacked = scratch.add(options.strOutput + ".packing");
    FILE *pFile = PackOpen(strPacked, "wb");
    if (!pFile)
        return packError("'" + strPacked + "': " + strerror(errno));
    PackStdioSink sink(pFile);
    bool fOk = PackWriteLauncher(stub, resources, sink, strError);
    if (fclose(pFile) != 0 && fOk)
    {
        fOk = false;
        strError = strerror(errno);
    }
    if (!fOk)
        return packError("writing '" + strPacked + "': " + (strError.empty() ? sink.error() : strError));

    std::string strFinal = strPacked;
    if (options.signing.isEnabled())
    {
        strFinal = scratch.add(options.strOutput + ".signing");
        if (!PackSignFile(options.signing, signerDers, strPacked, strFinal, strError))
            return packError(strError);
        if (!options.strKeepUnsigned.empty() && !PackRename(strPacked, options.strKeepUnsigned, &strError))
            return packError("keeping the unsigned launcher as '" + options.strKeepUnsigned + "': " + strError);
    }
    if (!PackRename(strFinal, options.strOutput, &strError))
        return packError("'" + options.strOutput + "': " + strError);
    return 0;
}
