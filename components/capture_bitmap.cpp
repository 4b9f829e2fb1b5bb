// zqCaptureBitmap: copies the pixels of its element into a bitmap variable.
#include <cstdlib>
#include <cstring>

#include "components/bitmap_exchange.h"
#include "components/element_hook.h"
#include "components/modifiers.h"
#include "imaging/bitmaps.h"
#include "platform/owners.h"
#include "framework/host_calls.h"
#include "framework/host_value.h"
#include "framework/lifecycle.h"

namespace {

constexpr size_t kVariableOffset = 10;
constexpr int16_t kCaptureHookKind = 3;
constexpr int16_t kDrawNow = 1;  // the host draws, and calls our hook, before returning

constexpr Field kFields[] = {
    {0, FieldKind::Event, "event", 301},
    {kVariableOffset, FieldKind::Value, "bitmapVariable"},
};
ModifierState state;

static_assert(DefaultsSize(kFields) == 52);

// The hook does the whole capture while the host draws; failures stay quiet
// and the variable keeps its old picture.
SlotResult Capture(uint8_t* instance, const MessageRecord&) {
    uint32_t element = 0;
    if (GetParentElement(instance, &element) != 0) return kSlotDone;
    const uint32_t hookId = InstallElementHook(element, kCaptureHookKind, instance);
    RefreshElement(instance, kDrawNow);
    RemoveElementHook(element, kCaptureHookKind, hookId);
    return kSlotDone;
}

// A bitmap compatible with the surface holding the pixels of `area`, or null.
// A DIB section (what a surface that is one gives) takes the rows straight
// into its memory, bottom row first as compatible sections always are; GDI
// has nothing pending on a section it has just made. A device bitmap takes
// device-dependent bits at one byte per pixel: top row first, rows padded
// with zeros to an even length.
[[nodiscard]] HBITMAP CopyOut(const HookDraw& d) {
    const RECT& area = d.visible;
    const int w = area.right - area.left;
    const int h = area.bottom - area.top;
    HDC surfaceDc = static_cast<HDC>(d.surface.dc);
    if (!surfaceDc) return nullptr;
    UniqueBitmap picture{sys().CreateCompatibleBitmap(surfaceDc, w, h)};
    // The bits are laid out for 8 bits per pixel; a surface of another depth
    // would get a bitmap they do not fill.
    BITMAP bm;
    if (!picture || !ReadBitmapRecord(picture.get(), &bm) || bm.bmBitsPixel != 8 || bm.bmPlanes != 1 ||
        bm.bmWidth != w || bm.bmHeight != h)
        return nullptr;
    if (bm.bmBits) {
        auto* bits = static_cast<uint8_t*>(bm.bmBits);
        for (int r = 0; r < h; ++r)
            std::memcpy(bits + static_cast<size_t>(h - 1 - r) * bm.bmWidthBytes, d.Row(area.top + r) + area.left,
                        static_cast<size_t>(w));
        return picture.release();
    }

    const int rowBytes = (w + 1) & ~1;
    const DWORD total = static_cast<DWORD>(rowBytes) * static_cast<DWORD>(h);  // under 2^30: 16-bit sides
    LockedGlobal buffer{kScratchMemory, total};  // moveable, so not zero-filled
    if (!buffer) return nullptr;
    for (int r = 0; r < h; ++r) {
        uint8_t* row = buffer.bytes() + r * rowBytes;
        std::memcpy(row, d.Row(area.top + r) + area.left, static_cast<size_t>(w));
        if (rowBytes > w) row[w] = 0;
    }
    if (sys().SetBitmapBits(picture.get(), total, buffer.get()) != static_cast<LONG>(total)) return nullptr;
    return picture.release();
}

SlotResult HOSTAPI CaptureHook(uint8_t* instance, const DrawRecord* draw, const SurfaceRecord* surface) {
    // An element partly outside the surface gives its visible part.
    HookDraw d;
    if (!instance || !ReadHookDraw(draw, surface, &d) || !d.AnythingVisible()) return kHookPassed;

    // The variable is looked for only once there is a picture to hand it.
    UniqueBitmap picture{CopyOut(d)};
    if (!picture) return kHookPassed;
    // The variable keeps a duplicate; ours goes when `picture` does.
    if (const HostObject variable = FindBitmapVariable(instance, kVariableOffset)) HandBitmapTo(variable, picture.get());
    return kHookPassed;
}

}  // namespace

ZQ_MODIFIER(zqCaptureBitmap, .instanceSize = 52, .fields = kFields, .state = &state, .onEvent = Capture,
            .hookCallback = CaptureHook);
