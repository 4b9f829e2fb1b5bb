// bmp_bench [rounds] [path to zqbitmap.dll]: the plug-in's paths against the
// platform's best for the same work, measured side by side in one run.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/bench.h"

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 7;
    const std::string dll = argc > 2 ? argv[2] : bench::DllBesideProgram();
    if (rounds < 1) bench::Fail("rounds must be at least 1");
    bench::Table table;
    bench::ComponentBenchmarks(dll, rounds, table);
    bench::ScaleBenchmarks(dll, rounds, table);
    bench::FileBenchmarks(rounds, table);
    table.Print(rounds);
    return 0;
}
