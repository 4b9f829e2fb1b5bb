#include "imaging/picture_files.h"

#include "imaging/bmp_reader.h"
#include "imaging/bmp_writer.h"
#include "imaging/codecs.h"
#include "platform/owners.h"

namespace {

// Unknown when the file cannot be read; the BMP reader then says why.
PictureFormat SniffFile(const char* path) {
    UniqueFile file{sys()._lopen(path, OF_READ)};
    if (!file) return PictureFormat::Bmp;
    uint8_t head[kPictureSignatureBytes];
    const UINT got = sys()._lread(file.get(), head, sizeof head);
    if (got > sizeof head) return PictureFormat::Bmp;  // HFILE_ERROR
    return FormatBySignature(head, got);
}

}  // namespace

int LoadPictureFile(const char* path, HBITMAP* bitmap) {
    *bitmap = nullptr;
    if (SniffFile(path) == PictureFormat::Bmp) return LoadBmpFile(path, bitmap);
    return ReadCodecPicture(path, bitmap) ? 1 : 0;
}

int SavePictureFile(const char* path, HBITMAP picture) {
    const PictureFormat format = FormatByName(path);
    if (format == PictureFormat::Bmp) return SaveBmpFile(path, picture);
    return WriteCodecPicture(path, picture, format) ? 1 : 0;
}
