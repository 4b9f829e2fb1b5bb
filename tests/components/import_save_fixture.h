#pragma once
// The import, save and bitmap variable components in the one component
// fixture, and a scratch folder.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/files.h"
#include "tests/support/component_fixture.h"
#include "tests/support/failing_calls.h"

namespace io_test {

using hostsim::Handle;
using hostsim::Host;
using hostsim::ObjectId;

inline constexpr uint32_t kEvent = 301;

struct Picture {
    int width = 0, height = 0;
};

class ImportSaveTest : public ComponentTest {
protected:
    ImportSaveTest() : ComponentTest({"zqImportBitmap", "zqSaveBitmap", "zqBitmapVariable"}) {}

    Handle NewModifier(const char* type, bool showDialog, bool useFileName, const HostValue& fileName,
                       ObjectId bitmapVariable) {
        Handle h = host.Create(type);
        StoreAt(h, FieldOffset(type, "showDialog"), BooleanValue{kTagBoolean, showDialog});
        StoreAt(h, FieldOffset(type, "useFileName"), BooleanValue{kTagBoolean, useFileName});
        host.SetField(h, FieldOffset(type, "fileName"), fileName);
        host.SetField(h, FieldOffset(type, "bitmapVariable"),
                      bitmapVariable ? Host::Reference(bitmapVariable) : Host::Empty());
        return h;
    }
    Handle NewImporter(bool showDialog, bool useFileName, const HostValue& fileName, ObjectId bitmapVariable) {
        return NewModifier("zqImportBitmap", showDialog, useFileName, fileName, bitmapVariable);
    }
    Handle NewSaver(bool showDialog, bool useFileName, const HostValue& fileName, ObjectId bitmapVariable) {
        return NewModifier("zqSaveBitmap", showDialog, useFileName, fileName, bitmapVariable);
    }

    int16_t Fire(Handle modifier, const HostValue* carried = nullptr) {
        return host.Deliver(modifier, kEvent, 0, carried);
    }

    Picture PictureOf(ObjectId variable) { return {Attribute(variable, "width"), Attribute(variable, "height")}; }
    std::string TextOf(ObjectId stringVariable) { return Host::Text(host.VariableValue(stringVariable)); }

    // Fills a variable by importing `path` with a literal name.
    void Load(ObjectId variable, const std::string& path) {
        Handle importer = NewImporter(false, true, host.String(path), variable);
        ASSERT_EQ(Fire(importer), 0) << path;
        host.Destroy(importer);
    }

    TempFolder dir;
};

inline bool operator==(const Picture& a, const Picture& b) { return a.width == b.width && a.height == b.height; }
inline std::ostream& operator<<(std::ostream& o, const Picture& p) { return o << p.width << "x" << p.height; }

}  // namespace io_test
