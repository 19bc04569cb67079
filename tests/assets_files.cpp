// Our generated picture and module: the picture as PIL reads it (size, orientation, every
// pixel, no pure white), the module as libxmp reads it (channels, patterns, synthesised
// samples, length, the loop back to its restart order, sound without clipping), the XM
// writer's round trip and its refusals, and the generators as processes: deterministic
// output, usage and write errors.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xmp.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "assets/picture.h"
#include "assets/song.h"
#include "assets/xm_writer.h"

namespace {

// A file name of this process's own under the temporary folder: ctest runs tests in parallel,
// and more than one build tree may run them at once
std::string scratch(const std::string& name) {
    return testing::TempDir() + "assets_" + std::to_string(getpid()) + "_" + name;
}

const std::string assets_dir = TRELK_ASSETS_DIR;
const std::string picture_path = assets_dir + "/flagga.tga";
const std::string module_path = assets_dir + "/bla.xm";

std::vector<uint8_t> read_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Exit status of a shell command, -1 when it did not exit normally
int run(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// ---- The picture ----

// The built picture as PIL decoded it, rows top first
class PictureAsPilReadsIt : public testing::Test {
protected:
    static void SetUpTestSuite() {
        const std::string ppm = scratch("flagga.ppm");
        status = run(std::string(ASSETS_PYTHON) + " " + ASSETS_READ_PICTURE + " " + picture_path +
                     " " + ppm);
        const std::vector<uint8_t> bytes = read_bytes(ppm);
        std::remove(ppm.c_str());
        const std::string header = "P6\n320 200\n255\n";
        if (bytes.size() == header.size() + 320 * 200 * 3 &&
            std::equal(header.begin(), header.end(), bytes.begin()))
            pixels.assign(bytes.begin() + header.size(), bytes.end());
    }
    static picture::Rgb at(int x, int y) {
        const size_t i = (static_cast<size_t>(y) * picture::width + x) * 3;
        return {pixels[i], pixels[i + 1], pixels[i + 2]};
    }
    void SetUp() override {
        ASSERT_EQ(status, 0) << "PIL could not read " << picture_path;
        ASSERT_EQ(pixels.size(), 320u * 200 * 3) << "PIL did not see a 320x200 RGB picture";
    }
    static int status;
    static std::vector<uint8_t> pixels;
};
int PictureAsPilReadsIt::status = -1;
std::vector<uint8_t> PictureAsPilReadsIt::pixels;

TEST_F(PictureAsPilReadsIt, EveryPixelIsWhereWeDrewIt) {
    int wrong = 0;
    for (int y = 0; y < picture::height; ++y)
        for (int x = 0; x < picture::width; ++x)
            if (!(at(x, y) == picture::pixel(x, y)) && wrong++ < 5)
                ADD_FAILURE() << "pixel (" << x << ", " << y << ") reads as " << int(at(x, y).r)
                              << "," << int(at(x, y).g) << "," << int(at(x, y).b) << ", drawn as "
                              << int(picture::pixel(x, y).r) << "," << int(picture::pixel(x, y).g)
                              << "," << int(picture::pixel(x, y).b);
    EXPECT_EQ(wrong, 0);
}

TEST_F(PictureAsPilReadsIt, IsUprightWithRedTopLeftAndBlueBottomLeft) {
    const picture::Rgb top_left = at(2, 2), bottom_left = at(2, 197);
    EXPECT_GT(top_left.r, 150);
    EXPECT_LT(top_left.b, 80);
    EXPECT_GT(bottom_left.b, 150);
    EXPECT_LT(bottom_left.r, 80);
    // Sky at the top (blue over green), grass at the bottom (green over blue and red)
    const picture::Rgb sky = at(160, 1), grass = at(160, 198);
    EXPECT_GT(sky.b, sky.g);
    EXPECT_GT(grass.g, grass.b);
    EXPECT_GT(grass.g, grass.r);
}

TEST_F(PictureAsPilReadsIt, HasNoPureWhiteAndManyColours) {
    std::set<uint32_t> colours;
    for (size_t i = 0; i < pixels.size(); i += 3) {
        ASSERT_FALSE(pixels[i] == 255 && pixels[i + 1] == 255 && pixels[i + 2] == 255)
            << "pure white at pixel " << i / 3;
        colours.insert(pixels[i] << 16 | pixels[i + 1] << 8 | pixels[i + 2]);
    }
    EXPECT_GT(colours.size(), 500u) << "gradients give many colours";
}

TEST(Picture, FileIsHeaderThenBottomRowFirst) {
    const std::vector<uint8_t> tga = picture::tga_file();
    ASSERT_EQ(tga.size(), 18u + 320 * 200 * 3);
    EXPECT_EQ(tga[0], 0) << "no image ID";
    EXPECT_EQ(tga[1], 0) << "no colour map";
    EXPECT_EQ(tga[2], 2) << "uncompressed true colour";
    EXPECT_EQ(tga[12] | tga[13] << 8, 320);
    EXPECT_EQ(tga[14] | tga[15] << 8, 200);
    EXPECT_EQ(tga[16], 24);
    EXPECT_EQ(tga[17] & 0x20, 0) << "origin at the bottom";
    // The first stored pixel is the bottom-left one, blue byte first
    const picture::Rgb bottom_left = picture::pixel(0, 199);
    EXPECT_EQ(tga[18], bottom_left.b);
    EXPECT_EQ(tga[19], bottom_left.g);
    EXPECT_EQ(tga[20], bottom_left.r);
    EXPECT_THROW(picture::pixel(320, 0), std::out_of_range);
    EXPECT_THROW(picture::pixel(0, -1), std::out_of_range);
}

// ---- The module ----

class ModuleInLibxmp : public testing::Test {
protected:
    void SetUp() override {
        player = xmp_create_context();
        ASSERT_EQ(xmp_load_module(player, module_path.c_str()), 0) << module_path;
        xmp_get_module_info(player, &info);
    }
    void TearDown() override {
        xmp_release_module(player);
        xmp_free_context(player);
    }
    xmp_context player = nullptr;
    xmp_module_info info{};
};

TEST_F(ModuleInLibxmp, HasChannelsPatternsAndSynthesisedInstruments) {
    const xmp_module& m = *info.mod;
    EXPECT_NE(std::string(m.type).find("XM"), std::string::npos) << m.type;
    EXPECT_GE(m.chn, 4);
    std::set<int> used(m.xxo, m.xxo + m.len);
    EXPECT_GE(used.size(), 4u) << "several different patterns are played";
    EXPECT_GE(m.ins, 4);
    for (int i = 0; i < m.ins; ++i) {
        ASSERT_GE(m.xxi[i].nsm, 1) << "instrument " << i;
        const xmp_sample& s = m.xxs[m.xxi[i].sub[0].sid];
        EXPECT_GT(s.len, 100) << m.xxi[i].name;
        EXPECT_TRUE(s.flg & XMP_SAMPLE_16BIT) << m.xxi[i].name;
    }
}

TEST_F(ModuleInLibxmp, PlaysThirtySecondsAndMoreThenLoopsToItsRestart) {
    const xmp_module& m = *info.mod;
    EXPECT_GT(m.rst, 0) << "the loop skips the intro";
    EXPECT_LT(m.rst, m.len);
    EXPECT_GE(info.seq_data[0].duration, 30000) << "milliseconds before the song repeats";

    ASSERT_EQ(xmp_start_player(player, 22050, 0), 0);
    xmp_frame_info frame{};
    int time_of_loop = -1;
    for (int i = 0; i < 200000 && time_of_loop < 0; ++i) {
        ASSERT_EQ(xmp_play_frame(player), 0);
        xmp_get_frame_info(player, &frame);
        if (frame.loop_count > 0) time_of_loop = frame.time;
    }
    ASSERT_GE(time_of_loop, 0) << "the song never loops";
    EXPECT_EQ(frame.pos, m.rst) << "the song goes on at its restart order";
    xmp_end_player(player);
}

TEST_F(ModuleInLibxmp, EveryStretchSoundsAndNothingClips) {
    ASSERT_EQ(xmp_start_player(player, 22050, 0), 0);
    // One pass of the song, in two-second windows
    const int window = 2 * 22050 * 2;  // samples
    std::vector<int16_t> buffer(window);
    int clipped = 0, total = 0;
    for (int w = 0; w < 30; ++w) {
        ASSERT_EQ(xmp_play_buffer(player, buffer.data(), window * 2, 1), 0) << "window " << w;
        double sum = 0;
        for (int16_t v : buffer) {
            sum += double(v) * v;
            clipped += (v == 32767 || v == -32768);
        }
        total += window;
        EXPECT_GT(std::sqrt(sum / window), 500.0) << "window " << w << " is nearly silent";
    }
    EXPECT_LT(clipped, total / 1000) << "clipped samples";
    xmp_end_player(player);
}

// ---- The XM writer ----

xm::Module tiny_module() {
    xm::Module m;
    m.name = "tiny";
    m.channels = 4;
    m.patterns.emplace_back(16, 4);
    m.orders = {0, 0};
    m.restart = 1;
    xm::Instrument ins;
    ins.name = "ramp";
    for (int i = 0; i < 300; ++i) ins.sample.data.push_back(static_cast<int16_t>(i * 217 - 32000));
    ins.sample.loop = xm::Loop::forward;
    ins.sample.loop_start = 100;
    ins.sample.loop_length = 200;
    ins.volume_envelope = {{{0, 0}, {4, 64}, {20, 32}}, 1};
    m.instruments = {ins};
    xm::Cell& c = m.patterns[0].at(3, 2, 4);
    c.note = 49;
    c.instrument = 1;
    c.volume = 0x30;
    return m;
}

TEST(XmWriter, WhatItWritesLibxmpReadsBack) {
    const xm::Module source = tiny_module();
    const std::vector<uint8_t> file = xm::write(source);
    xmp_context player = xmp_create_context();
    ASSERT_EQ(xmp_load_module_from_memory(player, file.data(), static_cast<long>(file.size())), 0);
    xmp_module_info info{};
    xmp_get_module_info(player, &info);
    const xmp_module& m = *info.mod;
    EXPECT_EQ(m.chn, 4);
    EXPECT_EQ(m.len, 2);
    EXPECT_EQ(m.rst, 1);
    ASSERT_EQ(m.ins, 1);
    // Sample data survives the delta coding exactly
    const xmp_sample& s = m.xxs[0];
    ASSERT_EQ(s.len, 300);
    EXPECT_EQ(s.lps, 100);
    EXPECT_EQ(s.lpe, 300);
    const int16_t* data = reinterpret_cast<const int16_t*>(s.data);
    for (int i = 0; i < 300; ++i)
        ASSERT_EQ(data[i], source.instruments[0].sample.data[i]) << "frame " << i;
    // The envelope and the one note land where they were put (libxmp counts notes from
    // one octave lower and stores volumes plus one)
    EXPECT_EQ(m.xxi[0].aei.npt, 3);
    EXPECT_EQ(m.xxi[0].aei.data[2], 4);
    EXPECT_EQ(m.xxi[0].aei.data[3], 64);
    const xmp_event& e = m.xxt[m.xxp[0]->index[2]]->event[3];
    EXPECT_EQ(e.note, 49 + 12);
    EXPECT_EQ(e.ins, 1);
    EXPECT_EQ(e.vol, 0x30 - 0x10 + 1);
    EXPECT_EQ(m.xxt[m.xxp[0]->index[2]]->event[4].note, 0) << "empty cells stay empty";
    xmp_release_module(player);
    xmp_free_context(player);
}

TEST(XmWriter, RefusesWhatTheFormatCannotHold) {
    auto refused = [](auto change) {
        xm::Module m = tiny_module();
        change(m);
        try {
            xm::write(m);
        } catch (const std::invalid_argument&) {
            return true;
        }
        return false;
    };
    EXPECT_TRUE(refused([](xm::Module& m) { m.orders.clear(); }));
    EXPECT_TRUE(refused([](xm::Module& m) { m.restart = 2; }));
    EXPECT_TRUE(refused([](xm::Module& m) { m.orders.push_back(1); })) << "missing pattern";
    EXPECT_TRUE(refused([](xm::Module& m) { m.channels = 3; }));
    EXPECT_TRUE(refused([](xm::Module& m) { m.patterns[0].cells.pop_back(); }));
    EXPECT_TRUE(refused([](xm::Module& m) { m.patterns[0] = xm::Pattern(257, 4); }));
    EXPECT_TRUE(refused([](xm::Module& m) { m.instruments[0].sample.loop_length = 201; }));
    EXPECT_TRUE(refused([](xm::Module& m) { m.instruments[0].volume_envelope.points.resize(13); }));
    EXPECT_TRUE(refused([](xm::Module& m) { m.patterns[0].cells[0].note = 98; }));
    EXPECT_FALSE(refused([](xm::Module&) {})) << "the unchanged module is fine";
}

// ---- The generators as processes ----

TEST(Generators, WriteTheSameBytesEveryTime) {
    EXPECT_EQ(read_bytes(module_path), song::module_file()) << "built module equals a fresh one";
    EXPECT_EQ(read_bytes(picture_path), picture::tga_file()) << "built picture equals a fresh one";
    for (const std::string& tool : {std::string(MAKE_MODULE), std::string(MAKE_PICTURE)}) {
        const std::string a = scratch("a"), b = scratch("b");
        ASSERT_EQ(run(tool + " " + a), 0) << tool;
        ASSERT_EQ(run(tool + " " + b), 0) << tool;
        const std::vector<uint8_t> first = read_bytes(a);
        EXPECT_GT(first.size(), 1000u);
        EXPECT_EQ(first, read_bytes(b)) << tool << " is not deterministic";
        std::remove(a.c_str());
        std::remove(b.c_str());
    }
}

TEST(Generators, ReportBadArgumentsAndUnwritablePaths) {
    EXPECT_EQ(run(std::string(MAKE_MODULE) + " 2>/dev/null"), 2) << "no output named";
    EXPECT_EQ(run(std::string(MAKE_PICTURE) + " a b 2>/dev/null"), 2) << "two outputs named";
    const std::string nowhere = scratch("no_such_dir/bla.xm");
    EXPECT_EQ(run(std::string(MAKE_MODULE) + " " + nowhere + " 2>/dev/null"), 1);
    EXPECT_TRUE(read_bytes(nowhere).empty());
    // A directory in the way is reported, left alone, and no partial file stays behind
    const std::string target = scratch("dir_target");
    ASSERT_EQ(run("mkdir -p " + target), 0);
    EXPECT_EQ(run(std::string(MAKE_PICTURE) + " " + target + " 2>/dev/null"), 1)
        << "a directory is no file";
    EXPECT_EQ(run("test -d " + target), 0);
    EXPECT_NE(run("test -e " + target + ".part"), 0);
    run("rmdir " + target);
}

}  // namespace
