// The structure checks that guard the player library against files cut short: every proper
// prefix of our real XM module is refused, the whole file is accepted, and declared sizes far
// beyond the file (which could wrap a 32-bit sum) are refused without reading out of range.
// The other formats checked (MOD, S3M, IT) with small modules made here: the whole file loads
// and plays in the player library, the file cut inside its sample data is refused at load.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "assets/song.h"
#include "platform/midas.h"
#include "platform/music/module_check.h"
#include "platform/music/xm_check.h"

namespace {

class XmCheck : public testing::Test {
protected:
    static void SetUpTestSuite() { file = new std::vector<uint8_t>(song::module_file()); }
    static void TearDownTestSuite() { delete file; }
    static std::vector<uint8_t>* file;
};
std::vector<uint8_t>* XmCheck::file = nullptr;

TEST_F(XmCheck, AcceptsTheWholeModule) {
    EXPECT_TRUE(midas::looks_like_xm(file->data(), file->size()));
    EXPECT_EQ(midas::xm_truncation(file->data(), file->size()), nullptr);
}

TEST_F(XmCheck, RefusesEveryProperPrefix) {
    size_t accepted = 0, first = 0;
    // Every cut inside the headers and patterns, then a sample of cuts through the sample
    // data, and every cut in the last few hundred bytes
    for (size_t size = 17; size < file->size();
         size += (size < 3000 || size + 300 > file->size()) ? 1 : 7) {
        // A copy of exactly `size` bytes, so AddressSanitizer sees any read past the end
        std::vector<uint8_t> cut(file->begin(), file->begin() + size);
        if (midas::xm_truncation(cut.data(), cut.size()) == nullptr && accepted++ == 0)
            first = size;
    }
    EXPECT_EQ(accepted, 0u) << "first accepted prefix: " << first << " of " << file->size()
                            << " bytes";
}

TEST_F(XmCheck, RefusesHugeDeclaredSizes) {
    std::vector<uint8_t> bad = *file;
    bad[60] = bad[61] = bad[62] = bad[63] = 0xff;  // song header size near 4 GiB
    EXPECT_NE(midas::xm_truncation(bad.data(), bad.size()), nullptr);

    bad = *file;
    const size_t first_pattern = 60 + 276;
    bad[first_pattern + 7] = bad[first_pattern + 8] = 0xff;  // packed size 65535
    EXPECT_NE(midas::xm_truncation(bad.data(), bad.size()), nullptr);
}

TEST_F(XmCheck, RecognisesOnlyTheXmId) {
    EXPECT_FALSE(midas::looks_like_xm(nullptr, 0));
    EXPECT_FALSE(midas::looks_like_xm(file->data(), 16)) << "too short for the id";
    std::vector<uint8_t> other = *file;
    other[9] = 'x';
    EXPECT_FALSE(midas::looks_like_xm(other.data(), other.size()));
}

// ---- the other formats ----

constexpr int sample_length = 1000;  // bytes, one 8-bit sample in each module

void put16(std::vector<uint8_t>& f, size_t at, uint32_t v) {
    f[at] = uint8_t(v);
    f[at + 1] = uint8_t(v >> 8);
}
void put32(std::vector<uint8_t>& f, size_t at, uint32_t v) {
    put16(f, at, v & 0xffff);
    put16(f, at + 2, v >> 16);
}
void put_text(std::vector<uint8_t>& f, size_t at, const char* text) {
    std::memcpy(f.data() + at, text, std::strlen(text));
}
// A square wave, signed or unsigned
void put_sample(std::vector<uint8_t>& f, size_t at, bool is_signed) {
    for (int i = 0; i < sample_length; ++i) {
        const int v = (i / 20) % 2 ? 100 : -100;
        f[at + size_t(i)] = uint8_t(is_signed ? v : v + 128);
    }
}

// 4 channels, one pattern with one note of sample 1, one sample
std::vector<uint8_t> make_mod() {
    std::vector<uint8_t> f(1084 + 1024 + sample_length);
    put_text(f, 0, "check");
    const size_t sample = 20;                            // first of 31 headers of 30 bytes
    f[sample + 22] = uint8_t((sample_length / 2) >> 8);  // length in words, big-endian
    f[sample + 23] = uint8_t((sample_length / 2) & 0xff);
    f[sample + 25] = 64;  // volume
    f[sample + 29] = 1;   // loop length 1: no loop
    f[950] = 1;           // song length; orders all pattern 0
    f[951] = 127;
    put_text(f, 1080, "M.K.");
    const uint8_t note[4] = {0x01, 0xac, 0x10, 0x00};  // sample 1, period 428
    std::memcpy(f.data() + 1084, note, 4);
    put_sample(f, 1084 + 1024, true);
    return f;
}

// One channel, one instrument, one pattern with one note
std::vector<uint8_t> make_s3m() {
    const size_t instrument = 112, pattern = 192, sample = 272;
    std::vector<uint8_t> f(sample + sample_length);
    put_text(f, 0, "check");
    f[28] = 0x1a;
    f[29] = 16;
    put16(f, 32, 2);  // orders
    put16(f, 34, 1);  // instruments
    put16(f, 36, 1);  // patterns
    put16(f, 40, 0x1320);
    put16(f, 42, 2);  // unsigned samples
    put_text(f, 44, "SCRM");
    f[48] = 64;
    f[49] = 6;
    f[50] = 125;
    f[51] = 0xb0;
    for (int c = 0; c < 32; ++c) f[64 + c] = c == 0 ? 0 : 255;
    f[96] = 0;
    f[97] = 255;
    put16(f, 98, instrument / 16);
    put16(f, 100, pattern / 16);
    f[instrument] = 1;  // a sample
    put16(f, instrument + 14, sample / 16);
    put32(f, instrument + 16, sample_length);
    f[instrument + 28] = 64;
    put32(f, instrument + 32, 8363);
    put_text(f, instrument + 76, "SCRS");
    const uint8_t row[] = {0x20, 0x40, 1, 0};  // channel 0: note C-4, instrument 1; row end
    put16(f, pattern, 2 + sizeof row + 63);
    std::memcpy(f.data() + pattern + 2, row, sizeof row);
    put_sample(f, sample, false);
    return f;
}

// Sample mode, one sample, one pattern with one note
std::vector<uint8_t> make_it() {
    const size_t header = 202, pattern = 282, sample = 358;
    std::vector<uint8_t> f(sample + sample_length);
    put_text(f, 0, "IMPM");
    put_text(f, 4, "check");
    put16(f, 32, 2);  // orders
    put16(f, 36, 1);  // samples
    put16(f, 38, 1);  // patterns
    put16(f, 40, 0x0214);
    put16(f, 42, 0x0214);
    put16(f, 44, 1);
    f[48] = 128;
    f[49] = 48;
    f[50] = 6;
    f[51] = 125;
    f[52] = 128;
    for (int c = 0; c < 64; ++c) {
        f[64 + c] = 32;
        f[128 + c] = 64;
    }
    f[192] = 0;
    f[193] = 255;
    put32(f, 194, header);
    put32(f, 198, pattern);
    put_text(f, header, "IMPS");
    f[header + 17] = 64;
    f[header + 18] = 1;  // sample present, 8-bit, not compressed
    f[header + 19] = 64;
    f[header + 46] = 1;  // signed
    put32(f, header + 48, sample_length);
    put32(f, header + 60, 8363);
    put32(f, header + 72, sample);
    const uint8_t row[] = {0x81, 0x03, 60, 1, 0};  // channel 1: note and instrument; row end
    put16(f, pattern, sizeof row + 63);
    put16(f, pattern + 2, 64);
    std::memcpy(f.data() + pattern + 8, row, sizeof row);
    put_sample(f, sample, true);
    return f;
}

class OtherFormats : public testing::Test {
protected:
    void SetUp() override {
        setenv("SDL_AUDIODRIVER", "music-check-no-audio", 1);
        ASSERT_EQ(MIDASstartup(), 1);
        path = std::filesystem::path(testing::TempDir()) /
               ("music_check_" + std::to_string(getpid()) + ".mod");
    }
    void TearDown() override {
        MIDASclose();
        std::filesystem::remove(path);
    }
    MIDASmodule load(const std::vector<uint8_t>& bytes) {
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return MIDASloadModule(path.c_str());
    }
    std::filesystem::path path;
};

TEST_F(OtherFormats, WholeFilesLoadAndFilesCutInTheirSamplesAreRefused) {
    struct Case {
        const char* name;
        std::vector<uint8_t> file;
        midas::Format format;
    };
    const Case cases[] = {{"MOD", make_mod(), midas::Format::mod},
                          {"S3M", make_s3m(), midas::Format::s3m},
                          {"IT", make_it(), midas::Format::it}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(midas::module_format(c.file.data(), c.file.size()), c.format);
        EXPECT_EQ(midas::module_truncation(c.format, c.file.data(), c.file.size()), nullptr);
        EXPECT_EQ(midas::declared_sample_bytes(c.format, c.file.data(), c.file.size()),
                  uint64_t(sample_length));
        EXPECT_NE(load(c.file), nullptr) << "the whole file: " << MIDASerrorText();
        for (size_t cut : {size_t(1), size_t(sample_length / 2), size_t(sample_length - 1)}) {
            const std::vector<uint8_t> short_file(c.file.begin(), c.file.end() - long(cut));
            EXPECT_NE(midas::module_truncation(c.format, short_file.data(), short_file.size()),
                      nullptr)
                << cut << " bytes cut";
            EXPECT_EQ(load(short_file), nullptr) << cut << " bytes cut: the player took it";
            EXPECT_NE(std::string(MIDASerrorText()).find("sample data is cut short"),
                      std::string::npos)
                << "got: " << MIDASerrorText();
        }
    }
}

// A compressed IT sample is walked block by block: blocks that end inside the file are
// accepted, a block that runs past it is refused, and the decoded size is what is declared
TEST_F(OtherFormats, CompressedItSamplesAreWalkedBlockByBlock) {
    std::vector<uint8_t> file = make_it();
    const size_t header = 202, sample = 358;
    file[header + 18] = 1 | 8;               // compressed
    put32(file, header + 48, 0x8000 + 100);  // two blocks of 8-bit samples
    put16(file, sample, 400);
    put16(file, sample + 2 + 400, 500);
    file.resize(sample + 2 + 400 + 2 + 500);
    EXPECT_EQ(midas::module_truncation(midas::Format::it, file.data(), file.size()), nullptr);
    EXPECT_EQ(midas::declared_sample_bytes(midas::Format::it, file.data(), file.size()),
              uint64_t(0x8000 + 100));
    file.pop_back();
    EXPECT_NE(midas::module_truncation(midas::Format::it, file.data(), file.size()), nullptr);
}

}  // namespace
