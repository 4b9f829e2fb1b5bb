#pragma once
// Plays a checked project on the host simulator: one line per step with the
// slot results, the variables that changed and the files written; a summary
// at the end.
#include <cstdio>
#include <string>

#include "hostsim/host.h"
#include "hostsim/player/project.h"

namespace zqplay {

// Where the player's lines go: standard output, and the record's log.
class Log {
public:
    explicit Log(std::FILE* record = nullptr) : record_(record) {}
    void Out(const std::string& line);
    void Error(const std::string& line);  // standard error, and the record

private:
    std::FILE* record_;
};

struct RunOptions {
    std::string projectName;  // as given, for messages
    std::string projectDir;   // what "$PROJECT" stands for
    std::string recordDir;    // snapshots are copied here too; "" for none
};

struct Summary {
    int steps = 0, skipped = 0, passed = 0, failed = 0, filesWritten = 0, hostErrors = 0;
    bool stopped = false;  // a step could not be done
    bool ok() const { return !stopped && failed == 0 && hostErrors == 0; }
};

// Plays `project`; the host has the plug-in loaded. Tears the host down at
// the end, so that leaks count as host errors.
Summary Play(hostsim::Host& host, const Project& project, const RunOptions& options, Log& log);

}  // namespace zqplay
