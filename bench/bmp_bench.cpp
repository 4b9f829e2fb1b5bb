// Import and export of BMP files by the reader and the writer, against the
// least the platform needs to move the same bytes the same way.
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench.h"
#include "imaging/bmp_format.h"
#include "imaging/bmp_reader.h"
#include "imaging/bmp_writer.h"

namespace bench {
namespace {

// The file's bytes into `bytes`, whose memory is reused from run to run.
void ReadWhole(const std::string& path, std::vector<uint8_t>& bytes) {
    HFILE f = _lopen(path.c_str(), OF_READ);
    Require(f != HFILE_ERROR, "cannot open " + path);
    const LONG size = _llseek(f, 0, FILE_END);
    _llseek(f, 0, FILE_BEGIN);
    bytes.resize(static_cast<size_t>(size));
    const bool read = _hread(f, bytes.data(), size) == size;
    _lclose(f);
    Require(read, "cannot read " + path);
}

// The reader's reads and nothing more: the length, the head in one read,
// then the rows into fresh pages (as a new section's) a chunk at a time,
// each chunk's pages touched before its read. The caller frees the rows
// (VirtualFree), as the import's caller deletes its section: untimed.
unsigned char* ReadAsTheReader(const std::string& path, uint32_t dataOffset, uint32_t imageBytes) {
    HFILE f = _lopen(path.c_str(), OF_READ);
    Require(f != HFILE_ERROR, "cannot open " + path);
    const LONG fileBytes = _llseek(f, 0, FILE_END);
    bool ok = fileBytes > 0 && _llseek(f, 0, FILE_BEGIN) == 0;
    unsigned char head[kBmpMaxHeadBytes];
    const UINT headBytes = static_cast<UINT>(fileBytes < static_cast<LONG>(sizeof head) ? fileBytes : sizeof head);
    ok = ok && _lread(f, head, headBytes) == headBytes;
    auto* bits =
        static_cast<unsigned char*>(VirtualAlloc(nullptr, imageBytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    ok = ok && bits && _llseek(f, static_cast<LONG>(dataOffset), FILE_BEGIN) == static_cast<LONG>(dataOffset);
    for (uint32_t done = 0; ok && done < imageBytes;) {
        const uint32_t n = imageBytes - done < kBmpReadChunkBytes ? imageBytes - done : kBmpReadChunkBytes;
        for (uint32_t at = 0; at < n; at += kBmpReadPageBytes) bits[done + at] = 0;
        ok = _hread(f, bits + done, static_cast<long>(n)) == static_cast<long>(n);
        done += n;
    }
    _lclose(f);
    Require(ok, "the baseline read failed");
    return bits;
}

// The writer's writes and nothing more: file header, info header with
// palette, then the rows straight from the section's memory.
void WriteAsTheWriter(const std::string& path, const std::vector<uint8_t>& head, const void* rows,
                      uint32_t imageBytes) {
    constexpr uint32_t kFileHeaderBytes = 14;
    HFILE f = _lcreat(path.c_str(), 0);
    Require(f != HFILE_ERROR, "cannot create " + path);
    const long infoBytes = static_cast<long>(head.size() - kFileHeaderBytes);
    const bool ok =
        _hwrite(f, reinterpret_cast<LPCCH>(head.data()), kFileHeaderBytes) == kFileHeaderBytes &&
        _hwrite(f, reinterpret_cast<LPCCH>(head.data() + kFileHeaderBytes), infoBytes) == infoBytes &&
        _hwrite(f, static_cast<LPCCH>(rows), static_cast<long>(imageBytes)) == static_cast<long>(imageBytes);
    Require(_lclose(f) == 0 && ok, "the baseline write failed");
}

}  // namespace

void FileBenchmarks(int rounds, Table& table) {
    char dir[MAX_PATH];
    Require(GetTempPathA(MAX_PATH, dir) != 0, "no temporary folder");
    const std::string in = std::string(dir) + "zq_bench.bmp";
    const std::string out = std::string(dir) + "zq_bench_out.bmp";
    const struct {
        const char* name;
        int width, height, bits;
    } kCases[] = {
        {"1920x1080  8-bit", 1920, 1080, 8},
        {"1920x1080 24-bit", 1920, 1080, 24},
        {"4096x4096 24-bit", 4096, 4096, 24},
    };
    for (const auto& c : kCases) {
        const HBITMAP image = MakeDibSection(c.bits, c.width, c.height);
        const DIBSECTION ds = SectionOf(image);
        Require(SaveBmpFile(in.c_str(), image) == 1, "cannot write " + in);
        std::vector<uint8_t> file, written;
        ReadWhole(in, file);
        uint32_t dataOffset;
        std::memcpy(&dataOffset, file.data() + 10, sizeof dataOffset);  // bfOffBits
        const uint32_t imageBytes = static_cast<uint32_t>(file.size()) - dataOffset;
        Require(imageBytes == static_cast<uint32_t>(ds.dsBm.bmWidthBytes) * c.height, "unexpected file layout");
        const std::vector<uint8_t> head(file.begin(), file.begin() + dataOffset);

        // Each contender checks, untimed, that it did the whole work.
        const Contender import = [&] {
            HBITMAP b = nullptr;
            const double ms = Timed([&] { Require(LoadBmpFile(in.c_str(), &b) == 1, "import failed"); });
            const DIBSECTION got = SectionOf(b);
            Require(std::memcmp(got.dsBm.bmBits, ds.dsBm.bmBits, imageBytes) == 0, "import read other pixels");
            DeleteObject(b);
            return ms;
        };
        const Contender read = [&] {
            unsigned char* rows = nullptr;
            const double ms = Timed([&] { rows = ReadAsTheReader(in, dataOffset, imageBytes); });
            Require(std::memcmp(rows, ds.dsBm.bmBits, imageBytes) == 0, "the baseline read other bytes");
            VirtualFree(rows, 0, MEM_RELEASE);
            return ms;
        };
        const Contender loadImage = [&] {
            HANDLE h = nullptr;
            const double ms = Timed([&] {
                h = LoadImageA(nullptr, in.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION);
            });
            Require(h != nullptr, "LoadImageA failed");
            DeleteObject(h);
            return ms;
        };
        const std::vector<Figures> imported = Measure(rounds, import, {read, loadImage});

        const Contender save = [&] {
            const double ms = Timed([&] { Require(SaveBmpFile(out.c_str(), image) == 1, "export failed"); });
            ReadWhole(out, written);
            Require(written == file, "export wrote other bytes");
            return ms;
        };
        const Contender write = [&] {
            const double ms = Timed([&] { WriteAsTheWriter(out, head, ds.dsBm.bmBits, imageBytes); });
            ReadWhole(out, written);
            Require(written == file, "the baseline wrote other bytes");
            return ms;
        };
        const std::vector<Figures> exported = Measure(rounds, save, {write});

        const std::string name = c.name;
        table.Add("import " + name, "the reader's reads alone: 1 MB chunks, pages touched", imported[0], 1.1);
        table.Add("import " + name, "LoadImageA of the file as a DIB section", imported[1], 1.0);
        table.Add("export " + name, "the writer's three writes alone, rows from the section", exported[0], 1.05);
        DeleteObject(image);
        DeleteFileA(in.c_str());
        DeleteFileA(out.c_str());
    }
}

}  // namespace bench
