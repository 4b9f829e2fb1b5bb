#include "imaging/picture_format.h"

#include <cstring>

namespace {

bool StartsWith(const uint8_t* head, size_t bytes, const char* signature, size_t length) {
    return bytes >= length && std::memcmp(head, signature, length) == 0;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EndsWithNoCase(const char* text, size_t length, const char* suffix) {
    const size_t n = std::strlen(suffix);
    if (length < n) return false;
    for (size_t i = 0; i < n; ++i)
        if (Lower(text[length - n + i]) != suffix[i]) return false;
    return true;
}

}  // namespace

PictureFormat FormatBySignature(const uint8_t* head, size_t bytes) {
    if (StartsWith(head, bytes, "\x89PNG\r\n\x1a\n", 8)) return PictureFormat::Png;
    if (StartsWith(head, bytes, "\xff\xd8\xff", 3)) return PictureFormat::Jpeg;
    if (StartsWith(head, bytes, "GIF87a", 6) || StartsWith(head, bytes, "GIF89a", 6)) return PictureFormat::Gif;
    if (StartsWith(head, bytes, "II*\0", 4) || StartsWith(head, bytes, "MM\0*", 4)) return PictureFormat::Tiff;
    return PictureFormat::Bmp;
}

PictureFormat FormatByName(const char* path) {
    const size_t length = std::strlen(path);
    if (EndsWithNoCase(path, length, ".png")) return PictureFormat::Png;
    if (EndsWithNoCase(path, length, ".jpg") || EndsWithNoCase(path, length, ".jpeg")) return PictureFormat::Jpeg;
    return PictureFormat::Bmp;
}

bool HasAlpha(const uint8_t* firstRow, ptrdiff_t rowStep, int rowCount, int widthPx) {
    for (int y = 0; y < rowCount; ++y) {
        const uint8_t* p = firstRow + rowStep * y + 3;
        for (int x = 0; x < widthPx; ++x)
            if (p[4 * x]) return true;
    }
    return false;
}

void PackToThreeBytes(const uint8_t* from, uint8_t* to, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        to[i * 3] = from[i * 4];
        to[i * 3 + 1] = from[i * 4 + 1];
        to[i * 3 + 2] = from[i * 4 + 2];
    }
}

void WidenIndices(const uint8_t* from, uint32_t bits, uint8_t* to, size_t count) {
    const uint32_t perByte = 8 / bits, mask = (1u << bits) - 1;
    for (size_t i = 0; i < count; ++i)
        to[i] = static_cast<uint8_t>(from[i / perByte] >> (8 - bits * (i % perByte + 1)) & mask);
}
