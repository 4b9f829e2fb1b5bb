#pragma once
// Two tiny components written the way the plug-in is meant to be, so the
// simulator can be tested before (and apart from) the real plug-in: a
// modifier with an event, two compact fields, a value field and a drawing
// hook, and a variable type holding one integer.
#include <cstdint>
#include <vector>

#include "framework/host_abi.h"
#include "hostsim/host.h"

namespace fake {

#pragma pack(push, 1)
struct Modifier {            // 66 bytes
    EventValue event;        // 0
    BooleanValue flag;       // 10: compact
    IntegerValue count;      // 14: compact
    HostValue source;        // 20: value field
    int32_t plain;           // 62: set by Construct, never saved
};
#pragma pack(pop)
static_assert(sizeof(Modifier) == 66);
static_assert(offsetof(Modifier, source) == 20);

inline constexpr uint32_t kEvent = 301;

// What the fakes saw, and faults a test can switch on.
struct Record {
    int classInits = 0;
    uint8_t message[sizeof(MessageRecord)] = {};
    uint8_t draw[sizeof(DrawRecord)] = {};
    SurfaceRecord surface{};
    ElementRect rect{};
    int hookCalls = 0;
    bool savedSizeOffByOne = false;  // SavedSize claims one byte too many
    bool loadSkipsLast = false;      // Load leaves the value field unread
    bool hookWritesRect = false;
};
Record& Seen();

void* Services();
void* Service(int n);

std::vector<hostsim::Entry> Entries();   // fkModifier and fkVariable
void HOSTAPI ModifierEntry(RegistrationRecord* r);
void HOSTAPI VariableEntry(RegistrationRecord* r);

// Builds a temporary string the way the plug-in does, stores it with
// SetAttributeById and frees the block when the owner rule says so.
// Returns the owner the host left in the value.
enum class FreePolicy { OwnerRule, Always, Never };
int32_t StoreString(void* instance, uint32_t id, const char* text, FreePolicy policy = FreePolicy::OwnerRule);

}  // namespace fake
