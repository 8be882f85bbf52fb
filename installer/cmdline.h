/** @file
 * The launcher's command line: its option table and the run's settings.
 */
#ifndef STUB_CMDLINE_H
#define STUB_CMDLINE_H

#include <zolt/path.h>

#include <stddef.h>

#include "exitcodes.h"

/** Size of the launcher's path buffers in bytes (StubSettings and every
 *  path a run builds): the runtime's path size, since its path functions
 *  fill them. */
#define STUB_PATH_SIZE RTPATH_MAX
/** Size of the Windows Installer parameter buffer in bytes. */
#define STUB_MSI_PARAMS_SIZE 4096

/** The settings of one run. */
typedef struct StubSettings
{
    /** --extract: only extract (every package), install nothing. */
    bool fExtractOnly;
    /** Cleared by --no-silent-cert: no certificate in silent runs. */
    bool fInstallCert;
    /** --logging, or a log file path: the Windows Installer writes a log. */
    bool fEnableLogging;
    /** --ignore-reboot: a restart-required result ends the run with 0. */
    bool fIgnoreReboot;
    /** --path, absolute; empty: a directory of our own in the temporary
     *  directory. */
    char szExtractPath[STUB_PATH_SIZE];
    /** --msi-log-file, absolute; empty: none given. */
    char szMsiLogFile[STUB_PATH_SIZE];
    /** Properties and parameters for the Windows Installer, single blanks
     *  between the pieces in argument order. */
    char szMsiParams[STUB_MSI_PARAMS_SIZE];
} StubSettings;

/** --silent: console instead of message boxes, no splash screen, the
 *  Windows Installer without UI, the certificate installed (unless
 *  --no-silent-cert). Read by the
 *  reporters at each call, so it takes effect for every later message. */
extern bool g_fSilentMode;

/** --verbose, once per occurrence; non-zero: a console with a settings
 *  report. */
extern unsigned g_cVerbosity;

/**
 * Sets the defaults of @a pSettings and parses the arguments (argv[0] is
 * the program) into it, g_fSilentMode and g_cVerbosity, strictly from left
 * to right: --silent takes effect for every later message, --help and
 * --version are carried out when they are reached and end the run, and the
 * first error ends it.
 *
 * @returns STUB_CONTINUE when the run goes on with the settings, else the
 *          exit code that ends the run: STUB_EXIT_SUCCESS after --help or
 *          --version; STUB_EXIT_SYNTAX_ERROR after a reported command-line
 *          error; STUB_EXIT_FAILURE when the parser could not be set up
 *          (reported).
 */
int ParseStubCommandLine(int cArgs, char **papszArgs, StubSettings *pSettings);

/**
 * Tells whether the arguments ask for a silent run anywhere: --silent in
 * any of its spellings, wherever it stands, errors passed over. For the
 * one report of a launcher that cannot parse its command line properly
 * (its identity, which the help and the messages need, is unreadable): an
 * unattended deployment must not get a message box nobody dismisses.
 * Sets nothing and shows nothing.
 */
bool StubCommandLineAsksSilent(int cArgs, char **papszArgs);

#endif /* STUB_CMDLINE_H */
