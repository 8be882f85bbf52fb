/** @file
 * The launcher's reporters: every message of a run goes through them.
 *
 * ShowError, ShowInfo and ShowSyntaxError address the user: a message box
 * captioned with the product title in interactive runs, the console streams
 * when g_fSilentMode (cmdline.h) is set, read at each call. PrintError,
 * PrintErrorFailure and PrintErrorRc write one diagnostic line
 * "error: <text>\n" to the current standard error stream whatever the mode,
 * for details that a user-facing message from the caller follows.
 *
 * Each returns what its callers hand straight back as their own result, so a
 * failing step can end with "return ShowError(...)": an exit code
 * (exitcodes.h), or for PrintErrorRc the status code it was given. None
 * fails towards its caller. Formats are those of the runtime's formatter
 * (%Rrc and friends).
 */
#ifndef STUB_MESSAGES_H
#define STUB_MESSAGES_H

#include "exitcodes.h"

/**
 * Shows an error. Interactive: an error message box (owner the desktop
 * window); a text that cannot be converted to UTF-16 is shown through the
 * narrow box byte for byte. Silent: the runtime's error message, one line
 * "<program>: error: <line>" per text line on the current standard error
 * stream. A format yielding an empty text shows nothing.
 * @returns STUB_EXIT_FAILURE (1), whatever happens.
 */
int ShowError(const char *pszFormat, ...);
/**
 * Shows information. Interactive: an information message box. Silent: the
 * text and a line feed on the current standard output stream. An empty text
 * is shown too (an empty box or an empty line); a text that cannot be
 * formatted at all is not.
 */
void ShowInfo(const char *pszFormat, ...);

/** ShowError for command-line errors; the text is shown unchanged, line
 *  feeds included. @returns STUB_EXIT_SYNTAX_ERROR (2). */
int ShowSyntaxError(const char *pszFormat, ...);

/** Writes "error: <text>\n" to the current standard error stream. */
void PrintError(const char *pszFormat, ...);

/** PrintError. @returns STUB_EXIT_FAILURE (1). */
int PrintErrorFailure(const char *pszFormat, ...);

/** PrintError. @returns @a rc, the status it was given. */
int PrintErrorRc(int rc, const char *pszFormat, ...);

#endif /* STUB_MESSAGES_H */
