// The entry points as the host drives them: phases 0, 1 and 2 on its record.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "components/modifiers.h"
#include "framework/host_calls.h"
#include "framework/registration.h"
#include "tests/support/components.h"
#include "tests/support/golden.h"

namespace {

using EntryPoint = void(HOSTAPI*)(RegistrationRecord*);

// A record as the host hands it over: poisoned, with two rows of slots.
struct Record {
    RegistrationRecord r;
    SlotEntry rows[2][64];
    Record() {
        std::memset(&r, 0xA5, sizeof r);
        std::memset(rows, 0xA5, sizeof rows);
        for (auto& row : r.slotRows) row = nullptr;
        r.slotRows[0] = rows[0];
        r.slotRows[1] = rows[1];
        r.baseCount = 0;
    }
    void Call(EntryPoint entry, int16_t phase, void* services) {
        r.phase = phase;
        r.services = services;
        entry(&r);
    }
    static bool Poisoned(const SlotEntry& e) {
        SlotEntry p;
        std::memset(&p, 0xA5, sizeof p);
        return std::memcmp(&e, &p, sizeof p) == 0;
    }
};

// The whole record after phases 0, 1 and 2, less the host's own pointers (the
// rows, the services), and every slot entry written.
std::string RegistrationImage(EntryPoint entry, void* services) {
    Record rec;
    std::ostringstream image;
    for (int16_t phase : {0, 1, 2}) {
        rec.Call(entry, phase, services);
        RegistrationRecord shown = rec.r;
        std::memset(shown.slotRows, 0, sizeof shown.slotRows);
        shown.services = nullptr;
        image << "phase " << phase << "\n" << HexImage(&shown, sizeof shown);
    }
    image << "slots: row slot flags\n";
    for (int row = 0; row < 2; ++row)
        for (int slot = 0; slot < 64; ++slot) {
            const SlotEntry& e = rec.rows[row][slot];
            if (Record::Poisoned(e)) continue;
            image << row << " " << slot << " " << e.word << (e.function ? "" : " without a function") << "\n";
        }
    return image.str();
}

class RegistrationImages : public ::testing::TestWithParam<Component> {};

TEST_P(RegistrationImages, LinkedEntryPoint) {
    int services[20] = {};
    ExpectGolden(std::string(GetParam().name) + ".registration", RegistrationImage(GetParam().entry, services));
    EXPECT_EQ(ServicesRecord(), services) << "phases 1 and 2 keep the host's services";
}

TEST_P(RegistrationImages, DllEntryPoint) {
    HMODULE dll = LoadLibraryA("zqbitmap.dll");
    ASSERT_NE(dll, nullptr);
    auto entry = reinterpret_cast<EntryPoint>(GetProcAddress(dll, GetParam().name));
    ASSERT_NE(entry, nullptr) << GetParam().name;
    int services[20] = {};
    ExpectGolden(std::string(GetParam().name) + ".registration", RegistrationImage(entry, services));
    FreeLibrary(dll);
}

INSTANTIATE_TEST_SUITE_P(EveryComponent, RegistrationImages, ::testing::ValuesIn(kComponents),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Registration, NameIsCutBeforeASpaceAndAtSixteenBytes) {
    struct Case {
        const char* name;
        const char bytes[16];
    } cases[] = {
        {"zqBitmapVariable", {'z', 'q', 'B', 'i', 't', 'm', 'a', 'p', 'V', 'a', 'r', 'i', 'a', 'b', 'l', 'e'}},
        {"zqBitmapVariableLonger", {'z', 'q', 'B', 'i', 't', 'm', 'a', 'p', 'V', 'a', 'r', 'i', 'a', 'b', 'l', 'e'}},
        {"zqDeleteFile", "zqDeleteFile"},
        {"abc def", "abc"},
        {" lead", " lead"},  // character 0 is always taken
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Record rec;
        CopyComponentName(&rec.r, c.name);
        EXPECT_EQ(0, std::memcmp(rec.r.componentName, c.bytes, 16));
        EXPECT_EQ(rec.r.unused16, 0xA5) << "byte 16 belongs to the host";
    }
}

TEST(Registration, PhaseEdgeCases) {
    int servicesA[20] = {}, servicesB[20] = {};

    // A second phase-1 call on a record that holds a base class changes nothing.
    Record rec;
    rec.Call(zqDeleteFile, 1, servicesA);
    std::memcpy(rec.r.baseClassName, "_Other\0\0\0\0\0\0\0\0\0", 16);
    rec.Call(zqDeleteFile, 1, servicesA);
    EXPECT_EQ(0, std::memcmp(rec.r.baseClassName, "_Other", 7));
    EXPECT_EQ(rec.r.baseCount, 1);

    // Phase 3 writes only the size and kind, and captures services.
    Record other;
    other.Call(zqScaleBitmap, 3, servicesB);
    EXPECT_EQ(other.r.instanceSize, 100u);
    EXPECT_EQ(other.r.componentKind, 1u);
    EXPECT_EQ(other.r.componentName[0], static_cast<char>(0xA5));
    EXPECT_EQ(other.r.baseCount, 0);
    EXPECT_TRUE(Record::Poisoned(other.rows[0][7]));
    EXPECT_EQ(ServicesRecord(), servicesB);

    // Phase 0 leaves the services copy alone.
    Record third;
    third.Call(zqSaveBitmap, 0, servicesA);
    EXPECT_EQ(ServicesRecord(), servicesB);

    // A base count already above the level keeps its class too.
    Record deeper;
    deeper.r.baseCount = 2;
    deeper.Call(zqPrintBitmap, 1, servicesA);
    EXPECT_EQ(deeper.r.baseCount, 2);
    EXPECT_EQ(deeper.r.baseClassName[0], static_cast<char>(0xA5));

    // A host that gives no row gets no entries written through it.
    Record rowless;
    rowless.r.slotRows[1] = nullptr;
    rowless.Call(zqDisplayBitmap, 2, servicesA);
    EXPECT_FALSE(Record::Poisoned(rowless.rows[0][25]));
    EXPECT_TRUE(Record::Poisoned(rowless.rows[1][0]));
}

}  // namespace
