/** @file
 * The system functions the launcher binds on first use instead of importing
 * them at load time: the Windows Installer, certificates, the shell, common
 * controls, the imaging library and the message boxes. Each is called
 * through its slot g_pfn<Name>, with the platform's own signature; the first
 * call loads the library from the system directory and binds the slot (see
 * <zolt/ldrlazy.h>), so a library a run does not need is never loaded.
 */
#ifndef STUB_LAZYBIND_H
#define STUB_LAZYBIND_H

#include <windows.h>

#include <zolt/ldrlazy.h>

#include <commctrl.h>
#include <msi.h>
#include <shellapi.h>
#include <wincrypt.h>
// clang-format off
/* gdiplus.h needs the COM and property types that WIN32_LEAN_AND_MEAN
   leaves out, and they must come first. */
#include <objidl.h>
#include <gdiplus.h>
// clang-format on

/** The lazily loaded libraries (their module handle slots). */
extern RTLDRLAZYMOD g_LazyModMsi;
extern RTLDRLAZYMOD g_LazyModCrypt32;
extern RTLDRLAZYMOD g_LazyModUser32;
extern RTLDRLAZYMOD g_LazyModShell32;
extern RTLDRLAZYMOD g_LazyModComCtl32;
extern RTLDRLAZYMOD g_LazyModGdiPlus;

#define STUB_LAZY_SLOT(a_Name, a_Qualified) extern decltype(&a_Qualified) g_pfn##a_Name

/* "MSI.DLL" */
STUB_LAZY_SLOT(MsiInstallProductW, ::MsiInstallProductW);
STUB_LAZY_SLOT(MsiEnableLogW, ::MsiEnableLogW);
STUB_LAZY_SLOT(MsiSetInternalUI, ::MsiSetInternalUI);
/* "CRYPT32.DLL" */
STUB_LAZY_SLOT(CertCreateCertificateContext, ::CertCreateCertificateContext);
STUB_LAZY_SLOT(CertOpenStore, ::CertOpenStore);
STUB_LAZY_SLOT(CertFreeCertificateContext, ::CertFreeCertificateContext);
STUB_LAZY_SLOT(CertAddCertificateContextToStore, ::CertAddCertificateContextToStore);
STUB_LAZY_SLOT(CertCloseStore, ::CertCloseStore);
/* "USER32.DLL": only the message boxes; the rest of user32 is imported */
STUB_LAZY_SLOT(MessageBoxW, ::MessageBoxW);
STUB_LAZY_SLOT(MessageBoxA, ::MessageBoxA);
STUB_LAZY_SLOT(GetDesktopWindow, ::GetDesktopWindow);
/* "SHELL32.DLL" */
STUB_LAZY_SLOT(SHFileOperationW, ::SHFileOperationW);
/* "COMCTL32.DLL" */
STUB_LAZY_SLOT(InitCommonControlsEx, ::InitCommonControlsEx);
/* "GDIPLUS.DLL" */
STUB_LAZY_SLOT(GdipAlloc, Gdiplus::DllExports::GdipAlloc);
STUB_LAZY_SLOT(GdipFree, Gdiplus::DllExports::GdipFree);
STUB_LAZY_SLOT(GdiplusStartup, Gdiplus::GdiplusStartup);
STUB_LAZY_SLOT(GdiplusShutdown, Gdiplus::GdiplusShutdown);
STUB_LAZY_SLOT(GdipLoadImageFromStream, Gdiplus::DllExports::GdipLoadImageFromStream);
STUB_LAZY_SLOT(GdipDisposeImage, Gdiplus::DllExports::GdipDisposeImage);
STUB_LAZY_SLOT(GdipCreateFromHDC, Gdiplus::DllExports::GdipCreateFromHDC);
STUB_LAZY_SLOT(GdipDeleteGraphics, Gdiplus::DllExports::GdipDeleteGraphics);
STUB_LAZY_SLOT(GdipDrawImageRectI, Gdiplus::DllExports::GdipDrawImageRectI);
STUB_LAZY_SLOT(GdipGetImageWidth, Gdiplus::DllExports::GdipGetImageWidth);
STUB_LAZY_SLOT(GdipGetImageHeight, Gdiplus::DllExports::GdipGetImageHeight);
STUB_LAZY_SLOT(GdipDeleteBrush, Gdiplus::DllExports::GdipDeleteBrush);
STUB_LAZY_SLOT(GdipCreateSolidFill, Gdiplus::DllExports::GdipCreateSolidFill);
STUB_LAZY_SLOT(GdipFillEllipseI, Gdiplus::DllExports::GdipFillEllipseI);
STUB_LAZY_SLOT(GdipGraphicsClear, Gdiplus::DllExports::GdipGraphicsClear);

#undef STUB_LAZY_SLOT

#endif /* STUB_LAZYBIND_H */
