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
// A message with this code makes the modifier store the text "stored" into
// the variable whose id the message carries, as an integer.
inline constexpr uint32_t kStoreEvent = 990;
// Messages that make the modifier write one byte past its block, or one before it.
inline constexpr uint32_t kOverrunEvent = 991;
inline constexpr uint32_t kUnderrunEvent = 992;

// When a stored string's block is freed: as the owner rule says, or wrongly.
enum class FreePolicy { OwnerRule, Always, Never };

// What the fakes saw, and faults a test can switch on; cleared when the
// modifier registers, so each host starts from nothing.
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
    int hookWritesOutside = 0;       // -1: the byte before the surface, 1: the byte after it
    int32_t storedOwner = 0;         // owner the host left after the last store
    FreePolicy storePolicy = FreePolicy::OwnerRule;
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
int32_t StoreString(void* instance, uint32_t id, const char* text, FreePolicy policy = FreePolicy::OwnerRule);

}  // namespace fake
