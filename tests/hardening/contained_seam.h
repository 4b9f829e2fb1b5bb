#pragma once
// The platform calls that would reach past the process during a long or a
// hostile run, replaced on the probe's table: the file dialogs cancel, the
// printer is a memory context with a fixed page, and files are created and
// deleted only inside one folder. One at a time, inside one probe.
#include <string>

#include "tests/support/platform_probe.h"

class ContainedSeam {
public:
    ContainedSeam(PlatformProbe& probe, const std::string& folder);
    ~ContainedSeam();
    ContainedSeam(const ContainedSeam&) = delete;
    ContainedSeam& operator=(const ContainedSeam&) = delete;

    int Pages() const;    // pages ended on the fake printer
    int Refused() const;  // file creations and deletions outside the folder
};
