/** @file
 * Status codes and conversion of platform error numbers.
 *
 * A status code is a signed 32-bit integer: 0 is success, negative values
 * (ERR_*) are failures, positive values (WRN_*, INF_*) are successes that
 * carry information. Test with RT_SUCCESS / RT_FAILURE, never against 0.
 */
#ifndef ZOLT_ERR_H
#define ZOLT_ERR_H

#include <zolt/cdefs.h>

#include <stdint.h>

/** True for success and informational statuses (0 and above). */
#define RT_SUCCESS(rc) ((int)(rc) >= 0)
/** Same as RT_SUCCESS; spelled out where a caller means "not predicted". */
#define RT_SUCCESS_NP(rc) ((int)(rc) >= 0)
/** True for failure statuses (below 0). */
#define RT_FAILURE(rc) ((int)(rc) < 0)

/* Every status the system produces, by name and value. The values are part
   of the system's interface (they reach logs and exit reports) and never
   change. */
#define SUCCESS 0
#define INF_ALREADY_INITIALIZED 28
#define WRN_NUMBER_TOO_BIG 55
#define WRN_NEGATIVE_UNSIGNED 57
#define WRN_TRAILING_CHARS 76
#define WRN_TRAILING_SPACES 77
#define INF_NOT_AN_OPTION 828
#define INF_LOG_NO_LOGGER 22302
#define ERR_GENERAL_FAILURE (-1)
#define ERR_INVALID_PARAMETER (-2)
#define ERR_INVALID_MAGIC (-3)
#define ERR_INVALID_HANDLE (-4)
#define ERR_INVALID_POINTER (-6)
#define ERR_NO_MEMORY (-8)
#define ERR_ALREADY_RUNNING (-9)
#define ERR_NOT_IMPLEMENTED (-12)
#define ERR_INVALID_FLAGS (-13)
#define ERR_NOT_SYMLINK (-19)
#define ERR_NO_TMP_MEMORY (-20)
#define ERR_INVALID_FILE_MODE (-21)
#define ERR_WRONG_STATE (-22)
#define ERR_NO_TLS (-23)
#define ERR_TLS_SET_FAILED (-24)
#define ERR_THREAD_IS_DEAD (-29)
#define ERR_THREAD_NOT_WAITABLE (-30)
#define ERR_UNMAPPED_PLATFORM_ERROR (-35)
#define ERR_INVALID_FUNCTION (-36)
#define ERR_NOT_SUPPORTED (-37)
#define ERR_ACCESS_DENIED (-38)
#define ERR_INTERRUPTED (-39)
#define ERR_TIMEOUT (-40)
#define ERR_BUFFER_OVERFLOW (-41)
#define ERR_TOO_MANY_THREADS (-43)
#define ERR_TOO_MANY_PROCESSES (-44)
#define ERR_SIGNAL_REFUSED (-45)
#define ERR_SIGNAL_PENDING (-46)
#define ERR_SIGNAL_INVALID (-47)
#define ERR_MISMATCH (-48)
#define ERR_INVALID_UUID_FORMAT (-49)
#define ERR_THREAD_RUNNING (-51)
#define ERR_TRY_AGAIN (-52)
#define ERR_PARSE_ERROR (-53)
#define ERR_OUT_OF_RANGE (-54)
#define ERR_NO_DIGITS (-56)
#define ERR_NO_TRANSLATION (-58)
#define ERR_INVALID_CODE_POINT (-59)
#define ERR_SURROGATE_CODE_POINT (-60)
#define ERR_INVALID_UTF8_ENCODING (-61)
#define ERR_INVALID_UTF16_ENCODING (-62)
#define ERR_CODE_POINT_TOO_LARGE (-63)
#define ERR_NO_STR_MEMORY (-64)
#define ERR_NO_UTF16_MEMORY (-65)
#define ERR_NO_CODE_POINT_MEMORY (-66)
#define ERR_CANCELLED (-70)
#define ERR_TRAILING_CHARS (-76)
#define ERR_TRAILING_SPACES (-77)
#define ERR_NOT_FOUND (-78)
#define ERR_END_OF_STRING (-83)
#define ERR_AUTHENTICATION_FAILURE (-89)
#define ERR_OPEN_FAILED (-101)
#define ERR_FILE_NOT_FOUND (-102)
#define ERR_PATH_NOT_FOUND (-103)
#define ERR_INVALID_NAME (-104)
#define ERR_ALREADY_EXISTS (-105)
#define ERR_TOO_MANY_OPEN_FILES (-106)
#define ERR_SEEK (-107)
#define ERR_NEGATIVE_SEEK (-108)
#define ERR_SEEK_ON_DEVICE (-109)
#define ERR_EOF (-110)
#define ERR_READ_ERROR (-111)
#define ERR_WRITE_ERROR (-112)
#define ERR_WRITE_PROTECT (-113)
#define ERR_SHARING_VIOLATION (-114)
#define ERR_FILE_LOCK_FAILED (-115)
#define ERR_FILE_LOCK_VIOLATION (-116)
#define ERR_CANT_CREATE (-117)
#define ERR_CANT_DELETE_DIRECTORY (-118)
#define ERR_NOT_SAME_DEVICE (-119)
#define ERR_FILENAME_TOO_LONG (-120)
#define ERR_MEDIA_NOT_RECOGNIZED (-122)
#define ERR_FILE_NOT_LOCKED (-123)
#define ERR_DIR_NOT_EMPTY (-125)
#define ERR_NOT_A_DIRECTORY (-126)
#define ERR_IS_A_DIRECTORY (-127)
#define ERR_FILE_TOO_BIG (-128)
#define ERR_OBJECT_TYPE_MISMATCH (-141)
#define ERR_PATH_ROOT_WITHOUT_SLASH (-142)
#define ERR_PATH_ZERO_LENGTH (-145)
#define ERR_INVALID_DRIVE (-151)
#define ERR_DISK_FULL (-152)
#define ERR_DRIVE_LOCKED (-154)
#define ERR_DISK_INVALID_FORMAT (-155)
#define ERR_TOO_MANY_SYMLINKS (-156)
#define ERR_IS_A_SYMLINK (-160)
#define ERR_MEDIA_NOT_PRESENT (-165)
#define ERR_NO_MORE_FILES (-201)
#define ERR_NO_MORE_SEARCH_HANDLES (-202)
#define ERR_INTERNAL_ERROR (-225)
#define ERR_INTERNAL_ERROR_2 (-226)
#define ERR_INTERNAL_ERROR_3 (-227)
#define ERR_INTERNAL_ERROR_4 (-228)
#define ERR_INTERNAL_ERROR_5 (-229)
#define ERR_IO_BAD_UNIT (-251)
#define ERR_IO_NOT_READY (-252)
#define ERR_IO_BAD_COMMAND (-253)
#define ERR_IO_CRC (-254)
#define ERR_IO_BAD_LENGTH (-255)
#define ERR_IO_SECTOR_NOT_FOUND (-256)
#define ERR_IO_GEN_FAILURE (-257)
#define ERR_PIPE_IO_ERROR (-300)
#define ERR_BROKEN_PIPE (-301)
#define ERR_BAD_PIPE (-302)
#define ERR_PIPE_BUSY (-303)
#define ERR_NO_DATA (-304)
#define ERR_PIPE_NOT_CONNECTED (-305)
#define ERR_MORE_DATA (-306)
#define ERR_TOO_MANY_SEMAPHORES (-351)
#define ERR_EXCL_SEM_ALREADY_OWNED (-352)
#define ERR_SEM_IS_SET (-353)
#define ERR_TOO_MANY_SEM_REQUESTS (-354)
#define ERR_NOT_OWNER (-355)
#define ERR_TOO_MANY_POSTS (-357)
#define ERR_SEM_BUSY (-360)
#define ERR_SEM_OWNER_DIED (-361)
#define ERR_SEM_NOT_FOUND (-362)
#define ERR_SEM_DESTROYED (-363)
#define ERR_SEM_NESTED (-364)
#define ERR_NET_IO_ERROR (-400)
#define ERR_NET_OUT_OF_RESOURCES (-401)
#define ERR_NET_HOST_NOT_FOUND (-402)
#define ERR_NET_PATH_NOT_FOUND (-403)
#define ERR_NET_PRINT_ERROR (-404)
#define ERR_NET_IN_PROGRESS (-436)
#define ERR_NET_ALREADY_IN_PROGRESS (-437)
#define ERR_NET_NOT_SOCKET (-438)
#define ERR_NET_DEST_ADDRESS_REQUIRED (-439)
#define ERR_NET_MSG_SIZE (-440)
#define ERR_NET_PROTOCOL_TYPE (-441)
#define ERR_NET_PROTOCOL_NOT_AVAILABLE (-442)
#define ERR_NET_PROTOCOL_NOT_SUPPORTED (-443)
#define ERR_NET_SOCKET_TYPE_NOT_SUPPORTED (-444)
#define ERR_NET_OPERATION_NOT_SUPPORTED (-445)
#define ERR_NET_PROTOCOL_FAMILY_NOT_SUPPORTED (-446)
#define ERR_NET_ADDRESS_FAMILY_NOT_SUPPORTED (-447)
#define ERR_NET_ADDRESS_IN_USE (-448)
#define ERR_NET_ADDRESS_NOT_AVAILABLE (-449)
#define ERR_NET_DOWN (-450)
#define ERR_NET_UNREACHABLE (-451)
#define ERR_NET_CONNECTION_RESET (-452)
#define ERR_NET_CONNECTION_ABORTED (-453)
#define ERR_NET_CONNECTION_RESET_BY_PEER (-454)
#define ERR_NET_NO_BUFFER_SPACE (-455)
#define ERR_NET_ALREADY_CONNECTED (-456)
#define ERR_NET_NOT_CONNECTED (-457)
#define ERR_NET_SHUTDOWN (-458)
#define ERR_NET_TOO_MANY_REFERENCES (-459)
#define ERR_NET_CONNECTION_REFUSED (-461)
#define ERR_NET_HOST_DOWN (-464)
#define ERR_NET_HOST_UNREACHABLE (-465)
#define ERR_NET_PROVIDER_INIT_FAILED (-468)
#define ERR_INVALID_EXE_SIGNATURE (-600)
#define ERR_BAD_EXE_FORMAT (-608)
#define ERR_SYMBOL_NOT_FOUND (-609)
#define ERR_MODULE_NOT_FOUND (-610)
#define ERR_IMAGE_HASH_INVALID (-619)
#define ERR_ENV_VAR_NOT_FOUND (-750)
#define ERR_ENV_INVALID_VAR_NAME (-752)
#define ERR_ENV_INVALID_ASSIGNMENT (-753)
#define ERR_OPTION_UNKNOWN (-825)
#define ERR_OPTION_VALUE_MISSING (-826)
#define ERR_OPTION_VALUE_FORMAT (-827)
#define ERR_OPTION_INDEX_MISSING (-829)
#define ERR_TRUST_FAILURE (-3775)
#define ERR_LOG_REVISION_MISMATCH (-22300)
#define ERR_STR_SHORTER_THAN_SIZE (-22401)
#define ERR_UNEVEN_INPUT (-22402)
#define ERR_ACCOUNT_RESTRICTED (-22405)
#define ERR_PRIVILEGE_NOT_HELD (-22410)
#define ERR_ELEVATION_REQUIRED (-22419)
#define ERR_INTEGRITY_POLICY_VIOLATION (-22430)
#define ERR_CRYPTO_BAD_ALGORITHM (-23502)

RT_C_DECLS_BEGIN

/**
 * Converts a Windows error code (a GetLastError value; this also covers the
 * Windows Sockets errors and two cryptography/NT-style values) to a status.
 *
 * @returns 0 for 0; the mapped status for a known code;
 *          ERR_UNMAPPED_PLATFORM_ERROR for anything else (the number is
 *          lost, so keep it yourself if you want to show it).
 * Pure: no side effects, and the thread's last-error value is untouched.
 */
RTDECL(int) RTErrConvertFromWin32(uint32_t uNativeCode);

/**
 * Converts an NT status value (as returned by NtCreateFile and its kin).
 *
 * @returns 0 for 0 (STATUS_SUCCESS); the mapped status for a known value;
 *          ERR_UNMAPPED_PLATFORM_ERROR for anything else, including every
 *          other success or informational NT status such as 0x00000103.
 */
RTDECL(int) RTErrConvertFromNtStatus(int32_t lNativeStatus);

/**
 * Converts an errno value of the host C library.
 *
 * @returns 0 for 0; the nearest status for a known errno value (EACCES ->
 *          ERR_ACCESS_DENIED, ENOENT -> ERR_FILE_NOT_FOUND, ...);
 *          ERR_UNMAPPED_PLATFORM_ERROR otherwise. Values are those of the
 *          host, so the mapping is only meaningful on the host that produced
 *          the errno value.
 */
RTDECL(int) RTErrConvertFromErrno(int iErrno);

RT_C_DECLS_END

/*
 * Status names and messages: lookup in the status table and rendering
 * through a formatter output callback (<zolt/strformat.h>). "%Rrc", "%Rrs",
 * "%Rra", "%Rwc" and "%Rwa" use these.
 */

#include <zolt/strformat.h>

RT_C_DECLS_BEGIN

/**
 * Finds @a rc in the status table (a binary search; codes outside the
 * signed 16-bit range are never found).
 * @returns the entry's index, or -1.
 */
RTDECL(int) RTErrFind(int rc);

/**
 * Outputs the name of @a rc ("ERR_FILE_NOT_FOUND"), or for a status not in
 * the table the status in signed decimal ("-12345"). @a pszBuf (@a cbBuf
 * bytes, 80 recommended) is a work buffer for the numbers.
 * @returns the number of bytes output.
 */
RTDECL(size_t) RTErrFmtName(int rc, PFNFMTOUTPUT pfnOutput, void *pvArgOutput, char *pszBuf, size_t cbBuf);

/** Outputs the message of @a rc, or RTErrFmtUnknown's text for a status not
 *  in the table. @returns the number of bytes output. */
RTDECL(size_t) RTErrFmtMsg(int rc, PFNFMTOUTPUT pfnOutput, void *pvArgOutput, char *pszBuf, size_t cbBuf);

/** Outputs "NAME (rc) - message", or RTErrFmtUnknown's text for a status not
 *  in the table. @returns the number of bytes output. */
RTDECL(size_t) RTErrFmtAll(int rc, PFNFMTOUTPUT pfnOutput, void *pvArgOutput, char *pszBuf, size_t cbBuf);

/** Outputs "Unknown Status -12345 (0xffffcfc7)" for @a rc.
 *  @returns the number of bytes output. */
RTDECL(size_t) RTErrFmtUnknown(int rc, PFNFMTOUTPUT pfnOutput, void *pvArgOutput, char *pszBuf, size_t cbBuf);

/**
 * Outputs the name of the Windows error code @a uCode ("ERROR_SUCCESS" for
 * 0), or else "0x" and its lower-case hexadecimal value; an HRESULT that
 * wraps a known code (bits 16-28 equal to 7) gets the name and "/" in front:
 * 0x80070000 gives "ERROR_SUCCESS/0x80070000".
 * @returns the number of bytes output.
 */
RTDECL(size_t) RTErrWinFmtName(uint32_t uCode, PFNFMTOUTPUT pfnOutput, void *pvArgOutput, char *pszBuf, size_t cbBuf);

/**
 * Outputs "NAME (0x...)" for a known Windows error code (or an HRESULT that
 * wraps one), else "Unknown Status 0x...".
 * @returns the number of bytes output.
 */
RTDECL(size_t) RTErrWinFmtAll(uint32_t uCode, PFNFMTOUTPUT pfnOutput, void *pvArgOutput, char *pszBuf, size_t cbBuf);

/*
 * Extended error information: a status and a message buffer that a callee
 * fills in for its caller ("%RTeic" and "%RTeim" print it).
 */

/** Marker in the high 16 bits of RTERRINFO::fFlags. */
#define RTERRINFO_FLAGS_MAGIC 0xbabe0000u
/** Mask of the marker. */
#define RTERRINFO_FLAGS_MAGIC_MASK 0xffff0000u
/** Set once a status (and message) has been stored. */
#define RTERRINFO_FLAGS_SET 0x00000004u

/** Extended error information record. */
typedef struct RTERRINFO
{
    uint32_t fFlags; /**< RTERRINFO_FLAGS_MAGIC | RTERRINFO_FLAGS_SET | ... */
    int32_t rc;      /**< the status */
    size_t cbMsg;    /**< size of the message buffer in bytes */
    char *pszMsg;    /**< the message buffer, UTF-8 */
} RTERRINFO;

RT_C_DECLS_END

#endif /* ZOLT_ERR_H */
