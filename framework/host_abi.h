#pragma once
// Records and numbers whose layout the host fixes. The plug-in and the host
// simulator both build on these; every offset is asserted.
#include <cstddef>
#include <cstdint>

static_assert(sizeof(void*) == 4, "the host is a 32-bit process");

// Every slot callback and every host method uses the C calling convention.
#define HOSTAPI __cdecl

using HostStatus = int16_t;  // 0 = success
using SlotResult = int16_t;  // what a slot callback or a drawing hook answers

// Slot answers.
inline constexpr SlotResult kSlotDone = 0;
inline constexpr SlotResult kSlotDeclined = 1;    // not this component's message, refused, or failed
inline constexpr SlotResult kSlotInterested = 3;  // Activate: the instance wants its events

// Drawing-hook answers.
inline constexpr SlotResult kHookFinished = 1;  // drawn, or nothing there to draw
inline constexpr SlotResult kHookPassed = 0;    // nothing drawn into this draw: the element was resized, or the hook only reads

enum ValueTag : int16_t {
    kTagEmpty = 0,
    kTagInteger = 1,
    kTagPoint = 10,
    kTagFloat = 15,
    kTagBoolean = 20,
    kTagEvent = 23,
    kTagString = 102,
    kTagLongReference = 105,
    kTagAny = 106,  // request only: "give it in its own type"
    kTagMessageData = 110,
    kTagReference = 115,
    kTagObjectValue = 117,
};

#pragma pack(push, 1)

struct HostValue {        // 42 bytes, any kind
    int16_t tag;          // 0
    uint8_t payload[40];  // 2
};
static_assert(sizeof(HostValue) == 42);
static_assert(offsetof(HostValue, payload) == 2);

struct EventValue {      // an event field keeps 10 bytes
    int16_t tag;         // 0: kTagEvent
    uint32_t code;       // 2
    uint32_t qualifier;  // 6
};
static_assert(sizeof(EventValue) == 10);
static_assert(offsetof(EventValue, code) == 2);
static_assert(offsetof(EventValue, qualifier) == 6);

struct IntegerValue {  // an integer field keeps 6 bytes
    int16_t tag;       // 0: kTagInteger
    int32_t value;     // 2
};
static_assert(sizeof(IntegerValue) == 6);
static_assert(offsetof(IntegerValue, value) == 2);

struct BooleanValue {  // a boolean field keeps 4 bytes
    int16_t tag;       // 0: kTagBoolean
    int16_t value;     // 2: any non-zero value is on
};
static_assert(sizeof(BooleanValue) == 4);
static_assert(offsetof(BooleanValue, value) == 2);

struct PointValue {
    int16_t tag;  // 0: kTagPoint
    int16_t x;    // 2
    int16_t y;    // 4
};
static_assert(sizeof(PointValue) == 6);
static_assert(offsetof(PointValue, x) == 2);
static_assert(offsetof(PointValue, y) == 4);

struct FloatValue {
    int16_t tag;   // 0: kTagFloat
    double value;  // 2
};
static_assert(sizeof(FloatValue) == 10);
static_assert(offsetof(FloatValue, value) == 2);

inline constexpr int32_t kNoOwner = -1;

struct StringValue {    // the text block comes from the host's memory service
    int16_t tag;        // 0: kTagString
    int32_t owner;      // 2: who frees the text block; kNoOwner = nobody yet
    uint32_t capacity;  // 6: size of the text block in bytes
    uint32_t length;    // 10: characters, without the zero byte
    char* text;         // 14
};
static_assert(offsetof(StringValue, owner) == 2);
static_assert(offsetof(StringValue, capacity) == 6);
static_assert(offsetof(StringValue, length) == 10);
static_assert(offsetof(StringValue, text) == 14);
static_assert(sizeof(StringValue) == 18);

// Offsets of the object id inside the two reference kinds.
inline constexpr size_t kReferenceIdOffset = 2;       // tag 115
inline constexpr size_t kLongReferenceIdOffset = 10;  // tag 105
inline constexpr size_t kObjectValueIdOffset = 6;     // tag 117, written by the lookup

struct SlotEntry {       // also the shape of a host method entry
    void* function;      // 0
    int32_t word;        // 4: flags in a slot table, interface number in a method table
};
static_assert(sizeof(SlotEntry) == 8);

inline constexpr int kSlotRowCount = 32;

struct RegistrationRecord {
    char componentName[16];              // 0: no terminator when 16 characters long
    uint8_t unused16;                    // 16
    char baseClassName[16];              // 17
    uint8_t unused33;                    // 33
    int16_t baseCount;                   // 34
    SlotEntry* slotRows[kSlotRowCount];  // 36: row r starts at slotRows[r]
    uint8_t unused164[2];                // 164
    uint32_t instanceSize;               // 166
    uint32_t componentKind;              // 170
    int16_t phase;                       // 174
    uint32_t hostContext;                // 176
    void* services;                      // 180
};
static_assert(offsetof(RegistrationRecord, baseClassName) == 17);
static_assert(offsetof(RegistrationRecord, baseCount) == 34);
static_assert(offsetof(RegistrationRecord, slotRows) == 36);
static_assert(offsetof(RegistrationRecord, instanceSize) == 166);
static_assert(offsetof(RegistrationRecord, componentKind) == 170);
static_assert(offsetof(RegistrationRecord, phase) == 174);
static_assert(offsetof(RegistrationRecord, hostContext) == 176);
static_assert(offsetof(RegistrationRecord, services) == 180);
static_assert(sizeof(RegistrationRecord) == 184);

inline constexpr uint32_t kKindModifier = 1;
inline constexpr uint32_t kKindVariable = 5;

// Host objects: handle - 8 holds the base block B, B + 20 the primary
// interface P, P - 4 the class descriptor; any interface I has its own
// descriptor at I - 4.
struct Descriptor {
    SlotEntry** rows;          // 0: row r is an array of method entries
    int32_t* interfaceOffsets; // 4: byte offset of interface k from B
};
static_assert(sizeof(Descriptor) == 8);
inline constexpr int32_t kBaseOfHandle = -8;
inline constexpr int32_t kPrimaryInBase = 20;

struct MessageRecord {     // handed to HandleMessage; the host owns it
    uint8_t unused0[12];   // 0
    uint32_t eventCode;    // 12
    uint32_t qualifier;    // 16
    uint8_t unused20[18];  // 20
    HostValue value;       // 38: what the message carries
};
static_assert(offsetof(MessageRecord, eventCode) == 12);
static_assert(offsetof(MessageRecord, qualifier) == 16);
static_assert(offsetof(MessageRecord, value) == 38);
static_assert(sizeof(MessageRecord) == 80);

struct HookRecord {     // installs a drawing hook
    int16_t kind;       // 0: 1 display, 3 capture
    void* instance;     // 2: the modifier
    int16_t one;        // 6: always 1
    int16_t zero;       // 8: always 0
    uint32_t hookId;    // 10: written by the host
    uint32_t zero14;    // 14
    uint32_t zero18;    // 18
};
static_assert(offsetof(HookRecord, instance) == 2);
static_assert(offsetof(HookRecord, one) == 6);
static_assert(offsetof(HookRecord, hookId) == 10);
static_assert(sizeof(HookRecord) == 22);

struct ElementRect {  // right and bottom lie just outside the element
    int16_t left, top, right, bottom;
};
static_assert(sizeof(ElementRect) == 8);

struct DrawRecord {
    uint8_t unused0[8];  // 0
    ElementRect* rect;   // 8
};
static_assert(offsetof(DrawRecord, rect) == 8);
static_assert(sizeof(DrawRecord) == 12);

struct SurfaceRecord {    // one byte per pixel
    uint8_t unused0[22];  // 0
    int16_t rows;         // 22
    uint8_t unused24[2];  // 24
    int16_t stride;       // 26: negative when rows are stored bottom row first
    uint8_t* pixels;      // 28
    void* dc;             // 32: HDC of the surface, may be null
};
static_assert(offsetof(SurfaceRecord, rows) == 22);
static_assert(offsetof(SurfaceRecord, stride) == 26);
static_assert(offsetof(SurfaceRecord, pixels) == 28);
static_assert(offsetof(SurfaceRecord, dc) == 32);
static_assert(sizeof(SurfaceRecord) == 36);

#pragma pack(pop)

// The block a bitmap variable answers "bitmap" with, which the caller frees:
// bitsOffset (4 bytes), the 40-byte BITMAPINFOHEADER, P palette entries of 4
// bytes, 4 spare bytes, then the pixel rows bottom row first.
inline constexpr uint32_t kPackedDibInfoOffset = 4;
inline constexpr uint32_t kPackedDibFixedBytes = 48;
static_assert(kPackedDibFixedBytes == kPackedDibInfoOffset + 40 + 4);

// Slot numbers of a component's row 0 (and row 1 slot 0, the drawing hook).
// The host calls each one on its one thread, and the instance may be null in
// every slot. One line each: when; the arguments after the instance; the answer.
enum Slot : int16_t {
    kSlotConstruct = 7,         // after ClassInit, on a fresh block; none; kSlotDone
    kSlotAssign = 8,            // both constructed; const source; kSlotDone (source itself or null: no-op)
    kSlotDestruct = 9,          // last call for the instance; none; kSlotDone
    kSlotActivate = 13,         // the instance's scene starts; none; kSlotInterested
    kSlotDeactivate = 14,       // the scene stops; none; kSlotDone
    kSlotSavedSize = 17,        // before Save; stream, unused, int16* version, uint32* bytes; kSlotDone
    kSlotLoad = 18,             // constructed; stream, unused, version; kSlotDeclined unless version 0
    kSlotSave = 19,             // after SavedSize; stream; kSlotDone
    kSlotGetAttribute = 22,     // any time; 16-byte name, index, HostValue* tagged as asked; kSlotDone if answered
    kSlotSetAttribute = 23,     // any time; 16-byte name, index, HostValue*; kSlotDone if taken, else kSlotDeclined
    kSlotHandleMessage = 25,    // while active; const MessageRecord*; the action's answer, else kSlotDeclined
    kSlotCopyConstruct = 34,    // after ClassInit, destination a fresh block; const source; kSlotDone
    kSlotClassInit = 35,        // once per type, before its first Construct; no instance; kSlotDone
    kSlotEnumerateValues = 37,  // constructed; walk contexts A and B, passed on; kSlotDone
};
inline constexpr int16_t kHookRow = 1;
// While the host draws the hooked element; const DrawRecord*, const SurfaceRecord*; kHookFinished or kHookPassed.
inline constexpr int16_t kSlotHookCallback = 0;

// Services record: the handle of service n is at byte offset 4n.
enum ServiceNumber : int {
    kWalkService = 1,
    kValueService = 4,
    kMemoryService = 13,
    kConversionService = 15,
};
inline constexpr int kServiceCount = 20;

struct MethodId {
    int16_t row;
    int16_t column;
};

// Host methods, by the object they are called on.
namespace host_method {
inline constexpr MethodId kVisitValue{1, 4};          // WalkService
inline constexpr MethodId kGetAttributeById{1, 5};    // ValueService
inline constexpr MethodId kSetAttributeById{1, 6};
inline constexpr MethodId kAddElementHook{1, 7};
inline constexpr MethodId kCopyValue{1, 25};
inline constexpr MethodId kReleaseValue{1, 26};
inline constexpr MethodId kResolveReference{1, 28};
inline constexpr MethodId kRemoveElementHook{1, 36};
inline constexpr MethodId kAllocate{1, 14};           // MemoryService
inline constexpr MethodId kFree{1, 16};
inline constexpr MethodId kConvertValue{1, 0};        // ConversionService
inline constexpr MethodId kGetAttribute{0, 22};       // a component
inline constexpr MethodId kSetAttribute{0, 23};
inline constexpr MethodId kGetParentElement{0, 32};   // the calling instance
inline constexpr MethodId kSetEventInterest{0, 33};
inline constexpr MethodId kRefreshElement{0, 41};
inline constexpr MethodId kValueSize{1, 4};           // the stream object
inline constexpr MethodId kWriteValue{1, 5};
inline constexpr MethodId kReadValue{1, 6};
}  // namespace host_method

inline constexpr int16_t kInterestOn = 1;
inline constexpr int16_t kInterestOff = 2;
