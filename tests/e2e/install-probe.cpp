/** @file
 * Windows-side probe of the installation tests: asks the Windows Installer
 * and the certificate stores of the prefix what an installation left.
 *
 *  product-state GUID...   one line per product: "GUID STATE", the state
 *                          MsiQueryProductStateW gives (5 installed, -1
 *                          unknown)
 *  cert-stores SHA1        every system store of the current user and the
 *                          local machine that holds the certificate with
 *                          this thumbprint (hex): one line each,
 *                          "<location>\<store>"; the stores are found by
 *                          enumeration and searched by crypt32
 *  message NUMBER          the system's text for an error number, as
 *                          FormatMessageW gives it (UTF-8), or nothing
 *  box-text TITLE          the texts of the message box (dialog class)
 *                          titled TITLE, one static control per line;
 *                          nothing when there is no such box
 *
 * Exits 0, or 1 with a message on standard error.
 */
#include <windows.h>

#include <msi.h>
#include <wincrypt.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <vector>

static std::string toUtf8(const wchar_t *pwsz)
{
    int cb = WideCharToMultiByte(CP_UTF8, 0, pwsz, -1, NULL, 0, NULL, NULL);
    std::string str(cb > 0 ? cb - 1 : 0, '\0');
    if (cb > 1)
        WideCharToMultiByte(CP_UTF8, 0, pwsz, -1, &str[0], cb, NULL, NULL);
    return str;
}

static int productState(int argc, wchar_t **argv)
{
    for (int i = 2; i < argc; i++)
        printf("%s %d\n", toUtf8(argv[i]).c_str(), (int)MsiQueryProductStateW(argv[i]));
    return 0;
}

struct StoreLocation
{
    DWORD fLocation;
    const char *pszName;
};
static const StoreLocation g_aLocations[] = {
    {CERT_SYSTEM_STORE_CURRENT_USER, "CurrentUser"},
    {CERT_SYSTEM_STORE_LOCAL_MACHINE, "LocalMachine"},
    {CERT_SYSTEM_STORE_CURRENT_USER_GROUP_POLICY, "CurrentUserGroupPolicy"},
    {CERT_SYSTEM_STORE_LOCAL_MACHINE_GROUP_POLICY, "LocalMachineGroupPolicy"},
    {CERT_SYSTEM_STORE_LOCAL_MACHINE_ENTERPRISE, "LocalMachineEnterprise"},
};

static BOOL WINAPI collectStore(const void *pvSystemStore, DWORD, PCERT_SYSTEM_STORE_INFO, void *, void *pvArg)
{
    static_cast<std::vector<std::wstring> *>(pvArg)->push_back(static_cast<const wchar_t *>(pvSystemStore));
    return TRUE;
}

static int certStores(const wchar_t *pwszHex)
{
    BYTE abHash[20];
    if (wcslen(pwszHex) != 40)
    {
        fprintf(stderr, "install-probe: a SHA-1 thumbprint has 40 hex digits\n");
        return 1;
    }
    for (int i = 0; i < 20; i++)
    {
        wchar_t wsz[3] = {pwszHex[2 * i], pwszHex[2 * i + 1], 0};
        abHash[i] = (BYTE)wcstoul(wsz, NULL, 16);
    }
    CRYPT_HASH_BLOB Hash = {sizeof(abHash), abHash};

    for (const StoreLocation &Loc : g_aLocations)
    {
        std::vector<std::wstring> Stores;
        /* A location without stores is no error here. */
        CertEnumSystemStore(Loc.fLocation, NULL, &Stores, collectStore);
        for (const std::wstring &Name : Stores)
        {
            HCERTSTORE hStore =
                CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                              Loc.fLocation | CERT_STORE_READONLY_FLAG | CERT_STORE_OPEN_EXISTING_FLAG, Name.c_str());
            if (!hStore)
                continue;
            PCCERT_CONTEXT pCert = CertFindCertificateInStore(hStore, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                                                              CERT_FIND_SHA1_HASH, &Hash, NULL);
            if (pCert)
            {
                printf("%s\\%s\n", Loc.pszName, toUtf8(Name.c_str()).c_str());
                CertFreeCertificateContext(pCert);
            }
            CertCloseStore(hStore, 0);
        }
    }
    return 0;
}

static int message(const wchar_t *pwszNumber)
{
    wchar_t *pwszText = NULL;
    DWORD cwc = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM, NULL,
        wcstoul(pwszNumber, NULL, 10), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), (LPWSTR)&pwszText, 0, NULL);
    if (cwc)
    {
        std::string str = toUtf8(pwszText);
        fwrite(str.data(), 1, str.size(), stdout);
        LocalFree(pwszText);
    }
    return 0;
}

static BOOL CALLBACK printStaticText(HWND hWnd, LPARAM)
{
    wchar_t wszClass[64];
    if (GetClassNameW(hWnd, wszClass, 64) && !_wcsicmp(wszClass, L"Static"))
    {
        /* WM_GETTEXT is carried across processes; GetWindowTextW would
           give only a caption. */
        wchar_t wszText[4096] = L"";
        SendMessageW(hWnd, WM_GETTEXT, 4096, (LPARAM)wszText);
        if (wszText[0])
            printf("%s\n", toUtf8(wszText).c_str());
    }
    return TRUE;
}

static int boxText(const wchar_t *pwszTitle)
{
    HWND hBox = FindWindowW(L"#32770", pwszTitle);
    if (hBox)
        EnumChildWindows(hBox, printStaticText, 0);
    return 0;
}

int wmain(int argc, wchar_t **argv)
{
    /* Binary output: texts are compared byte for byte, line ends included. */
    _setmode(_fileno(stdout), _O_BINARY);
    if (argc >= 3 && !wcscmp(argv[1], L"product-state"))
        return productState(argc, argv);
    if (argc == 3 && !wcscmp(argv[1], L"cert-stores"))
        return certStores(argv[2]);
    if (argc == 3 && !wcscmp(argv[1], L"message"))
        return message(argv[2]);
    if (argc == 3 && !wcscmp(argv[1], L"box-text"))
        return boxText(argv[2]);
    fprintf(stderr, "usage: see install-probe.cpp\n");
    return 1;
}
