// Reproducers of what fuzzing found, as plain tests (the fuzz inputs themselves also replay
// through the fuzz targets: fuzz/reproducers/NAME).
//
// Music: an XM module whose header declares 0 channels loaded in libxmp and then made
// xmp_play_buffer loop for ever, so the audio thread, and every music entry that waits for
// it, hung. Such a module is now refused at load with a reason.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/midas.h"

namespace {

namespace fs = std::filesystem;

std::vector<char> read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class MusicFindings : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("SDL_AUDIODRIVER", "reliability-no-audio", 1);
        ASSERT_EQ(MIDASstartup(), 1);
        ASSERT_EQ(MIDASinit(), 1);
        scratch = fs::path(::testing::TempDir()) /
                  ("reliability_findings_" + std::to_string(::getpid()) + ".xm");
    }
    void TearDown() override {
        MIDASclose();
        std::error_code ignored;
        fs::remove(scratch, ignored);
    }

    // Our module with its channel count (a 16-bit field at byte 68 of an XM file) changed
    MIDASmodule load_with_channels(int channels) {
        std::vector<char> bytes = read_file(fs::path(RELIABILITY_ASSETS) / "bla.xm");
        EXPECT_GT(bytes.size(), 80u);
        bytes[68] = char(channels & 0xff);
        bytes[69] = char(channels >> 8);
        std::ofstream(scratch, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
        return MIDASloadModule(scratch.c_str());
    }

    fs::path scratch;
};

TEST_F(MusicFindings, FuzzedModuleWithoutChannelsIsRefused) {
    const fs::path reproducer =
        fs::path(RELIABILITY_FUZZ_DIR) / "reproducers/music/xm_zero_channels_hangs_player";
    ASSERT_TRUE(fs::exists(reproducer)) << reproducer;
    EXPECT_EQ(MIDASloadModule(reproducer.c_str()), nullptr);
    EXPECT_NE(std::string(MIDASerrorText()).find("has no channels"), std::string::npos)
        << "got: " << MIDASerrorText();
}

TEST_F(MusicFindings, OurModuleWithZeroChannelsIsRefusedAndWithOneItPlays) {
    EXPECT_EQ(load_with_channels(0), nullptr);
    EXPECT_NE(std::string(MIDASerrorText()).find("has no channels"), std::string::npos)
        << "got: " << MIDASerrorText();

    MIDASmodule module = load_with_channels(1);
    ASSERT_NE(module, nullptr) << MIDASerrorText();
    ASSERT_EQ(MIDASstartBackgroundPlay(0), 1);
    EXPECT_NE(MIDASplayModule(module, 1), 0u) << MIDASerrorText();
    EXPECT_EQ(MIDASstopBackgroundPlay(), 1);
}

}  // namespace
