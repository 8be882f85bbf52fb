/** @file
 * Path internals shared by the path logic and the host backends.
 */
#ifndef ZOLT_INTERNAL_PATH_H
#define ZOLT_INTERNAL_PATH_H

#include <zolt/path.h>

/** Resolves the host style to the one it stands for (DOS everywhere). */
inline uint32_t rtPathStyle(uint32_t fFlags)
{
    uint32_t const fStyle = fFlags & RTPATH_STYLE_MASK;
    return fStyle == RTPATH_STYLE_HOST ? RTPATH_STYLE_DOS : fStyle;
}

inline bool rtPathIsSep(char ch, uint32_t fStyle)
{
    return ch == '/' || (ch == '\\' && fStyle == RTPATH_STYLE_DOS);
}

inline bool rtPathIsDosSep(char ch)
{
    return ch == '/' || ch == '\\';
}

inline bool rtPathIsLetter(char ch)
{
    return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z');
}

/** True for a drive letter followed by ':'. */
inline bool rtPathHasDrive(const char *psz)
{
    return rtPathIsLetter(psz[0]) && psz[1] == ':';
}

/**
 * RTPathParse without the argument checks; @a fStyle is DOS or UNIX and
 * @a cEntries the number of component entries the record holds.
 */
int rtPathParseStyle(const char *pszPath, RTPATHPARSEREC *pParsed, size_t cEntries, uint32_t fStyle);

/**
 * RTPathAssemble without the argument checks: writes the path described by
 * @a pParsed into @a pszDst when it fits. The destination may be the source
 * string itself (the output never runs ahead of what is still to be read).
 * @returns 0 or ERR_BUFFER_OVERFLOW (destination "" when cbDst > 0);
 *          *pcchPath (optional) gets the output length either way.
 */
int rtPathAssembleStyle(const char *pszSrc, const RTPATHPARSEREC *pParsed, uint32_t fStyle, char *pszDst, size_t cbDst,
                        size_t *pcchPath);

/**
 * Records the executable's full path for RTPathExecutableDir; process
 * start-up calls it once, before other threads exist.
 * @returns 0; ERR_BUFFER_OVERFLOW when it does not fit RTPATH_MAX bytes.
 */
int rtPathSetExecutablePath(const char *pszExePath);

/**
 * Asks the host for the running executable's full path (GetModuleFileNameW
 * on Windows, /proc/self/exe on the POSIX host).
 * @returns 0; ERR_BUFFER_OVERFLOW; platform errors.
 */
int rtPathHostQueryExecutablePath(char *pszPath, size_t cbPath);

#ifndef _WIN32
/**
 * The POSIX host's form of a path: a copy with every '\' turned into '/'
 * (the system's path rules take both as separators).
 * @returns 0 with a heap string in *ppszNative (RTStrFree);
 *          ERR_NO_STR_MEMORY.
 */
int rtPathPosixToNative(const char *pszPath, char **ppszNative);
#endif

#endif /* ZOLT_INTERNAL_PATH_H */
