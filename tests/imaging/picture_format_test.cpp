// Which codec a file goes to: its first bytes when read, its name when written.
#include "imaging/picture_format.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(PictureFormat, TheFirstBytesChooseTheReader) {
    const struct { std::string head; PictureFormat want; } kCases[] = {
        {std::string("\x89PNG\r\n\x1a\n", 8) + "IHDR", PictureFormat::Png},
        {std::string("\x89PNG\r\n\x1a", 7), PictureFormat::Bmp},  // cut short: the BMP reader says why
        {"\xff\xd8\xff\xe0", PictureFormat::Jpeg},
        {"\xff\xd8\xfe", PictureFormat::Bmp},
        {"GIF87a", PictureFormat::Gif},
        {"GIF89a", PictureFormat::Gif},
        {"GIF90a", PictureFormat::Bmp},
        {std::string("II*\0", 4), PictureFormat::Tiff},
        {std::string("MM\0*", 4), PictureFormat::Tiff},
        {std::string("MM*\0", 4), PictureFormat::Bmp},  // the byte orders do not mix
        {"BM", PictureFormat::Bmp},
        {"", PictureFormat::Bmp},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(FormatBySignature(reinterpret_cast<const uint8_t*>(c.head.data()), c.head.size()), c.want)
            << testing::PrintToString(c.head);
    }
}

TEST(PictureFormat, TheNameChoosesTheWriter) {
    const struct { const char* name; PictureFormat want; } kCases[] = {
        {"a.png", PictureFormat::Png},       {"C:\\x\\A.PNG", PictureFormat::Png},
        {"a.jpg", PictureFormat::Jpeg},      {"a.JpEg", PictureFormat::Jpeg},
        {"a.bmp", PictureFormat::Bmp},       {"a.gif", PictureFormat::Bmp},  // read, never written
        {"a.png.bmp", PictureFormat::Bmp},   {"png", PictureFormat::Bmp},
        {".jpeg", PictureFormat::Jpeg},      {"", PictureFormat::Bmp},
    };
    for (const auto& c : kCases) EXPECT_EQ(FormatByName(c.name), c.want) << c.name;
}

TEST(PictureFormat, AlphaIsAnyFourthByteNotZero) {
    uint8_t pixels[4 * 5] = {};
    for (int i = 0; i < 20; ++i)
        if (i % 4 != 3) pixels[i] = 0xFF;
    EXPECT_FALSE(HasAlpha(pixels, 20, 1, 5));
    pixels[4 * 4 + 3] = 1;  // the last pixel's
    EXPECT_TRUE(HasAlpha(pixels, 20, 1, 5));
    EXPECT_FALSE(HasAlpha(pixels, 16, 1, 4));
}

TEST(PictureFormat, IndicesWidenFromTheTopOfEachByte) {
    const uint8_t one[] = {0xA5, 0x80}, four[] = {0x1F, 0xE2};
    uint8_t out[10];
    WidenIndices(one, 1, out, 10);
    EXPECT_EQ(std::string(out, out + 10), std::string("\1\0\1\0\0\1\0\1\1\0", 10));
    WidenIndices(four, 4, out, 3);  // the fourth nibble is past the count
    EXPECT_EQ(std::string(out, out + 3), std::string("\x1\xF\xE", 3));
}

}  // namespace
