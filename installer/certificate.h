/** @file
 * The certificates the launcher carries (the publisher's code-signing
 * certificate): the data resource "CERTS" (type RT_RCDATA, language 1033)
 * of each launcher, written by its container writer.
 *
 * The resource: the 8 bytes STUB_CERTS_MAGIC (no terminator), a u32
 * count (little-endian), then per certificate a u32 length (little-endian,
 * above 0) and that many DER bytes; nothing after the last one. Every
 * launcher has it, with a count of 0 when it carries no certificate.
 */
#ifndef STUB_CERTIFICATE_H
#define STUB_CERTIFICATE_H

#include <stddef.h>
#include <stdint.h>

/** The local machine's store of publishers whose signed code is trusted:
 *  with our certificate there, the installer's signed drivers and
 *  components install without asking. */
#define STUB_CERT_STORE_NAME "TrustedPublisher"

/** The certificate table's first bytes (8, no terminator). */
#define STUB_CERTS_MAGIC "QuorCrV1"
/** Where the first entry of a certificate table starts: after the magic
 *  and the count. */
#define STUB_CERTS_FIRST_ENTRY 12

/** One DER-encoded certificate within a certificate table. */
struct CarriedCertificate
{
    const uint8_t *pbData;
    uint32_t cbData;
};

/**
 * Checks the bytes of a certificate table before any of it is used: the
 * magic, the count, and entries that each fit the data with a length
 * above 0 and end it exactly. Plain byte checks, no platform call.
 * @param pcCertificates out: the count; untouched on failure.
 * @returns 0; ERR_INVALID_MAGIC for data shorter than the magic or with
 *          another one; ERR_IO_BAD_LENGTH when the count, an entry's
 *          length or its bytes do not fit the data, or bytes follow the
 *          last entry; ERR_NO_DATA for an entry of length 0.
 */
int CheckCarriedCertificates(const void *pvData, size_t cbData, uint32_t *pcCertificates);

/**
 * The entry at *poffEntry of a table that passed CheckCarriedCertificates
 * (the first one at STUB_CERTS_FIRST_ENTRY); moves *poffEntry past it. Call
 * it once per counted entry, no more.
 */
CarriedCertificate NextCarriedCertificate(const void *pvTable, size_t *poffEntry);

/**
 * Puts one DER-encoded certificate into a system certificate store,
 * replacing an equal certificate already there. The store is opened (and
 * created if need be) in the location @a fStoreLocation names; the
 * open-existing flag (CERT_STORE_OPEN_EXISTING_FLAG) is ignored if given.
 * The bytes are handed to the platform as they are.
 *
 * Each failure prints one error message (the runtime's form, on the
 * standard error stream) with the platform's last error as a signed
 * decimal: "Unable to get certificate context: %d" for bytes the platform
 * does not take as a certificate (no store is opened then), "Unable to open
 * certificates store: %d" when the store name cannot be converted or the
 * store opened, "Unable to install certificate: %d" when adding fails.
 *
 * @param fStoreLocation CERT_SYSTEM_STORE_* location and other open flags.
 * @param pszStoreName UTF-8 name of the system store.
 * @returns true when the certificate is in the store, false after a
 *          printed failure. Store handle and certificate context are
 *          released on every path; the store keeps the certificate.
 */
bool AddCertificateToStore(uint32_t fStoreLocation, const char *pszStoreName, const uint8_t *pbCert, uint32_t cbCert);

#endif /* STUB_CERTIFICATE_H */
