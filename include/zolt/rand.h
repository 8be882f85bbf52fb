/** @file
 * Random numbers: the Park-Miller minimal-standard generator and the
 * process's shared generator.
 *
 * These numbers are for names and jitter, not for secrets: the generator's
 * whole state is 32 bits.
 *
 * A generator handle is a heap record checked by its magic on every call.
 * Its state is updated without a lock: one generator must not be used by
 * several threads at once if their sequences matter.
 */
#ifndef ZOLT_RAND_H
#define ZOLT_RAND_H

#include <zolt/cdefs.h>

RT_C_DECLS_BEGIN

/** Handle of a random generator. */
typedef struct RTRANDREC *RTRAND;

/** Size of a saved Park-Miller state, terminator included:
 *  "PM:SSSSSSSS,CCCCCCCC,NN;" with seed, cached bits and cached bit count
 *  in hexadecimal. */
#define RTRAND_PARKMILLER_STATE_SIZE 25

/**
 * Creates a Park-Miller generator. Its state is 0x20080806 with no cached
 * bits until it is seeded.
 * @returns 0 with the handle in *phRand; ERR_NO_MEMORY; ERR_INVALID_POINTER
 *          for a bad @a phRand.
 */
RT_NODISCARD RTDECL(int) RTRandParkMillerCreate(RTRAND *phRand, const char *pszTag = RT_SRC_TAG);

/**
 * Destroys a generator: its magic changes first, then the record is freed.
 * @returns 0; ERR_INVALID_HANDLE for a bad pointer or magic.
 */
RTDECL(int) RTRandAdvDestroy(RTRAND hRand);

/** Sets the state to the low 32 bits of @a u64Seed and drops any cached
 *  bits. A state of 0 acts as the state 20080806 (decimal) when the next
 *  value is drawn. @returns 0; ERR_INVALID_HANDLE. */
RTDECL(int) RTRandAdvSeed(RTRAND hRand, uint64_t u64Seed);

/**
 * Draws a value in u32First..u32Last (inclusive; u32First <= u32Last).
 * Ranges below 0x7FFFFFF cost one generator step; the full range and wide
 * ranges also use bits cached from an extra step now and then.
 * @returns the value; all ones for a bad handle.
 */
RTDECL(uint32_t) RTRandAdvU32Ex(RTRAND hRand, uint32_t u32First, uint32_t u32Last);

/** As RTRandAdvU32Ex for 64-bit ranges: ranges up to 32 bits wide draw
 *  once, wider ones combine two full-width draws. @returns the value; all
 *  ones for a bad handle. */
RTDECL(uint64_t) RTRandAdvU64Ex(RTRAND hRand, uint64_t u64First, uint64_t u64Last);

/** Fills @a cb bytes at @a pv with full-width values in little-endian
 *  order, the last one cut to the bytes needed. A bad handle or buffer
 *  leaves the buffer untouched. */
RTDECL(void) RTRandAdvBytes(RTRAND hRand, void *pv, size_t cb);

/**
 * Saves the state as text (RTRAND_PARKMILLER_STATE_SIZE bytes).
 * @param pcbState in: size of @a pszState; out: the size needed.
 * @returns 0; ERR_BUFFER_OVERFLOW (buffer untouched) when it is too small;
 *          ERR_INVALID_HANDLE; ERR_INVALID_POINTER.
 */
RTDECL(int) RTRandAdvSaveState(RTRAND hRand, char *pszState, size_t *pcbState);

/**
 * Restores a state saved by RTRandAdvSaveState: exactly the saved form, with
 * three fixed-width hexadecimal fields and nothing after the ';'.
 * @returns 0; ERR_PARSE_ERROR (state untouched) for any other text;
 *          ERR_INVALID_HANDLE; ERR_INVALID_POINTER.
 */
RTDECL(int) RTRandAdvRestoreState(RTRAND hRand, const char *pszState);

/**
 * Draws a value in u32First..u32Last (inclusive) from the process's shared
 * generator, which is created and seeded from the processor's cycle counter
 * on first use. Calls from several threads may see the same or interleaved
 * values.
 * @returns the value; all ones when the shared generator could not be
 *          created.
 */
RTDECL(uint32_t) RTRandU32Ex(uint32_t u32First, uint32_t u32Last);

RT_C_DECLS_END

#endif /* ZOLT_RAND_H */
