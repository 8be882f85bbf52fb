/** @file
 * DER, PEM and X.509 reading for the packer's certificate checks.
 */
#include "der.h"

#include <cstring>

bool PackDerRead(const uint8_t *pb, size_t cb, PackDerTlv &tlv)
{
    if (cb < 2 || (pb[0] & 0x1F) == 0x1F)
        return false;
    size_t cbHeader = 2;
    size_t cbContent = pb[1];
    if (cbContent & 0x80)
    {
        /* 0x80 alone is the indefinite form, which DER does not allow. */
        size_t cLengthBytes = cbContent & 0x7F;
        if (cLengthBytes == 0 || cLengthBytes > 4 || cb - 2 < cLengthBytes)
            return false;
        cbContent = 0;
        for (size_t i = 0; i < cLengthBytes; i++)
            cbContent = (cbContent << 8) | pb[2 + i];
        cbHeader += cLengthBytes;
    }
    if (cbContent > cb - cbHeader)
        return false;
    tlv.bTag = pb[0];
    tlv.pbContent = pb + cbHeader;
    tlv.cbContent = cbContent;
    tlv.cbTotal = cbHeader + cbContent;
    return true;
}

bool PackDerExpect(const uint8_t *pb, size_t cb, uint8_t bTag, PackDerTlv &tlv)
{
    PackDerTlv next;
    if (!PackDerRead(pb, cb, next) || next.bTag != bTag)
        return false;
    tlv = next;
    return true;
}

bool PackDerCursor::Next(PackDerTlv &tlv)
{
    if (!PackDerRead(pb, cb, tlv))
        return false;
    pb += tlv.cbTotal;
    cb -= tlv.cbTotal;
    return true;
}

bool PackDerCursor::NextIf(uint8_t bTag, PackDerTlv &tlv)
{
    if (cb == 0 || pb[0] != bTag)
        return false;
    return Next(tlv);
}

std::string PackDerOidText(const PackDerTlv &oid)
{
    std::string strText;
    uint64_t uArc = 0;
    bool fFirst = true;
    for (size_t i = 0; i < oid.cbContent; i++)
    {
        uint8_t b = oid.pbContent[i];
        if (uArc >> 57)
            return std::string();
        uArc = (uArc << 7) | (b & 0x7F);
        if (b & 0x80)
            continue;
        if (fFirst)
        {
            /* The first byte holds the first two arcs: 40 * X + Y, X at most 2. */
            uint64_t uTop = uArc < 80 ? uArc / 40 : 2;
            strText = std::to_string(uTop) + "." + std::to_string(uArc - 40 * uTop);
            fFirst = false;
        }
        else
        {
            /* Appended in two steps: GCC 12 at -O3 warns falsely (-Wrestrict)
             * about "." + std::string inlined into an append. */
            strText += '.';
            strText += std::to_string(uArc);
        }
        uArc = 0;
    }
    if (oid.cbContent == 0 || (oid.pbContent[oid.cbContent - 1] & 0x80))
        return std::string();
    return strText;
}

/** Whether oid's contents are the dotted OID pszDotted. */
static bool packDerOidIs(const PackDerTlv &oid, const char *pszDotted)
{
    return oid.bTag == PACK_DER_OID && PackDerOidText(oid) == pszDotted;
}

/** The extended key usage extension's value: SEQUENCE OF OBJECT IDENTIFIER. */
static bool packX509ReadExtKeyUsage(const PackDerTlv &value, PackX509 &cert)
{
    PackDerTlv seq;
    if (!PackDerExpect(value.pbContent, value.cbContent, PACK_DER_SEQUENCE, seq) || seq.cbTotal != value.cbContent)
        return false;
    PackDerCursor usages(seq);
    PackDerTlv oid;
    while (!usages.AtEnd())
    {
        if (!usages.NextIf(PACK_DER_OID, oid))
            return false;
        std::string strOid = PackDerOidText(oid);
        if (strOid.empty())
            return false;
        cert.ExtKeyUsages.push_back(strOid);
    }
    cert.fHasExtKeyUsage = true;
    return true;
}

/** The [3] extensions of a TBSCertificate: SEQUENCE OF Extension. */
static bool packX509ReadExtensions(const PackDerTlv &explicitTag, PackX509 &cert)
{
    PackDerTlv list;
    if (!PackDerExpect(explicitTag.pbContent, explicitTag.cbContent, PACK_DER_SEQUENCE, list) ||
        list.cbTotal != explicitTag.cbContent)
        return false;
    PackDerCursor extensions(list);
    while (!extensions.AtEnd())
    {
        PackDerTlv extension, oid, critical, value;
        if (!extensions.NextIf(PACK_DER_SEQUENCE, extension))
            return false;
        PackDerCursor fields(extension);
        if (!fields.NextIf(PACK_DER_OID, oid))
            return false;
        (void)fields.NextIf(PACK_DER_BOOLEAN, critical); /* optional, DEFAULT FALSE */
        if (!fields.NextIf(PACK_DER_OCTET_STRING, value) || !fields.AtEnd())
            return false;
        if (packDerOidIs(oid, "2.5.29.37"))
        {
            if (cert.fHasExtKeyUsage || !packX509ReadExtKeyUsage(value, cert))
                return false;
        }
    }
    return true;
}

bool PackX509Parse(const uint8_t *pb, size_t cb, PackX509 &cert)
{
    cert = PackX509();
    PackDerTlv certificate, tbs, version, algorithm, validity, unused, extensions;
    if (!PackDerExpect(pb, cb, PACK_DER_SEQUENCE, certificate) || certificate.cbTotal != cb)
        return false;
    PackDerCursor outer(certificate);
    if (!outer.NextIf(PACK_DER_SEQUENCE, tbs))
        return false;
    PackDerCursor fields(tbs);
    (void)fields.NextIf(PACK_DER_CONTEXT_0, version); /* absent: version 1 */
    if (!fields.NextIf(PACK_DER_INTEGER, cert.Serial) || !fields.NextIf(PACK_DER_SEQUENCE, algorithm) ||
        !fields.NextIf(PACK_DER_SEQUENCE, cert.Issuer) || !fields.NextIf(PACK_DER_SEQUENCE, validity) ||
        !fields.NextIf(PACK_DER_SEQUENCE, cert.Subject) || !fields.NextIf(PACK_DER_SEQUENCE, cert.SubjectPublicKeyInfo))
        return false;
    /* The unique identifiers [1] and [2] (primitive, implicit BIT STRINGs). */
    (void)fields.NextIf(0x81, unused);
    (void)fields.NextIf(0x82, unused);
    if (fields.NextIf(PACK_DER_CONTEXT_3, extensions) && !packX509ReadExtensions(extensions, cert))
        return false;
    if (!fields.AtEnd())
        return false;
    /* signatureAlgorithm and signatureValue follow the TBSCertificate. */
    PackDerTlv signatureAlgorithm, signature;
    return outer.NextIf(PACK_DER_SEQUENCE, signatureAlgorithm) && outer.NextIf(0x03, signature) && outer.AtEnd();
}

/** Whether two elements have the same bytes. */
static bool packDerSame(const PackDerTlv &a, const PackDerTlv &b)
{
    return a.cbTotal == b.cbTotal && a.cbContent == b.cbContent &&
           memcmp(a.pbContent - (a.cbTotal - a.cbContent), b.pbContent - (b.cbTotal - b.cbContent), a.cbTotal) == 0;
}

bool PackPkcs7Signer(const uint8_t *pb, size_t cb, PackDerTlv &signerCertificate)
{
    /* ContentInfo { signedData OID, [0] EXPLICIT SignedData { version,
     * digestAlgorithms, encapContentInfo, [0] IMPLICIT certificates,
     * [1] IMPLICIT crls, signerInfos } } */
    PackDerTlv contentInfo, oid, explicitTag, signedData, version, digests, content, certificates, crls, signerInfos;
    if (!PackDerExpect(pb, cb, PACK_DER_SEQUENCE, contentInfo))
        return false;
    PackDerCursor info(contentInfo);
    if (!info.NextIf(PACK_DER_OID, oid) || !packDerOidIs(oid, "1.2.840.113549.1.7.2") ||
        !info.NextIf(PACK_DER_CONTEXT_0, explicitTag) ||
        !PackDerExpect(explicitTag.pbContent, explicitTag.cbContent, PACK_DER_SEQUENCE, signedData))
        return false;
    PackDerCursor fields(signedData);
    if (!fields.NextIf(PACK_DER_INTEGER, version) || !fields.NextIf(PACK_DER_SET, digests) ||
        !fields.NextIf(PACK_DER_SEQUENCE, content) || !fields.NextIf(PACK_DER_CONTEXT_0, certificates))
        return false;
    (void)fields.NextIf(PACK_DER_CONTEXT_1, crls);
    PackDerTlv signerInfo, signerVersion, sid, issuer, serial;
    if (!fields.NextIf(PACK_DER_SET, signerInfos))
        return false;
    PackDerCursor signers(signerInfos);
    if (!signers.NextIf(PACK_DER_SEQUENCE, signerInfo))
        return false;
    /* The signer as IssuerAndSerialNumber (version 1). */
    PackDerCursor signerFields(signerInfo);
    if (!signerFields.NextIf(PACK_DER_INTEGER, signerVersion) || !signerFields.NextIf(PACK_DER_SEQUENCE, sid))
        return false;
    PackDerCursor sidFields(sid);
    if (!sidFields.NextIf(PACK_DER_SEQUENCE, issuer) || !sidFields.NextIf(PACK_DER_INTEGER, serial))
        return false;
    PackDerCursor carried(certificates);
    PackDerTlv certificate;
    while (carried.Next(certificate))
    {
        PackX509 x509;
        const uint8_t *pbCert = certificate.pbContent - (certificate.cbTotal - certificate.cbContent);
        if (certificate.bTag == PACK_DER_SEQUENCE && PackX509Parse(pbCert, certificate.cbTotal, x509) &&
            packDerSame(x509.Issuer, issuer) && packDerSame(x509.Serial, serial))
        {
            signerCertificate = certificate;
            return true;
        }
    }
    return false;
}

/** Appends the UTF-8 encoding of the code point uc. */
static void packUtf8Append(std::string &str, uint32_t uc)
{
    if (uc > 0x10FFFF || (uc >= 0xD800 && uc <= 0xDFFF))
        uc = 0xFFFD;
    if (uc < 0x80)
        str += char(uc);
    else if (uc < 0x800)
    {
        str += char(0xC0 | (uc >> 6));
        str += char(0x80 | (uc & 0x3F));
    }
    else if (uc < 0x10000)
    {
        str += char(0xE0 | (uc >> 12));
        str += char(0x80 | ((uc >> 6) & 0x3F));
        str += char(0x80 | (uc & 0x3F));
    }
    else
    {
        str += char(0xF0 | (uc >> 18));
        str += char(0x80 | ((uc >> 12) & 0x3F));
        str += char(0x80 | ((uc >> 6) & 0x3F));
        str += char(0x80 | (uc & 0x3F));
    }
}

/** An attribute value as UTF-8 text. */
static std::string packX509ValueText(const PackDerTlv &value)
{
    std::string str;
    const uint8_t *pb = value.pbContent;
    size_t cb = value.cbContent;
    switch (value.bTag)
    {
        case 0x1E: /* BMPString: UTF-16 big-endian */
            for (size_t i = 0; i + 1 < cb; i += 2)
            {
                uint32_t uc = uint32_t(pb[i] << 8 | pb[i + 1]);
                if (uc >= 0xD800 && uc < 0xDC00 && i + 3 < cb)
                {
                    uint32_t ucLow = uint32_t(pb[i + 2] << 8 | pb[i + 3]);
                    if (ucLow >= 0xDC00 && ucLow < 0xE000)
                    {
                        uc = 0x10000 + ((uc - 0xD800) << 10) + (ucLow - 0xDC00);
                        i += 2;
                    }
                }
                packUtf8Append(str, uc);
            }
            return str;
        case 0x1C: /* UniversalString: UTF-32 big-endian */
            for (size_t i = 0; i + 3 < cb; i += 4)
                packUtf8Append(str, uint32_t(pb[i]) << 24 | uint32_t(pb[i + 1]) << 16 | uint32_t(pb[i + 2]) << 8 |
                                        pb[i + 3]);
            return str;
        case 0x14: /* TeletexString: taken as Latin-1 */
            for (size_t i = 0; i < cb; i++)
                packUtf8Append(str, pb[i]);
            return str;
        default: /* UTF8String, PrintableString, IA5String and the like */
            return std::string(reinterpret_cast<const char *>(pb), cb);
    }
}

/** The short names of the name attributes certificates use. */
static const struct
{
    const char *pszOid;
    const char *pszName;
} g_aNameAttributes[] = {
    {"2.5.4.3", "CN"},
    {"2.5.4.4", "SN"},
    {"2.5.4.5", "serialNumber"},
    {"2.5.4.6", "C"},
    {"2.5.4.7", "L"},
    {"2.5.4.8", "ST"},
    {"2.5.4.9", "street"},
    {"2.5.4.10", "O"},
    {"2.5.4.11", "OU"},
    {"2.5.4.12", "title"},
    {"2.5.4.15", "businessCategory"},
    {"2.5.4.17", "postalCode"},
    {"2.5.4.42", "GN"},
    {"2.5.4.97", "organizationIdentifier"},
    {"1.2.840.113549.1.9.1", "emailAddress"},
    {"0.9.2342.19200300.100.1.1", "UID"},
    {"0.9.2342.19200300.100.1.25", "DC"},
    {"1.3.6.1.4.1.311.60.2.1.3", "jurisdictionC"},
};

std::string PackX509NameText(const PackDerTlv &name)
{
    std::string strText;
    PackDerCursor rdns(name);
    PackDerTlv rdn;
    while (rdns.NextIf(PACK_DER_SET, rdn))
    {
        PackDerCursor attributes(rdn);
        PackDerTlv attribute;
        bool fFirstInRdn = true;
        while (attributes.NextIf(PACK_DER_SEQUENCE, attribute))
        {
            PackDerCursor parts(attribute);
            PackDerTlv oid, value;
            if (!parts.NextIf(PACK_DER_OID, oid) || !parts.Next(value))
                continue;
            std::string strOid = PackDerOidText(oid);
            const char *pszName = strOid.c_str();
            for (const auto &entry : g_aNameAttributes)
                if (strOid == entry.pszOid)
                    pszName = entry.pszName;
            if (!strText.empty())
                strText += fFirstInRdn ? ", " : " + ";
            strText += pszName;
            strText += '=';
            strText += packX509ValueText(value);
            fFirstInRdn = false;
        }
    }
    return strText;
}

std::string PackExtKeyUsageName(const std::string &strOid)
{
    static const struct
    {
        const char *pszOid;
        const char *pszName;
    } s_aUsages[] = {
        {"2.5.29.37.0", "Any Extended Key Usage"},
        {"1.3.6.1.5.5.7.3.1", "TLS Web Server Authentication"},
        {"1.3.6.1.5.5.7.3.2", "TLS Web Client Authentication"},
        {PACK_OID_CODE_SIGNING, "Code Signing"},
        {"1.3.6.1.5.5.7.3.4", "E-mail Protection"},
        {"1.3.6.1.5.5.7.3.8", "Time Stamping"},
        {"1.3.6.1.5.5.7.3.9", "OCSP Signing"},
        {"1.3.6.1.4.1.311.2.1.21", "Microsoft Individual Code Signing"},
        {"1.3.6.1.4.1.311.2.1.22", "Microsoft Commercial Code Signing"},
        {"1.3.6.1.4.1.311.10.3.3", "Microsoft Server Gated Crypto"},
        {"1.3.6.1.4.1.311.10.3.4", "Microsoft Encrypted File System"},
        {"2.16.840.1.113730.4.1", "Netscape Server Gated Crypto"},
    };
    for (const auto &entry : s_aUsages)
        if (strOid == entry.pszOid)
            return entry.pszName;
    return strOid;
}

static bool packIsSpace(uint8_t b)
{
    return b == ' ' || b == '\t' || b == '\n' || b == '\r' || b == '\f' || b == '\v';
}

bool PackPemLabel(const uint8_t *pb, size_t cb, std::string &strLabel)
{
    static const char s_szBegin[] = "-----BEGIN ";
    size_t off = 0;
    while (off < cb && packIsSpace(pb[off]))
        off++;
    if (cb - off < sizeof(s_szBegin) - 1 || memcmp(pb + off, s_szBegin, sizeof(s_szBegin) - 1) != 0)
        return false;
    off += sizeof(s_szBegin) - 1;
    size_t offLabel = off;
    while (off < cb && ((pb[off] >= 'A' && pb[off] <= 'Z') || (pb[off] >= '0' && pb[off] <= '9') || pb[off] == ' '))
        off++;
    if (off == offLabel || cb - off < 5 || memcmp(pb + off, "-----", 5) != 0)
        return false;
    strLabel.assign(reinterpret_cast<const char *>(pb + offLabel), off - offLabel);
    return true;
}

/** The value of a base64 digit, or -1. */
static int packBase64Digit(uint8_t b)
{
    if (b >= 'A' && b <= 'Z')
        return b - 'A';
    if (b >= 'a' && b <= 'z')
        return b - 'a' + 26;
    if (b >= '0' && b <= '9')
        return b - '0' + 52;
    if (b == '+')
        return 62;
    if (b == '/')
        return 63;
    return -1;
}

/** Decodes base64 text (white space ignored, "=" padding only at the end). */
static bool packBase64Decode(const uint8_t *pb, size_t cb, std::vector<uint8_t> &abOut)
{
    uint32_t uBits = 0;
    unsigned cBits = 0, cPadding = 0, cDigits = 0;
    for (size_t i = 0; i < cb; i++)
    {
        if (packIsSpace(pb[i]))
            continue;
        if (pb[i] == '=')
        {
            cPadding++;
            continue;
        }
        int iDigit = packBase64Digit(pb[i]);
        if (iDigit < 0 || cPadding)
            return false;
        cDigits++;
        uBits = (uBits << 6) | unsigned(iDigit);
        cBits += 6;
        if (cBits >= 8)
        {
            cBits -= 8;
            abOut.push_back(uint8_t(uBits >> cBits));
        }
    }
    /* A last group of one digit carries no whole byte; padding completes a group of four. */
    return cDigits % 4 != 1 && cPadding <= 2 && (cPadding == 0 || (cDigits + cPadding) % 4 == 0);
}

/** The offset of the text pszNeedle in pb[off..cb), or cb. */
static size_t packFind(const uint8_t *pb, size_t cb, size_t off, const std::string &strNeedle)
{
    for (; off + strNeedle.size() <= cb; off++)
        if (memcmp(pb + off, strNeedle.data(), strNeedle.size()) == 0)
            return off;
    return cb;
}

bool PackPemDecode(const uint8_t *pb, size_t cb, const char *pszLabel, std::vector<std::vector<uint8_t>> &abBlocks)
{
    const std::string strBegin = std::string("-----BEGIN ") + pszLabel + "-----";
    const std::string strEnd = std::string("-----END ") + pszLabel + "-----";
    size_t off = 0;
    for (;;)
    {
        size_t offBegin = packFind(pb, cb, off, strBegin);
        if (offBegin == cb)
            return true;
        size_t offData = offBegin + strBegin.size();
        size_t offEnd = packFind(pb, cb, offData, strEnd);
        if (offEnd == cb)
            return false;
        std::vector<uint8_t> abBlock;
        if (!packBase64Decode(pb + offData, offEnd - offData, abBlock))
            return false;
        abBlocks.push_back(std::move(abBlock));
        off = offEnd + strEnd.size();
    }
}
