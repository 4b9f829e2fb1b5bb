#include "imaging/bmp_reader.h"

#include <cstring>

#include "imaging/bmp_format.h"
#include "platform/owners.h"

namespace {

// Padding bits and bytes at the end of each row are zeroed, so that a
// section read from a file equals one the platform drew, byte for byte.
void ClearPadding(const BmpPlan& plan, unsigned char* rows) {
    const uint32_t usedBits = static_cast<uint32_t>(plan.widthPx) * plan.bitCount;
    const uint32_t fullBytes = usedBits / 8;
    const uint32_t partialBits = usedBits % 8;
    if (fullBytes == plan.strideBytes) return;
    for (int32_t y = 0; y < plan.heightPx; ++y) {
        unsigned char* row = rows + static_cast<size_t>(y) * plan.strideBytes;
        uint32_t from = fullBytes;
        if (partialBits) {
            row[from] &= static_cast<unsigned char>(0xFF00 >> partialBits);
            ++from;
        }
        std::memset(row + from, 0, plan.strideBytes - from);
    }
}

bool ReadAt(HFILE file, uint32_t offset, void* into, uint32_t bytes) {
    if (sys()._llseek(file, static_cast<LONG>(offset), FILE_BEGIN) != static_cast<LONG>(offset))
        return false;
    return sys()._hread(file, into, static_cast<long>(bytes)) == static_cast<long>(bytes);
}

// Reads `bytes` at `offset` into fresh memory, a chunk at a time, touching
// each chunk's pages first: under Wine a read into untouched pages costs a
// third more than touching them and then reading (measured on 48 MB). The
// memory is zero already, so the touch changes nothing.
bool ReadIntoFresh(HFILE file, uint32_t offset, unsigned char* into, uint32_t bytes) {
    constexpr uint32_t kPage = kBmpReadPageBytes, kChunk = kBmpReadChunkBytes;
    if (sys()._llseek(file, static_cast<LONG>(offset), FILE_BEGIN) != static_cast<LONG>(offset))
        return false;
    for (uint32_t done = 0; done < bytes;) {
        const uint32_t n = bytes - done < kChunk ? bytes - done : kChunk;
        for (uint32_t at = 0; at < n; at += kPage) into[done + at] = 0;
        if (sys()._hread(file, into + done, static_cast<long>(n)) != static_cast<long>(n)) return false;
        done += n;
    }
    return true;
}

// Fills the section's memory from the file as the plan says.
BmpStatus ReadPixels(HFILE file, const BmpPlan& plan, unsigned char* bits) {
    if (plan.encoding == BmpEncoding::Rows) {
        // Straight into the section: no second buffer to fill.
        if (!ReadIntoFresh(file, plan.dataOffset, bits, plan.imageBytes)) return BmpStatus::Unreadable;
        if (plan.topDown) FlipRows(bits, plan.strideBytes, static_cast<uint32_t>(plan.heightPx));
        ClearPadding(plan, bits);
    } else if (plan.encoding == BmpEncoding::MaskedRows) {
        LockedGlobal fileRows(kScratchMemory, plan.dataBytes);
        if (!fileRows) return BmpStatus::NoResources;
        if (!ReadAt(file, plan.dataOffset, fileRows.get(), plan.dataBytes)) return BmpStatus::Unreadable;
        ConvertMaskedRows(plan, fileRows.bytes(), bits);
    } else {
        LockedGlobal code(kScratchMemory, plan.dataBytes);
        if (!code) return BmpStatus::NoResources;
        if (!ReadAt(file, plan.dataOffset, code.get(), plan.dataBytes)) return BmpStatus::Unreadable;
        std::memset(bits, 0, plan.imageBytes);
        if (const BmpStatus decoded = DecodeRle(plan, code.bytes(), plan.dataBytes, bits); decoded != BmpStatus::Ok)
            return decoded;
    }
    return CheckIndices(plan, bits);
}

}  // namespace

int LoadBmpFile(const char* path, HBITMAP* bitmap) { return ReadBmpFile(path, bitmap) == BmpStatus::Ok ? 1 : 0; }

BmpStatus ReadBmpFile(const char* path, HBITMAP* bitmap) {
    *bitmap = nullptr;
    UniqueFile file{sys()._lopen(path, OF_READ)};
    if (!file) return BmpStatus::Unreadable;

    const LONG fileBytes = sys()._llseek(file.get(), 0, FILE_END);
    if (fileBytes < 0 || sys()._llseek(file.get(), 0, FILE_BEGIN) != 0) return BmpStatus::Unreadable;
    unsigned char head[kBmpMaxHeadBytes];
    const UINT headBytes =
        static_cast<UINT>(fileBytes < static_cast<LONG>(sizeof head) ? fileBytes : sizeof head);
    if (sys()._lread(file.get(), head, headBytes) != headBytes) return BmpStatus::Unreadable;
    BmpPlan plan;
    if (const BmpStatus planned = PlanBmp(head, headBytes, static_cast<uint64_t>(fileBytes), &plan);
        planned != BmpStatus::Ok)
        return planned;

    // The colours come from the header (DIB_RGB_COLORS): no context needed.
    // Under Wine, making and deleting one was the dearest step of an import
    // besides the reads.
    void* bits = nullptr;
    UniqueBitmap section{sys().CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(plan.info),
                                                DIB_RGB_COLORS, &bits, nullptr, 0)};
    if (!section || !bits) return BmpStatus::NoResources;
    // Write no more than the platform gave.
    BITMAP bm;
    if (sys().GetObjectA(section.get(), sizeof bm, &bm) != static_cast<int>(sizeof bm)) return BmpStatus::NoResources;
    if (static_cast<uint32_t>(bm.bmWidthBytes) != plan.strideBytes || bm.bmHeight != plan.heightPx)
        return BmpStatus::NoResources;

    if (const BmpStatus read = ReadPixels(file.get(), plan, static_cast<unsigned char*>(bits)); read != BmpStatus::Ok)
        return read;
    *bitmap = section.release();
    return BmpStatus::Ok;
}
