// zqCaptureBitmap: copies the pixels of its element into a bitmap variable.
#include <cstdlib>
#include <cstring>

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
constexpr UINT kPixelBufferFlags = GMEM_MOVEABLE;

constexpr SlotResult kDone = 0;

constexpr Field kFields[] = {
    {0, FieldKind::Event, 301},
    {kVariableOffset, FieldKind::Value},  // bitmapVariable
};

SlotResult Capture(uint8_t* instance, const MessageRecord& message);
SlotResult HOSTAPI CaptureHook(uint8_t* instance, const DrawRecord* draw, const SurfaceRecord* surface);

DEFINE_MODIFIER_TYPE(kCaptureBitmap, "zqCaptureBitmap", 52, kFields, Capture, nullptr, nullptr, CaptureHook, nullptr);
static_assert(DefaultsSize(kFields) == 52);

// The hook does the whole capture while the host draws; failures stay quiet
// and the variable keeps its old picture.
SlotResult Capture(uint8_t* instance, const MessageRecord&) {
    uint32_t element = 0;
    if (GetParentElement(instance, &element) != 0) return kDone;
    HookRecord hook{kCaptureHookKind, instance, 1, 0, 0, 0, 0};
    IntegerValue flags{kTagInteger, 0};
    if (AddElementHook(element, &hook, &flags) != 0) return kDone;
    RefreshElement(instance, kDrawNow);
    RemoveElementHook(element, kCaptureHookKind, LoadAt<uint32_t>(&hook, offsetof(HookRecord, hookId)));
    return kDone;
}

// Surface row y (0 = top); rows are stored bottom row first when the stride is negative.
const uint8_t* SurfaceRow(const SurfaceRecord& s, int y) {
    const int step = std::abs(static_cast<int>(s.stride));
    return s.stride >= 0 ? s.pixels + y * step : s.pixels + (s.rows - 1 - y) * step;
}

// A bitmap compatible with the surface holding the pixels of `area`, or null.
// Device-dependent bits at one byte per pixel: top row first, rows padded
// with zeros to an even length.
HBITMAP CopyOut(const SurfaceRecord& s, const RECT& area) {
    const int w = area.right - area.left;
    const int h = area.bottom - area.top;
    const int rowBytes = (w + 1) & ~1;
    const DWORD total = static_cast<DWORD>(rowBytes) * static_cast<DWORD>(h);  // under 2^30: 16-bit sides
    LockedGlobal buffer{kPixelBufferFlags, total};  // moveable, so not zero-filled
    if (!buffer) return nullptr;
    for (int r = 0; r < h; ++r) {
        uint8_t* row = buffer.bytes() + r * rowBytes;
        std::memcpy(row, SurfaceRow(s, area.top + r) + area.left, static_cast<size_t>(w));
        if (rowBytes > w) row[w] = 0;
    }

    HDC surfaceDc = static_cast<HDC>(s.dc);
    if (!surfaceDc) return nullptr;
    UniqueBitmap picture{sys().CreateCompatibleBitmap(surfaceDc, w, h)};
    // The bits are laid out for 8 bits per pixel; a surface of another depth
    // would get a bitmap they do not fill.
    BITMAP bm;
    if (!picture || !ReadBitmapRecord(picture.get(), &bm) || bm.bmBitsPixel != 8 || bm.bmPlanes != 1 ||
        bm.bmWidth != w || bm.bmHeight != h)
        return nullptr;
    if (sys().SetBitmapBits(picture.get(), total, buffer.get()) != static_cast<LONG>(total)) return nullptr;
    return picture.release();
}

SlotResult HOSTAPI CaptureHook(uint8_t* instance, const DrawRecord* draw, const SurfaceRecord* surface) {
    if (!instance || !draw || !surface) return kDone;
    const ElementRect* given = LoadAt<const ElementRect*>(draw, offsetof(DrawRecord, rect));
    if (!given) return kDone;
    const ElementRect rect = *given;
    const SurfaceRecord s = *surface;

    // Only what lies in the surface's memory is read: rows [0, rows),
    // columns [0, |stride|). An element partly outside gives its visible part.
    const int rowBytes = std::abs(static_cast<int>(s.stride));
    if (!s.pixels || rowBytes == 0 || s.rows <= 0) return kDone;
    RECT area;
    area.left = rect.left < 0 ? 0 : rect.left;
    area.top = rect.top < 0 ? 0 : rect.top;
    area.right = rect.right > rowBytes ? rowBytes : rect.right;
    area.bottom = rect.bottom > s.rows ? s.rows : rect.bottom;
    if (area.left >= area.right || area.top >= area.bottom) return kDone;

    // No variable to receive it: nothing worth drawing out.
    HostObject variable = nullptr;
    if (ResolveReference(instance + kVariableOffset, instance, &variable) != 0 || !variable) return kDone;

    UniqueBitmap picture{CopyOut(s, area)};
    if (!picture) return kDone;
    // The variable keeps a duplicate; ours goes when `picture` does.
    HostValue value{};
    SetInteger(&value, static_cast<int32_t>(reinterpret_cast<uintptr_t>(picture.get())));
    SetAttribute(variable, kValueName, &value);
    return kDone;
}

}  // namespace

extern "C" void HOSTAPI zqCaptureBitmap(RegistrationRecord* record) { Modifier<kCaptureBitmap>::Register(record); }
