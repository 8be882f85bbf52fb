/** @file
 * Runtime initialisation internals, Windows: what the first initialisation
 * found out about the host.
 */
#ifndef ZOLT_INTERNAL_INIT_WIN_H
#define ZOLT_INTERNAL_INIT_WIN_H

#include <windows.h>

#include "internal/winostype.h"

/** The host's version (RtlGetVersion or a fallback), and its class. */
extern RTL_OSVERSIONINFOEXW g_rtWinOsInfoEx;
extern RTWinOsType g_enmrtWinOsType;

/** @name How the DLL search path was restricted (g_enmrtWinDllSearchMode)
 * @{ */
#define RTWINDLLSEARCH_UNTOUCHED 0
/** SetDllDirectoryW(L""): the current directory is out. */
#define RTWINDLLSEARCH_DLL_DIRECTORY 2
/** SetDefaultDllDirectories: system and application directory. */
#define RTWINDLLSEARCH_SYSTEM32_APPDIR 3
/** SetDefaultDllDirectories: the system directory only. */
#define RTWINDLLSEARCH_SYSTEM32 4
/** @} */
extern int g_enmrtWinDllSearchMode;

/** Optional system entry points; null where the host lacks them. Call
 *  through the matching function pointer type. */
typedef struct RTR3WINOPTENTRIES
{
    /* kernel32 */
    void *pfnGetSystemWindowsDirectoryW; /**< GetWindowsDirectoryW where missing */
    void *pfnSystemTimeToTzSpecificLocalTime;
    void *pfnCreateWaitableTimerExW;
    void *pfnGetHandleInformation;
    void *pfnSetHandleInformation;
    void *pfnIsDebuggerPresent;
    void *pfnGetSystemTimePreciseAsFileTime;
    void *pfnGetTickCount64;
    void *pfnQueryUnbiasedInterruptTime;
    void *pfnSetWaitableTimerEx;
    void *pfnGetDynamicTimeZoneInformation;
    void *pfnPostQueuedCompletionStatus;
    void *pfnIsProcessorFeaturePresent;
    /* kernel32, resolved by the hardening step */
    void *pfnGetCurrentThreadStackLimits;
    void *pfnSetUnhandledExceptionFilter;
    void *pfnUnhandledExceptionFilter;
    /* ntdll */
    void *pfnNtQueryFullAttributesFile;
    void *pfnNtDuplicateToken;
    void *pfnNtAlertThread;
} RTR3WINOPTENTRIES;
extern RTR3WINOPTENTRIES g_rtR3WinOpt;

/** @name Indexes into g_apfnrtWinSock: the Windows Sockets entry points,
 *  null when neither ws2_32 nor wsock32 could be had.
 * @{ */
enum
{
    RTR3WINSOCK_WSAStartup = 0,
    RTR3WINSOCK_WSACleanup,
    RTR3WINSOCK_WSAGetLastError,
    RTR3WINSOCK_WSASetLastError,
    RTR3WINSOCK_WSACreateEvent,
    RTR3WINSOCK_WSACloseEvent,
    RTR3WINSOCK_WSASetEvent,
    RTR3WINSOCK_WSAEventSelect,
    RTR3WINSOCK_WSAEnumNetworkEvents,
    RTR3WINSOCK_WSASocketW,
    RTR3WINSOCK_WSASend,
    RTR3WINSOCK_socket,
    RTR3WINSOCK_closesocket,
    RTR3WINSOCK_send,
    RTR3WINSOCK_recv,
    RTR3WINSOCK_recvfrom,
    RTR3WINSOCK_sendto,
    RTR3WINSOCK_bind,
    RTR3WINSOCK_listen,
    RTR3WINSOCK_accept,
    RTR3WINSOCK_connect,
    RTR3WINSOCK_shutdown,
    RTR3WINSOCK_setsockopt,
    RTR3WINSOCK_getsockopt,
    RTR3WINSOCK_ioctlsocket,
    RTR3WINSOCK_getsockname,
    RTR3WINSOCK_getpeername,
    RTR3WINSOCK_select,
    RTR3WINSOCK___WSAFDIsSet,
    RTR3WINSOCK_gethostbyname,
    RTR3WINSOCK_COUNT
};
/** @} */
extern void *g_apfnrtWinSock[RTR3WINSOCK_COUNT];

#endif /* ZOLT_INTERNAL_INIT_WIN_H */
