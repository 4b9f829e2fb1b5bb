#include "tests/support/files.h"

#include "tests/support/bmp_builder.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

std::string UniqueName() {
    static int counter = 0;
    return std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount()) + "-" +
           std::to_string(++counter);
}

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

void RemoveFilesIn(const std::string& folder) {
    for (const std::string& name : FilesIn(folder)) {
        SetFileAttributesA((folder + "\\" + name).c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA((folder + "\\" + name).c_str());
    }
}

TempFolder::TempFolder() : path_("Z:\\tmp\\zq-io-" + UniqueName()) { CreateDirectoryA(path_.c_str(), nullptr); }

TempFolder::~TempFolder() {
    // The file dialogs move the current directory into the folder they showed.
    char current[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof current, current);
    if (_strnicmp(current, path_.c_str(), path_.size()) == 0) SetCurrentDirectoryA("Z:\\tmp");
    RemoveFilesIn(path_);
    for (const char* name : {"sub\\pics", "sub"}) RemoveFilesIn(path_ + "\\" + name);
    RemoveDirectoryA((path_ + "\\sub\\pics").c_str());
    RemoveDirectoryA((path_ + "\\sub").c_str());
    RemoveDirectoryA(path_.c_str());
}

Bytes MakeBmp(int width, int height, int bitsPerPixel, int seed) {
    bmptest::BmpBuilder b;
    b.width = width;
    b.height = height;  // positive: bottom row first
    b.bits = static_cast<uint16_t>(bitsPerPixel);
    b.xDensity = b.yDensity = 0;  // as the writer leaves them
    const uint32_t stride = (static_cast<uint32_t>(width) * bitsPerPixel + 31) / 32 * 4;
    b.sizeImage = stride * static_cast<uint32_t>(height);
    b.clrUsed = bitsPerPixel < 24 ? 1u << bitsPerPixel : 0;
    for (uint32_t i = 0; i < b.clrUsed; ++i)
        b.palette.push_back(static_cast<uint8_t>(i * 7 + seed) << 16 | static_cast<uint8_t>(i * 5 + seed) << 8 |
                            static_cast<uint8_t>(i * 3 + seed));
    b.pixels.assign(b.sizeImage, 0);
    const uint32_t rowBytes = (static_cast<uint32_t>(width) * bitsPerPixel + 7) / 8;
    // Bits past the last pixel stay zero, as the conversion writes them.
    const uint32_t usedBits = static_cast<uint32_t>(width) * bitsPerPixel % 8;
    const uint8_t lastMask = usedBits ? static_cast<uint8_t>(0xFF00 >> usedBits) : 0xFF;
    for (int y = 0; y < height; ++y)
        for (uint32_t x = 0; x < rowBytes; ++x)
            b.pixels[y * stride + x] =
                static_cast<uint8_t>(x * 11 + y * 29 + seed) & (x + 1 == rowBytes ? lastMask : 0xFF);
    return b.Build();
}

bool WriteFileBytes(const std::string& path, const Bytes& bytes) {
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = bytes.empty() || WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(f);
    return ok && written == bytes.size();
}

bool ReadFileBytes(const std::string& path, Bytes* bytes) {
    bytes->clear();
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    const DWORD size = GetFileSize(f, nullptr);
    bytes->resize(size);
    DWORD read = 0;
    const BOOL ok = size == 0 || ReadFile(f, bytes->data(), size, &read, nullptr);
    CloseHandle(f);
    return ok && read == size;
}

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string Portable(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}
