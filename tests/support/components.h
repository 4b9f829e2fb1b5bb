#pragma once
// The catalogue as tests use it: the modifiers alone, and readable names for
// parameterised test cases.
#include <ostream>
#include <vector>

#include "components/modifiers.h"

inline std::vector<Component> Modifiers() {
    std::vector<Component> out;
    for (const Component& c : kComponents)
        if (c.type) out.push_back(c);
    return out;
}

inline void PrintTo(const Component& c, std::ostream* os) { *os << c.name; }
