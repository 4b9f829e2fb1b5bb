// The host's methods as the plug-in calls them: services, stream, the
// component methods of instances and the "value" of host variables. Each
// finds its object from `this` through the host's table, never by trusting
// the pointer, so a wrong `this` is reported instead of followed.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

#include "hostsim/internal.h"

namespace hostsim {
namespace {

std::vector<Host*> g_hosts;  // live hosts, newest last

std::string Hex(const void* p) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%p", p);
    return buf;
}

Host* Newest() { return g_hosts.empty() ? nullptr : g_hosts.back(); }

// A method's `this`: an object and the live host that made it.
struct Found {
    Host* host = nullptr;
    SimObject* object = nullptr;
    explicit operator bool() const { return object != nullptr; }
};

// The object of which `self` is interface `iface`, in any live host.
Found Lookup(const void* self, int iface) {
    const int32_t offset = iface == 0 ? kInterface0 : kInterface1;
    const uint8_t* handle = static_cast<const uint8_t*>(self) - offset + kHeaderSize;
    for (auto h = g_hosts.rbegin(); h != g_hosts.rend(); ++h)
        if (SimObject* obj = (*h)->impl().Find(handle)) return {*h, obj};
    return {};
}

// The object a method was called on; a `this` that is no such interface is
// reported to the newest host.
Found Receiver(void* self, int iface, const char* method) {
    const Found found = Lookup(self, iface);
    if (Host* host = found ? nullptr : Newest())
        host->Error(std::string(method) + ": `this` " + Hex(self) + " is not interface " + std::to_string(iface) +
                    " of any host object");
    return found;
}

// The host to blame for a trap: the one owning `self`, else the newest.
Host* Blame(void* self) {
    if (const Found found = Lookup(self, 0)) return found.host;
    if (const Found found = Lookup(self, 1)) return found.host;
    return Newest();
}

// Traps fill every entry a class lacks; one per row and column, so the
// report names the method that was asked for.
constexpr int kTrapCount = ClassLayout::kRows * ClassLayout::kColumns;

int16_t Trap(void* self, int index, bool wrongInterface) {
    const int row = index / ClassLayout::kColumns, column = index % ClassLayout::kColumns;
    if (Host* host = Blame(self)) {
        const std::string where = "row " + std::to_string(row) + " column " + std::to_string(column);
        host->Error(wrongInterface
                        ? where + " was taken from the class descriptor instead of its interface's (this " + Hex(self) + ")"
                        : "a method the object does not have was called: " + where + " (this " + Hex(self) + ")");
    }
    return kBadCall;
}

template <int Index>
int16_t HOSTAPI MissingMethod(void* self) {
    return Trap(self, Index, false);
}

// Entry of a class descriptor whose method lives on another interface: a
// correct call takes the function from that interface's descriptor instead.
template <int Index>
int16_t HOSTAPI WrongInterface(void* self) {
    return Trap(self, Index, true);
}

template <size_t... I>
std::vector<void*> MissingTraps(std::index_sequence<I...>) {
    return {reinterpret_cast<void*>(&MissingMethod<static_cast<int>(I)>)...};
}
template <size_t... I>
std::vector<void*> WrongInterfaceTraps(std::index_sequence<I...>) {
    return {reinterpret_cast<void*>(&WrongInterface<static_cast<int>(I)>)...};
}
const std::vector<void*>& Missing() {
    static const std::vector<void*> traps = MissingTraps(std::make_index_sequence<kTrapCount>());
    return traps;
}
const std::vector<void*>& Wrong() {
    static const std::vector<void*> traps = WrongInterfaceTraps(std::make_index_sequence<kTrapCount>());
    return traps;
}

// ---- WalkService ----

int16_t HOSTAPI VisitValue(void* self, uint32_t a, uint32_t b, void* field) {
    const Found me = Receiver(self, 1, "VisitValue");
    if (!me) return kBadCall;
    me.host->RecordVisit({a, b, field});
    return 0;
}

// ---- ValueService ----

void PaddedName(const char* name, char (&out)[32]) {
    std::memset(out, 0, sizeof out);
    if (name) std::strncpy(out, name, 16);
}

HostStatus GetOrSetById(Host& host, bool set, ObjectId id, const char* name, uint32_t index, HostValue* v) {
    if (!name || !v) {
        host.Error(std::string(set ? "SetAttributeById" : "GetAttributeById") + ": null name or value");
        return kBadCall;
    }
    if (Element* el = host.impl().elements.count(id) ? host.impl().elements[id].get() : nullptr) {
        const bool width = NameIsUpToTerminator(name, "width");
        if (!width && !NameIsUpToTerminator(name, "height")) return kNotFound;
        ElementRect r = el->rect();
        if (!set) {
            *v = Host::Integer(width ? r.right - r.left : r.bottom - r.top);
            return 0;
        }
        if (v->tag != kTagInteger) return kNotFound;
        int32_t n;
        std::memcpy(&n, v->payload, 4);
        if (n < 0 || n > 32767) return kNotFound;
        if (width) r.right = static_cast<int16_t>(r.left + n);
        else r.bottom = static_cast<int16_t>(r.top + n);
        el->SetRect(r);
        return 0;
    }
    SimObject* obj = host.impl().FindId(id);
    if (!obj) return kNotFound;
    if (!set && obj->objectValue && NameIsUpToTerminator(name, "value")) {
        std::memset(v->payload, kPoison, sizeof v->payload);
        v->tag = kTagObjectValue;
        return 0;
    }
    if (obj->kind == ObjectKind::Variable)
        return set ? HostMethods::VariableSet(host, obj, name, v) : HostMethods::VariableGet(host, obj, name, v);
    if (obj->kind == ObjectKind::Instance) {
        char padded[32];
        PaddedName(name, padded);
        const int16_t slot = set ? kSlotSetAttribute : kSlotGetAttribute;
        if (!host.Catalogue()[obj->type].Slot(0, slot)) return kNotFound;
        return host.CallSlot(obj->handle(), 0, slot, obj->handle(), static_cast<const char*>(padded), index, v);
    }
    return kNotFound;
}

int16_t HOSTAPI GetAttributeById(void* self, ObjectId id, const char* name, uint32_t index, HostValue* out) {
    const Found me = Receiver(self, 1, "GetAttributeById");
    if (!me) return kBadCall;
    return GetOrSetById(*me.host, false, id, name, index, out);
}

int16_t HOSTAPI SetAttributeById(void* self, ObjectId id, const char* name, uint32_t index, HostValue* in) {
    const Found me = Receiver(self, 1, "SetAttributeById");
    if (!me) return kBadCall;
    return GetOrSetById(*me.host, true, id, name, index, in);
}

int16_t HOSTAPI AddElementHook(void* self, ObjectId elementId, HookRecord* record, HostValue* flags) {
    const Found me = Receiver(self, 1, "AddElementHook");
    if (!me) return kBadCall;
    Host& host = *me.host;
    auto it = host.impl().elements.find(elementId);
    if (it == host.impl().elements.end() || !record || !flags) {
        host.Error("AddElementHook: no element " + std::to_string(elementId) + " or null record");
        return kNotFound;
    }
    HookInfo hook{};
    std::memcpy(&hook.record, record, sizeof hook.record);
    std::memcpy(&hook.flags, flags, sizeof hook.flags);
    hook.kind = record->kind;
    void* instance;
    std::memcpy(&instance, reinterpret_cast<uint8_t*>(record) + offsetof(HookRecord, instance), 4);
    hook.instance = static_cast<Handle>(instance);
    SimObject* obj = host.impl().Find(hook.instance);
    if (!obj || obj->kind != ObjectKind::Instance) {
        host.Error("AddElementHook: the record names no live instance");
        return kNotFound;
    }
    hook.id = host.impl().nextHookId++;
    record->hookId = hook.id;
    it->second->MutableHooks().push_back(hook);
    return host.HookInstallStatus();
}

int16_t HOSTAPI RemoveElementHook(void* self, ObjectId elementId, uint32_t kind, uint32_t hookId) {
    const Found me = Receiver(self, 1, "RemoveElementHook");
    if (!me) return kBadCall;
    Host& host = *me.host;
    auto it = host.impl().elements.find(elementId);
    if (it != host.impl().elements.end()) {
        auto& hooks = it->second->MutableHooks();
        for (auto h = hooks.begin(); h != hooks.end(); ++h) {
            if (h->id == hookId && h->kind == static_cast<int16_t>(kind)) {
                hooks.erase(h);
                return 0;
            }
        }
    }
    host.Error("RemoveElementHook: element " + std::to_string(elementId) + " has no hook " +
               std::to_string(hookId) + " of kind " + std::to_string(static_cast<int16_t>(kind)));
    return kNotFound;
}

int16_t HOSTAPI CopyValue(void* self, HostValue* dst, const HostValue* src) {
    const Found me = Receiver(self, 1, "CopyValue");
    if (!me) return kBadCall;
    if (!dst || !src) {
        me.host->Error("CopyValue: null value");
        return kBadCall;
    }
    if (!IsKnownTag(src->tag)) {
        me.host->Error("CopyValue from a value of unknown tag " + std::to_string(src->tag));
        return kBadCall;
    }
    HostMethods::CopyInto(*me.host, dst, src, BlockKind::Value);
    return 0;
}

// Construct, CopyConstruct and Assign pass the address of a local pointer to
// the field; Destruct passes the field itself. The field lies in the
// instance block, the local pointer does not.
int16_t HOSTAPI ReleaseValue(void* self, Handle instance, void* arg) {
    const Found me = Receiver(self, 1, "ReleaseValue");
    if (!me) return kBadCall;
    Host& host = *me.host;
    SimObject* obj = host.impl().Find(instance);
    if (!obj || obj->kind != ObjectKind::Instance || !arg) {
        host.Error("ReleaseValue: first argument is no live instance, or null field");
        return kBadCall;
    }
    HostValue* field = static_cast<HostValue*>(arg);
    if (!obj->Contains(arg)) {
        void* pointee;
        std::memcpy(&pointee, arg, 4);
        field = static_cast<HostValue*>(pointee);
        if (!obj->Contains(field, sizeof(HostValue))) {
            host.Error("ReleaseValue: neither the field nor a pointer to a field of the instance");
            return kBadCall;
        }
    } else if (!obj->Contains(arg, sizeof(HostValue))) {
        host.Error("ReleaseValue: a 42-byte field would reach past the instance block");
        return kBadCall;
    }
    HostMethods::ReleaseOwned(host, field, BlockKind::Value, "ReleaseValue");
    return 0;
}

int16_t HOSTAPI ResolveReference(void* self, const HostValue* ref, Handle instance, Handle* out) {
    const Found me = Receiver(self, 1, "ResolveReference");
    if (!me) return kBadCall;
    Host& host = *me.host;
    host.NoteResolution();
    if (!ref || !out) {
        host.Error("ResolveReference: null reference or out handle");
        return kBadCall;
    }
    if (instance && !host.impl().Find(instance)) host.Error("ResolveReference: calling instance is not live");
    uint32_t id;
    if (ref->tag == kTagReference) id = Word(ref, kReferenceIdOffset);
    else if (ref->tag == kTagLongReference) id = Word(ref, kLongReferenceIdOffset);
    else return kNotFound;
    SimObject* obj = host.impl().FindId(id);
    if (!obj || obj->unresolvable) return kNotFound;
    *out = obj->handle();
    return 0;
}

// ---- MemoryService ----

int16_t HOSTAPI Allocate(void* self, void** out, uint32_t size) {
    const Found me = Receiver(self, 1, "Allocate");
    if (!me) return kBadCall;
    Host& host = *me.host;
    if (!out) {
        host.Error("Allocate: null out pointer");
        return kBadCall;
    }
    if (host.impl().failAllocations > 0) {
        --host.impl().failAllocations;
        return kNotFound;
    }
    if (size > (64u << 20)) return kNotFound;
    *out = HostMethods::NewBlock(host, size, BlockKind::Plugin);
    return 0;
}

int16_t HOSTAPI Free(void* self, void* p) {
    const Found me = Receiver(self, 1, "Free");
    if (!me) return kBadCall;
    if (p) HostMethods::FreeBlock(*me.host, p, BlockKind::Plugin, "Free");
    return 0;
}

// ---- ConversionService ----

int16_t HOSTAPI ConvertValue(void* self, void* instanceData, const HostValue* src, HostValue* out) {
    const Found me = Receiver(self, 1, "ConvertValue");
    if (!me) return kBadCall;
    Host& host = *me.host;
    if (!src || !out) {
        host.Error("ConvertValue: null value");
        return kBadCall;
    }
    (void)instanceData;
    if (src->tag != kTagLongReference) return 2;
    SimObject* obj = host.impl().FindId(Word(src, kLongReferenceIdOffset));
    if (!obj || obj->kind != ObjectKind::Instance || host.Catalogue()[obj->type].componentKind != kKindVariable)
        return 3;
    HostValue v{};
    v.tag = kTagInteger;
    char name[32] = "value";
    if (!host.Catalogue()[obj->type].Slot(0, kSlotGetAttribute)) return 4;
    const int16_t r = host.CallSlot(obj->handle(), 0, kSlotGetAttribute, obj->handle(),
                                    static_cast<const char*>(name), 0u, &v);
    if (r != 0 || v.tag != kTagInteger) return 4;
    *out = Host::Integer(static_cast<int32_t>(Word(&v, 2)));
    return 0;
}

// ---- the stream object ----
// Saved form of a value: 16-bit tag, then only what its kind needs.

int32_t PayloadBytes(const HostValue* v) {
    switch (v->tag) {
        case kTagEmpty: case kTagAny: case kTagMessageData: return 0;
        case kTagInteger: case kTagPoint: case kTagReference: return 4;
        case kTagFloat: return 8;
        case kTagBoolean: return 2;
        case kTagEvent: return 8;
        case kTagLongReference: return 12;  // payload bytes 2..13: the id sits at 10
        case kTagObjectValue: return 8;     // 2..9: the id sits at 6
        case kTagString: return 4 + static_cast<int32_t>(Word(v, 10));
        default: return -1;
    }
}

int16_t HOSTAPI ValueSize(void* self, const HostValue* v, uint32_t* count) {
    const Found me = Receiver(self, 1, "ValueSize");
    if (!me) return kBadCall;
    if (!v || !count) {
        me.host->Error("ValueSize: null argument");
        return kBadCall;
    }
    const int32_t n = HostMethods::StreamSize(*me.host, v);
    if (n < 0) return kBadCall;
    *count = static_cast<uint32_t>(n);
    return 0;
}

int16_t HOSTAPI WriteValue(void* self, const HostValue* v) {
    const Found me = Receiver(self, 1, "WriteValue");
    if (!me) return kBadCall;
    SimObject* s = me.object;
    if (!v) {
        me.host->Error("WriteValue: null value");
        return kBadCall;
    }
    if (HostMethods::StreamSize(*me.host, v) < 0) return kBadCall;
    const auto* p = reinterpret_cast<const uint8_t*>(v);
    s->bytes.insert(s->bytes.end(), p, p + 2);
    if (v->tag == kTagString) {
        const uint32_t length = Word(v, 10);
        const char* text = reinterpret_cast<const char*>(Word(v, 14));
        s->bytes.insert(s->bytes.end(), p + 10, p + 14);
        if (length) s->bytes.insert(s->bytes.end(), text, text + length);
    } else {
        s->bytes.insert(s->bytes.end(), p + 2, p + 2 + PayloadBytes(v));
    }
    return 0;
}

int16_t HOSTAPI ReadValue(void* self, HostValue* field) {
    const Found me = Receiver(self, 1, "ReadValue");
    if (!me) return kBadCall;
    SimObject* s = me.object;
    Host& host = *me.host;
    if (!field) {
        host.Error("ReadValue: null field");
        return kBadCall;
    }
    const size_t left = s->bytes.size() - s->readPos;
    const uint8_t* in = s->bytes.data() + s->readPos;
    if (left < 2) {
        host.Error("ReadValue past the end of the stream");
        return kBadCall;
    }
    HostValue head{};
    std::memcpy(&head.tag, in, 2);
    // A read replaces the value: a string the field owned is released first.
    // (Compact fields never carry the string tag.)
    auto releaseOld = [&] {
        if (field->tag != kTagString) return;
        auto it = host.impl().blocks.find(reinterpret_cast<void*>(Word(field, 14)));
        if (it != host.impl().blocks.end() && it->second.live && it->second.kind == BlockKind::Value)
            HostMethods::ReleaseOwned(host, field, BlockKind::Value, "ReadValue");
    };
    if (head.tag == kTagString) {
        if (left < 6) {
            host.Error("ReadValue: string cut short");
            return kBadCall;
        }
        const uint32_t length = Word(in, 2);
        if (left - 6 < length) {
            host.Error("ReadValue: string cut short");
            return kBadCall;
        }
        releaseOld();
        char* text = HostMethods::NewBlock(host, length + 1, BlockKind::Value);
        std::memcpy(text, in + 6, length);
        text[length] = 0;
        StringValue sv{kTagString, host.HostOwner(), length + 1, length, text};
        std::memcpy(field, &sv, sizeof sv);
        s->readPos += 6 + length;
        return 0;
    }
    const int32_t n = PayloadBytes(&head);
    if (n < 0 || left - 2 < static_cast<size_t>(n)) {
        host.Error("ReadValue: unknown tag or value cut short");
        return kBadCall;
    }
    releaseOld();
    // Only the bytes the kind needs: a compact field is shorter than 42.
    std::memcpy(field, in, 2 + n);
    s->readPos += 2 + n;
    return 0;
}

// ---- component methods (interface 0, `this` is the instance block) ----

int16_t HOSTAPI GetParentElement(void* self, ObjectId* out) {
    const Found me = Receiver(self, 0, "GetParentElement");
    if (!me) return kBadCall;
    SimObject* obj = me.object;
    if (!out) {
        me.host->Error("GetParentElement: null out");
        return kBadCall;
    }
    if (!obj->parent) return kNotFound;
    *out = obj->parent;
    return 0;
}

int16_t HOSTAPI SetEventInterest(void* self, uint32_t mode, void* field) {
    const Found me = Receiver(self, 0, "SetEventInterest");
    if (!me) return kBadCall;
    SimObject* obj = me.object;
    const int16_t m = static_cast<int16_t>(mode);
    if ((m != kInterestOn && m != kInterestOff) || !obj->Contains(field, sizeof(EventValue)))
        me.host->Error("SetEventInterest: mode " + std::to_string(m) + " or field outside the instance");
    obj->interests.push_back({m, field});
    return 0;
}

int16_t HOSTAPI RefreshElement(void* self, uint32_t flag) {
    const Found me = Receiver(self, 0, "RefreshElement");
    if (!me) return kBadCall;
    SimObject* obj = me.object;
    Host& host = *me.host;
    auto it = host.impl().elements.find(obj->parent);
    if (it == host.impl().elements.end()) return kNotFound;
    it->second->NoteRefresh(flag);
    if (!host.impl().drawing.count(obj->parent)) host.Draw(obj->parent);
    return 0;
}

// Row 0 columns 22/23 of a component that registered none: not served.
int16_t HOSTAPI AttributeNotServed(void* self) {
    return Receiver(self, 0, "GetAttribute/SetAttribute") ? kNotFound : kBadCall;
}

// ---- host variables: row 0 columns 22/23 on "value" ----

int16_t HOSTAPI VariableGetAttribute(void* self, const char* name, uint32_t, HostValue* out) {
    const Found me = Receiver(self, 0, "GetAttribute");
    if (!me) return kBadCall;
    return HostMethods::VariableGet(*me.host, me.object, name, out);
}

int16_t HOSTAPI VariableSetAttribute(void* self, const char* name, uint32_t, HostValue* in) {
    const Found me = Receiver(self, 0, "SetAttribute");
    if (!me) return kBadCall;
    return HostMethods::VariableSet(*me.host, me.object, name, in);
}

template <class F>
void* Fn(F f) {
    return reinterpret_cast<void*>(f);
}

}  // namespace

HostStatus Host::GetAttributeById(ObjectId id, const std::string& name, HostValue* out) {
    char padded[32];
    PaddedName(name.c_str(), padded);
    return GetOrSetById(*this, false, id, padded, 0, out);
}

HostStatus Host::SetAttributeById(ObjectId id, const std::string& name, HostValue* in) {
    char padded[32];
    PaddedName(name.c_str(), padded);
    return GetOrSetById(*this, true, id, padded, 0, in);
}

void AddLiveHost(Host* host) { g_hosts.push_back(host); }
void RemoveLiveHost(Host* host) {
    g_hosts.erase(std::remove(g_hosts.begin(), g_hosts.end(), host), g_hosts.end());
}

ClassLayout::ClassLayout() {
    for (int r = 0; r < kRows; ++r) {
        for (int c = 0; c < kColumns; ++c) {
            classRows[r][c] = {Missing()[r * kColumns + c], 0};
            iface1Rows[r][c] = {Missing()[r * kColumns + c], 1};
        }
        classRowPtrs[r] = classRows[r];
        iface1RowPtrs[r] = iface1Rows[r];
    }
    classDesc = {classRowPtrs, offsets};
    iface1Desc = {iface1RowPtrs, offsets};
}

void ClassLayout::Primary(int row, int column, void* fn) { classRows[row][column] = {fn, 0}; }

void ClassLayout::Secondary(int row, int column, void* fn) {
    classRows[row][column] = {Wrong()[row * kColumns + column], 1};
    iface1Rows[row][column] = {fn, 1};
}

void HostMethods::BuildServiceLayouts(Host& host) {
    auto& impl = host.impl();
    for (auto& l : impl.serviceLayouts) l = std::make_unique<ClassLayout>();
    ClassLayout& walk = *impl.serviceLayouts[kWalkService];
    walk.Secondary(1, host_method::kVisitValue.column, Fn(VisitValue));
    ClassLayout& value = *impl.serviceLayouts[kValueService];
    value.Secondary(1, host_method::kGetAttributeById.column, Fn(GetAttributeById));
    value.Secondary(1, host_method::kSetAttributeById.column, Fn(SetAttributeById));
    value.Secondary(1, host_method::kAddElementHook.column, Fn(AddElementHook));
    value.Secondary(1, host_method::kCopyValue.column, Fn(CopyValue));
    value.Secondary(1, host_method::kReleaseValue.column, Fn(ReleaseValue));
    value.Secondary(1, host_method::kResolveReference.column, Fn(ResolveReference));
    value.Secondary(1, host_method::kRemoveElementHook.column, Fn(RemoveElementHook));
    ClassLayout& memory = *impl.serviceLayouts[kMemoryService];
    memory.Secondary(1, host_method::kAllocate.column, Fn(Allocate));
    memory.Secondary(1, host_method::kFree.column, Fn(Free));
    ClassLayout& conversion = *impl.serviceLayouts[kConversionService];
    conversion.Secondary(1, host_method::kConvertValue.column, Fn(ConvertValue));

    impl.streamLayout = std::make_unique<ClassLayout>();
    impl.streamLayout->Secondary(1, host_method::kValueSize.column, Fn(ValueSize));
    impl.streamLayout->Secondary(1, host_method::kWriteValue.column, Fn(WriteValue));
    impl.streamLayout->Secondary(1, host_method::kReadValue.column, Fn(ReadValue));

    impl.variableLayout = std::make_unique<ClassLayout>();
    impl.variableLayout->Primary(0, kSlotGetAttribute, Fn(VariableGetAttribute));
    impl.variableLayout->Primary(0, kSlotSetAttribute, Fn(VariableSetAttribute));
}

void HostMethods::BuildInstanceLayout(Host& host, int type) {
    const ComponentType& t = host.Catalogue()[type];
    auto layout = std::make_unique<ClassLayout>();
    for (const SlotWrite& w : t.slots)
        if (w.row >= 0 && w.row < ClassLayout::kRows && w.slot >= 0 && w.slot < ClassLayout::kColumns)
            layout->Primary(w.row, w.slot, w.function);
    if (!t.Slot(0, kSlotGetAttribute)) layout->Primary(0, kSlotGetAttribute, Fn(AttributeNotServed));
    if (!t.Slot(0, kSlotSetAttribute)) layout->Primary(0, kSlotSetAttribute, Fn(AttributeNotServed));
    // The host's own component methods win over anything registered there.
    layout->Primary(0, host_method::kGetParentElement.column, Fn(GetParentElement));
    layout->Primary(0, host_method::kSetEventInterest.column, Fn(SetEventInterest));
    layout->Primary(0, host_method::kRefreshElement.column, Fn(RefreshElement));
    host.impl().typeStates[type].layout = std::move(layout);
}

int32_t HostMethods::StreamSize(Host& host, const HostValue* v) {
    const int32_t n = PayloadBytes(v);
    if (n < 0) {
        host.Error("stream: value of unknown tag " + std::to_string(v->tag));
        return -1;
    }
    if (v->tag == kTagString && Word(v, 10) && !Word(v, 14)) {
        host.Error("stream: string of length " + std::to_string(Word(v, 10)) + " without text");
        return -1;
    }
    return 2 + n;
}

}  // namespace hostsim
