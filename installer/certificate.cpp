/** @file
 * Installing a carried certificate into a system certificate store.
 */
#include "certificate.h"

#include <windows.h>

#include <zolt/err.h>
#include <zolt/mem.h>
#include <zolt/message.h>
#include <zolt/string.h>

#include "lazybind.h"

/** How the certificate and the store are encoded. */
#define STUB_CERT_ENCODING (X509_ASN_ENCODING | PKCS_7_ASN_ENCODING)

/** Opens the system store @a pszStoreName. @returns the store, or null with
 *  the reason in the platform's last error. */
static HCERTSTORE rtStubOpenSystemStore(uint32_t fStoreLocation, const char *pszStoreName)
{
    RTUTF16 *pwszStoreName = NULL;
    if (RT_FAILURE(RTStrToUtf16(pszStoreName, &pwszStoreName)))
        return NULL;
    /* Opening only an existing store would fail on a machine that never
       had one of this name; the platform creates it instead. */
    HCERTSTORE hStore = g_pfnCertOpenStore(CERT_STORE_PROV_SYSTEM_W, STUB_CERT_ENCODING, 0,
                                           fStoreLocation & ~(uint32_t)CERT_STORE_OPEN_EXISTING_FLAG, pwszStoreName);
    DWORD dwErr = GetLastError();
    RTMemFree(pwszStoreName);
    SetLastError(dwErr);
    return hStore;
}

bool AddCertificateToStore(uint32_t fStoreLocation, const char *pszStoreName, const uint8_t *pbCert, uint32_t cbCert)
{
    PCCERT_CONTEXT pCert = g_pfnCertCreateCertificateContext(STUB_CERT_ENCODING, pbCert, cbCert);
    if (!pCert)
    {
        RTMessageError("Unable to get certificate context: %d", (int)GetLastError());
        return false;
    }

    bool fAdded = false;
    HCERTSTORE hStore = rtStubOpenSystemStore(fStoreLocation, pszStoreName);
    if (!hStore)
        RTMessageError("Unable to open certificates store: %d", (int)GetLastError());
    else
    {
        if (g_pfnCertAddCertificateContextToStore(hStore, pCert, CERT_STORE_ADD_REPLACE_EXISTING, NULL))
            fAdded = true;
        else
            RTMessageError("Unable to install certificate: %d", (int)GetLastError());
        (void)g_pfnCertCloseStore(hStore, CERT_CLOSE_STORE_CHECK_FLAG);
    }
    g_pfnCertFreeCertificateContext(pCert);
    return fAdded;
}
