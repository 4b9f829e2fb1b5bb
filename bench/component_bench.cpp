// Display, capture and scale as the host drives them (the DLL loaded by the
// host simulator: a draw of the element, the component's message), against
// the platform doing the same work directly.
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench.h"
#include "framework/host_value.h"
#include "hostsim/host.h"

namespace bench {
namespace {

using hostsim::Element;
using hostsim::Handle;
using hostsim::Host;
using hostsim::ObjectId;

constexpr int kWidth = 1920, kHeight = 1080;
constexpr uint32_t kAction = 301;  // the default event of every modifier here

// Field offsets of the instances, as an author sets them.
constexpr size_t kDisplayVariable = 20;
constexpr size_t kCaptureVariable = 10;
constexpr size_t kScaleVariable = 10, kScaleAmount = 52, kScaleInPixels = 94;

// The bitmap's rows as GetDIBits gives them at its own depth: bottom row
// first, padded to 4 bytes, whatever the bitmap's own order.
std::vector<uint8_t> RowsOf(HBITMAP bitmap) {
    BITMAP bm{};
    Require(bitmap && GetObjectA(bitmap, sizeof bm, &bm) == sizeof bm, "no bitmap to read");
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colours[256];
    } info{};
    info.header = {sizeof info.header, bm.bmWidth, bm.bmHeight, 1, bm.bmBitsPixel, BI_RGB, 0, 0, 0, 0, 0};
    std::vector<uint8_t> rows(static_cast<size_t>((bm.bmWidth * bm.bmBitsPixel + 31) / 32 * 4) * bm.bmHeight);
    HDC dc = CreateCompatibleDC(nullptr);
    const int lines = GetDIBits(dc, bitmap, 0, bm.bmHeight, rows.data(), reinterpret_cast<BITMAPINFO*>(&info),
                                DIB_RGB_COLORS);
    DeleteDC(dc);
    Require(lines == bm.bmHeight, "cannot read a bitmap's rows");
    return rows;
}

class Bench {
public:
    explicit Bench(const std::string& dll) {
        host_.SetErrorHandler([](const std::string& e) { Fail("host: " + e); });
        Require(host_.LoadDll(dll), "cannot load " + dll);
    }
    ~Bench() { host_.Teardown(); }  // leaks fail the run

    Host& host() { return host_; }

    ObjectId NewVariable() { return host_.IdOf(host_.Create("zqBitmapVariable")); }
    // The variable keeps a copy; null empties it.
    void Store(ObjectId variable, HBITMAP bitmap) {
        HostValue v = Host::Integer(static_cast<int32_t>(reinterpret_cast<uintptr_t>(bitmap)));
        Require(host_.SetAttributeById(variable, "value", &v) == 0, "the variable refused a picture");
    }
    HBITMAP Held(ObjectId variable) {
        HostValue v = Host::Integer(0);
        Require(host_.GetAttributeById(variable, "value", &v) == 0, "the variable did not answer");
        return reinterpret_cast<HBITMAP>(static_cast<uintptr_t>(static_cast<uint32_t>(IntegerPayload(&v))));
    }
    Element& NewElement(ElementRect rect) {
        const ObjectId id = host_.NewElement({rect, kWidth, kHeight, false});
        Require(id != 0, "no element");
        return host_.ElementOf(id);
    }

private:
    Host host_;
};

// The display hook drawing an 8-bit picture into the element's surface, the
// picture's bytes copied in one go into the same surface.
void Display(Bench& b, int rounds, Table& table) {
    Element& el = b.NewElement({0, 0, 1, 1});
    const ObjectId picture = b.NewVariable();
    const HBITMAP original = MakeDibSection(kWidth, kHeight, 8);
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

// The capture's message taking the element's pixels into a variable, the
// surface's rows copied into memory that is already there.
void Capture(Bench& b, int rounds, Table& table) {
    Element& el = b.NewElement({0, 0, kWidth, kHeight});
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) el.At(x, y) = static_cast<uint8_t>(x * 3 + y * 7);
    const ObjectId picture = b.NewVariable();
    const Handle capture = b.host().Create("zqCaptureBitmap", el.id());
    b.host().SetField(capture, kCaptureVariable, Host::Reference(picture));
    std::vector<uint8_t> rows(static_cast<size_t>(kWidth) * kHeight, 1);

    const Contender message = [&] {
        b.Store(picture, nullptr);  // what it holds afterwards is this capture's
        const double ms = Timed([&] { Require(b.host().Deliver(capture, kAction, 0) == 0, "the capture failed"); });
        const HBITMAP got = b.Held(picture);
        BITMAP bm{};
        Require(got && GetObjectA(got, sizeof bm, &bm) == sizeof bm && bm.bmWidth == kWidth &&
                    bm.bmHeight == kHeight && bm.bmBitsPixel == 8,
                "the capture holds no 1920x1080 8-bit picture");
        const std::vector<uint8_t> taken = RowsOf(got);
        for (int y = 0; y < kHeight; ++y)
            Require(std::memcmp(taken.data() + (kHeight - 1 - y) * kWidth, el.Row(y), kWidth) == 0,
                    "the capture took other pixels");
        return ms;
    };
    const Contender copy = [&] {
        return Timed([&] {
            for (int y = 0; y < kHeight; ++y) CopyBytes(rows.data() + y * kWidth, el.Row(y), kWidth);
        });
    };
    table.Add("capture 1920x1080 8-bit", "memcpy of the surface's rows", Measure(rounds, message, {copy})[0], 1.5);
}

// The scale's message against StretchBlt of a copy of the same picture into
// a section of the new size, both already selected into contexts.
void Scale(Bench& b, int rounds, Table& table) {
    const HBITMAP original = MakeDibSection(kWidth, kHeight, 24);
    const HBITMAP twin = MakeDibSection(kWidth, kHeight, 24);  // selected below: the original must stay free
    const ObjectId picture = b.NewVariable();
    HDC from = CreateCompatibleDC(nullptr);
    HDC to = CreateCompatibleDC(nullptr);
    const HGDIOBJ fromBefore = from ? SelectObject(from, twin) : nullptr;
    Require(to && fromBefore, "no context for the baseline");
    SetStretchBltMode(to, COLORONCOLOR);  // as the plug-in stretches
    for (const int percent : {50, 150}) {
        const int w = kWidth * percent / 100, h = kHeight * percent / 100;
        const Handle scale = b.host().Create("zqScaleBitmap");
        b.host().SetField(scale, kScaleVariable, Host::Reference(picture));
        b.host().SetField(scale, kScaleAmount, Host::Integer(percent));
        StoreAt(scale, kScaleInPixels, IntegerValue{kTagInteger, 0});  // a percentage
        const HBITMAP target = MakeDibSection(w, h, 24);
        // Both stretch colour on colour: the same pixels come out.
        const HGDIOBJ before = SelectObject(to, target);
        Require(before && StretchBlt(to, 0, 0, w, h, from, 0, 0, kWidth, kHeight, SRCCOPY), "StretchBlt failed");
        SelectObject(to, before);  // read while selected nowhere
        const std::vector<uint8_t> expected = RowsOf(target);
        SelectObject(to, target);

        const Contender message = [&] {
            b.Store(picture, original);  // back to full size
            const double ms = Timed([&] { Require(b.host().Deliver(scale, kAction, 0) == 0, "the scale failed"); });
            BITMAP bm{};
            Require(GetObjectA(b.Held(picture), sizeof bm, &bm) == sizeof bm && bm.bmWidth == w && bm.bmHeight == h,
                    "the scale made another size");
            Require(RowsOf(b.Held(picture)) == expected, "the scale made other pixels");
            return ms;
        };
        const Contender stretch = [&] {
            return Timed([&] {
                Require(StretchBlt(to, 0, 0, w, h, from, 0, 0, kWidth, kHeight, SRCCOPY), "StretchBlt failed");
                GdiFlush();
            });
        };
        table.Add("scale 1920x1080 24-bit to " + std::to_string(percent) + "%",
                  "StretchBlt into a prepared section", Measure(rounds, message, {stretch})[0], 1.2);
        SelectObject(to, before);
        DeleteObject(target);
    }
    b.Store(picture, nullptr);
    SelectObject(from, fromBefore);
    DeleteDC(to);
    DeleteDC(from);
    DeleteObject(twin);
    DeleteObject(original);
}

}  // namespace

void ComponentBenchmarks(const std::string& dll, int rounds, Table& table) {
    Bench b{dll};
    Display(b, rounds, table);
    Capture(b, rounds, table);
    Scale(b, rounds, table);
}

}  // namespace bench
