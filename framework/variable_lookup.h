#pragma once
// Turns a configured value that may be a variable reference into the value it
// stands for now.
#include "framework/host_calls.h"
#include "framework/lifecycle.h"

// A reference (tag 115 or 105) comes back as the referenced object's "value",
// read into the type's lookup buffer (valid until the type's next lookup);
// anything else comes back unchanged. `found`, when given, receives the
// referenced component or null, for references only.
const HostValue* VariableLookup(ModifierState& type, void* instance, const HostValue* value,
                                HostObject* found = nullptr);
