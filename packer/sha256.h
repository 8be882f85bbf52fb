/** @file
 * SHA-256 for the packer's own check of a signature's file hash (a host
 * without osslsigncode has no other tool to ask).
 */
#ifndef PACK_SHA256_H
#define PACK_SHA256_H

#include <cstddef>
#include <cstdint>

/** A running SHA-256: Update any number of times, then Final once. */
struct PackSha256
{
    uint32_t auState[8];
    uint64_t cbTotal;
    uint8_t abBlock[64];
    size_t cbBlock;

    PackSha256();
    void Update(const void *pv, size_t cb);
    /** Writes the 32-byte digest; the object must not be updated after. */
    void Final(uint8_t abDigest[32]);
};

#endif /* PACK_SHA256_H */
