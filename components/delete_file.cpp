// zqDeleteFile: deletes one file when its event arrives; "error" tells how it went.
#include "components/modifiers.h"
#include "framework/attribute_name.h"
#include "components/file_name_setting.h"
#include "framework/host_value.h"
#include "framework/lifecycle.h"
#include "platform/platform.h"

namespace {

constexpr size_t kSourceOffset = 10;
constexpr size_t kErrorCodeOffset = 52;
constexpr int16_t kErrorNone = 0;
constexpr int16_t kErrorNotDeleted = 6;

constexpr Field kFields[] = {
    {0, FieldKind::Event, "event", 301},
    {kSourceOffset, FieldKind::Value, "fileName"},         // literal, reference or message data
    {kErrorCodeOffset, FieldKind::Plain16, "errorCode"},  // 0 or 6; Construct clears it, never saved
};
ModifierState state;

SlotResult HOSTAPI GetErrorAttribute(uint8_t* instance, const char* name, uint32_t, HostValue* result) {
    if (!instance || !result || !NameIsOver16Bytes(name, "error")) return kSlotDeclined;
    SetInteger(result, LoadAt<int16_t>(instance, kErrorCodeOffset));
    return kSlotDone;
}

static_assert(DefaultsSize(kFields) == 52);

SlotResult DeleteNamedFile(uint8_t* instance, const MessageRecord& message) {
    namespace fns = file_name_setting;
    const auto* configured = reinterpret_cast<const HostValue*>(instance + kSourceOffset);
    const HostValue* source = ValueInForce(configured, message);
    TextBuffer native;
    fns::ExpandedName(state, instance, source, native);

    // DeleteFileA, not OpenFile(OF_DELETE): the latter's 128-byte OFSTRUCT
    // refuses every path of 128 characters or more, and names run to 255.
    if (!sys().DeleteFileA(native)) {
        StoreAt(instance, kErrorCodeOffset, kErrorNotDeleted);
        return kSlotDeclined;
    }

    // A string variable named by a reference learns the full path deleted,
    // in portable form. Long references and other variables are left alone.
    fns::WriteBackName(state, instance, source, native, true);
    StoreAt(instance, kErrorCodeOffset, kErrorNone);
    return kSlotDone;
}

}  // namespace

ZQ_MODIFIER(zqDeleteFile, .instanceSize = 54, .fields = kFields, .state = &state, .onEvent = DeleteNamedFile,
            .getAttribute = GetErrorAttribute);
