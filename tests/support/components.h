#pragma once
// The catalogue as tests use it: the modifiers alone, readable names for
// parameterised test cases, settings found by name in the field tables, and
// string values that are not host blocks.
#include <cstring>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "components/modifiers.h"
#include "framework/host_value.h"

inline std::vector<Component> Modifiers() {
    std::vector<Component> out;
    for (const Component& c : kComponents)
        if (c.type) out.push_back(c);
    return out;
}

inline void PrintTo(const Component& c, std::ostream* os) { *os << c.name; }

inline const Component* FindComponent(const char* name) {
    for (const Component& c : kComponents)
        if (std::strcmp(c.name, name) == 0) return &c;
    return nullptr;
}

// Where a setting lives, by the name an author knows it by; throws when the
// modifier has no such field.
inline uint16_t FieldOffset(const ModifierType& type, const char* field) {
    for (const Field& f : type.fields)
        if (std::strcmp(f.name, field) == 0) return f.offset;
    throw std::logic_error(std::string(type.name) + " has no field " + field);
}
inline uint16_t FieldOffset(const char* component, const char* field) {
    const Component* c = FindComponent(component);
    if (!c || !c->type) throw std::logic_error(std::string("no modifier ") + component);
    return FieldOffset(*c->type, field);
}

// A string value over the caller's text, not a host block: the host copies it.
inline HostValue StringOver(const std::string& text) {
    HostValue v{};
    StoreAt(&v, 0, StringValue{kTagString, kNoOwner, static_cast<uint32_t>(text.size() + 1),
                                static_cast<uint32_t>(text.size()), const_cast<char*>(text.c_str())});
    return v;
}
