// The headless back end: the console's pixels stay in memory, update() counts the frame and
// returns at once (no pacing), and keys come from the terminal when standard input is one.
// Its display modes are a fixed list of common sizes in the default format.
#include "platform/display/terminal_input.h"

namespace display {
namespace {

class Headless : public Backend {
public:
    void present(const Image&, const Rect&) override {}
    void poll(KeyQueue& keys) override { terminal_.poll(keys); }
    void wait(KeyQueue& keys, int milliseconds) override { terminal_.wait(keys, milliseconds); }

private:
    TerminalInput terminal_;
};

std::unique_ptr<Backend> open_headless(const OpenRequest&) { return std::make_unique<Headless>(); }

int headless_modes(ModeValue* modes, int max) {
    static const int sizes[][2] = {{320, 200},  {320, 240},  {640, 400},   {640, 480},  {800, 600},
                                   {1024, 768}, {1280, 720}, {1280, 1024}, {1920, 1080}};
    return list_modes(modes, max, sizes, 0);
}

}  // namespace

extern const BackendEntry headless_backend = {"headless", true, open_headless, headless_modes};

}  // namespace display
