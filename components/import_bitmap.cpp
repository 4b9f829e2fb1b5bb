// zqImportBitmap: reads a BMP file into a bitmap variable.
#include "components/modifiers.h"
#include "framework/lifecycle.h"

namespace {

constexpr Field kFields[] = {
    {0, FieldKind::Event, 301},
    {10, FieldKind::Boolean},  // showDialog
    {14, FieldKind::Boolean},  // useFileName
    {18, FieldKind::Value},    // fileName
    {60, FieldKind::Value},    // bitmapVariable
    // 102: activeFileName, a pointer set by each action; no lifecycle slot touches it
};

DEFINE_MODIFIER_TYPE(kImportBitmap, "zqImportBitmap", 106, kFields, ActionNotBuilt, nullptr, nullptr, nullptr);
static_assert(DefaultsSize(kFields) == 102);

}  // namespace

extern "C" void HOSTAPI zqImportBitmap(RegistrationRecord* record) { Modifier<kImportBitmap>::Register(record); }
