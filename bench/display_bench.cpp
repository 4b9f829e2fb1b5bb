// display_bench [rounds] [path to zqbitmap.dll]: true-colour pictures drawn by
// the display hook into an 8-bit surface (the host simulator's draw), against
// the platform's own conversion of the same picture into a context holding an
// 8-bit section with the same colour table (SetDIBitsToDevice), which is not
// exact. The hook's pixels are checked against a brute-force search.
#include <windows.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "bench/bench.h"
#include "framework/host_value.h"
#include "bench/host_bench.h"

namespace bench {
namespace {

constexpr size_t kDisplayVariable = 20;

std::vector<uint32_t> Table332() {
    std::vector<uint32_t> t;
    for (int i = 0; i < 256; ++i) t.push_back(((i >> 5) * 255 / 7) << 16 | ((i >> 2 & 7) * 255 / 7) << 8 | (i & 3) * 85);
    return t;
}

int BruteNearest(const std::vector<uint32_t>& t, int r, int g, int b) {
    int best = 0, bestD = 1 << 30;
    for (int i = 0; i < 256; ++i) {
        const int dr = int(t[i] >> 16 & 255) - r, dg = int(t[i] >> 8 & 255) - g, db = int(t[i] & 255) - b;
        if (dr * dr + dg * dg + db * db < bestD) bestD = dr * dr + dg * dg + db * db, best = i;
    }
    return best;
}

// A photograph-like picture: smooth gradients with some grain, bottom-up.
// At 32 bits the alpha runs from clear to opaque across, with solid bands.
HBITMAP MakePhoto(int w, int h, int bits, void** pixels) {
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, h, 1, static_cast<WORD>(bits), BI_RGB, 0, 0, 0, 0, 0};
    HBITMAP b = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, pixels, nullptr, 0);
    Require(b && *pixels, "no picture to draw");
    std::mt19937 rng(1);
    const int step = bits / 8;
    const size_t stride = (static_cast<size_t>(w) * bits + 31) / 32 * 4;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = static_cast<uint8_t*>(*pixels) + y * stride + x * step;
            const double u = x * 6.0 / w, v = y * 4.0 / h;
            const int grain = static_cast<int>(rng() % 9) - 4;
            auto channel = [&](double c) {
                const int value = static_cast<int>(c) + grain;
                return static_cast<uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
            };
            p[0] = channel(128 + 110 * std::sin(u + 2 * v));
            p[1] = channel(128 + 100 * std::sin(1.7 * u - v + 1));
            p[2] = channel(128 + 120 * std::cos(0.8 * u + 1.3 * v));
            if (bits == 32) {
                const int band = x * 8 / w;
                p[3] = band == 0 ? 0 : band == 7 ? 255 : static_cast<uint8_t>(x * 255 / w);
            }
        }
    return b;
}

class Stage {
public:
    explicit Stage(const std::string& dll) {
        host_.SetErrorHandler([](const std::string& e) { Fail("host: " + e); });
        Require(host_.LoadDll(dll), "cannot load " + dll);
    }
    ~Stage() { host_.Teardown(); }
    Host& host() { return host_; }

    // An element of w x h on a surface with `colours`, showing `picture`.
    Element& Show(HBITMAP picture, int w, int h, const std::vector<uint32_t>& colours) {
        const ObjectId id = host_.NewElement({{0, 0, 1, 1}, w, h, false, colours});
        Require(id != 0, "no element");
        const ObjectId variable = host_.IdOf(host_.Create("zqBitmapVariable"));
        HostValue v = Host::Integer(static_cast<int32_t>(reinterpret_cast<uintptr_t>(picture)));
        Require(host_.SetAttributeById(variable, "value", &v) == 0, "the variable refused a picture");
        const Handle display = host_.Create("zqDisplayBitmap", id);
        host_.SetField(display, kDisplayVariable, Host::Reference(variable));
        Element& el = host_.ElementOf(id);
        Require(host_.Deliver(display, 301, 0) == 0 && el.Width() == w && el.Height() == h, "the display did not show");
        return el;
    }
    double Draw(Element& el) {
        std::vector<hostsim::DrawCall> calls;
        const double ms = Timed([&] { calls = host_.Draw(el.id()); });
        Require(calls.size() == 1 && calls[0].result == 1, "the hook did not draw");
        return ms;
    }

private:
    Host host_;
};

// The surface against the nearest colours of the picture's pixels; alpha
// pictures are checked at their clear and solid bands only.
void RequireNearest(const Element& el, const void* pixels, int w, int h, int bits, const std::vector<uint32_t>& t,
                    const std::vector<uint8_t>& before) {
    const size_t stride = (static_cast<size_t>(w) * bits + 31) / 32 * 4;
    std::vector<int16_t> memo(1 << 24, -1);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint8_t* p = static_cast<const uint8_t*>(pixels) + (h - 1 - y) * stride + x * (bits / 8);
            const int a = bits == 32 ? p[3] : 255;
            if (a != 0 && a != 255) continue;
            int want = before[static_cast<size_t>(y) * w + x];
            if (a == 255) {
                int16_t& m = memo[p[2] << 16 | p[1] << 8 | p[0]];
                if (m < 0) m = static_cast<int16_t>(BruteNearest(t, p[2], p[1], p[0]));
                want = m;
            }
            Require(el.At(x, y) == want, "the hook drew a colour that is not the nearest");
        }
}

void DisplayFigures(Stage& stage, int w, int h, int rounds, Table& table) {
    const std::vector<uint32_t> colours = Table332();
    std::vector<uint32_t> other = colours;
    other[0] = 0x010203;  // another palette: the matcher's work starts again
    void* bits24 = nullptr;
    void* bits32 = nullptr;
    const HBITMAP photo = MakePhoto(w, h, 24, &bits24);
    const HBITMAP clear = MakePhoto(w, h, 32, &bits32);
    Element& opaque = stage.Show(photo, w, h, colours);
    Element& blended = stage.Show(clear, w, h, colours);
    Element& elsewhere = stage.Show(photo, w, h, other);
    std::vector<uint8_t> under(static_cast<size_t>(w) * h);
    for (size_t i = 0; i < under.size(); ++i) under[i] = static_cast<uint8_t>(i * 7 / w);
    auto lay = [&](Element& el) {
        for (int y = 0; y < h; ++y) std::memcpy(el.Row(y), under.data() + static_cast<size_t>(y) * w, w);
    };

    // The platform's conversion into an 8-bit section with the same table.
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colours[256];
    } info8{};
    info8.header = {sizeof info8.header, w, -h, 1, 8, BI_RGB, 0, 0, 0, 256, 0};
    for (int i = 0; i < 256; ++i)
        info8.colours[i] = {static_cast<BYTE>(colours[i]), static_cast<BYTE>(colours[i] >> 8), static_cast<BYTE>(colours[i] >> 16), 0};
    void* bits8 = nullptr;
    HBITMAP section = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info8), DIB_RGB_COLORS, &bits8, nullptr, 0);
    HDC dc = CreateCompatibleDC(nullptr);
    const HGDIOBJ before = section && dc ? SelectObject(dc, section) : nullptr;
    Require(before, "no section for the baseline");
    BITMAPINFO info24{};
    info24.bmiHeader = {sizeof(BITMAPINFOHEADER), w, h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    const Contender platform = [&] {
        return Timed([&] {
            Require(SetDIBitsToDevice(dc, 0, 0, w, h, 0, 0, 0, h, bits24, &info24, DIB_RGB_COLORS) == h,
                    "SetDIBitsToDevice failed");
            GdiFlush();
        });
    };

    const Contender later = [&] {
        stage.Draw(opaque);  // the work for this palette is there
        lay(opaque);
        return stage.Draw(opaque);
    };
    const Contender first = [&] {
        stage.Draw(elsewhere);  // the process's matcher now holds another palette
        lay(opaque);
        return stage.Draw(opaque);
    };
    const Contender alpha = [&] {
        stage.Draw(blended);
        lay(blended);
        return stage.Draw(blended);
    };
    const std::string size = std::to_string(w) + "x" + std::to_string(h);
    table.Add("display " + size + " 24-bit", "SetDIBitsToDevice into an 8-bit section",
              Measure(rounds, later, {platform})[0], 1.0);
    table.Add("display " + size + " 24-bit, new palette", "SetDIBitsToDevice into an 8-bit section",
              Measure(rounds, first, {platform})[0], 2.0);
    table.Add("display " + size + " 32-bit alpha", "the same draw of the opaque 24-bit picture",
              Measure(rounds, alpha, {later})[0], 1.5);

    // Each contender did its work: exact indices, and how often the platform misses them.
    lay(opaque);
    stage.Draw(opaque);
    RequireNearest(opaque, bits24, w, h, 24, colours, under);
    lay(blended);
    stage.Draw(blended);
    RequireNearest(blended, bits32, w, h, 32, colours, under);
    platform();
    size_t missed = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) missed += static_cast<const uint8_t*>(bits8)[static_cast<size_t>(y) * ((w + 3) & ~3) + x] != opaque.At(x, y);
    std::printf("%s: SetDIBitsToDevice chose another index than the nearest for %.1f%% of the pixels\n", size.c_str(),
                100.0 * missed / (static_cast<double>(w) * h));

    SelectObject(dc, before);
    DeleteDC(dc);
    DeleteObject(section);
    DeleteObject(photo);
    DeleteObject(clear);
}

}  // namespace
}  // namespace bench

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 7;
    const std::string dll = argc > 2 ? argv[2] : bench::DllBesideProgram();
    if (rounds < 1) bench::Fail("rounds must be at least 1");
    bench::Table table;
    {
        bench::Stage stage(dll);
        bench::DisplayFigures(stage, 1920, 1080, rounds, table);
        bench::DisplayFigures(stage, 640, 480, rounds, table);
    }
    table.Print(rounds);
    return 0;
}
