// zqScaleBitmap: resizes a bitmap variable's picture by a percentage or to a size in pixels.
#include <cstdint>

#include "components/bitmap_exchange.h"
#include "components/modifiers.h"
#include "imaging/bitmaps.h"
#include "imaging/sse_rounding.h"
#include "platform/owners.h"
#include "framework/host_value.h"
#include "framework/lifecycle.h"
#include "framework/variable_lookup.h"

namespace {

constexpr size_t kBitmapVariable = 10;
constexpr size_t kAmount = 52;
constexpr size_t kInPixels = 94;

constexpr Field kFields[] = {
    {0, FieldKind::Event, "event", 301},
    {kBitmapVariable, FieldKind::Value, "bitmapVariable"},
    {kAmount, FieldKind::Value, "amount"},          // integer, point, float, reference or message data
    {kInPixels, FieldKind::Integer, "inPixels"},    // 0: amounts are percentages; else pixels
};
ModifierState state;

static_assert(DefaultsSize(kFields) == 100);

struct Amounts {
    double x, y;
};

// An integer or a float scales both sides alike; a point gives each its own.
bool ReadAmounts(const HostValue& value, Amounts* out) {
    switch (value.tag) {
        case kTagInteger: out->x = out->y = IntegerPayload(&value); return true;
        case kTagPoint: {
            const PointValue p = LoadAt<PointValue>(&value, 0);
            *out = {static_cast<double>(p.x), static_cast<double>(p.y)};
            return true;
        }
        case kTagFloat: out->x = out->y = LoadAt<FloatValue>(&value, 0).value; return true;
        default: return false;
    }
}

// Truncated toward zero, at least 1. False for a size no bitmap can have
// (beyond the cap, infinite, not a number): such doubles have no int value.
bool ToPixels(double size, int32_t* px) {
    if (!(size < kMaxBitmapSidePx + 1.0)) return false;
    *px = size < 1.0 ? 1 : static_cast<int32_t>(size);
    return true;
}

SlotResult Scale(uint8_t* instance, const MessageRecord& message) {
    const HostObject variable = FindBitmapVariable(instance, kBitmapVariable);
    const HBITMAP picture = BorrowBitmap(variable);  // lent: the variable's own
    if (!picture) return kSlotDeclined;

    const auto* configured = reinterpret_cast<const HostValue*>(instance + kAmount);
    const HostValue* amount = VariableLookup(state, instance, ValueInForce(configured, message));
    Amounts a;
    if (!ReadAmounts(*amount, &a)) return kSlotDeclined;
    // Negative or not a number: no size to make.
    if (!(a.x >= 0.0) || !(a.y >= 0.0)) return kSlotDeclined;

    double width = a.x, height = a.y;
    if (LoadAt<IntegerValue>(instance, kInPixels).value == 0) {
        BITMAP bm;
        // Whatever the variable lends must describe itself before it is measured.
        if (!ReadBitmapRecord(picture, &bm)) return kSlotDeclined;
        // The side times the amount first, then the hundredth: 29 px at 100% stays
        // 29 px, where 29 x 0.01 x 100 would truncate to 28. Each step rounds
        // to double, whatever the host's x87 precision: 1000 px at 33.3% is 333.
        width = static_cast<double>(bm.bmWidth) * a.x * 0.01;
        height = static_cast<double>(bm.bmHeight) * a.y * 0.01;
    }
    int32_t widthPx, heightPx;
    if (!ToPixels(width, &widthPx) || !ToPixels(height, &heightPx)) return kSlotDeclined;

    UniqueBitmap scaled{StretchBitmap(picture, widthPx, heightPx)};
    if (!scaled) return kSlotDeclined;
    // The variable stores its own duplicate and keeps its old bitmap when it
    // refuses; ours goes either way. A refused store answers 1 like every
    // other scale that changed nothing, not 0 as if the picture were scaled.
    return HandBitmapTo(variable, scaled.get()) ? kSlotDone : kSlotDeclined;
}

}  // namespace

ZQ_MODIFIER(zqScaleBitmap, .instanceSize = 100, .fields = kFields, .state = &state, .onEvent = Scale);
