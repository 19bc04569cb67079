// What the display library's tests share: a fixture that proves every test leaves no object
// of the library alive, the message of a DynamicError, and small pixel helpers.
#ifndef TRELK_TESTS_DISPLAY_SUPPORT_H
#define TRELK_TESTS_DISPLAY_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/display/test_counters.h"
#include "trelk/error.h"
#include "trelk/surface.h"

namespace display_test {

// The message a DynamicError reports, as the program's handler would print it
inline std::string message_of(const trelk::DynamicError& error) {
    testing::internal::CaptureStderr();
    error.report();
    std::string line = testing::internal::GetCapturedStderr();
    if (!line.empty() && line.back() == '\n') line.pop_back();
    return line;
}

// Every test starts and ends with the same number of live objects, the caller's and the
// library's own, and with the library's settings unset
class DisplayTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"TRELK_DISPLAY", "TRELK_FRAMES", "TRELK_CAPTURE", "TRELK_VSYNC"}) {
            unsetenv(name);
        }
        setenv("TRELK_DISPLAY", "headless", 1);
        live_ = trelk_display_live_objects();
        library_ = trelk_display_library_objects();
    }
    void TearDown() override {
        EXPECT_EQ(trelk_display_live_objects(), live_) << "objects made by a test still live";
        EXPECT_EQ(trelk_display_library_objects(), library_) << "library objects still live";
    }

private:
    int live_ = 0, library_ = 0;
};

// A 32-bit XRGB pixel
inline std::uint32_t pixel(trelk::BaseSurface& surface, int x, int y) {
    const auto* p = static_cast<const std::uint32_t*>(surface.lock());
    const std::uint32_t value = p[x + y * surface.width()];
    surface.unlock();
    return value;
}

inline void set_pixel(trelk::BaseSurface& surface, int x, int y, std::uint32_t value) {
    auto* p = static_cast<std::uint32_t*>(surface.lock());
    p[x + y * surface.width()] = value;
    surface.unlock();
}

// A colour that tells its coordinates apart: red x, green y, blue 0x80
inline std::uint32_t coordinate_color(int x, int y) {
    return std::uint32_t(x & 0xff) << 16 | std::uint32_t(y & 0xff) << 8 | 0x80;
}

inline void fill_coordinates(trelk::BaseSurface& surface) {
    auto* p = static_cast<std::uint32_t*>(surface.lock());
    for (int y = 0; y < surface.height(); ++y) {
        for (int x = 0; x < surface.width(); ++x)
            p[x + y * surface.width()] = coordinate_color(x, y);
    }
    surface.unlock();
}

// Runs a shell command and gives what it printed
inline std::string run(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
        pclose(pipe);
    }
    return out;
}

// The size of a PNG file and the 0xRRGGBB colours at the points asked for, read with PIL;
// an empty list when the file cannot be read
struct PngPixels {
    int width = 0, height = 0;
    std::vector<std::uint32_t> colors;
};

inline PngPixels png_pixels(const std::string& file, const std::vector<std::pair<int, int>>& at) {
    std::string command =
        std::string("/usr/bin/python3 " DISPLAY_TESTS_DIR "/display_png_pixels.py '") + file + "'";
    for (const auto& point : at) {
        command += " " + std::to_string(point.first) + " " + std::to_string(point.second);
    }
    PngPixels result;
    const std::string out = run(command + " 2>/dev/null");
    const char* p = out.c_str();
    int used = 0;
    if (std::sscanf(p, "%d %d%n", &result.width, &result.height, &used) != 2) return PngPixels{};
    p += used;
    for (std::size_t i = 0; i < at.size(); ++i) {
        unsigned r = 0, g = 0, b = 0;
        if (std::sscanf(p, "%u %u %u%n", &r, &g, &b, &used) != 3) return PngPixels{};
        p += used;
        result.colors.push_back(r << 16 | g << 8 | b);
    }
    return result;
}

}  // namespace display_test

// Expects statement to throw trelk::DynamicError whose message contains text
#define EXPECT_DISPLAY_ERROR(statement, text)                                               \
    do {                                                                                    \
        try {                                                                               \
            statement;                                                                      \
            ADD_FAILURE() << "expected a DynamicError with \"" << (text) << "\", got none"; \
        } catch (const trelk::DynamicError& error) {                                        \
            const std::string got = display_test::message_of(error);                        \
            EXPECT_NE(got.find(text), std::string::npos)                                    \
                << "expected a message with \"" << (text) << "\", got \"" << got << "\"";   \
        }                                                                                   \
    } while (0)

#endif
