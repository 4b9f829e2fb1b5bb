// zqPrintBitmap: prints a bitmap variable's picture on one page.
#include "components/modifiers.h"
#include "framework/lifecycle.h"

namespace {

constexpr Field kFields[] = {
    {0, FieldKind::Event, 301},
    {10, FieldKind::Value},     // bitmapVariable
    {52, FieldKind::Boolean},   // showDialog
    {56, FieldKind::Boolean},   // fitToPage
    {60, FieldKind::Integer},   // orientation: 0 automatic, 2 landscape, else portrait
    {66, FieldKind::Integer},   // placement: 0 centred, 1 at the position, else top-left
    {72, FieldKind::Value},     // positionX, inches
    {114, FieldKind::Value},    // positionY, inches
};

DEFINE_MODIFIER_TYPE(kPrintBitmap, "zqPrintBitmap", 160, kFields, ActionNotBuilt, nullptr, nullptr, nullptr);
static_assert(DefaultsSize(kFields) == 156);

}  // namespace

extern "C" void HOSTAPI zqPrintBitmap(RegistrationRecord* record) { Modifier<kPrintBitmap>::Register(record); }
