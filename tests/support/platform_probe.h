#pragma once
// Test support: wraps the platform table in force to count what the plug-in
// holds (device contexts, bitmaps, global blocks, open files, screen DCs) and
// to make the Nth failable call fail. One probe at a time.
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

struct ProbeHeld;  // what the plug-in holds, counted by the wrappers

class PlatformProbe {
public:
    PlatformProbe();   // wraps the table in force now and puts the wrapper in force
    ~PlatformProbe();  // restores the table that was in force
    PlatformProbe(const PlatformProbe&) = delete;
    PlatformProbe& operator=(const PlatformProbe&) = delete;

    // The nth failable call from now on fails (1-based); 0 fails nothing.
    // Failable: allocations, locks, GlobalSize, DC and bitmap creation,
    // selections, blits, the stretch mode, GetObjectA, GetDIBits,
    // SetBitmapBits, the colour-table reads, file opens, reads, writes,
    // seeks, GetFileAttributesA, DeleteFileA, GetDC, the dialogs, the
    // printing calls that can fail, COM and every codec method.
    void FailCall(int n);
    bool Fired() const { return fired_; }
    const std::string& FailedCall() const { return failedName_; }
    int Calls() const { return calls_; }  // failable calls since FailCall

    int LiveDcs() const;
    int LiveScreenDcs() const;
    int LiveBitmaps() const;
    int LiveGdiObjects() const { return LiveDcs() + LiveBitmaps() + LiveScreenDcs(); }
    int LiveGlobals() const;
    int LockedGlobals() const;
    int OpenFiles() const;
    int LiveComObjects() const;
    int Apartments() const;  // entered and not yet left
    // Everything the plug-in holds: 0 after any action that keeps nothing.
    int LiveHandles() const { return LiveGdiObjects() + LiveGlobals() + OpenFiles() + LiveComObjects() + Apartments(); }
    // Misuse seen: a bitmap deleted while selected (Windows refuses and leaks
    // it; Wine does not), a handle released twice or never made here.
    const std::vector<std::string>& Errors() const { return errors_; }

    // The wrapping table; a test may replace more entries of it (for example
    // GetSystemDirectoryA) while the probe is in force.
    Platform& table() { return table_; }
    // The table the probe wraps, for calls a replaced entry passes on to.
    const Platform& inner() const { return inner_; }

    // Handing over: the global blocks held now live as long as the process
    // (the types' defaults) and count no more; the test takes a block or a
    // bitmap the plug-in handed to its caller (false when it was not counted);
    // a fake platform entry counts what it made in the plug-in's name.
    void ForgetGlobals();
    bool TakeBlock(HGLOBAL block);
    bool TakeBitmap(HGDIOBJ bitmap);
    void CountBlock(HGLOBAL block);
    void CountDc(HDC dc);

    // Used by the wrappers.
    static PlatformProbe& Current();
    bool ShouldFail(const char* name);
    void Error(std::string what) { errors_.push_back(std::move(what)); }
    ProbeHeld& held() { return *held_; }  // complete only inside the probe

private:
    std::unique_ptr<ProbeHeld> held_;
    Platform inner_;
    Platform table_;
    ScopedPlatform* scope_ = nullptr;
    int failAt_ = 0;
    int calls_ = 0;
    bool fired_ = false;
    std::string failedName_;
    std::vector<std::string> errors_;
};

// Fails the nth failable call for the life of the object.
class FailNthCall {
public:
    FailNthCall(PlatformProbe& probe, int n) : probe_(probe) { probe_.FailCall(n); }
    ~FailNthCall() { probe_.FailCall(0); }
    bool Fired() const { return probe_.Fired(); }

private:
    PlatformProbe& probe_;
};
