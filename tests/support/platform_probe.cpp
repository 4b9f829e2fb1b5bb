#include "tests/support/platform_probe.h"

#include <cstdio>
#include <map>
#include <set>
#include <stdexcept>

struct ProbeHeld {
    std::set<HDC> dcs, screenDcs;
    std::set<HGDIOBJ> bitmaps;
    std::map<HDC, HGDIOBJ> selected;
    std::set<HGLOBAL> globals;
    std::map<HGLOBAL, int> locks;
    std::set<HFILE> files;
    std::multiset<IUnknown*> comObjects;
    int apartments = 0;
};

namespace {

PlatformProbe* probe = nullptr;

PlatformProbe& P() { return PlatformProbe::Current(); }
const Platform& In() { return P().inner(); }

std::string Hex(const void* h) {
    char text[32];
    std::snprintf(text, sizeof text, "%p", h);
    return text;
}

// --- global memory ---
HGLOBAL WINAPI WGlobalAlloc(UINT flags, SIZE_T n) {
    if (P().ShouldFail("GlobalAlloc")) return nullptr;
    HGLOBAL h = In().GlobalAlloc(flags, n);
    if (h) P().held().globals.insert(h);
    return h;
}
LPVOID WINAPI WGlobalLock(HGLOBAL h) {
    if (P().ShouldFail("GlobalLock")) return nullptr;
    LPVOID p = In().GlobalLock(h);
    if (p) ++P().held().locks[h];
    return p;
}
BOOL WINAPI WGlobalUnlock(HGLOBAL h) {
    auto it = P().held().locks.find(h);
    if (it != P().held().locks.end() && it->second > 0) --it->second;
    return In().GlobalUnlock(h);
}
SIZE_T WINAPI WGlobalSize(HGLOBAL h) {
    if (P().ShouldFail("GlobalSize")) return 0;
    return In().GlobalSize(h);
}
HGLOBAL WINAPI WGlobalFree(HGLOBAL h) {
    if (!P().held().globals.erase(h)) P().Error("GlobalFree of a block not allocated here: " + Hex(h));
    P().held().locks.erase(h);
    return In().GlobalFree(h);
}

// --- files ---
HFILE WINAPI WOpen(LPCSTR path, int mode) {
    if (P().ShouldFail("_lopen")) return HFILE_ERROR;
    HFILE f = In()._lopen(path, mode);
    if (f != HFILE_ERROR) P().held().files.insert(f);
    return f;
}
HFILE WINAPI WCreat(LPCSTR path, int attr) {
    if (P().ShouldFail("_lcreat")) return HFILE_ERROR;
    HFILE f = In()._lcreat(path, attr);
    if (f != HFILE_ERROR) P().held().files.insert(f);
    return f;
}
UINT WINAPI WRead(HFILE f, LPVOID buf, UINT n) {
    if (P().ShouldFail("_lread")) return n ? n - 1 : HFILE_ERROR;  // a short read
    return In()._lread(f, buf, n);
}
long WINAPI WHRead(HFILE f, LPVOID buf, long n) {
    if (P().ShouldFail("_hread")) return n ? n - 1 : HFILE_ERROR;
    return In()._hread(f, buf, n);
}
long WINAPI WHWrite(HFILE f, LPCCH buf, long n) {
    if (P().ShouldFail("_hwrite")) {  // a short write: part of it reaches the file
        long part = n > 1 ? In()._hwrite(f, buf, n / 2) : 0;
        return part >= 0 ? part : HFILE_ERROR;
    }
    return In()._hwrite(f, buf, n);
}
LONG WINAPI WSeek(HFILE f, LONG offset, int origin) {
    if (P().ShouldFail("_llseek")) return HFILE_ERROR;
    return In()._llseek(f, offset, origin);
}
HFILE WINAPI WClose(HFILE f) {
    if (!P().held().files.erase(f)) P().Error("_lclose of a file not opened here");
    return In()._lclose(f);
}
DWORD WINAPI WFileAttributes(LPCSTR path) {
    if (P().ShouldFail("GetFileAttributesA")) return INVALID_FILE_ATTRIBUTES;
    return In().GetFileAttributesA(path);
}
BOOL WINAPI WDeleteFile(LPCSTR path) {
    if (P().ShouldFail("DeleteFileA")) return FALSE;
    return In().DeleteFileA(path);
}

// --- GDI ---
int WINAPI WGetObject(HANDLE h, int n, LPVOID out) {
    if (P().ShouldFail("GetObjectA")) return 0;
    return In().GetObjectA(h, n, out);
}
HDC WINAPI WCreateDC(HDC dc) {
    if (P().ShouldFail("CreateCompatibleDC")) return nullptr;
    HDC made = In().CreateCompatibleDC(dc);
    if (made) P().held().dcs.insert(made);
    return made;
}
HBITMAP WINAPI WCreateBitmap(HDC dc, int w, int h) {
    if (P().ShouldFail("CreateCompatibleBitmap")) return nullptr;
    HBITMAP b = In().CreateCompatibleBitmap(dc, w, h);
    if (b) P().held().bitmaps.insert(b);
    return b;
}
HBITMAP WINAPI WCreateDib(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section, DWORD offset) {
    if (P().ShouldFail("CreateDIBSection")) {
        if (bits) *bits = nullptr;
        return nullptr;
    }
    HBITMAP b = In().CreateDIBSection(dc, info, usage, bits, section, offset);
    if (b) P().held().bitmaps.insert(b);
    return b;
}
HGDIOBJ WINAPI WSelect(HDC dc, HGDIOBJ obj) {
    if (P().ShouldFail("SelectObject")) return nullptr;
    HGDIOBJ old = In().SelectObject(dc, obj);
    if (old && GetObjectType(obj) == OBJ_BITMAP) P().held().selected[dc] = obj;
    return old;
}
BOOL WINAPI WBitBlt(HDC d, int x, int y, int w, int h, HDC s, int sx, int sy, DWORD rop) {
    if (P().ShouldFail("BitBlt")) return FALSE;
    return In().BitBlt(d, x, y, w, h, s, sx, sy, rop);
}
BOOL WINAPI WStretchBlt(HDC d, int x, int y, int w, int h, HDC s, int sx, int sy, int sw, int sh, DWORD rop) {
    if (P().ShouldFail("StretchBlt")) return FALSE;
    return In().StretchBlt(d, x, y, w, h, s, sx, sy, sw, sh, rop);
}
int WINAPI WStretchMode(HDC dc, int mode) {
    if (P().ShouldFail("SetStretchBltMode")) return 0;
    return In().SetStretchBltMode(dc, mode);
}
HGDIOBJ WINAPI WGetCurrentObject(HDC dc, UINT type) {
    if (P().ShouldFail("GetCurrentObject")) return nullptr;
    return In().GetCurrentObject(dc, type);
}
UINT WINAPI WGetDIBColorTable(HDC dc, UINT first, UINT n, RGBQUAD* colours) {
    if (P().ShouldFail("GetDIBColorTable")) return 0;
    return In().GetDIBColorTable(dc, first, n, colours);
}
UINT WINAPI WGetPaletteEntries(HPALETTE palette, UINT first, UINT n, LPPALETTEENTRY entries) {
    if (P().ShouldFail("GetPaletteEntries")) return 0;
    return In().GetPaletteEntries(palette, first, n, entries);
}
int WINAPI WGetDIBits(HDC dc, HBITMAP b, UINT first, UINT n, LPVOID bits, LPBITMAPINFO info, UINT usage) {
    if (P().ShouldFail("GetDIBits")) return 0;
    return In().GetDIBits(dc, b, first, n, bits, info, usage);
}
LONG WINAPI WSetBitmapBits(HBITMAP b, DWORD n, const VOID* bits) {
    if (P().ShouldFail("SetBitmapBits")) return 0;
    return In().SetBitmapBits(b, n, bits);
}
BOOL WINAPI WDeleteDC(HDC dc) {
    if (!P().held().dcs.erase(dc)) P().Error("DeleteDC of a context not made here: " + Hex(dc));
    P().held().selected.erase(dc);
    return In().DeleteDC(dc);
}
BOOL WINAPI WDeleteObject(HGDIOBJ obj) {
    for (auto& [dc, chosen] : P().held().selected)
        if (chosen == obj) P().Error("DeleteObject of a bitmap still selected: " + Hex(obj));
    if (!P().held().bitmaps.erase(obj)) P().Error("DeleteObject of an object not made here: " + Hex(obj));
    return In().DeleteObject(obj);
}

// --- printing ---
HDC WINAPI WResetDC(HDC dc, const DEVMODEA* mode) {
    if (P().ShouldFail("ResetDCA")) return nullptr;
    return In().ResetDCA(dc, mode);
}
int WINAPI WStartDoc(HDC dc, const DOCINFOA* info) {
    if (P().ShouldFail("StartDocA")) return SP_ERROR;
    return In().StartDocA(dc, info);
}
int WINAPI WStartPage(HDC dc) {
    if (P().ShouldFail("StartPage")) return SP_ERROR;
    return In().StartPage(dc);
}
int WINAPI WEndPage(HDC dc) {
    if (P().ShouldFail("EndPage")) return SP_ERROR;
    return In().EndPage(dc);
}

// --- USER32 ---
HDC WINAPI WGetDC(HWND w) {
    if (P().ShouldFail("GetDC")) return nullptr;
    HDC dc = In().GetDC(w);
    if (dc) P().held().screenDcs.insert(dc);
    return dc;
}
int WINAPI WReleaseDC(HWND w, HDC dc) {
    if (!P().held().screenDcs.erase(dc)) P().Error("ReleaseDC of a context not got here");
    return In().ReleaseDC(w, dc);
}

// --- COM and the imaging codecs ---
int WINAPI WWiden(UINT page, DWORD flags, LPCCH text, int n, LPWSTR wide, int capacity) {
    if (P().ShouldFail("MultiByteToWideChar")) return 0;
    return In().MultiByteToWideChar(page, flags, text, n, wide, capacity);
}
HRESULT WINAPI WCoInitializeEx(LPVOID reserved, DWORD mode) {
    if (P().ShouldFail("CoInitializeEx")) return CO_E_NOTINITIALIZED;  // as without OLE32
    const HRESULT r = In().CoInitializeEx(reserved, mode);
    if (r == S_OK || r == S_FALSE) ++P().held().apartments;
    return r;
}
void WINAPI WCoUninitialize() {
    if (P().held().apartments == 0) P().Error("CoUninitialize without a CoInitializeEx of ours");
    if (!P().held().comObjects.empty()) P().Error("CoUninitialize with codec objects still alive");
    --P().held().apartments;
    In().CoUninitialize();
}
// A COM object that a call gave the plug-in, counted until released.
template <class Interface>
HRESULT Made(HRESULT r, Interface** out) {
    if (SUCCEEDED(r) && out && *out) P().held().comObjects.insert(*out);
    return r;
}
HRESULT WINAPI WCoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* out) {
    if (P().ShouldFail("CoCreateInstance")) return REGDB_E_CLASSNOTREG;
    return Made(In().CoCreateInstance(clsid, outer, context, iid, out), reinterpret_cast<IUnknown**>(out));
}
ULONG WComRelease(IUnknown* o) {
    auto it = P().held().comObjects.find(o);
    if (it == P().held().comObjects.end()) P().Error("Release of a codec object not made here: " + Hex(o));
    else P().held().comObjects.erase(it);
    return In().ComRelease(o);
}
// Each codec method fails as the codecs do, with E_FAIL; a method that makes
// an object is counted through Made.
#define ZQ_FAILABLE(name, params, args)                  \
    HRESULT W##name params {                             \
        if (P().ShouldFail(#name)) return E_FAIL;        \
        return In().name args;                           \
    }
#define ZQ_MAKES(name, params, args, out)                \
    HRESULT W##name params {                             \
        if (P().ShouldFail(#name)) return E_FAIL;        \
        return Made(In().name args, out);                \
    }
ZQ_MAKES(WicCreateDecoder, (IWICImagingFactory* f, LPCWSTR p, IWICBitmapDecoder** o), (f, p, o), o)
ZQ_MAKES(WicGetFrame, (IWICBitmapDecoder* d, UINT i, IWICBitmapFrameDecode** o), (d, i, o), o)
ZQ_FAILABLE(WicGetSize, (IWICBitmapSource* s, UINT* w, UINT* h), (s, w, h))
ZQ_FAILABLE(WicGetPixelFormat, (IWICBitmapSource* s, WICPixelFormatGUID* g), (s, g))
ZQ_MAKES(WicCreatePalette, (IWICImagingFactory* f, IWICPalette** o), (f, o), o)
ZQ_FAILABLE(WicCopyPalette, (IWICBitmapSource* s, IWICPalette* p), (s, p))
ZQ_FAILABLE(WicPaletteHasAlpha, (IWICPalette* p, BOOL* a), (p, a))
ZQ_MAKES(WicCreateConverter, (IWICImagingFactory* f, IWICFormatConverter** o), (f, o), o)
ZQ_FAILABLE(WicInitializeConverter, (IWICFormatConverter* c, IWICBitmapSource* s, REFWICPixelFormatGUID g), (c, s, g))
ZQ_FAILABLE(WicCopyPixels, (IWICBitmapSource* s, const WICRect* r, UINT stride, UINT n, BYTE* b), (s, r, stride, n, b))
ZQ_MAKES(WicCreateStream, (IWICImagingFactory* f, IWICStream** o), (f, o), o)
ZQ_FAILABLE(WicOpenStream, (IWICStream* s, LPCWSTR p, DWORD a), (s, p, a))
ZQ_MAKES(WicCreateEncoder, (IWICImagingFactory* f, REFGUID c, IWICBitmapEncoder** o), (f, c, o), o)
ZQ_FAILABLE(WicInitializeEncoder, (IWICBitmapEncoder* e, IStream* s), (e, s))
HRESULT WWicCreateFrame(IWICBitmapEncoder* e, IWICBitmapFrameEncode** frame, IPropertyBag2** options) {
    if (P().ShouldFail("WicCreateFrame")) return E_FAIL;
    const HRESULT r = Made(In().WicCreateFrame(e, frame, options), frame);
    return Made(r, options);
}
ZQ_FAILABLE(WicSetQuality, (IPropertyBag2* b, float q), (b, q))
ZQ_FAILABLE(WicInitializeFrame, (IWICBitmapFrameEncode* f, IPropertyBag2* b), (f, b))
ZQ_FAILABLE(WicSetFrameSize, (IWICBitmapFrameEncode* f, UINT w, UINT h), (f, w, h))
ZQ_FAILABLE(WicSetFrameFormat, (IWICBitmapFrameEncode* f, WICPixelFormatGUID* g), (f, g))
ZQ_FAILABLE(WicInitializePalette, (IWICPalette* p, WICColor* c, UINT n), (p, c, n))
ZQ_FAILABLE(WicSetFramePalette, (IWICBitmapFrameEncode* f, IWICPalette* p), (f, p))
ZQ_FAILABLE(WicWritePixels, (IWICBitmapFrameEncode* f, UINT l, UINT s, UINT n, BYTE* b), (f, l, s, n, b))
ZQ_FAILABLE(WicCommitFrame, (IWICBitmapFrameEncode* f), (f))
ZQ_FAILABLE(WicCommitEncoder, (IWICBitmapEncoder* e), (e))
#undef ZQ_FAILABLE
#undef ZQ_MAKES

// --- COMDLG32 ---
BOOL WINAPI WOpenName(LPOPENFILENAMEA ofn) {
    if (P().ShouldFail("GetOpenFileNameA")) return FALSE;
    return In().GetOpenFileNameA(ofn);
}
BOOL WINAPI WSaveName(LPOPENFILENAMEA ofn) {
    if (P().ShouldFail("GetSaveFileNameA")) return FALSE;
    return In().GetSaveFileNameA(ofn);
}
BOOL WINAPI WPrintDlg(LPPRINTDLGA pd) {
    if (P().ShouldFail("PrintDlgA")) return FALSE;
    HGLOBAL mode = pd->hDevMode, names = pd->hDevNames;
    BOOL ok = In().PrintDlgA(pd);
    if (ok) {
        // The dialog may replace the blocks it was given.
        if (mode && mode != pd->hDevMode) P().held().globals.erase(mode);
        if (names && names != pd->hDevNames) P().held().globals.erase(names);
        if (pd->hDevMode) P().held().globals.insert(pd->hDevMode);
        if (pd->hDevNames) P().held().globals.insert(pd->hDevNames);
        if (pd->hDC) P().held().dcs.insert(pd->hDC);
    }
    return ok;
}

}  // namespace

PlatformProbe& PlatformProbe::Current() {
    if (!probe) throw std::logic_error("no PlatformProbe in force");
    return *probe;
}

PlatformProbe::PlatformProbe() : held_(std::make_unique<ProbeHeld>()), inner_(sys()), table_(sys()) {
    if (probe) throw std::logic_error("one PlatformProbe at a time");
    probe = this;
    table_.GlobalAlloc = WGlobalAlloc;
    table_.GlobalLock = WGlobalLock;
    table_.GlobalUnlock = WGlobalUnlock;
    table_.GlobalSize = WGlobalSize;
    table_.GlobalFree = WGlobalFree;
    table_._lopen = WOpen;
    table_._lcreat = WCreat;
    table_._lread = WRead;
    table_._hread = WHRead;
    table_._hwrite = WHWrite;
    table_._llseek = WSeek;
    table_._lclose = WClose;
    table_.GetFileAttributesA = WFileAttributes;
    table_.DeleteFileA = WDeleteFile;
    table_.GetObjectA = WGetObject;
    table_.CreateCompatibleDC = WCreateDC;
    table_.CreateCompatibleBitmap = WCreateBitmap;
    table_.CreateDIBSection = WCreateDib;
    table_.SelectObject = WSelect;
    table_.BitBlt = WBitBlt;
    table_.StretchBlt = WStretchBlt;
    table_.SetStretchBltMode = WStretchMode;
    table_.GetDIBits = WGetDIBits;
    table_.GetCurrentObject = WGetCurrentObject;
    table_.GetDIBColorTable = WGetDIBColorTable;
    table_.GetPaletteEntries = WGetPaletteEntries;
    table_.SetBitmapBits = WSetBitmapBits;
    table_.DeleteDC = WDeleteDC;
    table_.DeleteObject = WDeleteObject;
    table_.ResetDCA = WResetDC;
    table_.StartDocA = WStartDoc;
    table_.StartPage = WStartPage;
    table_.EndPage = WEndPage;
    table_.GetDC = WGetDC;
    table_.ReleaseDC = WReleaseDC;
    table_.GetOpenFileNameA = WOpenName;
    table_.GetSaveFileNameA = WSaveName;
    table_.PrintDlgA = WPrintDlg;
    table_.MultiByteToWideChar = WWiden;
    table_.CoInitializeEx = WCoInitializeEx;
    table_.CoUninitialize = WCoUninitialize;
    table_.CoCreateInstance = WCoCreateInstance;
    table_.ComRelease = WComRelease;
    table_.WicCreateDecoder = WWicCreateDecoder;
    table_.WicGetFrame = WWicGetFrame;
    table_.WicGetSize = WWicGetSize;
    table_.WicGetPixelFormat = WWicGetPixelFormat;
    table_.WicCreatePalette = WWicCreatePalette;
    table_.WicCopyPalette = WWicCopyPalette;
    table_.WicPaletteHasAlpha = WWicPaletteHasAlpha;
    table_.WicCreateConverter = WWicCreateConverter;
    table_.WicInitializeConverter = WWicInitializeConverter;
    table_.WicCopyPixels = WWicCopyPixels;
    table_.WicCreateStream = WWicCreateStream;
    table_.WicOpenStream = WWicOpenStream;
    table_.WicCreateEncoder = WWicCreateEncoder;
    table_.WicInitializeEncoder = WWicInitializeEncoder;
    table_.WicCreateFrame = WWicCreateFrame;
    table_.WicSetQuality = WWicSetQuality;
    table_.WicInitializeFrame = WWicInitializeFrame;
    table_.WicSetFrameSize = WWicSetFrameSize;
    table_.WicSetFrameFormat = WWicSetFrameFormat;
    table_.WicInitializePalette = WWicInitializePalette;
    table_.WicSetFramePalette = WWicSetFramePalette;
    table_.WicWritePixels = WWicWritePixels;
    table_.WicCommitFrame = WWicCommitFrame;
    table_.WicCommitEncoder = WWicCommitEncoder;
    scope_ = new ScopedPlatform(table_);
}

PlatformProbe::~PlatformProbe() {
    delete scope_;
    probe = nullptr;
}

void PlatformProbe::FailCall(int n) {
    failAt_ = n;
    calls_ = 0;
    fired_ = false;
    failedName_.clear();
}

bool PlatformProbe::ShouldFail(const char* name) {
    ++calls_;
    if (failAt_ == 0 || calls_ != failAt_) return false;
    fired_ = true;
    failedName_ = name;
    return true;
}

int PlatformProbe::LockedGlobals() const {
    int n = 0;
    for (auto& [h, count] : held_->locks)
        if (count > 0 && held_->globals.count(h)) ++n;
    return n;
}

int PlatformProbe::LiveDcs() const { return static_cast<int>(held_->dcs.size()); }
int PlatformProbe::LiveScreenDcs() const { return static_cast<int>(held_->screenDcs.size()); }
int PlatformProbe::LiveBitmaps() const { return static_cast<int>(held_->bitmaps.size()); }
int PlatformProbe::LiveGlobals() const { return static_cast<int>(held_->globals.size()); }
int PlatformProbe::OpenFiles() const { return static_cast<int>(held_->files.size()); }
int PlatformProbe::LiveComObjects() const { return static_cast<int>(held_->comObjects.size()); }
int PlatformProbe::Apartments() const { return held_->apartments; }

void PlatformProbe::ForgetGlobals() { held_->globals.clear(); }
bool PlatformProbe::TakeBlock(HGLOBAL block) { return held_->globals.erase(block) != 0; }
bool PlatformProbe::TakeBitmap(HGDIOBJ bitmap) { return held_->bitmaps.erase(bitmap) != 0; }
void PlatformProbe::CountBlock(HGLOBAL block) { held_->globals.insert(block); }
void PlatformProbe::CountDc(HDC dc) { held_->dcs.insert(dc); }
