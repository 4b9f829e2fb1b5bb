// libFuzzer target: the whole path untrusted bytes take through the reader,
// minus the platform. The input is a whole BMP file.
#include <cstdint>
#include <cstring>
#include <vector>

#include "imaging/bmp_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    BmpPlan plan;
    size_t head = size < kBmpMaxHeadBytes ? size : kBmpMaxHeadBytes;
    if (PlanBmp(data, head, size, &plan) != BmpStatus::Ok) return 0;

    // What the reader relies on: the data lies inside the file, the pixel
    // memory is what the description says.
    if (plan.dataOffset > size || plan.dataBytes > size - plan.dataOffset) __builtin_trap();
    if (static_cast<uint64_t>(plan.strideBytes) * plan.heightPx != plan.imageBytes) __builtin_trap();
    if (plan.encoding == BmpEncoding::MaskedRows &&
        static_cast<uint64_t>(plan.fileStrideBytes) * plan.heightPx != plan.dataBytes)
        __builtin_trap();

    std::vector<uint8_t> rows(plan.imageBytes);
    const uint8_t* pixels = data + plan.dataOffset;
    if (plan.encoding == BmpEncoding::Rows) {
        std::memcpy(rows.data(), pixels, plan.imageBytes);
        if (plan.topDown) FlipRows(rows.data(), plan.strideBytes, static_cast<uint32_t>(plan.heightPx));
    } else if (plan.encoding == BmpEncoding::MaskedRows) {
        ConvertMaskedRows(plan, pixels, rows.data());
    } else if (DecodeRle(plan, pixels, plan.dataBytes, rows.data()) != BmpStatus::Ok) {
        return 0;
    }
    (void)CheckIndices(plan, rows.data());
    return 0;
}
