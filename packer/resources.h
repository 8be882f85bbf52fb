/** @file
 * The resource section the packer gives a launcher: a tree of types, names
 * and languages, as Windows looks resources up, followed by their data.
 * Small resources are held in memory; packages are copied from their files
 * in fixed-size pieces while the section is written.
 */
#ifndef PACK_RESOURCES_H
#define PACK_RESOURCES_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

/** Resource types and the language of every resource the launcher reads. */
enum : uint16_t
{
    PACK_RT_ICON = 3,
    PACK_RT_RCDATA = 10,
    PACK_RT_GROUP_ICON = 14,
    PACK_RT_VERSION = 16,
    PACK_RT_MANIFEST = 24,
    PACK_LANG_EN_US = 1033,
};

/** A type or name: a number, or (strName not empty) a name. Names are
 *  ASCII upper case, as the platform's lookup upper-cases the names it is
 *  asked for. */
struct PackResId
{
    uint16_t uId = 0;
    std::string strName;
};

/** One resource. Its data is abData, or with strFile set the whole file
 *  strFile of cbFile bytes, read when the section is written. */
struct PackResource
{
    PackResId Type, Name;
    uint16_t uLang = PACK_LANG_EN_US;
    std::vector<uint8_t> abData;
    std::string strFile;
    uint64_t cbFile = 0;
    bool fPageAligned = false; /**< data at a 4096-aligned file offset */
};

/** The laid-out section: the directory (tables, data entries and names)
 *  and where each resource's data lies, as offsets from the section start
 *  in the order of the resources given. */
struct PackResourceLayout
{
    std::vector<uint8_t> abDirectory;
    std::vector<uint64_t> aoffData;
    uint64_t cbSection = 0; /**< up to the end of the last data */
};

/** Lays out the section for a section at RVA uRva whose raw data starts at
 *  a file offset that is a multiple of 4096. Entries are sorted as Windows
 *  requires: named ones first, by their UTF-16 units, then ids ascending.
 *  False with strError set when two resources share type, name and
 *  language, or the section would not fit the 32-bit RVAs. */
bool PackLayoutResources(const std::vector<PackResource> &resources, uint32_t uRva, PackResourceLayout &layout,
                         std::string &strError);

/** Size of the pieces in which files are copied. */
constexpr size_t PACK_COPY_CHUNK = 1024 * 1024;

/** Receives the bytes of the file being written, in order. */
class PackSink
{
  public:
    virtual ~PackSink() = default;
    /** False when writing failed (the sink keeps its error). */
    virtual bool write(const void *pv, size_t cb) = 0;
    /** Writes cb zero bytes. */
    bool zeros(uint64_t cb);
};

/** Writes the section laid out by PackLayoutResources into sink: the
 *  directory, then each resource's data at its offset (zeros between),
 *  up to layout.cbSection. False with strError naming the file when a
 *  package cannot be read or has changed its size. */
bool PackWriteResources(const std::vector<PackResource> &resources, const PackResourceLayout &layout, PackSink &sink,
                        std::string &strError);

#endif /* PACK_RESOURCES_H */

/* The launcher's resources. */
#include "checks.h"

/** The application manifest for an identity, made from the template
 *  (installer/stub.manifest.in's text): its comments left out, the
 *  placeholders filled in. */
std::string PackManifestText(const PackIdentity &identity, const std::string &strTemplate);

/** The version record (VS_VERSIONINFO) for an identity, laid out as the
 *  resource compiler lays it out. */
std::vector<uint8_t> PackVersionRecord(const PackIdentity &identity);

/** The "IDENTITY" blob: "QuorIdV1", then the product title, the product in
 *  sentences, the version text and the mutex name, each NUL-terminated. */
std::vector<uint8_t> PackIdentityBlob(const PackIdentity &identity);

/** Appends the identity's resources: every image of the icon (RT_ICON
 *  1..n) and its group (RT_GROUP_ICON 1), the manifest (RT_MANIFEST 1),
 *  the version record (RT_VERSION 1) and RCDATA "IDENTITY". False with
 *  strError set when the icon's directory does not fit its file. */
bool PackAddIdentityResources(const PackIdentity &identity, std::vector<PackResource> &resources,
                              std::string &strError);

/** Appends the payload container: RCDATA "MANIFEST" ("QuorInstV1"
 *  NUL-padded to 15 bytes and the package count), per package "HDR_NN"
 *  (its header) and "BIN_NN" (its file, page-aligned), "CERTS"
 *  ("QuorCrV1", a u32 count, each certificate as a u32 length and its
 *  DER bytes) and, when strSplash is not empty, the splash picture as PNG
 *  102. Packages must have been completed by PackCheckPackages. */
void PackAddContainerResources(const std::vector<PackPackage> &packages, const std::vector<std::vector<uint8_t>> &certs,
                               const std::string &strSplash, uint64_t cbSplash, std::vector<PackResource> &resources);
