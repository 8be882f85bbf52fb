/** @file
 * Files the packer carries, generated into sources by the build: each is
 * its bytes with a NUL appended (so a text can be read as a C string) and
 * its size without that NUL.
 */
#ifndef PACK_EMBEDDED_H
#define PACK_EMBEDDED_H

#include <cstddef>
#include <cstdint>

/** The default icon of every launcher (tools/make-icon.py). */
extern const uint8_t g_abPackDefaultIcon[];
extern const size_t g_abPackDefaultIconSize;

/** The launcher's manifest with placeholders (installer/stub.manifest.in). */
extern const uint8_t g_abPackManifestTemplate[];
extern const size_t g_abPackManifestTemplateSize;

#endif /* PACK_EMBEDDED_H */
