/** @file
 * SHA-256 against the standard's own examples and the system's sha256sum,
 * fed whole and in pieces that cross the 64-byte blocks.
 */
#include <gtest/gtest.h>
#include <string>

#include "sha256.h"

namespace
{

std::string hexDigest(const std::string &strData, size_t cbPiece)
{
    PackSha256 sha;
    for (size_t off = 0; off < strData.size(); off += cbPiece)
        sha.Update(strData.data() + off, std::min(cbPiece, strData.size() - off));
    uint8_t ab[32];
    sha.Final(ab);
    std::string str;
    char sz[3];
    for (uint8_t b : ab)
    {
        snprintf(sz, sizeof(sz), "%02x", b);
        str += sz;
    }
    return str;
}

TEST(PackSha256, KnownDigests)
{
    const struct
    {
        std::string strData;
        const char *pszDigest;
    } aCases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        /* 56 bytes: the length no longer fits the first block. */
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        /* 55 and 64 bytes: the edges on either side (from sha256sum). */
        {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
        {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto &c : aCases)
        for (size_t cbPiece : {size_t(1), size_t(63), size_t(1) << 20})
            EXPECT_EQ(hexDigest(c.strData, cbPiece), c.pszDigest)
                << c.strData.size() << " bytes, pieces of " << cbPiece;
}

} // namespace
