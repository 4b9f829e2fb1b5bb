#pragma once
// A host with the import, save and bitmap variable components linked in, the
// platform probe around them, and a scratch folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "components/modifiers.h"
#include "framework/host_value.h"
#include "hostsim/testing.h"
#include "tests/components/import_save_support.h"
#include "tests/support/failing_calls.h"
#include "tests/support/platform_probe.h"

namespace io_test {

using hostsim::Handle;
using hostsim::Host;
using hostsim::ObjectId;

inline constexpr uint32_t kEvent = 301;

// Field offsets as the author's configuration sees them.
struct Layout {
    size_t showDialog, useFileName, fileName, bitmapVariable;
};
inline constexpr Layout kImportLayout{10, 14, 18, 60};
inline constexpr Layout kSaveLayout{52, 56, 60, 10};

struct Picture {
    int width = 0, height = 0;
};

class ImportSaveTest : public ::testing::Test {
protected:
    void SetUp() override {
        host.LoadLinked({{"zqImportBitmap", zqImportBitmap},
                         {"zqSaveBitmap", zqSaveBitmap},
                         {"zqBitmapVariable", zqBitmapVariable}});
        // The defaults blocks live as long as the process: not the actions' to free.
        for (const char* type : {"zqImportBitmap", "zqSaveBitmap"}) host.CallTypeSlot(type, 0, kSlotClassInit);
        probe.globals_.clear();
    }
    void TearDown() override {
        host.Teardown();
        EXPECT_EQ(probe.LiveHandles(), 0) << "left behind once every variable is gone: " << probe.LiveDcs()
                                          << " DCs, " << probe.LiveBitmaps() << " bitmaps, "
                                          << probe.LiveGlobals() << " global blocks, " << probe.OpenFiles()
                                          << " files";
        EXPECT_EQ(host.LiveBlocks(), 0);
        for (const std::string& e : probe.Errors()) ADD_FAILURE() << "platform: " << e;
    }

    ObjectId NewBitmapVariable() { return host.IdOf(host.Create("zqBitmapVariable")); }

    Handle NewModifier(const char* type, const Layout& at, bool showDialog, bool useFileName,
                       const HostValue& fileName, ObjectId bitmapVariable) {
        Handle h = host.Create(type);
        StoreAt(h, at.showDialog, BooleanValue{kTagBoolean, showDialog});
        StoreAt(h, at.useFileName, BooleanValue{kTagBoolean, useFileName});
        host.SetField(h, at.fileName, fileName);
        host.SetField(h, at.bitmapVariable, bitmapVariable ? Host::Reference(bitmapVariable) : Host::Empty());
        return h;
    }
    Handle NewImporter(bool showDialog, bool useFileName, const HostValue& fileName, ObjectId bitmapVariable) {
        return NewModifier("zqImportBitmap", kImportLayout, showDialog, useFileName, fileName, bitmapVariable);
    }
    Handle NewSaver(bool showDialog, bool useFileName, const HostValue& fileName, ObjectId bitmapVariable) {
        return NewModifier("zqSaveBitmap", kSaveLayout, showDialog, useFileName, fileName, bitmapVariable);
    }

    int16_t Fire(Handle modifier, const HostValue* carried = nullptr) {
        return host.Deliver(modifier, kEvent, 0, carried);
    }

    // An attribute of a bitmap variable, asked as the host asks it.
    int32_t Attribute(ObjectId variable, const char* name, int16_t preset = kTagInteger) {
        char name16[16] = {};
        std::memcpy(name16, name, std::min(std::strlen(name), sizeof name16));
        HostValue v{};
        SetInteger(&v, 0);
        v.tag = preset;
        Handle h = host.HandleOf(variable);
        host.CallSlot(h, 0, kSlotGetAttribute, h, static_cast<const char*>(name16), uint32_t{0}, &v);
        return IntegerPayload(&v);
    }
    HBITMAP Held(ObjectId variable) {
        return reinterpret_cast<HBITMAP>(static_cast<uintptr_t>(static_cast<uint32_t>(Attribute(variable, "value"))));
    }
    Picture PictureOf(ObjectId variable) { return {Attribute(variable, "width"), Attribute(variable, "height")}; }
    std::string TextOf(ObjectId stringVariable) { return Host::Text(host.VariableValue(stringVariable)); }

    // Fills a variable by importing `path` with a literal name.
    void Load(ObjectId variable, const std::string& path) {
        Handle importer = NewImporter(false, true, host.String(path), variable);
        ASSERT_EQ(Fire(importer), 0) << path;
        host.Destroy(importer);
    }

    PlatformProbe probe;    // outlives the host, which releases through it
    hostsim::TestHost host;
    TempFolder dir;
};

inline bool operator==(const Picture& a, const Picture& b) { return a.width == b.width && a.height == b.height; }
inline std::ostream& operator<<(std::ostream& o, const Picture& p) { return o << p.width << "x" << p.height; }

}  // namespace io_test
