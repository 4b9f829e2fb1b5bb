// zqSaveBitmap: writes a bitmap variable's picture to a BMP file.
#include "components/modifiers.h"
#include "framework/lifecycle.h"

namespace {

constexpr Field kFields[] = {
    {0, FieldKind::Event, 301},
    {10, FieldKind::Value},    // bitmapVariable
    {52, FieldKind::Boolean},  // showDialog
    {56, FieldKind::Boolean},  // useFileName
    {60, FieldKind::Value},    // fileName
    // 102: activeFileName, a pointer set by each action; no lifecycle slot touches it
};

DEFINE_MODIFIER_TYPE(kSaveBitmap, "zqSaveBitmap", 106, kFields, ActionNotBuilt, nullptr, nullptr, nullptr);
static_assert(DefaultsSize(kFields) == 102);

}  // namespace

extern "C" void HOSTAPI zqSaveBitmap(RegistrationRecord* record) { Modifier<kSaveBitmap>::Register(record); }
