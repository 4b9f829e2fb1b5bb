#pragma once
// Test support: runs a scope with the x87 precision control set as a host
// might leave it (_PC_24, _PC_53 or _PC_64) and puts the old setting back.
#include <float.h>

class X87Precision {
public:
    explicit X87Precision(unsigned precision) : saved_(_controlfp(0, 0)) { _controlfp(precision, _MCW_PC); }
    ~X87Precision() { _controlfp(saved_, _MCW_PC); }
    X87Precision(const X87Precision&) = delete;
    X87Precision& operator=(const X87Precision&) = delete;

    static unsigned Current() { return _controlfp(0, 0) & _MCW_PC; }

private:
    unsigned saved_;
};
