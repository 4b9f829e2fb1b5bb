#pragma once
// Owners of the Win32 resources the plug-in takes: each releases through
// sys() on every return path, so the platform probe sees every release.
#include <cstddef>
#include <utility>

#include "platform/platform.h"

class UniqueFile {
public:
    explicit UniqueFile(HFILE f) : file_(f) {}
    ~UniqueFile() { Close(); }
    UniqueFile(const UniqueFile&) = delete;
    UniqueFile& operator=(const UniqueFile&) = delete;
    explicit operator bool() const { return file_ != HFILE_ERROR; }
    HFILE get() const { return file_; }
    // Closes now; false when the platform reports a failure.
    bool Close() {
        if (file_ == HFILE_ERROR) return true;
        HFILE f = std::exchange(file_, HFILE_ERROR);
        return sys()._lclose(f) != HFILE_ERROR;
    }

private:
    HFILE file_;
};

// Owns one GDI handle, given back through `Free` unless released; null holds nothing.
template <class Handle, void (*Free)(Handle)>
class UniqueGdi {
public:
    explicit UniqueGdi(Handle h) : handle_(h) {}
    ~UniqueGdi() {
        if (handle_) Free(handle_);
    }
    UniqueGdi(const UniqueGdi&) = delete;
    UniqueGdi& operator=(const UniqueGdi&) = delete;
    explicit operator bool() const { return handle_ != nullptr; }
    Handle get() const { return handle_; }
    [[nodiscard]] Handle release() { return std::exchange(handle_, nullptr); }

private:
    Handle handle_;
};

inline void DeleteDcThroughSeam(HDC dc) { sys().DeleteDC(dc); }
inline void DeleteBitmapThroughSeam(HBITMAP bitmap) { sys().DeleteObject(bitmap); }
using UniqueDc = UniqueGdi<HDC, DeleteDcThroughSeam>;
using UniqueBitmap = UniqueGdi<HBITMAP, DeleteBitmapThroughSeam>;

// The screen's context, got for one action and released on every return.
class UniqueScreenDc {
public:
    UniqueScreenDc() : dc_(sys().GetDC(nullptr)) {}
    ~UniqueScreenDc() {
        if (dc_) sys().ReleaseDC(nullptr, dc_);
    }
    UniqueScreenDc(const UniqueScreenDc&) = delete;
    UniqueScreenDc& operator=(const UniqueScreenDc&) = delete;
    explicit operator bool() const { return dc_ != nullptr; }
    HDC get() const { return dc_; }

private:
    HDC dc_;
};

// Selects `object` into `dc` and puts the previous one back on every return,
// so nothing is deleted while still selected. Declare it after the owners of
// `dc` and `object`, so it goes first.
class SelectGuard {
public:
    SelectGuard(HDC dc, HGDIOBJ object) : dc_(dc), previous_(sys().SelectObject(dc, object)) {}
    ~SelectGuard() {
        if (previous_) sys().SelectObject(dc_, previous_);
    }
    SelectGuard(const SelectGuard&) = delete;
    SelectGuard& operator=(const SelectGuard&) = delete;
    explicit operator bool() const { return previous_ != nullptr; }

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// Global memory the plug-in allocates: scratch rows are moveable and not
// zero-filled; headers, and every block handed to the host, start zeroed; a
// type's defaults block stays for the process, fixed.
inline constexpr UINT kScratchMemory = GMEM_MOVEABLE;                 // 0x0002
inline constexpr UINT kZeroedMemory = GMEM_MOVEABLE | GMEM_ZEROINIT;  // 0x0042
inline constexpr UINT kDefaultsMemory = GMEM_FIXED | GMEM_ZEROINIT;   // 0x0040

// A block someone else owns, locked for the owner's life.
class GlobalLockGuard {
public:
    explicit GlobalLockGuard(HGLOBAL block) : block_(block), data_(block ? sys().GlobalLock(block) : nullptr) {}
    ~GlobalLockGuard() {
        if (data_) sys().GlobalUnlock(block_);
    }
    GlobalLockGuard(const GlobalLockGuard&) = delete;
    GlobalLockGuard& operator=(const GlobalLockGuard&) = delete;
    explicit operator bool() const { return data_ != nullptr; }
    void* get() const { return data_; }
    unsigned char* bytes() const { return static_cast<unsigned char*>(data_); }

private:
    HGLOBAL block_;
    void* data_;
};

// A block of global memory, locked for the owner's life.
class LockedGlobal {
public:
    LockedGlobal() = default;
    LockedGlobal(UINT flags, std::size_t bytes) { Allocate(flags, bytes); }
    ~LockedGlobal() { Free(); }
    LockedGlobal(const LockedGlobal&) = delete;
    LockedGlobal& operator=(const LockedGlobal&) = delete;

    // False when no memory was had; the owner then holds nothing.
    bool Allocate(UINT flags, std::size_t bytes) {
        Free();
        block_ = sys().GlobalAlloc(flags, bytes);
        if (!block_) return false;
        data_ = sys().GlobalLock(block_);
        if (!data_) Free();
        return data_ != nullptr;
    }
    explicit operator bool() const { return data_ != nullptr; }
    void* get() const { return data_; }
    unsigned char* bytes() const { return static_cast<unsigned char*>(data_); }
    // Unlocked; the caller owns the block from here.
    [[nodiscard]] HGLOBAL Release() {
        if (data_) sys().GlobalUnlock(block_);
        data_ = nullptr;
        return std::exchange(block_, nullptr);
    }

private:
    void Free() {
        if (!block_) return;
        if (data_) sys().GlobalUnlock(block_);
        sys().GlobalFree(block_);
        block_ = nullptr;
        data_ = nullptr;
    }

    HGLOBAL block_ = nullptr;
    void* data_ = nullptr;
};

// One COM object, released through the seam unless handed on. Declare these
// after the ComApartment they live in, so they go before it does.
template <class Interface>
class UniqueCom {
public:
    UniqueCom() = default;
    ~UniqueCom() { Reset(); }
    UniqueCom(const UniqueCom&) = delete;
    UniqueCom& operator=(const UniqueCom&) = delete;
    explicit operator bool() const { return object_ != nullptr; }
    Interface* get() const { return object_; }
    // For the out parameter of the call that makes the object.
    Interface** out() {
        Reset();
        return &object_;
    }
    void Reset() {
        if (object_) sys().ComRelease(std::exchange(object_, nullptr));
    }

private:
    Interface* object_ = nullptr;
};

// COM on this thread for one action. A thread that the host already put in
// another apartment keeps it: the action goes on in that one and leaves it
// as it was.
class ComApartment {
public:
    ComApartment() : result_(sys().CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComApartment() {
        if (result_ == S_OK || result_ == S_FALSE) sys().CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    explicit operator bool() const { return SUCCEEDED(result_) || result_ == RPC_E_CHANGED_MODE; }

private:
    HRESULT result_;
};

// The printer of one print run: its context and the device-mode and
// device-names blocks the print dialog hands over, all released when the run
// ends.
class PrinterJob {
public:
    PrinterJob() {
        record_.lStructSize = sizeof record_;
        record_.hwndOwner = sys().GetActiveWindow();
    }
    ~PrinterJob() {
        if (dc_) sys().DeleteDC(dc_);
        if (record_.hDevMode) sys().GlobalFree(record_.hDevMode);
        if (record_.hDevNames) sys().GlobalFree(record_.hDevNames);
    }
    PrinterJob(const PrinterJob&) = delete;
    PrinterJob& operator=(const PrinterJob&) = delete;

    HDC dc() const { return dc_; }

    // Runs the print dialog with `flags` over the same record, so a shown
    // dialog starts from the default printer and the orientation set here.
    // A context it returns replaces the one held.
    [[nodiscard]] bool Ask(DWORD flags) {
        record_.Flags = flags;
        record_.hDC = nullptr;
        const BOOL ok = sys().PrintDlgA(&record_);
        const HDC made = std::exchange(record_.hDC, nullptr);
        if (made) {
            if (dc_) sys().DeleteDC(dc_);
            dc_ = made;
        }
        return ok && made;
    }

    // Only the orientation of the device mode changes; the context is reset
    // to it. A block that is missing, too small or cannot be locked stops the run.
    [[nodiscard]] bool Orient(short orientation) {
        const HGLOBAL block = record_.hDevMode;
        if (!block || sys().GlobalSize(block) < offsetof(DEVMODEA, dmOrientation) + sizeof(short)) return false;
        GlobalLockGuard locked{block};
        if (!locked) return false;
        auto* mode = static_cast<DEVMODEA*>(locked.get());
        mode->dmOrientation = orientation;
        return sys().ResetDCA(dc_, mode) != nullptr;
    }

private:
    PRINTDLGA record_{};
    HDC dc_ = nullptr;
};
