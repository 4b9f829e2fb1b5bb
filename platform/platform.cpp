#include "platform/platform.h"

#include <cstring>

namespace {

// OLE32 is loaded at the first COM call and kept: a plug-in that linked it
// would add it to the host's imports, and freeing it while the host's thread
// may still hold an apartment would pull it from under the host.
template <class Fn>
Fn Ole32(const char* name) {
    static HMODULE ole32 = ::LoadLibraryA("ole32.dll");
    return ole32 ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(ole32, name))) : nullptr;
}

HRESULT WINAPI ComInitialize(LPVOID reserved, DWORD mode) {
    static auto fn = Ole32<HRESULT(WINAPI*)(LPVOID, DWORD)>("CoInitializeEx");
    return fn ? fn(reserved, mode) : CO_E_NOTINITIALIZED;
}
void WINAPI ComUninitialize() {
    static auto fn = Ole32<void(WINAPI*)()>("CoUninitialize");
    if (fn) fn();
}
HRESULT WINAPI ComCreate(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* out) {
    static auto fn = Ole32<HRESULT(WINAPI*)(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID*)>("CoCreateInstance");
    *out = nullptr;
    return fn ? fn(clsid, outer, context, iid, out) : REGDB_E_CLASSNOTREG;
}

// The codecs' methods as plain functions, so that the seam can hold them.
ULONG ComRelease(IUnknown* o) { return o->Release(); }
HRESULT WicCreateDecoder(IWICImagingFactory* f, LPCWSTR path, IWICBitmapDecoder** out) {
    return f->CreateDecoderFromFilename(path, nullptr, GENERIC_READ, WICDecodeMetadataCacheOnDemand, out);
}
HRESULT WicGetFrame(IWICBitmapDecoder* d, UINT index, IWICBitmapFrameDecode** out) { return d->GetFrame(index, out); }
HRESULT WicGetSize(IWICBitmapSource* s, UINT* w, UINT* h) { return s->GetSize(w, h); }
HRESULT WicGetPixelFormat(IWICBitmapSource* s, WICPixelFormatGUID* out) { return s->GetPixelFormat(out); }
HRESULT WicCreatePalette(IWICImagingFactory* f, IWICPalette** out) { return f->CreatePalette(out); }
HRESULT WicCopyPalette(IWICBitmapSource* s, IWICPalette* into) { return s->CopyPalette(into); }
HRESULT WicPaletteHasAlpha(IWICPalette* p, BOOL* out) { return p->HasAlpha(out); }
HRESULT WicCreateConverter(IWICImagingFactory* f, IWICFormatConverter** out) { return f->CreateFormatConverter(out); }
HRESULT WicInitializeConverter(IWICFormatConverter* c, IWICBitmapSource* from, REFWICPixelFormatGUID to) {
    return c->Initialize(from, to, WICBitmapDitherTypeNone, nullptr, 0.0, WICBitmapPaletteTypeCustom);
}
HRESULT WicCopyPixels(IWICBitmapSource* s, const WICRect* rows, UINT stride, UINT bytes, BYTE* into) {
    return s->CopyPixels(rows, stride, bytes, into);
}
HRESULT WicCreateStream(IWICImagingFactory* f, IWICStream** out) { return f->CreateStream(out); }
HRESULT WicOpenStream(IWICStream* s, LPCWSTR path, DWORD access) { return s->InitializeFromFilename(path, access); }
HRESULT WicCreateEncoder(IWICImagingFactory* f, REFGUID container, IWICBitmapEncoder** out) {
    return f->CreateEncoder(container, nullptr, out);
}
HRESULT WicInitializeEncoder(IWICBitmapEncoder* e, IStream* into) { return e->Initialize(into, WICBitmapEncoderNoCache); }
HRESULT WicCreateFrame(IWICBitmapEncoder* e, IWICBitmapFrameEncode** out, IPropertyBag2** options) {
    return e->CreateNewFrame(out, options);
}
HRESULT WicSetQuality(IPropertyBag2* options, float quality) {
    PROPBAG2 name{};
    name.pstrName = const_cast<LPOLESTR>(L"ImageQuality");
    VARIANT value;
    std::memset(&value, 0, sizeof value);  // VariantInit would import OLEAUT32
    value.vt = VT_R4;
    value.fltVal = quality;
    return options->Write(1, &name, &value);
}
HRESULT WicInitializeFrame(IWICBitmapFrameEncode* f, IPropertyBag2* options) { return f->Initialize(options); }
HRESULT WicSetFrameSize(IWICBitmapFrameEncode* f, UINT w, UINT h) { return f->SetSize(w, h); }
HRESULT WicSetFrameFormat(IWICBitmapFrameEncode* f, WICPixelFormatGUID* format) { return f->SetPixelFormat(format); }
HRESULT WicInitializePalette(IWICPalette* p, WICColor* colours, UINT n) { return p->InitializeCustom(colours, n); }
HRESULT WicSetFramePalette(IWICBitmapFrameEncode* f, IWICPalette* p) { return f->SetPalette(p); }
HRESULT WicWritePixels(IWICBitmapFrameEncode* f, UINT lines, UINT stride, UINT bytes, BYTE* rows) {
    return f->WritePixels(lines, stride, bytes, rows);
}
HRESULT WicCommitFrame(IWICBitmapFrameEncode* f) { return f->Commit(); }
HRESULT WicCommitEncoder(IWICBitmapEncoder* e) { return e->Commit(); }

const Platform kReal = {
    ::GlobalAlloc, ::GlobalLock, ::GlobalUnlock, ::GlobalFree, ::GlobalSize,
    ::_lopen, ::_lcreat, ::_lread, ::_hread, ::_hwrite, ::_llseek, ::_lclose, ::DeleteFileA,
    ::GetFileAttributesA,
    ::GetSystemDirectoryA, ::GetModuleFileNameA,
    ::GetObjectA, ::GetObjectType, ::CreateCompatibleDC, ::CreateCompatibleBitmap, ::CreateDIBSection,
    ::SelectObject, ::BitBlt, ::StretchBlt, ::SetStretchBltMode, ::GetDIBits, ::SetBitmapBits,
    ::GetCurrentObject, ::GetDIBColorTable, ::GetPaletteEntries,
    ::DeleteDC, ::DeleteObject,
    ::GetDeviceCaps, ::ResetDCA, ::StartDocA, ::StartPage, ::EndPage, ::EndDoc, ::AbortDoc,
    ::GetActiveWindow, ::GetDC, ::ReleaseDC, ::wsprintfA,
    ::GetOpenFileNameA, ::GetSaveFileNameA, ::PrintDlgA,
    ::MultiByteToWideChar,
    ComInitialize, ComUninitialize, ComCreate,
    ComRelease, WicCreateDecoder, WicGetFrame, WicGetSize, WicGetPixelFormat, WicCreatePalette, WicCopyPalette,
    WicPaletteHasAlpha, WicCreateConverter, WicInitializeConverter, WicCopyPixels, WicCreateStream, WicOpenStream,
    WicCreateEncoder, WicInitializeEncoder, WicCreateFrame, WicSetQuality, WicInitializeFrame, WicSetFrameSize,
    WicSetFrameFormat, WicInitializePalette, WicSetFramePalette, WicWritePixels, WicCommitFrame, WicCommitEncoder,
};

// The host calls on one thread, one call at a time: no locking needed.
const Platform* current = &kReal;

}  // namespace

const Platform& sys() { return *current; }
const Platform& RealPlatform() { return kReal; }

ScopedPlatform::ScopedPlatform(const Platform& p) : previous_(current) { current = &p; }
ScopedPlatform::~ScopedPlatform() { current = previous_; }
