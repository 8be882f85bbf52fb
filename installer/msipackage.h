/** @file
 * Hands one extracted Windows Installer package to the Windows Installer
 * service and turns its result into the launcher's exit code.
 */
#ifndef STUB_MSIPACKAGE_H
#define STUB_MSIPACKAGE_H

#include "exitcodes.h"

/**
 * Installs the package @a pszPackage.
 *
 * Sets the installer's UI level from g_fSilentMode (none when silent, full
 * otherwise, owner window unchanged), starts a verbose log flushed after
 * every line into @a pszLogFile (replacing an existing file) when one is
 * given, initialises the common controls the installer's own UI uses, and
 * installs with @a pszMsiParams as the command line of properties. All
 * three texts are UTF-8.
 *
 * @param pszPackage the package's full path.
 * @param pszMsiParams properties, possibly empty, never null.
 * @param pszLogFile the log file's path, or null for no log.
 * @returns the exit code:
 *          STUB_EXIT_SUCCESS installed;
 *          STUB_EXIT_REBOOT_REQUIRED installed, a restart is required
 *            (silent runs print "Reboot required (by <package>)" as an
 *            information message; interactive runs show nothing);
 *          STUB_EXIT_FAILURE the user cancelled the installer's UI
 *            (nothing shown), or after one message through ShowError: the
 *            UI level was refused, the log could not be enabled, a text
 *            could not be converted to UTF-16, or the installer failed (a
 *            text for 1613 and 1633, else "Installation failed! Error: "
 *            with the platform's text for the result, from the network
 *            message module for 2100 to 2999 when it loads, or the
 *            number).
 */
int InstallMsiPackage(const char *pszPackage, const char *pszMsiParams, const char *pszLogFile);

#endif /* STUB_MSIPACKAGE_H */
