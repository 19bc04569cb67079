// The window back end, over SDL2: the console shown in a window, scaled by the largest whole
// factor that fits in 90% of the desktop's usable area, nearest neighbour, its aspect kept
// (bars around it) when the window is resized; full screen for the openAlternate forms.
//
// update() presents in step with the display: with vsync where the renderer offers it, and by
// sleeping to the display's refresh rate (60 Hz when unknown) when a present returns early,
// as it does without vsync. TRELK_VSYNC=0 turns both off.
//
// Keys: every key press (repeats too), translated to the codes of display.h. The close button
// asks to quit. SDL's own signal handlers stay off: the console handles Ctrl-C and SIGTERM.
// Only the video subsystem is started and stopped here; audio belongs to the music library.
#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/display/backend.h"
#include "platform/display/display.h"

namespace display {
namespace {

// Whether a window system may be reachable; SDL is not even started without one
bool display_named() {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

// Starts SDL's video. Without a window system SDL 2.26 falls back to its "offscreen" driver,
// which shows nothing: that counts as no window system, unless SDL_VIDEODRIVER asked for it.
bool start_video(std::string* reason) {
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        *reason = SDL_GetError();
        return false;
    }
    const char* driver = SDL_GetCurrentVideoDriver();
    const char* asked = std::getenv("SDL_VIDEODRIVER");
    if (!(asked && *asked) && driver &&
        (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0)) {
        *reason = std::string("SDL found only its ") + driver + " driver";
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return false;
    }
    return true;
}

int translate_key(SDL_Keycode sym) {
    if (sym >= SDLK_a && sym <= SDLK_z) return TRELK_KEY_A + int(sym - SDLK_a);
    if (sym >= SDLK_0 && sym <= SDLK_9) return TRELK_KEY_0 + int(sym - SDLK_0);
    if (sym >= SDLK_F1 && sym <= SDLK_F12) return TRELK_KEY_F1 + int(sym - SDLK_F1);
    if (sym >= SDLK_KP_1 && sym <= SDLK_KP_9) return TRELK_KEY_NUMPAD0 + 1 + int(sym - SDLK_KP_1);
    switch (sym) {
        case SDLK_BACKSPACE:
            return TRELK_KEY_BACKSPACE;
        case SDLK_TAB:
            return TRELK_KEY_TAB;
        case SDLK_RETURN:
        case SDLK_KP_ENTER:
            return TRELK_KEY_ENTER;
        case SDLK_LSHIFT:
        case SDLK_RSHIFT:
            return TRELK_KEY_SHIFT;
        case SDLK_LCTRL:
        case SDLK_RCTRL:
            return TRELK_KEY_CONTROL;
        case SDLK_LALT:
        case SDLK_RALT:
            return TRELK_KEY_ALT;
        case SDLK_PAUSE:
            return TRELK_KEY_PAUSE;
        case SDLK_CAPSLOCK:
            return TRELK_KEY_CAPSLOCK;
        case SDLK_ESCAPE:
            return TRELK_KEY_ESCAPE;
        case SDLK_SPACE:
            return TRELK_KEY_SPACE;
        case SDLK_PAGEUP:
            return TRELK_KEY_PAGEUP;
        case SDLK_PAGEDOWN:
            return TRELK_KEY_PAGEDOWN;
        case SDLK_END:
            return TRELK_KEY_END;
        case SDLK_HOME:
            return TRELK_KEY_HOME;
        case SDLK_LEFT:
            return TRELK_KEY_LEFT;
        case SDLK_UP:
            return TRELK_KEY_UP;
        case SDLK_RIGHT:
            return TRELK_KEY_RIGHT;
        case SDLK_DOWN:
            return TRELK_KEY_DOWN;
        case SDLK_INSERT:
            return TRELK_KEY_INSERT;
        case SDLK_DELETE:
            return TRELK_KEY_DELETE;
        case SDLK_KP_0:
            return TRELK_KEY_NUMPAD0;
        case SDLK_KP_MULTIPLY:
            return TRELK_KEY_MULTIPLY;
        case SDLK_KP_PLUS:
            return TRELK_KEY_ADD;
        case SDLK_KP_MINUS:
            return TRELK_KEY_SUBTRACT;
        case SDLK_KP_PERIOD:
            return TRELK_KEY_DECIMAL;
        case SDLK_KP_DIVIDE:
            return TRELK_KEY_DIVIDE;
        case SDLK_NUMLOCKCLEAR:
            return TRELK_KEY_NUMLOCK;
        case SDLK_SCROLLLOCK:
            return TRELK_KEY_SCROLLLOCK;
        case SDLK_SEMICOLON:
            return TRELK_KEY_SEMICOLON;
        case SDLK_EQUALS:
            return TRELK_KEY_EQUALS;
        case SDLK_COMMA:
            return TRELK_KEY_COMMA;
        case SDLK_MINUS:
            return TRELK_KEY_MINUS;
        case SDLK_PERIOD:
            return TRELK_KEY_PERIOD;
        case SDLK_SLASH:
            return TRELK_KEY_SLASH;
        case SDLK_BACKQUOTE:
            return TRELK_KEY_BACKQUOTE;
        case SDLK_LEFTBRACKET:
            return TRELK_KEY_OPENBRACKET;
        case SDLK_BACKSLASH:
            return TRELK_KEY_BACKSLASH;
        case SDLK_RIGHTBRACKET:
            return TRELK_KEY_CLOSEBRACKET;
        case SDLK_QUOTE:
            return TRELK_KEY_QUOTE;
        default:
            return TRELK_KEY_UNKNOWN;
    }
}

class Window : public Backend {
public:
    ~Window() override {
        if (texture_) SDL_DestroyTexture(texture_);
        if (renderer_) SDL_DestroyRenderer(renderer_);
        if (window_) SDL_DestroyWindow(window_);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }

    // Called with the video subsystem started; a failure stops it again (the destructor)
    void open(const OpenRequest& request) {
        width_ = request.width;
        height_ = request.height;
        pace_ = request.pace;

        SDL_Rect usable;
        if (SDL_GetDisplayUsableBounds(0, &usable) != 0) usable = SDL_Rect{0, 0, 0, 0};
        scale_ = std::max(1, std::min(usable.w * 9 / 10 / width_, usable.h * 9 / 10 / height_));
        Uint32 flags = SDL_WINDOW_RESIZABLE;
        if (request.fullscreen) flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
        window_ = SDL_CreateWindow(request.title, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                   width_ * scale_, height_ * scale_, flags);
        if (!window_) fail("cannot open a window: %s", SDL_GetError());

        const Uint32 vsync = pace_ ? SDL_RENDERER_PRESENTVSYNC : 0;
        renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_ACCELERATED | vsync);
        if (!renderer_) renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_SOFTWARE);
        if (!renderer_) fail("cannot draw in the window: %s", SDL_GetError());
        SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
        if (SDL_RenderSetLogicalSize(renderer_, width_, height_) != 0) {
            fail("cannot scale the window: %s", SDL_GetError());
        }
        texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING,
                                     width_, height_);
        if (!texture_) fail("cannot make the window's texture: %s", SDL_GetError());
        SDL_SetTextureScaleMode(texture_, SDL_ScaleModeNearest);

        SDL_DisplayMode mode;
        const int display = SDL_GetWindowDisplayIndex(window_);
        const int refresh = SDL_GetCurrentDisplayMode(display < 0 ? 0 : display, &mode) == 0
                                ? mode.refresh_rate
                                : 0;
        period_ = 1000000000LL / (refresh > 0 ? refresh : 60);
        last_present_ = now_nanoseconds();
        draw();
    }

    void present(const Image& frame, const Rect& area) override {
        if (area.left < area.right && area.top < area.bottom) upload(frame, area);
        draw();
        if (!pace_) return;
        // A present that came back well before the next refresh did not wait for the display
        std::int64_t now = now_nanoseconds();
        const std::int64_t target = last_present_ + period_;
        if (now < target - period_ / 4) {
            std::this_thread::sleep_for(std::chrono::nanoseconds(target - now));
            now = target;
        }
        last_present_ = now;
    }

    void poll(KeyQueue& keys) override {
        SDL_Event event;
        while (SDL_PollEvent(&event)) handle(event, keys);
    }

    void wait(KeyQueue& keys, int milliseconds) override {
        SDL_Event event;
        if (SDL_WaitEventTimeout(&event, milliseconds)) handle(event, keys);
        poll(keys);
    }

    bool paced() const override { return pace_; }
    int scale() const override { return scale_; }

private:
    // XRGB pixels go to the texture as they are; other formats through a converted copy
    void upload(const Image& frame, const Rect& area) {
        const PixelFormat& f = *frame.format;
        const bool xrgb =
            f.bits == 32 && f.mask[0] == 0xff0000 && f.mask[1] == 0xff00 && f.mask[2] == 0xff;
        Image source = frame;
        if (!xrgb) {
            if (staging_.empty()) staging_.resize(std::size_t(width_) * height_ * 4);
            source = Image{staging_.data(),   width_,       height_, width_ * 4,
                           &default_format(), frame.palette};
            blit(frame, area, source, area, area);
        }
        const SDL_Rect rect{area.left, area.top, area.right - area.left, area.bottom - area.top};
        const std::uint8_t* first =
            source.pixels + std::size_t(area.top) * source.pitch + std::size_t(area.left) * 4;
        SDL_UpdateTexture(texture_, &rect, first, source.pitch);
    }

    void draw() {
        SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
        SDL_RenderClear(renderer_);
        SDL_RenderCopy(renderer_, texture_, nullptr, nullptr);
        SDL_RenderPresent(renderer_);
    }

    void handle(const SDL_Event& event, KeyQueue& keys) {
        switch (event.type) {
            case SDL_QUIT:
                keys.request_quit();
                break;
            case SDL_WINDOWEVENT:
                if (event.window.event == SDL_WINDOWEVENT_CLOSE) keys.request_quit();
                if (event.window.event == SDL_WINDOWEVENT_EXPOSED) draw();
                break;
            case SDL_KEYDOWN: {
                const Uint16 mod = event.key.keysym.mod;
                keys.push(KeyValue{translate_key(event.key.keysym.sym), (mod & KMOD_ALT) ? 1 : 0,
                                   (mod & KMOD_SHIFT) ? 1 : 0, (mod & KMOD_CTRL) ? 1 : 0});
                break;
            }
            default:
                break;
        }
    }

    SDL_Window* window_ = nullptr;
    SDL_Renderer* renderer_ = nullptr;
    SDL_Texture* texture_ = nullptr;
    std::vector<std::uint8_t> staging_;  // converted pixels, for consoles not in XRGB
    int width_ = 0, height_ = 0, scale_ = 1;
    bool pace_ = true;
    std::int64_t period_ = 0, last_present_ = 0;  // nanoseconds
};

std::unique_ptr<Backend> open_window(const OpenRequest& request) {
    if (request.automatic && !display_named()) return nullptr;
    std::string reason;
    if (!start_video(&reason)) {
        if (request.automatic) return nullptr;
        fail("cannot open a window: no window system is available (%s)", reason.c_str());
    }
    std::unique_ptr<Window> window;
    try {
        window.reset(new Window);
    } catch (...) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        throw;
    }
    window->open(request);
    return window;
}

int window_modes(ModeValue* modes, int max) {
    std::string reason;
    if (!display_named() || !start_video(&reason)) return -1;
    int n = 0;
    const int count = SDL_GetNumDisplayModes(0);
    for (int i = 0; i < count && n < max; ++i) {
        SDL_DisplayMode mode;
        if (SDL_GetDisplayMode(0, i, &mode) != 0) continue;
        int bits = 0;
        Uint32 red = 0, green = 0, blue = 0, alpha = 0;
        if (!SDL_PixelFormatEnumToMasks(mode.format, &bits, &red, &green, &blue, &alpha)) continue;
        PixelFormat format;
        const char* reason = nullptr;
        if (!make_format(SDL_BYTESPERPIXEL(mode.format) * 8, red, green, blue, alpha, &format,
                         &reason)) {
            continue;
        }
        modes[n++] = ModeValue{mode.w, mode.h, mode.refresh_rate, format};
    }
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return n;
}

}  // namespace

extern const BackendEntry window_backend = {"window", true, open_window, window_modes};

}  // namespace display
