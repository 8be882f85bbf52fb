/** @file
 * The installation phase of a run: the custom directory, the carried
 * certificates, and the extracted packages through the Windows Installer.
 */
#ifndef STUB_INSTALL_H
#define STUB_INSTALL_H

#include "cmdline.h"
#include "runops.h"

/**
 * Adds every certificate of the certificate table of @a hModule (resource
 * "CERTS", certificate.h) to the local machine's STUB_CERT_STORE_NAME
 * store, in order, stopping at the first failure. The whole table is
 * checked first: a table that cannot be read or fails the check adds
 * nothing. A table of no certificate adds nothing and succeeds.
 * @returns STUB_EXIT_SUCCESS, or STUB_EXIT_FAILURE after showing "Failed to
 *          add our certificate(s) to trusted publisher store.", with its
 *          detail line printed before: by the failing call, or for the
 *          table "error: Could not read the certificate table: %Rrc" with
 *          the status of FindPayloadResource or CheckCarriedCertificates.
 */
int InstallCarriedCertificates(HMODULE hModule);

/**
 * Runs the installation phase after a successful extraction of the
 * packages of pOps->hPayload into pSettings->szExtractPath, in this order,
 * through the steps of @a pOps:
 *  1. copies the custom directory (pfnCopyCustomDirectory);
 *  2. in silent runs with fInstallCert, installs the carried certificates
 *     (pfnInstallCertificates);
 *  3. for each of the @a cPackages packages in index order, while the
 *     result is STUB_EXIT_SUCCESS or STUB_EXIT_REBOOT_REQUIRED: a package
 *     that fits the host (pfnDetectHostArch) is found in the cleanup
 *     records and, by its suffix (ASCII case ignored), installed (".msi",
 *     pfnInstallMsiPackage with szMsiParams and szMsiLogFile, if any),
 *     left alone (".cab") or refused ("Internal error: Do not know how to
 *     handle file '%s' (%s)."). Packages for other hosts are skipped.
 * A failing step ends the phase; a restart-required result does not, and
 * later successes keep it. Every failure has been reported once.
 *
 * The record paths of installed packages are turned to backslashes in
 * place. Cleaning up is the caller's business.
 *
 * @returns STUB_EXIT_SUCCESS, STUB_EXIT_REBOOT_REQUIRED (at least one
 *          package needs a restart, none failed) or STUB_EXIT_FAILURE (a
 *          reported failure).
 */
int RunInstallationPhase(const StubRunOps *pOps, const StubSettings *pSettings, unsigned cPackages);

#endif /* STUB_INSTALL_H */
