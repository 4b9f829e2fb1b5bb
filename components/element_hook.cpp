#include "components/element_hook.h"

#include <cstddef>
#include <cstdlib>

#include "framework/host_calls.h"
#include "framework/host_value.h"

uint32_t InstallElementHook(uint32_t element, int16_t kind, uint8_t* instance) {
    HookRecord hook{kind, instance, 1, 0, 0, 0, 0};
    IntegerValue flags{kTagInteger, 0};
    AddElementHook(element, &hook, &flags);
    return LoadAt<uint32_t>(&hook, offsetof(HookRecord, hookId));
}

uint8_t* HookDraw::Row(int y) const {
    const int step = std::abs(static_cast<int>(surface.stride));
    return surface.stride >= 0 ? surface.pixels + y * step : surface.pixels + (surface.rows - 1 - y) * step;
}

bool ReadHookDraw(const DrawRecord* draw, const SurfaceRecord* surface, HookDraw* out) {
    if (!draw || !surface) return false;
    const ElementRect* given = LoadAt<const ElementRect*>(draw, offsetof(DrawRecord, rect));
    if (!given) return false;
    out->rect = *given;
    out->surface = *surface;
    const ElementRect& r = out->rect;
    const SurfaceRecord& s = out->surface;
    const int rowBytes = std::abs(static_cast<int>(s.stride));
    if (!s.pixels || rowBytes == 0 || s.rows <= 0) {
        out->visible = RECT{0, 0, 0, 0};
        return true;
    }
    out->visible.left = r.left < 0 ? 0 : r.left;
    out->visible.top = r.top < 0 ? 0 : r.top;
    out->visible.right = r.right > rowBytes ? rowBytes : r.right;
    out->visible.bottom = r.bottom > s.rows ? s.rows : r.bottom;
    return true;
}
