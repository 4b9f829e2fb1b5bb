#pragma once
// What an entry point writes into the host's registration record, phase by phase.
#include <cstddef>
#include <cstdint>

#include "framework/host_abi.h"

struct SlotBinding {
    int16_t row;
    int16_t slot;
    void* callback;
};

struct ComponentInfo {
    const char* name;       // at most 16 characters are registered
    uint32_t instanceSize;
    uint32_t kind;          // kKindModifier or kKindVariable
    const SlotBinding* slots;  // in the order they are written
    size_t slotCount;
};

inline constexpr char kBaseClass[] = "_MComponent";
inline constexpr int16_t kSlotFlags = 1;

// Phase 0: the name, cut before its first space, 16 bytes at most, the rest zero.
void CopyComponentName(RegistrationRecord* record, const char* name);
// Phase 1: the base class, unless the record already holds one at this level.
void RegisterBaseClass(RegistrationRecord* record, const char* className, int16_t level);
// Phase 2: one slot entry; flags are sign-extended to 32 bits.
int16_t RegisterSlot(RegistrationRecord* record, int16_t flags, int16_t row, int16_t slot, void* callback);
// Every phase but 0: keeps the host's services pointer for all later calls.
void CaptureServices(const RegistrationRecord* record);

// One call of an entry point: whatever the phase, writes the size and kind.
void RegisterComponent(RegistrationRecord* record, const ComponentInfo& component);
