/** @file
 * The launcher's lazily bound system functions: one slot per function, each
 * starting at its binding stub.
 */
#include "lazybind.h"

RTLDRLAZYMOD g_LazyModMsi = RTLDRLAZYMOD_INIT("MSI.DLL");
RTLDRLAZYMOD g_LazyModCrypt32 = RTLDRLAZYMOD_INIT("CRYPT32.DLL");
RTLDRLAZYMOD g_LazyModUser32 = RTLDRLAZYMOD_INIT("USER32.DLL");
RTLDRLAZYMOD g_LazyModShell32 = RTLDRLAZYMOD_INIT("SHELL32.DLL");
RTLDRLAZYMOD g_LazyModComCtl32 = RTLDRLAZYMOD_INIT("COMCTL32.DLL");
RTLDRLAZYMOD g_LazyModGdiPlus = RTLDRLAZYMOD_INIT("GDIPLUS.DLL");

/* The slot starts at the stub bound to it; the name lives in a static array
   because a template argument must name an object. */
#define STUB_LAZY_FN(a_Mod, a_Name, a_Qualified)                                                                       \
    static const char s_szLazy##a_Name[] = #a_Name;                                                                    \
    decltype(&a_Qualified) g_pfn##a_Name =                                                                             \
        RTLdrLazyStub<decltype(a_Qualified)>::Stub<&g_pfn##a_Name, &a_Mod, s_szLazy##a_Name>

STUB_LAZY_FN(g_LazyModMsi, MsiInstallProductW, ::MsiInstallProductW);
STUB_LAZY_FN(g_LazyModMsi, MsiEnableLogW, ::MsiEnableLogW);
STUB_LAZY_FN(g_LazyModMsi, MsiSetInternalUI, ::MsiSetInternalUI);

STUB_LAZY_FN(g_LazyModCrypt32, CertCreateCertificateContext, ::CertCreateCertificateContext);
STUB_LAZY_FN(g_LazyModCrypt32, CertOpenStore, ::CertOpenStore);
STUB_LAZY_FN(g_LazyModCrypt32, CertFreeCertificateContext, ::CertFreeCertificateContext);
STUB_LAZY_FN(g_LazyModCrypt32, CertAddCertificateContextToStore, ::CertAddCertificateContextToStore);
STUB_LAZY_FN(g_LazyModCrypt32, CertCloseStore, ::CertCloseStore);

STUB_LAZY_FN(g_LazyModUser32, MessageBoxW, ::MessageBoxW);
STUB_LAZY_FN(g_LazyModUser32, MessageBoxA, ::MessageBoxA);
STUB_LAZY_FN(g_LazyModUser32, GetDesktopWindow, ::GetDesktopWindow);

STUB_LAZY_FN(g_LazyModShell32, SHFileOperationW, ::SHFileOperationW);

STUB_LAZY_FN(g_LazyModComCtl32, InitCommonControlsEx, ::InitCommonControlsEx);

STUB_LAZY_FN(g_LazyModGdiPlus, GdipAlloc, Gdiplus::DllExports::GdipAlloc);
STUB_LAZY_FN(g_LazyModGdiPlus, GdipFree, Gdiplus::DllExports::GdipFree);
STUB_LAZY_FN(g_LazyModGdiPlus, GdiplusStartup, Gdiplus::GdiplusStartup);
STUB_LAZY_FN(g_LazyModGdiPlus, GdiplusShutdown, Gdiplus::GdiplusShutdown);
STUB_LAZY_FN(g_LazyModGdiPlus, GdipLoadImageFromStream, Gdiplus::DllExports::GdipLoadImageFromStream);
STUB_LAZY_FN(g_LazyModGdiPlus, GdipDisposeImage, Gdiplus::DllExports::GdipDisposeImage);
STUB_LAZY_FN(g_LazyModGdiPlus, GdipCreateFromHDC, Gdiplus::DllExports::GdipCreateFromHDC);
STUB_LAZY_FN(g_LazyModGdiPlus, GdipDeleteGraphics, Gdiplus::DllExports::GdipDeleteGraphics);
STUB_LAZY_FN(g_LazyModGdiPlus, GdipDrawImageRectI, Gdiplus::DllExports::GdipDrawImageRectI);
STUB_LAZY_FN(g_LazyModGdiPlus, GdipGetImageWidth, Gdiplus::DllExports::GdipGetImageWidth);
STUB_LAZY_FN(g_LazyModGdiPlus, GdipGetImageHeight, Gdiplus::DllExports::GdipGetImageHeight);
STUB_LAZY_FN(g_LazyModGdiPlus, GdipDeleteBrush, Gdiplus::DllExports::GdipDeleteBrush);
STUB_LAZY_FN(g_LazyModGdiPlus, GdipCreateSolidFill, Gdiplus::DllExports::GdipCreateSolidFill);
STUB_LAZY_FN(g_LazyModGdiPlus, GdipFillEllipseI, Gdiplus::DllExports::GdipFillEllipseI);
STUB_LAZY_FN(g_LazyModGdiPlus, GdipGraphicsClear, Gdiplus::DllExports::GdipGraphicsClear);
