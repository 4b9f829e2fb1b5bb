// zqSaveBitmap: writes a bitmap variable's picture to a BMP file.
#include <cstring>

#include "components/file_name_setting.h"
#include "components/modifiers.h"
#include "paths/numbered_name.h"
#include "imaging/bmp_writer.h"
#include "platform/owners.h"
#include "framework/lifecycle.h"

namespace {

constexpr size_t kBitmapVariable = 10;
constexpr size_t kShowDialog = 52;
constexpr size_t kUseFileName = 56;
constexpr size_t kFileName = 60;
constexpr size_t kActiveFileName = 102;

constexpr Field kFields[] = {
    {0, FieldKind::Event, 301},
    {kBitmapVariable, FieldKind::Value},
    {kShowDialog, FieldKind::Boolean},
    {kUseFileName, FieldKind::Boolean},
    {kFileName, FieldKind::Value},
    // 102: activeFileName, a pointer set by each action; no lifecycle slot touches it
};

SlotResult Save(uint8_t* instance, const MessageRecord& message);

DEFINE_MODIFIER_TYPE(kSaveBitmap, "zqSaveBitmap", 106, kFields, Save, nullptr, nullptr, nullptr, nullptr);
static_assert(DefaultsSize(kFields) == 102);

// The variable's own bitmap, lent for this action; null when there is none.
HBITMAP BorrowPicture(uint8_t* instance) {
    HostObject variable = nullptr;
    if (ResolveReference(instance + kBitmapVariable, instance, &variable) != 0 || !variable) return nullptr;
    HostValue value{};
    SetInteger(&value, 0);
    if (GetAttribute(variable, kValueName, &value) != 0 || value.tag != kTagInteger) return nullptr;
    return reinterpret_cast<HBITMAP>(static_cast<uintptr_t>(static_cast<uint32_t>(IntegerPayload(&value))));
}

bool Write(const TextBuffer& path, HBITMAP picture) { return path[0] != '\0' && SaveBmpFile(path, picture) == 1; }

SlotResult Save(uint8_t* instance, const MessageRecord& message) {
    namespace fns = file_name_setting;
    const auto* fileName = reinterpret_cast<const HostValue*>(instance + kFileName);
    const HostValue* active = fns::ActiveFileName(fileName, message);
    StoreAt(instance, kActiveFileName, active);  // meaningful during this action only

    const HBITMAP picture = BorrowPicture(instance);  // the variable's: never deleted here
    if (!picture) return 0;

    const bool useFileName = IsOn(instance, kUseFileName);
    TextBuffer path = "";
    bool written = false;
    if (IsOn(instance, kShowDialog)) {
        if (useFileName) fns::ExpandedName(kSaveBitmapState, instance, active, path);
        if (fns::AskFileName(sys().GetSaveFileNameA, path)) written = Write(path, picture);
    } else if (useFileName) {
        fns::ExpandedName(kSaveBitmapState, instance, active, path);
        written = Write(path, picture);
    } else {
        MakeNumberedFileName("image", path);
        written = Write(path, picture);
    }

    if (useFileName) fns::WriteBackName(kSaveBitmapState, instance, active, path, written);
    return 0;
}

}  // namespace

extern "C" void HOSTAPI zqSaveBitmap(RegistrationRecord* record) { Modifier<kSaveBitmap>::Register(record); }
