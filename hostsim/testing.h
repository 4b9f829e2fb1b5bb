#pragma once
// GoogleTest glue for the host simulator: every error the host records
// becomes a test failure where it happens, and leaks fail the test at the end.
#include <gtest/gtest.h>

#include "hostsim/host.h"

namespace hostsim {

inline void ReportErrorsToGTest(Host& host) {
    host.SetErrorHandler([](const std::string& e) { ADD_FAILURE() << "host: " << e; });
}

// A host whose errors, including leaks found at teardown, fail the test.
class TestHost : public Host {
public:
    TestHost() { ReportErrorsToGTest(*this); }
    ~TestHost() { Teardown(); }
};

// True when some recorded error contains `part`.
inline bool HasError(const Host& host, const std::string& part) {
    for (const std::string& e : host.Errors())
        if (e.find(part) != std::string::npos) return true;
    return false;
}

}  // namespace hostsim
