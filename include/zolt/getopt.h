/** @file
 * Command lines: splitting a command line into an argument vector, and the
 * option parser that walks an argument vector against a table of options.
 */
#ifndef ZOLT_GETOPT_H
#define ZOLT_GETOPT_H

#include <zolt/cdefs.h>

RT_C_DECLS_BEGIN

/*
 * Splitting a command line.
 */

/** Splitting style: the Microsoft C runtime's rules for command-line
 *  arguments (quotes group, backslashes escape only before a quote). */
#define GETOPTARGV_STYLE_MSCRT 0u
/** Splitting style: Bourne shell quoting (single and double quotes,
 *  backslash escapes). */
#define GETOPTARGV_STYLE_BOURNE 1u
/** Mask of the style bits. */
#define GETOPTARGV_STYLE_MASK 3u
/** Write the arguments over the command line itself instead of into a new
 *  buffer; the caller's text must then be writable and must outlive the
 *  vector. */
#define GETOPTARGV_F_IN_PLACE 0x10u

/** The separators used when none are given: blank, tab, LF and CR. */
#define GETOPTARGV_DEFAULT_SEPARATORS " \t\n\r"

/**
 * Splits the UTF-8 command line @a pszCmdLine into arguments.
 *
 * Separator characters between arguments are skipped; a separator is any
 * code point of @a pszSeparators (null: GETOPTARGV_DEFAULT_SEPARATORS).
 *
 * GETOPTARGV_STYLE_MSCRT, per argument:
 *  - outside quotes a separator ends the argument;
 *  - n backslashes followed by '"' give n/2 backslashes, and for odd n a
 *    literal '"'; for even n the quote then acts as a quote; backslashes
 *    not followed by '"' are literal;
 *  - '"' outside quotes opens a quoted part; inside, '""' gives one
 *    literal '"' and the part stays open, a single '"' closes it.
 *  Example: `a\\\"b "c d" ""` gives `a\"b`, `c d` and an empty argument.
 *
 * GETOPTARGV_STYLE_BOURNE, per argument:
 *  - outside quotes a separator ends the argument, '"' and '\'' open a
 *    quoted part, and a backslash makes the next character literal;
 *  - inside double quotes a backslash escapes only '"', '\\', '`', '$' and
 *    LF (otherwise it stays, with the character after it); inside single
 *    quotes a backslash is ordinary;
 *  - an unclosed quote ends with the text.
 *
 * @param ppapszArgv  Receives the vector: *pcArgs pointers and a null
 *                    pointer. Release it with RTGetOptArgvFree and the same
 *                    flags. Null on failure.
 * @param pcArgs      Receives the argument count; 0 on failure.
 * @param pszCmdLine  The command line. With GETOPTARGV_F_IN_PLACE it is
 *                    overwritten with the arguments (the text never grows)
 *                    and the vector points into it.
 * @param fFlags      One GETOPTARGV_STYLE_* value, optionally with
 *                    GETOPTARGV_F_IN_PLACE.
 * @param pszSeparators  UTF-8 separator characters, or null for the default.
 *
 * @returns 0 on success;
 *          ERR_INVALID_FLAGS for style 2 or 3 or an unknown flag bit;
 *          ERR_INVALID_PARAMETER for an empty separator text;
 *          ERR_INVALID_POINTER for an invalid output or command-line pointer;
 *          the UTF-8 decoding status for malformed text in the command line
 *          or the separators;
 *          ERR_NO_STR_MEMORY if the copy buffer cannot be allocated;
 *          ERR_NO_MEMORY if the vector cannot be allocated.
 *          Nothing stays allocated on failure (an in-place command line may
 *          have been partly overwritten).
 */
RT_NODISCARD RTDECL(int)
    RTGetOptSplitCommandLine(char ***ppapszArgv, int *pcArgs, const char *pszCmdLine, uint32_t fFlags,
                             const char *pszSeparators, const char *pszTag = RT_SRC_TAG);

/**
 * Releases a vector from RTGetOptSplitCommandLine, and its argument buffer
 * unless GETOPTARGV_F_IN_PLACE is set in @a fFlags (the flags given to the
 * split). Null is ignored.
 */
RTDECL(void) RTGetOptArgvFree(char **papszArgv, uint32_t fFlags);

RT_C_DECLS_END

#endif /* ZOLT_GETOPT_H */
