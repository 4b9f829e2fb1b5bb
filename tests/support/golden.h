#pragma once
// Golden images: text images of bytes, checked in under tests/.../golden and
// compared whole. ZQ_UPDATE_GOLDEN=1 rewrites them instead.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

// Sixteen bytes a line, each line led by its offset.
inline std::string HexImage(const void* data, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    std::string out;
    char cell[12];
    for (size_t i = 0; i < size; ++i) {
        if (i % 16 == 0) {
            std::snprintf(cell, sizeof cell, "%s%04zx:", i ? "\n" : "", i);
            out += cell;
        }
        std::snprintf(cell, sizeof cell, " %02x", bytes[i]);
        out += cell;
    }
    return out + "\n";
}

// `name` is the file's name in the folder the test executable was built with.
inline void ExpectGolden(const std::string& name, const std::string& image) {
    const std::string path = std::string(ZQ_GOLDEN_DIR) + "/" + name + ".txt";
    if (const char* update = std::getenv("ZQ_UPDATE_GOLDEN"); update && *update == '1') {
        std::ofstream(path, std::ios::binary) << image;
        return;
    }
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in) << "no golden image " << path << " (ZQ_UPDATE_GOLDEN=1 writes it)";
    std::stringstream golden;
    golden << in.rdbuf();
    EXPECT_EQ(image, golden.str()) << path;
}
