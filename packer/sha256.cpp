/** @file
 * SHA-256 (FIPS 180-4), one 64-byte block at a time.
 */
#include "sha256.h"

#include <cstring>

namespace
{

const uint32_t g_auRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

uint32_t rotr(uint32_t u, unsigned c)
{
    return (u >> c) | (u << (32 - c));
}

void compress(uint32_t auState[8], const uint8_t *pb)
{
    uint32_t w[64];
    for (unsigned i = 0; i < 16; i++)
        w[i] = uint32_t(pb[4 * i]) << 24 | uint32_t(pb[4 * i + 1]) << 16 | uint32_t(pb[4 * i + 2]) << 8 | pb[4 * i + 3];
    for (unsigned i = 16; i < 64; i++)
    {
        uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
        uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    uint32_t a = auState[0], b = auState[1], c = auState[2], d = auState[3];
    uint32_t e = auState[4], f = auState[5], g = auState[6], h = auState[7];
    for (unsigned i = 0; i < 64; i++)
    {
        uint32_t t1 = h + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + ((e & f) ^ (~e & g)) + g_auRound[i] + w[i];
        uint32_t t2 = (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
        h = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + t2;
    }
    auState[0] += a;
    auState[1] += b;
    auState[2] += c;
    auState[3] += d;
    auState[4] += e;
    auState[5] += f;
    auState[6] += g;
    auState[7] += h;
}

} // namespace

PackSha256::PackSha256()
    : auState{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19},
      cbTotal(0), abBlock{}, cbBlock(0)
{
}

void PackSha256::Update(const void *pv, size_t cb)
{
    const uint8_t *pb = static_cast<const uint8_t *>(pv);
    cbTotal += cb;
    while (cb > 0)
    {
        size_t cbTake = sizeof(abBlock) - cbBlock < cb ? sizeof(abBlock) - cbBlock : cb;
        memcpy(abBlock + cbBlock, pb, cbTake);
        cbBlock += cbTake;
        pb += cbTake;
        cb -= cbTake;
        if (cbBlock == sizeof(abBlock))
        {
            compress(auState, abBlock);
            cbBlock = 0;
        }
    }
}

void PackSha256::Final(uint8_t abDigest[32])
{
    uint64_t cBits = cbTotal * 8;
    uint8_t abPad[72] = {0x80};
    // The padding ends the message at 56 bytes into a block, then the length.
    size_t cbPad = (cbBlock < 56 ? 56 : 120) - cbBlock;
    for (unsigned i = 0; i < 8; i++)
        abPad[cbPad + i] = uint8_t(cBits >> (56 - 8 * i));
    Update(abPad, cbPad + 8);
    for (unsigned i = 0; i < 8; i++)
        for (unsigned j = 0; j < 4; j++)
            abDigest[4 * i + j] = uint8_t(auState[i] >> (24 - 8 * j));
}
