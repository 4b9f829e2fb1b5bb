#pragma once
// The system Python's Pillow, run from inside this Windows program in the same
// run as the figures it is printed beside.
#include <string>
#include <vector>

namespace bench {

// The Linux path of a Windows one (Wine's own mapping); empty outside Wine.
std::string UnixPath(const std::string& windowsPath);

// Runs bench/pillow_bench.py with `args` and gives back what it wrote, one
// line per figure; fails the run when it gives nothing within a minute.
std::vector<std::string> RunPillow(const std::vector<std::string>& args);

}  // namespace bench
