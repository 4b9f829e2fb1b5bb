// Display as the host drives it (the DLL loaded by the host simulator: a
// draw of the element), against the platform doing the same work directly.
// Capture and scale are in scale_bench.cpp.
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench.h"
#include "bench/host_bench.h"

namespace bench {
namespace {

// Field offsets of the instances, as an author sets them.
constexpr size_t kDisplayVariable = 20;

using Bench = HostBench;

// The display hook drawing an 8-bit picture into the element's surface, the
// picture's bytes copied in one go into the same surface.
void Display(Bench& b, int rounds, Table& table) {
    Element& el = b.NewElement({0, 0, 1, 1});
    const ObjectId picture = b.NewVariable();
    const HBITMAP original = MakeDibSection(8, kWidth, kHeight);
    b.Store(picture, original);
    DeleteObject(original);
    const Handle display = b.host().Create("zqDisplayBitmap", el.id());
    b.host().SetField(display, kDisplayVariable, Host::Reference(picture));
    // Showing sizes the element to the picture and installs the hook.
    Require(b.host().Deliver(display, kAction, 0) == 0 && el.Width() == kWidth && el.Height() == kHeight,
            "the display did not take the picture's size");
    const DIBSECTION shown = SectionOf(b.Held(picture));
    const auto* bits = static_cast<const uint8_t*>(shown.dsBm.bmBits);
    const size_t bytes = static_cast<size_t>(kWidth) * kHeight;
    Require(shown.dsBm.bmWidthBytes == kWidth && std::abs(el.Stride()) == kWidth, "rows are padded");

    const Contender draw = [&] {
        el.Fill(0);
        std::vector<hostsim::DrawCall> calls;
        const double ms = Timed([&] { calls = b.host().Draw(el.id()); });
        Require(calls.size() == 1 && calls[0].result == 1, "the hook did not draw");
        for (int y = 0; y < kHeight; ++y)  // the picture's bottom row lands on the element's
            Require(std::memcmp(el.Row(y), bits + (kHeight - 1 - y) * kWidth, kWidth) == 0, "the hook drew other rows");
        return ms;
    };
    const Contender copy = [&] {
        el.Fill(0);
        return Timed([&] { CopyBytes(el.Pixels(), bits, bytes); });
    };
    table.Add("display 1920x1080 8-bit", "memcpy of the same bytes into the surface",
              Measure(rounds, draw, {copy})[0], 1.2);
}

}  // namespace

void ComponentBenchmarks(const std::string& dll, int rounds, Table& table) {
    Bench b{dll};
    Display(b, rounds, table);
}

}  // namespace bench
