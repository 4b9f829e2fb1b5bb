#pragma once
// PNG, JPEG, GIF and TIFF through the platform's imaging codecs (WIC), with
// COM set up for the one call and released before it returns.
#include "imaging/picture_format.h"
#include "platform/platform.h"

// The first frame or page of the file at `path` as a new bottom-up DIB
// section: 32-bit with straight alpha when the picture has transparency (an
// alpha channel, a transparent palette entry), else 24-bit. False, with
// *bitmap null and nothing held, for a file the codecs refuse, a picture
// beyond the BMP reader's caps, or any failure of COM or the codecs.
[[nodiscard]] bool ReadCodecPicture(const char* path, HBITMAP* bitmap);

// Writes `picture` to `path` as PNG or JPEG (quality 90). PNG keeps 1-, 4-
// and 8-bit pictures as palette files with their colours, and the alpha of
// 32-bit pictures whose fourth bytes are not all zero; everything else is
// written 24-bit. False on any failure, and then no file is left under the
// name.
[[nodiscard]] bool WriteCodecPicture(const char* path, HBITMAP picture, PictureFormat format);
