/** @file
 * The checks every manifest and package header of the payload container
 * passes before the launcher uses it. Plain byte checks without any
 * platform call, so the fuzz target runs this very code on Linux.
 */
#include <zolt/err.h>

#include <string.h>

#include "payload.h"

int CheckPayloadManifest(const void *pvData, size_t cbData)
{
    if (cbData != sizeof(PayloadManifest))
        return ERR_IO_BAD_LENGTH;
    /* The magic is NUL-padded to its field: compare the whole field. */
    static const char s_szMagic[sizeof(((PayloadManifest *)0)->szMagic)] = PAYLOAD_MANIFEST_MAGIC;
    if (memcmp(((const PayloadManifest *)pvData)->szMagic, s_szMagic, sizeof(s_szMagic)) != 0)
        return ERR_INVALID_MAGIC;
    return 0;
}

/** A file name that stays inside the directory it is joined to. */
static bool rtStubIsPlainFileName(const char *pszName)
{
    return pszName[0] != '\0' && strcmp(pszName, ".") != 0 && strcmp(pszName, "..") != 0 && !strpbrk(pszName, "\\/:");
}

int CheckPackageHeader(const void *pvData, size_t cbData)
{
    if (cbData != sizeof(PackageHeader))
        return ERR_IO_BAD_LENGTH;
    const PackageHeader *pHdr = (const PackageHeader *)pvData;
    if (!memchr(pHdr->szResourceName, '\0', sizeof(pHdr->szResourceName)) ||
        !memchr(pHdr->szFileName, '\0', sizeof(pHdr->szFileName)) || !rtStubIsPlainFileName(pHdr->szFileName))
        return ERR_INVALID_NAME;
    return 0;
}
