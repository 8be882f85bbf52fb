/** @file
 * The string formatter: a printf-style walk over a format string that hands
 * its output, piece by piece, to a caller-supplied output callback; and the
 * front-ends that put formatted text into buffers and heap strings.
 *
 * Differences from C's printf that callers meet:
 * - The "'" flag groups decimal digits with a blank: "%'u" of 1234567 gives
 *   "1 234 567" (no grouping with "0" padding).
 * - Sizes: "hh", "h", "l", "z", "t", "I32" and none read 32 bits; "ll",
 *   "L", "q", "j", "I64" and "I" alone read 64 bits. "l" is 32 bits on every
 *   host, as on Windows. On 64-bit builds "z" and "t" read 64 bits (the
 *   width of size_t); on 32-bit builds they read 32.
 * - No truncation to 8 or 16 bits: "%hx" of 0x12345 gives "12345", and the
 *   unsigned conversions with "h", "hh" and "t" widen their 32-bit argument
 *   with its sign ("%hx" of -1 gives "ffffffffffffffff").
 * - "#" adds its prefix even for 0 ("%#x" of 0 gives "0x0"); a zero value
 *   always shows one digit, whatever the precision.
 * - A width and a precision together pad to the width counting the digits
 *   only, then add the precision's zeros: "%5.3d" of 1 gives "    001".
 * - "%p" prints the pointer as zero-padded hexadecimal digits, as many as a
 *   pointer has (8 or 16), without "0x".
 * - "%s" of a pointer within 4096 of zero does not read it but prints a
 *   marker: "<NULL>" for null, else "<" + 8 hex digits + "!BadStr" + ">"
 *   ("!BadStrW" for "%ls" UTF-16, "!BadStrU" for "%Ls" code points).
 * - "%a", "%e", "%f", "%g" (any case) print the raw IEEE fields of a double,
 *   see RTStrFmtFloat.
 * - "%N" takes a format and a va_list pointer and expands them in place;
 *   "%M" takes a format that replaces the rest of the current one. Either
 *   with a bad pointer outputs nothing.
 * - "%R..." are the extension conversions (RTStrFmtExtType), "%R[name]" a
 *   caller-registered type.
 * - Any other conversion letter goes to the caller's handler, or outputs
 *   nothing and is skipped.
 */
#ifndef ZOLT_STRFORMAT_H
#define ZOLT_STRFORMAT_H

#include <zolt/cdefs.h>

#include <stdarg.h>

RT_C_DECLS_BEGIN

/**
 * Output callback: receives @a cbChars bytes at @a pachChars (not
 * terminated) and returns the number it accepted. After the whole format it
 * is called once more with a null pointer and 0 bytes, the end signal, whose
 * result is ignored. Nested expansions ("%N", and renderers that format
 * through the core) send their own end signal, so a callback must accept it
 * more than once: it marks the end of the text so far.
 */
typedef size_t FNFMTOUTPUT(void *pvArg, const char *pachChars, size_t cbChars);
typedef FNFMTOUTPUT *PFNFMTOUTPUT;

/**
 * Handler for conversion letters the formatter does not know. Called with
 * *ppszFormat at the conversion letter; it must advance *ppszFormat past
 * everything it consumed and take its arguments from *pArgs.
 * @param chArgSize the size as one character: 0 (none, "I32"), 'H' ("hh"),
 *        'h', 'l', 'L' ("L", "ll", "q", "I64"), 'j' ("j", "I"), 'z', 't'.
 * @returns the number of bytes it output (the sum of the callback results).
 */
typedef size_t FNFMTHANDLER(void *pvArg, PFNFMTOUTPUT pfnOutput, void *pvArgOutput, const char **ppszFormat,
                            va_list *pArgs, int cchWidth, int cchPrecision, unsigned fFlags, char chArgSize);
typedef FNFMTHANDLER *PFNFMTHANDLER;

/** @name Formatter flags, shared with handlers and extension renderers.
 * @{ */
#define FMT_F_UPPER 0x0001u     /**< "%X": upper-case digits and "0X" */
#define FMT_F_LEFT 0x0002u      /**< "-", or a negative "*" width */
#define FMT_F_ZERO_PAD 0x0004u  /**< "0"; always for "%p" */
#define FMT_F_ALT 0x0008u       /**< "#" */
#define FMT_F_SIGNED 0x0010u    /**< "%d", "%i" */
#define FMT_F_PLUS 0x0020u      /**< "+" */
#define FMT_F_BLANK 0x0040u     /**< " " */
#define FMT_F_WIDTH 0x0080u     /**< a width was given (digits or "*") */
#define FMT_F_PRECISION 0x0100u /**< a "." was given */
#define FMT_F_GROUP 0x0200u     /**< "'": blank-separated digit groups */
#define FMT_F_MASKED 0x0400u    /**< the value is hidden ("%RKv") */
#define FMT_F_SIZE8 0x0800u     /**< "hh" integer */
#define FMT_F_SIZE16 0x1000u    /**< "h" integer */
#define FMT_F_SIZE32 0x2000u    /**< 32-bit integer argument */
#define FMT_F_SIZE64 0x4000u    /**< 64-bit integer argument */
/** @} */

/**
 * Formats @a pszFormat with @a Args, sending the output to @a pfnOutput.
 * Never fails: bad string pointers render markers, unknown conversions
 * render nothing (or what @a pfnFormat gives). Allocates nothing.
 * @param pfnFormat handler for unknown conversion letters, or null.
 * @returns the sum of the callback's results, the end signal excluded.
 */
RTDECL(size_t)
RTStrFmtV(PFNFMTOUTPUT pfnOutput, void *pvArgOutput, PFNFMTHANDLER pfnFormat, void *pvArgFormat, const char *pszFormat,
          va_list Args);

/** RTStrFmtV with a variable argument list. */
RTDECL(size_t)
RTStrFmt(PFNFMTOUTPUT pfnOutput, void *pvArgOutput, PFNFMTHANDLER pfnFormat, void *pvArgFormat, const char *pszFormat,
         ...);

/**
 * Renders an integer into @a pszBuf, which must hold at least 64 bytes.
 * @param uBase 8, 10 or 16; any other base is taken as 10.
 * @param cchWidth minimum width, -1 for none.
 * @param cchPrecision minimum digit count, -1 for none.
 * @param fFlags FMT_F_*; with FMT_F_SIGNED the value is signed, and it is
 *        taken as 64-bit when FMT_F_SIZE64 is set or its high half is not 0.
 * @returns the length written (at most 63), followed by a terminator.
 */
RTDECL(int)
RTStrFmtNumber(char *pszBuf, uint64_t u64Value, unsigned uBase, int cchWidth, int cchPrecision, unsigned fFlags);

/**
 * Renders a 32-bit integer like RTStrFmtNumber into a buffer of @a cbBuf
 * bytes. @a fFlags is masked to FMT_F_UPPER..FMT_F_MASKED (the low 11 bits)
 * and FMT_F_SIZE32 added.
 * @returns the length; ERR_BUFFER_OVERFLOW when the text does not fit
 *          (length >= cbBuf), after storing its first cbBuf - 1 bytes and a
 *          terminator (nothing for cbBuf 0). Example: 123456 into 4 bytes
 *          stores "123".
 */
RTDECL(int)
RTStrFmtU32(char *pszBuf, size_t cbBuf, uint32_t u32Value, unsigned uBase, int cchWidth, int cchPrecision,
            unsigned fFlags);

/** RTStrFmtU32 for a 64-bit value (FMT_F_SIZE64 added). */
RTDECL(int)
RTStrFmtU64(char *pszBuf, size_t cbBuf, uint64_t u64Value, unsigned uBase, int cchWidth, int cchPrecision,
            unsigned fFlags);

/**
 * Renders the "%R" extension conversion at *ppszFormat (which points at the
 * "R"), taking its arguments from *pArgs and advancing *ppszFormat past what
 * it consumed. Families by the letter after "R":
 * - "I8".."I64", "U8".."U64", "X8".."X64" and the typed integers ("Tint",
 *   "Tfoff", "Hx", ...): numbers with the directive's flags, width and
 *   precision ("%'RU64" of 1234567 gives "1 234 567").
 * - Handles and addresses ("Tthrd", "Tptr", "Hv", "Gp", ...): zero-padded
 *   hexadecimal, twice the argument size wide unless a width is given.
 *   Handles, host pointers and host register values are pointer-sized.
 * - "Tbool": "true", "false" ("true " with "#"), else "!<value>!".
 * - "Tnaipv4" (32-bit value, bytes lowest first), "Tnaipv6", "Tmac",
 *   "Tnaddr", "Tuuid" (pointers), "Tfp16/32/64" far pointers, "Teic" and
 *   "Teim" (RTERRINFO pointers), "Kv" (masked: "XXXXXXXX").
 * - "Dtimespec" (RTTIMESPEC pointer, "1 500 ns"), "M.." escaped strings
 *   ("Mas", "Mes" XML, "Mjs" JSON, "Mpp", "Mpa", "Mpq", "Mpf" URL), "bn"
 *   base name of a path, "lRbs" big-endian UTF-16, "fn" function name of a
 *   signature, "hx.."/"hX.." hex dumps, "hc.."/"hu.." sizes with units,
 *   "Ax86[cr0]"/"Ax86[cr4]" control registers, "r."/"w." status codes.
 * Bad pointers render "<" + 8 hex digits + a marker + ">" (for example
 * "<00000000!BadUuid>"). An unknown type outputs nothing; the format then
 * continues after its first unknown letter.
 * @returns the number of bytes output.
 */
RTDECL(size_t)
RTStrFmtExtType(PFNFMTOUTPUT pfnOutput, void *pvArgOutput, const char **ppszFormat, va_list *pArgs, int cchWidth,
                int cchPrecision, unsigned fFlags, char chArgSize);

/**
 * Renders the IEEE fields of the double at @a prd (width, precision and
 * flags other than FMT_F_ALT do not change the text). The sign is always
 * written: "+0"/"-0"; "+Inf"/"-Inf"; "+QNan"/"+SNan" (with FMT_F_ALT
 * "+QNaN[.0x<13 hex digits>]"); normal values as sign, "1m", the fraction
 * as "0x" + 13 hex digits, "^" and the unbiased exponent ("+1m0x0000000000000^0"
 * for 1.0, "-1m0x8000000000000^1" for -3.0); subnormal values as sign, "0m"
 * and the fraction, plus "[SubN]" with FMT_F_ALT.
 * @returns the length; ERR_BUFFER_OVERFLOW with the text cut to cbBuf - 1
 *          bytes and terminated (nothing for cbBuf 0).
 */
RTDECL(int)
RTStrFmtFloat(char *pszBuf, size_t cbBuf, const double *prd, int cchWidth, int cchPrecision, unsigned fFlags);

/**
 * Renders the 16 bytes at @a pabAddr (network order) as an IPv6 address:
 * lower-case groups without leading zeros, the first longest run of two or
 * more zero groups as "::", and embedded IPv4 forms ("::ffff:10.0.0.1",
 * "::10.0.0.1", "::ffff:0:10.0.0.1") with the last 32 bits dotted.
 * @returns the number of bytes output.
 */
RTDECL(size_t) RTStrFmtIPv6(PFNFMTOUTPUT pfnOutput, void *pvArgOutput, const uint8_t *pabAddr);

/**
 * Renderer of a caller-registered type "%R[name]": gets the name (not
 * terminated at "]"), the directive's pointer-sized argument, width,
 * precision and flags, and the pointer given at registration.
 * @returns the number of bytes output.
 */
typedef size_t FNSTRFMTTYPE(PFNFMTOUTPUT pfnOutput, void *pvArgOutput, const char *pszType, void *pvValue, int cchWidth,
                            int cchPrecision, unsigned fFlags, void *pvUser);
typedef FNSTRFMTTYPE *PFNSTRFMTTYPE;

/** One registered type; a registry is an array sorted by name. */
typedef struct RTStrFmtCustomType
{
    uint8_t cchName; /**< length of szName, 1 to 47 */
    char szName[47]; /**< the name between "%R[" and "]" */
    PFNSTRFMTTYPE pfnHandler;
    void *pvUser;
} RTStrFmtCustomType;

/*
 * Formatted output into buffers.
 */

/**
 * Formats into @a pszBuffer of @a cbBuffer bytes, truncating silently; the
 * buffer is terminated whenever cbBuffer is at least 1.
 * @returns the number of bytes stored, terminator excluded; 0 for cbBuffer
 *          0 (nothing is formatted).
 */
RTDECL(size_t) RTStrPrintf(char *pszBuffer, size_t cbBuffer, const char *pszFormat, ...);

/** RTStrPrintf with a va_list. */
RTDECL(size_t) RTStrPrintfV(char *pszBuffer, size_t cbBuffer, const char *pszFormat, va_list Args);

/**
 * Formats into @a pszBuffer of @a cbBuffer bytes and reports truncation.
 * On overflow the buffer holds as much of the text as fits, terminated
 * (when cbBuffer is at least 1).
 * @returns the full length of the text when it fit (length < cbBuffer);
 *          otherwise its bitwise complement, which is minus the buffer size
 *          it needs: a 5-character text into 5 bytes gives -6. cbBuffer 0
 *          always reports overflow, even for empty output.
 */
RTDECL(ptrdiff_t) RTStrPrintfChecked(char *pszBuffer, size_t cbBuffer, const char *pszFormat, ...);

/** RTStrPrintfChecked with a va_list. */
RTDECL(ptrdiff_t) RTStrPrintfCheckedV(char *pszBuffer, size_t cbBuffer, const char *pszFormat, va_list Args);

/**
 * Formats into a new heap string of exactly the length needed (release with
 * RTStrFree). Texts up to 2047 bytes are built on the stack and copied once.
 * @returns the length with the string in *ppszBuffer; -1 with *ppszBuffer
 *          set to null when memory runs out (nothing leaks) or the text is
 *          longer than INT_MAX bytes.
 */
RTDECL(int) RTStrAPrintfV(char **ppszBuffer, const char *pszFormat, va_list Args, const char *pszTag = RT_SRC_TAG);

/** RTStrAPrintfV with a variable argument list and an explicit tag; call it
 *  through RTStrAPrintf, which passes the caller's source file. */
RTDECL(int) RTStrAPrintfTag(char **ppszBuffer, const char *pszTag, const char *pszFormat, ...);

/** RTStrAPrintfV with a variable argument list: RTStrAPrintf(&psz, fmt, ...). */
#define RTStrAPrintf(ppszBuffer, ...) RTStrAPrintfTag((ppszBuffer), RT_SRC_TAG, __VA_ARGS__)

RT_C_DECLS_END

#endif /* ZOLT_STRFORMAT_H */
