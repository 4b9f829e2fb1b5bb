// zqScaleBitmap: resizes a bitmap variable's picture by a percentage or to a size in pixels.
#include "components/modifiers.h"
#include "framework/lifecycle.h"

namespace {

constexpr Field kFields[] = {
    {0, FieldKind::Event, 301},
    {10, FieldKind::Value},    // bitmapVariable
    {52, FieldKind::Value},    // amount: integer, point, float, reference or message data
    {94, FieldKind::Integer},  // inPixels: 0 = percent
};

DEFINE_MODIFIER_TYPE(kScaleBitmap, "zqScaleBitmap", 100, kFields, ActionNotBuilt, nullptr, nullptr, nullptr);
static_assert(DefaultsSize(kFields) == 100);

}  // namespace

extern "C" void HOSTAPI zqScaleBitmap(RegistrationRecord* record) { Modifier<kScaleBitmap>::Register(record); }
