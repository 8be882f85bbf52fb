/** @file
 * Basic definitions shared by every runtime header.
 */
#ifndef ZOLT_CDEFS_H
#define ZOLT_CDEFS_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
#define RT_C_DECLS_BEGIN                                                                                               \
    extern "C"                                                                                                         \
    {
#define RT_C_DECLS_END }
#else
#define RT_C_DECLS_BEGIN
#define RT_C_DECLS_END
#endif

/** Declares a public runtime function returning @a type. */
#define RTDECL(type) type

/** A status that must not be ignored; ignore one visibly with (void). */
#define RT_NODISCARD [[nodiscard]]

/**
 * The allocation tag: the name of the source file that makes the call.
 * Used as the default argument of every allocating call, so it is evaluated
 * at the call site and callers get their own file name without writing it.
 */
#define RT_SRC_TAG __builtin_FILE()

/**
 * Pointer validity as the whole runtime sees it: a pointer whose value,
 * taken as a signed number, lies within 4096 of zero is invalid. Parameter
 * checks reject such pointers and the formatter renders them as a marker.
 */
#define RT_VALID_PTR(p) ((intptr_t)(p) >= 4096 || (intptr_t)(p) <= -4096)

/** Element count of a true array. */
#define RT_ELEMENTS(a) (sizeof(a) / sizeof((a)[0]))

/** The all-ones size: "up to the terminator" wherever a limit is taken. */
#define RTSTR_MAX (~(size_t)0)

/** One UTF-16 code unit in host byte order. */
typedef char16_t RTUTF16;
/** A Unicode code point (also holds the historic values up to 0x7FFFFFFF). */
typedef uint32_t RTUNICP;

#endif /* ZOLT_CDEFS_H */
