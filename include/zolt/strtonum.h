/** @file
 * Conversion of text to integers and hexadecimal byte strings.
 *
 * Every integer conversion takes a *base word*: bits 0-7 are the base (2 to
 * 35; 0 or a value above 35 selects the base automatically), bits 8-31, when
 * not 0, the largest number of characters of the text to examine (signs and
 * a "0x" prefix included); 0 means up to the terminator. Build one with
 * RTSTR_BASE_WORD(base, limit).
 *
 * What the conversion does, in order:
 *  1. Any run of '+' and '-' is skipped; each '-' flips the sign.
 *  2. Automatic base: 16 when the text continues with "0x"/"0X" and a
 *     hexadecimal digit (the prefix is skipped), 8 when it is '0' and an
 *     octal digit, else 10. With base 16 given, such a prefix is skipped too.
 *  3. Digits '0'-'9' and letters 'a'/'A' (10) to 'z'/'Z' (35) below the base
 *     are accumulated modulo 2^64.
 *  4. The status says what was found (see below).
 *
 * Statuses: a conversion that produced a number succeeds, possibly with a
 * warning (a positive status). Callers that need an exact, complete number
 * treat anything other than 0 as failure.
 *  - 0: the number ended at the terminator or at the character limit.
 *  - WRN_NUMBER_TOO_BIG: the value did not fit (64 bits, the signed range or
 *    the requested width); the truncated value is stored.
 *  - WRN_NEGATIVE_UNSIGNED: an unsigned conversion met a minus sign; the
 *    two's complement is stored ("-1" gives all bits set).
 *  - WRN_TRAILING_SPACES / WRN_TRAILING_CHARS (prefix members only): the
 *    number is followed by blanks (space, tab) only, or by other text.
 *  - ERR_NO_DIGITS: no digit where the number should start; 0 is stored and
 *    the end position is where the digits were expected.
 * The warnings for the value take precedence over the trailing-text ones.
 *
 * Whole-text members turn text after the number into failures:
 * ERR_TRAILING_SPACES (blanks only) and ERR_TRAILING_CHARS. A number cut
 * short by the character limit is not followed by anything (status 0).
 *
 * The result and end-position pointers are optional (null: not stored).
 * The text must be a valid pointer.
 */
#ifndef ZOLT_STRTONUM_H
#define ZOLT_STRTONUM_H

#include <zolt/cdefs.h>

RT_C_DECLS_BEGIN

/** Builds a base word from a base and a character limit (0: none). */
#define RTSTR_BASE_WORD(uBase, cchMax) ((uint32_t)(uBase) | ((uint32_t)(cchMax) << 8))

/**
 * Converts the number at the start of @a pszValue to an unsigned 64-bit
 * value. *ppszNext gets the position after the last digit (or where the
 * digits were expected, for ERR_NO_DIGITS).
 * Example: "0x1F" with automatic base gives 31; "12 " gives 12 and
 * WRN_TRAILING_SPACES; "-1" gives UINT64_MAX and WRN_NEGATIVE_UNSIGNED.
 * @returns 0, WRN_NUMBER_TOO_BIG, WRN_NEGATIVE_UNSIGNED, WRN_TRAILING_SPACES,
 *          WRN_TRAILING_CHARS or ERR_NO_DIGITS.
 */
RTDECL(int) RTStrParseU64(const char *pszValue, char **ppszNext, uint32_t uBaseWord, uint64_t *pu64);

/**
 * As RTStrParseU64 for a signed 64-bit value. Magnitudes of 2^63 and above
 * give WRN_NUMBER_TOO_BIG, except exactly 2^63 with a minus sign (INT64_MIN).
 * "--5" is 5 and "+-5" is -5.
 * @returns as RTStrParseU64, without WRN_NEGATIVE_UNSIGNED.
 */
RTDECL(int) RTStrParseS64(const char *pszValue, char **ppszNext, uint32_t uBaseWord, int64_t *pi64);

/**
 * RTStrParseU64 on a text that must hold nothing but the number (up to the
 * terminator or the character limit).
 * @returns 0, WRN_NUMBER_TOO_BIG, WRN_NEGATIVE_UNSIGNED, ERR_NO_DIGITS,
 *          ERR_TRAILING_SPACES or ERR_TRAILING_CHARS. The value is stored
 *          on the trailing-text failures too.
 */
RTDECL(int) RTStrParseU64Whole(const char *pszValue, uint32_t uBaseWord, uint64_t *pu64);

/** RTStrParseS64 on a whole text; statuses as RTStrParseU64Whole without
 *  WRN_NEGATIVE_UNSIGNED. */
RTDECL(int) RTStrParseS64Whole(const char *pszValue, uint32_t uBaseWord, int64_t *pi64);

/*
 * Narrower widths. Each calls its 64-bit member; when that succeeded (status
 * 0 or above) but the value does not fit the width, the status becomes
 * WRN_NUMBER_TOO_BIG. The truncated value is stored in every case: "256" as
 * an 8-bit number is 0 with WRN_NUMBER_TOO_BIG, "-1" as an unsigned 32-bit
 * number is 0xFFFFFFFF with WRN_NUMBER_TOO_BIG (the 64-bit result has higher
 * bits set). Signed values fit when truncation and sign extension give them
 * back.
 */

/** Unsigned 32-bit prefix conversion. */
RTDECL(int) RTStrParseU32(const char *pszValue, char **ppszNext, uint32_t uBaseWord, uint32_t *pu32);
/** Unsigned 8-bit prefix conversion. */
RTDECL(int) RTStrParseU8(const char *pszValue, char **ppszNext, uint32_t uBaseWord, uint8_t *pu8);
/** Unsigned 32-bit whole-text conversion. */
RTDECL(int) RTStrParseU32Whole(const char *pszValue, uint32_t uBaseWord, uint32_t *pu32);
/** Unsigned 16-bit whole-text conversion. */
RTDECL(int) RTStrParseU16Whole(const char *pszValue, uint32_t uBaseWord, uint16_t *pu16);
/** Unsigned 8-bit whole-text conversion. */
RTDECL(int) RTStrParseU8Whole(const char *pszValue, uint32_t uBaseWord, uint8_t *pu8);
/** Signed 32-bit whole-text conversion. */
RTDECL(int) RTStrParseS32Whole(const char *pszValue, uint32_t uBaseWord, int32_t *pi32);
/** Signed 16-bit whole-text conversion. */
RTDECL(int) RTStrParseS16Whole(const char *pszValue, uint32_t uBaseWord, int16_t *pi16);
/** Signed 8-bit whole-text conversion. */
RTDECL(int) RTStrParseS8Whole(const char *pszValue, uint32_t uBaseWord, int8_t *pi8);

/**
 * Converts the number at the start of @a pszValue with automatic base.
 * @returns the low 32 bits of the signed 64-bit result, or 0 when the
 *          conversion failed (warnings are not failures: "12abc" is 12).
 */
RTDECL(int32_t) RTStrParseS32Simple(const char *pszValue);

/*
 * Hexadecimal byte strings.
 */

/** RTStrHexToBytes flag: bytes may be separated by ':' and written with one
 *  digit, as in "0:1f:a". See RTStrHexToBytes for the exact rules. */
#define RTSTRHEXTOBYTES_F_SEP_COLON 1u

/**
 * Converts the hexadecimal text @a pszHex into exactly @a cb bytes at @a pv.
 *
 * Flags 0: the text is pairs of hexadecimal digits (either case), one pair
 * per byte, "0a1B" giving 0x0a, 0x1b.
 *
 * RTSTRHEXTOBYTES_F_SEP_COLON: a byte is one or two digits, and one ':' may
 * stand between two bytes. A byte of one digit must touch a ':' (before or
 * after it), so "1:23", "01:2" and "0123" are accepted while "123" is
 * uneven. A ':' is never the first character, never doubled, and one that
 * ends the bytes counts as trailing text.
 *
 * Bytes before a failure may have been written.
 * @returns 0 when the text ends right after the last byte;
 *          WRN_TRAILING_SPACES when only blanks (space, tab) follow it;
 *          WRN_TRAILING_CHARS when anything else follows;
 *          ERR_UNEVEN_INPUT for a digit without its partner;
 *          ERR_BUFFER_OVERFLOW when more bytes follow the @a cb-th;
 *          ERR_STR_SHORTER_THAN_SIZE when fewer than @a cb bytes are found;
 *          ERR_INVALID_FLAGS for flags other than 0 and 1;
 *          ERR_INVALID_POINTER for an invalid text, or an invalid @a pv with
 *          @a cb not 0.
 */
RTDECL(int) RTStrHexToBytes(const char *pszHex, void *pv, size_t cb, uint32_t fFlags);

RT_C_DECLS_END

#endif /* ZOLT_STRTONUM_H */
