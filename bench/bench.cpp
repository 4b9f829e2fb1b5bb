#include "bench/bench.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

namespace bench {

double NowMs() {
    static const LARGE_INTEGER freq = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(freq.QuadPart);
}

void Fail(const std::string& what) {
    std::fprintf(stderr, "bench: %s\n", what.c_str());
    std::fflush(stdout);
    std::exit(2);
}

namespace {

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

std::vector<Figures> Measure(int rounds, const Contender& plugin, const std::vector<Contender>& baselines) {
    std::vector<Contender> all{plugin};
    all.insert(all.end(), baselines.begin(), baselines.end());
    const size_t n = all.size();
    std::vector<std::vector<double>> ms(n);
    for (int round = -1; round < rounds; ++round) {
        std::vector<double> taken(n);
        for (size_t i = 0; i < n; ++i) {
            const size_t who = (static_cast<size_t>(round + 1) + i) % n;
            taken[who] = all[who]();
        }
        if (round < 0) continue;  // warm-up: first calls, first faults
        for (size_t who = 0; who < n; ++who) ms[who].push_back(taken[who]);
    }
    std::vector<Figures> out;
    for (size_t b = 1; b < n; ++b) {
        std::vector<double> ratios;
        for (int r = 0; r < rounds; ++r) ratios.push_back(ms[0][r] / ms[b][r]);
        const auto [low, high] = std::minmax_element(ratios.begin(), ratios.end());
        out.push_back({Median(ms[0]), Median(ms[b]), Median(ratios), *low, *high});
    }
    return out;
}

void Table::Add(std::string what, std::string against, const Figures& f, double target) {
    rows_.push_back({std::move(what), std::move(against), f, target});
}

void Table::Print(int rounds) const {
    std::printf("median of %d interleaved rounds, ms; ratio = plug-in / baseline, the median of the rounds' ratios\n\n",
                rounds);
    std::printf("%-32s %9s %9s %6s %12s %7s  %-4s %s\n", "", "plug-in", "baseline", "ratio", "rounds' range",
                "target", "met", "baseline");
    int missed = 0;
    for (const Row& r : rows_) {
        const bool met = r.f.ratio <= r.target;
        missed += !met;
        char range[32];
        std::snprintf(range, sizeof range, "%.2f-%.2f", r.f.lowest, r.f.highest);
        std::printf("%-32s %9.2f %9.2f %6.2f %12s %7.2f  %-4s %s\n", r.what.c_str(), r.f.pluginMs, r.f.baselineMs,
                    r.f.ratio, range, r.target, met ? "yes" : "NO", r.against.c_str());
    }
    std::printf("\n%d of %d targets met\n", static_cast<int>(rows_.size()) - missed, static_cast<int>(rows_.size()));
}

void CopyBytes(void* to, const void* from, size_t bytes) { std::memcpy(to, from, bytes); }

// The DLL beside this program, as the build leaves it.
std::string DllBesideProgram() {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir(path, n);
    return dir.substr(0, dir.find_last_of("\\/") + 1) + "zqbitmap.dll";
}


HBITMAP MakeDibSection(int bits, int width, int height) {
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colours[256];
    } info{};
    info.header.biSize = sizeof info.header;
    info.header.biWidth = width;
    info.header.biHeight = height;  // positive: bottom-up
    info.header.biPlanes = 1;
    info.header.biBitCount = static_cast<WORD>(bits);
    info.header.biCompression = BI_RGB;
    if (bits == 8) {
        info.header.biClrUsed = 256;
        for (int i = 0; i < 256; ++i)
            info.colours[i] = {static_cast<BYTE>(i), static_cast<BYTE>(255 - i), static_cast<BYTE>(i * 3), 0};
    }
    void* p = nullptr;
    HBITMAP b = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &p, nullptr, 0);
    if (!b || !p) return b;
    const size_t stride = (static_cast<size_t>(width) * bits + 31) / 32 * 4;
    auto* rows = static_cast<uint8_t*>(p);
    for (int y = 0; y < height; ++y)
        for (size_t i = 0; i < stride; ++i) rows[y * stride + i] = static_cast<uint8_t>(i * 3 + y * 7);
    return b;
}

DIBSECTION SectionOf(HBITMAP bitmap) {
    DIBSECTION ds{};
    Require(bitmap && GetObjectA(bitmap, sizeof ds, &ds) == sizeof ds && ds.dsBm.bmBits,
            "no DIB section to measure with");
    return ds;
}

}  // namespace bench
