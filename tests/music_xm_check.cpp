// The XM structure check that guards the player library against files cut short: every
// proper prefix of our real module is refused, the whole file is accepted, and declared sizes
// far beyond the file (which could wrap a 32-bit sum) are refused without reading out of range.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "assets/song.h"
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

}  // namespace
