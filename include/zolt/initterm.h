/** @file
 * Runtime initialisation of a process.
 *
 * An executable's main function initialises the runtime before anything
 * else (RTR3InitForExe); the first call does the work, later calls only
 * reconcile flags, program path and arguments. There is no termination
 * call: the runtime's exit processing runs when the process ends (on
 * Windows through the runtime's own start-up, see <zolt/nocrt.h>).
 */
#ifndef ZOLT_INITTERM_H
#define ZOLT_INITTERM_H

#include <zolt/cdefs.h>

RT_C_DECLS_BEGIN

/** Accepted and kept with the other flags; it has no effect here. */
#define RTR3INIT_F_RESERVED_2 2u
/** Load system libraries only from the system directory
 *  (SetDefaultDllDirectories with the system directory alone). */
#define RTR3INIT_F_SYSTEM32_DLLS 4u
/** Do not harden the process (error mode, DLL search path, exception
 *  filter); a later call without this flag does it then. */
#define RTR3INIT_F_UNOBTRUSIVE 8u

/**
 * Initialises the runtime.
 *
 * The first call runs the initialisation: host services, the thread
 * registry with the calling thread adopted as "main", the executable path
 * (the program name of messages), the arguments, and the exit callback.
 * Later calls (from any thread) only add flags, replace the program path
 * and check the arguments.
 *
 * @param fFlags          RTR3INIT_F_* flags.
 * @param cArgs           Argument count, or 0 to record none.
 * @param ppapszArgs      Pointer to the argument vector (may be null with
 *                        cArgs 0); the vector is recorded, not copied.
 * @param pszProgramPath  Path to record as the executable's instead of the
 *                        one the host reports; null for the host's.
 * @returns 0;
 *          ERR_WRONG_STATE when different arguments were recorded before;
 *          ERR_BUFFER_OVERFLOW for a program path of 4068 bytes or more;
 *          the host initialisation's failures (on Windows
 *          ERR_INTERNAL_ERROR_2 without kernel32/ntdll, ERR_INTERNAL_ERROR_3
 *          or ERR_INTERNAL_ERROR_4 when the DLL search path cannot be
 *          restricted), the thread registry's, and the executable path's.
 *          A failed first call can be retried.
 */
RT_NODISCARD RTDECL(int) RTR3Init(uint32_t fFlags, int cArgs, char ***ppapszArgs, const char *pszProgramPath);

/** RTR3Init for an executable's main function, with the host's program
 *  path. Print a failure with RTMessageInitFailure (<zolt/message.h>). */
RT_NODISCARD RTDECL(int) RTR3InitForExe(int cArgs, char ***ppapszArgs, uint32_t fFlags);

/** @returns true once a first RTR3Init has completed successfully. */
RTDECL(bool) RTR3InitIsInitialized(void);

RT_C_DECLS_END

#endif /* ZOLT_INITTERM_H */
