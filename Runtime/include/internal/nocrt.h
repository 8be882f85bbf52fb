/** @file
 * Internals of the runtime's own Windows start-up.
 */
#ifndef ZOLT_INTERNAL_NOCRT_H
#define ZOLT_INTERNAL_NOCRT_H

#include <zolt/nocrt.h>

/** An entry of the .CRT$XI* table: an initialiser that returns 0, or a
 *  value that ends the process with it. */
typedef int (*PFNRTNOCRTINITINT)(void);
/** An entry of the .CRT$XC*, .CRT$XP* and .CRT$XT* tables. */
typedef void (*PFNRTNOCRTVOID)(void);

/**
 * Runs the .CRT$XI* initialisers in table order, stopping at the first that
 * returns non-zero, then the .CRT$XC* ones.
 * @returns 0, or the failing initialiser's value.
 */
int rtNoCrtRunInitializers(void);

#endif /* ZOLT_INTERNAL_NOCRT_H */
