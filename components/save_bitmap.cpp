// zqSaveBitmap: writes a bitmap variable's picture to a BMP, PNG or JPEG file.
#include <cstring>

#include "components/bitmap_exchange.h"
#include "components/file_name_setting.h"
#include "components/modifiers.h"
#include "paths/numbered_name.h"
#include "imaging/picture_files.h"
#include "platform/owners.h"
#include "framework/lifecycle.h"

namespace {

constexpr size_t kBitmapVariable = 10;
constexpr size_t kShowDialog = 52;
constexpr size_t kUseFileName = 56;
constexpr size_t kFileName = 60;
constexpr size_t kActiveFileName = 102;

constexpr Field kFields[] = {
    {0, FieldKind::Event, "event", 301},
    {kBitmapVariable, FieldKind::Value, "bitmapVariable"},
    {kShowDialog, FieldKind::Boolean, "showDialog"},
    {kUseFileName, FieldKind::Boolean, "useFileName"},
    {kFileName, FieldKind::Value, "fileName"},
    // 102: activeFileName, a pointer set by each action; no lifecycle slot touches it
};
ModifierState state;

static_assert(DefaultsSize(kFields) == 102);

bool Write(const TextBuffer& path, HBITMAP picture) { return path[0] != '\0' && SavePictureFile(path, picture) == 1; }

SlotResult Save(uint8_t* instance, const MessageRecord& message) {
    namespace fns = file_name_setting;
    const auto* fileName = reinterpret_cast<const HostValue*>(instance + kFileName);
    const HostValue* active = ValueInForce(fileName, message);
    StoreAt(instance, kActiveFileName, active);  // meaningful during this action only

    const HBITMAP picture = BorrowBitmap(FindBitmapVariable(instance, kBitmapVariable));  // the variable's: never deleted here
    if (!picture) return kSlotDone;

    const bool useFileName = IsOn(instance, kUseFileName);
    TextBuffer path = "";
    bool written = false;
    if (IsOn(instance, kShowDialog)) {
        if (useFileName) fns::ExpandedName(state, instance, active, path);
        if (fns::AskFileName(sys().GetSaveFileNameA, fns::kSaveFilters, path)) written = Write(path, picture);
    } else if (useFileName) {
        fns::ExpandedName(state, instance, active, path);
        written = Write(path, picture);
    } else {
        MakeNumberedFileName("image", path);
        written = Write(path, picture);
    }

    if (useFileName) fns::WriteBackName(state, instance, active, path, written);
    return kSlotDone;
}

}  // namespace

ZQ_MODIFIER(zqSaveBitmap, .instanceSize = 106, .fields = kFields, .state = &state, .onEvent = Save);
