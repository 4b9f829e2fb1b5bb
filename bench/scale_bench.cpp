// The resampler against Pillow's resize of the same picture; the scale and
// the capture as the host drives them (the DLL loaded by the host simulator)
// against the least any implementation must do: make the new picture in a
// fresh bitmap, and let the variable take its duplicate, made as the
// variable makes it.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench.h"
#include "bench/host_bench.h"
#include "bench/pillow.h"
#include "imaging/bitmaps.h"
#include "imaging/resample.h"

namespace bench {
namespace {

constexpr size_t kCaptureVariable = 10;
constexpr size_t kScaleVariable = 10, kScaleAmount = 52, kScaleInPixels = 94;
constexpr ResampleLayout kBgr{PixelFormat::Bgr24, 0, 0, 0};

// A section's rows for the resampler, top row first.
PixelRows RowsIn(const DIBSECTION& ds) {
    const ptrdiff_t stride = ds.dsBm.bmWidthBytes;
    auto* bits = static_cast<uint8_t*>(ds.dsBm.bmBits);
    return {bits + stride * (ds.dsBm.bmHeight - 1), -stride, ds.dsBm.bmWidth, ds.dsBm.bmHeight};
}

HBITMAP NewSection(int width, int height, int bits) {
    BITMAPINFOHEADER header{sizeof header, width, height, 1, static_cast<WORD>(bits), BI_RGB, 0, 0, 0, 0, 0};
    void* p = nullptr;
    HBITMAP b = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS, &p, nullptr, 0);
    Require(b && p, "no section");
    return b;
}

// Pillow's resize of a picture written once to a file, timed by the system
// Python between the rounds.
class Pillow {
public:
    explicit Pillow(const PixelRows& picture) : size_{picture.widthPx, picture.heightPx} {
        char dir[MAX_PATH];
        Require(GetTempPathA(MAX_PATH, dir) != 0, "no temporary folder");
        raw_ = std::string(dir) + "zq_scale_bench_picture.raw";
        out_ = std::string(dir) + "zq_scale_bench_resized.raw";
        FILE* f = std::fopen(raw_.c_str(), "wb");
        Require(f != nullptr, "cannot write the picture for Pillow");
        for (int y = 0; y < picture.heightPx; ++y)
            std::fwrite(picture.top + picture.strideBytes * y, 3, picture.widthPx, f);
        std::fclose(f);
    }
    ~Pillow() {
        DeleteFileA(raw_.c_str());
        DeleteFileA(out_.c_str());
    }

    // One resize under Pillow's clock; with `keep`, its pixels too (top row first).
    double ResizeMs(int w, int h, std::vector<uint8_t>* keep = nullptr) {
        std::vector<std::string> args = {"resize", UnixPath(raw_), std::to_string(size_.cx), std::to_string(size_.cy),
                                         std::to_string(w), std::to_string(h), w < size_.cx ? "box" : "bilinear"};
        if (keep) args.push_back(UnixPath(out_));
        const std::vector<std::string> answer = RunPillow(args);
        Require(answer.size() == 1 && std::atof(answer[0].c_str()) > 0, "Pillow gave no time");
        if (keep) {
            keep->assign(static_cast<size_t>(w) * h * 3, 0);
            FILE* f = std::fopen(out_.c_str(), "rb");
            Require(f && std::fread(keep->data(), 1, keep->size(), f) == keep->size(), "Pillow gave no picture");
            std::fclose(f);
        }
        return std::atof(answer[0].c_str());
    }

private:
    SIZE size_;
    std::string raw_, out_;
};

// The resampler into new memory, as Pillow's resize makes a new picture.
void ResamplerAgainstPillow(int rounds, Table& table) {
    const HBITMAP original = MakeDibSection(24, kWidth, kHeight);
    const PixelRows from = RowsIn(SectionOf(original));
    Pillow pillow{from};
    for (const int percent : {50, 150}) {
        const int w = kWidth * percent / 100, h = kHeight * percent / 100;
        // The same work: Pillow's pixels and ours agree within a level.
        std::vector<uint8_t> theirs, ours(static_cast<size_t>(w) * h * 3);
        pillow.ResizeMs(w, h, &theirs);
        Require(ResamplePixels(from, {ours.data(), w * 3, w, h}, kBgr), "the resampler failed");
        for (size_t i = 0; i < ours.size(); ++i)
            Require(std::abs(ours[i] - theirs[i]) <= 1, "the resampler and Pillow made other pixels");

        const Contender resample = [&] {
            std::unique_ptr<uint8_t[]> to;
            const double ms = Timed([&] {
                to.reset(new uint8_t[static_cast<size_t>(w) * h * 3]);
                Require(ResamplePixels(from, {to.get(), w * 3, w, h}, kBgr), "the resampler failed");
            });
            Require(std::memcmp(to.get(), ours.data(), ours.size()) == 0, "the resampler changed its mind");
            return ms;
        };
        const Contender resize = [&] { return pillow.ResizeMs(w, h); };
        table.Add("resample 1920x1080 24-bit to " + std::to_string(percent) + "%",
                  std::string("Pillow's resize, ") + (percent < 100 ? "BOX" : "BILINEAR"),
                  Measure(rounds, resample, {resize})[0], 1.0);
    }
    DeleteObject(original);
}

// The scale's message against the resampler into a fresh section of the new
// size plus the variable's store of it: its duplicate, the old picture
// deleted.
void Scale(HostBench& b, int rounds, Table& table) {
    const HBITMAP original = MakeDibSection(24, kWidth, kHeight);
    const PixelRows from = RowsIn(SectionOf(original));
    const ObjectId picture = b.NewVariable();
    for (const int percent : {50, 150}) {
        const int w = kWidth * percent / 100, h = kHeight * percent / 100;
        const Handle scale = b.host().Create("zqScaleBitmap");
        b.host().SetField(scale, kScaleVariable, Host::Reference(picture));
        b.host().SetField(scale, kScaleAmount, Host::Integer(percent));
        StoreAt(scale, kScaleInPixels, IntegerValue{kTagInteger, 0});  // a percentage
        const HBITMAP target = NewSection(w, h, 24);
        Require(ResamplePixels(from, RowsIn(SectionOf(target)), kBgr), "the resampler failed");
        const std::vector<uint8_t> expected = RowsOf(target);
        DeleteObject(target);

        const Contender message = [&] {
            b.Store(picture, original);  // back to full size
            const double ms = Timed([&] { Require(b.host().Deliver(scale, kAction, 0) == 0, "the scale failed"); });
            BITMAP bm{};
            Require(GetObjectA(b.Held(picture), sizeof bm, &bm) == sizeof bm && bm.bmWidth == w && bm.bmHeight == h,
                    "the scale made another size");
            Require(RowsOf(b.Held(picture)) == expected, "the scale made other pixels");
            return ms;
        };
        // Storing replaces the variable's picture: the old one is deleted.
        const Contender floor = [&] {
            HBITMAP kept = nullptr, old = DuplicateBitmap(original);
            const double ms = Timed([&] {
                const HBITMAP made = NewSection(w, h, 24);
                Require(ResamplePixels(from, RowsIn(SectionOf(made)), kBgr), "the resampler failed");
                kept = DuplicateBitmap(made);
                DeleteObject(old);
                DeleteObject(made);
            });
            Require(kept != nullptr, "no duplicate");
            DeleteObject(kept);
            return ms;
        };
        table.Add("scale 1920x1080 24-bit to " + std::to_string(percent) + "%",
                  "resampled into a new section, stored", Measure(rounds, message, {floor})[0], 1.1);
    }
    b.Store(picture, nullptr);
    DeleteObject(original);
}

// The capture's message against the surface's rows copied into a fresh
// bitmap compatible with the surface, plus the variable's duplicate of it.
void Capture(HostBench& b, int rounds, Table& table) {
    Element& el = b.NewElement({0, 0, kWidth, kHeight});
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) el.At(x, y) = static_cast<uint8_t>(x * 3 + y * 7);
    const ObjectId picture = b.NewVariable();
    const Handle capture = b.host().Create("zqCaptureBitmap", el.id());
    b.host().SetField(capture, kCaptureVariable, Host::Reference(picture));
    const HDC surface = static_cast<HDC>(el.Dc());

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
    const Contender floor = [&] {
        HBITMAP kept = nullptr;
        const double ms = Timed([&] {
            const HBITMAP made = CreateCompatibleBitmap(surface, kWidth, kHeight);
            const DIBSECTION ds = SectionOf(made);
            auto* bits = static_cast<uint8_t*>(ds.dsBm.bmBits);
            for (int y = 0; y < kHeight; ++y)  // bottom-up
                CopyBytes(bits + static_cast<size_t>(kHeight - 1 - y) * ds.dsBm.bmWidthBytes, el.Row(y), kWidth);
            kept = DuplicateBitmap(made);
            DeleteObject(made);
        });
        Require(kept != nullptr, "no duplicate");
        DeleteObject(kept);
        return ms;
    };
    table.Add("capture 1920x1080 8-bit", "rows into a new bitmap + its duplicate", Measure(rounds, message, {floor})[0],
              1.2);
    b.Store(picture, nullptr);
}

}  // namespace

void ScaleBenchmarks(const std::string& dll, int rounds, Table& table) {
    ResamplerAgainstPillow(rounds, table);
    HostBench b{dll};
    Capture(b, rounds, table);
    Scale(b, rounds, table);
}

}  // namespace bench
