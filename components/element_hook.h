#pragma once
// Drawing hooks on an element, as display and capture use them: installing
// one, and reading what the host hands a hook at each draw.
#include <windows.h>

#include <cstdint>

#include "framework/host_abi.h"

// Installs a hook of `kind` for `instance` on `element` and returns the id
// the host wrote into the record, whatever status it answered: a host may
// keep a hook it answered a status for, so the caller removes it all the same.
uint32_t InstallElementHook(uint32_t element, int16_t kind, uint8_t* instance);

// One draw, as the hook sees it. `visible` is the part of the element's
// rectangle that lies in the surface's memory (rows [0, rows), columns
// [0, |stride|)); nothing outside it may be read or written.
struct HookDraw {
    ElementRect rect;
    SurfaceRecord surface;
    RECT visible;

    bool AnythingVisible() const { return visible.left < visible.right && visible.top < visible.bottom; }
    // Surface row y, 0 at the top; rows are stored bottom row first when the stride is negative.
    uint8_t* Row(int y) const;
};

// False when the host handed over no draw record, rectangle or surface.
bool ReadHookDraw(const DrawRecord* draw, const SurfaceRecord* surface, HookDraw* out);
