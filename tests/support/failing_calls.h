#pragma once
// The fault-injection loop: an action runs with failable call 1 failing, then
// call 2, and so on, until a run in which no call failed.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "tests/support/platform_probe.h"

// One run of the loop, as its check sees it.
struct FaultRun {
    int n;             // the failable call that was to fail, from 1
    bool fired;        // false: the action made fewer calls and ran clean; the loop ends
    std::string call;  // the call that failed; empty when none did
};

// For n = 1, 2, ...: prepare() with no fault, action() with failable call n
// failing, then check(run, result) with the fault lifted, traced with n and
// the call's name. The clean run that ends the loop is checked too. Fails the
// test when the first run fails nothing (the loop would test nothing), when
// no run is clean by `limit`, or when the probe sees a handle misused.
template <class Prepare, class Action, class Check>
void ForEachFailingCall(PlatformProbe& probe, Prepare&& prepare, Action&& action, Check&& check, int limit = 200) {
    for (int n = 1; n <= limit; ++n) {
        prepare();
        const size_t misuses = probe.Errors().size();
        probe.FailCall(n);
        const auto result = action();
        const FaultRun run{n, probe.Fired(), probe.FailedCall()};
        probe.FailCall(0);
        SCOPED_TRACE("call " + std::to_string(n) + (run.fired ? " failing: " + run.call : " (none failed)"));
        for (size_t i = misuses; i < probe.Errors().size(); ++i) ADD_FAILURE() << "probe: " << probe.Errors()[i];
        check(run, result);
        if (run.fired) continue;
        if (n == 1) ADD_FAILURE() << "the action made no failable call: the loop tested nothing";
        return;
    }
    ADD_FAILURE() << "call " << limit << " still failed: the action never ran clean";
}

template <class Action, class Check>
void ForEachFailingCall(PlatformProbe& probe, Action&& action, Check&& check, int limit = 200) {
    ForEachFailingCall(probe, [] {}, std::forward<Action>(action), std::forward<Check>(check), limit);
}
