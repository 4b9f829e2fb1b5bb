#pragma once
// What an author sees of each component: its settings by name, their kinds
// and defaults, and the messages it answers. Read from the components' own
// field tables; the player drives the loaded DLL, never this linked copy.
#include <string>
#include <string_view>

#include "components/modifiers.h"

namespace zqplay {

// The component named `name` (exactly, as the DLL exports it), or null.
const Component* FindComponent(std::string_view name);
// "zqImportBitmap, zqSaveBitmap, ..." for messages.
std::string ComponentNames();

// An author's setting: a field a project may set. Plain fields are the
// component's own state and are not settings.
bool IsSetting(const Field& f);
// The setting called `name`, ignoring case, or null. Null for plain fields too.
const Field* FindSetting(const Component& c, std::string_view name);
// The field called `name` whatever its kind, or null.
const Field* FindAnyField(const Component& c, std::string_view name);
// "event, showDialog, ..." : the settings of `c`, in offset order.
std::string SettingNames(const Component& c);

const char* KindName(FieldKind kind);
std::string DefaultText(const Field& f);  // "301", "off", "0", "empty"

// The description that `describe` prints: fields, kinds, defaults, events.
std::string Describe(const Component& c);

// The same as a section of the authors' guide, in Markdown (`--guide`).
std::string GuideSection(const Component& c);

}  // namespace zqplay
