// zqImportBitmap: reads a BMP file into a bitmap variable.
#include "components/file_name_setting.h"
#include "components/modifiers.h"
#include "imaging/bmp_reader.h"
#include "platform/owners.h"
#include "framework/lifecycle.h"

namespace {

constexpr size_t kShowDialog = 10;
constexpr size_t kUseFileName = 14;
constexpr size_t kFileName = 18;
constexpr size_t kBitmapVariable = 60;
constexpr size_t kActiveFileName = 102;

constexpr Field kFields[] = {
    {0, FieldKind::Event, 301},
    {kShowDialog, FieldKind::Boolean},
    {kUseFileName, FieldKind::Boolean},
    {kFileName, FieldKind::Value},
    {kBitmapVariable, FieldKind::Value},
    // 102: activeFileName, a pointer set by each action; no lifecycle slot touches it
};

SlotResult Import(uint8_t* instance, const MessageRecord& message);

DEFINE_MODIFIER_TYPE(kImportBitmap, "zqImportBitmap", 106, kFields, Import, nullptr, nullptr, nullptr, nullptr);
static_assert(DefaultsSize(kFields) == 102);

SlotResult Import(uint8_t* instance, const MessageRecord& message) {
    namespace fns = file_name_setting;
    const auto* fileName = reinterpret_cast<const HostValue*>(instance + kFileName);
    const HostValue* active = fns::ActiveFileName(fileName, message);
    StoreAt(instance, kActiveFileName, active);  // meaningful during this action only

    const bool useFileName = IsOn(instance, kUseFileName);
    TextBuffer path = "";
    if (useFileName) fns::ExpandedName(kImportBitmapState, instance, active, path);

    bool chosen = true;
    if (IsOn(instance, kShowDialog)) chosen = fns::AskFileName(sys().GetOpenFileNameA, path);

    // An empty path names no file: nothing to open.
    HBITMAP loaded = nullptr;
    const int result = chosen && path[0] != '\0' ? LoadBmpFile(path, &loaded) : 0;
    UniqueBitmap bitmap{loaded};  // ours until the action ends; the variable keeps a copy
    const bool read = result == 1 && bitmap;

    if (useFileName) fns::WriteBackName(kImportBitmapState, instance, active, path, read);
    if (!read) return 1;

    HostObject variable = nullptr;
    if (ResolveReference(instance + kBitmapVariable, instance, &variable) == 0 && variable) {
        HostValue value{};
        SetInteger(&value, static_cast<int32_t>(reinterpret_cast<uintptr_t>(bitmap.get())));
        SetAttribute(variable, kValueName, &value);
    }
    return 0;
}

}  // namespace

extern "C" void HOSTAPI zqImportBitmap(RegistrationRecord* record) { Modifier<kImportBitmap>::Register(record); }
