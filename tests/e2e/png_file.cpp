#include "png_file.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <vector>

namespace {

uint32_t Crc(const unsigned char *data, size_t size, uint32_t crc = 0xffffffffu) {
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1)));
        }
    }
    return crc;
}

void Put32(std::vector<unsigned char> &out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<unsigned char>(value >> shift));
    }
}

void Chunk(std::ofstream &file, const char *type, const std::vector<unsigned char> &data) {
    std::vector<unsigned char> chunk;
    Put32(chunk, static_cast<uint32_t>(data.size()));
    chunk.insert(chunk.end(), type, type + 4);
    chunk.insert(chunk.end(), data.begin(), data.end());
    Put32(chunk, Crc(chunk.data() + 4, chunk.size() - 4) ^ 0xffffffffu);
    file.write(reinterpret_cast<const char *>(chunk.data()),
               static_cast<std::streamsize>(chunk.size()));
}

} // namespace

bool SavePng(const Image &image, const std::string &path) {
    std::ofstream file(path, std::ios::binary);
    if (!file) {
        return false;
    }
    file.write("\x89PNG\r\n\x1a\n", 8);

    std::vector<unsigned char> header;
    Put32(header, static_cast<uint32_t>(image.width));
    Put32(header, static_cast<uint32_t>(image.height));
    header.insert(header.end(), {8, 2, 0, 0, 0}); // 8-bit RGB, no interlace
    Chunk(file, "IHDR", header);

    // Scanlines with filter byte 0, wrapped in a zlib stream of stored (uncompressed) blocks.
    std::vector<unsigned char> raw;
    const auto row = static_cast<std::ptrdiff_t>(image.width) * 3;
    for (int y = 0; y < image.height; ++y) {
        raw.push_back(0);
        raw.insert(raw.end(), image.rgb.begin() + y * row, image.rgb.begin() + (y + 1) * row);
    }
    std::vector<unsigned char> zlib = {0x78, 0x01};
    for (size_t at = 0; at < raw.size() || raw.empty(); at += 65535) {
        const size_t size = std::min<size_t>(65535, raw.size() - at);
        zlib.push_back(at + size == raw.size() ? 1 : 0);
        zlib.push_back(static_cast<unsigned char>(size));
        zlib.push_back(static_cast<unsigned char>(size >> 8));
        zlib.push_back(static_cast<unsigned char>(~size));
        zlib.push_back(static_cast<unsigned char>(~size >> 8));
        const auto from = raw.begin() + static_cast<std::ptrdiff_t>(at);
        zlib.insert(zlib.end(), from, from + static_cast<std::ptrdiff_t>(size));
        if (raw.empty()) {
            break;
        }
    }
    uint32_t a = 1, b = 0;
    for (unsigned char byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    Put32(zlib, (b << 16) | a);
    Chunk(file, "IDAT", zlib);
    Chunk(file, "IEND", {});
    return static_cast<bool>(file);
}
