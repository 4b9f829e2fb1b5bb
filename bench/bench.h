#pragma once
// What the benchmarks share: a clock, contenders measured side by side in
// interleaved rounds, test pictures, and the table of ratios and targets.
// Benchmarks are figures, not tests: a missed target is printed, not failed.
#include <windows.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace bench {

double NowMs();

// One run of `work`, in milliseconds.
template <class F>
double Timed(F&& work) {
    const double start = NowMs();
    work();
    return NowMs() - start;
}

// Stops the run: a contender that did not do its work has no figure.
[[noreturn]] void Fail(const std::string& what);
inline void Require(bool ok, const std::string& what) {
    if (!ok) Fail(what);
}

// One run of a contender: untimed preparation and checks inside, the
// measured part through Timed(). Returns milliseconds.
using Contender = std::function<double()>;

struct Figures {
    double pluginMs;         // median
    double baselineMs;       // median
    double ratio;            // median of the per-round ratios
    double lowest, highest;  // of the per-round ratios: how far the machine moved them
};

// One warm-up round, then `rounds` rounds of the plug-in's path and each
// baseline, the first contender of a round moving by one every round, so
// that none always runs on what another left warm. One Figures per
// baseline. Ratios are taken within a round: load from elsewhere on the
// machine then shifts both sides alike.
std::vector<Figures> Measure(int rounds, const Contender& plugin, const std::vector<Contender>& baselines);

class Table {
public:
    void Add(std::string what, std::string against, const Figures& f, double target);
    void Print(int rounds) const;

private:
    struct Row {
        std::string what, against;
        Figures f;
        double target;
    };
    std::vector<Row> rows_;
};

// The C runtime's memcpy, as the plug-in calls it: never expanded inline
// by the compiler, whose copy of a constant size would be another baseline.
void CopyBytes(void* to, const void* from, size_t bytes);

// A bottom-up DIB section with position-dependent bytes in every row (and,
// at 8 bits, a full palette); null when the platform refuses it.
HBITMAP MakeDibSection(int bits, int width, int height);

// The section's record; fails the run when `bitmap` is none.
DIBSECTION SectionOf(HBITMAP bitmap);

// The DLL beside this program, as the build leaves it.
std::string DllBesideProgram();

// The benchmarks, each adding its rows.
void FileBenchmarks(int rounds, Table& table);
void ComponentBenchmarks(const std::string& dll, int rounds, Table& table);
void ScaleBenchmarks(const std::string& dll, int rounds, Table& table);

}  // namespace bench
