/** @file
 * The packer's DER, PEM and X.509 reading: just what its certificate checks
 * need. Every element is read with its bounds checked against the bytes it
 * lies in; nothing here allocates except the outputs, and nothing throws.
 */
#ifndef PACK_DER_H
#define PACK_DER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

/** One DER element (tag, length, contents), pointing into the caller's bytes. */
struct PackDerTlv
{
    uint8_t bTag = 0;                   /**< the identifier octet (low tag numbers only) */
    const uint8_t *pbContent = nullptr; /**< the contents */
    size_t cbContent = 0;
    size_t cbTotal = 0; /**< tag, length and contents */
};

/** DER tags the packer reads. */
enum : uint8_t
{
    PACK_DER_BOOLEAN = 0x01,
    PACK_DER_INTEGER = 0x02,
    PACK_DER_OCTET_STRING = 0x04,
    PACK_DER_OID = 0x06,
    PACK_DER_SEQUENCE = 0x30,
    PACK_DER_SET = 0x31,
    PACK_DER_CONTEXT_0 = 0xA0, /**< [0], constructed */
    PACK_DER_CONTEXT_1 = 0xA1,
    PACK_DER_CONTEXT_3 = 0xA3,
};

/** Reads the element at the start of pb[0..cb): a low tag number (not 0x1F)
 *  and a definite length of at most four length bytes whose contents fit
 *  cb. False, with tlv untouched, when it does not; trailing bytes after
 *  the element are left to the caller (tlv.cbTotal tells where it ends). */
bool PackDerRead(const uint8_t *pb, size_t cb, PackDerTlv &tlv);

/** Reads the element at the start of pb[0..cb) and requires its tag to be
 *  bTag. */
bool PackDerExpect(const uint8_t *pb, size_t cb, uint8_t bTag, PackDerTlv &tlv);

/** A cursor over the elements of a constructed element's contents, in order. */
struct PackDerCursor
{
    const uint8_t *pb;
    size_t cb;
    /** Starts at the contents of tlv. */
    explicit PackDerCursor(const PackDerTlv &tlv) : pb(tlv.pbContent), cb(tlv.cbContent)
    {
    }
    bool AtEnd() const
    {
        return cb == 0;
    }
    /** Reads the next element and steps over it; false (cursor unmoved) when
     *  there is none or it is malformed. */
    bool Next(PackDerTlv &tlv);
    /** The next element if its tag is bTag (stepping over it), else false
     *  with the cursor unmoved: for OPTIONAL fields. */
    bool NextIf(uint8_t bTag, PackDerTlv &tlv);
};

/** An OBJECT IDENTIFIER's contents as dotted text ("1.3.6.1.5.5.7.3.3");
 *  empty when malformed (empty, a truncated arc, an arc over 64 bits). */
std::string PackDerOidText(const PackDerTlv &oid);

/** The fields of an X.509 certificate the packer looks at, pointing into
 *  the certificate's bytes. */
struct PackX509
{
    PackDerTlv Serial;                     /**< the INTEGER */
    PackDerTlv Issuer;                     /**< the Name SEQUENCE */
    PackDerTlv Subject;                    /**< the Name SEQUENCE */
    PackDerTlv SubjectPublicKeyInfo;       /**< the SEQUENCE (key algorithm and key) */
    bool fHasExtKeyUsage = false;          /**< 2.5.29.37 is present */
    std::vector<std::string> ExtKeyUsages; /**< its OIDs, dotted, in order */
};

/** The extended key usage for code signing. */
#define PACK_OID_CODE_SIGNING "1.3.6.1.5.5.7.3.3"

/** Parses a DER certificate filling pb[0..cb) exactly. False when it is no
 *  certificate (any field malformed, an extended key usage extension that
 *  is no SEQUENCE OF OID, bytes after it); cert's contents are then
 *  unspecified. */
bool PackX509Parse(const uint8_t *pb, size_t cb, PackX509 &cert);

/** A Name as one line of text, the way openssl shows it with
 *  -nameopt utf8,sep_comma_plus_space: "CN=Example, O=Example Ltd" (short
 *  attribute names where known, else the dotted OID; values as UTF-8, with
 *  the characters RFC 2253 escapes backslash-escaped). */
std::string PackX509NameText(const PackDerTlv &name);

/** The name openssl gives an extended key usage ("Code Signing", "TLS Web
 *  Server Authentication", ...), or the dotted OID itself when it has none. */
std::string PackExtKeyUsageName(const std::string &strOid);

/** Finds the signer's certificate of a PKCS#7 SignedData (a ContentInfo
 *  filling pb[0..cb), as a signed file's signature holds it): the one among
 *  the certificates it carries whose issuer and serial number the first
 *  SignerInfo names. False when the data is malformed, carries no
 *  SignerInfo naming its signer that way, or lacks that certificate. */
bool PackPkcs7Signer(const uint8_t *pb, size_t cb, PackDerTlv &signerCertificate);

/** Finds the text "-----BEGIN <label>-----" at the start of text (after
 *  white space) and returns the label; false when the text does not start
 *  that way. Labels are upper-case letters, digits and spaces. */
bool PackPemLabel(const uint8_t *pb, size_t cb, std::string &strLabel);

/** Decodes, in order, every block "-----BEGIN <pszLabel>-----" base64
 *  "-----END <pszLabel>-----" of the text; blocks of other labels are
 *  skipped. False when a block of that label is unterminated or its base64
 *  is malformed (abBlocks then holds the blocks before it). */
bool PackPemDecode(const uint8_t *pb, size_t cb, const char *pszLabel, std::vector<std::vector<uint8_t>> &abBlocks);

#endif /* PACK_DER_H */
