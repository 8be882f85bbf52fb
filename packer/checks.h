/** @file
 * The packer's checks of its inputs. Each refusal is one message naming
 * the input (the vendor's file for a package made from it) and its fault,
 * the same texts the build has always given; the caller prints it after
 * "marrowdale-pack: error: ". Files are read in pieces: memory does not
 * grow with a package's size.
 */
#ifndef PACK_CHECKS_H
#define PACK_CHECKS_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

/** One package as given (--package ARCH FILE [--name N]). */
struct PackPackage
{
    std::string strArch;   /**< as given: must be 1, 2, 3 or 4 */
    std::string strPath;   /**< the file packed (a signed copy, maybe) */
    std::string strName;   /**< the name it is extracted under; empty: the file's own */
    std::string strOrigin; /**< the vendor's file, for messages; empty: strPath */
    /* Set by PackCheckPackages: */
    unsigned uArch = 0;
    uint64_t cbSize = 0;
    std::string strResource;       /**< "BIN_00", "BIN_01", ... */
    std::vector<uint8_t> abHeader; /**< its 256-byte HDR_NN resource */
};

/** Checks the packages (count 1..255, each file, its kind and architecture,
 *  names that fit their fields) and completes them. fAllowEmpty accepts
 *  0-byte packages, fAllowMisfits packages of any kind and architecture
 *  (test containers only). */
bool PackCheckPackages(std::vector<PackPackage> &packages, bool fAllowEmpty, bool fAllowMisfits, std::string &strError);

/** Reads a carried certificate: DER, one certificate, nothing after it; with
 *  fAllowMisfits false it must name code signing among its extended key
 *  usages. */
bool PackCheckCertificate(const std::string &strPath, bool fAllowMisfits, std::vector<uint8_t> &abDer,
                          std::string &strError);

/** Prints to stderr the warning for every carried certificate that is
 *  neither the launcher's signer (signerDer[0], may be empty) nor the signer
 *  of a signed package. */
void PackWarnForeignCertificates(const std::vector<std::string> &certPaths,
                                 const std::vector<std::vector<uint8_t>> &certDers,
                                 const std::vector<std::vector<uint8_t>> &signerDers,
                                 const std::vector<PackPackage> &packages);

/** Checks the splash picture: a PNG. */
bool PackCheckSplash(const std::string &strPath, std::string &strError);

/** The identity options as given; an empty optional is "not given". */
struct PackIdentityOptions
{
    std::optional<std::string> ProductName, CompanyName, Copyright, Version, VersionText, Icon, ExecutionLevel,
        DpiAware, LongPathAware, MutexName;
    std::string strFileName; /**< the launcher's file name (InternalName, OriginalFilename) */
};

/** The checked identity, defaults filled in. */
struct PackIdentity
{
    std::string strProductName, strProductInSentences, strCompanyName, strCopyright, strVersionText, strExecutionLevel,
        strMutexName, strFileName;
    uint16_t au16Version[4] = {0, 0, 0, 0};
    bool fDpiAware = false, fLongPathAware = false;
    std::vector<uint8_t> abIcon; /**< the whole .ico file (the default icon if none given) */
};

/** Checks the identity options, each refusal naming the option and value,
 *  and fills in the defaults (abDefaultIcon: the built-in icon's file). */
bool PackCheckIdentity(const PackIdentityOptions &options, const std::vector<uint8_t> &abDefaultIcon,
                       PackIdentity &identity, std::string &strError);

#endif /* PACK_CHECKS_H */
