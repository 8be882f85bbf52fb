/** @file
 * The certificates the launcher carries (the publisher's code-signing
 * certificate), generated into each launcher by its container writer.
 */
#ifndef STUB_CERTIFICATE_H
#define STUB_CERTIFICATE_H

#include <stddef.h>
#include <stdint.h>

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

#endif /* STUB_CERTIFICATE_H */
