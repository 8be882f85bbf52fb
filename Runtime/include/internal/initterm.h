/** @file
 * Runtime initialisation internals: the recorded executable path and
 * arguments, the initialisation state, and the host hooks.
 */
#ifndef ZOLT_INTERNAL_INITTERM_H
#define ZOLT_INTERNAL_INITTERM_H

#include <zolt/cdefs.h>
#include <zolt/initterm.h>

/** Size of the recorded executable path buffer, terminator included. */
#define RTPATH_EXEC_MAX 4068

/** The executable's path as recorded by the first RTR3Init (UTF-8); empty
 *  before. */
extern char g_szrtProcExePath[RTPATH_EXEC_MAX];
/** Length of g_szrtProcExePath. */
extern size_t g_cchrtProcExePath;
/** Offset of the file-name component in g_szrtProcExePath (the program
 *  name of messages); 0 before the path is known. */
extern size_t g_offrtProcName;
/** Length of the directory part of g_szrtProcExePath (separators before
 *  the file name excluded, a root's kept). */
extern size_t g_cchrtProcDir;

/** The recorded arguments: the count (-1 while none are recorded), the
 *  vector as given and the one in use. */
extern int g_crtArgs;
extern char **g_papszrtOrgArgs;
extern char **g_papszrtArgs;
/** The process identifier, recorded by the first initialisation (which
 *  also records the program's start time, internal/time.h). */
extern uint32_t g_rtProcessSelf;

/** Set while the first initialisation runs. */
extern bool volatile g_frtR3Initializing;
/** Set by the exit callback once the process is ending. */
extern bool volatile g_frtR3Terminating;

/**
 * Host part of the first initialisation (Windows: version, hardening
 * unless RTR3INIT_F_UNOBTRUSIVE, optional entry points, sockets).
 * @returns 0 or a failure status that fails the initialisation.
 */
int RTR3InitNative(uint32_t fFlags);

/**
 * Hardens the process (Windows: error mode, DLL search path, unhandled-
 * exception filter); run by RTR3InitNative, or by a later initialisation
 * that drops RTR3INIT_F_UNOBTRUSIVE.
 * @returns 0 or a failure status.
 */
int RTR3InitHardening(uint32_t fFlags);

/** @returns the platform's identifier of the current process. */
uint32_t rtProcNativeSelf(void);

#endif /* ZOLT_INTERNAL_INITTERM_H */
