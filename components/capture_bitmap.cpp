// zqCaptureBitmap: copies the pixels of its element into a bitmap variable.
#include "components/modifiers.h"
#include "framework/lifecycle.h"

namespace {

constexpr Field kFields[] = {
    {0, FieldKind::Event, 301},
    {10, FieldKind::Value},  // bitmapVariable
};

// Nothing is captured yet.
SlotResult HOSTAPI CaptureHook(uint8_t*, const DrawRecord*, const SurfaceRecord*) { return 0; }

DEFINE_MODIFIER_TYPE(kCaptureBitmap, "zqCaptureBitmap", 52, kFields, ActionNotBuilt, nullptr, nullptr, CaptureHook);
static_assert(DefaultsSize(kFields) == 52);

}  // namespace

extern "C" void HOSTAPI zqCaptureBitmap(RegistrationRecord* record) { Modifier<kCaptureBitmap>::Register(record); }
