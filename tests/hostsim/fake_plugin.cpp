#include "tests/hostsim/fake_plugin.h"

#include <cstring>

#include "tests/hostsim/walk.h"

namespace fake {
namespace {

void* g_services = nullptr;
Record g_seen;
Modifier g_defaults;

void* ValueSvc() { return Service(kValueService); }

void CopyName(RegistrationRecord* r, const char* name) {
    size_t n = std::strlen(name);
    if (n > 16) n = 16;
    std::memset(r->componentName, 0, 16);
    std::memcpy(r->componentName, name, n);
}

void Common(RegistrationRecord* r, const char* name, uint32_t size, uint32_t kind) {
    r->instanceSize = size;
    r->componentKind = kind;
    if (r->phase == 0) return CopyName(r, name);
    if (r->phase == 1 && r->baseCount <= 0) {
        char base[16] = "_MComponent";
        std::memcpy(r->baseClassName, base, 16);
        r->baseCount = 1;
    }
    g_services = r->services;
}

void Put(RegistrationRecord* r, int row, int slot, void* fn) {
    r->slotRows[row][slot].function = fn;
    r->slotRows[row][slot].word = 1;
}

// ---- modifier ----

HostValue* Source(void* inst) { return &static_cast<Modifier*>(inst)->source; }

void ResetValue(void* inst, const HostValue* from) {
    HostValue* field = Source(inst);
    walk::Call(ValueSvc(), 1, 26, inst, &field);  // pointer form
    field->tag = kTagEmpty;
    walk::Call(ValueSvc(), 1, 25, field, from);
}

void CopyFixed(void* dst, const void* src) {
    std::memcpy(dst, src, 20);  // event and both compact fields
}

int16_t HOSTAPI ClassInit() {
    ++g_seen.classInits;
    std::memset(&g_defaults, 0, sizeof g_defaults);
    g_defaults.event = {kTagEvent, kEvent, 0};
    g_defaults.flag = {kTagBoolean, 1};
    g_defaults.count = {kTagInteger, 7};
    g_defaults.source.tag = kTagEmpty;
    return 0;
}
int16_t HOSTAPI Construct(void* inst) {
    CopyFixed(inst, &g_defaults);
    ResetValue(inst, &g_defaults.source);
    static_cast<Modifier*>(inst)->plain = 0;
    return 0;
}
int16_t HOSTAPI CopyConstruct(void* dst, void* src) {
    CopyFixed(dst, src);
    ResetValue(dst, Source(src));
    return 0;
}
int16_t HOSTAPI Assign(void* dst, void* src) {
    Construct(dst);
    return CopyConstruct(dst, src);
}
int16_t HOSTAPI Destruct(void* inst) {
    walk::Call(ValueSvc(), 1, 26, inst, Source(inst));  // direct form
    return 0;
}
void* Fields(void* inst, int i) {
    auto* m = static_cast<uint8_t*>(inst);
    static const int kOffsets[] = {0, 10, 14, 20};
    return m + kOffsets[i];
}
int16_t HOSTAPI SavedSize(void* inst, void* stream, uint32_t, int16_t* version, uint32_t* count) {
    uint32_t sum = 0;
    for (int i = 0; i < 4; ++i) {
        uint32_t n = 0;
        walk::Call(stream, 1, 4, Fields(inst, i), &n);
        sum += n;
    }
    *count = sum + (g_seen.savedSizeOffByOne ? 1 : 0);
    *version = 0;
    return 0;
}
int16_t HOSTAPI Save(void* inst, void* stream) {
    for (int i = 0; i < 4; ++i) walk::Call(stream, 1, 5, Fields(inst, i));
    return 0;
}
int16_t HOSTAPI Load(void* inst, void* stream, uint32_t, uint32_t version) {
    if (static_cast<int16_t>(version) != 0) return 1;
    for (int i = 0; i < (g_seen.loadSkipsLast ? 3 : 4); ++i) walk::Call(stream, 1, 6, Fields(inst, i));
    return 0;
}
int16_t HOSTAPI Enumerate(void* inst, uint32_t a, uint32_t b) {
    walk::Call(Service(kWalkService), 1, 4, a, b, Fields(inst, 0));
    walk::Call(Service(kWalkService), 1, 4, a, b, Fields(inst, 3));
    return 0;
}
int16_t HOSTAPI Activate(void* inst) {
    walk::Call(inst, 0, 33, uint32_t{1}, inst);
    return 3;
}
int16_t HOSTAPI Deactivate(void* inst) {
    walk::Call(inst, 0, 33, uint32_t{2}, inst);
    return 0;
}
int16_t HOSTAPI HandleMessage(void* inst, MessageRecord* msg) {
    std::memcpy(g_seen.message, msg, sizeof g_seen.message);
    if (msg->eventCode == kStoreEvent) {
        uint32_t id;
        std::memcpy(&id, msg->value.payload, 4);
        g_seen.storedOwner = StoreString(inst, id, "stored", g_seen.storePolicy);
        return 0;
    }
    if (msg->eventCode == kOverrunEvent) static_cast<uint8_t*>(inst)[sizeof(Modifier)] = 0;
    if (msg->eventCode == kUnderrunEvent) static_cast<uint8_t*>(inst)[-1] ^= 0xFF;
    const auto* m = static_cast<Modifier*>(inst);
    return msg->eventCode == m->event.code && msg->qualifier == m->event.qualifier ? 0 : 1;
}
// Paints pixel (x, y) of the element with x + 3y, addressing rows as the
// plug-in does: row y at base + y * stride, or counted from the end of
// memory when the stride is negative.
int16_t HOSTAPI Hook(void*, DrawRecord* draw, SurfaceRecord* surface) {
    ++g_seen.hookCalls;
    std::memcpy(g_seen.draw, draw, sizeof g_seen.draw);
    std::memcpy(&g_seen.surface, surface, sizeof g_seen.surface);
    ElementRect* rect = draw->rect;
    g_seen.rect = *rect;
    const int stride = surface->stride, rows = surface->rows;
    const int step = stride < 0 ? -stride : stride;
    for (int y = rect->top; y < rect->bottom; ++y) {
        uint8_t* row = stride >= 0 ? surface->pixels + y * step : surface->pixels + (rows - 1 - y) * step;
        for (int x = rect->left; x < rect->right; ++x) row[x] = static_cast<uint8_t>(x + 3 * y);
    }
    if (g_seen.hookWritesRect) rect->left = 0;
    if (g_seen.hookWritesOutside < 0) surface->pixels[-1] = 0;
    if (g_seen.hookWritesOutside > 0) surface->pixels[rows * step] = 0;
    return 1;
}

// ---- variable: one integer ----

int16_t HOSTAPI VarConstruct(void* inst) {
    *static_cast<int32_t*>(inst) = 0;
    return 0;
}
int16_t HOSTAPI VarCopy(void* dst, void* src) {
    std::memcpy(dst, src, 4);
    return 0;
}
int16_t HOSTAPI VarDestruct(void*) { return 0; }
bool IsValue(const char* name) {
    char lower[16] = {};
    for (int i = 0; i < 16; ++i)
        lower[i] = static_cast<char>(name[i] >= 'A' && name[i] <= 'Z' ? name[i] + 32 : name[i]);
    const char value[16] = "value";
    return std::memcmp(lower, value, 16) == 0;
}
int16_t HOSTAPI VarGet(void* inst, const char* name, uint32_t, HostValue* v) {
    if (!IsValue(name) || (v->tag != kTagInteger && v->tag != kTagAny)) return 1;
    v->tag = kTagInteger;
    std::memcpy(v->payload, inst, 4);
    return 0;
}
int16_t HOSTAPI VarSet(void* inst, const char* name, uint32_t, HostValue* v) {
    if (!IsValue(name)) return 1;
    if (v->tag == kTagInteger) {
        std::memcpy(inst, v->payload, 4);
        return 0;
    }
    if (v->tag != kTagLongReference) return 1;
    HostValue out{};
    out.tag = kTagInteger;
    const int16_t status = walk::Call(Service(kConversionService), 1, 0, inst, v, &out);
    if (status == 0) std::memcpy(inst, out.payload, 4);
    return status;
}

}  // namespace

Record& Seen() { return g_seen; }
void* Services() { return g_services; }
void* Service(int n) { return reinterpret_cast<void*>(walk::W(reinterpret_cast<uintptr_t>(g_services) + 4 * n)); }

void HOSTAPI ModifierEntry(RegistrationRecord* r) {
    if (r->phase == 0) g_seen = {};  // as a freshly loaded plug-in: nothing seen, no fault switched on
    Common(r, "fkModifier", sizeof(Modifier), kKindModifier);
    if (r->phase != 2) return;
    Put(r, 0, 7, reinterpret_cast<void*>(Construct));
    Put(r, 0, 34, reinterpret_cast<void*>(CopyConstruct));
    Put(r, 0, 8, reinterpret_cast<void*>(Assign));
    Put(r, 0, 9, reinterpret_cast<void*>(Destruct));
    Put(r, 0, 35, reinterpret_cast<void*>(ClassInit));
    Put(r, 0, 17, reinterpret_cast<void*>(SavedSize));
    Put(r, 0, 19, reinterpret_cast<void*>(Save));
    Put(r, 0, 18, reinterpret_cast<void*>(Load));
    Put(r, 0, 37, reinterpret_cast<void*>(Enumerate));
    Put(r, 0, 13, reinterpret_cast<void*>(Activate));
    Put(r, 0, 14, reinterpret_cast<void*>(Deactivate));
    Put(r, 0, 25, reinterpret_cast<void*>(HandleMessage));
    Put(r, 1, 0, reinterpret_cast<void*>(Hook));
}

void HOSTAPI VariableEntry(RegistrationRecord* r) {
    Common(r, "fkVariable", 4, kKindVariable);
    if (r->phase != 2) return;
    Put(r, 0, 7, reinterpret_cast<void*>(VarConstruct));
    Put(r, 0, 34, reinterpret_cast<void*>(VarCopy));
    Put(r, 0, 8, reinterpret_cast<void*>(VarCopy));
    Put(r, 0, 9, reinterpret_cast<void*>(VarDestruct));
    Put(r, 0, 22, reinterpret_cast<void*>(VarGet));
    Put(r, 0, 23, reinterpret_cast<void*>(VarSet));
}

std::vector<hostsim::Entry> Entries() { return {{"fkModifier", ModifierEntry}, {"fkVariable", VariableEntry}}; }

int32_t StoreString(void* instance, uint32_t id, const char* text, FreePolicy policy) {
    const uint32_t n = static_cast<uint32_t>(std::strlen(text));
    StringValue v{kTagString, kNoOwner, 0, 0, nullptr};
    HostValue value{};
    void* block = nullptr;
    walk::Call(Service(kMemoryService), 1, 14, &block, n + 1);
    if (block) {
        std::memcpy(block, text, n + 1);
        v.capacity = n + 1;
        v.length = n;
        v.text = static_cast<char*>(block);
    }
    std::memcpy(&value, &v, sizeof v);
    char name[16] = "value";
    walk::Call(ValueSvc(), 1, 6, id, static_cast<const char*>(name), 0u, &value);
    int32_t owner;
    std::memcpy(&owner, reinterpret_cast<uint8_t*>(&value) + 2, 4);
    const bool mine = owner == kNoOwner || owner == static_cast<int32_t>(reinterpret_cast<uintptr_t>(instance));
    const bool release = policy == FreePolicy::Always || (policy == FreePolicy::OwnerRule && mine);
    if (block && release) walk::Call(Service(kMemoryService), 1, 16, block);
    return owner;
}

}  // namespace fake
