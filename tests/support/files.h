#pragma once
// Files for the tests: scratch folders, a scratch drive letter for the
// numbered names, BMP files and file contents.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// A fresh folder under Z:\tmp, emptied and removed with the object.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& path() const { return path_; }  // no trailing backslash
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

// A name no other test process or call uses: the process, the time and a count.
std::string UniqueName();
// The files (not folders) directly in `folder`, sorted; and deleting them all.
std::vector<std::string> FilesIn(const std::string& folder);
void RemoveFilesIn(const std::string& folder);

// An uncompressed BMP in the writer's own layout: 40-byte header, a full
// palette below 24 bits, rows bottom-up and padded to 4 bytes. Pixel bytes
// and palette entries follow simple patterns seeded by `seed`.
Bytes MakeBmp(int width, int height, int bitsPerPixel, int seed = 1);

bool WriteFileBytes(const std::string& path, const Bytes& bytes);
bool ReadFileBytes(const std::string& path, Bytes* bytes);  // false when missing
inline Bytes FileBytes(const std::string& path) {           // empty when missing
    Bytes bytes;
    ReadFileBytes(path, &bytes);
    return bytes;
}
bool FileExists(const std::string& path);
std::string Portable(std::string path);  // backslashes to slashes
