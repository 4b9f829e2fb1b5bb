// Import and export timings of the BMP reader and writer against a raw read
// into fresh memory, a raw write of the same bytes and the platform's own
// LoadImageA. Run under Wine:  cmake/wine-run.sh build-files/bin/bmp_bench.exe [rounds]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "files/bmp_reader.h"
#include "files/bmp_writer.h"
#include "tests/support/dib_info.h"

namespace {

double Now() {
    static LARGE_INTEGER freq = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(freq.QuadPart);
}

// Median of `rounds` runs, in milliseconds.
double Time(int rounds, const std::function<void()>& run) {
    std::vector<double> ms;
    for (int i = 0; i < rounds; ++i) {
        double start = Now();
        run();
        ms.push_back(Now() - start);
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

HBITMAP MakeImage(int width, int height, int bits) {
    std::vector<uint8_t> block = DibInfoStorage(width, height, bits);
    auto* info = reinterpret_cast<BITMAPINFO*>(block.data());
    if (bits == 8) {
        info->bmiHeader.biClrUsed = 256;
        for (int i = 0; i < 256; ++i)
            info->bmiColors[i] = RGBQUAD{static_cast<BYTE>(i), static_cast<BYTE>(255 - i),
                                         static_cast<BYTE>(i * 3), 0};
    }
    void* p = nullptr;
    HBITMAP b = CreateDIBSection(nullptr, info, DIB_RGB_COLORS, &p, nullptr, 0);
    if (!b) return nullptr;
    const size_t stride = ((static_cast<size_t>(width) * bits + 31) / 32) * 4;
    auto* rows = static_cast<uint8_t*>(p);
    for (int y = 0; y < height; ++y)
        for (size_t i = 0; i < stride; ++i) rows[y * stride + i] = static_cast<uint8_t>(i * 3 + y * 7);
    return b;
}

long FileBytes(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA a;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &a)) return -1;
    return static_cast<long>(a.nFileSizeLow);
}

// The whole file into freshly allocated memory, as a reader that only reads would.
void RawRead(const std::string& path, long bytes) {
    HFILE f = _lopen(path.c_str(), OF_READ);
    void* buffer = VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (f == HFILE_ERROR || !buffer || _hread(f, buffer, bytes) != bytes) std::abort();
    VirtualFree(buffer, 0, MEM_RELEASE);
    _lclose(f);
}

void RawWrite(const std::string& path, const std::vector<uint8_t>& bytes) {
    HFILE f = _lcreat(path.c_str(), 0);
    if (f == HFILE_ERROR ||
        _hwrite(f, reinterpret_cast<LPCCH>(bytes.data()), static_cast<long>(bytes.size())) !=
            static_cast<long>(bytes.size()))
        std::abort();
    _lclose(f);
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 9;
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    struct Case {
        const char* name;
        int width, height, bits;
    } const kCases[] = {
        {"1920x1080  8-bit", 1920, 1080, 8},
        {"1920x1080 24-bit", 1920, 1080, 24},
        {"4096x4096 24-bit", 4096, 4096, 24},
    };
    std::printf("median of %d rounds, ms\n", rounds);
    std::printf("%-17s | %8s %8s %9s %7s %7s | %8s %8s %6s %10s\n", "", "import", "raw read",
                "LoadImage", "/raw", "/LoadI", "export", "raw wrt", "/raw", "converted");
    bool met = true;
    for (const auto& c : kCases) {
        const std::string path = std::string(dir) + "zq_bench.bmp";
        const std::string out = std::string(dir) + "zq_bench_out.bmp";
        HBITMAP image = MakeImage(c.width, c.height, c.bits);
        if (!image || SaveBmpFile(path.c_str(), image) != 1) return 2;
        const long bytes = FileBytes(path);
        std::vector<uint8_t> content(static_cast<size_t>(bytes));
        HFILE f = _lopen(path.c_str(), OF_READ);
        _hread(f, content.data(), bytes);
        _lclose(f);

        // Interleaved, so that every contender sees the same cache and memory state.
        std::vector<double> imp, raw, li, exp, rawW;
        for (int r = 0; r < rounds; ++r) {
            imp.push_back(Time(1, [&] {
                HBITMAP b = nullptr;
                if (LoadBmpFile(path.c_str(), &b) != 1) std::abort();
                DeleteObject(b);
            }));
            raw.push_back(Time(1, [&] { RawRead(path, bytes); }));
            li.push_back(Time(1, [&] {
                HANDLE h = LoadImageA(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0,
                                      LR_LOADFROMFILE | LR_CREATEDIBSECTION);
                if (!h) std::abort();
                DeleteObject(h);
            }));
            exp.push_back(Time(1, [&] {
                if (SaveBmpFile(out.c_str(), image) != 1) std::abort();
            }));
            rawW.push_back(Time(1, [&] { RawWrite(out, content); }));
        }
        auto median = [](std::vector<double> v) {
            std::sort(v.begin(), v.end());
            return v[v.size() / 2];
        };
        // The conversion path, for comparison: a device-dependent copy.
        HDC screen = GetDC(nullptr);
        HBITMAP ddb = CreateCompatibleBitmap(screen, c.width, c.height);
        HDC a = CreateCompatibleDC(screen), b = CreateCompatibleDC(screen);
        HGDIOBJ oa = SelectObject(a, image), ob = SelectObject(b, ddb);
        BitBlt(b, 0, 0, c.width, c.height, a, 0, 0, SRCCOPY);
        SelectObject(a, oa);
        SelectObject(b, ob);
        DeleteDC(a);
        DeleteDC(b);
        ReleaseDC(nullptr, screen);
        const double converted = Time(rounds, [&] {
            if (SaveBmpFile(out.c_str(), ddb) != 1) std::abort();
        });
        DeleteObject(ddb);

        const double mi = median(imp), mr = median(raw), ml = median(li), me = median(exp),
                     mw = median(rawW);
        std::printf("%-17s | %8.2f %8.2f %9.2f %7.2f %7.2f | %8.2f %8.2f %6.2f %10.2f\n", c.name, mi,
                    mr, ml, mi / mr, mi / ml, me, mw, me / mw, converted);
        met = met && mi <= ml && mi <= 1.5 * mr && me <= 1.3 * mw;
        DeleteObject(image);
        DeleteFileA(path.c_str());
        DeleteFileA(out.c_str());
    }
    std::printf("targets (import <= LoadImageA and <= 1.5x raw read; export <= 1.3x raw write): %s\n",
                met ? "met" : "NOT met");
    return 0;
}
