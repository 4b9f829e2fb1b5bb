// The host's objects, memory tracking, values, variables, registration and
// the instance lifecycle as the host drives it.
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "components/catalogue.h"
#include "hostsim/internal.h"

namespace hostsim {

void AddLiveHost(Host* host);
void RemoveLiveHost(Host* host);

namespace {
constexpr int kRowLength = 64;            // entries per host-owned slot row
constexpr uint32_t kHostContext = 0x43545848;
constexpr uint32_t kContextA = 0x0A11CE55;  // EnumerateValues contexts, passed on unchanged
constexpr uint32_t kContextB = 0x0B0BCAFE;
constexpr uint8_t kFreedPoison = 0xDD;
constexpr uint8_t kGuard = 0xFD;
constexpr size_t kGuardBytes = 4;
}  // namespace

bool NameIsUpToTerminator(const char* name, const char* literal) {
    for (int i = 0; i < 16; ++i) {
        const char a = static_cast<char>(std::tolower(static_cast<unsigned char>(name[i])));
        const char b = literal[i];
        if (a != b) return false;
        if (!a) return true;
    }
    return true;
}

bool IsKnownTag(int16_t tag) {
    switch (tag) {
        case kTagEmpty: case kTagInteger: case kTagPoint: case kTagFloat: case kTagBoolean:
        case kTagEvent: case kTagString: case kTagLongReference: case kTagAny:
        case kTagMessageData: case kTagReference: case kTagObjectValue:
            return true;
        default:
            return false;
    }
}

// ---- objects ----

SimObject* HostMethods::NewObject(Host& host, ObjectKind kind, const ClassLayout& layout, uint32_t bodySize) {
    auto obj = std::make_unique<SimObject>();
    obj->kind = kind;
    obj->bodySize = bodySize;
    obj->memory.reset(new uint8_t[kHeaderSize + bodySize + kTailGuardBytes]);
    uint8_t* b = obj->memory.get();
    std::memset(b, 0, kHeaderSize);
    std::memset(b + kHeaderSize, kPoison, bodySize);
    std::memset(b + kHeaderSize + bodySize, kTailGuardByte, kTailGuardBytes);
    auto put = [b](int offset, const void* word) { std::memcpy(b + offset, &word, 4); };
    const uint32_t magic = kMagic;
    std::memcpy(b, &magic, 4);
    put(4, obj.get());
    put(kPrimaryInBase, b + kInterface0);
    put(kInterface1 - 4, &layout.iface1Desc);
    put(kHeaderSize + kBaseOfHandle, b);
    put(kInterface0 - 4, &layout.classDesc);
    std::memcpy(obj->headerCopy, b, kHeaderSize);
    SimObject* raw = obj.get();
    auto& impl = host.impl();
    if (kind == ObjectKind::Instance || kind == ObjectKind::Variable) {
        raw->id = impl.nextId++;
        impl.byId[raw->id] = raw;
    }
    impl.objects[raw->handle()] = std::move(obj);
    return raw;
}

void HostMethods::DeleteObject(Host& host, SimObject* obj) {
    auto& impl = host.impl();
    if (obj->id) impl.byId.erase(obj->id);
    impl.objects.erase(obj->handle());
}

// ---- memory blocks ----
// Freed blocks stay allocated and poisoned until the host dies, so that a
// second free of the same address is always seen as such.

char* HostMethods::NewBlock(Host& host, size_t size, BlockKind kind) {
    auto& impl = host.impl();
    std::unique_ptr<uint8_t[]> mem(new uint8_t[size + kGuardBytes]);
    std::memset(mem.get(), kPoison, size);
    std::memset(mem.get() + size, kGuard, kGuardBytes);
    char* p = reinterpret_cast<char*>(mem.get());
    impl.blocks[p] = {size, kind, true};
    impl.blockMemory.push_back(std::move(mem));
    return p;
}

void HostMethods::FreeBlock(Host& host, const void* p, BlockKind expected, const char* who) {
    auto& impl = host.impl();
    auto it = impl.blocks.find(p);
    if (it == impl.blocks.end()) {
        host.Error(std::string(who) + ": block " + std::to_string(reinterpret_cast<uintptr_t>(p)) +
                   " was never given out by the host");
        return;
    }
    Block& b = it->second;
    if (!b.live) {
        host.Error(std::string(who) + ": block freed twice (" + std::to_string(b.size) + " bytes)");
        return;
    }
    if (expected == BlockKind::Plugin && b.kind != BlockKind::Plugin) {
        host.Error(std::string(who) + ": the plug-in freed a block the host owns (" + std::to_string(b.size) +
                   " bytes)");
        return;
    }
    if (expected != BlockKind::Plugin && b.kind != expected) {
        host.Error(std::string(who) + ": the host was asked to free a block " +
                   (b.kind == BlockKind::Plugin ? "the plug-in owns" : "it owns otherwise") + " (" +
                   std::to_string(b.size) + " bytes)");
        return;
    }
    auto* bytes = static_cast<uint8_t*>(const_cast<void*>(p));
    for (size_t i = 0; i < kGuardBytes; ++i) {
        if (bytes[b.size + i] != kGuard) {
            host.Error(std::string(who) + ": something wrote past the end of a " + std::to_string(b.size) +
                       "-byte block");
            break;
        }
    }
    std::memset(bytes, kFreedPoison, b.size);
    b.live = false;
}

int Host::LiveBlocks(Side side) const {
    int n = 0;
    for (const auto& [p, b] : impl_->blocks)
        if (b.live && ((b.kind == BlockKind::Plugin) == (side == Side::Plugin))) ++n;
    return n;
}

bool Host::IsLiveBlock(const void* p) const {
    auto it = impl_->blocks.find(p);
    return it != impl_->blocks.end() && it->second.live;
}

void Host::ReleaseLentBlocks() {
    for (auto& [p, b] : impl_->blocks)
        if (b.live && b.kind == BlockKind::Lent) HostMethods::FreeBlock(*this, p, BlockKind::Lent, "ReleaseLentBlocks");
}

void Host::ForgetFreedBlocks() {
    auto& blocks = impl_->blocks;
    std::erase_if(impl_->blockMemory, [&](const std::unique_ptr<uint8_t[]>& m) {
        auto it = blocks.find(m.get());
        return it != blocks.end() && !it->second.live;
    });
    std::erase_if(blocks, [](const auto& entry) { return !entry.second.live; });
}

void Host::FailNextAllocations(int count) { impl_->failAllocations = count; }

int32_t Host::HostOwner() const {
    return static_cast<int32_t>(reinterpret_cast<uintptr_t>(serviceHandles_.at(kValueService)));
}

// ---- values ----

void HostMethods::CopyInto(Host& host, HostValue* dst, const HostValue* src, BlockKind kind) {
    HostValue copy;
    std::memcpy(&copy, src, sizeof copy);
    if (copy.tag == kTagString) {
        uint32_t length = Word(&copy, 10);
        const char* text = reinterpret_cast<const char*>(Word(&copy, 14));
        if (!text && length) {
            host.Error("string value of length " + std::to_string(length) + " without text");
            length = 0;
        }
        if (text) {
            auto it = host.impl().blocks.find(text);
            if (it != host.impl().blocks.end() && (!it->second.live || length + 1 > it->second.size)) {
                host.Error("string value reads a freed block or past its block (length " + std::to_string(length) +
                           ")");
                length = 0;
            }
        }
        char* block = NewBlock(host, length + 1, kind);
        if (length) std::memcpy(block, text, length);
        block[length] = 0;
        StringValue sv{kTagString, host.HostOwner(), length + 1, length, block};
        std::memcpy(&copy, &sv, sizeof sv);
    }
    std::memcpy(dst, &copy, sizeof copy);
}

void HostMethods::ReleaseOwned(Host& host, HostValue* v, BlockKind kind, const char* who) {
    if (v->tag != kTagString) return;
    if (const uint32_t text = Word(v, 14)) FreeBlock(host, reinterpret_cast<void*>(text), kind, who);
}

HostValue Host::Empty() {
    HostValue v{};
    return v;
}
HostValue Host::Integer(int32_t n) {
    HostValue v{};
    v.tag = kTagInteger;
    std::memcpy(v.payload, &n, 4);
    return v;
}
HostValue Host::Boolean(bool on) {
    HostValue v{};
    v.tag = kTagBoolean;
    v.payload[0] = on ? 1 : 0;
    return v;
}
HostValue Host::Float(double d) {
    HostValue v{};
    v.tag = kTagFloat;
    std::memcpy(v.payload, &d, 8);
    return v;
}
HostValue Host::Point(int16_t x, int16_t y) {
    HostValue v{};
    v.tag = kTagPoint;
    std::memcpy(v.payload, &x, 2);
    std::memcpy(v.payload + 2, &y, 2);
    return v;
}
HostValue Host::Event(uint32_t code, uint32_t qualifier) {
    HostValue v{};
    v.tag = kTagEvent;
    std::memcpy(v.payload, &code, 4);
    std::memcpy(v.payload + 4, &qualifier, 4);
    return v;
}
HostValue Host::Reference(ObjectId id) {
    HostValue v{};
    v.tag = kTagReference;
    std::memcpy(reinterpret_cast<uint8_t*>(&v) + kReferenceIdOffset, &id, 4);
    return v;
}
HostValue Host::LongReference(ObjectId id) {
    HostValue v{};
    v.tag = kTagLongReference;
    std::memcpy(reinterpret_cast<uint8_t*>(&v) + kLongReferenceIdOffset, &id, 4);
    return v;
}
HostValue Host::MessageData() {
    HostValue v{};
    v.tag = kTagMessageData;
    return v;
}

HostValue Host::String(const std::string& text) {
    HostValue v{};
    StringValue sv{kTagString, -1, 0, static_cast<uint32_t>(text.size()), const_cast<char*>(text.c_str())};
    std::memcpy(&v, &sv, sizeof sv);
    HostValue out;
    HostMethods::CopyInto(*this, &out, &v, BlockKind::Lent);
    return out;
}

std::string Host::Text(const HostValue& v) {
    if (v.tag != kTagString) return {};
    const char* text = reinterpret_cast<const char*>(Word(&v, 14));
    return text ? std::string(text, Word(&v, 10)) : std::string();
}

// ---- host variables ----

namespace {
std::string AsText(const HostValue& v) {
    char buf[64] = "";
    if (v.tag == kTagInteger)
        std::snprintf(buf, sizeof buf, "%ld", static_cast<long>(static_cast<int32_t>(Word(&v, 2))));
    if (v.tag == kTagFloat) {
        double d;
        std::memcpy(&d, v.payload, 8);
        std::snprintf(buf, sizeof buf, "%g", d);
    }
    if (v.tag == kTagPoint) {
        int16_t x, y;
        std::memcpy(&x, v.payload, 2);
        std::memcpy(&y, v.payload + 2, 2);
        std::snprintf(buf, sizeof buf, "%d,%d", x, y);
    }
    return buf;
}
}  // namespace

HostStatus HostMethods::VariableGet(Host& host, SimObject* var, const char* name, HostValue* out) {
    if (!name || !out) {
        host.Error("GetAttribute on a host variable: null name or value");
        return kBadCall;
    }
    if (!NameIsUpToTerminator(name, "value")) return kNotFound;
    const HostValue& val = var->value;
    const int16_t want = out->tag;
    if (want == kTagAny || want == val.tag) {
        CopyInto(host, out, &val, BlockKind::Lent);
        return 0;
    }
    if (want == kTagString) {
        *out = host.String(AsText(val));
        return 0;
    }
    double d;
    std::memcpy(&d, val.payload, 8);
    if (want == kTagInteger && val.tag == kTagFloat) {
        *out = Host::Integer(static_cast<int32_t>(d));
        return 0;
    }
    if (want == kTagFloat && val.tag == kTagInteger) {
        *out = Host::Float(static_cast<int32_t>(Word(&val, 2)));
        return 0;
    }
    return kNotFound;
}

HostStatus HostMethods::VariableSet(Host& host, SimObject* var, const char* name, HostValue* in) {
    if (!name || !in) {
        host.Error("SetAttribute on a host variable: null name or value");
        return kBadCall;
    }
    if (!NameIsUpToTerminator(name, "value")) return kNotFound;
    HostValue& val = var->value;
    const int16_t kind = val.tag;
    if (kind == kTagString && in->tag == kTagString) {
        const char* text = reinterpret_cast<const char*>(Word(in, 14));
        auto it = text ? host.impl().blocks.find(text) : host.impl().blocks.end();
        const bool pluginBlock = it != host.impl().blocks.end() && it->second.live &&
                                 it->second.kind == BlockKind::Plugin;
        if (host.StoredStringMode() == StoredStrings::Keep && pluginBlock) {
            if (Word(in, 10) + 1 > it->second.size) host.Error("stored string is longer than its block");
            ReleaseOwned(host, &val, BlockKind::Variable, "variable");
            it->second.kind = BlockKind::Variable;
            const int32_t owner = host.HostOwner();
            std::memcpy(reinterpret_cast<uint8_t*>(in) + 2, &owner, 4);
            std::memcpy(&val, in, sizeof val);
            return 0;
        }
        HostValue copy;
        CopyInto(host, &copy, in, BlockKind::Variable);
        ReleaseOwned(host, &val, BlockKind::Variable, "variable");
        val = copy;
        if (host.StoredStringMode() == StoredStrings::OwnerIsCaller && host.CurrentInstance()) {
            const auto owner = static_cast<int32_t>(reinterpret_cast<uintptr_t>(host.CurrentInstance()));
            std::memcpy(reinterpret_cast<uint8_t*>(in) + 2, &owner, 4);
        }
        return 0;
    }
    if (kind == kTagString && (in->tag == kTagInteger || in->tag == kTagFloat)) {
        HostValue s = host.String(AsText(*in));
        HostValue copy;
        CopyInto(host, &copy, &s, BlockKind::Variable);
        ReleaseOwned(host, &val, BlockKind::Variable, "variable");
        val = copy;
        return 0;
    }
    double d;
    std::memcpy(&d, in->payload, 8);
    if (kind == kTagInteger && (in->tag == kTagInteger || in->tag == kTagFloat)) {
        val = in->tag == kTagInteger ? Host::Integer(static_cast<int32_t>(Word(in, 2)))
                                     : Host::Integer(static_cast<int32_t>(d));
        return 0;
    }
    if (kind == kTagFloat && (in->tag == kTagInteger || in->tag == kTagFloat)) {
        val = in->tag == kTagFloat ? Host::Float(d) : Host::Float(static_cast<int32_t>(Word(in, 2)));
        return 0;
    }
    if (kind == kTagPoint && in->tag == kTagPoint) {
        val = Host::Point(0, 0);
        std::memcpy(val.payload, in->payload, 4);
        return 0;
    }
    return kNotFound;
}

namespace {
ObjectId NewVariable(Host& host, const HostValue& v) {
    SimObject* obj = HostMethods::NewObject(host, ObjectKind::Variable, *host.impl().variableLayout, 16);
    HostMethods::CopyInto(host, &obj->value, &v, BlockKind::Variable);
    return obj->id;
}
}  // namespace

ObjectId Host::NewStringVariable(const std::string& text) {
    HostValue s{};
    StringValue sv{kTagString, -1, 0, static_cast<uint32_t>(text.size()), const_cast<char*>(text.c_str())};
    std::memcpy(&s, &sv, sizeof sv);
    return NewVariable(*this, s);
}
ObjectId Host::NewIntegerVariable(int32_t v) { return NewVariable(*this, Integer(v)); }
ObjectId Host::NewFloatVariable(double v) { return NewVariable(*this, Float(v)); }
ObjectId Host::NewPointVariable(int16_t x, int16_t y) { return NewVariable(*this, Point(x, y)); }

const HostValue& Host::VariableValue(ObjectId id) const {
    static const HostValue kNone{};
    SimObject* obj = impl_->FindId(id);
    return obj && obj->kind == ObjectKind::Variable ? obj->value : kNone;
}

void Host::SetVariableValue(ObjectId id, const HostValue& v) {
    SimObject* obj = impl_->FindId(id);
    if (!obj || obj->kind != ObjectKind::Variable)
        return Error("SetVariableValue: no host variable " + std::to_string(id));
    HostValue copy;
    HostMethods::CopyInto(*this, &copy, &v, BlockKind::Variable);
    HostMethods::ReleaseOwned(*this, &obj->value, BlockKind::Variable, "variable");
    obj->value = copy;
}

void Host::SetUnresolvable(ObjectId id, bool on) {
    if (SimObject* obj = impl_->FindId(id)) obj->unresolvable = on;
}
void Host::SetAnswersObjectValue(ObjectId id, bool on) {
    if (SimObject* obj = impl_->FindId(id)) obj->objectValue = on;
}

// ---- the host itself ----

Host::Host() : impl_(std::make_unique<Impl>()) {
    AddLiveHost(this);
    HostMethods::BuildServiceLayouts(*this);
    services_.assign(kServiceCount, 0);
    serviceHandles_.assign(kServiceCount, nullptr);
    for (int n = 0; n < kServiceCount; ++n) {
        SimObject* obj = HostMethods::NewObject(*this, ObjectKind::Service, *impl_->serviceLayouts[n], 16);
        serviceHandles_[n] = obj->handle();
        services_[n] = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(obj->handle()));
    }
}

Host::~Host() {
    Teardown();
    for (void* lib : impl_->libraries) FreeLibrary(static_cast<HMODULE>(lib));
    RemoveLiveHost(this);
}

void Host::Error(const std::string& what) {
    errors_.push_back(what);
    if (onError_) onError_(what);
}

void Host::Teardown() {
    if (tornDown_) return;
    tornDown_ = true;
    while (!impl_->creationOrder.empty()) Destroy(impl_->creationOrder.back());
    std::vector<SimObject*> variables;
    for (auto& [h, obj] : impl_->objects)
        if (obj->kind == ObjectKind::Variable) variables.push_back(obj.get());
    for (SimObject* v : variables) {
        HostMethods::ReleaseOwned(*this, &v->value, BlockKind::Variable, "variable");
        HostMethods::DeleteObject(*this, v);
    }
    impl_->elements.clear();
    for (auto& [p, b] : impl_->blocks) {
        if (!b.live) continue;
        if (b.kind == BlockKind::Lent) {
            HostMethods::FreeBlock(*this, p, BlockKind::Lent, "teardown");
        } else if (b.kind == BlockKind::Plugin) {
            Error("leak: a " + std::to_string(b.size) + "-byte block from Allocate was never freed");
        } else if (b.kind == BlockKind::Value) {
            Error("leak: a " + std::to_string(b.size) + "-byte string of a value field was never released");
        } else {
            Error("leak: a " + std::to_string(b.size) + "-byte block of the host is still live");
        }
    }
}

// ---- registration ----

void* ComponentType::Slot(int16_t row, int16_t slot) const {
    for (const SlotWrite& w : slots)
        if (w.row == row && w.slot == slot) return w.function;
    return nullptr;
}

const ComponentType* Host::Type(const std::string& name) const {
    for (const ComponentType& t : types_)
        if (t.name == name) return &t;
    return nullptr;
}

void Host::Register(const std::string& entryName, EntryPoint fn) {
    ComponentType t;
    t.entryName = entryName;
    std::vector<SlotEntry> rows(kSlotRowCount * kRowLength);
    std::memset(rows.data(), kPoison, rows.size() * sizeof(SlotEntry));
    RegistrationRecord rec;
    std::memset(&rec, kPoison, sizeof rec);
    rec.baseCount = 0;
    for (int r = 0; r < kSlotRowCount; ++r) rec.slotRows[r] = rows.data() + r * kRowLength;
    rec.hostContext = kHostContext;
    rec.services = services_.data();
    const RegistrationRecord fixed = rec;

    for (int16_t phase = 0; phase <= 2; ++phase) {
        rec.phase = phase;
        const std::vector<SlotEntry> before = rows;
        fn(&rec);
        if (rec.phase != phase || rec.hostContext != kHostContext || rec.services != fixed.services ||
            std::memcmp(rec.slotRows, fixed.slotRows, sizeof rec.slotRows) != 0) {
            Error(entryName + ": phase " + std::to_string(phase) +
                  " wrote fields of the registration record that are the host's");
            std::memcpy(rec.slotRows, fixed.slotRows, sizeof rec.slotRows);
            rec.services = fixed.services;
            rec.hostContext = kHostContext;
        }
        // The bytes between the fields are the host's; a name copied with its
        // terminator lands on them.
        if (rec.unused16 != kPoison || rec.unused33 != kPoison || rec.unused164[0] != kPoison ||
            rec.unused164[1] != kPoison) {
            Error(entryName + ": phase " + std::to_string(phase) +
                  " wrote between the fields of the registration record (a name's terminator?)");
            rec.unused16 = rec.unused33 = rec.unused164[0] = rec.unused164[1] = kPoison;
        }
        PhaseRecord pr{phase, rec.instanceSize, rec.componentKind, {}};
        for (size_t i = 0; i < rows.size(); ++i)
            if (std::memcmp(&rows[i], &before[i], sizeof(SlotEntry)) != 0)
                pr.changed.push_back({static_cast<int16_t>(i / kRowLength), static_cast<int16_t>(i % kRowLength),
                                      rows[i].function, rows[i].word});
        t.phases.push_back(std::move(pr));
    }
    std::memcpy(t.rawName.data(), rec.componentName, 16);
    t.name.assign(t.rawName.data(), strnlen(t.rawName.data(), 16));
    std::memcpy(t.rawBaseClass.data(), rec.baseClassName, 16);
    t.baseClassName.assign(t.rawBaseClass.data(), strnlen(t.rawBaseClass.data(), 16));
    t.baseCount = rec.baseCount;
    t.instanceSize = rec.instanceSize;
    t.componentKind = rec.componentKind;
    SlotEntry poison;
    std::memset(&poison, kPoison, sizeof poison);
    for (size_t i = 0; i < rows.size(); ++i)
        if (std::memcmp(&rows[i], &poison, sizeof poison) != 0)
            t.slots.push_back({static_cast<int16_t>(i / kRowLength), static_cast<int16_t>(i % kRowLength),
                               rows[i].function, rows[i].word});
    t.rawRows.emplace_back(rows.begin(), rows.begin() + kRowLength);
    t.rawRows.emplace_back(rows.begin() + kRowLength, rows.begin() + 2 * kRowLength);
    types_.push_back(std::move(t));
    impl_->typeStates.emplace_back();
    HostMethods::BuildInstanceLayout(*this, static_cast<int>(types_.size()) - 1);
}

void Host::LoadLinked(const std::vector<Entry>& entries) {
    for (const Entry& e : entries) Register(e.name, e.fn);
}

bool Host::LoadDll(const std::string& path) {
    HMODULE lib = LoadLibraryA(path.c_str());
    if (!lib) {
        Error("LoadLibrary failed for " + path + " (error " + std::to_string(GetLastError()) + ")");
        return false;
    }
    impl_->libraries.push_back(lib);
    bool all = true;
    for (const char* name : kComponentNames) {
        auto fn = reinterpret_cast<EntryPoint>(reinterpret_cast<void*>(GetProcAddress(lib, name)));
        if (!fn) {
            Error(std::string("the DLL does not export ") + name);
            all = false;
            continue;
        }
        Register(name, fn);
    }
    return all;
}

// ---- instances ----

void* Host::SlotFunction(Handle instance, int16_t row, int16_t slot) {
    SimObject* obj = impl_->Find(instance);
    if (!obj || obj->kind != ObjectKind::Instance) {
        Error("slot " + std::to_string(row) + "/" + std::to_string(slot) + " called on no live instance");
        return nullptr;
    }
    void* fn = types_[obj->type].Slot(row, slot);
    if (!fn) Error(types_[obj->type].name + " has no slot " + std::to_string(row) + "/" + std::to_string(slot));
    return fn;
}

void Host::CheckBlock(Handle instance, int16_t slot) {
    SimObject* obj = impl_->Find(instance);
    if (!obj) return;
    uint8_t* tail = instance + obj->bodySize;
    for (uint32_t i = 0; i < kTailGuardBytes; ++i) {
        if (tail[i] != kTailGuardByte) {
            Error(types_[obj->type].name + " slot " + std::to_string(slot) + " wrote past the end of its " +
                  std::to_string(obj->bodySize) + "-byte instance block");
            std::memset(tail, kTailGuardByte, kTailGuardBytes);
            break;
        }
    }
    if (std::memcmp(obj->memory.get(), obj->headerCopy, kHeaderSize) != 0) {
        Error(types_[obj->type].name + " slot " + std::to_string(slot) +
              " wrote into the host's object header in front of its instance block");
        std::memcpy(obj->memory.get(), obj->headerCopy, kHeaderSize);
    }
}

int16_t Host::CallTypeSlot(const std::string& type, int16_t row, int16_t slot) {
    const ComponentType* t = Type(type);
    void* fn = t ? t->Slot(row, slot) : nullptr;
    if (!fn) {
        Error(type + " has no slot " + std::to_string(row) + "/" + std::to_string(slot));
        return kBadCall;
    }
    CallScope scope{*this, nullptr};
    return reinterpret_cast<int16_t(HOSTAPI*)()>(fn)();
}

Handle Host::Create(const std::string& type, ObjectId element) {
    const ComponentType* t = Type(type);
    if (!t) {
        Error("no registered type " + type);
        return nullptr;
    }
    const int index = static_cast<int>(t - types_.data());
    if (t->instanceSize > (1u << 20)) {
        Error(type + ": instance size " + std::to_string(t->instanceSize) + " is not believable");
        return nullptr;
    }
    TypeState& state = impl_->typeStates[index];
    if (t->IsModifier() && !state.classInitDone && t->Slot(0, kSlotClassInit)) {
        state.classInitDone = true;
        CallTypeSlot(type, 0, kSlotClassInit);
    }
    SimObject* obj = HostMethods::NewObject(*this, ObjectKind::Instance, *state.layout, t->instanceSize);
    obj->type = index;
    obj->parent = element;
    impl_->creationOrder.push_back(obj->handle());
    Handle h = obj->handle();
    CallSlot(h, 0, kSlotConstruct, h);
    return h;
}

Handle Host::CopyConstruct(Handle source, ObjectId element, CopyStart start) {
    SimObject* src = impl_->Find(source);
    if (!src || src->kind != ObjectKind::Instance) {
        Error("CopyConstruct from no live instance");
        return nullptr;
    }
    TypeState& state = impl_->typeStates[src->type];
    SimObject* obj = HostMethods::NewObject(*this, ObjectKind::Instance, *state.layout, src->bodySize);
    obj->type = src->type;
    obj->parent = element;
    impl_->creationOrder.push_back(obj->handle());
    Handle h = obj->handle();
    if (start == CopyStart::SourceBytes) std::memcpy(h, source, src->bodySize);
    CallSlot(h, 0, kSlotCopyConstruct, h, source);
    return h;
}

int16_t Host::Assign(Handle destination, Handle source) {
    return CallSlot(destination, 0, kSlotAssign, destination, source);
}

void Host::Destroy(Handle instance) {
    SimObject* obj = impl_->Find(instance);
    if (!obj || obj->kind != ObjectKind::Instance) return Error("Destroy of no live instance");
    CallSlot(instance, 0, kSlotDestruct, instance);
    auto& order = impl_->creationOrder;
    order.erase(std::remove(order.begin(), order.end(), instance), order.end());
    HostMethods::DeleteObject(*this, obj);
}

namespace {
// A stream object for the length of one host call.
struct Stream {
    Host& host;
    SimObject* obj;
    explicit Stream(Host& h)
        : host(h), obj(HostMethods::NewObject(h, ObjectKind::Stream, *h.impl().streamLayout, 16)) {}
    ~Stream() { HostMethods::DeleteObject(host, obj); }
};
}  // namespace

Handle Host::OpenStream(const std::vector<uint8_t>& bytes) {
    SimObject* obj = HostMethods::NewObject(*this, ObjectKind::Stream, *impl_->streamLayout, 16);
    obj->bytes = bytes;
    return obj->handle();
}

const std::vector<uint8_t>& Host::StreamBytes(Handle stream) const {
    static const std::vector<uint8_t> kNone;
    SimObject* obj = impl_->Find(stream);
    return obj && obj->kind == ObjectKind::Stream ? obj->bytes : kNone;
}

size_t Host::StreamReadPosition(Handle stream) const {
    SimObject* obj = impl_->Find(stream);
    return obj && obj->kind == ObjectKind::Stream ? obj->readPos : 0;
}

void Host::CloseStream(Handle stream) {
    SimObject* obj = impl_->Find(stream);
    if (obj && obj->kind == ObjectKind::Stream) HostMethods::DeleteObject(*this, obj);
}

uint32_t Host::SavedSize(Handle instance, int16_t* version) {
    Stream s{*this};
    int16_t v = 0x7FFF;
    uint32_t count = 0xCDCDCDCD;
    CallSlot(instance, 0, kSlotSavedSize, instance, s.obj->handle(), 0u, &v, &count);
    if (version) *version = v;
    return count;
}

std::vector<uint8_t> Host::Save(Handle instance) {
    const uint32_t size = SavedSize(instance);
    Stream s{*this};
    CallSlot(instance, 0, kSlotSave, instance, s.obj->handle());
    if (s.obj->bytes.size() != size)
        Error("SavedSize said " + std::to_string(size) + " bytes, Save wrote " + std::to_string(s.obj->bytes.size()));
    return s.obj->bytes;
}

int16_t Host::Load(Handle instance, const std::vector<uint8_t>& bytes, int16_t version) {
    Stream s{*this};
    s.obj->bytes = bytes;
    const int16_t r = CallSlot(instance, 0, kSlotLoad, instance, s.obj->handle(), 0u,
                               static_cast<uint32_t>(static_cast<uint16_t>(version)));
    if (r == 0 && s.obj->readPos != bytes.size())
        Error("Load read " + std::to_string(s.obj->readPos) + " of " + std::to_string(bytes.size()) + " bytes");
    return r;
}

std::vector<void*> Host::EnumerateValues(Handle instance) {
    const size_t first = visits_.size();
    CallSlot(instance, 0, kSlotEnumerateValues, instance, kContextA, kContextB);
    std::vector<void*> fields;
    for (size_t i = first; i < visits_.size(); ++i) {
        if (visits_[i].contextA != kContextA || visits_[i].contextB != kContextB)
            Error("VisitValue got contexts other than those EnumerateValues was given");
        fields.push_back(visits_[i].field);
    }
    return fields;
}

int16_t Host::Activate(Handle instance) { return CallSlot(instance, 0, kSlotActivate, instance); }
int16_t Host::Deactivate(Handle instance) { return CallSlot(instance, 0, kSlotDeactivate, instance); }

int16_t Host::Deliver(Handle instance, uint32_t eventCode, uint32_t qualifier, const HostValue* carried) {
    MessageRecord msg;
    std::memset(&msg, kPoison, sizeof msg);
    msg.eventCode = eventCode;
    msg.qualifier = qualifier;
    if (carried) {
        std::memcpy(&msg.value, carried, sizeof msg.value);
    } else {
        msg.value.tag = kTagEmpty;
    }
    return CallSlot(instance, 0, kSlotHandleMessage, instance, &msg);
}

std::vector<Host::Delivery> Host::Send(uint32_t eventCode, uint32_t qualifier, const HostValue* carried) {
    std::vector<Delivery> out;
    const std::vector<Handle> order = impl_->creationOrder;  // an action may create or destroy
    for (Handle h : order) {
        SimObject* obj = impl_->Find(h);
        if (!obj) continue;
        std::vector<void*> on;
        for (const Interest& i : obj->interests) {
            auto it = std::find(on.begin(), on.end(), i.field);
            if (i.mode == kInterestOn && it == on.end()) on.push_back(i.field);
            if (i.mode == kInterestOff && it != on.end()) on.erase(it);
        }
        const bool wanted = std::any_of(on.begin(), on.end(), [&](void* field) {
            if (!obj->Contains(field, sizeof(EventValue))) return false;
            EventValue e;
            std::memcpy(&e, field, sizeof e);
            return e.tag == kTagEvent && e.code == eventCode && e.qualifier == qualifier;
        });
        if (wanted) out.push_back({h, Deliver(h, eventCode, qualifier, carried)});
    }
    return out;
}

ObjectId Host::IdOf(Handle object) const {
    SimObject* obj = impl_->Find(object);
    return obj ? obj->id : 0;
}

Handle Host::HandleOf(ObjectId id) const {
    SimObject* obj = impl_->FindId(id);
    return obj ? obj->handle() : nullptr;
}

ObjectId Host::ParentOf(Handle instance) const {
    SimObject* obj = impl_->Find(instance);
    return obj ? obj->parent : 0;
}

void Host::AttachTo(Handle instance, ObjectId element) {
    if (SimObject* obj = impl_->Find(instance)) obj->parent = element;
}

uint32_t Host::BlockSize(Handle instance) const {
    SimObject* obj = impl_->Find(instance);
    return obj ? obj->bodySize : 0;
}

const std::vector<Interest>& Host::Interests(Handle instance) const {
    static const std::vector<Interest> kNone;
    SimObject* obj = impl_->Find(instance);
    return obj ? obj->interests : kNone;
}

void Host::SetField(Handle instance, size_t offset, const HostValue& value) {
    SimObject* obj = impl_->Find(instance);
    if (!obj || obj->kind != ObjectKind::Instance || offset + sizeof(HostValue) > obj->bodySize)
        return Error("SetField: no live instance or a field past its block");
    auto* field = reinterpret_cast<HostValue*>(instance + offset);
    HostMethods::ReleaseOwned(*this, field, BlockKind::Value, "SetField");
    HostMethods::CopyInto(*this, field, &value, BlockKind::Value);
}

}  // namespace hostsim
