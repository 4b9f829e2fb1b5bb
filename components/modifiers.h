#pragma once
// Entry points of the eight components, as the DLL exports them, and the
// descriptions of the seven modifiers.
#include <iterator>

#include "components/catalogue.h"
#include "framework/host_abi.h"
#include "framework/lifecycle.h"

#define ZQ_DECLARE_ENTRY(entry) void HOSTAPI entry(RegistrationRecord* record);
extern "C" {
ZQ_COMPONENTS(ZQ_DECLARE_ENTRY)
}
#undef ZQ_DECLARE_ENTRY

#define ZQ_DECLARE_TYPE(entry) extern const ModifierType entry##Type;
ZQ_MODIFIERS(ZQ_DECLARE_TYPE)
#undef ZQ_DECLARE_TYPE

struct Component {
    const char* name;
    void(HOSTAPI* entry)(RegistrationRecord* record);
    const ModifierType* type;  // none for the bitmap variable
};

#define ZQ_MODIFIER_ENTRY(entry) Component{#entry, entry, &entry##Type},
inline constexpr Component kComponents[] = {ZQ_MODIFIERS(ZQ_MODIFIER_ENTRY) Component{"zqBitmapVariable", zqBitmapVariable, nullptr}};
#undef ZQ_MODIFIER_ENTRY
static_assert(std::size(kComponents) == std::size(kComponentNames));
