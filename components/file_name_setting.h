#pragma once
// The file-name settings that import, save and delete-file share: the path a
// name gives, the platform's file dialog, and the name written back into a
// string variable.
#include <cstddef>
#include <cstring>

#include "paths/paths.h"
#include "framework/host_value.h"
#include "platform/platform.h"
#include "framework/variable_lookup.h"

namespace file_name_setting {

// OPENFILENAME as the 4.0 dialogs know it: the record ends before pvReserved.
inline constexpr DWORD kDialogRecordSize = 76;
static_assert(offsetof(OPENFILENAMEA, pvReserved) == kDialogRecordSize);
static_assert(offsetof(OPENFILENAMEA, lpstrFile) == 28);
static_assert(offsetof(OPENFILENAMEA, Flags) == 52);
static_assert(offsetof(OPENFILENAMEA, lpstrDefExt) == 60);

inline constexpr char kOpenFilters[] =
    "Pictures (*.bmp;*.png;*.jpg;*.jpeg;*.gif;*.tif;*.tiff)\0*.bmp;*.png;*.jpg;*.jpeg;*.gif;*.tif;*.tiff\0"
    "Bitmap files (*.bmp)\0*.bmp\0All files (*.*)\0*.*\0";
inline constexpr char kSaveFilters[] =
    "Bitmap files (*.bmp)\0*.bmp\0PNG pictures (*.png)\0*.png\0JPEG pictures (*.jpg;*.jpeg)\0*.jpg;*.jpeg\0"
    "All files (*.*)\0*.*\0";
inline constexpr DWORD kDialogFlags = OFN_OVERWRITEPROMPT | OFN_LONGNAMES;  // 0x200002
inline constexpr char kDefaultExtension[] = "bmp";

// The configured name, looked up, cut to 255 characters and expanded into
// `path`; anything but a string gives the empty path.
inline void ExpandedName(ModifierState& type, void* instance, const HostValue* active, TextBuffer& path) {
    TextBuffer name;
    ReadText(*VariableLookup(type, instance, active), name);
    TextBuffer folder, file;
    ExpandPath(name, path, folder, file);
}

// Shows the open or save dialog on `path`, which holds the starting name and
// receives the chosen one. False when the user cancelled or the dialog failed.
using FileDialog = BOOL(WINAPI*)(LPOPENFILENAMEA);
inline bool AskFileName(FileDialog show, const char* filters, TextBuffer& path) {
    OPENFILENAMEA dialog;
    std::memset(&dialog, 0, sizeof dialog);
    dialog.lStructSize = kDialogRecordSize;
    dialog.hwndOwner = sys().GetActiveWindow();
    dialog.lpstrFilter = filters;
    dialog.lpstrFile = path;
    dialog.nMaxFile = kTextBuffer;
    dialog.Flags = kDialogFlags;
    dialog.lpstrDefExt = kDefaultExtension;
    const bool chosen = show(&dialog) != FALSE;
    path[kMaxText] = '\0';  // whatever the dialog did, the buffer stays a text
    if (!chosen) path[0] = '\0';
    return chosen;
}

// Writes the name of the file used (portable form), or "" when none was, back
// into the string variable that a reference in `active` names. Literals and
// message data that is not a reference receive nothing.
inline void WriteBackName(ModifierState& type, void* instance, const HostValue* active, const char* path,
                          bool used) {
    if (active->tag != kTagReference) return;
    HostObject variable = nullptr;
    const HostValue* current = VariableLookup(type, instance, active, &variable);
    if (current->tag != kTagString) return;
    TextBuffer portable = "";
    if (used) PortablePath(path, portable);
    // No memory for the text: the variable keeps what it held; the action goes on.
    (void)StoreText(instance, variable, ReferenceId(*active), portable);
}

}  // namespace file_name_setting
