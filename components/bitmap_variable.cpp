// zqBitmapVariable: the variable type that owns one bitmap. Reading "value"
// lends the held handle; writing "value" stores a private duplicate and the
// writer keeps (and later deletes) what it passed.
#include <cstring>

#include "components/bitmap_exchange.h"
#include "components/modifiers.h"
#include "imaging/bitmaps.h"
#include "imaging/bmp_format.h"
#include "imaging/bmp_writer.h"
#include "framework/attribute_name.h"
#include "framework/host_calls.h"
#include "framework/host_value.h"
#include "platform/owners.h"
#include "framework/registration.h"

namespace {

// A new moveable, unlocked block holding `bitmap` in the packed form of
// "bitmap", owned by the caller (GlobalFree). Null when the bitmap cannot
// describe itself, no context or memory is had, or the conversion fails.
[[nodiscard]] HGLOBAL MakePackedDib(HBITMAP bitmap) {
    BITMAP bm;
    if (!ReadBitmapRecord(bitmap, &bm)) return nullptr;
    DibLayout layout;
    if (!ComputeDibLayout(bm, &layout)) return nullptr;
    uint32_t paletteBytes, bitsOffset, totalBytes;
    if (!CheckedMul(layout.paletteCount, 4, &paletteBytes) ||
        !CheckedAdd(kPackedDibFixedBytes, paletteBytes, &bitsOffset) ||
        !CheckedAdd(bitsOffset, layout.imageBytes, &totalBytes))
        return nullptr;

    const BITMAPINFOHEADER header = InfoHeaderFor(bm, layout);

    UniqueDc dc{sys().CreateCompatibleDC(nullptr)};
    if (!dc) return nullptr;
    LockedGlobal block{kZeroedMemory, totalBytes};
    if (!block) return nullptr;
    uint8_t* p = block.bytes();
    std::memcpy(p, &bitsOffset, sizeof bitsOffset);
    std::memcpy(p + kPackedDibInfoOffset, &header, sizeof header);
    auto* info = reinterpret_cast<BITMAPINFO*>(p + kPackedDibInfoOffset);
    const int lines = sys().GetDIBits(dc.get(), bitmap, 0, static_cast<UINT>(bm.bmHeight), p + bitsOffset,
                                      info, DIB_RGB_COLORS);
    if (lines != bm.bmHeight) return nullptr;
    // The conversion rewrites header fields (biClrUsed comes back 0); the
    // block's header describes the block, so it is written again. The
    // palette the conversion wrote stays.
    std::memcpy(p + kPackedDibInfoOffset, &header, sizeof header);
    return block.Release();
}


// The instance is one handle: the bitmap the variable owns, or null.
HBITMAP Held(const uint8_t* instance) { return LoadAt<HBITMAP>(instance, 0); }
void Hold(uint8_t* instance, HBITMAP bitmap) { StoreAt(instance, 0, bitmap); }

// The old bitmap goes only after the new one is in place, so storing the
// variable's own handle never reads a deleted bitmap.
void Replace(uint8_t* instance, HBITMAP next) {
    const HBITMAP old = Held(instance);
    Hold(instance, next);
    if (old && old != next) sys().DeleteObject(old);
}

// A null handle empties the variable. A handle that is not a bitmap empties
// it too and is refused. A bitmap that cannot be duplicated is refused and
// the variable keeps what it had.
SlotResult Store(uint8_t* instance, HBITMAP bitmap) {
    if (!IsBitmap(bitmap)) {
        Replace(instance, nullptr);
        return bitmap ? kSlotDeclined : kSlotDone;
    }
    const HBITMAP copy = DuplicateBitmap(bitmap);
    if (!copy) return kSlotDeclined;
    Replace(instance, copy);
    return kSlotDone;
}

SlotResult HOSTAPI Construct(uint8_t* instance) {
    if (instance) Hold(instance, nullptr);
    return kSlotDone;
}

// The host's fresh block holds anything: it is emptied before the copy.
SlotResult HOSTAPI CopyConstruct(uint8_t* destination, const uint8_t* source) {
    if (!destination) return kSlotDone;
    Hold(destination, nullptr);
    if (source && Held(source)) Hold(destination, DuplicateBitmap(Held(source)));
    return kSlotDone;
}

// The destination's own bitmap is deleted, not dropped; the copy is made
// first so that assigning a variable to itself keeps its bitmap.
SlotResult HOSTAPI Assign(uint8_t* destination, const uint8_t* source) {
    if (!destination) return kSlotDone;
    const HBITMAP from = source ? Held(source) : nullptr;
    Replace(destination, from ? DuplicateBitmap(from) : nullptr);
    return kSlotDone;
}

SlotResult HOSTAPI Destruct(uint8_t* instance) {
    if (instance) Replace(instance, nullptr);
    return kSlotDone;
}

SlotResult HOSTAPI ReadAttribute(uint8_t* instance, const char* name, uint32_t, HostValue* value) {
    if (!instance || !value) return kSlotDeclined;
    const HBITMAP held = Held(instance);
    if (NameIsOver16Bytes(name, "value")) {
        // Only an integer or "any" request is answered: the handle is an integer.
        const int16_t preset = TagOf(value);
        if (preset != kTagInteger && preset != kTagAny) return kSlotDeclined;
        SetInteger(value, BitmapPayload(held));
        return kSlotDone;
    }
    const bool width = NameIsOver16Bytes(name, "width");
    if (width || NameIsOver16Bytes(name, "height")) {
        SetInteger(value, 0);
        BITMAP bm;
        if (held && ReadBitmapRecord(held, &bm)) SetInteger(value, width ? bm.bmWidth : bm.bmHeight);
        return kSlotDone;
    }
    if (NameIsOver16Bytes(name, "bitmap")) {
        // The block belongs to the caller; 0 when empty or it cannot be made.
        SetInteger(value, 0);
        if (held) SetInteger(value, static_cast<int32_t>(reinterpret_cast<uintptr_t>(MakePackedDib(held))));
        return kSlotDone;
    }
    return kSlotDeclined;
}

SlotResult HOSTAPI WriteAttribute(uint8_t* instance, const char* name, uint32_t, HostValue* value) {
    if (!instance || !value || !NameIsOver16Bytes(name, "value")) return kSlotDeclined;
    switch (TagOf(value)) {
        case kTagInteger:
            return Store(instance, BitmapFromPayload(IntegerPayload(value)));
        case kTagLongReference: {
            // The host turns the reference into the handle it stands for.
            HostValue converted{};
            SetInteger(&converted, 0);
            const HostStatus status = ConvertValue(instance, value, &converted);
            if (status != 0) return status;
            if (TagOf(&converted) != kTagInteger) return kSlotDeclined;
            return Store(instance, BitmapFromPayload(IntegerPayload(&converted)));
        }
        default:
            return kSlotDeclined;
    }
}

}  // namespace

extern "C" void HOSTAPI zqBitmapVariable(RegistrationRecord* record) {
    const SlotBinding slots[] = {
        {0, kSlotConstruct, reinterpret_cast<void*>(&Construct)},
        {0, kSlotCopyConstruct, reinterpret_cast<void*>(&CopyConstruct)},
        {0, kSlotAssign, reinterpret_cast<void*>(&Assign)},
        {0, kSlotDestruct, reinterpret_cast<void*>(&Destruct)},
        {0, kSlotGetAttribute, reinterpret_cast<void*>(&ReadAttribute)},
        {0, kSlotSetAttribute, reinterpret_cast<void*>(&WriteAttribute)},
    };
    RegisterComponent(record, ComponentInfo{"zqBitmapVariable", 4, kKindVariable, slots, std::size(slots)});
}
