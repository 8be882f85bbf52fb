/** @file
 * The launcher's reporters: every message of a run goes through them.
 *
 * ShowError, ShowInfo and ShowSyntaxError address the user: a message box
 * captioned with the product title in interactive runs, the console streams
 * when g_fSilentMode is set (read at each call). PrintError,
 * PrintErrorFailure and PrintErrorRc write one diagnostic line
 * "error: <text>\n" to the current standard error stream whatever the mode,
 * for details that a user-facing message from the caller follows.
 *
 * Each returns what its callers hand straight back as their own result, so a
 * failing step can end with "return ShowError(...)". None fails towards its
 * caller. Formats are those of the runtime's formatter (%Rrc and friends).
 */
#ifndef STUB_MESSAGES_H
#define STUB_MESSAGES_H

/** Silent mode: console instead of message boxes, no splash screen, the
 *  Windows Installer without UI. Set by --silent. */
extern bool g_fSilentMode;

/**
 * Shows an error. Interactive: an error message box (owner the desktop
 * window); a text that cannot be converted to UTF-16 is shown through the
 * narrow box byte for byte. Silent: the runtime's error message, one line
 * "<program>: error: <line>" per text line on the current standard error
 * stream. A format yielding an empty text shows nothing.
 * @returns 1, the exit code of a reported failure, whatever happens.
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
 *  feeds included. @returns 2, the exit code of a command-line error. */
int ShowSyntaxError(const char *pszFormat, ...);

/** Writes "error: <text>\n" to the current standard error stream. */
void PrintError(const char *pszFormat, ...);

/** PrintError. @returns 1. */
int PrintErrorFailure(const char *pszFormat, ...);

/** PrintError. @returns @a rc, the status it was given. */
int PrintErrorRc(int rc, const char *pszFormat, ...);

#endif /* STUB_MESSAGES_H */
