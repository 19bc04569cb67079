// Every back end of this build, and the template that a new one starts from, against the duties
// backend.h gives them: what the console relies on whichever display it opens. A back end that
// cannot run here (a window without a window system, the terminal without one) is opened as the
// automatic choice would, and its open is left out when it declines.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/display/backend.h"

namespace display {
extern const BackendEntry template_backend;
}

namespace {

using namespace display;

#define TRELK_CONTRACT_LIST_BACKEND(name) &name##_backend,
const BackendEntry* const entries[] = {TRELK_DISPLAY_BACKENDS(TRELK_CONTRACT_LIST_BACKEND) &
                                       template_backend};
#undef TRELK_CONTRACT_LIST_BACKEND

PixelFormat format_of(int bits, std::uint32_t r, std::uint32_t g, std::uint32_t b) {
    PixelFormat format;
    const char* reason = nullptr;
    EXPECT_TRUE(make_format(bits, r, g, b, 0, &format, &reason)) << reason;
    return format;
}

TEST(BackendContract, EveryBackEndKeepsItsDuties) {
    const PixelFormat formats[] = {default_format(), format_of(16, 0xf800, 0x7e0, 0x1f),
                                   format_of(24, 0xff, 0xff00, 0xff0000), format_of(8, 0, 0, 0)};
    int opened = 0;
    for (const BackendEntry* entry : entries) {
        SCOPED_TRACE(entry->name);
        // Modes: at most as many as asked for, each one usable; none when none is asked for
        ModeValue modes[3];
        const int count = entry->modes(modes, 3);
        EXPECT_LE(count, 3);
        for (int i = 0; i < count; ++i) EXPECT_TRUE(mode_valid(modes[i])) << "mode " << i;
        if (count >= 0) {
            EXPECT_EQ(entry->modes(modes, 0), 0);
        }

        OpenRequest request;
        request.title = "contract";
        request.width = 40;
        request.height = 25;
        request.pace = false;
        request.counted = true;
        request.automatic = true;
        std::unique_ptr<Backend> backend = entry->open(request);
        if (!backend && entry != &template_backend) continue;  // cannot run here
        ASSERT_TRUE(backend) << "the template opens anywhere";
        ++opened;
        EXPECT_FALSE(backend->paced()) << "paced although pacing was not asked for";
        EXPECT_GE(backend->scale(), 1);
        EXPECT_GE(backend->fullscreen(), -1);
        EXPECT_LE(backend->fullscreen(), 1);

        // Any format, the whole frame or a part of it
        for (const PixelFormat& format : formats) {
            std::vector<std::uint8_t> pixels(std::size_t(40 * 25 * format.bytes), 0x5a);
            const Image frame{pixels.data(),     40,      25,
                              40 * format.bytes, &format, default_palette().colors};
            backend->present(frame, Rect{0, 0, 40, 25});
            backend->present(frame, Rect{3, 4, 17, 9});
        }
        // Keys: polling never waits, a wait ends, and nothing arrives that nobody pressed
        KeyQueue keys;
        backend->poll(keys);
        backend->wait(keys, 1);
        EXPECT_EQ(keys.size(), 0);
        backend.reset();  // closes

        // Pacing, when asked for, is said
        request.pace = true;
        request.counted = false;
        request.automatic = false;
        if (entry == &template_backend) {
            EXPECT_TRUE(entry->open(request)->paced());
        }
    }
    EXPECT_GE(opened, 2) << "the template and at least one back end of this build";
}

}  // namespace
