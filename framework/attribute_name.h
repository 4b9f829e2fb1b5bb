#pragma once
// Attribute names are compared over 16 bytes, A to Z folded to lower case on
// both sides and nothing else; bytes past a terminator take part too.
#include <cstddef>

constexpr char FoldCase(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// `given` is the host's 16-byte name; `own` is one of the component's names.
inline bool NameIsOver16Bytes(const char* given, const char* own) {
    if (!given) return false;
    bool ownEnded = false;
    for (size_t i = 0; i < 16; ++i) {
        const char mine = ownEnded ? '\0' : own[i];
        if (mine == '\0') ownEnded = true;
        if (FoldCase(given[i]) != FoldCase(mine)) return false;
    }
    return true;
}
