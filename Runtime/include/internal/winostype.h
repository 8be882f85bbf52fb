/** @file
 * Classification of Windows versions.
 */
#ifndef ZOLT_INTERNAL_WINOSTYPE_H
#define ZOLT_INTERNAL_WINOSTYPE_H

#include <zolt/cdefs.h>

/** Windows versions, as the runtime's initialisation classifies the host.
 *  The values are recorded and compared (a newer host has a larger value
 *  within its family), so they never change. */
typedef enum RTWinOsType
{
    RTWINOSTYPE_UNKNOWN = 0,
    RTWINOSTYPE_95 = 1,
    RTWINOSTYPE_95SP1 = 2,
    RTWINOSTYPE_95OSR2 = 3,
    RTWINOSTYPE_98 = 4,
    RTWINOSTYPE_98SP1 = 5,
    RTWINOSTYPE_98SE = 6,
    RTWINOSTYPE_ME = 7,
    RTWINOSTYPE_NT310 = 100,
    RTWINOSTYPE_NT350 = 101,
    RTWINOSTYPE_NT351 = 102,
    RTWINOSTYPE_NT4 = 103,
    RTWINOSTYPE_2K = 104,
    RTWINOSTYPE_XP = 105,
    RTWINOSTYPE_2003 = 107,
    RTWINOSTYPE_VISTA = 108,
    RTWINOSTYPE_2008 = 109,
    RTWINOSTYPE_7 = 110,
    RTWINOSTYPE_2008R2 = 111,
    RTWINOSTYPE_8 = 112,
    RTWINOSTYPE_2012 = 113,
    RTWINOSTYPE_81 = 114,
    RTWINOSTYPE_2012R2 = 115,
    /** 6.4 workstation, and 10.0 workstation below build 22000. */
    RTWINOSTYPE_10 = 116,
    /** 6.4 server, and 10.0 server up to build 17762. */
    RTWINOSTYPE_2016 = 117,
    RTWINOSTYPE_2019 = 118,
    RTWINOSTYPE_2022 = 119,
    RTWINOSTYPE_11 = 120,
    RTWINOSTYPE_NT_UNKNOWN = 199
} RTWinOsType;

/** Platform identifiers of the version record. */
#define RTWINPLATFORM_WIN9X 1u
#define RTWINPLATFORM_NT 2u
/** Product type of a workstation; anything else is a server. */
#define RTWINPRODUCT_WORKSTATION 1u

/**
 * Classifies a Windows version.
 * @param uBuild        Build number (Windows 9x: only its low 16 bits count).
 * @param bProductType  1 workstation, 2 domain controller, 3 server.
 */
RTWinOsType rtWinClassifyOsVersion(uint32_t uPlatform, uint32_t uMajor, uint32_t uMinor, uint32_t uBuild,
                                   uint8_t bProductType);

#endif /* ZOLT_INTERNAL_WINOSTYPE_H */
