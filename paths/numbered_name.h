#pragma once
// Numbered picture names in the root folder of the system drive:
// <drive>\<base>000.bmp to <drive>\<base>999.bmp.
#include "paths/paths.h"

inline constexpr int kNumberedNames = 1000;

// Fills `path` (kTextBuffer bytes) with the first free numbered name for
// `base` and reserves it with an empty file; "" when every name is taken or
// the file cannot be made.
void MakeNumberedFileName(const char* base, char* path);
