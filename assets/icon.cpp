// The icon: samples of our picture, written as PNG with zlib, and a Windows icon file of PNGs
#include "assets/icon.h"

#include <zlib.h>

#include <stdexcept>
#include <string>

#include "assets/picture.h"

namespace icon {
namespace {

void put32(std::vector<uint8_t>& out, uint32_t value) {  // big-endian, as PNG has it
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}
void put16le(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}
void put32le(std::vector<uint8_t>& out, uint32_t value) {
    put16le(out, value & 0xffff);
    put16le(out, value >> 16);
}

// A chunk: its length, its type, its data, and the CRC of type and data
void chunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
    put32(out, static_cast<uint32_t>(data.size()));
    const std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    const uLong crc =
        crc32(crc32(0L, Z_NULL, 0), out.data() + start, static_cast<uInt>(out.size() - start));
    put32(out, static_cast<uint32_t>(crc));
}

}  // namespace

std::vector<uint8_t> pixels(int size) {
    if (size < 1 || size > 1024) throw std::invalid_argument("icon size out of range");
    constexpr int samples = 4;
    std::vector<uint8_t> rgb;
    rgb.reserve(static_cast<std::size_t>(size) * size * 3);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            int sum[3] = {0, 0, 0};
            for (int sy = 0; sy < samples; ++sy) {
                for (int sx = 0; sx < samples; ++sx) {
                    // The sample's place in the square, then the picture's pixel under it
                    const long px = (static_cast<long>(x) * samples + sx) * crop_side /
                                    (static_cast<long>(size) * samples);
                    const long py = (static_cast<long>(y) * samples + sy) * crop_side /
                                    (static_cast<long>(size) * samples);
                    const picture::Rgb c = picture::pixel(crop_left + static_cast<int>(px),
                                                          crop_top + static_cast<int>(py));
                    sum[0] += c.r;
                    sum[1] += c.g;
                    sum[2] += c.b;
                }
            }
            for (const int s : sum) {
                rgb.push_back(
                    static_cast<uint8_t>((s + samples * samples / 2) / (samples * samples)));
            }
        }
    }
    return rgb;
}

std::vector<uint8_t> png_file(int size) {
    const std::vector<uint8_t> rgb = pixels(size);
    // Each row starts with its filter type: 0, none
    const std::size_t row = static_cast<std::size_t>(size) * 3;
    std::vector<uint8_t> raw;
    raw.reserve((row + 1) * static_cast<std::size_t>(size));
    for (int y = 0; y < size; ++y) {
        raw.push_back(0);
        raw.insert(raw.end(), rgb.begin() + static_cast<std::ptrdiff_t>(row * y),
                   rgb.begin() + static_cast<std::ptrdiff_t>(row * (y + 1)));
    }
    uLongf packed_size = compressBound(static_cast<uLong>(raw.size()));
    std::vector<uint8_t> packed(packed_size);
    if (compress2(packed.data(), &packed_size, raw.data(), static_cast<uLong>(raw.size()), 9) !=
        Z_OK) {
        throw std::runtime_error("zlib could not compress the icon");
    }
    packed.resize(packed_size);

    std::vector<uint8_t> file{0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    std::vector<uint8_t> header;
    put32(header, static_cast<uint32_t>(size));
    put32(header, static_cast<uint32_t>(size));
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, filters, no interlace
    chunk(file, "IHDR", header);
    chunk(file, "IDAT", packed);
    chunk(file, "IEND", {});
    return file;
}

std::vector<uint8_t> ico_file() {
    const int sizes[] = {16, 32, 48, 256};
    std::vector<std::vector<uint8_t>> images;
    for (const int size : sizes) images.push_back(png_file(size));

    // The header, one directory entry per image, then the images in that order
    std::vector<uint8_t> file;
    put16le(file, 0);  // reserved
    put16le(file, 1);  // an icon
    put16le(file, static_cast<uint32_t>(images.size()));
    uint32_t offset = static_cast<uint32_t>(6 + 16 * images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        file.push_back(static_cast<uint8_t>(sizes[i] == 256 ? 0 : sizes[i]));  // 0 means 256
        file.push_back(static_cast<uint8_t>(sizes[i] == 256 ? 0 : sizes[i]));
        file.push_back(0);  // no palette
        file.push_back(0);  // reserved
        put16le(file, 1);   // colour planes
        put16le(file, 24);  // bits a pixel
        put32le(file, static_cast<uint32_t>(images[i].size()));
        put32le(file, offset);
        offset += static_cast<uint32_t>(images[i].size());
    }
    for (const std::vector<uint8_t>& image : images)
        file.insert(file.end(), image.begin(), image.end());
    return file;
}

}  // namespace icon
