// The demo as a process, from a folder that holds its picture and module: headless runs that
// end after N frames and capture the last one, the capture compared with reference frames and
// with the cube drawn in-process, the missing picture, the missing or broken module, the music
// captured by SDL's disk audio driver, and (under
// a virtual X display) the real window, its screenshot and a key that ends it.
//
// Captures are read back with ImageMagick (a reader we did not write) as raw RGB.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "demo/cube.h"
#include "tests/demo_memory_surface.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const fs::path demo_binary = DEMO_BINARY;
const fs::path assets = DEMO_ASSETS_DIR;
const fs::path references = fs::path(DEMO_TESTS_DIR) / "data";

struct Image {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgb;
    std::uint32_t at(int x, int y) const {
        const std::size_t i = (static_cast<std::size_t>(y) * width + x) * 3;
        return static_cast<std::uint32_t>(rgb[i]) << 16 | rgb[i + 1] << 8 | rgb[i + 2];
    }
};

// The output of a shell command.
std::string shell(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
        pclose(pipe);
    }
    return out;
}

Image read_image(const fs::path& file) {
    Image image;
    const std::string size =
        shell("/usr/bin/identify -format '%w %h' '" + file.string() + "' 2>/dev/null");
    if (std::sscanf(size.c_str(), "%d %d", &image.width, &image.height) != 2) return Image{};
    const std::string raw = shell("/usr/bin/convert '" + file.string() + "' -depth 8 rgb:-");
    image.rgb.assign(raw.begin(), raw.end());
    if (image.rgb.size() != static_cast<std::size_t>(image.width) * image.height * 3) {
        return Image{};
    }
    return image;
}

// White pixels: the cube's colour, which the picture never uses.
std::vector<bool> white_mask(const Image& image) {
    std::vector<bool> mask(static_cast<std::size_t>(image.width) * image.height);
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            mask[static_cast<std::size_t>(y) * image.width + x] = image.at(x, y) == 0xFFFFFF;
        }
    }
    return mask;
}

// The cube of frame n (1 = the first) as the demo draws it, in memory.
std::vector<bool> cube_mask(int frame) {
    build_trig_tables();
    angle_x = angle_y = angle_z = 0;
    for (int i = 1; i < frame; ++i) advance_angles(2, 1, 2);
    MemorySurface surface(320, 200);
    draw_cube(surface, 0, -20, 50, 5, 255, 10);
    std::vector<bool> mask(surface.pixels.size());
    for (std::size_t i = 0; i < mask.size(); ++i) mask[i] = surface.pixels[i] == 0x00FFFFFF;
    return mask;
}

std::size_t distinct_colours(const Image& image) {
    std::set<std::uint32_t> colours;
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) colours.insert(image.at(x, y));
    }
    return colours.size();
}

class DemoProgram : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::path(::testing::TempDir()) /
              ("demo_program_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        fs::copy_file(assets / "flagga.tga", dir / "flagga.tga");
        fs::copy_file(assets / "bla.xm", dir / "bla.xm");
    }
    void TearDown() override {
        std::error_code ignored;
        if (!HasFailure()) fs::remove_all(dir, ignored);  // kept for a look when a test fails
    }

    // Runs the demo headless in dir until `frames` frames are presented, capturing the last
    // one; the exit status, and the program's output in `output`.
    int run_headless(int frames, const std::string& capture = "capture.png") {
        const std::string command = "cd '" + dir.string() +
                                    "' && env TRELK_DISPLAY=headless SDL_AUDIODRIVER=dummy "
                                    "TRELK_FRAMES=" +
                                    std::to_string(frames) + " TRELK_CAPTURE=" + capture +
                                    " timeout 120 '" + program.string() + "' > output.txt 2>&1";
        const int status = std::system(command.c_str());
        std::ifstream in(dir / "output.txt");
        output.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    fs::path dir;
    fs::path program = demo_binary;
    std::string output;
};

TEST_F(DemoProgram, HeadlessRunShowsThePictureUnderTheCube) {
    ASSERT_EQ(run_headless(3), 0) << output;
    const Image frame = read_image(dir / "capture.png");
    ASSERT_EQ(frame.width, 320);
    ASSERT_EQ(frame.height, 200);
    // The cube of the third frame, exactly where the cube effect draws it, and nothing else
    // white; around it the picture in its many colours.
    EXPECT_TRUE(white_mask(frame) == cube_mask(3)) << "the cube's pixels differ";
    EXPECT_GT(distinct_colours(frame), 500u);
}

// The presented frames 1, 2 and 300 against reference frames that were looked at by a person.
// DEMO_UPDATE_REFERENCES=1 writes new references instead (look at them before committing).
TEST_F(DemoProgram, FramesMatchTheReferences) {
    for (int n : {1, 2, 300}) {
        char name[32];
        std::snprintf(name, sizeof name, "demo_frame_%03d.png", n);
        ASSERT_EQ(run_headless(n, name), 0) << output;
        if (std::getenv("DEMO_UPDATE_REFERENCES") != nullptr) {
            fs::copy_file(dir / name, references / name, fs::copy_options::overwrite_existing);
            continue;
        }
        const Image got = read_image(dir / name);
        const Image expected = read_image(references / name);
        ASSERT_EQ(expected.width, 320) << "reference " << name << " missing or unreadable";
        ASSERT_EQ(got.width, expected.width);
        ASSERT_EQ(got.height, expected.height);
        int differ = 0, first_x = -1, first_y = -1;
        for (int y = 0; y < got.height; ++y) {
            for (int x = 0; x < got.width; ++x) {
                if (got.at(x, y) == expected.at(x, y)) continue;
                if (differ++ == 0) first_x = x, first_y = y;
            }
        }
        EXPECT_EQ(differ, 0) << "frame " << n << ": " << differ << " pixels differ, the first at ("
                             << first_x << ", " << first_y << "); capture kept in " << dir;
        EXPECT_TRUE(white_mask(got) == cube_mask(n)) << "frame " << n;
    }
}

TEST_F(DemoProgram, MissingPictureIsReportedWithStatus1) {
    fs::remove(dir / "flagga.tga");
    EXPECT_EQ(run_headless(3), 1) << output;
    EXPECT_NE(output.find("could not load image"), std::string::npos) << output;
    EXPECT_FALSE(fs::exists(dir / "capture.png")) << "no frame was presented";
}

// Installed as a package lays it out (PREFIX/games, PREFIX/share/games/kelvra-demo) and started
// from a folder without its files, the demo finds them; its own folder comes before the shared
// one, the working folder before both; found nowhere, the second line names the folders tried
TEST_F(DemoProgram, FindsItsFilesWhereverItIsStartedFrom) {
    const fs::path prefix = dir / "prefix";
    const fs::path share = prefix / "share" / "games" / "kelvra-demo";
    fs::create_directories(prefix / "games");
    fs::create_directories(share);
    program = prefix / "games" / "kelvra-demo";
    fs::copy_file(demo_binary, program);
    fs::rename(dir / "flagga.tga", share / "flagga.tga");
    fs::rename(dir / "bla.xm", share / "bla.xm");

    ASSERT_EQ(run_headless(1), 0) << output;
    const Image frame = read_image(dir / "capture.png");
    const Image expected = read_image(references / "demo_frame_001.png");
    ASSERT_EQ(frame.width, 320) << output;
    EXPECT_TRUE(frame.rgb == expected.rgb) << "frame 1 differs from the reference";

    // A black picture beside the program is taken before the shared one
    std::vector<char> black(18 + 320 * 200 * 3, 0);
    std::ofstream(prefix / "games" / "flagga.tga", std::ios::binary)
        .write(black.data(), static_cast<std::streamsize>(black.size()));
    ASSERT_EQ(run_headless(1), 0) << output;
    EXPECT_EQ(read_image(dir / "capture.png").at(5, 100), 0u) << "the shared picture was taken";
    // and the working folder's before both
    fs::copy_file(share / "flagga.tga", dir / "flagga.tga");
    ASSERT_EQ(run_headless(1), 0) << output;
    EXPECT_TRUE(read_image(dir / "capture.png").rgb == expected.rgb) << "the working folder's";

    fs::remove(dir / "flagga.tga");
    fs::remove(prefix / "games" / "flagga.tga");
    fs::remove(share / "flagga.tga");
    ASSERT_EQ(run_headless(1), 1) << output;
    const std::string tried = "could not load image\nlooked in: " + fs::canonical(dir).string() +
                              ", " + fs::canonical(prefix / "games").string() + ", " +
                              fs::canonical(share).string() + "\n";
    EXPECT_EQ(output, tried);
}

TEST_F(DemoProgram, MissingOrBrokenModuleGivesASilentDemo) {
    const std::vector<unsigned char> real_start = [&] {
        std::ifstream in(dir / "bla.xm", std::ios::binary);
        std::vector<unsigned char> bytes(200);
        in.read(reinterpret_cast<char*>(bytes.data()), 200);
        return bytes;
    }();
    const std::vector<std::pair<std::string, std::vector<unsigned char>>> modules{
        {"missing", {}},
        {"empty", {}},
        {"not a module", std::vector<unsigned char>(5000, 0xA5)},
        {"cut short", real_start},
    };
    for (const auto& [what, bytes] : modules) {
        fs::remove(dir / "bla.xm");
        fs::remove(dir / "capture.png");
        if (what != "missing") {
            std::ofstream out(dir / "bla.xm", std::ios::binary);
            out.write(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<std::streamsize>(bytes.size()));
        }
        EXPECT_EQ(run_headless(3), 0) << what << ": " << output;
        const Image frame = read_image(dir / "capture.png");
        EXPECT_TRUE(frame.width == 320 && white_mask(frame) == cube_mask(3)) << what;
    }
}

// Polls for the child's end for up to `seconds`; its exit status, or -1 if still running.
int wait_for(pid_t child, double seconds) {
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    int status = 0;
    do {
        if (waitpid(child, &status, WNOHANG) == child) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } while (Clock::now() < end);
    return -1;
}

// The music as the demo plays it: SDL's disk driver writes what the device would have played
// (44.1 kHz, 16-bit stereo) while the demo runs; once a second of it is written the demo is
// asked to quit with SIGTERM. Waiting for the sound rather than for a fixed time: the console,
// which makes SIGTERM a request to quit, is open before the music starts, so a loaded machine
// cannot get the signal in before the demo is ready for it.
TEST_F(DemoProgram, MusicIsAudibleWhileTheDemoRuns) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (chdir(dir.c_str()) != 0) _exit(126);
        setenv("TRELK_DISPLAY", "headless", 1);
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", "music.raw", 1);
        unsetenv("TRELK_FRAMES");
        unsetenv("TRELK_CAPTURE");
        std::FILE* output = std::freopen("output.txt", "w", stdout);
        if (!output || dup2(fileno(output), 2) < 0) _exit(126);
        execl(demo_binary.c_str(), demo_binary.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    const std::uintmax_t one_second = 44100 * 4;  // bytes
    const auto give_up = Clock::now() + std::chrono::seconds(30);
    const auto written = [&] {
        std::error_code missing;
        const std::uintmax_t size = fs::file_size(dir / "music.raw", missing);
        return missing ? 0 : size;
    };
    int status = -1;
    while (status == -1 && written() < one_second && Clock::now() < give_up)
        status = wait_for(child, 0.05);
    ASSERT_EQ(status, -1) << "the demo ended before a second of music was written";
    kill(child, SIGTERM);
    status = wait_for(child, 30);
    if (status == -1) {
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
    }
    EXPECT_EQ(status, 0) << "the demo did not end normally after SIGTERM";

    std::ifstream in(dir / "music.raw", std::ios::binary);
    std::vector<std::int16_t> samples;
    std::int16_t sample = 0;
    while (in.read(reinterpret_cast<char*>(&sample), sizeof sample)) samples.push_back(sample);
    const std::size_t half_second = 44100;  // stereo samples
    ASSERT_GT(samples.size(), half_second) << "less than half a second of sound was written";
    double sum = 0;
    for (std::int16_t v : samples) sum += double(v) * v;
    const double rms = std::sqrt(sum / double(samples.size())) / 32768.0;
    EXPECT_GT(rms, 0.01) << "the music is (nearly) silent: RMS " << rms;
}

// ---- under a virtual X display (xvfb-run, from CTest)

TEST_F(DemoProgram, WindowShowsTheDemoAndAKeyEndsIt) {
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run under xvfb-run";
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (chdir(dir.c_str()) != 0) _exit(126);
        setenv("TRELK_DISPLAY", "window", 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        unsetenv("TRELK_FRAMES");
        execl(demo_binary.c_str(), demo_binary.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }

    const std::string found =
        shell("timeout 20 xdotool search --sync --name '^kelvra demo$' 2>/dev/null");
    const unsigned long window = std::strtoul(found.c_str(), nullptr, 10);
    if (window == 0) kill(child, SIGKILL);
    ASSERT_NE(window, 0ul) << "no window titled \"kelvra demo\"";

    // Screenshots of the window until one shows the picture and the cube (a loaded machine
    // may map the window before the first frame is presented).
    const fs::path shot = dir / "window.png";
    Image screen;
    std::size_t white = 0, colours = 0;
    const auto give_up = Clock::now() + std::chrono::seconds(10);
    do {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        shell("/usr/bin/import -window " + std::to_string(window) + " '" + shot.string() + "'");
        screen = read_image(shot);
        white = 0;
        for (bool w : white_mask(screen)) white += w;
        colours = distinct_colours(screen);
    } while ((white <= 500 || colours <= 500) && Clock::now() < give_up);
    EXPECT_GE(screen.width, 320);
    EXPECT_GE(screen.height, 200);
    EXPECT_GT(white, 500u) << "no cube in the window";
    EXPECT_GT(colours, 500u) << "no picture in the window";

    shell("xdotool key --window " + std::to_string(window) + " space");
    const auto pressed = Clock::now();
    const int status = wait_for(child, 2.0);
    const double took = std::chrono::duration<double>(Clock::now() - pressed).count();
    if (status == -1) {
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
    }
    EXPECT_EQ(status, 0) << "after " << took << " s";
}

}  // namespace
