// The hostile host: every field of every modifier and every attribute of the
// bitmap variable crossed with every value a host can hand over, and the
// drawing hooks on hostile rectangles and surfaces, through the host
// simulator with the plug-in linked in. The cases come from the components'
// own field tables. Each must answer a defined slot result, write nothing
// outside its instance block or a surface (the simulator's guards), and leave
// no handle, global block or text block behind.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "components/modifiers.h"
#include "framework/host_value.h"
#include "hostsim/host.h"
#include "tests/support/gdi.h"
#include "tests/support/files.h"
#include "tests/hardening/contained_seam.h"
#include "tests/support/components.h"
#include "tests/support/platform_probe.h"

namespace {

using hostsim::Element;
using hostsim::Handle;
using hostsim::Host;
using hostsim::ObjectId;

constexpr size_t kFailuresShown = 30;
constexpr ElementRect kHome{4, 4, 28, 20};  // where each case starts: 24 x 16, the picture's size

// A 96 x 64 surface with the element at home.
hostsim::ElementSetup Surface(bool bottomUp) { return {kHome, 96, 64, bottomUp, {}}; }

enum class Tamper {
    None,
    Unterminated,     // no zero byte inside the text block
    LengthPastBlock,  // the length claims more than the block holds
    NoBlock,          // a length, and no text block at all
};

struct Hostile {
    std::string name;
    HostValue value{};
    std::string text{};  // strings: the characters
    Tamper tamper = Tamper::None;
    bool IsString() const { return value.tag == kTagString; }
};


// Attribute names as the host passes them: 16 bytes and zeros behind.
constexpr char kValueName[32] = "value";

HostValue WithPayload(int16_t tag, uint8_t fill) {
    HostValue v;
    std::memset(&v, fill, sizeof v);
    v.tag = tag;
    return v;
}

// A string value as a message record carries it: the text lives in `h`.
HostValue Carried(const Hostile& h) {
    if (!h.IsString()) return h.value;
    const auto n = static_cast<uint32_t>(h.text.size());
    StringValue s{kTagString, kNoOwner, n + 1, n, const_cast<char*>(h.text.c_str())};
    if (h.tamper == Tamper::Unterminated) s.capacity = n;
    if (h.tamper == Tamper::LengthPastBlock) s.length = n + 1000;
    if (h.tamper == Tamper::NoBlock) s = {kTagString, kNoOwner, 0, n, nullptr};
    HostValue v{};
    StoreAt(&v, 0, s);
    return v;
}

struct Ids {
    ObjectId picture, empty, deleted, unresolvable, text, integer, real, point, objectValue, modifier, element;
};

// Every value a host can put in a field or a message.
std::vector<Hostile> HostileValues(const Ids& ids) {
    std::vector<Hostile> out;
    const int16_t kTags[] = {kTagEmpty, kTagInteger, kTagPoint, kTagFloat, kTagBoolean, kTagEvent,
                             kTagLongReference, kTagAny, kTagMessageData, kTagReference, kTagObjectValue,
                             -1, 2, 99, 0x7FFF, std::numeric_limits<int16_t>::min()};
    for (const int16_t tag : kTags)
        for (const uint8_t fill : {0x00, 0xCD})
            out.push_back({"tag " + std::to_string(tag) + (fill ? " poison" : " zero"), WithPayload(tag, fill)});

    const struct {
        const char* name;
        ObjectId id;
    } kTargets[] = {{"the picture", ids.picture},    {"an empty bitmap variable", ids.empty},
                    {"a deleted variable", ids.deleted}, {"an unresolvable variable", ids.unresolvable},
                    {"a string variable", ids.text},   {"an integer variable of -1", ids.integer},
                    {"a float variable of NaN", ids.real},    {"a point variable", ids.point},
                    {"an object value", ids.objectValue}, {"a modifier", ids.modifier},
                    {"an element", ids.element},       {"id 0", 0},
                    {"id 0xFFFFFFFF", 0xFFFFFFFF}};
    for (const auto& t : kTargets) {
        out.push_back({std::string("reference to ") + t.name, Host::Reference(t.id)});
        out.push_back({std::string("long reference to ") + t.name, Host::LongReference(t.id)});
    }

    HostValue text{};
    text.tag = kTagString;
    const std::string kLong(300, 'a');
    for (const size_t n : {0, 1, 255, 256, 300})
        out.push_back({std::to_string(n) + " characters", text, kLong.substr(0, n)});
    out.push_back({"<player> and 250 characters", text, "<player>" + kLong.substr(0, 250)});
    out.push_back({"/<boot> and 250 characters", text, "/<boot>/" + kLong.substr(0, 250)});
    out.push_back({"20 characters, no terminator", text, kLong.substr(0, 20), Tamper::Unterminated});
    out.push_back({"300 characters, no terminator", text, kLong, Tamper::Unterminated});
    out.push_back({"length past the block", text, kLong.substr(0, 20), Tamper::LengthPastBlock});
    out.push_back({"length without a block", text, kLong.substr(0, 5), Tamper::NoBlock});

    const double kInf = std::numeric_limits<double>::infinity();
    for (const int32_t n : {-1, 0, 1, std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::min()})
        out.push_back({"integer " + std::to_string(n), Host::Integer(n)});
    for (const double d : {-1.0, -0.0, 0.0, 1e-310, 1e300, kInf, -kInf, std::nan("")})
        out.push_back({"float " + std::to_string(d), Host::Float(d)});
    for (const POINT p : {POINT{-1, -1}, POINT{0, 0}, POINT{32767, 32767}, POINT{-32768, 1}})
        out.push_back({"point " + std::to_string(p.x) + "," + std::to_string(p.y),
                       Host::Point(static_cast<int16_t>(p.x), static_cast<int16_t>(p.y))});
    for (const int16_t b : {0, 1, -1}) {
        HostValue v = Host::Boolean(false);
        StoreAt<int16_t>(&v, 2, b);
        out.push_back({"boolean " + std::to_string(b), v});
    }
    return out;
}

class HostileHost : public ::testing::Test {
protected:
    HostileHost() : seam_(probe_, folder_.path()), file_(folder_ / "picture.bmp") {}

    void SetUp() override {
        host_.SetErrorHandler([this](const std::string& e) { Fail("host: " + e); });
        std::vector<hostsim::Entry> entries;
        for (const Component& c : kComponents) entries.push_back({c.name, c.entry});
        host_.LoadLinked(entries);
        // The defaults blocks live as long as the process: made before any count.
        for (const Component& c : kComponents)
            if (c.type) host_.CallTypeSlot(c.name, 0, kSlotClassInit);
        element_ = host_.NewElement(Surface(false));
        original_ = gdi::MakeDibSection(8, 24, 16);
        ASSERT_TRUE(original_ && element_);

        ids_.picture = NewVariable(original_);
        ids_.empty = NewVariable(nullptr);
        ids_.deleted = NewVariable(nullptr);
        host_.Destroy(host_.HandleOf(ids_.deleted));
        ids_.unresolvable = NewVariable(original_);
        host_.SetUnresolvable(ids_.unresolvable);
        ids_.text = host_.NewStringVariable(file_);
        ids_.integer = host_.NewIntegerVariable(-1);
        ids_.real = host_.NewFloatVariable(std::nan(""));
        ids_.point = host_.NewPointVariable(3, 4);
        ids_.objectValue = host_.NewIntegerVariable(7);
        host_.SetAnswersObjectValue(ids_.objectValue);
        ids_.modifier = host_.IdOf(host_.Create("zqCaptureBitmap"));
        ids_.element = element_;
        hostile_ = HostileValues(ids_);
    }

    void TearDown() override {
        host_.Teardown();
        EXPECT_EQ(probe_.LiveGdiObjects(), 0);
        EXPECT_EQ(probe_.OpenFiles(), 0);
        for (const std::string& e : probe_.Errors()) Fail("platform: " + e);
        if (failures_ > kFailuresShown) ADD_FAILURE() << failures_ - kFailuresShown << " more failures";
        DeleteObject(original_);
    }

    void Fail(const std::string& what) {
        if (++failures_ <= kFailuresShown) ADD_FAILURE() << case_ << ": " << what;
    }
    void Expect(bool ok, const std::string& what) {
        if (!ok) Fail(what);
    }
    void ExpectDefined(int16_t result, const char* what) {
        Expect(result == 0 || result == 1, std::string(what) + " answered " + std::to_string(result));
    }
    void Report(const std::string& sweep) {
        std::printf("hostile host: %s: %d cases\n", sweep.c_str(), cases_);
        RecordProperty("cases", cases_);
    }

    ObjectId NewVariable(HBITMAP picture) {
        const ObjectId id = host_.IdOf(host_.Create("zqBitmapVariable"));
        HostValue v = Host::Integer(static_cast<int32_t>(reinterpret_cast<uintptr_t>(picture)));
        EXPECT_EQ(host_.SetAttributeById(id, "value", &v), 0);
        return id;
    }
    Element& El() { return host_.ElementOf(element_); }

    // The same start for every case: the picture, its file and the element
    // back in place, and what may be held now.
    struct Held {
        int handles, blocks;
    };
    Held Reset(const std::string& name) {
        case_ = name;
        ++cases_;
        HostValue v = Host::Integer(static_cast<int32_t>(reinterpret_cast<uintptr_t>(original_)));
        host_.SetAttributeById(ids_.picture, "value", &v);
        if (!FileExists(file_)) Expect(WriteFileBytes(file_, MakeBmp(24, 16, 8)), "no picture file");
        El().SetRect(kHome);
        El().ClearRefreshes();
        host_.ReleaseLentBlocks();
        host_.ForgetFreedBlocks();
        return {probe_.LiveHandles(), host_.LiveBlocks()};
    }
    void ExpectNothingLeft(const Held& before) {
        HostValue v = Host::Integer(0);
        host_.SetAttributeById(ids_.empty, "value", &v);  // an action may have stored a picture there
        host_.ReleaseLentBlocks();
        Expect(host_.LiveBlocks(hostsim::Side::Plugin) == 0, "text blocks from Allocate left live");
        Expect(host_.LiveBlocks() == before.blocks, "text blocks left live");
        Expect(probe_.LiveHandles() == before.handles, "handles left: " + std::to_string(probe_.LiveHandles()) +
                                                           " instead of " + std::to_string(before.handles));
        Expect(El().Hooks().empty(), "a drawing hook left installed");
    }

    // A setting that lets every action run to its end.
    void SetWorking(Handle m, const Field& f) {
        const std::string name = f.name;
        if (name == "useFileName") StoreAt(m, f.offset, BooleanValue{kTagBoolean, 1});
        if (name == "placement") StoreAt(m, f.offset, IntegerValue{kTagInteger, 1});  // uses the position
        if (f.kind != FieldKind::Value) return;
        if (name == "bitmapVariable") return host_.SetField(m, f.offset, Host::Reference(ids_.picture));
        if (name == "fileName") return host_.SetField(m, f.offset, StringOver(file_));
        if (name == "amount") return host_.SetField(m, f.offset, Host::Integer(50));
        if (name == "positionX" || name == "positionY") return host_.SetField(m, f.offset, Host::Float(0.5));
        Fail("no working setting for the value field " + name);
    }

    // `h` in field `f` as a host leaves it there.
    void SetHostile(Handle m, const Field& f, const Hostile& h) {
        uint8_t* at = m + f.offset;
        if (IsPlain(f.kind)) return;
        if (f.kind != FieldKind::Value) {
            const HostValue v = Carried(h);
            std::memcpy(at, &v, SizeOf(f.kind));
            return;
        }
        if (h.tamper == Tamper::NoBlock) {
            host_.SetField(m, f.offset, Host::Empty());
            const HostValue v = Carried(h);
            std::memcpy(at, &v, sizeof v);
            return;
        }
        host_.SetField(m, f.offset, h.IsString() ? Carried({h.name, h.value, h.text}) : h.value);
        if (!h.IsString() || h.tamper == Tamper::None) return;
        const auto s = LoadAt<StringValue>(at, 0);
        if (h.tamper == Tamper::Unterminated) s.text[s.length] = 'x';
        if (h.tamper == Tamper::LengthPastBlock) StoreAt<uint32_t>(at, offsetof(StringValue, length), s.length + 1000);
    }

    // One case: a fresh modifier on the element with working settings, one
    // field changed by `change`, then its events (each event field's code
    // and qualifier) carrying `carried`, a draw between the first and the
    // rest, and its end.
    template <class Change>
    void RunCase(const Component& c, const std::string& name, Change change, const HostValue& carried,
                 const std::vector<uint32_t>& extraCodes = {}) {
        const Held before = Reset(std::string(c.name) + ": " + name);
        const ModifierType& type = *c.type;
        const Handle m = host_.Create(c.name, element_);
        for (const Field& f : type.fields) SetWorking(m, f);
        change(m);
        bool first = true;
        for (const Field& f : type.fields) {
            if (f.kind != FieldKind::Event) continue;
            const auto event = LoadAt<EventValue>(m, f.offset);
            ExpectDefined(host_.Deliver(m, event.code, event.qualifier, &carried), "the event");
            if (std::exchange(first, false) && type.hookCallback)
                for (const hostsim::DrawCall& d : host_.Draw(element_)) ExpectDefined(d.result, "the hook");
        }
        for (const uint32_t code : extraCodes) ExpectDefined(host_.Deliver(m, code, 0, &carried), "a stray message");
        host_.Destroy(m);
        ExpectNothingLeft(before);
    }

    TempFolder folder_;
    PlatformProbe probe_;  // outlives the host, which releases through it
    ContainedSeam seam_;
    Host host_;
    std::string file_;
    HBITMAP original_ = nullptr;
    ObjectId element_ = 0;
    Ids ids_{};
    std::vector<Hostile> hostile_;
    std::string case_;
    int cases_ = 0;
    size_t failures_ = 0;
};

// --- every field of every modifier ---

class HostileFields : public HostileHost, public ::testing::WithParamInterface<Component> {};

TEST_P(HostileFields, EveryValueInEveryField) {
    const Component& c = GetParam();
    for (const Field& f : c.type->fields) {
        const std::string field = std::string(f.name) + " = ";
        if (IsPlain(f.kind)) {
            // The plug-in's own bytes: a host may hand over a block no Construct has seen.
            for (const uint8_t fill : {uint8_t{0x00}, uint8_t{0xFF}, hostsim::kPoison})
                RunCase(c, field + "bytes " + std::to_string(fill),
                        [&](Handle m) { std::memset(m + f.offset, fill, SizeOf(f.kind)); }, Host::Empty());
            continue;
        }
        for (const Hostile& h : hostile_)
            RunCase(c, field + h.name, [&](Handle m) { SetHostile(m, f, h); }, Host::Empty());
    }
    Report(std::string(c.name) + ", fields");
}

// Every value field set to take the message's data, and working settings
// with stray codes, each message carrying every value.
TEST_P(HostileFields, EveryValueCarriedByAMessage) {
    const Component& c = GetParam();
    for (const Field& f : c.type->fields)
        if (f.kind == FieldKind::Value)
            for (const Hostile& h : hostile_)
                RunCase(c, std::string(f.name) + " = message data, carrying " + h.name,
                        [&](Handle m) { host_.SetField(m, f.offset, Host::MessageData()); }, Carried(h));
    for (const Hostile& h : hostile_)
        RunCase(c, "a message carrying " + h.name, [](Handle) {}, Carried(h), {0, 0xFFFFFFFF, 2002});
    Report(std::string(c.name) + ", messages");
}

INSTANTIATE_TEST_SUITE_P(Modifiers, HostileFields, ::testing::ValuesIn(Modifiers()),
                         [](const ::testing::TestParamInfo<Component>& info) { return std::string(info.param.name); });

// --- every attribute of the bitmap variable ---

class HostileAttributes : public HostileHost, public ::testing::WithParamInterface<bool> {};

// Reading with each value preset as the request, or writing each value;
// holding a picture or not.
TEST_P(HostileAttributes, EveryValueInEveryAttributeOfTheBitmapVariable) {
    const bool write = GetParam();
    struct Name {
        const char* label;
        char bytes[32];
    };
    const Name kNames[] = {{"value", "value"}, {"width", "width"}, {"height", "height"}, {"bitmap", "bitmap"},
                           {"VALUE", "VALUE"}, {"empty", ""},      {"valuex", "valuex"},
                           {"value, bytes behind the zero", {'v', 'a', 'l', 'u', 'e', 0, 'x'}},
                           {"16 characters", {'v', 'a', 'l', 'u', 'e', 'v', 'a', 'l', 'u', 'e', 'v', 'a', 'l', 'u', 'e', 's', 'x'}}};
    // Handles a writer may pass: none, junk, objects of other kinds, a deleted
    // bitmap, and bitmaps of every kind.
    HDC dc = CreateCompatibleDC(nullptr);
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    HBITMAP gone = gdi::MakeDibSection(24, 3, 3);
    DeleteObject(gone);
    std::vector<HBITMAP> pictures{gdi::MakeDibSection(1, 9, 3), gdi::MakeDibSection(32, 2, 5), gdi::MakeDeviceBitmap(5, 4),
                                  gdi::MakeMonoBitmap(17, 2)};
    std::vector<Hostile> values = hostile_;
    const struct {
        const char* name;
        const void* handle;
    } kHandles[] = {{"handle 1", reinterpret_cast<void*>(1)}, {"handle -1", reinterpret_cast<void*>(-1)},
                    {"a device context", dc}, {"a brush", brush}, {"a deleted bitmap", gone},
                    {"a 1-bit section", pictures[0]}, {"a 32-bit section", pictures[1]},
                    {"a device bitmap", pictures[2]}, {"a mono bitmap", pictures[3]}};
    for (const auto& k : kHandles)
        values.push_back({k.name, Host::Integer(static_cast<int32_t>(reinterpret_cast<uintptr_t>(k.handle)))});

    const Handle variable = host_.Create("zqBitmapVariable");
    values.push_back({"long reference to itself", Host::LongReference(host_.IdOf(variable))});
    for (const Name& n : kNames)
        for (const Hostile& h : values)
            for (const bool holding : {false, true}) {
                const Held before = Reset(std::string(write ? "write " : "read ") + n.label + " = " + h.name +
                                          (holding ? ", holding a picture" : ""));
                HostValue put = Host::Integer(holding ? static_cast<int32_t>(reinterpret_cast<uintptr_t>(original_)) : 0);
                host_.CallSlot(variable, 0, kSlotSetAttribute, variable, kValueName, 0u, &put);
                HostValue given = Carried(h);  // a read's request preset, or the value written
                const int16_t r = host_.CallSlot(variable, 0, write ? kSlotSetAttribute : kSlotGetAttribute,
                                                 variable, n.bytes, 0u, &given);
                // A long reference answers what the host's conversion answered.
                const bool converted = write && h.value.tag == kTagLongReference && r >= 2 && r <= 4;
                Expect(r == 0 || r == 1 || converted, "the attribute slot answered " + std::to_string(r));
                if (!write && r == 0) Expect(given.tag == kTagInteger, "an answer that is no integer");
                if (!write && r == 0 && std::strcmp(n.label, "bitmap") == 0 && IntegerPayload(&given) != 0)
                    sys().GlobalFree(reinterpret_cast<HGLOBAL>(static_cast<uintptr_t>(IntegerPayload(&given))));
                HostValue empty = Host::Integer(0);
                host_.CallSlot(variable, 0, kSlotSetAttribute, variable, kValueName, 0u, &empty);
                ExpectNothingLeft(before);
            }
    // Null name and null value.
    HostValue v = Host::Integer(0);
    Reset("null name and value");
    ExpectDefined(host_.CallSlot(variable, 0, kSlotGetAttribute, variable, static_cast<const char*>(nullptr), 0u, &v), "GetAttribute");
    ExpectDefined(host_.CallSlot(variable, 0, kSlotSetAttribute, variable, static_cast<const char*>(nullptr), 0u, &v), "SetAttribute");
    ExpectDefined(host_.CallSlot(variable, 0, kSlotGetAttribute, variable, kValueName, 0u, static_cast<HostValue*>(nullptr)), "GetAttribute");
    ExpectDefined(host_.CallSlot(variable, 0, kSlotSetAttribute, variable, kValueName, 0u, static_cast<HostValue*>(nullptr)), "SetAttribute");
    Report(write ? "zqBitmapVariable, writes" : "zqBitmapVariable, reads");

    for (HBITMAP p : pictures) DeleteObject(p);
    DeleteObject(brush);
    DeleteDC(dc);
}

INSTANTIATE_TEST_SUITE_P(BitmapVariable, HostileAttributes, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Write" : "Read"; });

// --- the drawing hooks on hostile rectangles and surfaces ---

TEST_F(HostileHost, DrawingHooksOnHostileRectanglesAndSurfaces) {
    const struct {
        const char* name;
        ElementRect rect;
    } kRects[] = {
        {"empty", {10, 10, 10, 10}},
        {"negative size", {30, 20, 10, 5}},
        {"over the top left corner", {-20, -10, 4, 6}},
        {"over the bottom right corner", {90, 60, 114, 76}},
        {"right of the surface", {200, 10, 224, 26}},
        {"above and left of the surface", {-100, -80, -76, -64}},
        {"larger than the surface", {-8, -8, 104, 72}},
        {"the whole surface", {0, 0, 96, 64}},
        {"the whole coordinate range", {-32768, -32768, 32767, 32767}},
        {"a width that wraps", {32000, 0, -32000, 16}},
    };
    for (const Component& c : kComponents) {
        if (!c.type || !c.type->hookCallback) continue;
        for (const bool bottomUp : {false, true}) {
            const ObjectId surface = host_.NewElement(Surface(bottomUp));
            Element& el = host_.ElementOf(surface);
            for (const auto& r : kRects) {
                // The picture has the rectangle's size where one can, so the display copies.
                const int w = r.rect.right - r.rect.left, h = r.rect.bottom - r.rect.top;
                HBITMAP sized = w > 0 && h > 0 && w <= 256 && h <= 256 ? gdi::MakeDibSection(8, w, h) : nullptr;
                const Held before = Reset(std::string(c.name) + (bottomUp ? ", bottom-up, " : ", top-down, ") + r.name);
                if (sized) {
                    HostValue v = Host::Integer(static_cast<int32_t>(reinterpret_cast<uintptr_t>(sized)));
                    host_.SetAttributeById(ids_.picture, "value", &v);
                    DeleteObject(sized);
                }
                const Handle m = host_.Create(c.name, surface);
                host_.SetField(m, FieldOffset(*c.type, "bitmapVariable"), Host::Reference(ids_.picture));
                el.SetRect(r.rect);
                ExpectDefined(host_.Deliver(m, 301, 0), "the event");  // the capture draws in here
                el.SetRect(r.rect);  // the display sized the element to its picture
                for (const hostsim::DrawCall& d : host_.Draw(surface)) ExpectDefined(d.result, "the hook");
                host_.Destroy(m);
                Expect(el.Hooks().empty(), "a drawing hook left installed");
                ExpectNothingLeft(before);
            }
            // Surface records that hold no pixels, and missing records.
            const struct {
                const char* name;
                int16_t rows, stride;
                bool pixels, dc, rect, record;
            } kSurfaces[] = {
                {"no rows", 0, el.Stride(), true, true, true, true},
                {"negative rows", -5, el.Stride(), true, true, true, true},
                {"stride 0", static_cast<int16_t>(el.SurfaceRows()), 0, true, true, true, true},
                {"no pixels", static_cast<int16_t>(el.SurfaceRows()), el.Stride(), false, true, true, true},
                {"no device context", static_cast<int16_t>(el.SurfaceRows()), el.Stride(), true, false, true, true},
                {"no rectangle", static_cast<int16_t>(el.SurfaceRows()), el.Stride(), true, true, false, true},
                {"no records", static_cast<int16_t>(el.SurfaceRows()), el.Stride(), true, true, true, false},
            };
            for (const auto& s : kSurfaces) {
                const Held before = Reset(std::string(c.name) + (bottomUp ? ", bottom-up, " : ", top-down, ") + s.name);
                const Handle m = host_.Create(c.name, surface);
                host_.SetField(m, FieldOffset(*c.type, "bitmapVariable"), Host::Reference(ids_.picture));
                ElementRect rect{2, 2, 26, 18};  // the picture's size
                DrawRecord draw;
                std::memset(&draw, hostsim::kPoison, sizeof draw);
                draw.rect = s.rect ? &rect : nullptr;
                SurfaceRecord record;
                std::memset(&record, hostsim::kPoison, sizeof record);
                record.rows = s.rows;
                record.stride = s.stride;
                record.pixels = s.pixels ? el.Pixels() : nullptr;
                record.dc = s.dc ? el.Dc() : nullptr;
                const int16_t result =
                    s.record ? host_.CallSlot(m, kHookRow, kSlotHookCallback, m, &draw, &record)
                             : host_.CallSlot(m, kHookRow, kSlotHookCallback, m, static_cast<DrawRecord*>(nullptr),
                                              static_cast<SurfaceRecord*>(nullptr));
                ExpectDefined(result, "the hook");
                Expect(el.GuardsIntact(), "a write outside the surface");
                host_.Destroy(m);
                ExpectNothingLeft(before);
            }
        }
    }
    Report("drawing hooks");
}

}  // namespace
