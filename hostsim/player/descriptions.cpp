#include "hostsim/player/descriptions.h"

#include <cstdio>
#include <iterator>

namespace zqplay {
namespace {

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// The bitmap variable has no field table: it is a variable type whose
// attributes are its whole interface.
constexpr char kVariableDescription[] =
    "  a variable type that owns one bitmap; it has no settings and answers no messages\n"
    "  attribute  kind     meaning\n"
    "  value      integer  the bitmap's handle, lent; writing a handle stores a copy of it\n"
    "  width      integer  pixels, 0 when empty\n"
    "  height     integer  pixels, 0 when empty\n"
    "  bitmap     integer  a packed copy of the picture that the reader frees, 0 when empty\n";

}  // namespace

const Component* FindComponent(std::string_view name) {
    for (const Component& c : kComponents)
        if (name == c.name) return &c;
    return nullptr;
}

std::string ComponentNames() {
    std::string names;
    for (const Component& c : kComponents) names += (names.empty() ? "" : ", ") + std::string(c.name);
    return names;
}

bool IsSetting(const Field& f) { return !IsPlain(f.kind); }

const Field* FindAnyField(const Component& c, std::string_view name) {
    if (!c.type) return nullptr;
    for (const Field& f : c.type->fields)
        if (SameIgnoringCase(f.name, name)) return &f;
    return nullptr;
}

const Field* FindSetting(const Component& c, std::string_view name) {
    const Field* f = FindAnyField(c, name);
    return f && IsSetting(*f) ? f : nullptr;
}

std::string SettingNames(const Component& c) {
    std::string names;
    if (c.type)
        for (const Field& f : c.type->fields)
            if (IsSetting(f)) names += (names.empty() ? "" : ", ") + std::string(f.name);
    return names.empty() ? "none" : names;
}

const char* KindName(FieldKind kind) {
    switch (kind) {
        case FieldKind::Event: return "event";
        case FieldKind::Boolean: return "boolean";
        case FieldKind::Integer: return "integer";
        case FieldKind::Value: return "value";
        case FieldKind::Plain8:
        case FieldKind::Plain16:
        case FieldKind::RunState8: return "state";
    }
    return "?";
}

std::string DefaultText(const Field& f) {
    switch (f.kind) {
        case FieldKind::Boolean: return f.initial ? "on" : "off";
        case FieldKind::Value: return "empty";
        default: return std::to_string(f.initial);
    }
}

std::string Describe(const Component& c) {
    std::string out = std::string(c.name) + (c.type ? "  modifier" : "  variable") + "\n";
    if (!c.type) return out + kVariableDescription;
    char line[160];
    std::snprintf(line, sizeof line, "  %u-byte instances\n  %-16s %-8s %6s  %s\n",
                  static_cast<unsigned>(c.type->instanceSize), "setting", "kind", "offset", "default");
    out += line;
    std::string state, events;
    for (const Field& f : c.type->fields) {
        if (!IsSetting(f)) {
            state += (state.empty() ? "" : ", ") + std::string(f.name) + " at " + std::to_string(f.offset);
            continue;
        }
        std::snprintf(line, sizeof line, "  %-16s %-8s %6u  %s\n", f.name, KindName(f.kind),
                      static_cast<unsigned>(f.offset), DefaultText(f).c_str());
        out += line;
        if (f.kind == FieldKind::Event)
            events += (events.empty() ? "" : ", ") + std::string(f.name) + " (" + std::to_string(f.initial) + ")";
    }
    out += "  answers the messages its event settings name: " + events + "\n";
    if (!state.empty()) out += "  its own state, not settings: " + state + "\n";
    return out;
}

std::string GuideSection(const Component& c) {
    std::string out = "### " + std::string(c.name) + "\n\n";
    if (!c.type) {
        out += "A variable type that owns one bitmap. It has no settings and answers no messages; "
               "other components and the project read and write its attributes.\n\n"
               "| Attribute | Kind | Meaning |\n|---|---|---|\n"
               "| value | integer | the bitmap; writing one stores a copy of it |\n"
               "| width | integer | pixels, 0 when empty |\n"
               "| height | integer | pixels, 0 when empty |\n"
               "| bitmap | integer | a packed copy of the picture, which the reader frees; 0 when empty |\n\n";
        return out;
    }
    out += "| Setting | Kind | Default |\n|---|---|---|\n";
    std::string events;
    for (const Field& f : c.type->fields) {
        if (!IsSetting(f)) continue;
        out += "| " + std::string(f.name) + " | " + KindName(f.kind) + " | " + DefaultText(f) + " |\n";
        if (f.kind == FieldKind::Event)
            events += (events.empty() ? "" : ", ") + std::string(f.name) + " (" + std::to_string(f.initial) + ")";
    }
    return out + "\nIt acts on the messages its event settings name: " + events + ".\n\n";
}

}  // namespace zqplay
