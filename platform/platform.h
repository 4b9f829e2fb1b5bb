#pragma once
// The one seam between the plug-in and Win32. Every platform call the plug-in
// makes goes through sys(), so tests can wrap entries to count live handles
// and to make the Nth call fail.
#include <windows.h>
#include <commdlg.h>
#include <wincodec.h>

struct Platform {
    // KERNEL32: global memory
    HGLOBAL (WINAPI* GlobalAlloc)(UINT, SIZE_T);
    LPVOID  (WINAPI* GlobalLock)(HGLOBAL);
    BOOL    (WINAPI* GlobalUnlock)(HGLOBAL);
    HGLOBAL (WINAPI* GlobalFree)(HGLOBAL);
    SIZE_T  (WINAPI* GlobalSize)(HGLOBAL);
    // KERNEL32: files
    HFILE   (WINAPI* _lopen)(LPCSTR, int);
    HFILE   (WINAPI* _lcreat)(LPCSTR, int);
    UINT    (WINAPI* _lread)(HFILE, LPVOID, UINT);
    long    (WINAPI* _hread)(HFILE, LPVOID, long);
    long    (WINAPI* _hwrite)(HFILE, LPCCH, long);
    LONG    (WINAPI* _llseek)(HFILE, LONG, int);
    HFILE   (WINAPI* _lclose)(HFILE);
    BOOL    (WINAPI* DeleteFileA)(LPCSTR);
    DWORD   (WINAPI* GetFileAttributesA)(LPCSTR);
    // KERNEL32: where things are
    UINT    (WINAPI* GetSystemDirectoryA)(LPSTR, UINT);
    DWORD   (WINAPI* GetModuleFileNameA)(HMODULE, LPSTR, DWORD);
    // GDI32: bitmaps and device contexts
    int     (WINAPI* GetObjectA)(HANDLE, int, LPVOID);
    DWORD   (WINAPI* GetObjectType)(HGDIOBJ);
    HDC     (WINAPI* CreateCompatibleDC)(HDC);
    HBITMAP (WINAPI* CreateCompatibleBitmap)(HDC, int, int);
    HBITMAP (WINAPI* CreateDIBSection)(HDC, const BITMAPINFO*, UINT, void**, HANDLE, DWORD);
    HGDIOBJ (WINAPI* SelectObject)(HDC, HGDIOBJ);
    BOOL    (WINAPI* BitBlt)(HDC, int, int, int, int, HDC, int, int, DWORD);
    BOOL    (WINAPI* StretchBlt)(HDC, int, int, int, int, HDC, int, int, int, int, DWORD);
    int     (WINAPI* SetStretchBltMode)(HDC, int);
    int     (WINAPI* GetDIBits)(HDC, HBITMAP, UINT, UINT, LPVOID, LPBITMAPINFO, UINT);
    LONG    (WINAPI* SetBitmapBits)(HBITMAP, DWORD, const VOID*);
    HGDIOBJ (WINAPI* GetCurrentObject)(HDC, UINT);
    UINT    (WINAPI* GetDIBColorTable)(HDC, UINT, UINT, RGBQUAD*);
    UINT    (WINAPI* GetPaletteEntries)(HPALETTE, UINT, UINT, LPPALETTEENTRY);
    BOOL    (WINAPI* DeleteDC)(HDC);
    BOOL    (WINAPI* DeleteObject)(HGDIOBJ);
    // GDI32: printing
    int     (WINAPI* GetDeviceCaps)(HDC, int);
    HDC     (WINAPI* ResetDCA)(HDC, const DEVMODEA*);
    int     (WINAPI* StartDocA)(HDC, const DOCINFOA*);
    int     (WINAPI* StartPage)(HDC);
    int     (WINAPI* EndPage)(HDC);
    int     (WINAPI* EndDoc)(HDC);
    int     (WINAPI* AbortDoc)(HDC);
    // USER32
    HWND    (WINAPI* GetActiveWindow)();
    HDC     (WINAPI* GetDC)(HWND);
    int     (WINAPI* ReleaseDC)(HWND, HDC);
    int     (WINAPIV* wsprintfA)(LPSTR, LPCSTR, ...);
    // COMDLG32
    BOOL    (WINAPI* GetOpenFileNameA)(LPOPENFILENAMEA);
    BOOL    (WINAPI* GetSaveFileNameA)(LPOPENFILENAMEA);
    BOOL    (WINAPI* PrintDlgA)(LPPRINTDLGA);
    // KERNEL32: names for the codecs, which take wide texts
    int     (WINAPI* MultiByteToWideChar)(UINT, DWORD, LPCCH, int, LPWSTR, int);
    // OLE32, loaded on first use, so the import table stays the system DLLs
    // above; without it CoInitializeEx answers CO_E_NOTINITIALIZED and
    // CoCreateInstance REGDB_E_CLASSNOTREG.
    HRESULT (WINAPI* CoInitializeEx)(LPVOID, DWORD);
    void    (WINAPI* CoUninitialize)();
    HRESULT (WINAPI* CoCreateInstance)(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID*);
    // The imaging codecs' methods, one entry each so that each can be failed.
    ULONG   (*ComRelease)(IUnknown*);
    HRESULT (*WicCreateDecoder)(IWICImagingFactory*, LPCWSTR, IWICBitmapDecoder**);
    HRESULT (*WicGetFrame)(IWICBitmapDecoder*, UINT, IWICBitmapFrameDecode**);
    HRESULT (*WicGetSize)(IWICBitmapSource*, UINT*, UINT*);
    HRESULT (*WicGetPixelFormat)(IWICBitmapSource*, WICPixelFormatGUID*);
    HRESULT (*WicCreatePalette)(IWICImagingFactory*, IWICPalette**);
    HRESULT (*WicCopyPalette)(IWICBitmapSource*, IWICPalette*);
    HRESULT (*WicPaletteHasAlpha)(IWICPalette*, BOOL*);
    HRESULT (*WicCreateConverter)(IWICImagingFactory*, IWICFormatConverter**);
    HRESULT (*WicInitializeConverter)(IWICFormatConverter*, IWICBitmapSource*, REFWICPixelFormatGUID);
    HRESULT (*WicCopyPixels)(IWICBitmapSource*, const WICRect* rows, UINT stride, UINT bytes, BYTE* into);
    HRESULT (*WicCreateStream)(IWICImagingFactory*, IWICStream**);
    HRESULT (*WicOpenStream)(IWICStream*, LPCWSTR, DWORD access);
    HRESULT (*WicCreateEncoder)(IWICImagingFactory*, REFGUID container, IWICBitmapEncoder**);
    HRESULT (*WicInitializeEncoder)(IWICBitmapEncoder*, IStream*);
    HRESULT (*WicCreateFrame)(IWICBitmapEncoder*, IWICBitmapFrameEncode**, IPropertyBag2**);
    HRESULT (*WicSetQuality)(IPropertyBag2*, float);  // "ImageQuality", 0 to 1
    HRESULT (*WicInitializeFrame)(IWICBitmapFrameEncode*, IPropertyBag2*);
    HRESULT (*WicSetFrameSize)(IWICBitmapFrameEncode*, UINT, UINT);
    HRESULT (*WicSetFrameFormat)(IWICBitmapFrameEncode*, WICPixelFormatGUID* inOut);
    HRESULT (*WicInitializePalette)(IWICPalette*, WICColor*, UINT);
    HRESULT (*WicSetFramePalette)(IWICBitmapFrameEncode*, IWICPalette*);
    HRESULT (*WicWritePixels)(IWICBitmapFrameEncode*, UINT lines, UINT stride, UINT bytes, BYTE* rows);
    HRESULT (*WicCommitFrame)(IWICBitmapFrameEncode*);
    HRESULT (*WicCommitEncoder)(IWICBitmapEncoder*);
};

// The table in force; bound to the real calls unless a test replaced it.
const Platform& sys();

// The table bound to the real Win32 calls.
const Platform& RealPlatform();

// Tests: puts `p` in force for the life of the object, then restores the
// table that was in force before.
class ScopedPlatform {
public:
    explicit ScopedPlatform(const Platform& p);
    ~ScopedPlatform();
    ScopedPlatform(const ScopedPlatform&) = delete;
    ScopedPlatform& operator=(const ScopedPlatform&) = delete;

private:
    const Platform* previous_;
};
