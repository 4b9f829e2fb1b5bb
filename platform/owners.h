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
    Handle release() { return std::exchange(handle_, nullptr); }

private:
    Handle handle_;
};

inline void DeleteDcThroughSeam(HDC dc) { sys().DeleteDC(dc); }
inline void DeleteBitmapThroughSeam(HBITMAP bitmap) { sys().DeleteObject(bitmap); }
using UniqueDc = UniqueGdi<HDC, DeleteDcThroughSeam>;
using UniqueBitmap = UniqueGdi<HBITMAP, DeleteBitmapThroughSeam>;

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
    HGLOBAL Release() {
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
