// zqDisplayBitmap: shows a bitmap variable's picture in its element through a drawing hook.
#include <cstdlib>
#include <cstring>

#include "components/modifiers.h"
#include "imaging/bitmaps.h"
#include "framework/host_calls.h"
#include "framework/host_value.h"
#include "framework/lifecycle.h"

namespace {

constexpr size_t kEndEventOffset = 10;
constexpr size_t kVariableOffset = 20;
constexpr size_t kHookInstalledOffset = 62;  // 1 while our hook is installed
constexpr size_t kHookIdOffset = 64;         // valid only while installed

constexpr int16_t kDisplayHookKind = 1;
constexpr uint32_t kHideEverywhere = 2002;  // hides whatever the qualifier

constexpr SlotResult kDone = 0;
constexpr SlotResult kNotMine = 1;
constexpr SlotResult kDrawn = 1;        // also: nothing there to draw
constexpr SlotResult kSizeChanged = 0;  // nothing drawn; the element now fits the bitmap

constexpr Field kFields[] = {
    {0, FieldKind::Event, 301},
    {kEndEventOffset, FieldKind::Event, 302},
    {kVariableOffset, FieldKind::Value},  // bitmapVariable
    {kHookInstalledOffset, FieldKind::RunState8},  // a copy never owns the original's hook
};

SlotResult Show(uint8_t* instance, const MessageRecord& message);
SlotResult Hide(uint8_t* instance, const MessageRecord& message);
SlotResult HOSTAPI DrawHook(uint8_t* instance, const DrawRecord* draw, const SurfaceRecord* surface);
void ReleaseHook(uint8_t* instance);

DEFINE_MODIFIER_TYPE(kDisplayBitmap, "zqDisplayBitmap", 68, kFields, Show, Hide, nullptr, DrawHook, ReleaseHook);
static_assert(DefaultsSize(kFields) == 62);
static_assert(kHookIdOffset + sizeof(uint32_t) == 68);

// Only 1 counts: a block no Construct has seen may hold anything here.
bool HookInstalled(const uint8_t* instance) { return LoadAt<uint8_t>(instance, kHookInstalledOffset) == 1; }

HostObject FindVariable(uint8_t* instance) {
    HostObject variable = nullptr;
    if (ResolveReference(instance + kVariableOffset, instance, &variable) != 0) return nullptr;
    return variable;
}

// An integer attribute of `object`; false when it is not answered as one.
bool ReadInteger(HostObject object, const AttributeName& name, int32_t* out) {
    HostValue v{};
    SetInteger(&v, 0);
    if (GetAttribute(object, name, &v) != 0 || TagOf(&v) != kTagInteger) return false;
    *out = IntegerPayload(&v);
    return true;
}

void SetElementSize(uint32_t element, const AttributeName& name, int32_t pixels) {
    HostValue v{};
    SetInteger(&v, pixels);
    SetAttributeById(element, name, &v);
}

// The variable's bitmap, lent: never deleted here. Null when there is none.
HBITMAP ShownBitmap(uint8_t* instance) {
    HostObject variable = FindVariable(instance);
    if (!variable) return nullptr;
    int32_t handle = 0;
    if (!ReadInteger(variable, kValueName, &handle)) return nullptr;
    return reinterpret_cast<HBITMAP>(static_cast<uintptr_t>(static_cast<uint32_t>(handle)));
}

SlotResult Show(uint8_t* instance, const MessageRecord&) {
    uint32_t element = 0;
    if (GetParentElement(instance, &element) != 0) return kDone;  // nowhere to show it

    // Each size only from an answer: a failed read must not pass on the other
    // dimension. Without a variable the element keeps its size and the first
    // draw that finds a bitmap sizes it.
    if (HostObject variable = FindVariable(instance)) {
        int32_t pixels;
        if (ReadInteger(variable, kHeightName, &pixels)) SetElementSize(element, kHeightName, pixels);
        if (ReadInteger(variable, kWidthName, &pixels)) SetElementSize(element, kWidthName, pixels);
    }

    if (!HookInstalled(instance)) {
        HookRecord hook{kDisplayHookKind, instance, 1, 0, 0, 0, 0};
        IntegerValue flags{kTagInteger, 0};
        // Marked installed only when the host took it, so Hide never removes
        // a hook that is not there.
        if (AddElementHook(element, &hook, &flags) == 0) {
            StoreAt<uint8_t>(instance, kHookInstalledOffset, 1);
            StoreAt<uint32_t>(instance, kHookIdOffset, LoadAt<uint32_t>(&hook, offsetof(HookRecord, hookId)));
        }
    }
    RefreshElement(instance, 0);
    return kDone;
}

// False when the element cannot be found: the hook stays installed.
bool RemoveHook(uint8_t* instance) {
    uint32_t element = 0;
    if (GetParentElement(instance, &element) != 0) return false;
    RemoveElementHook(element, kDisplayHookKind, LoadAt<uint32_t>(instance, kHookIdOffset));
    StoreAt<uint8_t>(instance, kHookInstalledOffset, 0);
    return true;
}

SlotResult Hide(uint8_t* instance, const MessageRecord& message) {
    if (!EventMatches(instance, kEndEventOffset, message) && message.eventCode != kHideEverywhere) return kNotMine;
    if (!HookInstalled(instance)) return kNotMine;
    if (!RemoveHook(instance)) return kNotMine;  // a later hide may work
    RefreshElement(instance, 0);
    return kDone;
}

// Before Destruct and Assign: the host would go on calling an installed hook
// with this block, freed or reset. No refresh: the host may be taking the
// element down with the modifier.
void ReleaseHook(uint8_t* instance) {
    if (HookInstalled(instance)) RemoveHook(instance);
}

// Surface row y (0 = top); rows are stored bottom row first when the stride is negative.
uint8_t* SurfaceRow(const SurfaceRecord& s, int y) {
    const int step = std::abs(static_cast<int>(s.stride));
    return s.stride >= 0 ? s.pixels + y * step : s.pixels + (s.rows - 1 - y) * step;
}

SlotResult HOSTAPI DrawHook(uint8_t* instance, const DrawRecord* draw, const SurfaceRecord* surface) {
    if (!instance || !draw || !surface) return kDrawn;
    const ElementRect* given = LoadAt<const ElementRect*>(draw, offsetof(DrawRecord, rect));
    if (!given) return kDrawn;
    const ElementRect rect = *given;
    const SurfaceRecord s = *surface;
    const int16_t w = static_cast<int16_t>(rect.right - rect.left);
    const int16_t h = static_cast<int16_t>(rect.bottom - rect.top);

    HBITMAP shown = ShownBitmap(instance);
    BITMAP bm;
    if (!shown || !ReadBitmapRecord(shown, &bm)) return kDrawn;

    if (w != bm.bmWidth || h != bm.bmHeight) {
        // The bitmap's size, not the rectangle's: the next draw then fits.
        uint32_t element = 0;
        if (GetParentElement(instance, &element) == 0) {
            SetElementSize(element, kWidthName, bm.bmWidth);
            SetElementSize(element, kHeightName, bm.bmHeight);
        }
        return kSizeChanged;
    }

    // Bytes are copied one per pixel: a bitmap needs exposed pixel memory and
    // rows of at least w bytes (under 8 bits per pixel they are shorter).
    if (!bm.bmBits || bm.bmWidthBytes < w) return kDrawn;
    // Only what lies in the surface's memory: rows [0, rows), columns [0, |stride|).
    const int rowBytes = std::abs(static_cast<int>(s.stride));
    if (!s.pixels || rowBytes == 0 || s.rows <= 0) return kDrawn;
    const int left = rect.left < 0 ? 0 : rect.left;
    const int right = rect.right > rowBytes ? rowBytes : rect.right;
    const int top = rect.top < 0 ? 0 : rect.top;
    const int bottom = rect.bottom > s.rows ? s.rows : rect.bottom;
    if (left >= right || top >= bottom) return kDrawn;

    // The bitmap's first row in memory is its bottom row: it lands on the
    // element's bottom row, the next one a row higher.
    const auto* bits = static_cast<const uint8_t*>(bm.bmBits);
    for (int y = top; y < bottom; ++y) {
        const uint8_t* source = bits + (rect.bottom - 1 - y) * bm.bmWidthBytes + (left - rect.left);
        std::memcpy(SurfaceRow(s, y) + left, source, static_cast<size_t>(right - left));
    }
    return kDrawn;
}

}  // namespace

extern "C" void HOSTAPI zqDisplayBitmap(RegistrationRecord* record) { Modifier<kDisplayBitmap>::Register(record); }
