// soak [messages] [sample every]: the full-length soak, 100,000 messages to
// all eight components sampled every 10,000 by default. Prints the samples;
// exits 1 when a count grew after warm-up or a step did not do its work.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/hardening/soak.h"

int main(int argc, char** argv) {
    const int messages = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int every = argc > 2 ? std::atoi(argv[2]) : 10000;
    if (messages <= 0 || every <= 0 || messages % soak::kMessagesPerCycle || every % soak::kMessagesPerCycle) {
        std::fprintf(stderr, "soak: counts must be positive multiples of %d\n", soak::kMessagesPerCycle);
        return 2;
    }
    const DWORD start = GetTickCount();
    const soak::Run run = soak::RunSoak(messages, every);
    const double seconds = (GetTickCount() - start) / 1000.0;
    soak::PrintSamples(stdout, run.samples);
    std::printf("%d messages in %.0f s (%.1f per second)\n", messages, seconds, messages / seconds);
    int status = 0;
    for (const std::string& f : run.faults) {
        std::printf("fault: %s\n", f.c_str());
        status = 1;
    }
    for (const std::string& g : soak::Growth(run.samples, soak::kPrivateBytesSlack)) {
        std::printf("grew: %s\n", g.c_str());
        status = 1;
    }
    std::printf(status ? "NOT FLAT\n" : "flat\n");
    return status;
}
