/** @file
 * The installation phase: custom directory, certificates, packages.
 */
#include "install.h"

#include <windows.h>

#include <zolt/err.h>
#include <zolt/path.h>
#include <zolt/string.h>

#include <wincrypt.h>

#include "certificate.h"
#include "cleanup.h"
#include "cmdline.h"
#include "customdir.h"
#include "exitcodes.h"
#include "messages.h"
#include "msipackage.h"
#include "payload.h"

int InstallCarriedCertificates(HMODULE hModule)
{
    static const char s_szFailed[] = "Failed to add our certificate(s) to trusted publisher store.";
    const void *pvTable = NULL;
    size_t cbTable = 0;
    uint32_t cCertificates = 0;
    int rc = FindPayloadResource(hModule, "CERTS", &pvTable, &cbTable);
    if (RT_SUCCESS(rc))
        rc = CheckCarriedCertificates(pvTable, cbTable, &cCertificates);
    if (RT_FAILURE(rc))
    {
        PrintError("Could not read the certificate table: %Rrc", rc);
        return ShowError(s_szFailed);
    }
    size_t offEntry = STUB_CERTS_FIRST_ENTRY;
    for (uint32_t i = 0; i < cCertificates; i++)
    {
        CarriedCertificate const Cert = NextCarriedCertificate(pvTable, &offEntry);
        if (!AddCertificateToStore(CERT_SYSTEM_STORE_LOCAL_MACHINE, STUB_CERT_STORE_NAME, Cert.pbData, Cert.cbData))
            return ShowError(s_szFailed);
    }
    return STUB_EXIT_SUCCESS;
}

/** Installs or passes over the extracted file of package @a iPackage.
 *  @returns STUB_EXIT_SUCCESS, STUB_EXIT_REBOOT_REQUIRED, or
 *  STUB_EXIT_FAILURE after a reported failure. */
static int rtStubInstallPackage(const StubRunOps *pOps, const StubSettings *pSettings, unsigned iPackage,
                                const PackageHeader *pHeader)
{
    CleanupRecord *pRec = FindCleanupRecord((int32_t)iPackage);
    if (!pRec)
        return PrintErrorFailure("Package #%u not found in cleanup records", iPackage);

    RTPathToBackslashes(pRec->szPath);
    const char *pszSuffix = RTPathFindSuffix(pRec->szPath);
    if (pszSuffix && RTStrCmpAsciiNoCase(pszSuffix, ".msi") == 0)
        return pOps->pfnInstallMsiPackage(pRec->szPath, pSettings->szMsiParams,
                                          pSettings->szMsiLogFile[0] != '\0' ? pSettings->szMsiLogFile : NULL);
    /* The cabinet is for the installer to find beside the package. */
    if (pszSuffix && RTStrCmpAsciiNoCase(pszSuffix, ".cab") == 0)
        return STUB_EXIT_SUCCESS;
    return ShowError("Internal error: Do not know how to handle file '%s' (%s).", pHeader->szFileName, pRec->szPath);
}

int RunInstallationPhase(const StubRunOps *pOps, const StubSettings *pSettings, unsigned cPackages)
{
    int rcExit = pOps->pfnCopyCustomDirectory(pSettings->szExtractPath);
    /* Interactive runs leave trusting our publisher to the user. */
    if (rcExit == STUB_EXIT_SUCCESS && pSettings->fInstallCert && g_fSilentMode)
        rcExit = pOps->pfnInstallCertificates(pOps->hPayload);

    for (unsigned iPackage = 0;
         iPackage < cPackages && (rcExit == STUB_EXIT_SUCCESS || rcExit == STUB_EXIT_REBOOT_REQUIRED); iPackage++)
    {
        const PackageHeader *pHeader = GetPackageHeader(pOps->hPayload, iPackage);
        int rcExitPackage = STUB_EXIT_FAILURE; /* a missing header has been reported */
        if (pHeader)
            rcExitPackage = PackageFitsHost(pHeader->enmArch, pOps->pfnDetectHostArch)
                                ? rtStubInstallPackage(pOps, pSettings, iPackage, pHeader)
                                : STUB_EXIT_SUCCESS;
        /* A success keeps an earlier restart-required result. */
        if (rcExitPackage != STUB_EXIT_SUCCESS)
            rcExit = rcExitPackage;
    }
    return rcExit;
}
