#pragma once
// Pictures the player makes and reads: the two palettes of its elements and
// test pictures, the test pictures themselves, and snapshots of surfaces and
// bitmaps as 24-bit BMP files in the colours they show.
#include <windows.h>

#include <array>
#include <cstdint>
#include <vector>

#include "hostsim/host.h"
#include "hostsim/player/project.h"

namespace zqplay {

using Palette = std::array<uint32_t, 256>;  // 0x00RRGGBB per index
const Palette& GreyPalette();
const Palette& ColourPalette();  // 3 bits red, 3 green, 2 blue: index RRRGGGBB

// Pixels in their colours, top row first, 3 bytes per pixel (red, green, blue).
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
};

// An 8-bit BMP file of `style`, in the colour palette (grey: the grey one).
std::vector<uint8_t> TestPictureFile(int width, int height, PictureStyle style);

// The element's rectangle, or with `wholeSurface` its whole surface, in the
// colours of the surface's colour table. Empty when nothing of it is on the surface.
Picture SurfacePicture(const hostsim::Element& element, bool wholeSurface);

// The bitmap's pixels through the platform, whatever its format; empty when
// `bitmap` is not a bitmap.
Picture BitmapPicture(HBITMAP bitmap);
// Width, height and bits per pixel; false when `bitmap` is not a bitmap.
bool BitmapFormat(HBITMAP bitmap, int& width, int& height, int& bitsPerPixel);

// A 24-bit bottom-up BMP file of `picture`.
std::vector<uint8_t> EncodeBmp(const Picture& picture);

// CRC-32 of the pixels, to tell pictures apart in a log line.
uint32_t PixelChecksum(const Picture& picture);

}  // namespace zqplay
