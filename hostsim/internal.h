#pragma once
// The simulator's own bookkeeping; not part of its API.
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "hostsim/host.h"

namespace hostsim {

// Memory of every host object: a 48-byte header, then the body (an
// instance block for component instances). Offsets from the base block B:
//   B+0  magic            B+4  SimObject*       B+20 primary interface P
//   B+24 descriptor of interface 1               B+28 interface 1
//   B+40 B (handle - 8)   B+44 class descriptor  B+48 handle = P = interface 0
// Row-1 methods of services and streams live on interface 1, so `this` for
// them is 20 bytes below the handle.
inline constexpr uint32_t kMagic = 0x4A424F48;  // "HOBJ"
inline constexpr int32_t kHeaderSize = 48;
inline constexpr int32_t kInterface0 = 48;
inline constexpr int32_t kInterface1 = 28;
inline constexpr uint32_t kTailGuardBytes = 16;  // behind every body
inline constexpr uint8_t kTailGuardByte = 0xFB;

enum class ObjectKind { Service, Stream, Instance, Variable };

// The simulator's record of one object it made; the plug-in sees only its
// handle (which the plug-in's own code calls a HostObject).
struct SimObject {
    ObjectKind kind;
    ObjectId id = 0;
    std::unique_ptr<uint8_t[]> memory;
    uint32_t bodySize = 0;
    Handle handle() const { return memory.get() + kHeaderSize; }
    uint8_t headerCopy[kHeaderSize];  // as the host wrote it
    bool Contains(const void* p, size_t n = 1) const {
        auto a = static_cast<const uint8_t*>(p);
        return a >= handle() && a + n <= handle() + bodySize;
    }
    // Instances.
    int type = -1;
    ObjectId parent = 0;
    std::vector<Interest> interests;
    // Host variables: their value; strings own a Variable block.
    HostValue value{};
    // Streams.
    std::vector<uint8_t> bytes;
    size_t readPos = 0;
    // Test options.
    bool unresolvable = false;
    bool objectValue = false;
};

// Two descriptors per class: the class descriptor (interface 0) and the
// descriptor of interface 1. Entries that the class lacks are traps.
struct ClassLayout {
    static constexpr int kRows = 4;
    static constexpr int kColumns = 64;
    SlotEntry classRows[kRows][kColumns];
    SlotEntry iface1Rows[kRows][kColumns];
    SlotEntry* classRowPtrs[kRows];
    SlotEntry* iface1RowPtrs[kRows];
    int32_t offsets[2] = {kInterface0, kInterface1};
    Descriptor classDesc;
    Descriptor iface1Desc;

    ClassLayout();
    void Primary(int row, int column, void* fn);    // on interface 0
    void Secondary(int row, int column, void* fn);  // on interface 1
};

enum class BlockKind {
    Plugin,    // from Allocate: the plug-in frees it with Free
    Value,     // owned by a value field (CopyValue, ReadValue): freed by ReleaseValue
    Lent,      // handed out in an answer: the host frees it at teardown
    Variable,  // held by a host variable: freed when the variable changes or dies
};

struct Block {
    size_t size;
    BlockKind kind;
    bool live;
};

struct TypeState {
    std::unique_ptr<ClassLayout> layout;
    bool classInitDone = false;
};

struct Host::Impl {
    std::map<const uint8_t*, std::unique_ptr<SimObject>> objects;  // by handle
    std::map<ObjectId, SimObject*> byId;
    std::vector<Handle> creationOrder;  // live instances, oldest first
    ObjectId nextId = 1001;
    std::vector<TypeState> typeStates;
    std::unique_ptr<ClassLayout> serviceLayouts[kServiceCount];
    std::unique_ptr<ClassLayout> streamLayout, variableLayout;
    std::map<const void*, Block> blocks;  // freed ones stay, poisoned, until the host dies
    std::vector<std::unique_ptr<uint8_t[]>> blockMemory;
    std::map<ObjectId, std::unique_ptr<Element>> elements;
    std::set<ObjectId> drawing;  // elements being drawn now
    uint32_t nextHookId = 0x501;
    std::vector<void*> libraries;  // HMODULEs
    int failAllocations = 0;

    SimObject* Find(const void* handle) const {
        auto it = objects.find(static_cast<const uint8_t*>(handle));
        return it == objects.end() ? nullptr : it->second.get();
    }
    SimObject* FindId(ObjectId id) const {
        auto it = byId.find(id);
        return it == byId.end() ? nullptr : it->second;
    }
};

// Reads a 32-bit word at p + offset without alignment assumptions.
inline uint32_t Word(const void* p, size_t offset = 0) {
    uint32_t v;
    std::memcpy(&v, static_cast<const uint8_t*>(p) + offset, 4);
    return v;
}

// Implemented across the host's source files.
struct HostMethods {
    static void BuildServiceLayouts(Host& host);
    static void BuildInstanceLayout(Host& host, int type);
    static SimObject* NewObject(Host& host, ObjectKind kind, const ClassLayout& layout, uint32_t bodySize);
    static void DeleteObject(Host& host, SimObject* obj);
    // Memory blocks.
    static char* NewBlock(Host& host, size_t size, BlockKind kind);
    static void FreeBlock(Host& host, const void* p, BlockKind expected, const char* who);
    // Values.
    static void CopyInto(Host& host, HostValue* dst, const HostValue* src, BlockKind kind);
    static void ReleaseOwned(Host& host, HostValue* v, BlockKind kind, const char* who);
    static HostStatus VariableGet(Host& host, SimObject* var, const char* name, HostValue* out);
    static HostStatus VariableSet(Host& host, SimObject* var, const char* name, HostValue* in);
    static int32_t StreamSize(Host& host, const HostValue* v);
};

// The simulated host's own rule: the given name lowered, compared with a
// lower-case literal up to its terminator, 16 bytes at most.
bool NameIsUpToTerminator(const char* name, const char* literal);
bool IsKnownTag(int16_t tag);

}  // namespace hostsim
