// zqImportBitmap: reads a picture file (BMP, PNG, JPEG, GIF, TIFF) into a bitmap variable.
#include "components/file_name_setting.h"
#include "components/bitmap_exchange.h"
#include "components/modifiers.h"
#include "imaging/picture_files.h"
#include "platform/owners.h"
#include "framework/lifecycle.h"

namespace {

constexpr size_t kShowDialog = 10;
constexpr size_t kUseFileName = 14;
constexpr size_t kFileName = 18;
constexpr size_t kBitmapVariable = 60;
constexpr size_t kActiveFileName = 102;

constexpr Field kFields[] = {
    {0, FieldKind::Event, "event", 301},
    {kShowDialog, FieldKind::Boolean, "showDialog"},
    {kUseFileName, FieldKind::Boolean, "useFileName"},
    {kFileName, FieldKind::Value, "fileName"},
    {kBitmapVariable, FieldKind::Value, "bitmapVariable"},
    // 102: activeFileName, a pointer set by each action; no lifecycle slot touches it
};
ModifierState state;

static_assert(DefaultsSize(kFields) == 102);

SlotResult Import(uint8_t* instance, const MessageRecord& message) {
    namespace fns = file_name_setting;
    const auto* fileName = reinterpret_cast<const HostValue*>(instance + kFileName);
    const HostValue* active = ValueInForce(fileName, message);
    StoreAt(instance, kActiveFileName, active);  // meaningful during this action only

    const bool useFileName = IsOn(instance, kUseFileName);
    TextBuffer path = "";
    if (useFileName) fns::ExpandedName(state, instance, active, path);

    bool chosen = true;
    if (IsOn(instance, kShowDialog)) chosen = fns::AskFileName(sys().GetOpenFileNameA, fns::kOpenFilters, path);

    // An empty path names no file: nothing to open.
    HBITMAP loaded = nullptr;
    const int result = chosen && path[0] != '\0' ? LoadPictureFile(path, &loaded) : 0;
    UniqueBitmap bitmap{loaded};  // ours until the action ends; the variable keeps a copy
    const bool read = result == 1 && bitmap;

    if (useFileName) fns::WriteBackName(state, instance, active, path, read);
    if (!read) return kSlotDeclined;

    if (const HostObject variable = FindBitmapVariable(instance, kBitmapVariable)) HandBitmapTo(variable, bitmap.get());
    return kSlotDone;
}

}  // namespace

ZQ_MODIFIER(zqImportBitmap, .instanceSize = 106, .fields = kFields, .state = &state, .onEvent = Import);
