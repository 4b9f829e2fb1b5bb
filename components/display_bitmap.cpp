// zqDisplayBitmap: shows a bitmap variable's picture in its element through a drawing hook.
#include "components/modifiers.h"
#include "framework/lifecycle.h"

namespace {

constexpr Field kFields[] = {
    {0, FieldKind::Event, 301},
    {10, FieldKind::Event, 302},  // endEvent
    {20, FieldKind::Value},       // bitmapVariable
    {62, FieldKind::Plain8},      // hookInstalled; the hook id at 64 is written only with it
};

// Nothing is drawn yet.
SlotResult HOSTAPI DrawHook(uint8_t*, const DrawRecord*, const SurfaceRecord*) { return 1; }

DEFINE_MODIFIER_TYPE(kDisplayBitmap, "zqDisplayBitmap", 68, kFields, ActionNotBuilt, ActionNotBuilt, nullptr,
                     DrawHook);
static_assert(DefaultsSize(kFields) == 62);

}  // namespace

extern "C" void HOSTAPI zqDisplayBitmap(RegistrationRecord* record) { Modifier<kDisplayBitmap>::Register(record); }
