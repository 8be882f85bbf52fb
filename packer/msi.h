/** @file
 * The packer's reader of Windows Installer packages: compound files, read
 * a sector at a time. It reads the header, the allocation-table sectors a
 * stream's chain passes through, the directory and the one stream asked
 * for, never the whole file; every sector number, chain and size is
 * checked, so a corrupt file is refused with a reason, never loops.
 */
#ifndef PACK_MSI_H
#define PACK_MSI_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

/** Where the compound file's bytes come from. */
struct PackMsiSource
{
    /** Reads exactly cb bytes at offset off into pv; false on failure or
     *  when they lie past cbSize. */
    bool (*pfnRead)(void *pvUser, uint64_t off, void *pv, size_t cb);
    void *pvUser;
    uint64_t cbSize; /**< the file's size */
};

/** A source reading an open file (fseek and fread). */
PackMsiSource PackMsiFileSource(FILE *pFile, uint64_t cbSize);

/** Reads the stream of the root storage named pszName (ASCII, a leading
 *  "\005" byte allowed: "\005SummaryInformation"), at most cbMax bytes.
 *  Returns true with fFound false when the file has no such stream; false
 *  with strError the reason ("sector 12 lies past the end of the file")
 *  when the file is no well-formed compound file or the stream is larger
 *  than cbMax. */
bool PackMsiReadStream(const PackMsiSource &source, const char *pszName, size_t cbMax, std::vector<uint8_t> &abStream,
                       bool &fFound, std::string &strError);

/** The package's Template summary property (PID 7, "x64;1033"), as UTF-8;
 *  empty when the package has no summary information or no Template. False
 *  with strError the reason when the file or its summary information is
 *  malformed. */
bool PackMsiReadTemplate(const PackMsiSource &source, std::string &strTemplate, std::string &strError);

#endif /* PACK_MSI_H */
