#pragma once
// The host simulator with the DLL loaded, as the component benchmarks drive
// it, and a reader of a bitmap's rows.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bench/bench.h"
#include "framework/host_value.h"
#include "hostsim/host.h"

namespace bench {

using hostsim::Element;
using hostsim::Handle;
using hostsim::Host;
using hostsim::ObjectId;

inline constexpr int kWidth = 1920, kHeight = 1080;
inline constexpr uint32_t kAction = 301;  // the default event of every modifier here

// The bitmap's rows as GetDIBits gives them at its own depth: bottom row
// first, padded to 4 bytes, whatever the bitmap's own order.
inline std::vector<uint8_t> RowsOf(HBITMAP bitmap) {
    BITMAP bm{};
    Require(bitmap && GetObjectA(bitmap, sizeof bm, &bm) == sizeof bm, "no bitmap to read");
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colours[256];
    } info{};
    info.header = {sizeof info.header, bm.bmWidth, bm.bmHeight, 1, bm.bmBitsPixel, BI_RGB, 0, 0, 0, 0, 0};
    std::vector<uint8_t> rows(static_cast<size_t>((bm.bmWidth * bm.bmBitsPixel + 31) / 32 * 4) * bm.bmHeight);
    HDC dc = CreateCompatibleDC(nullptr);
    const int lines = GetDIBits(dc, bitmap, 0, bm.bmHeight, rows.data(), reinterpret_cast<BITMAPINFO*>(&info),
                                DIB_RGB_COLORS);
    DeleteDC(dc);
    Require(lines == bm.bmHeight, "cannot read a bitmap's rows");
    return rows;
}

class HostBench {
public:
    explicit HostBench(const std::string& dll) {
        host_.SetErrorHandler([](const std::string& e) { Fail("host: " + e); });
        Require(host_.LoadDll(dll), "cannot load " + dll);
    }
    ~HostBench() { host_.Teardown(); }  // leaks fail the run

    hostsim::Host& host() { return host_; }

    hostsim::ObjectId NewVariable() { return host_.IdOf(host_.Create("zqBitmapVariable")); }
    // The variable keeps a copy; null empties it.
    void Store(hostsim::ObjectId variable, HBITMAP bitmap) {
        HostValue v = hostsim::Host::Integer(static_cast<int32_t>(reinterpret_cast<uintptr_t>(bitmap)));
        Require(host_.SetAttributeById(variable, "value", &v) == 0, "the variable refused a picture");
    }
    HBITMAP Held(hostsim::ObjectId variable) {
        HostValue v = hostsim::Host::Integer(0);
        Require(host_.GetAttributeById(variable, "value", &v) == 0, "the variable did not answer");
        return reinterpret_cast<HBITMAP>(static_cast<uintptr_t>(static_cast<uint32_t>(IntegerPayload(&v))));
    }
    hostsim::Element& NewElement(ElementRect rect) {
        hostsim::ElementSetup setup;
        setup.rect = rect;
        setup.surfaceWidth = kWidth;
        setup.surfaceRows = kHeight;
        const hostsim::ObjectId id = host_.NewElement(setup);
        Require(id != 0, "no element");
        return host_.ElementOf(id);
    }

private:
    hostsim::Host host_;
};

}  // namespace bench
