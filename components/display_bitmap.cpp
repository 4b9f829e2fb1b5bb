// zqDisplayBitmap: shows a bitmap variable's picture in its element through a drawing hook.
#include <cstdlib>
#include <cstring>

#include "components/bitmap_exchange.h"
#include "components/element_hook.h"
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


constexpr Field kFields[] = {
    {0, FieldKind::Event, "event", 301},
    {kEndEventOffset, FieldKind::Event, "endEvent", 302},
    {kVariableOffset, FieldKind::Value, "bitmapVariable"},
    {kHookInstalledOffset, FieldKind::RunState8, "hookInstalled"},  // a copy never owns the original's hook
};
ModifierState state;

static_assert(DefaultsSize(kFields) == 62);
static_assert(kHookIdOffset + sizeof(uint32_t) == 68);

// Only 1 counts: a block no Construct has seen may hold anything here.
bool HookInstalled(const uint8_t* instance) { return LoadAt<uint8_t>(instance, kHookInstalledOffset) == 1; }

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

SlotResult Show(uint8_t* instance, const MessageRecord&) {
    uint32_t element = 0;
    if (GetParentElement(instance, &element) != 0) return kSlotDone;  // nowhere to show it

    // Each size only from an answer: a failed read must not pass on the other
    // dimension. Without a variable the element keeps its size and the first
    // draw that finds a bitmap sizes it.
    if (HostObject variable = FindBitmapVariable(instance, kVariableOffset)) {
        int32_t pixels;
        if (ReadInteger(variable, kHeightName, &pixels)) SetElementSize(element, kHeightName, pixels);
        if (ReadInteger(variable, kWidthName, &pixels)) SetElementSize(element, kWidthName, pixels);
    }

    if (!HookInstalled(instance)) {
        // Marked installed only when the host took it, so Hide never removes
        // a hook that is not there.
        uint32_t hookId = 0;
        if (InstallElementHook(element, kDisplayHookKind, instance, &hookId)) {
            StoreAt<uint8_t>(instance, kHookInstalledOffset, 1);
            StoreAt<uint32_t>(instance, kHookIdOffset, hookId);
        }
    }
    RefreshElement(instance, 0);
    return kSlotDone;
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
    if (!EventMatches(instance, kEndEventOffset, message) && message.eventCode != kHideEverywhere) return kSlotDeclined;
    if (!HookInstalled(instance)) return kSlotDeclined;
    if (!RemoveHook(instance)) return kSlotDeclined;  // a later hide may work
    RefreshElement(instance, 0);
    return kSlotDone;
}

// Before Destruct and Assign: the host would go on calling an installed hook
// with this block, freed or reset. No refresh: the host may be taking the
// element down with the modifier.
void ReleaseHook(uint8_t* instance) {
    if (HookInstalled(instance)) RemoveHook(instance);
}

SlotResult HOSTAPI DrawHook(uint8_t* instance, const DrawRecord* draw, const SurfaceRecord* surface) {
    HookDraw d;
    if (!instance || !ReadHookDraw(draw, surface, &d)) return kHookFinished;
    const ElementRect& rect = d.rect;
    const int16_t w = static_cast<int16_t>(rect.right - rect.left);
    const int16_t h = static_cast<int16_t>(rect.bottom - rect.top);

    HBITMAP shown = BorrowBitmap(FindBitmapVariable(instance, kVariableOffset));  // lent: never deleted here
    BITMAP bm;
    if (!shown || !ReadBitmapRecord(shown, &bm)) return kHookFinished;

    if (w != bm.bmWidth || h != bm.bmHeight) {
        // The bitmap's size, not the rectangle's: the next draw then fits.
        uint32_t element = 0;
        if (GetParentElement(instance, &element) == 0) {
            SetElementSize(element, kWidthName, bm.bmWidth);
            SetElementSize(element, kHeightName, bm.bmHeight);
        }
        return kHookPassed;  // the element now fits the bitmap
    }

    // Bytes are copied one per pixel: a bitmap needs exposed pixel memory and
    // rows of at least w bytes (under 8 bits per pixel they are shorter).
    if (!bm.bmBits || bm.bmWidthBytes < w) return kHookFinished;
    if (!d.AnythingVisible()) return kHookFinished;

    // The bitmap's first row in memory is its bottom row: it lands on the
    // element's bottom row, the next one a row higher.
    const RECT& v = d.visible;
    const auto* bits = static_cast<const uint8_t*>(bm.bmBits);
    for (int y = v.top; y < v.bottom; ++y) {
        const uint8_t* source = bits + (rect.bottom - 1 - y) * bm.bmWidthBytes + (v.left - rect.left);
        std::memcpy(d.Row(y) + v.left, source, static_cast<size_t>(v.right - v.left));
    }
    return kHookFinished;
}

}  // namespace

ZQ_MODIFIER(zqDisplayBitmap, .instanceSize = 68, .fields = kFields, .state = &state, .onEvent = Show,
            .onOtherMessage = Hide, .hookCallback = DrawHook, .release = ReleaseHook);
