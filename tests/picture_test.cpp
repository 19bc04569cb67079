// The picture loader: files written by another tool (PIL) land upright with their
// colours, the header is never consulted, a short file leaves black rows, and a missing file or
// a directory is refused before anything is loaded. The display library is the recording
// double, which shows the format and palette handed over and that both are destroyed.
#include "demo/picture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/demo_memory_surface.h"
#include "tests/fake_library.h"
#include "trelk/error.h"

namespace {

namespace fs = std::filesystem;

// The message of a DynamicError thrown by the loader, or "" when none was thrown.
std::string load_error(trelk::BaseSurface& surface, const std::string& path) {
    try {
        load_picture(surface, path.c_str());
    } catch (const trelk::DynamicError& error) {
        return fake::library().message(error.handle());
    }
    return "";
}

// The bytes of a file: an 18-byte header (with what the caller puts there), then the rows.
void write_file(const fs::path& path, const std::vector<unsigned char>& header,
                const std::vector<unsigned char>& rows) {
    std::vector<unsigned char> bytes(18, 0);
    std::copy(header.begin(), header.end(), bytes.begin());
    bytes.insert(bytes.end(), rows.begin(), rows.end());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// The colours that demo_make_picture.py gives pixel (x, y), as blue, green, red.
std::vector<unsigned char> pattern(int width, int height) {
    std::vector<unsigned char> out;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            out.push_back(static_cast<unsigned char>((x + y * 3) % 256));
            out.push_back(static_cast<unsigned char>((y * 13) % 256));
            out.push_back(static_cast<unsigned char>((x * 7 + y) % 256));
        }
    }
    return out;
}

// Writes the test pattern with PIL (the system's own Python, where Debian installs PIL).
bool make_picture(const fs::path& file, int width, int height, const std::string& image_id = "") {
    const std::string command = std::string("/usr/bin/python3 '") + DEMO_TESTS_DIR +
                                "/demo_make_picture.py' '" + file.string() + "' " +
                                std::to_string(width) + " " + std::to_string(height) + " " +
                                image_id;
    const int status = std::system(command.c_str());
    EXPECT_EQ(status, 0) << command;
    return status == 0;
}

class Picture : public ::testing::Test {
protected:
    void SetUp() override {
        lib.reset();
        dir = fs::path(::testing::TempDir()) /
              ("demo_picture_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
        EXPECT_THAT(lib.faults(), ::testing::IsEmpty());
        EXPECT_THAT(lib.live(), ::testing::IsEmpty()) << "format, palette or error left alive";
    }

    fake::Library& lib = fake::library();
    fs::path dir;
};

TEST_F(Picture, PilPictureLoadsUprightWithItsColours) {
    const fs::path file = dir / "pil.tga";
    ASSERT_TRUE(make_picture(file, 320, 200));

    MemorySurface surface(320, 200);
    load_picture(surface, file.string().c_str());
    EXPECT_EQ(surface.loads, 1);
    EXPECT_EQ(surface.load_width, 320);
    EXPECT_EQ(surface.load_height, 200);
    EXPECT_EQ(surface.load_pitch, 960);
    EXPECT_TRUE(surface.loaded == pattern(320, 200)) << "rows flipped, shifted or swapped";

    // One 24-bit format with the three colour masks and one default palette, made for the load
    // and destroyed after it.
    const auto formats = lib.calls_of(96);
    ASSERT_EQ(formats.size(), 1u);
    EXPECT_EQ(formats[0], fake::Call(96, {24, 0xff0000u, 0xff00u, 0xffu, 0u}));
    ASSERT_EQ(lib.calls_of(125).size(), 1u);
    EXPECT_EQ(surface.load_format, lib.created()[1]);
    EXPECT_EQ(surface.load_palette, lib.created()[0]);
}

// An image ID field is not skipped: the pixels come out shifted by its length.
TEST_F(Picture, PilPictureWithAnImageIdIsShifted) {
    ASSERT_TRUE(make_picture(dir / "id.tga", 8, 5, "kelvra"));
    MemorySurface surface(8, 5);
    load_picture(surface, (dir / "id.tga").string().c_str());

    // The file from byte 18: the ID, then the rows bottom first
    const std::vector<unsigned char> top_down = pattern(8, 5);
    std::vector<unsigned char> stream{'k', 'e', 'l', 'v', 'r', 'a'};
    for (int y = 4; y >= 0; --y) {
        stream.insert(stream.end(), top_down.begin() + y * 24, top_down.begin() + y * 24 + 24);
    }
    std::vector<unsigned char> expected;
    for (int y = 4; y >= 0; --y) {
        expected.insert(expected.end(), stream.begin() + y * 24, stream.begin() + y * 24 + 24);
    }
    EXPECT_EQ(surface.loaded, expected);
}

TEST_F(Picture, HeaderIsNeverConsulted) {
    // It claims 2 x 2 pixels, RLE, 32 bits and a 5-byte image ID: read as 4 x 3 raw pixels all
    // the same, from byte 18 on.
    const std::vector<unsigned char> header{5, 0, 10, 0, 0, 0, 0, 0,  0,
                                            0, 0, 0,  2, 0, 2, 0, 32, 0x20};
    const std::vector<unsigned char> top_down = pattern(4, 3);
    std::vector<unsigned char> bottom_up;
    for (int y = 2; y >= 0; --y) {
        bottom_up.insert(bottom_up.end(), top_down.begin() + y * 12,
                         top_down.begin() + y * 12 + 12);
    }
    write_file(dir / "odd.tga", header, bottom_up);
    MemorySurface surface(4, 3);
    load_picture(surface, (dir / "odd.tga").string().c_str());
    EXPECT_EQ(surface.loaded, top_down);
}

TEST_F(Picture, ShortFileLeavesTheRestBlack) {
    // The bottom row whole, then half of the next one: everything above is zero.
    std::vector<unsigned char> rows(4 * 3 + 6, 0x7f);
    write_file(dir / "short.tga", {}, rows);
    MemorySurface surface(4, 3);
    load_picture(surface, (dir / "short.tga").string().c_str());
    ASSERT_EQ(surface.loads, 1);
    std::vector<unsigned char> expected(4 * 3 * 3, 0);
    std::fill(expected.begin() + 24, expected.end(), 0x7f);         // row 2, the bottom
    std::fill(expected.begin() + 12, expected.begin() + 18, 0x7f);  // half of row 1
    EXPECT_EQ(surface.loaded, expected);

    // Not even a header: a black picture
    write_file(dir / "tiny.tga", {}, {});
    fs::resize_file(dir / "tiny.tga", 7);
    MemorySurface tiny(5, 2);
    load_picture(tiny, (dir / "tiny.tga").string().c_str());
    EXPECT_EQ(tiny.loaded, std::vector<unsigned char>(30, 0));
}

TEST_F(Picture, MissingFileOrDirectoryIsRefusedBeforeAnythingIsLoaded) {
    for (const fs::path& path : {dir / "missing.tga", dir}) {
        lib.clear_log();
        MemorySurface surface(4, 3);
        EXPECT_EQ(load_error(surface, path.string()), "could not load image") << path;
        EXPECT_EQ(surface.loads, 0);
        EXPECT_EQ(surface.widths + surface.heights, 0);
        EXPECT_TRUE(lib.calls_of(96).empty()) << "nothing built before the refusal";
    }
    EXPECT_FALSE(fs::exists(dir / "missing.tga")) << "the loader must not create the file";
}

TEST_F(Picture, SurfaceSizesOutOfRangeAreRefused) {
    write_file(dir / "p.tga", {}, pattern(4, 3));
    for (auto size : {std::pair<int, int>{-1, 3},
                      {4, -3},
                      {max_picture_side + 1, 1},
                      {1, max_picture_side + 1},
                      {INT_MAX, INT_MAX}}) {
        MemorySurface surface(0, 0);
        surface.w = size.first;  // only the answers of width() and height(), no pixels
        surface.h = size.second;
        EXPECT_EQ(load_error(surface, (dir / "p.tga").string()),
                  "could not load image: picture size out of range");
        EXPECT_EQ(surface.loads, 0);
    }

    // An empty surface reads nothing and loads an empty picture
    MemorySurface empty(0, 0);
    load_picture(empty, (dir / "p.tga").string().c_str());
    EXPECT_EQ(empty.loads, 1);
    EXPECT_EQ(empty.load_width, 0);
    EXPECT_EQ(empty.load_height, 0);
}

}  // namespace
