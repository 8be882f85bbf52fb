/** @file
 * Conversion of the host C library's errno values to status codes.
 *
 * errno values differ between C libraries, so the mapping is written in
 * terms of the macros; a macro the host lacks simply has no case. Aliases
 * that share a value on common hosts (EWOULDBLOCK = EAGAIN,
 * EOPNOTSUPP = ENOTSUP, EDEADLOCK = EDEADLK) are left out to keep the cases
 * distinct.
 */
#include <zolt/err.h>

#include <errno.h>

RTDECL(int) RTErrConvertFromErrno(int iErrno)
{
    switch (iErrno)
    {
        case 0: return SUCCESS;
        case EPERM: return ERR_ACCESS_DENIED;
        case ENOENT: return ERR_FILE_NOT_FOUND;
        case ESRCH: return ERR_NOT_FOUND;
        case EINTR: return ERR_INTERRUPTED;
        case EIO: return ERR_IO_GEN_FAILURE;
        case ENXIO: return ERR_IO_BAD_UNIT;
        case E2BIG: return ERR_INVALID_PARAMETER;
        case ENOEXEC: return ERR_BAD_EXE_FORMAT;
        case EBADF: return ERR_INVALID_HANDLE;
        case ECHILD: return ERR_NOT_FOUND;
        case EAGAIN: return ERR_TRY_AGAIN;
        case ENOMEM: return ERR_NO_MEMORY;
        case EACCES: return ERR_ACCESS_DENIED;
        case EFAULT: return ERR_INVALID_POINTER;
        case EBUSY: return ERR_SHARING_VIOLATION;
        case EEXIST: return ERR_ALREADY_EXISTS;
        case EXDEV: return ERR_NOT_SAME_DEVICE;
        case ENODEV: return ERR_IO_BAD_UNIT;
        case ENOTDIR: return ERR_NOT_A_DIRECTORY;
        case EISDIR: return ERR_IS_A_DIRECTORY;
        case EINVAL: return ERR_INVALID_PARAMETER;
        case ENFILE: return ERR_TOO_MANY_OPEN_FILES;
        case EMFILE: return ERR_TOO_MANY_OPEN_FILES;
        case ENOTTY: return ERR_INVALID_FUNCTION;
        case EFBIG: return ERR_FILE_TOO_BIG;
        case ENOSPC: return ERR_DISK_FULL;
        case ESPIPE: return ERR_SEEK_ON_DEVICE;
        case EROFS: return ERR_WRITE_PROTECT;
        case EMLINK: return ERR_TOO_MANY_SYMLINKS;
        case EPIPE: return ERR_BROKEN_PIPE;
        case EDOM: return ERR_INVALID_PARAMETER;
        case ERANGE: return ERR_OUT_OF_RANGE;
        case EDEADLK: return ERR_SEM_BUSY;
        case ENAMETOOLONG: return ERR_FILENAME_TOO_LONG;
        case ENOLCK: return ERR_FILE_LOCK_FAILED;
        case ENOSYS: return ERR_NOT_IMPLEMENTED;
        case ENOTEMPTY: return ERR_DIR_NOT_EMPTY;
        case EILSEQ: return ERR_NO_TRANSLATION;
#ifdef ELOOP
        case ELOOP: return ERR_TOO_MANY_SYMLINKS;
#endif
#ifdef ENOTSUP
        case ENOTSUP: return ERR_NOT_SUPPORTED;
#endif
#ifdef ETIMEDOUT
        case ETIMEDOUT: return ERR_TIMEOUT;
#endif
#ifdef ECANCELED
        case ECANCELED: return ERR_CANCELLED;
#endif
#ifdef EOWNERDEAD
        case EOWNERDEAD: return ERR_SEM_OWNER_DIED;
#endif
#ifdef ENOTSOCK
        case ENOTSOCK: return ERR_NET_NOT_SOCKET;
#endif
#ifdef ECONNREFUSED
        case ECONNREFUSED: return ERR_NET_CONNECTION_REFUSED;
#endif
#ifdef ECONNRESET
        case ECONNRESET: return ERR_NET_CONNECTION_RESET_BY_PEER;
#endif
#ifdef EADDRINUSE
        case EADDRINUSE: return ERR_NET_ADDRESS_IN_USE;
#endif
#ifdef EHOSTUNREACH
        case EHOSTUNREACH: return ERR_NET_HOST_UNREACHABLE;
#endif
#ifdef ENETUNREACH
        case ENETUNREACH: return ERR_NET_UNREACHABLE;
#endif
#ifdef ENOMEDIUM
        case ENOMEDIUM: return ERR_MEDIA_NOT_PRESENT;
#endif
        default: return ERR_UNMAPPED_PLATFORM_ERROR;
    }
}
