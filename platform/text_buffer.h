#pragma once
// The one text size of the plug-in: file names, paths and the texts of host
// values all live in 256-byte buffers, 255 characters and a zero byte.
// Platform-free, so the portable path code builds natively too.
#include <cstddef>

inline constexpr std::size_t kTextBuffer = 256;
inline constexpr std::size_t kMaxText = kTextBuffer - 1;
using TextBuffer = char[kTextBuffer];
