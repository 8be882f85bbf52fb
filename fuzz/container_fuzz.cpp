/* Fuzzes the launcher's checks of its payload container: a manifest and
   package headers from fuzzed bytes, through the very functions the
   launcher calls on its resources (installer/payload-check.cpp).
   Input: a sequence of resources, each a little-endian 16-bit length and
   that many bytes (the last one cut where the input ends); the first is the
   manifest, the others the headers "HDR_00".. in order. Each resource gets
   a heap block of exactly its size, so ASan sees any read past it.
   Oracles, written independently of the checks: a manifest passes only at
   16 bytes with the magic; a header passes only at 256 bytes with both
   names terminated within their fields and a file name that is one plain
   path component (not empty, ".", "..", and no '\\', '/' or ':'), so a
   package written under it stays in the extraction directory. */
#include <zolt/err.h>

#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <vector>

#include "payload.h"

namespace
{

bool oracleManifest(const uint8_t *pb, size_t cb)
{
    static const char s_abMagic[15] = {'Q', 'u', 'o', 'r', 'I', 'n', 's', 't', 'V', '1'};
    return cb == 16 && memcmp(pb, s_abMagic, sizeof(s_abMagic)) == 0;
}

bool oracleHeader(const uint8_t *pb, size_t cb)
{
    if (cb != 256)
        return false;
    const uint8_t *pbResource = pb + 4;
    const uint8_t *pbFile = pb + 32;
    size_t cchResource = 0;
    while (cchResource < 28 && pbResource[cchResource])
        cchResource++;
    size_t cchFile = 0;
    while (cchFile < 224 && pbFile[cchFile])
        cchFile++;
    if (cchResource == 28 || cchFile == 224 || cchFile == 0)
        return false;
    if ((cchFile == 1 && pbFile[0] == '.') || (cchFile == 2 && pbFile[0] == '.' && pbFile[1] == '.'))
        return false;
    for (size_t i = 0; i < cchFile; i++)
        if (pbFile[i] == '\\' || pbFile[i] == '/' || pbFile[i] == ':')
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pbData, size_t cbData)
{
    std::vector<std::vector<uint8_t>> Resources;
    while (cbData >= 2 && Resources.size() < 300)
    {
        size_t cb = pbData[0] | (size_t)pbData[1] << 8;
        pbData += 2;
        cbData -= 2;
        if (cb > cbData)
            cb = cbData;
        Resources.emplace_back(pbData, pbData + cb);
        pbData += cb;
        cbData -= cb;
    }
    if (Resources.empty())
        return 0;

    /* Exact-size heap copies: ASan catches a read past the resource. */
    auto check = [](const std::vector<uint8_t> &Res, int (*pfnCheck)(const void *, size_t)) {
        uint8_t *pb = (uint8_t *)malloc(Res.size() ? Res.size() : 1);
        if (!Res.empty())
            memcpy(pb, Res.data(), Res.size());
        int rc = pfnCheck(pb, Res.size());
        free(pb);
        return rc;
    };

    int rc = check(Resources[0], CheckPayloadManifest);
    if (RT_SUCCESS(rc) != oracleManifest(Resources[0].data(), Resources[0].size()))
        abort();
    if (RT_FAILURE(rc) && rc != ERR_IO_BAD_LENGTH && rc != ERR_INVALID_MAGIC)
        abort();
    if (RT_FAILURE(rc))
        return 0;

    /* As the launcher does: the headers the manifest counts, in order. */
    unsigned const cPackages = Resources[0][15];
    for (unsigned i = 0; i < cPackages && i + 1 < Resources.size(); i++)
    {
        const std::vector<uint8_t> &Hdr = Resources[i + 1];
        rc = check(Hdr, CheckPackageHeader);
        if (RT_SUCCESS(rc) != oracleHeader(Hdr.data(), Hdr.size()))
            abort();
        if (RT_FAILURE(rc) && rc != ERR_IO_BAD_LENGTH && rc != ERR_INVALID_NAME)
            abort();
    }
    return 0;
}
