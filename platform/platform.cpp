#include "platform/platform.h"

namespace {

const Platform kReal = {
    ::GlobalAlloc, ::GlobalLock, ::GlobalUnlock, ::GlobalHandle, ::GlobalFree, ::GlobalSize,
    ::_lopen, ::_lcreat, ::_lread, ::_hread, ::_hwrite, ::_llseek, ::_lclose, ::DeleteFileA,
    ::GetFileAttributesA,
    ::GetSystemDirectoryA, ::GetModuleFileNameA,
    ::GetObjectA, ::GetObjectType, ::CreateCompatibleDC, ::CreateCompatibleBitmap, ::CreateDIBSection,
    ::SelectObject, ::BitBlt, ::StretchBlt, ::SetStretchBltMode, ::GetDIBits, ::SetBitmapBits,
    ::GetCurrentObject, ::GetDIBColorTable, ::GetPaletteEntries,
    ::DeleteDC, ::DeleteObject,
    ::GetDeviceCaps, ::ResetDCA, ::StartDocA, ::StartPage, ::EndPage, ::EndDoc, ::AbortDoc,
    ::GetActiveWindow, ::GetDC, ::ReleaseDC, ::SetRect, ::wsprintfA,
    ::GetOpenFileNameA, ::GetSaveFileNameA, ::PrintDlgA,
};

// The host calls on one thread, one call at a time: no locking needed.
const Platform* current = &kReal;

}  // namespace

const Platform& sys() { return *current; }
const Platform& RealPlatform() { return kReal; }

ScopedPlatform::ScopedPlatform(const Platform& p) : previous_(current) { current = &p; }
ScopedPlatform::~ScopedPlatform() { current = previous_; }
