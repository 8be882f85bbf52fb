/** @file
 * Command lines: splitting a command line into an argument vector, and the
 * option parser that walks an argument vector against a table of options.
 */
#ifndef ZOLT_GETOPT_H
#define ZOLT_GETOPT_H

#include <zolt/cdefs.h>
#include <zolt/net.h>
#include <zolt/uuid.h>

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

/*
 * The option parser.
 *
 * The caller describes its options in a table of RTGetOptDef entries,
 * initialises an RTGetOptState over an argument vector with RTGetOptInit and
 * calls RTGetOpt until it returns 0:
 *
 * @code
 *  static const RTGetOptDef s_aOptions[] = {
 *      {"--path", 'p', OPT_VALUE_STRING},
 *      {"--silent", 's', OPT_VALUE_NONE},
 *  };
 *  RTGetOptState State;
 *  RTGetOptInit(&State, argc, argv, s_aOptions, RT_ELEMENTS(s_aOptions), 1, 0);
 *  RTGetOptValue Value;
 *  int ch;
 *  while ((ch = RTGetOpt(&State, &Value)) != 0)
 *      switch (ch)
 *      {
 *          case 'p': pszPath = Value.psz; break;
 *          case 's': fSilent = true; break;
 *          case INF_NOT_AN_OPTION: ...operand Value.psz...; break;
 *          default: return RTGetOptReportError(ch, &Value);
 *      }
 * @endcode
 *
 * Long names are matched against the whole argument (or its beginning for
 * options with a value or an index), so "--x", "-x" and "/x" are all just
 * names. Short forms (identifiers that are printable ASCII) are recognised
 * in arguments that start with a dash and may be clustered ("-abc").
 * Wherever a '-' is expected, the Unicode dashes U+2010 to U+2014, U+2212,
 * U+FE58, U+FE63 and U+FF0D are accepted as well.
 */

/** @name Value kinds, bits 0-4 of RTGetOptDef::fFlags
 *
 * Pairs (18 to 21): the first number, which may be followed by anything;
 * then blanks, or one "/", ":" or "|" with blanks around it, and the second
 * number, which must end the text ("5:6", "5 / 6", "5 6"; "5:" and "5:6 "
 * are refused). Where neither a blank nor a separator follows the first
 * number there is no second one: the optional pairs (20, 21) store all ones
 * as the second number without looking at what follows ("5" and "5x" give
 * 5 and all ones), the others (18, 19) refuse.
 * @{ */
#define OPT_VALUE_NONE 0u             /**< no value; the union gets pDef */
#define OPT_VALUE_STRING 1u           /**< psz, pointing into the argument */
#define OPT_VALUE_INT8 2u             /**< i8 */
#define OPT_VALUE_UINT8 3u            /**< u8 */
#define OPT_VALUE_INT16 4u            /**< i16 */
#define OPT_VALUE_UINT16 5u           /**< u16 */
#define OPT_VALUE_INT32 6u            /**< i32 */
#define OPT_VALUE_UINT32 7u           /**< u32 */
#define OPT_VALUE_INT64 8u            /**< i64 */
#define OPT_VALUE_UINT64 9u           /**< u64 */
#define OPT_VALUE_IPV4_ADDR 10u       /**< IPv4Addr, bytes in text order */
#define OPT_VALUE_IPV4_CIDR 11u       /**< CidrIPv4 */
#define OPT_VALUE_MAC_ADDR 14u        /**< MacAddr */
#define OPT_VALUE_UUID 15u            /**< Uuid */
#define OPT_VALUE_ON_OFF 16u          /**< f: "on" or "off" in any case */
#define OPT_VALUE_BOOL 17u            /**< f: true/yes/enabled/on/1 or false/no/disabled/off/0 */
#define OPT_VALUE_UINT32_PAIR 18u     /**< PairU32: "a:b", "a/b", "a|b" or "a b" */
#define OPT_VALUE_UINT64_PAIR 19u     /**< PairU64, as above */
#define OPT_VALUE_UINT32_OPT_PAIR 20u /**< PairU32; "a" (or "ax") gives a and UINT32_MAX */
#define OPT_VALUE_UINT64_OPT_PAIR 21u /**< PairU64; "a" (or "ax") gives a and UINT64_MAX */
#define OPT_VALUE_MASK 0x1fu
/** @} */

/** @name Flags of RTGetOptDef::fFlags
 * @{ */
/** Integer and pair kinds: base 16 only ("0x" prefix allowed). */
#define OPT_FLAG_HEX 0x10000u
/** Integer kinds: base 8 only; pairs: base 8 unless a number starts with "0x". */
#define OPT_FLAG_OCT 0x20000u
/** Integer kinds: base 10 only; pairs: as without a base flag. */
#define OPT_FLAG_DEC 0x40000u
/** Mask of the base flags; at most one may be set. */
#define OPT_FLAG_BASE_MASK 0x70000u
/** The long name is followed by a decimal index ("--disk3"); see uIndex. */
#define OPT_FLAG_INDEX 0x80000u
/** Default index plus one: 0 makes the index mandatory; 1, 2 and 3 make 0,
 *  1 and 2 the index of an option given without one. */
#define OPT_FLAG_INDEX_DEF_MASK 0x300000u
/** Shift of the default-index bits. */
#define OPT_FLAG_INDEX_DEF_SHIFT 20
/** A dash may stand between the long name and the index ("--disk-3"). */
#define OPT_FLAG_INDEX_DASH 0x400000u
/** The long name is compared without regard to ASCII letter case. */
#define OPT_FLAG_ICASE 0x800000u
/** @} */

/** @name Parser flags of RTGetOptInit
 * @{ */
/** Operands met among the options are moved behind the options in the
 *  argument vector and returned only after the last option. */
#define OPT_INIT_OPTIONS_FIRST 1u
/** No built-in options ("--help", "-help", "--version", "-version", and
 *  the short forms -h, -V and -?). */
#define OPT_INIT_NO_STD_OPTS 2u
/** @} */

/** RTGetOptState::cNonOptions once every remaining argument is an operand
 *  (after "--", or when no option is left in options-first mode). */
#define OPT_NON_OPTIONS_DONE INT32_MAX

/** One option of the caller's table. */
typedef struct RTGetOptDef
{
    /** Long name, matched against the whole argument (options with a value
     *  or an index: against its beginning). Null: short form only. */
    const char *pszLong;
    /** What RTGetOpt returns; a printable ASCII value is also the short
     *  form. Several entries may share one. */
    int32_t iId;
    /** OPT_VALUE_* kind and OPT_FLAG_* flags. */
    uint32_t fFlags;
} RTGetOptDef;

/** The value of an option; which member is valid depends on the value kind.
 *  Text pointers point into the argument vector; nothing is owned. */
typedef union RTGetOptValue {
    const RTGetOptDef *pDef;
    const char *psz;
    int8_t i8;
    uint8_t u8;
    int16_t i16;
    uint16_t u16;
    int32_t i32;
    uint32_t u32;
    int64_t i64;
    uint64_t u64;
    bool f;
    RTNETADDRIPV4 IPv4Addr;
    struct
    {
        /** Network address, first octet most significant. */
        uint32_t u32Addr;
        /** Network mask, as many leading one bits as the prefix length. */
        uint32_t u32Mask;
    } CidrIPv4;
    RTMAC MacAddr;
    RTUUID Uuid;
    struct
    {
        uint32_t uFirst;
        uint32_t uSecond;
    } PairU32;
    struct
    {
        uint64_t uFirst;
        uint64_t uSecond;
    } PairU64;
} RTGetOptValue;

/** Parser state; lives in the caller's memory, filled by RTGetOptInit. */
typedef struct RTGetOptState
{
    /** Next argument to examine (deferred operands count as removed). */
    int32_t iNext;
    /** The argument vector; rearranged in place in options-first mode. */
    char **papszArgs;
    /** Number of arguments. */
    int32_t cArgs;
    /** The caller's option table (not copied). */
    const RTGetOptDef *paOptions;
    /** Entries in paOptions. */
    uint32_t cOptions;
    /** Inside a short-option cluster: the character to process next. */
    const char *pszNextShort;
    /** The option returned last; null after operands, errors and the end. */
    const RTGetOptDef *pDef;
    /** Index number of the last indexed option; UINT32_MAX if none. */
    uint32_t uIndex;
    /** OPT_INIT_* flags. */
    uint32_t fFlags;
    /** Deferred operands, or OPT_NON_OPTIONS_DONE. */
    int32_t cNonOptions;
} RTGetOptState;

/**
 * Initialises @a pState to parse @a papszArgs from index @a iFirst on
 * (1 skips the program name).
 * @returns 0; ERR_INVALID_PARAMETER for @a fFlags above 3, leaving the state
 *          untouched. Nothing else is checked.
 */
RTDECL(int)
RTGetOptInit(RTGetOptState *pState, int cArgs, char **papszArgs, const RTGetOptDef *paOptions, uint32_t cOptions,
             int iFirst, uint32_t fFlags);

/**
 * Finds the next option.
 *
 * Long forms: "--name" (no value; must match the whole argument),
 * "--name=value", "--name:value" or "--name value"; indexed options as
 * "--name3=value" or "--name3 value". Short forms: "-x", clusters "-xyz",
 * values as "-pvalue", "-p=value", "-p:value" or "-p value". "--" ends the
 * options: every later argument is an operand and "--" itself is skipped.
 *
 * @returns the option's identifier with its value in *pValue (and its index
 *          in pState->uIndex);
 *          INF_NOT_AN_OPTION for an operand, pValue->psz naming it;
 *          0 when the arguments are exhausted (and on every later call);
 *          ERR_OPTION_UNKNOWN for an unknown option (a lone "-" included),
 *          an unknown character in a cluster, or an unaccepted word of the
 *          boolean kinds, pValue->psz naming the offending text;
 *          ERR_OPTION_VALUE_MISSING, ERR_OPTION_VALUE_FORMAT,
 *          ERR_OPTION_INDEX_MISSING with pValue->pDef naming the option;
 *          ERR_INTERNAL_ERROR for a descriptor with an undefined value kind
 *          or base combination;
 *          the UTF-8 decoding status when an argument does not start with
 *          valid UTF-8.
 *          After a failure the parse may go on with the next argument.
 */
RTDECL(int) RTGetOpt(RTGetOptState *pState, RTGetOptValue *pValue);

/**
 * Takes the next argument as one more value of the option just returned,
 * converted by @a fFlags (a value kind other than OPT_VALUE_NONE with
 * optional base flags). Example: "--prop NAME VALUE" with two calls.
 * @returns 0 (or the conversion's status) with the value in *pValue;
 *          ERR_INVALID_PARAMETER for bad flags; ERR_OPTION_VALUE_MISSING at
 *          the end of the arguments; the conversion failures of RTGetOpt.
 */
RTDECL(int) RTGetOptTakeValue(RTGetOptState *pState, RTGetOptValue *pValue, uint32_t fFlags);

/**
 * Prints the standard message for a result of RTGetOpt that the caller does
 * not handle, on the current standard error stream in the form
 * "<program>: error: <text>", e.g. "Unknown option: '-z'".
 * @returns 2, the exit code for a command-line error.
 */
RTDECL(int) RTGetOptReportError(int iResult, const RTGetOptValue *pValue);

RT_C_DECLS_END

#endif /* ZOLT_GETOPT_H */
