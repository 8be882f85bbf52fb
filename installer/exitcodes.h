/** @file
 * The launcher's exit codes. Deployment scripts act on them, so their values
 * never change.
 *
 * The launcher keeps them apart from the runtime's status codes: a variable
 * holding an exit code is named rcExit (or rcExit<What>), one holding a
 * status code rc (tested with RT_SUCCESS / RT_FAILURE), and no variable
 * holds both kinds.
 */
#ifndef STUB_EXITCODES_H
#define STUB_EXITCODES_H

#include <stdint.h>

/** Success: every fitting package installed, help or version shown, an
 *  extraction finished, or a restart turned down by --ignore-reboot. */
#define STUB_EXIT_SUCCESS 0
/** A failure that has been reported (ShowError, PrintErrorFailure), a
 *  cancelled or failed Windows Installer run included. */
#define STUB_EXIT_FAILURE 1
/** A command-line error (ShowSyntaxError, RTGetOptReportError). */
#define STUB_EXIT_SYNTAX_ERROR 2
/** The runtime failed to initialise (RTMessageInitFailure). */
#define STUB_EXIT_INIT_FAILURE 3
/** Installed, and a restart is required: the Windows Installer's own
 *  result ERROR_SUCCESS_REBOOT_REQUIRED, passed on so that the deployment
 *  tool that started us schedules the restart. */
#define STUB_EXIT_REBOOT_REQUIRED 3010

/** Not an exit code: what the command-line parser returns when the run goes
 *  on. None of the exit codes above, and outside the signed 16-bit range
 *  every status code of the runtime lies in, so it is never taken for
 *  either (a status such as ERR_GENERAL_FAILURE, -1, could be). */
#define STUB_CONTINUE INT32_MIN

#endif /* STUB_EXITCODES_H */
