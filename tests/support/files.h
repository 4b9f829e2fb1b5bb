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

// A drive letter of this Wine prefix mapped onto a fresh folder of its own,
// so that "the root of a drive" is a scratch folder. The mapping lives in
// $WINEPREFIX/dosdevices and is made and removed by the shell.
class TempDrive {
public:
    TempDrive();  // ok() is false when no letter could be mapped
    ~TempDrive();
    TempDrive(const TempDrive&) = delete;
    TempDrive& operator=(const TempDrive&) = delete;
    bool ok() const { return letter_ != 0; }
    std::string root() const { return std::string(1, letter_) + ":"; }  // "Q:"
    std::string operator/(const std::string& name) const { return root() + "\\" + name; }
    std::vector<std::string> Files() const;  // names in the root, sorted
    void Clear() const;                      // deletes every file in the root

private:
    char letter_ = 0;
    std::string unixFolder_;
    std::string link_;
};

// Runs a command line through the Unix shell; Wine gives no handle to wait on.
void RunShell(const std::string& command);

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
