// PNG and JPEG import and PNG export through the plug-in's codec route,
// against the platform's codecs doing the same work directly in this
// process; Pillow's decode of the same files is printed beside them.
#include <windows.h>
#include <wincodec.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench.h"
#include "bench/pillow.h"
#include "imaging/picture_files.h"

namespace bench {
namespace {

constexpr int kWidth = 1920, kHeight = 1080;
constexpr CLSID kImagingFactory = {0xcacaf262, 0x9370, 0x4615, {0xa1, 0x3b, 0x9f, 0x55, 0x39, 0xda, 0x4c, 0x0a}};

// What a camera gives, roughly: smooth light, edges, and a little grain, so
// that neither codec meets a picture it finds unusually easy.
HBITMAP MakePhoto() {
    BITMAPINFO info{};
    info.bmiHeader = {sizeof info.bmiHeader, kWidth, kHeight, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP b = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    Require(b && bits, "no section for the photograph");
    const size_t stride = (kWidth * 3 + 3) & ~3u;
    uint32_t grain = 12345;
    for (int y = 0; y < kHeight; ++y) {
        uint8_t* row = static_cast<uint8_t*>(bits) + y * stride;
        for (int x = 0; x < kWidth; ++x) {
            grain = grain * 1103515245u + 12345u;
            const int noise = static_cast<int>((grain >> 16) & 7) - 4;
            const double light = 0.5 + 0.5 * std::sin(x * 0.004) * std::cos(y * 0.006);
            const bool stripe = ((x + y) / 90) % 2 == 0;
            const int v[3] = {static_cast<int>(60 + 150 * light) + noise,
                              static_cast<int>(stripe ? 170 * light : 90 + 60 * light) + noise,
                              static_cast<int>(200 - 120 * light) + noise};
            for (int k = 0; k < 3; ++k) row[x * 3 + k] = static_cast<uint8_t>(v[k] < 0 ? 0 : v[k] > 255 ? 255 : v[k]);
        }
    }
    return b;
}

// The platform's codecs, called as any program would call them.
class Codecs {
public:
    Codecs() {
        Require(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)), "no COM");
        Require(SUCCEEDED(CoCreateInstance(kImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                           __uuidof(IWICImagingFactory), reinterpret_cast<void**>(&factory_))),
                "no imaging factory");
    }
    ~Codecs() {
        factory_->Release();
        CoUninitialize();
    }

    // Factory, decoder, frame, conversion to 24 bits, copy into a fresh
    // section: the decode every import needs.
    HBITMAP Decode(const std::wstring& path) {
        IWICImagingFactory* f = nullptr;
        Require(SUCCEEDED(CoCreateInstance(kImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                           __uuidof(IWICImagingFactory), reinterpret_cast<void**>(&f))),
                "no factory");
        IWICBitmapDecoder* decoder = nullptr;
        IWICBitmapFrameDecode* frame = nullptr;
        IWICFormatConverter* converter = nullptr;
        UINT w = 0, h = 0;
        bool ok = SUCCEEDED(f->CreateDecoderFromFilename(path.c_str(), nullptr, GENERIC_READ,
                                                          WICDecodeMetadataCacheOnDemand, &decoder)) &&
                  SUCCEEDED(decoder->GetFrame(0, &frame)) && SUCCEEDED(frame->GetSize(&w, &h)) &&
                  SUCCEEDED(f->CreateFormatConverter(&converter)) &&
                  SUCCEEDED(converter->Initialize(frame, GUID_WICPixelFormat24bppBGR, WICBitmapDitherTypeNone,
                                                  nullptr, 0.0, WICBitmapPaletteTypeCustom));
        HBITMAP section = nullptr;
        if (ok) {
            BITMAPINFO info{};
            info.bmiHeader = {sizeof info.bmiHeader, static_cast<LONG>(w), -static_cast<LONG>(h), 1, 24, BI_RGB,
                              0, 0, 0, 0, 0};
            void* bits = nullptr;
            section = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
            const UINT stride = (w * 3 + 3) & ~3u;
            ok = section && SUCCEEDED(converter->CopyPixels(nullptr, stride, stride * h, static_cast<BYTE*>(bits)));
        }
        if (converter) converter->Release();
        if (frame) frame->Release();
        if (decoder) decoder->Release();
        f->Release();
        Require(ok, "the platform's decode failed");
        return section;
    }

    // Stream, encoder, frame, the rows in one write, commits.
    void Encode(const std::wstring& path, const GUID& container, const std::vector<uint8_t>& rows, UINT stride) {
        IWICStream* stream = nullptr;
        IWICBitmapEncoder* encoder = nullptr;
        IWICBitmapFrameEncode* frame = nullptr;
        IPropertyBag2* options = nullptr;
        WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
        const bool ok = SUCCEEDED(factory_->CreateStream(&stream)) &&
                        SUCCEEDED(stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE)) &&
                        SUCCEEDED(factory_->CreateEncoder(container, nullptr, &encoder)) &&
                        SUCCEEDED(encoder->Initialize(stream, WICBitmapEncoderNoCache)) &&
                        SUCCEEDED(encoder->CreateNewFrame(&frame, &options)) &&
                        SUCCEEDED(frame->Initialize(options)) && SUCCEEDED(frame->SetSize(kWidth, kHeight)) &&
                        SUCCEEDED(frame->SetPixelFormat(&format)) &&
                        SUCCEEDED(frame->WritePixels(kHeight, stride, stride * kHeight,
                                                     const_cast<BYTE*>(rows.data()))) &&
                        SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit());
        if (options) options->Release();
        if (frame) frame->Release();
        if (encoder) encoder->Release();
        if (stream) stream->Release();
        Require(ok, "the platform's encode failed");
    }

private:
    IWICImagingFactory* factory_ = nullptr;
};

std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

// The photograph's rows top row first, as an encoder takes them.
std::vector<uint8_t> TopDownRows(HBITMAP picture, UINT* stride) {
    *stride = (kWidth * 3 + 3) & ~3u;
    std::vector<uint8_t> rows(static_cast<size_t>(*stride) * kHeight);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof info.bmiHeader, kWidth, -kHeight, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    HDC dc = CreateCompatibleDC(nullptr);
    const int lines = GetDIBits(dc, picture, 0, kHeight, rows.data(), &info, DIB_RGB_COLORS);
    DeleteDC(dc);
    Require(lines == kHeight, "cannot read the photograph");
    return rows;
}

// Top row first, 24 bits, whatever the section's order: what the two decodes
// must agree on.
std::vector<uint8_t> PixelsOf(HBITMAP b) {
    UINT stride;
    return TopDownRows(b, &stride);
}

}  // namespace

void CodecBenchmarks(int rounds, Table& table) {
    char dir[MAX_PATH];
    Require(GetTempPathA(MAX_PATH, dir) != 0, "no temporary folder");
    const std::string png = std::string(dir) + "zq_bench.png", jpeg = std::string(dir) + "zq_bench.jpg";
    const std::string out = std::string(dir) + "zq_bench_out.png", baselineOut = std::string(dir) + "zq_bench_base.png";
    Codecs codecs;
    const HBITMAP photo = MakePhoto();
    UINT stride;
    const std::vector<uint8_t> rows = TopDownRows(photo, &stride);
    codecs.Encode(Wide(png), GUID_ContainerFormatPng, rows, stride);
    codecs.Encode(Wide(jpeg), GUID_ContainerFormatJpeg, rows, stride);

    for (const auto& [name, path] : {std::pair{"PNG", png}, std::pair{"JPEG", jpeg}}) {
        const std::vector<uint8_t> expected = PixelsOf(codecs.Decode(Wide(path)));
        const Contender import = [&, path = path] {
            HBITMAP b = nullptr;
            const double ms = Timed([&] { Require(LoadPictureFile(path.c_str(), &b) == 1, "import failed"); });
            Require(PixelsOf(b) == expected, "the import gave other pixels than the platform's decode");
            DeleteObject(b);
            return ms;
        };
        const Contender platform = [&, path = path] {
            HBITMAP b = nullptr;
            const double ms = Timed([&] { b = codecs.Decode(Wide(path)); });
            DeleteObject(b);
            return ms;
        };
        const std::vector<Figures> f = Measure(rounds, import, {platform});
        table.Add(std::string("import 1920x1080 ") + name, "the codecs' decode into a section, in process", f[0], 1.1);
    }

    const Contender save = [&] {
        const double ms = Timed([&] { Require(SavePictureFile(out.c_str(), photo) == 1, "export failed"); });
        HBITMAP back = nullptr;
        Require(LoadPictureFile(out.c_str(), &back) == 1 && PixelsOf(back) == rows, "export wrote other pixels");
        DeleteObject(back);
        return ms;
    };
    const Contender encode = [&] {
        return Timed([&] { codecs.Encode(Wide(baselineOut), GUID_ContainerFormatPng, rows, stride); });
    };
    const std::vector<Figures> f = Measure(rounds, save, {encode});
    table.Add("export 1920x1080 PNG", "the codecs' encode of the same rows", f[0], 1.1);
    table.Print(rounds);

    // What a user would compare with: Pillow's decode of the same files.
    std::printf("\nPillow, the system Python's, decoding the same files (open and load), median of %d:\n", rounds);
    for (const std::string& line :
         RunPillow({"decode", std::to_string(rounds), UnixPath(png), UnixPath(jpeg)}))
        std::printf("  %s ms\n", line.c_str());
    DeleteObject(photo);
    for (const std::string& f : {png, jpeg, out, baselineOut}) DeleteFileA(f.c_str());
}

}  // namespace bench

// codec_bench [rounds]
int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 7;
    if (rounds < 1) bench::Fail("rounds must be at least 1");
    bench::Table table;
    bench::CodecBenchmarks(rounds, table);
    return 0;
}
