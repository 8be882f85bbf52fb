/* Fuzzes the packer's readers of vendor files: the compound-file reader
   (packer/msi.cpp) that finds a package's Template and signature, and the
   DER, X.509, PKCS#7 and PEM readers (packer/der.cpp).
   Input: one mode byte, then the file. Mode even: the bytes are a package,
   read through a source that refuses (and counts) reads outside them. Mode
   odd: the bytes are a certificate, a signature and a PEM text at once.
   Each input gets a heap block of exactly its size, so ASan sees any read
   past it; libFuzzer's time limit catches a chain followed round a loop.
   Oracles: the reader never asks for bytes outside the file, a stream read
   is no larger than its limit, and every element found lies within the
   bytes it was read from. */
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>

#include "der.h"
#include "msi.h"

namespace
{

struct Memory
{
    const uint8_t *pb;
    size_t cb;
};

bool memoryRead(void *pvUser, uint64_t off, void *pv, size_t cb)
{
    const Memory *pMemory = static_cast<const Memory *>(pvUser);
    if (off > pMemory->cb || pMemory->cb - off < cb)
        abort(); /* the reader checks offsets against the size it was given */
    memcpy(pv, pMemory->pb + off, cb);
    return true;
}

bool within(const PackDerTlv &tlv, const uint8_t *pb, size_t cb)
{
    const uint8_t *pbStart = tlv.pbContent - (tlv.cbTotal - tlv.cbContent);
    return pbStart >= pb && tlv.cbTotal <= cb && pbStart + tlv.cbTotal <= pb + cb;
}

void fuzzPackage(const uint8_t *pb, size_t cb)
{
    Memory memory = {pb, cb};
    PackMsiSource source = {memoryRead, &memory, cb};
    std::string strTemplate, strError;
    (void)PackMsiReadTemplate(source, strTemplate, strError);
    std::vector<uint8_t> abStream;
    bool fFound = false;
    const size_t cbMax = 1 << 16;
    if (PackMsiReadStream(source, "\005DigitalSignature", cbMax, abStream, fFound, strError) && abStream.size() > cbMax)
        abort();
}

void fuzzCertificate(const uint8_t *pb, size_t cb)
{
    PackDerTlv tlv;
    if (PackDerRead(pb, cb, tlv) && !within(tlv, pb, cb))
        abort();
    PackX509 cert;
    if (PackX509Parse(pb, cb, cert))
    {
        if (!within(cert.Subject, pb, cb) || !within(cert.Issuer, pb, cb) || !within(cert.Serial, pb, cb))
            abort();
        (void)PackX509NameText(cert.Subject);
        for (const std::string &strOid : cert.ExtKeyUsages)
            (void)PackExtKeyUsageName(strOid);
    }
    if (PackPkcs7Signer(pb, cb, tlv) && !within(tlv, pb, cb))
        abort();
    std::string strLabel;
    (void)PackPemLabel(pb, cb, strLabel);
    std::vector<std::vector<uint8_t>> blocks;
    (void)PackPemDecode(pb, cb, "CERTIFICATE", blocks);
    size_t cbDecoded = 0;
    for (const std::vector<uint8_t> &ab : blocks)
        cbDecoded += ab.size();
    if (cbDecoded > cb)
        abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pbData, size_t cbData)
{
    if (cbData < 1)
        return 0;
    /* A block of exactly the file's size. */
    size_t cb = cbData - 1;
    uint8_t *pb = static_cast<uint8_t *>(malloc(cb ? cb : 1));
    memcpy(pb, pbData + 1, cb);
    if (pbData[0] & 1)
        fuzzCertificate(pb, cb);
    else
        fuzzPackage(pb, cb);
    free(pb);
    return 0;
}
