/** @file
 * The launcher's product title and version: the one place they are set.
 *
 * Plain macros, because the resource compiler reads this file too (the
 * version record and the strings of the executable).
 */
#ifndef STUB_VERSION_H
#define STUB_VERSION_H

#define STUB_PRODUCT_TITLE "Marrowdale Installer"
#define STUB_VERSION_MAJOR 7
#define STUB_VERSION_MINOR 2
#define STUB_VERSION_BUILD 0
/** The source revision; too large for the 16-bit fields of the binary
 *  version record, so that record carries 0 and the strings carry it. */
#define STUB_VERSION_REVISION 169963

#define STUB_STRINGIFY_(x) #x
#define STUB_STRINGIFY(x) STUB_STRINGIFY_(x)
/** "7.2.0r169963" */
#define STUB_VERSION_STRING                                                                                            \
    STUB_STRINGIFY(STUB_VERSION_MAJOR)                                                                                 \
    "." STUB_STRINGIFY(STUB_VERSION_MINOR) "." STUB_STRINGIFY(STUB_VERSION_BUILD) "r" STUB_STRINGIFY(                  \
        STUB_VERSION_REVISION)

#endif /* STUB_VERSION_H */
