/** @file
 * The checks of the carried certificate table. Plain byte checks without
 * any platform call, so the fuzz target runs this very code on Linux.
 */
#include <zolt/err.h>

#include <string.h>

#include "certificate.h"

/** The little-endian u32 at @a pb. */
static uint32_t rtStubReadU32(const uint8_t *pb)
{
    return (uint32_t)pb[0] | (uint32_t)pb[1] << 8 | (uint32_t)pb[2] << 16 | (uint32_t)pb[3] << 24;
}

int CheckCarriedCertificates(const void *pvData, size_t cbData, uint32_t *pcCertificates)
{
    const uint8_t *pb = (const uint8_t *)pvData;
    const size_t cbMagic = sizeof(STUB_CERTS_MAGIC) - 1;
    if (cbData < cbMagic || memcmp(pb, STUB_CERTS_MAGIC, cbMagic) != 0)
        return ERR_INVALID_MAGIC;
    if (cbData < STUB_CERTS_FIRST_ENTRY)
        return ERR_IO_BAD_LENGTH;
    uint32_t const cCertificates = rtStubReadU32(pb + cbMagic);
    size_t off = STUB_CERTS_FIRST_ENTRY;
    for (uint32_t i = 0; i < cCertificates; i++)
    {
        /* Compared against what is left, never added to the offset
           first: a length near 4 GiB must not wrap on 32-bit hosts. */
        if (cbData - off < 4)
            return ERR_IO_BAD_LENGTH;
        uint32_t const cbCert = rtStubReadU32(pb + off);
        off += 4;
        if (cbCert == 0)
            return ERR_NO_DATA;
        if (cbData - off < cbCert)
            return ERR_IO_BAD_LENGTH;
        off += cbCert;
    }
    if (off != cbData)
        return ERR_IO_BAD_LENGTH;
    *pcCertificates = cCertificates;
    return 0;
}

CarriedCertificate NextCarriedCertificate(const void *pvTable, size_t *poffEntry)
{
    const uint8_t *pbEntry = (const uint8_t *)pvTable + *poffEntry;
    CarriedCertificate Cert = {pbEntry + 4, rtStubReadU32(pbEntry)};
    *poffEntry += 4 + (size_t)Cert.cbData;
    return Cert;
}
