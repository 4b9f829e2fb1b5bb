// zqDeleteFile: deletes one file when its event arrives; "error" tells how it went.
#include "components/modifiers.h"
#include "framework/attribute_name.h"
#include "framework/host_value.h"
#include "framework/lifecycle.h"

namespace {

constexpr int16_t kErrorCodeOffset = 52;

constexpr Field kFields[] = {
    {0, FieldKind::Event, 301},
    {10, FieldKind::Value},                  // the file name: literal, reference or message data
    {kErrorCodeOffset, FieldKind::Plain16},  // 0 or 6; Construct clears it, never saved
};

SlotResult HOSTAPI GetErrorAttribute(uint8_t* instance, const char* name, uint32_t, HostValue* result) {
    if (!instance || !result || !NameIs(name, "error")) return 1;
    SetInteger(result, LoadAt<int16_t>(instance, kErrorCodeOffset));
    return 0;
}

DEFINE_MODIFIER_TYPE(kDeleteFile, "zqDeleteFile", 54, kFields, ActionNotBuilt, nullptr, GetErrorAttribute, nullptr);
static_assert(DefaultsSize(kFields) == 52);

}  // namespace

extern "C" void HOSTAPI zqDeleteFile(RegistrationRecord* record) { Modifier<kDeleteFile>::Register(record); }
