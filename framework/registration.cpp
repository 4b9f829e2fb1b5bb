#include "framework/registration.h"

#include <cstring>

#include "framework/host_calls.h"

void CopyComponentName(RegistrationRecord* record, const char* name) {
    char field[16] = {};
    // Character 0 is always taken; copying stops before the end or a space.
    for (size_t i = 0; i < sizeof field && name[i] != '\0'; ++i) {
        if (i > 0 && name[i] == ' ') break;
        field[i] = name[i];
    }
    std::memcpy(record->componentName, field, sizeof field);
}

void RegisterBaseClass(RegistrationRecord* record, const char* className, int16_t level) {
    if (record->baseCount > level) return;
    char field[16] = {};
    std::memcpy(field, className, strnlen(className, sizeof field));
    std::memcpy(record->baseClassName, field, sizeof field);
    record->baseCount = static_cast<int16_t>(level + 1);
}

int16_t RegisterSlot(RegistrationRecord* record, int16_t flags, int16_t row, int16_t slot, void* callback) {
    if (row < 0 || row >= kSlotRowCount || slot < 0) return 0;
    SlotEntry* entries = record->slotRows[row];
    if (!entries) return 0;  // the host gave no such row
    entries[slot].function = callback;
    entries[slot].word = flags;
    return 0;
}

void CaptureServices(const RegistrationRecord* record) { SetServicesRecord(record->services); }

void RegisterComponent(RegistrationRecord* record, const ComponentInfo& component) {
    if (!record) return;
    record->instanceSize = component.instanceSize;
    record->componentKind = component.kind;
    const int16_t phase = record->phase;
    if (phase == 0) {
        CopyComponentName(record, component.name);
        return;
    }
    if (phase == 1) RegisterBaseClass(record, kBaseClass, 0);
    if (phase == 2)
        for (size_t i = 0; i < component.slotCount; ++i) {
            const SlotBinding& s = component.slots[i];
            RegisterSlot(record, kSlotFlags, s.row, s.slot, s.callback);
        }
    CaptureServices(record);
}
