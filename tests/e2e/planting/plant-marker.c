/** @file
 * A DLL planted under system libraries' names (the test copies one build of
 * it under every name): loading it into any process leaves a marker file
 * that names the file it was loaded from and the process that loaded it.
 *
 * The marker is "<dir>\<own file name>.<process id>.<base address>.marker"
 * where <dir> is the environment variable ZOLT_PLANT_MARKER_DIR, or, in a
 * process that does not have it (a service), the plant's own directory.
 * It holds three lines of UTF-16LE text: the plant's full path, the
 * process's image path, and "static" when the loader brought it in as a
 * load-time import of the process's modules or "dynamic" when it was loaded
 * at run time.
 *
 * It imports from ntdll alone and needs no C runtime, so whatever name it
 * is planted under (kernel32, msvcrt, ucrtbase...), loading it does not
 * depend on a library it stands in for.
 */
#include <windows.h>

#include <winternl.h>

NTSTATUS NTAPI RtlQueryEnvironmentVariable_U(PWSTR pwszEnvironment, PUNICODE_STRING pName, PUNICODE_STRING pValue);
NTSTATUS NTAPI NtWriteFile(HANDLE hFile, HANDLE hEvent, PVOID pfnApc, PVOID pvApcContext, PIO_STATUS_BLOCK pIos,
                           PVOID pvBuffer, ULONG cbBuffer, PLARGE_INTEGER pOffset, PULONG puKey);

#define MARKER_UNITS 2048

static WCHAR g_wszMarker[MARKER_UNITS];
static WCHAR g_wszText[MARKER_UNITS * 2];

/** Appends @a cwc units of @a pwsz to @a pwszBuf holding *@a piOff units;
 *  whatever does not fit (leaving a terminator) is dropped. */
static void append(WCHAR *pwszBuf, size_t cwcBuf, size_t *piOff, const WCHAR *pwsz, size_t cwc)
{
    for (size_t i = 0; i < cwc && *piOff + 1 < cwcBuf; i++)
        pwszBuf[(*piOff)++] = pwsz[i];
    pwszBuf[*piOff] = 0;
}

static void appendZ(WCHAR *pwszBuf, size_t cwcBuf, size_t *piOff, const WCHAR *pwsz)
{
    size_t cwc = 0;
    while (pwsz[cwc])
        cwc++;
    append(pwszBuf, cwcBuf, piOff, pwsz, cwc);
}

static void appendHex(WCHAR *pwszBuf, size_t cwcBuf, size_t *piOff, ULONG_PTR uValue)
{
    WCHAR wszDigits[2 * sizeof(ULONG_PTR)];
    size_t cDigits = 0;
    do
    {
        unsigned uDigit = (unsigned)(uValue & 15);
        wszDigits[cDigits++] = (WCHAR)(uDigit < 10 ? L'0' + uDigit : L'a' + uDigit - 10);
        uValue >>= 4;
    } while (uValue);
    while (cDigits)
        append(pwszBuf, cwcBuf, piOff, &wszDigits[--cDigits], 1);
}

/** The loader's record of the module at @a pvBase, or NULL. */
static const UNICODE_STRING *moduleName(const PEB *pPeb, PVOID pvBase)
{
    LIST_ENTRY *pHead = &pPeb->Ldr->InMemoryOrderModuleList;
    for (LIST_ENTRY *pEntry = pHead->Flink; pEntry != pHead; pEntry = pEntry->Flink)
    {
        LDR_DATA_TABLE_ENTRY *pMod = CONTAINING_RECORD(pEntry, LDR_DATA_TABLE_ENTRY, InMemoryOrderLinks);
        if (pMod->DllBase == pvBase)
            return &pMod->FullDllName;
    }
    return NULL;
}

static void writeMarker(HINSTANCE hInstance, BOOL fStatic)
{
    /* The process block through the documented query: reading it off the
       thread block needs a segment read that the compiler's bounds
       checking misreads. */
    PROCESS_BASIC_INFORMATION Info;
    ULONG cbInfo = 0;
    if (NtQueryInformationProcess((HANDLE)(LONG_PTR)-1, ProcessBasicInformation, &Info, sizeof(Info), &cbInfo) < 0)
        return;
    const PEB *pPeb = Info.PebBaseAddress;
    const UNICODE_STRING *pSelf = moduleName(pPeb, hInstance);
    if (!pSelf || !pSelf->Buffer)
        return;
    size_t const cwcSelf = pSelf->Length / sizeof(WCHAR);
    size_t iName = cwcSelf;
    while (iName > 0 && pSelf->Buffer[iName - 1] != L'\\' && pSelf->Buffer[iName - 1] != L'/')
        iName--;

    size_t off = 0;
    UNICODE_STRING Name = {sizeof(L"ZOLT_PLANT_MARKER_DIR") - sizeof(WCHAR), sizeof(L"ZOLT_PLANT_MARKER_DIR"),
                           (PWSTR)L"ZOLT_PLANT_MARKER_DIR"};
    UNICODE_STRING Value = {0, (USHORT)((MARKER_UNITS - 512) * sizeof(WCHAR)), g_wszMarker};
    if (RtlQueryEnvironmentVariable_U(NULL, &Name, &Value) >= 0 && Value.Length > 0)
    {
        off = Value.Length / sizeof(WCHAR);
        append(g_wszMarker, MARKER_UNITS, &off, L"\\", 1);
    }
    else
        append(g_wszMarker, MARKER_UNITS, &off, pSelf->Buffer, iName);
    append(g_wszMarker, MARKER_UNITS, &off, pSelf->Buffer + iName, cwcSelf - iName);
    append(g_wszMarker, MARKER_UNITS, &off, L".", 1);
    appendHex(g_wszMarker, MARKER_UNITS, &off, Info.UniqueProcessId);
    append(g_wszMarker, MARKER_UNITS, &off, L".", 1);
    appendHex(g_wszMarker, MARKER_UNITS, &off, (ULONG_PTR)hInstance);
    appendZ(g_wszMarker, MARKER_UNITS, &off, L".marker");

    size_t cwcText = 0;
    append(g_wszText, RTL_NUMBER_OF(g_wszText), &cwcText, pSelf->Buffer, cwcSelf);
    append(g_wszText, RTL_NUMBER_OF(g_wszText), &cwcText, L"\n", 1);
    const UNICODE_STRING *pImage = &pPeb->ProcessParameters->ImagePathName;
    if (pImage->Buffer)
        append(g_wszText, RTL_NUMBER_OF(g_wszText), &cwcText, pImage->Buffer, pImage->Length / sizeof(WCHAR));
    appendZ(g_wszText, RTL_NUMBER_OF(g_wszText), &cwcText, fStatic ? L"\nstatic\n" : L"\ndynamic\n");

    UNICODE_STRING NtPath;
    if (!RtlDosPathNameToNtPathName_U(g_wszMarker, &NtPath, NULL, NULL))
        return;
    OBJECT_ATTRIBUTES Attr;
    InitializeObjectAttributes(&Attr, &NtPath, OBJ_CASE_INSENSITIVE, NULL, NULL);
    IO_STATUS_BLOCK Ios;
    HANDLE hFile;
    if (NtCreateFile(&hFile, GENERIC_WRITE | SYNCHRONIZE, &Attr, &Ios, NULL, FILE_ATTRIBUTE_NORMAL, 0,
                     FILE_OVERWRITE_IF, FILE_SYNCHRONOUS_IO_NONALERT | FILE_NON_DIRECTORY_FILE, NULL, 0) >= 0)
    {
        NtWriteFile(hFile, NULL, NULL, NULL, &Ios, g_wszText, (ULONG)(cwcText * sizeof(WCHAR)), NULL, NULL);
        NtClose(hFile);
    }
    RtlFreeUnicodeString(&NtPath);
}

/** The entry point: DllMain's contract, and no C runtime behind it. */
BOOL WINAPI PlantMarkerEntry(HINSTANCE hInstance, DWORD dwReason, LPVOID pvReserved)
{
    /* The loader passes a non-null reserved argument to the modules it
       attaches at process start. */
    if (dwReason == DLL_PROCESS_ATTACH)
        writeMarker(hInstance, pvReserved != NULL);
    return TRUE;
}
