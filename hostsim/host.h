#pragma once
// The host simulator: plays the host's side of the plug-in ABI so the real
// DLL (or the plug-in library linked into a test) can be registered, driven
// and checked. Everything the plug-in gets is laid out as the host lays it
// out; every misuse the simulator can see is recorded in Errors().
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "framework/host_abi.h"

namespace hostsim {

using ObjectId = uint32_t;
using Handle = uint8_t*;  // an object handle; for an instance, its instance block
using EntryPoint = void(HOSTAPI*)(RegistrationRecord*);

inline constexpr uint8_t kPoison = 0xCD;           // fresh instance blocks, rows, records
inline constexpr HostStatus kNotFound = 1;         // status of a failed lookup
inline constexpr HostStatus kBadCall = 0x7FFF;     // status of a call the host refuses

// Who must free a memory-service block.
enum class Side { Plugin, Host };

// What the host does with the text block of a string the plug-in stores.
enum class StoredStrings {
    Copy,           // copies the text, leaves the owner at -1: the plug-in frees its block
    Keep,           // keeps the block and writes its own owner: the host frees it later
    OwnerIsCaller,  // copies the text, writes the calling instance as owner: the plug-in frees
};

// ---- registration catalogue --------------------------------------------

struct SlotWrite {
    int16_t row;
    int16_t slot;
    void* function;
    int32_t flags;
};

struct PhaseRecord {
    int16_t phase;
    uint32_t instanceSize;
    uint32_t componentKind;
    std::vector<SlotWrite> changed;  // entries that differ after the call, by row then slot
};

struct ComponentType {
    std::string entryName;               // the export (or linked entry) it came from
    std::array<char, 16> rawName{};      // componentName as written, no terminator needed
    std::string name;                    // rawName up to its first zero byte, at most 16
    std::array<char, 16> rawBaseClass{};
    std::string baseClassName;
    int16_t baseCount = 0;
    uint32_t instanceSize = 0;
    uint32_t componentKind = 0;
    std::vector<PhaseRecord> phases;
    std::vector<SlotWrite> slots;        // every entry written, by row then slot
    std::vector<std::vector<SlotEntry>> rawRows;  // rows 0 and 1 as left after phase 2

    void* Slot(int16_t row, int16_t slot) const;  // null when not registered
    bool IsModifier() const { return componentKind == kKindModifier; }
};

struct Entry {
    std::string name;
    EntryPoint fn;
};

// ---- records kept for tests --------------------------------------------

struct Visit {
    uint32_t contextA;
    uint32_t contextB;
    void* field;
};

struct Interest {
    int16_t mode;  // kInterestOn / kInterestOff
    void* field;
};

struct HookInfo {
    uint32_t id;
    int16_t kind;
    Handle instance;
    HookRecord record;  // as passed (before the id was written)
    HostValue flags;
};

struct DrawCall {
    uint32_t hookId;
    Handle instance;
    int16_t result;
};

// Elements draw into an 8-bit surface: a DIB section selected into a memory
// DC, whose bits are the surface's pixel memory.
struct ElementSetup {
    ElementRect rect{0, 0, 0, 0};
    int surfaceWidth = 64;  // pixels
    int surfaceRows = 64;
    bool bottomUp = false;  // the DIB's natural order: negative stride
    std::vector<uint32_t> colours;  // the colour table, 0x00RRGGBB by index; empty: 256 greys
};

class Element;

// ---- the host ------------------------------------------------------------

class Host {
public:
    Host();
    ~Host();  // runs Teardown() if the test did not
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    // Registration. LoadDll keeps the library loaded until the host dies.
    bool LoadDll(const std::string& path);
    void LoadLinked(const std::vector<Entry>& entries);
    void Register(const std::string& entryName, EntryPoint fn);  // phases 0, 1, 2
    const std::vector<ComponentType>& Catalogue() const { return types_; }
    const ComponentType* Type(const std::string& name) const;
    void* ServicesRecord() { return services_.data(); }
    Handle ServiceHandle(int number) const { return serviceHandles_.at(number); }

    // Instances of registered types. Create runs ClassInit once per modifier
    // type, then Construct; the instance is attached to `element` (0: none).
    Handle Create(const std::string& type, ObjectId element = 0);
    // What a copy's block holds when CopyConstruct is called: poison, or the
    // source's bytes, as a host that copies the block first leaves it (its
    // value fields then name the source's blocks: use no strings there).
    enum class CopyStart { Poisoned, SourceBytes };
    Handle CopyConstruct(Handle source, ObjectId element = 0, CopyStart start = CopyStart::Poisoned);
    int16_t Assign(Handle destination, Handle source);
    // Destruct, then free the block. Hooks the instance left installed stay,
    // as the host keeps them; Draw reports them instead of calling them.
    void Destroy(Handle instance);
    uint32_t SavedSize(Handle instance, int16_t* version = nullptr);
    std::vector<uint8_t> Save(Handle instance);  // also checks SavedSize agrees
    int16_t Load(Handle instance, const std::vector<uint8_t>& bytes, int16_t version = 0);
    std::vector<void*> EnumerateValues(Handle instance);
    // A stream object on its own, for tests of the saved form.
    Handle OpenStream(const std::vector<uint8_t>& bytes = {});
    const std::vector<uint8_t>& StreamBytes(Handle stream) const;
    size_t StreamReadPosition(Handle stream) const;
    void CloseStream(Handle stream);
    int16_t Activate(Handle instance);
    int16_t Deactivate(Handle instance);
    int16_t Deliver(Handle instance, uint32_t eventCode, uint32_t qualifier,
                    const HostValue* carried = nullptr);
    // Delivers a message to every live instance that is interested in it now:
    // one of its event fields switched on (and not off again) holds this code
    // and qualifier when the message goes out. Oldest instance first.
    struct Delivery {
        Handle instance;
        int16_t result;
    };
    std::vector<Delivery> Send(uint32_t eventCode, uint32_t qualifier, const HostValue* carried = nullptr);
    // Any slot, called as the host calls it: (arguments...) exactly as given.
    template <class... A>
    int16_t CallSlot(Handle instance, int16_t row, int16_t slot, A... args) {
        void* fn = SlotFunction(instance, row, slot);
        if (!fn) return kBadCall;
        CallScope scope{*this, instance};
        const int16_t result = reinterpret_cast<int16_t(HOSTAPI*)(A...)>(fn)(args...);
        CheckBlock(instance, slot);
        return result;
    }
    // A registered class-wide slot (ClassInit) by type name.
    int16_t CallTypeSlot(const std::string& type, int16_t row, int16_t slot);

    ObjectId IdOf(Handle object) const;
    Handle HandleOf(ObjectId id) const;
    ObjectId ParentOf(Handle instance) const;
    void AttachTo(Handle instance, ObjectId element);
    uint32_t BlockSize(Handle instance) const;
    const std::vector<Interest>& Interests(Handle instance) const;

    // Configures a 42-byte value field of an instance as the author would:
    // the old contents are released, the field becomes an independent copy.
    void SetField(Handle instance, size_t offset, const HostValue& value);

    // Values. String() gives a value whose block the host keeps (lent).
    HostValue String(const std::string& text);
    static HostValue Empty();
    static HostValue Integer(int32_t v);
    static HostValue Boolean(bool on);
    static HostValue Float(double v);
    static HostValue Point(int16_t x, int16_t y);
    static HostValue Event(uint32_t code, uint32_t qualifier = 0);
    static HostValue Reference(ObjectId id);      // tag 115
    static HostValue LongReference(ObjectId id);  // tag 105
    static HostValue MessageData();
    static std::string Text(const HostValue& v);  // "" unless a string

    // Attributes by object id, as GetAttributeById / SetAttributeById answer
    // the plug-in (host variables, plug-in instances, elements).
    HostStatus GetAttributeById(ObjectId id, const std::string& name, HostValue* out);
    HostStatus SetAttributeById(ObjectId id, const std::string& name, HostValue* in);

    // Host variables, each with a "value" attribute of its own type.
    ObjectId NewStringVariable(const std::string& text);
    ObjectId NewIntegerVariable(int32_t v);
    ObjectId NewFloatVariable(double v);
    ObjectId NewPointVariable(int16_t x, int16_t y);
    const HostValue& VariableValue(ObjectId id) const;  // a host variable's current value
    void SetVariableValue(ObjectId id, const HostValue& v);  // as the host itself would
    void SetUnresolvable(ObjectId id, bool unresolvable = true);
    void SetAnswersObjectValue(ObjectId id, bool on = true);  // "value" by id gives tag 117
    void SetStoredStrings(StoredStrings mode) { storedStrings_ = mode; }
    void SetKeepStoredStrings(bool keep) { storedStrings_ = keep ? StoredStrings::Keep : StoredStrings::Copy; }
    // The status AddElementHook answers after installing the hook (0: none).
    void SetHookInstallStatus(HostStatus status) { hookInstallStatus_ = status; }
    HostStatus HookInstallStatus() const { return hookInstallStatus_; }
    // ResolveReference calls so far, answered or not.
    int Resolutions() const { return resolutions_; }
    void NoteResolution() { ++resolutions_; }
    // The owner the host writes into values it owns.
    int32_t HostOwner() const;

    // Elements and drawing.
    ObjectId NewElement(const ElementSetup& setup);
    Element& ElementOf(ObjectId id);
    std::vector<DrawCall> Draw(ObjectId element);

    // Memory-service blocks.
    int LiveBlocks(Side side) const;
    int LiveBlocks() const { return LiveBlocks(Side::Plugin) + LiveBlocks(Side::Host); }
    bool IsLiveBlock(const void* p) const;
    // Long runs: frees the blocks lent in answers, as the host does once the
    // plug-in's call has returned, and forgets the freed blocks kept for the
    // double-free check (a later free of one is reported as never given out).
    void ReleaseLentBlocks();
    void ForgetFreedBlocks();

    // What the plug-in did.
    const std::vector<Visit>& Visits() const { return visits_; }
    void ClearVisits() { visits_.clear(); }
    const std::vector<std::string>& Errors() const { return errors_; }
    void ClearErrors() { errors_.clear(); }
    // Called with each error as it is recorded (tests: ADD_FAILURE).
    void SetErrorHandler(std::function<void(const std::string&)> handler) { onError_ = std::move(handler); }
    void Error(const std::string& what);

    // Destroys every live instance, frees the host's blocks and reports
    // every block still live as a leak. Idempotent.
    void Teardown();

    // ---- used by the host's method implementations ----
    struct Impl;
    Impl& impl() { return *impl_; }
    Handle CurrentInstance() const { return callStack_.empty() ? nullptr : callStack_.back(); }
    void RecordVisit(const Visit& v) { visits_.push_back(v); }
    StoredStrings StoredStringMode() const { return storedStrings_; }
    void FailNextAllocations(int count);  // the next `count` Allocate calls give no block

private:
    struct CallScope {
        CallScope(Host& h, Handle i) : host(h) { host.callStack_.push_back(i); }
        ~CallScope() { host.callStack_.pop_back(); }
        Host& host;
    };
    void* SlotFunction(Handle instance, int16_t row, int16_t slot);
    // Reports (and repairs) writes past the instance block or into the
    // host's header in front of it.
    void CheckBlock(Handle instance, int16_t slot);

    std::unique_ptr<Impl> impl_;
    std::vector<ComponentType> types_;
    std::vector<uint32_t> services_;  // the services record: 20 handles
    std::vector<Handle> serviceHandles_;
    std::vector<Visit> visits_;
    std::vector<std::string> errors_;
    std::function<void(const std::string&)> onError_;
    std::vector<Handle> callStack_;
    StoredStrings storedStrings_ = StoredStrings::Copy;
    HostStatus hookInstallStatus_ = 0;
    int resolutions_ = 0;
    bool tornDown_ = false;

    friend struct HostMethods;
};

// An element: rectangle, surface, attributes and drawing hooks.
class Element {
public:
    ObjectId id() const { return id_; }
    ElementRect rect() const { return rect_; }
    void SetRect(ElementRect r) { rect_ = r; }
    int Width() const { return rect_.right - rect_.left; }
    int Height() const { return rect_.bottom - rect_.top; }
    int SurfaceWidth() const { return width_; }
    int SurfaceRows() const { return rows_; }
    int16_t Stride() const { return stride_; }
    uint8_t* Pixels() const { return pixels_; }  // the DIB's bits
    void* Dc() const { return dc_; }
    uint8_t* Row(int y) const;                   // surface row y, 0 = top
    uint8_t& At(int x, int y) const { return Row(y)[x]; }
    void Fill(uint8_t v) const;
    const std::vector<HookInfo>& Hooks() const { return hooks_; }
    int Refreshes() const { return refreshes_; }
    const std::vector<uint32_t>& RefreshFlags() const { return refreshFlags_; }
    void ClearRefreshes() {  // long runs: the log would grow with every refresh
        refreshes_ = 0;
        refreshFlags_.clear();
    }

    // Host side.
    std::vector<HookInfo>& MutableHooks() { return hooks_; }
    void NoteRefresh(uint32_t flag) { refreshes_++; refreshFlags_.push_back(flag); }
    Element(ObjectId id, const ElementSetup& setup);
    ~Element();
    Element(const Element&) = delete;
    Element& operator=(const Element&) = delete;
    bool ok() const { return pixels_ != nullptr; }
    // The surface sits between two guard zones of the same memory section;
    // false when something wrote into them. Restore() refills them.
    bool GuardsIntact() const;
    void RestoreGuards() const;

private:
    friend class Host;
    friend struct HostMethods;
    ObjectId id_;
    ElementRect rect_;
    int width_, rows_;
    int16_t stride_;
    uint8_t* pixels_ = nullptr;
    void* dc_ = nullptr;      // HDC
    void* bitmap_ = nullptr;  // HBITMAP
    void* oldBitmap_ = nullptr;
    void* section_ = nullptr;  // file mapping holding guard, pixels, guard
    uint8_t* view_ = nullptr;  // the host's own view of the whole section
    size_t imageBytes_ = 0;
    std::vector<HookInfo> hooks_;
    int refreshes_ = 0;
    std::vector<uint32_t> refreshFlags_;
};

}  // namespace hostsim
