#pragma once
// The lifecycle shared by every modifier, driven by each component's table of
// fields: construct, copy, assign, destruct, size/save/load, enumerate,
// activate, deactivate and the event test in front of the component's action.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <span>

#include "framework/host_abi.h"
#include "framework/registration.h"

enum class FieldKind : uint8_t {
    Event,    // 10-byte event value: copied, saved, visited, matched
    Boolean,  // 4-byte boolean value: copied and saved
    Integer,  // 6-byte integer value: copied and saved
    Value,    // 42-byte host value: copied by the host, saved, visited, released
    Plain8,   // not a host value: Construct writes `initial`; nothing else touches it
    Plain16,
    RunState8,  // this instance's own run-time state: Construct and CopyConstruct write `initial`
};

struct Field {
    uint16_t offset;
    FieldKind kind;
    const char* name;     // as an author knows the setting
    int32_t initial = 0;  // event code, compact payload, or what Construct writes
};

constexpr size_t SizeOf(FieldKind kind) {
    switch (kind) {
        case FieldKind::Event: return sizeof(EventValue);
        case FieldKind::Boolean: return sizeof(BooleanValue);
        case FieldKind::Integer: return sizeof(IntegerValue);
        case FieldKind::Value: return sizeof(HostValue);
        case FieldKind::Plain8: return 1;
        case FieldKind::Plain16: return 2;
        case FieldKind::RunState8: return 1;
    }
    return 0;
}
constexpr bool IsPlain(FieldKind k) {
    return k == FieldKind::Plain8 || k == FieldKind::Plain16 || k == FieldKind::RunState8;
}
constexpr bool IsSaved(FieldKind k) { return !IsPlain(k); }
constexpr bool IsVisited(FieldKind k) { return k == FieldKind::Event || k == FieldKind::Value; }

// The defaults block holds every field that is not plain; it ends where the
// last such field ends.
constexpr size_t DefaultsSize(std::span<const Field> fields) {
    size_t end = 0;
    for (const Field& f : fields)
        if (!IsPlain(f.kind) && f.offset + SizeOf(f.kind) > end) end = f.offset + SizeOf(f.kind);
    return end;
}
// Fields in ascending order without overlap, all inside the instance.
constexpr bool FieldsFit(std::span<const Field> fields, uint32_t instanceSize) {
    for (size_t i = 1; i < fields.size(); ++i)
        if (fields[i].offset < fields[i - 1].offset + SizeOf(fields[i - 1].kind)) return false;
    return fields.empty() || fields.back().offset + SizeOf(fields.back().kind) <= instanceSize;
}

// Per component type, for the life of the process.
struct ModifierState {
    HGLOBAL defaults = nullptr;  // made by the first ClassInit, never freed
    HostValue lookup{};          // the type's variable lookup buffer
};

using Action = SlotResult (*)(uint8_t* instance, const MessageRecord& message);
using GetAttributeSlot = SlotResult(HOSTAPI*)(uint8_t* instance, const char* name, uint32_t index, HostValue* result);
using HookSlot = SlotResult(HOSTAPI*)(uint8_t* instance, const DrawRecord* draw, const SurfaceRecord* surface);
using Release = void (*)(uint8_t* instance);

// A modifier as its component describes it, with designated initialisers.
struct ModifierType {
    const char* name = nullptr;  // also the entry point's
    uint32_t instanceSize = 0;
    std::span<const Field> fields;
    ModifierState* state = nullptr;
    Action onEvent = nullptr;                // the message matches the event field at offset 0
    Action onOtherMessage = nullptr;         // any other message; none answers kSlotDeclined
    GetAttributeSlot getAttribute = nullptr; // slot 22, written right after ClassInit when given
    HookSlot hookCallback = nullptr;         // row 1 slot 0, written last when given
    Release release = nullptr;               // first in Destruct and Assign: what the host holds for the instance

    constexpr size_t defaultsSize() const { return DefaultsSize(fields); }
};

// The event test: code and qualifier of the message equal the event field's.
bool EventMatches(const uint8_t* instance, size_t eventOffset, const MessageRecord& message);

// An action that is not built yet: a matching event never claims success.
SlotResult ActionNotBuilt(uint8_t* instance, const MessageRecord& message);

namespace lifecycle {
SlotResult ClassInit(const ModifierType& t);
SlotResult Construct(const ModifierType& t, uint8_t* instance);
SlotResult CopyConstruct(const ModifierType& t, uint8_t* destination, const uint8_t* source);
SlotResult Assign(const ModifierType& t, uint8_t* destination, const uint8_t* source);
SlotResult Destruct(const ModifierType& t, uint8_t* instance);
SlotResult SavedSize(const ModifierType& t, uint8_t* instance, void* stream, int16_t* version, uint32_t* byteCount);
SlotResult Save(const ModifierType& t, uint8_t* instance, void* stream);
SlotResult Load(const ModifierType& t, uint8_t* instance, void* stream, int16_t version);
SlotResult EnumerateValues(const ModifierType& t, uint8_t* instance, void* contextA, void* contextB);
SlotResult Activate(const ModifierType& t, uint8_t* instance);
SlotResult Deactivate(const ModifierType& t, uint8_t* instance);
SlotResult HandleMessage(const ModifierType& t, uint8_t* instance, const MessageRecord* message);
void Register(const ModifierType& t, RegistrationRecord* record, const SlotBinding* slots, size_t count);
}  // namespace lifecycle

// The slot callbacks of one modifier type: thin trampolines into lifecycle::,
// with the arguments framework/host_abi.h gives each slot.
template <const ModifierType& T>
struct Modifier {
    static SlotResult HOSTAPI ClassInit() { return lifecycle::ClassInit(T); }
    static SlotResult HOSTAPI Construct(uint8_t* instance) { return lifecycle::Construct(T, instance); }
    static SlotResult HOSTAPI CopyConstruct(uint8_t* destination, const uint8_t* source) {
        return lifecycle::CopyConstruct(T, destination, source);
    }
    static SlotResult HOSTAPI Assign(uint8_t* destination, const uint8_t* source) {
        return lifecycle::Assign(T, destination, source);
    }
    static SlotResult HOSTAPI Destruct(uint8_t* instance) { return lifecycle::Destruct(T, instance); }
    static SlotResult HOSTAPI SavedSize(uint8_t* instance, void* stream, uint32_t /*unused*/, int16_t* version,
                                        uint32_t* byteCount) {
        return lifecycle::SavedSize(T, instance, stream, version, byteCount);
    }
    static SlotResult HOSTAPI Save(uint8_t* instance, void* stream) { return lifecycle::Save(T, instance, stream); }
    static SlotResult HOSTAPI Load(uint8_t* instance, void* stream, uint32_t /*unused*/, uint32_t version) {
        return lifecycle::Load(T, instance, stream, static_cast<int16_t>(version));
    }
    static SlotResult HOSTAPI EnumerateValues(uint8_t* instance, void* contextA, void* contextB) {
        return lifecycle::EnumerateValues(T, instance, contextA, contextB);
    }
    static SlotResult HOSTAPI Activate(uint8_t* instance) { return lifecycle::Activate(T, instance); }
    static SlotResult HOSTAPI Deactivate(uint8_t* instance) { return lifecycle::Deactivate(T, instance); }
    static SlotResult HOSTAPI HandleMessage(uint8_t* instance, const MessageRecord* message) {
        return lifecycle::HandleMessage(T, instance, message);
    }

    // The entry point's work: slots 7, 34, 8, 9, 35, [22,] 17, 19, 18, 37, 13, 14, 25[, row 1 slot 0].
    static void Register(RegistrationRecord* record) {
        const SlotBinding bindings[] = {
            {0, kSlotConstruct, reinterpret_cast<void*>(&Construct)},
            {0, kSlotCopyConstruct, reinterpret_cast<void*>(&CopyConstruct)},
            {0, kSlotAssign, reinterpret_cast<void*>(&Assign)},
            {0, kSlotDestruct, reinterpret_cast<void*>(&Destruct)},
            {0, kSlotClassInit, reinterpret_cast<void*>(&ClassInit)},
            {0, kSlotGetAttribute, reinterpret_cast<void*>(T.getAttribute)},
            {0, kSlotSavedSize, reinterpret_cast<void*>(&SavedSize)},
            {0, kSlotSave, reinterpret_cast<void*>(&Save)},
            {0, kSlotLoad, reinterpret_cast<void*>(&Load)},
            {0, kSlotEnumerateValues, reinterpret_cast<void*>(&EnumerateValues)},
            {0, kSlotActivate, reinterpret_cast<void*>(&Activate)},
            {0, kSlotDeactivate, reinterpret_cast<void*>(&Deactivate)},
            {0, kSlotHandleMessage, reinterpret_cast<void*>(&HandleMessage)},
            {kHookRow, kSlotHookCallback, reinterpret_cast<void*>(T.hookCallback)},
        };
        lifecycle::Register(T, record, bindings, std::size(bindings));  // skips absent slots
    }
};

// Defines the modifier type `<entry>Type` from its description (the members
// after `name`, as designated initialisers) and the exported entry point
// `entry` that registers it: a component names itself once.
#define ZQ_MODIFIER(entry, ...)                                                                 \
    extern const ModifierType entry##Type;                                                      \
    constexpr ModifierType entry##Type{.name = #entry, __VA_ARGS__};                            \
    static_assert(FieldsFit(entry##Type.fields, entry##Type.instanceSize));                     \
    static_assert(entry##Type.defaultsSize() <= 256, "defaults images live on the stack");      \
    extern "C" void HOSTAPI entry(RegistrationRecord* record) { Modifier<entry##Type>::Register(record); }
