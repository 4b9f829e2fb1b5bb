#include "framework/lifecycle.h"

#include <cstring>

#include "framework/host_calls.h"
#include "framework/host_value.h"
#include "platform/owners.h"

namespace {

void WriteDefault(const Field& f, uint8_t* block) {
    uint8_t* at = block + f.offset;
    switch (f.kind) {
        case FieldKind::Event: StoreAt(at, 0, EventValue{kTagEvent, static_cast<uint32_t>(f.initial), 0}); break;
        case FieldKind::Boolean: StoreAt(at, 0, BooleanValue{kTagBoolean, static_cast<int16_t>(f.initial)}); break;
        case FieldKind::Integer: StoreAt(at, 0, IntegerValue{kTagInteger, f.initial}); break;
        case FieldKind::Value: std::memset(at, 0, sizeof(HostValue)); break;  // empty
        case FieldKind::Plain8:
        case FieldKind::Plain16:
        case FieldKind::RunState8: break;  // not kept in the defaults block
    }
}

void WriteDefaults(const ModifierType& t, uint8_t* block) {
    for (size_t i = 0; i < t.fields.size(); ++i) WriteDefault(t.fields[i], block);
}

// The type's defaults block, made by the first ClassInit; null when none is had.
HGLOBAL DefaultsBlock(const ModifierType& t) {
    if (!t.state->defaults) lifecycle::ClassInit(t);
    return t.state->defaults;
}

// The type's defaults, locked for one callback. Should ClassInit never have
// run, or its block not be had, the same defaults come from the field table.
class Defaults {
public:
    explicit Defaults(const ModifierType& t) : locked_(DefaultsBlock(t)) {
        if (locked_) return;
        std::memset(image_, 0, sizeof image_);
        WriteDefaults(t, image_);
    }
    const uint8_t* get() const { return locked_ ? locked_.bytes() : image_; }

private:
    GlobalLockGuard locked_;
    uint8_t image_[256];
};

// Copies every field that Construct and CopyConstruct copy, from `source`.
void CopyFields(const ModifierType& t, uint8_t* destination, const uint8_t* source) {
    for (size_t i = 0; i < t.fields.size(); ++i) {
        const Field& f = t.fields[i];
        uint8_t* field = destination + f.offset;
        if (f.kind == FieldKind::Value) {
            // The host may move the field while releasing it: copy where it says.
            void* at = field;
            ReleaseValue(destination, &at);
            if (!at) continue;
            StoreAt<int16_t>(at, 0, kTagEmpty);
            CopyValue(at, source + f.offset);
        } else if (!IsPlain(f.kind)) {
            std::memcpy(field, source + f.offset, SizeOf(f.kind));
        }
    }
}

// A new instance, a copy included, starts without run-time state: a host
// that copies the block's bytes first would hand the copy the original's.
void ResetRunState(const ModifierType& t, uint8_t* instance) {
    for (size_t i = 0; i < t.fields.size(); ++i)
        if (t.fields[i].kind == FieldKind::RunState8)
            StoreAt<int8_t>(instance, t.fields[i].offset, static_cast<int8_t>(t.fields[i].initial));
}

void SetEventInterests(const ModifierType& t, uint8_t* instance, int16_t mode) {
    for (size_t i = 0; i < t.fields.size(); ++i)
        if (t.fields[i].kind == FieldKind::Event) SetEventInterest(instance, mode, instance + t.fields[i].offset);
}

}  // namespace

bool EventMatches(const uint8_t* instance, size_t eventOffset, const MessageRecord& message) {
    const auto event = LoadAt<EventValue>(instance, eventOffset);
    return message.eventCode == event.code && message.qualifier == event.qualifier;
}

SlotResult ActionNotBuilt(uint8_t*, const MessageRecord&) { return kSlotDeclined; }

namespace lifecycle {

SlotResult ClassInit(const ModifierType& t) {
    if (!t.state->defaults)
        t.state->defaults = sys().GlobalAlloc(kDefaultsMemory, t.defaultsSize() ? t.defaultsSize() : 1);
    if (!t.state->defaults) return kSlotDone;
    {
        GlobalLockGuard block{t.state->defaults};
        if (block) {
            WriteDefaults(t, block.bytes());
            return kSlotDone;
        }
    }
    // A block that holds no defaults must not be read as if it did.
    sys().GlobalFree(t.state->defaults);
    t.state->defaults = nullptr;
    return kSlotDone;
}

SlotResult Construct(const ModifierType& t, uint8_t* instance) {
    if (!instance) return kSlotDone;
    {
        Defaults defaults(t);
        CopyFields(t, instance, defaults.get());
    }
    for (size_t i = 0; i < t.fields.size(); ++i) {
        const Field& f = t.fields[i];
        if (f.kind == FieldKind::Plain8) StoreAt<int8_t>(instance, f.offset, static_cast<int8_t>(f.initial));
        if (f.kind == FieldKind::Plain16) StoreAt<int16_t>(instance, f.offset, static_cast<int16_t>(f.initial));
    }
    ResetRunState(t, instance);
    return kSlotDone;
}

SlotResult CopyConstruct(const ModifierType& t, uint8_t* destination, const uint8_t* source) {
    if (!destination || !source) return kSlotDone;
    ResetRunState(t, destination);
    CopyFields(t, destination, source);
    return kSlotDone;
}

SlotResult Assign(const ModifierType& t, uint8_t* destination, const uint8_t* source) {
    // Resetting first would wipe the very settings to be copied.
    if (!destination || !source || destination == source) return kSlotDone;
    if (t.release) t.release(destination);  // Construct drops the state that tracks it
    Construct(t, destination);
    CopyFields(t, destination, source);
    return kSlotDone;
}

SlotResult Destruct(const ModifierType& t, uint8_t* instance) {
    if (!instance) return kSlotDone;
    // Before anything else: the host would go on calling into the freed block.
    if (t.release) t.release(instance);
    for (size_t i = 0; i < t.fields.size(); ++i)
        if (t.fields[i].kind == FieldKind::Value) ReleaseValue(instance, instance + t.fields[i].offset);
    return kSlotDone;
}

SlotResult SavedSize(const ModifierType& t, uint8_t* instance, void* stream, int16_t* version, uint32_t* byteCount) {
    uint32_t total = 0;
    if (instance)
        for (size_t i = 0; i < t.fields.size(); ++i) {
            if (!IsSaved(t.fields[i].kind)) continue;
            uint32_t n = 0;
            ValueSize(stream, instance + t.fields[i].offset, &n);
            total += n;
        }
    if (byteCount) *byteCount = total;
    if (version) *version = 0;
    return kSlotDone;
}

SlotResult Save(const ModifierType& t, uint8_t* instance, void* stream) {
    if (!instance) return kSlotDone;
    for (size_t i = 0; i < t.fields.size(); ++i)
        if (IsSaved(t.fields[i].kind)) WriteValue(stream, instance + t.fields[i].offset);
    return kSlotDone;
}

SlotResult Load(const ModifierType& t, uint8_t* instance, void* stream, int16_t version) {
    if (version != 0) return kSlotDeclined;
    if (!instance) return kSlotDone;
    for (size_t i = 0; i < t.fields.size(); ++i)
        if (IsSaved(t.fields[i].kind)) ReadValue(stream, instance + t.fields[i].offset);
    return kSlotDone;
}

SlotResult EnumerateValues(const ModifierType& t, uint8_t* instance, void* contextA, void* contextB) {
    if (!instance) return kSlotDone;
    for (size_t i = 0; i < t.fields.size(); ++i)
        if (IsVisited(t.fields[i].kind)) VisitValue(contextA, contextB, instance + t.fields[i].offset);
    return kSlotDone;
}

SlotResult Activate(const ModifierType& t, uint8_t* instance) {
    if (instance) SetEventInterests(t, instance, kInterestOn);
    return kSlotInterested;
}

SlotResult Deactivate(const ModifierType& t, uint8_t* instance) {
    if (instance) SetEventInterests(t, instance, kInterestOff);
    return kSlotDone;
}

SlotResult HandleMessage(const ModifierType& t, uint8_t* instance, const MessageRecord* message) {
    if (!instance || !message) return kSlotDeclined;
    if (EventMatches(instance, 0, *message)) return t.onEvent(instance, *message);
    return t.onOtherMessage ? t.onOtherMessage(instance, *message) : kSlotDeclined;
}

void Register(const ModifierType& t, RegistrationRecord* record, const SlotBinding* slots, size_t count) {
    SlotBinding present[16];
    size_t n = 0;
    for (size_t i = 0; i < count && n < 16; ++i)
        if (slots[i].callback) present[n++] = slots[i];
    RegisterComponent(record, ComponentInfo{t.name, t.instanceSize, kKindModifier, present, n});
}

}  // namespace lifecycle
