/** @file
 * One package through the Windows Installer: UI level, log, the
 * installation itself, and what its result means for the run.
 */
#include <windows.h>

#include <zolt/err.h>
#include <zolt/mem.h>
#include <zolt/message.h>
#include <zolt/string.h>

#include "cmdline.h"
#include "exitcodes.h"
#include "lazybind.h"
#include "messages.h"
#include "msipackage.h"

/** The classes the installer's own dialogs may use; registered before every
 *  installation because the installer does not do it for a UI it does not
 *  own. */
#define STUB_MSI_COMMON_CONTROLS                                                                                       \
    (ICC_WIN95_CLASSES | ICC_USEREX_CLASSES | ICC_PAGESCROLLER_CLASS | ICC_STANDARD_CLASSES | ICC_LINK_CLASS)

/** The installer's restart-required result is passed on as our exit code. */
static_assert(ERROR_SUCCESS_REBOOT_REQUIRED == STUB_EXIT_REBOOT_REQUIRED, "3010 on both sides");

/** Results whose text lives in the network message module, not in the
 *  system's table. */
#define STUB_MSI_NETWORK_RESULT_FIRST 2100u
#define STUB_MSI_NETWORK_RESULT_LAST 2999u

/** Shows "Installation failed! Error: " with the platform's text for
 *  @a uResult, or the number when it has none. @returns STUB_EXIT_FAILURE. */
static int rtStubShowInstallFailure(UINT uResult)
{
    DWORD fFlags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;
    HMODULE hNetMsg = NULL;
    if (uResult >= STUB_MSI_NETWORK_RESULT_FIRST && uResult <= STUB_MSI_NETWORK_RESULT_LAST)
    {
        /* Only its message table is read; the process's DLL search is
           limited to the system directory. */
        hNetMsg = LoadLibraryExW(L"netmsg.dll", NULL, LOAD_LIBRARY_AS_DATAFILE);
        if (hNetMsg)
            fFlags |= FORMAT_MESSAGE_FROM_HMODULE;
    }

    wchar_t *pwszText = NULL;
    DWORD cwcText = FormatMessageW(fFlags, hNetMsg, uResult, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                   reinterpret_cast<LPWSTR>(&pwszText), 0, NULL);
    if (cwcText != 0)
    {
        ShowError("Installation failed! Error: %ls", reinterpret_cast<const RTUTF16 *>(pwszText));
        LocalFree(pwszText);
    }
    else
        ShowError("Installation failed! Error: %u", uResult);

    if (hNetMsg)
        FreeLibrary(hNetMsg);
    return STUB_EXIT_FAILURE;
}

/** Converts @a pszText for the installer; a failure is shown naming the
 *  text. @returns STUB_EXIT_SUCCESS with the text in *ppwszText, or
 *  STUB_EXIT_FAILURE. */
static int rtStubMsiText(const char *pszText, RTUTF16 **ppwszText)
{
    int rc = RTStrToUtf16(pszText, ppwszText);
    if (RT_FAILURE(rc))
        return ShowError("RTStrToUtf16 failed on '%s': %Rrc", pszText, rc);
    return STUB_EXIT_SUCCESS;
}

int InstallMsiPackage(const char *pszPackage, const char *pszMsiParams, const char *pszLogFile)
{
    if (g_pfnMsiSetInternalUI(g_fSilentMode ? INSTALLUILEVEL_NONE : INSTALLUILEVEL_FULL, NULL) ==
        INSTALLUILEVEL_NOCHANGE)
        return ShowError("Internal error: MsiSetInternalUI failed.");

    if (pszLogFile)
    {
        RTUTF16 *pwszLogFile = NULL;
        if (rtStubMsiText(pszLogFile, &pwszLogFile) != STUB_EXIT_SUCCESS)
            return STUB_EXIT_FAILURE;
        /* A new log for every run, flushed line by line so that it is
           complete even when the installer dies. */
        UINT uLogResult = g_pfnMsiEnableLogW(INSTALLLOGMODE_VERBOSE, reinterpret_cast<const wchar_t *>(pwszLogFile),
                                             INSTALLLOGATTRIBUTES_FLUSHEACHLINE);
        RTMemFree(pwszLogFile);
        if (uLogResult != ERROR_SUCCESS)
            return ShowError("MsiEnableLogW failed");
    }

    INITCOMMONCONTROLSEX Icc = {sizeof(Icc), STUB_MSI_COMMON_CONTROLS};
    (void)g_pfnInitCommonControlsEx(&Icc);

    RTUTF16 *pwszPackage = NULL;
    if (rtStubMsiText(pszPackage, &pwszPackage) != STUB_EXIT_SUCCESS)
        return STUB_EXIT_FAILURE;
    RTUTF16 *pwszParams = NULL;
    if (rtStubMsiText(pszMsiParams, &pwszParams) != STUB_EXIT_SUCCESS)
    {
        RTMemFree(pwszPackage);
        return STUB_EXIT_FAILURE;
    }
    UINT uResult = g_pfnMsiInstallProductW(reinterpret_cast<const wchar_t *>(pwszPackage),
                                           reinterpret_cast<const wchar_t *>(pwszParams));
    RTMemFree(pwszPackage);
    RTMemFree(pwszParams);

    switch (uResult)
    {
        case ERROR_SUCCESS: return STUB_EXIT_SUCCESS;
        case ERROR_SUCCESS_REBOOT_REQUIRED:
            if (g_fSilentMode)
                RTMessageInfo("Reboot required (by %s)\n", pszPackage);
            return STUB_EXIT_REBOOT_REQUIRED;
        case ERROR_INSTALL_USEREXIT: return STUB_EXIT_FAILURE; /* the user's own choice: nothing to explain */
        case ERROR_INSTALL_PACKAGE_VERSION:
            return ShowError("This installation package cannot be installed by the Windows Installer service.\n"
                             "You must install a Windows service pack that contains a newer version of the Windows "
                             "Installer service.");
        case ERROR_INSTALL_PLATFORM_UNSUPPORTED:
            return ShowError("This installation package is not supported on this platform.");
        default: return rtStubShowInstallFailure(uResult);
    }
}
