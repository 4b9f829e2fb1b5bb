// The platform seam: a probe counts what is held and fails the call it is told to.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "platform/platform.h"
#include "tests/support/failing_calls.h"
#include "tests/support/platform_probe.h"

namespace {

TEST(PlatformSeam, ProbeCountsLiveHandlesThroughTheSeam) {
    PlatformProbe probe;
    HDC dc = sys().CreateCompatibleDC(nullptr);
    HBITMAP bitmap = sys().CreateCompatibleBitmap(dc, 4, 4);
    HGLOBAL block = sys().GlobalAlloc(GMEM_MOVEABLE, 16);
    void* locked = sys().GlobalLock(block);
    char path[MAX_PATH];
    GetTempPathA(MAX_PATH, path);
    lstrcatA(path, "zq_seam_test.tmp");
    HFILE file = sys()._lcreat(path, 0);
    EXPECT_EQ(probe.LiveDcs(), 1);
    EXPECT_EQ(probe.LiveBitmaps(), 1);
    EXPECT_EQ(probe.LiveGlobals(), 1);
    EXPECT_EQ(probe.LockedGlobals(), 1);
    EXPECT_EQ(probe.OpenFiles(), 1);
    EXPECT_EQ(probe.LiveHandles(), 4);

    HGDIOBJ old = sys().SelectObject(dc, bitmap);
    sys().DeleteObject(bitmap);  // still selected: Windows would refuse and leak it
    EXPECT_EQ(probe.Errors().size(), 1u);
    sys().SelectObject(dc, old);

    EXPECT_TRUE(locked);
    sys().GlobalUnlock(block);
    sys().GlobalFree(block);
    sys().DeleteDC(dc);
    sys()._lclose(file);
    sys().DeleteFileA(path);
    EXPECT_EQ(probe.LiveHandles(), 0);
    EXPECT_EQ(probe.LockedGlobals(), 0);
}

TEST(PlatformSeam, FailsOnlyTheChosenCall) {
    PlatformProbe probe;
    for (int n = 1; n <= 3; ++n) {
        SCOPED_TRACE(n);
        FailNthCall fault{probe, n};
        HGLOBAL blocks[3];
        for (HGLOBAL& b : blocks) b = sys().GlobalAlloc(GMEM_MOVEABLE, 8);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(blocks[i] == nullptr, i + 1 == n);
        EXPECT_TRUE(fault.Fired());
        EXPECT_EQ(probe.FailedCall(), "GlobalAlloc");
        for (HGLOBAL b : blocks)
            if (b) sys().GlobalFree(b);
    }
    EXPECT_EQ(probe.LiveGlobals(), 0);
}

// The fault-injection loop fails a test it could not carry out: an action
// that makes no failable call, one that never runs clean, a handle misused.
TEST(PlatformSeam, FaultLoopReportsWhatItCouldNotTest) {
    PlatformProbe probe;
    const auto allocations = [](int count) {
        for (int i = 0; i < count; ++i)
            if (HGLOBAL b = sys().GlobalAlloc(GMEM_MOVEABLE, 8)) sys().GlobalFree(b);
        return 0;
    };
    std::vector<int> checked;
    const auto note = [&](const FaultRun& run, int) { checked.push_back(run.n); };
    EXPECT_NONFATAL_FAILURE(ForEachFailingCall(probe, [&] { return allocations(0); }, note), "tested nothing");
    EXPECT_NONFATAL_FAILURE(ForEachFailingCall(probe, [&] { return allocations(4); }, note, 3), "never ran clean");
    EXPECT_EQ(checked, (std::vector<int>{1, 1, 2, 3}));
    HDC stranger = RealPlatform().CreateCompatibleDC(nullptr);
    const auto misuseOnce = [&] {
        if (stranger) sys().DeleteDC(std::exchange(stranger, nullptr));
        return allocations(1);
    };
    EXPECT_NONFATAL_FAILURE(ForEachFailingCall(probe, misuseOnce, note), "not made here");
    EXPECT_EQ(probe.LiveHandles(), 0);
}

TEST(PlatformSeam, ProbeRestoresTheRealTable) {
    {
        PlatformProbe probe;
        EXPECT_NE(sys().GlobalAlloc, RealPlatform().GlobalAlloc);
    }
    EXPECT_EQ(&sys(), &RealPlatform());
}

}  // namespace
