/** @file
 * Paths: parsing, assembly, absolute paths, appending and joining, and the
 * host's path services (current and temporary directories, renaming).
 *
 * Paths are UTF-8 strings. Calls that take a *style* follow its rules:
 *  - RTPATH_STYLE_DOS: '\' and '/' both separate; a path may start with a
 *    drive ("C:"), a UNC root (two separators and a server name) or a device
 *    root ("\\.\" or "\\?\"); output uses '\'.
 *  - RTPATH_STYLE_UNIX: only '/' separates ('\' is an ordinary character),
 *    "/" is the only root; output uses '/'.
 *  - RTPATH_STYLE_HOST: DOS on every host, Linux included: the system's path
 *    rules are Windows rules wherever it runs.
 * Calls without a style argument use DOS rules.
 *
 * Buffers passed as input and output of one call must not overlap.
 */
#ifndef ZOLT_PATH_H
#define ZOLT_PATH_H

#include <zolt/cdefs.h>

RT_C_DECLS_BEGIN

/** The usual size of a path buffer in bytes. */
#define RTPATH_MAX 4100

/** Style values (bits 0-1 of a style or option word); 3 is invalid. */
#define RTPATH_STYLE_HOST 0u
#define RTPATH_STYLE_DOS 1u
#define RTPATH_STYLE_UNIX 2u
#define RTPATH_STYLE_MASK 3u

/*
 * Parsed paths.
 */

/** Property bits of a parsed path. */
#define RTPATH_PROP_FILENAME 0x0001u      /**< Ends with a name, not a separator. */
#define RTPATH_PROP_DIR_SLASH 0x0002u     /**< Ends with a separator. */
#define RTPATH_PROP_SUFFIX 0x0004u        /**< The last name has a suffix. */
#define RTPATH_PROP_UNC 0x0010u           /**< UNC root ("\\server\"). */
#define RTPATH_PROP_ROOT_SLASH 0x0020u    /**< The root ends with a separator. */
#define RTPATH_PROP_VOLUME 0x0040u        /**< Drive root ("C:" or "C:\"). */
#define RTPATH_PROP_ABSOLUTE 0x0100u      /**< Absolute: UNC or "C:\" root (Unix: "/"), no "..". */
#define RTPATH_PROP_RELATIVE 0x0200u      /**< Not absolute. */
#define RTPATH_PROP_EXTRA_SLASHES 0x0400u /**< Separators repeated somewhere. */
#define RTPATH_PROP_DOT_REFS 0x0800u      /**< Has a "." component. */
#define RTPATH_PROP_DOTDOT_REFS 0x1000u   /**< Has a ".." component (never absolute then). */
#define RTPATH_PROP_SPECIAL_UNC 0x2000u   /**< Device root: the server name is "." or "?". */

/** One component of a parsed path: its offset and length in the input. */
typedef struct RTPATHPARSECOMP
{
    uint16_t off;
    uint16_t cch;
} RTPATHPARSECOMP;

/**
 * A parsed path, filled by RTPathParse into a caller buffer. A buffer of n
 * bytes (n >= RTPATHPARSEREC_HDR_SIZE) holds (n - 12) / 4 entries, at most
 * 65520.
 */
typedef struct RTPATHPARSEREC
{
    /** Components found, the root counting as component 0 when there is
     *  one; counted in full even when the buffer holds fewer entries. */
    uint16_t cComps;
    /** RTPATH_PROP_XXX. */
    uint16_t fProps;
    /** Length of the normalised path: root, components joined by single
     *  separators, and one trailing separator when the path ends with one
     *  after a component. */
    uint16_t cchPath;
    /** Always 0. */
    uint16_t u16Reserved;
    /** Offset of the suffix's '.' in the input; the input's length if none. */
    uint16_t offSuffix;
    /** Length of the suffix including its '.', or 0. */
    uint16_t cchSuffix;
    /** The components, separators excluded; entry 0 is the root if any.
     *  As many as the caller's buffer holds. */
    RTPATHPARSECOMP aComps[];
} RTPATHPARSEREC;

/** Size of the fixed part of RTPATHPARSEREC: a buffer this size holds no
 *  entry. */
#define RTPATHPARSEREC_HDR_SIZE 12u

/**
 * Splits @a pszPath into its root and components.
 *
 * Roots (DOS): one separator not followed by another (relative, root slash);
 * two separators plus the server name up to the next separator, with that
 * separator when present (absolute UNC; special for "." and "?"); a drive
 * letter, ':' and a separator (absolute volume); a drive letter and ':'
 * (relative volume). Separators repeated after the root or between
 * components set RTPATH_PROP_EXTRA_SLASHES. The suffix is the last '.' of the
 * last name that is neither its first nor its last character.
 * Example: "a//b" gives cComps 2, cchPath 3, EXTRA_SLASHES.
 *
 * @param fFlags  Style (RTPATH_STYLE_XXX).
 * @returns 0;
 *          ERR_BUFFER_OVERFLOW when more components exist than entries fit
 *          (cComps and everything but the missing entries are still set);
 *          ERR_PATH_ZERO_LENGTH for an empty path;
 *          ERR_FILENAME_TOO_LONG for a path longer than 65535 bytes (the
 *          offsets would not fit the record);
 *          ERR_INVALID_POINTER for an invalid path or record pointer;
 *          ERR_INVALID_PARAMETER for a buffer below RTPATHPARSEREC_HDR_SIZE;
 *          ERR_INVALID_FLAGS for a bad style or other bits.
 */
RTDECL(int) RTPathParse(const char *pszPath, RTPATHPARSEREC *pParsed, size_t cbParsed, uint32_t fFlags);

/**
 * Puts a parsed path back together: the root (when the properties say UNC,
 * root slash or volume) with each of its separators replaced by the style's,
 * then every component of non-zero length joined by one separator, then one
 * separator when RTPATH_PROP_DIR_SLASH is set and a component was written.
 * Setting a component's length to 0 drops it. The style may differ from the
 * one the path was parsed in: "\\srv\share\x" parsed in DOS style gives
 * "//srv/share/x" in Unix style, "C:\a\b" gives "C:/a/b".
 *
 * @param pszSrcPath  The string that @a pParsed was parsed from; the record
 *                    must hold all its entries (its parse succeeded).
 * @param pParsed     Its cchPath receives the output length (the length
 *                    that was needed, on ERR_BUFFER_OVERFLOW).
 * @param fFlags      Style (RTPATH_STYLE_XXX).
 * @returns 0; ERR_BUFFER_OVERFLOW when the output and its terminator do not
 *          fit (the destination then holds "" if @a cbDstPath is not 0);
 *          ERR_INVALID_PARAMETER for a record without components;
 *          ERR_INVALID_POINTER; ERR_INVALID_FLAGS.
 */
RTDECL(int)
RTPathAssemble(const char *pszSrcPath, RTPATHPARSEREC *pParsed, uint32_t fFlags, char *pszDstPath, size_t cbDstPath);

/*
 * Absolute paths.
 */

/** RTPathAbsEx option: ".." in the relative path never climbs into the
 *  base: "..\..\x" on base "C:\a" gives "C:\a\x". */
#define RTPATHABS_KEEP_BASE 0x10000u
/** RTPathAbsEx option: the same when the base is the current directory. */
#define RTPATHABS_KEEP_CWD 0x20000u
/** RTPathAbsEx option: the result ends with a separator whenever it has
 *  more than a root. */
#define RTPATHABS_TRAILING_SLASH 0x40000u

/**
 * Turns @a pszPath into a normalised absolute path: "." and ".." are folded
 * (".." stops at the root; a UNC share is kept like the root), separators
 * are single and of the style's kind.
 *  - Absolute paths without ".." ("C:\x", "\\srv\share\x") stand alone;
 *    their drive letter is upper-cased.
 *  - Rooted paths ("\x", and any rooted path with "..": "C:\a\..\b") keep
 *    their own drive letter as spelt. Those without drive or UNC root take
 *    the drive of @a pszBase (upper-cased) or its UNC server and share if it
 *    has one, else the current drive as the host reports it.
 *  - Relative paths ("x") are resolved against @a pszBase, made absolute
 *    first if needed, or else against the current directory; the drive
 *    letter of that base is upper-cased. "D:x" uses the base only if it is
 *    on drive D, else the current directory of drive D.
 * Examples: "C:\a\.\b\..\c" gives "C:\a\c"; "c:\x" gives "C:\x", while
 * "c:\a\..\b" gives "c:\b"; "\\srv\share\..\x" gives "\\srv\share\x";
 * "..\..\..\x" on base "c:\a" gives "C:\x".
 *
 * On the POSIX host there are no drives: the current directory ("/home/u")
 * is a rooted path, so "x" gives "\home\u\x" in DOS style and "\x" stays
 * "\x" (see RTPathGetCurrentDrive).
 *
 * @param pszBase     Base for relative paths, or null for the current
 *                    directory.
 * @param fFlags      Style plus RTPATHABS_XXX options.
 * @param pcbAbsPath  In: the destination size. Out: on success the length of
 *                    the result; on ERR_BUFFER_OVERFLOW a size that is
 *                    enough, so that the caller can retry: the exact one
 *                    unless a host directory or a base that is not yet
 *                    normalised (made absolute in the destination first)
 *                    is involved.
 * @returns 0; ERR_BUFFER_OVERFLOW; ERR_PATH_ZERO_LENGTH for an empty path;
 *          ERR_PATH_ROOT_WITHOUT_SLASH for a base that is a bare root
 *          ("\\server"); ERR_INVALID_FLAGS; ERR_INVALID_POINTER;
 *          ERR_FILENAME_TOO_LONG for inputs beyond 65535 bytes or a current
 *          directory beyond 64 KiB; ERR_NO_TMP_MEMORY; the statuses of the
 *          current-directory queries. The destination may hold partial
 *          output after a failure.
 */
RTDECL(int)
RTPathAbsEx(const char *pszBase, const char *pszPath, uint32_t fFlags, char *pszAbsPath, size_t *pcbAbsPath);

/** RTPathAbsEx without base in host style. */
RTDECL(int) RTPathAbs(const char *pszPath, char *pszAbsPath, size_t cbAbsPath);

/**
 * RTPathAbsEx into a new heap string (release with RTStrFree).
 * @returns the string, or null on any failure.
 */
RTDECL(char *)
RTPathAbsExDup(const char *pszBase, const char *pszPath, uint32_t fFlags, const char *pszTag = RT_SRC_TAG);

/*
 * Appending and joining.
 */

/**
 * Appends at most @a cchAppendMax bytes of @a pszAppend to the path in
 * @a pszPath, with exactly one separator between them:
 *  - a path ending in separators loses the repeated ones (never below its
 *    root, "C:\" or "\\srv\share\") and the text loses its leading ones;
 *  - else a text starting with separators keeps one of them;
 *  - else a bare drive ("C:") takes the text directly: "C:dir";
 *  - else '\' (Unix style: '/') goes between them.
 * An empty path takes the text as it is.
 * Examples: "C:\a" + "x" and "C:\a\\\" + "x" and "C:\a\" + "\x" all give
 * "C:\a\x".
 *
 * @param cbPathDst     Size of the buffer @a pszPath in bytes.
 * @param pszAppend     Text, or null (nothing to do).
 * @param cchAppendMax  Bytes of the text to use at most (RTSTR_MAX: all).
 * @param fFlags        Style (RTPATH_STYLE_XXX).
 * @returns 0; ERR_BUFFER_OVERFLOW when the result and its terminator do not
 *          fit; ERR_INVALID_PARAMETER when the buffer holds no terminator
 *          within its size; ERR_INVALID_POINTER; ERR_INVALID_FLAGS. The
 *          buffer is not written on failure.
 */
RTDECL(int)
RTPathAppendEx(char *pszPath, size_t cbPathDst, const char *pszAppend, size_t cchAppendMax, uint32_t fFlags);

/** RTPathAppendEx of the whole text in host style. */
RTDECL(int) RTPathAppend(char *pszPath, size_t cbPathDst, const char *pszAppend);

/**
 * Copies @a pszPathSrc into @a pszPathDst, then RTPathAppend of
 * @a pszAppend.
 * @returns 0; ERR_BUFFER_OVERFLOW when the base alone or the result does
 *          not fit; the statuses of RTPathAppend.
 */
RTDECL(int) RTPathJoin(char *pszPathDst, size_t cbPathDst, const char *pszPathSrc, const char *pszAppend);

/**
 * RTPathJoin into a new heap string (release with RTStrFree).
 * @returns the string, or null on failure.
 */
RTDECL(char *) RTPathJoinA(const char *pszPathSrc, const char *pszAppend, const char *pszTag = RT_SRC_TAG);

/*
 * Simple DOS-style helpers.
 */

/**
 * Finds the suffix: the last '.' after the last '\', '/' or ':', unless it is
 * the string's first or last character. "a.b.c" gives ".c", "dir\.msi"
 * ".msi"; ".msi", "a." and "x.y\z" have none.
 * @returns a pointer to the '.', or null.
 */
RTDECL(char *) RTPathFindSuffix(const char *pszPath);

/**
 * Splits a path into directory, name and suffix. The root here is a drive
 * ("C:") or two separators and a server name, or nothing, with all the
 * separators that follow it ("\x" has a root of length 1).
 *
 * @param pcchDir     Optional: the length of the directory part: the path
 *                    without its last component and the separators before
 *                    it (trailing separators removed when there is no
 *                    name), never shorter than the root. "C:\a\b" gives 4,
 *                    "C:\b" 3, "a\b\" 3.
 * @param poffName    Optional: offset of the last component, or -1 when the
 *                    path ends in a separator or has nothing after its root.
 * @param poffSuffix  Optional: offset of the last '.' of the last component
 *                    when it is neither its first nor its last character,
 *                    else -1.
 * @returns the path's length.
 */
RTDECL(size_t) RTPathSplitSimple(const char *pszPath, size_t *pcchDir, ptrdiff_t *poffName, ptrdiff_t *poffSuffix);

/** @returns a pointer to the text after the last '\', '/' or ':', or null
 *  when that text is empty (the path ends in one of them, or is empty). */
RTDECL(char *) RTPathFindFilename(const char *pszPath);

/**
 * Removes trailing separators in place, keeping at least one character and
 * the separator of a drive root ("C:\\\" becomes "C:\", "\\\" becomes "\").
 * @returns the new length.
 */
RTDECL(size_t) RTPathStripSeparators(char *pszPath);

/**
 * Makes the path in @a pszPath end with a separator: one ending in '\', '/'
 * or ':' is left alone, else '\' is appended; "" becomes ".\".
 * @returns the new length, or 0 when the result does not fit @a cbPath bytes
 *          (the path is then unchanged).
 */
RTDECL(size_t) RTPathEnsureSeparator(char *pszPath, size_t cbPath);

/** Replaces every '/' by '\' in place. @returns @a pszPath. */
RTDECL(char *) RTPathToBackslashes(char *pszPath);

/**
 * Length of the root including all separators after it: a drive and its
 * separators ("C:\\" 4); a run of leading separators ("\\\x" 3); for a UNC
 * path the two separators, the server, its separators, the share and its
 * separators ("\\srv\share\x" 12). @returns 0 when there is no root.
 */
RTDECL(size_t) RTPathRootLength(const char *pszPath);

/** @returns true when RTPathRootLength is not 0. */
RTDECL(bool) RTPathStartsWithRoot(const char *pszPath);

/*
 * Host path services. Platform errors are converted to statuses.
 */

/**
 * The process's current directory; a drive letter is upper-cased.
 * @returns 0; ERR_BUFFER_OVERFLOW (also for @a cbPath 0); platform errors.
 */
RTDECL(int) RTPathGetCurrentDir(char *pszPath, size_t cbPath);

/**
 * The current directory of drive @a chDrive (its letter case as the host
 * reports it). A drive without a current directory of its own has its root:
 * on the POSIX host every drive gives "X:\".
 * @returns 0; ERR_BUFFER_OVERFLOW (also for @a cbPath 0);
 *          ERR_INVALID_PARAMETER for a character that is no letter;
 *          platform errors.
 */
RTDECL(int) RTPathGetCurrentDirOfDrive(char chDrive, char *pszPath, size_t cbPath);

/**
 * Changes the current directory. One trailing separator is ignored unless
 * it follows ':' ("C:\dir\" changes to "C:\dir", "C:\" stays "C:\").
 * On the POSIX host '\' separates as well.
 * @returns 0; ERR_INVALID_POINTER; ERR_INVALID_PARAMETER for "";
 *          conversion statuses; platform errors.
 */
RTDECL(int) RTPathSetCurrentDir(const char *pszPath);

/**
 * The current drive: "C:" or a UNC root "\\srv\share" ("\\srv" when the
 * current directory has no share). On the POSIX host, whose current
 * directory has no drive, the result is "" (status 0).
 * @returns 0; ERR_BUFFER_OVERFLOW; ERR_NO_TMP_MEMORY; ERR_INTERNAL_ERROR_4
 *          for a current directory of no known form; the statuses of
 *          RTPathGetCurrentDir.
 */
RTDECL(int) RTPathGetCurrentDrive(char *pszPath, size_t cbPath);

/**
 * The temporary directory: the first of the environment variables
 * "ZOLT_TMPDIR", "TMP", "TEMP" and "USERPROFILE" that is set (even to an
 * empty value), else "/tmp". Variable names are case-sensitive on the POSIX
 * host. The directory is not checked for existence.
 * @returns 0; ERR_BUFFER_OVERFLOW when the first variable that is set does
 *          not fit (the later ones are not tried), or "/tmp" needs more than
 *          @a cbPath bytes; the other statuses of RTEnvGetEx.
 */
RTDECL(int) RTPathTempDir(char *pszPath, size_t cbPath);

/**
 * The local system account's own temporary directory (Windows): for a
 * process whose token user is SYSTEM (S-1-5-18), on a host with
 * GetTempPath2W (Windows 11, Windows Server 2022 and updated Windows 10),
 * the directory that call gives SYSTEM, normally "C:\Windows\SystemTemp\"
 * (ending in a separator), which only SYSTEM and administrators may enter.
 * The environment is not consulted: SYSTEM's TMP and TEMP name the
 * Windows directory's Temp, where every user may create files.
 * @returns 0; ERR_NOT_SUPPORTED when the process is not SYSTEM, the host
 *          lacks GetTempPath2W, and on POSIX hosts: the caller then takes
 *          RTPathTempDir; ERR_BUFFER_OVERFLOW; the converted status of the
 *          token query or of GetTempPath2W.
 */
RT_NODISCARD RTDECL(int) RTPathSystemTempDir(char *pszPath, size_t cbPath);

/**
 * The directory of the running executable: its path without the file name
 * and the separators before it, a root keeping its separator ("C:\app.exe"
 * gives "C:\"). The path is the one recorded at process start-up; without
 * one it is asked from the host.
 * @returns 0; ERR_BUFFER_OVERFLOW; ERR_WRONG_STATE when the executable path
 *          is not known.
 */
RTDECL(int) RTPathExecutableDir(char *pszPath, size_t cbPath);

/** RTPathRename flag: replace an existing destination. */
#define RTPATHRENAME_FLAGS_REPLACE 0x1u

/**
 * Renames (moves) @a pszSrc to @a pszDst.
 * @param fRename     0 or RTPATHRENAME_FLAGS_REPLACE; without it an existing
 *                    destination fails with ERR_ALREADY_EXISTS.
 * @param fFileType   0, or the type bits of a file mode that the source must
 *                    have: 0x4000 directory, any other value "not a
 *                    directory".
 * @returns 0; ERR_NOT_A_DIRECTORY; ERR_IS_A_DIRECTORY; ERR_INVALID_FLAGS;
 *          ERR_INVALID_POINTER; conversion statuses; platform errors.
 */
RTDECL(int) RTPathRename(const char *pszSrc, const char *pszDst, uint32_t fRename, uint32_t fFileType);

#ifdef _WIN32
/**
 * Converts a path for the Win32 file functions. Paths short enough for the
 * classic limit are used as they are (separators unchanged; a drive-relative
 * path is made full); longer ones become the long-path form "\\?\C:\..." or
 * "\\?\UNC\srv\share\..." with folded "." and ".." and backslashes only,
 * relative ones resolved against the current directory first.
 * @returns 0 with the string in *ppwszNative (release with
 *          RTPathFreeNativeWide); conversion statuses; ERR_FILENAME_TOO_LONG
 *          beyond the NT limit or for a long path that has no long-path form
 *          (the raw NT escape); the statuses of RTPathAbsEx. *ppwszNative
 *          is null on failure.
 */
RTDECL(int) RTPathToNativeWide(RTUTF16 **ppwszNative, const char *pszPath);

/** Releases a string from RTPathToNativeWide; null is ignored. */
RTDECL(void) RTPathFreeNativeWide(RTUTF16 *pwszNative);

/*
 * NT object paths for the native NT calls. The record is the platform's
 * UNICODE_STRING (byte length, maximum byte length = length + 2, buffer;
 * always terminated); the root directory handle is always left null.
 */
struct _UNICODE_STRING;

/**
 * Converts a path to an NT object path: "C:\x" gives "\??\C:\x",
 * "\\srv\share\x" "\??\UNC\srv\share\x", "\\.\COM1" "\??\COM1", and
 * "\\?\C:\x" "\??\C:\x" (taken as it is). Other paths are made absolute
 * (RTPathAbsEx) first, folding "." and "..". The raw escape
 * "\\:zoltnt:\Some\Object" names the NT object "\Some\Object" directly.
 * @returns 0 with *pNtName filled (release with RTNtPathFree);
 *          ERR_FILENAME_TOO_LONG beyond 32766 UTF-16 units;
 *          ERR_NO_TMP_MEMORY; conversion statuses; the statuses of
 *          RTPathAbsEx.
 */
RTDECL(int) RTNtPathFromUtf8(struct _UNICODE_STRING *pNtName, void **phRootDir, const char *pszPath);

/** Releases an NT path from RTNtPathFromUtf8 and clears it; the root handle
 *  (optional) is set to null. */
RTDECL(void) RTNtPathFree(struct _UNICODE_STRING *pNtName, void **phRootDir);

/**
 * Opens a file-system object with NtCreateFile (FILE_ATTRIBUTE_NORMAL,
 * FILE_OPEN). A name the file system refuses as a parameter is retried once
 * with a trailing backslash (a drive root named without one). With
 * @a pfObjDir given and a raw-escape path, an NT object directory is opened
 * when the name is no file-system object; *pfObjDir then tells which kind
 * was opened.
 * @returns 0 with the handle in *phHandle; on failure *phHandle is
 *          INVALID_HANDLE_VALUE and the status is that of the conversion or
 *          the converted NT status.
 */
RTDECL(int)
RTNtPathOpen(const char *pszPath, uint32_t fDesiredAccess, uint32_t fShareAccess, uint32_t fCreateOptions,
             uint32_t fObjAttribs, void **phHandle, bool *pfObjDir);
#endif

RT_C_DECLS_END

#endif /* ZOLT_PATH_H */
