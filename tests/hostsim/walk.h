#pragma once
// A method walk written from the raw offsets of host objects, independent of
// the simulator's own code: handle-8 -> base block, +20 -> primary interface,
// -4 -> class descriptor, row entry -> interface number k, this = base +
// offsets[k], the descriptor at this-4 gives the function.
#include <cstdint>
#include <cstring>

namespace walk {

inline uint32_t W(uintptr_t address) {
    uint32_t v;
    std::memcpy(&v, reinterpret_cast<const void*>(address), 4);
    return v;
}

struct Target {
    uintptr_t self;
    uintptr_t function;
    int32_t iface;  // the interface number k
};

inline Target Find(const void* handle, int16_t row, int16_t column) {
    const uintptr_t base = W(reinterpret_cast<uintptr_t>(handle) - 8);
    const uintptr_t primary = W(base + 20);
    const uintptr_t classDesc = W(primary - 4);
    const uintptr_t entry = W(W(classDesc) + 4 * row) + 8 * column;
    const int32_t k = static_cast<int32_t>(W(entry + 4));
    const uintptr_t self = base + static_cast<int32_t>(W(W(classDesc + 4) + 4 * k));
    const uintptr_t ownDesc = W(self - 4);
    const uintptr_t function = W(W(W(ownDesc) + 4 * row) + 8 * column);
    return {self, function, k};
}

template <class... A>
int16_t Call(const void* handle, int16_t row, int16_t column, A... args) {
    const Target t = Find(handle, row, column);
    return reinterpret_cast<int16_t(__cdecl*)(void*, A...)>(t.function)(reinterpret_cast<void*>(t.self), args...);
}

// The faulty walk: ignores the interface number, calls the class
// descriptor's function with the primary interface as `this`.
template <class... A>
int16_t NaiveCall(const void* handle, int16_t row, int16_t column, A... args) {
    const uintptr_t base = W(reinterpret_cast<uintptr_t>(handle) - 8);
    const uintptr_t primary = W(base + 20);
    const uintptr_t classDesc = W(primary - 4);
    const uintptr_t function = W(W(W(classDesc) + 4 * row) + 8 * column);
    return reinterpret_cast<int16_t(__cdecl*)(void*, A...)>(function)(reinterpret_cast<void*>(primary), args...);
}

// The other faulty walk: right `this`, but the function from the class descriptor.
template <class... A>
int16_t ClassTableCall(const void* handle, int16_t row, int16_t column, A... args) {
    const uintptr_t base = W(reinterpret_cast<uintptr_t>(handle) - 8);
    const uintptr_t classDesc = W(W(base + 20) - 4);
    const uintptr_t entry = W(W(classDesc) + 4 * row) + 8 * column;
    const uintptr_t self = base + static_cast<int32_t>(W(W(classDesc + 4) + 4 * W(entry + 4)));
    return reinterpret_cast<int16_t(__cdecl*)(void*, A...)>(W(entry))(reinterpret_cast<void*>(self), args...);
}

}  // namespace walk
