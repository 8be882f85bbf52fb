/* Fuzzes the launcher's checks of its own data resources, through the very
   functions the launcher calls on them (installer/identity-check.cpp,
   installer/certificate-check.cpp). Input: one byte choosing the resource
   (even: the identity "IDENTITY", odd: the certificate table "CERTS"),
   then its bytes, in a heap block of exactly their size so ASan sees any
   read past it.
   Oracles, written independently of the checks: an identity passes only
   as "QuorIdV1" and exactly four terminated texts ending the data, each of
   1 to 512 bytes without control characters that decode under the
   recoding rules, the last one at most 260 UTF-16 units with a backslash
   only after "Global" or "Local" and a name after it; a certificate table
   passes only as "QuorCrV1", a count, and that many entries of a length
   above 0 and its bytes, ending the data. A table that passes is walked
   entry by entry and must yield exactly the oracle's entries. */
#include <zolt/err.h>

#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>

#include "certificate.h"
#include "identity.h"
#include "utfref.h"

namespace
{

/** The oracle's texts of an identity, or none when it must be refused. */
bool oracleIdentity(const uint8_t *pb, size_t cb, std::vector<std::string> *pTexts)
{
    if (cb < 8 || memcmp(pb, "QuorIdV1", 8) != 0)
        return false;
    std::string strRest((const char *)pb + 8, cb - 8);
    std::vector<std::string> Texts;
    while (!strRest.empty() && Texts.size() < 5)
    {
        size_t offNul = strRest.find('\0');
        if (offNul == std::string::npos)
            return false;
        Texts.push_back(strRest.substr(0, offNul));
        strRest.erase(0, offNul + 1);
    }
    if (Texts.size() != 4 || !strRest.empty())
        return false;
    for (const std::string &str : Texts)
    {
        if (str.empty() || str.size() > 512)
            return false;
        for (unsigned char ch : str)
            if (ch < 0x20 || ch == 0x7f)
                return false;
        if (RefDecodeUtf8((const uint8_t *)str.data(), str.size(), true).rc != SUCCESS)
            return false;
    }
    const std::string &strMutex = Texts[3];
    size_t cwc = 0;
    for (uint32_t uCp : RefDecodeUtf8((const uint8_t *)strMutex.data(), strMutex.size(), true).aCps)
        cwc += uCp > 0xffff ? 2 : 1;
    if (cwc > 260)
        return false;
    std::string strName = strMutex;
    for (const char *pszNamespace : {"Global\\", "Local\\"})
        if (strMutex.compare(0, strlen(pszNamespace), pszNamespace) == 0)
            strName = strMutex.substr(strlen(pszNamespace));
    if (strName.empty() || strName.find('\\') != std::string::npos)
        return false;
    *pTexts = Texts;
    return true;
}

/** The oracle's entries of a certificate table, or none when it must be
 *  refused. */
bool oracleTable(const uint8_t *pb, size_t cb, std::vector<std::string> *pCerts)
{
    if (cb < 12 || memcmp(pb, "QuorCrV1", 8) != 0)
        return false;
    uint64_t const cCerts = pb[8] | (uint64_t)pb[9] << 8 | (uint64_t)pb[10] << 16 | (uint64_t)pb[11] << 24;
    std::vector<std::string> Certs;
    uint64_t off = 12;
    for (uint64_t i = 0; i < cCerts; i++)
    {
        if (off + 4 > cb)
            return false;
        uint64_t const cbCert =
            pb[off] | (uint64_t)pb[off + 1] << 8 | (uint64_t)pb[off + 2] << 16 | (uint64_t)pb[off + 3] << 24;
        if (cbCert == 0 || off + 4 + cbCert > cb)
            return false;
        Certs.emplace_back((const char *)pb + off + 4, (size_t)cbCert);
        off += 4 + cbCert;
    }
    if (off != cb)
        return false;
    *pCerts = Certs;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pbData, size_t cbData)
{
    if (cbData < 1)
        return 0;
    bool const fIdentity = (pbData[0] & 1) == 0;
    size_t const cb = cbData - 1;
    /* Exact-size heap copy: ASan catches a read past the resource. */
    uint8_t *pb = (uint8_t *)malloc(cb ? cb : 1);
    memcpy(pb, pbData + 1, cb);

    if (fIdentity)
    {
        std::vector<std::string> Texts;
        bool const fPass = oracleIdentity(pb, cb, &Texts);
        StubIdentityTexts Got = {NULL, NULL, NULL, NULL};
        int rc = CheckStubIdentity(pb, cb, &Got);
        FUZZ_CHECK(RT_SUCCESS(rc) == fPass);
        if (fPass)
        {
            const char *apszGot[] = {Got.pszProductTitle, Got.pszProductName, Got.pszVersionText, Got.pszMutexName};
            for (size_t i = 0; i < 4; i++)
                FUZZ_CHECK(apszGot[i] >= (const char *)pb && apszGot[i] < (const char *)pb + cb &&
                           Texts[i] == apszGot[i]);
        }
        else
            FUZZ_CHECK(!Got.pszProductTitle && !Got.pszMutexName);
    }
    else
    {
        std::vector<std::string> Certs;
        bool const fPass = oracleTable(pb, cb, &Certs);
        uint32_t cCerts = 0xdeadbeef;
        int rc = CheckCarriedCertificates(pb, cb, &cCerts);
        FUZZ_CHECK(RT_SUCCESS(rc) == fPass);
        FUZZ_CHECK(RT_SUCCESS(rc) || rc == ERR_INVALID_MAGIC || rc == ERR_IO_BAD_LENGTH || rc == ERR_NO_DATA);
        if (fPass)
        {
            FUZZ_CHECK(cCerts == Certs.size());
            size_t offEntry = STUB_CERTS_FIRST_ENTRY;
            for (const std::string &strCert : Certs)
            {
                CarriedCertificate Cert = NextCarriedCertificate(pb, &offEntry);
                FUZZ_CHECK(strCert == std::string((const char *)Cert.pbData, Cert.cbData));
            }
            FUZZ_CHECK(offEntry == cb);
        }
        else
            FUZZ_CHECK(cCerts == 0xdeadbeef);
    }
    free(pb);
    return 0;
}
