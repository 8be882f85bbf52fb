/** @file
 * The certificates the launcher carries (the publisher's code-signing
 * certificate), generated into each launcher by its container writer.
 */
#ifndef STUB_CERTIFICATE_H
#define STUB_CERTIFICATE_H

#include <stddef.h>
#include <stdint.h>

/** The local machine's store of publishers whose signed code is trusted:
 *  with our certificate there, the installer's signed drivers and
 *  components install without asking. */
#define STUB_CERT_STORE_NAME "TrustedPublisher"

/** One DER-encoded certificate in the launcher's read-only data. */
struct CarriedCertificate
{
    const uint8_t *pbData;
    uint32_t cbData;
};

/** The carried certificates, in the order they are installed. */
extern const CarriedCertificate g_aCertificates[];
/** Number of entries of g_aCertificates. */
extern const size_t g_cCertificates;

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
