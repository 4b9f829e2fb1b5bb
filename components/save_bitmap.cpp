// zqSaveBitmap: writes a bitmap variable's picture to a BMP file.
#include <cstring>

#include "framework/file_name_setting.h"
#include "components/modifiers.h"
#include "components/numbered_name.h"
#include "files/bmp_writer.h"
#include "framework/owners.h"
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

void MakeNumberedFileName(const char* base, TextBuffer& path) {
    path[0] = '\0';
    // Folder, base, three digits and ".bmp" must fit the buffer.
    if (std::strlen(base) > kMaxText - 12) return;

    // The system drive, as "C:"; without one the names start at the current drive's root.
    char systemDirectory[kTextBuffer] = "";
    const UINT length = sys().GetSystemDirectoryA(systemDirectory, sizeof systemDirectory);
    char folder[3] = "";
    if (length >= 2 && length < sizeof systemDirectory && systemDirectory[1] == ':') {
        folder[0] = systemDirectory[0];
        folder[1] = ':';
    }

    TextBuffer candidate;
    for (int n = 0; n < kNumberedNames; ++n) {
        sys().wsprintfA(candidate, "%s\\%s%03d.bmp", folder, base, n);
        UniqueFile existing{sys()._lopen(candidate, OF_READ)};
        if (existing) continue;
        // There but unreadable (locked, no access): still taken, never truncated.
        if (sys().GetFileAttributesA(candidate) != INVALID_FILE_ATTRIBUTES) continue;
        // The empty file reserves the name until the picture is written into it.
        UniqueFile reserved{sys()._lcreat(candidate, 0)};
        if (!reserved) return;
        reserved.Close();
        std::memcpy(path, candidate, sizeof candidate);
        return;
    }
}

extern "C" void HOSTAPI zqSaveBitmap(RegistrationRecord* record) { Modifier<kSaveBitmap>::Register(record); }
