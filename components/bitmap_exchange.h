#pragma once
// How bitmaps pass between the modifiers and a bitmap variable: a handle in
// the 32-bit payload of the integer in the variable's "value". Reading lends
// the variable's own bitmap; writing makes the variable keep a duplicate.
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "framework/host_calls.h"

int32_t BitmapPayload(HBITMAP bitmap);
HBITMAP BitmapFromPayload(int32_t payload);

// The variable that the reference field at `instance + referenceOffset`
// names; null when the host does not resolve it.
HostObject FindBitmapVariable(uint8_t* instance, size_t referenceOffset);

// The variable's own bitmap, lent for one action: never deleted here. Null
// when the variable holds none or does not answer with an integer.
HBITMAP BorrowBitmap(HostObject variable);

// The variable stores its own duplicate of `picture`; the caller still owns
// `picture`. False when the variable refused it (and kept what it had).
bool HandBitmapTo(HostObject variable, HBITMAP picture);
