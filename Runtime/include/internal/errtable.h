/** @file
 * The status table: one 64-bit word per status, sorted by code, with the
 * names and messages in a packed text store. Generated at build time by
 * tools/generate-status-table.py.
 */
#ifndef ZOLT_INTERNAL_ERRTABLE_H
#define ZOLT_INTERNAL_ERRTABLE_H

#include <zolt/strformat.h>

/**
 * One status: bits 0-16 name offset, 17-22 packed name length, 23-39
 * message offset, 40-47 packed message length, 48-63 the code (signed).
 */
typedef uint64_t RTErrStatusEntry;

/** The packed names and messages. */
typedef struct RTErrPackedText
{
    const uint8_t *pabText; /**< the packed bytes */
    uint32_t cbText;        /**< their size */
    /** Dictionary entries (0 to 256). Fewer than 256 make byte 255 an escape
     *  for the literal character that follows. */
    uint32_t cDict;
    /** Indexed by packed byte: above 0x7FFFFF a word (bits 22-31 length,
     *  0-21 offset in pabText); anything else: the byte stands for itself. */
    const uint32_t *pauDict;
} RTErrPackedText;

/** Where a status name lies in g_achRTErrNames (not terminated). */
typedef struct RTErrNameRef
{
    uint32_t offName;
    uint32_t cchName;
} RTErrNameRef;

extern const RTErrStatusEntry g_aRTErrStatusEntries[];
/** The names of g_aRTErrStatusEntries, index by index: what the packed
 *  names expand to, ready to copy. */
extern const RTErrNameRef g_aRTErrNames[];
/** The text of the names, one after the other. */
extern const char g_achRTErrNames[];
extern const uint32_t g_cRTErrStatusEntries;
extern const RTErrPackedText g_RTErrPackedText;

inline uint32_t rtErrEntryNameOff(RTErrStatusEntry uEntry)
{
    return (uint32_t)(uEntry & 0x1ffff);
}

inline uint32_t rtErrEntryNameLen(RTErrStatusEntry uEntry)
{
    return (uint32_t)(uEntry >> 17) & 0x3f;
}

inline uint32_t rtErrEntryMsgOff(RTErrStatusEntry uEntry)
{
    return (uint32_t)(uEntry >> 23) & 0x1ffff;
}

inline uint32_t rtErrEntryMsgLen(RTErrStatusEntry uEntry)
{
    return (uint32_t)(uEntry >> 40) & 0xff;
}

inline int rtErrEntryCode(RTErrStatusEntry uEntry)
{
    return (int16_t)(uint16_t)(uEntry >> 48);
}

/** Binary search of @a cEntries entries sorted by code.
 *  @returns the index of @a rc, or -1. */
int rtErrFindIn(const RTErrStatusEntry *paEntries, uint32_t cEntries, int rc);

/** Looks up the name of status @a rc as plain text.
 *  @returns its length, with the text in @a *ppchName; 0 when the table has
 *  no such status (@a *ppchName is then untouched). */
size_t rtErrFindName(int rc, const char **ppchName);

/**
 * Expands @a cb packed bytes at @a off of @a pStore through the output
 * callback, in as few pieces as its work buffer allows (a span of the store
 * without dictionary goes out as one piece). A span outside the store
 * outputs nothing; expansion stops at a word outside the store; an escaped
 * byte that does not start valid UTF-8 outputs "?".
 * @returns the callback results' sum.
 */
size_t rtErrExpandPacked(const RTErrPackedText *pStore, uint32_t off, uint32_t cb, PFNFMTOUTPUT pfnOutput,
                         void *pvArgOutput);

#endif /* ZOLT_INTERNAL_ERRTABLE_H */
