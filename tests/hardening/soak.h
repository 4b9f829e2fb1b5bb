#pragma once
// The soak: messages to all eight components through the host simulator,
// with the plug-in linked in and the platform probe counting what it holds,
// the resources sampled at fixed message counts. Shared by the short CTest
// and the full-length command in bench/.
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

namespace soak {

// Each cycle sends this many messages; sample intervals are whole cycles.
inline constexpr int kMessagesPerCycle = 20;

struct Sample {
    int messages;       // sent before the sample
    int gdiObjects;     // device contexts and bitmaps (probe)
    int userObjects;    // screen contexts from GetDC (probe)
    int textBlocks;     // live memory-service blocks, less those lent in answers
    int globalBlocks;   // probe
    int openFiles;      // probe
    size_t privateBytes;  // committed private memory of the process
};

struct Run {
    std::vector<Sample> samples;  // the first before any message
    std::vector<std::string> faults;  // host errors, probe errors, steps that did not do their work
};

// What private bytes may rise after warm-up without counting as growth: the
// C runtime's and Wine's heaps keep freed memory in free lists whose layout
// shifts with the order of frees, and GDI grows its handle table in steps.
// A leak of 4 bytes per message passes it within 70,000 messages.
inline constexpr size_t kPrivateBytesSlack = 256 * 1024;

// `messages` and `sampleEvery` are multiples of kMessagesPerCycle.
Run RunSoak(int messages, int sampleEvery);

// Flat: after warm-up (the first interval), no count grows above what the
// second sample shows, and private bytes by at most `slackBytes`. Returns
// what grew, one line each; empty when flat.
std::vector<std::string> Growth(const std::vector<Sample>& samples, size_t slackBytes);

void PrintSamples(std::FILE* out, const std::vector<Sample>& samples);

}  // namespace soak
