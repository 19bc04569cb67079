// The window back end, over SDL2: the console shown in a window, nearest neighbour, at first
// the largest whole factor of its size that fits in 90% of the desktop's usable area.
//
// Scaling: the picture is drawn on the window's drawable pixels (high-DPI aware: a window of
// 640 points on a screen of two pixels per point is scaled on its 1280 pixels), by the largest
// whole factor that fits, centred with black borders, so that every console pixel is a square
// of the same size: when the window is resized, made full screen by us or by the window
// manager, or moved to another screen. A drawable smaller than the console shows it shrunk to
// fit. TRELK_SCALE=fit fills the drawable instead by the largest fractional factor that keeps
// the aspect, some console pixels then a screen pixel larger than others.
//
// Full screen (on the desktop's own mode): the openAlternate forms and TRELK_FULLSCREEN=1
// start that way; Alt+Enter and F11 toggle it, and are not keys for the program.
//
// update() presents in step with the display: with vsync where the renderer offers it, and by
// sleeping to the display's refresh rate (60 Hz when unknown) when a present returns early,
// as it does without vsync. TRELK_VSYNC=0 turns both off.
//
// Keys: every key press (repeats too), translated to the codes of trelk/keys.h, with the
// modifiers held. Not keys: Shift, Control, Alt and the system (GUI) key pressed alone (they
// come with the next key), and the full-screen toggles. So a change of focus brings no key
// either: Alt+Tab away gives the Alt press, and coming back SDL reports the modifiers still
// held as presses (only those: it passes over other keys held meanwhile elsewhere). The close
// button asks to quit. SDL's own signal handlers stay off: the console handles Ctrl-C and
// SIGTERM. Only the video subsystem is started and stopped here; audio belongs to the music
// library.
//
// The mouse: its position on the drawable's pixels taken back through the placement below to
// a console pixel (so through either scale, the borders and full screen), its left, right and
// middle buttons, and the wheel in whole steps as the hand turns it (a system's reversed
// "natural" scrolling undone). Touch screens come as the left button, as SDL makes them.
// Leaving the window makes the pointer outside; losing the focus releases what is held. Text:
// SDL's text input, which applies Shift, the layout and key repeat and leaves out control
// characters.
#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/display/backend.h"
#include "platform/display/settings.h"
#include "platform/os/probe.h"
#include "trelk/error.h"
#include "trelk/keys.h"

namespace display {
namespace {

// SDL's reason for its last failure. SDL has none to give (a null) when memory ran out even
// for the text of one, and a null must never become a string.
const char* sdl_reason() {
    const char* reason = SDL_GetError();
    return reason && *reason ? reason : "SDL gave no reason (out of memory?)";
}

// Whether a window system may be reachable; SDL is not even started without one
bool display_named() { return os::window_system_named(); }

// Starts SDL's video. Without a window system SDL 2.26 falls back to its "offscreen" driver,
// which shows nothing: that counts as no window system, unless SDL_VIDEODRIVER asked for it.
bool start_video(std::string* reason) {
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // A click that brings the window the focus is a click too (SDL would drop it)
    SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
    SDL_SetMainReady();  // the program's entry is its own, not SDL's main wrapper
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        *reason = sdl_reason();
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

// TRELK_SCALE: whole-number factors (whole, the default) or the fractional fit
bool fractional_scale() { return setting_choice(Setting::scale) == 1; }

bool is_modifier(SDL_Keycode sym) {
    switch (sym) {
        case SDLK_LSHIFT:
        case SDLK_RSHIFT:
        case SDLK_LCTRL:
        case SDLK_RCTRL:
        case SDLK_LALT:
        case SDLK_RALT:
        case SDLK_LGUI:
        case SDLK_RGUI:
        case SDLK_MODE:  // AltGr on some layouts
            return true;
        default:
            return false;
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
        fit_ = fractional_scale();

        SDL_Rect usable;
        if (SDL_GetDisplayUsableBounds(0, &usable) != 0) usable = SDL_Rect{0, 0, 0, 0};
        const int start_scale =
            std::max(1, std::min(usable.w * 9 / 10 / width_, usable.h * 9 / 10 / height_));
        Uint32 flags = SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI;
        if (request.fullscreen) flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
        window_ = SDL_CreateWindow(request.title, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                   width_ * start_scale, height_ * start_scale, flags);
        if (!window_) fail("cannot open a window: %s", sdl_reason());

        const Uint32 vsync = pace_ ? SDL_RENDERER_PRESENTVSYNC : 0;
        renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_ACCELERATED | vsync);
        if (!renderer_) renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_SOFTWARE);
        if (!renderer_) fail("cannot draw in the window: %s", sdl_reason());
        texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING,
                                     width_, height_);
        if (!texture_) fail("cannot make the window's texture: %s", sdl_reason());
        SDL_SetTextureScaleMode(texture_, SDL_ScaleModeNearest);

        SDL_DisplayMode mode;
        const int display = SDL_GetWindowDisplayIndex(window_);
        const int refresh = SDL_GetCurrentDisplayMode(display < 0 ? 0 : display, &mode) == 0
                                ? mode.refresh_rate
                                : 0;
        period_ = 1000000000LL / (refresh > 0 ? refresh : 60);
        last_present_ = now_nanoseconds();
        SDL_StartTextInput();
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

    // The keyboard as SDL last saw it (the console polls first); keys while the window has focus
    int held(int code) const override {
        int count = 0;
        const Uint8* down = SDL_GetKeyboardState(&count);
        for (int scancode = 0; scancode < count; ++scancode) {
            if (down[scancode] &&
                translate_key(SDL_GetKeyFromScancode(SDL_Scancode(scancode))) == code) {
                return 1;
            }
        }
        return 0;
    }
    bool paced() const override { return pace_; }
    int scale() const override { return scale_; }
    int fullscreen() const override {
        return (SDL_GetWindowFlags(window_) & SDL_WINDOW_FULLSCREEN) ? 1 : 0;
    }

private:
    // XRGB pixels go to the texture as they are; other formats through a converted copy
    void upload(const Image& frame, const Rect& area) {
        const PixelFormat& f = *frame.format;
        const bool xrgb =
            f.bits == 32 && f.mask[0] == 0xff0000 && f.mask[1] == 0xff00 && f.mask[2] == 0xff;
        Image source = frame;
        if (!xrgb) {
            if (staging_.empty()) staging_.resize(std::size_t(width_) * std::size_t(height_) * 4);
            source = Image{staging_.data(),   width_,       height_, width_ * 4,
                           &default_format(), frame.palette};
            blit(frame, area, source, area, area);
        }
        const SDL_Rect rect{area.left, area.top, area.right - area.left, area.bottom - area.top};
        const std::uint8_t* first = source.pixels +
                                    std::size_t(area.top) * std::size_t(source.pitch) +
                                    std::size_t(area.left) * 4;
        SDL_UpdateTexture(texture_, &rect, first, source.pitch);
    }

    // Where the console goes on the drawable's pixels, as the file's head says
    SDL_Rect placement() {
        int w = 0, h = 0;
        if (SDL_GetRendererOutputSize(renderer_, &w, &h) != 0 || w <= 0 || h <= 0) {
            return SDL_Rect{0, 0, width_ * scale_, height_ * scale_};
        }
        const int whole = std::min(w / width_, h / height_);
        int shown_w = 0, shown_h = 0;
        if (whole >= 1 && !fit_) {
            shown_w = width_ * whole;
            shown_h = height_ * whole;
        } else if (1LL * w * height_ <= 1LL * h * width_) {  // the width decides
            shown_w = w;
            shown_h = std::max(1, int(1LL * w * height_ / width_));
        } else {
            shown_h = h;
            shown_w = std::max(1, int(1LL * h * width_ / height_));
        }
        scale_ = std::max(1, whole);
        return SDL_Rect{(w - shown_w) / 2, (h - shown_h) / 2, shown_w, shown_h};
    }

    void draw() {
        const SDL_Rect target = placement();
        SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
        SDL_RenderClear(renderer_);
        SDL_RenderCopy(renderer_, texture_, nullptr, &target);
        SDL_RenderPresent(renderer_);
    }

    // The console pixel under a point of the window (in SDL's window coordinates), and whether
    // it is one of the picture's
    bool console_pixel(int x, int y, int* column, int* row) {
        int points_w = 0, points_h = 0, pixels_w = 0, pixels_h = 0;
        SDL_GetWindowSize(window_, &points_w, &points_h);
        if (SDL_GetRendererOutputSize(renderer_, &pixels_w, &pixels_h) != 0) pixels_w = 0;
        // The middle of the point, on the drawable's pixels (more than one a point when high-DPI)
        long long px = x, py = y, across = 1, down = 1;
        if (points_w > 0 && points_h > 0 && pixels_w > 0 && pixels_h > 0) {
            px = (2LL * x + 1) * pixels_w, across = 2LL * points_w;
            py = (2LL * y + 1) * pixels_h, down = 2LL * points_h;
        }
        const SDL_Rect shown = placement();
        // floor(((px / across) - shown.x) * width_ / shown.w), in whole numbers
        const auto floor_div = [](long long a, long long b) { return a / b - (a % b < 0); };
        *column = int(floor_div((px - shown.x * across) * width_, across * shown.w));
        *row = int(floor_div((py - shown.y * down) * height_, down * shown.h));
        return *column >= 0 && *column < width_ && *row >= 0 && *row < height_;
    }

    void move_pointer(KeyQueue& keys, int x, int y) {
        int column = 0, row = 0;
        const bool inside = console_pixel(x, y, &column, &row);
        keys.mouse.move(column, row, inside);
    }

    static int button_of(Uint8 button) {
        switch (button) {
            case SDL_BUTTON_LEFT:
                return TRELK_MOUSE_LEFT;
            case SDL_BUTTON_RIGHT:
                return TRELK_MOUSE_RIGHT;
            case SDL_BUTTON_MIDDLE:
                return TRELK_MOUSE_MIDDLE;
            default:
                return 0;
        }
    }

    void toggle_fullscreen() {
        const bool now = fullscreen() != 0;
        SDL_SetWindowFullscreen(window_, now ? 0 : SDL_WINDOW_FULLSCREEN_DESKTOP);
        draw();
    }

    void handle(const SDL_Event& event, KeyQueue& keys) {
        switch (event.type) {
            case SDL_QUIT:
                keys.request_quit();
                break;
            case SDL_WINDOWEVENT:
                switch (event.window.event) {
                    case SDL_WINDOWEVENT_CLOSE:
                        keys.request_quit();
                        break;
                    case SDL_WINDOWEVENT_EXPOSED:
                    case SDL_WINDOWEVENT_SIZE_CHANGED:
                        draw();
                        break;
                    case SDL_WINDOWEVENT_LEAVE:
                        keys.mouse.leave();
                        break;
                    case SDL_WINDOWEVENT_FOCUS_LOST:
                        keys.mouse.release_all();
                        break;
                    default:
                        break;
                }
                break;
            case SDL_KEYDOWN: {
                const SDL_Keycode sym = event.key.keysym.sym;
                const Uint16 mod = event.key.keysym.mod;
                const bool enter = sym == SDLK_RETURN || sym == SDLK_KP_ENTER;
                if (sym == SDLK_F11 || (enter && (mod & KMOD_ALT))) {
                    if (!event.key.repeat) toggle_fullscreen();
                    break;
                }
                if (is_modifier(sym)) break;
                keys.push(KeyValue{translate_key(sym), (mod & KMOD_ALT) ? 1 : 0,
                                   (mod & KMOD_SHIFT) ? 1 : 0, (mod & KMOD_CTRL) ? 1 : 0});
                break;
            }
            case SDL_MOUSEMOTION:
                move_pointer(keys, event.motion.x, event.motion.y);
                break;
            case SDL_MOUSEBUTTONDOWN:
            case SDL_MOUSEBUTTONUP: {
                const int button = button_of(event.button.button);
                if (!button) break;
                move_pointer(keys, event.button.x, event.button.y);
                if (event.type == SDL_MOUSEBUTTONDOWN) {
                    keys.mouse.press(button);
                } else {
                    keys.mouse.release(button);
                }
                break;
            }
            case SDL_MOUSEWHEEL: {
                const int turn = event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -1 : 1;
                keys.mouse.wheel(event.wheel.x * turn, event.wheel.y * turn);
                break;
            }
            case SDL_TEXTINPUT:
                keys.text.push(event.text.text, int(std::strlen(event.text.text)));
                break;
            default:
                break;
        }
    }

    SDL_Window* window_ = nullptr;
    SDL_Renderer* renderer_ = nullptr;
    SDL_Texture* texture_ = nullptr;
    std::vector<std::uint8_t> staging_;  // converted pixels, for consoles not in XRGB
    int width_ = 0, height_ = 0, scale_ = 1;
    bool pace_ = true, fit_ = false;
    std::int64_t period_ = 0, last_present_ = 0;  // nanoseconds
};

std::unique_ptr<Backend> open_window(const OpenRequest& request) {
    if (request.automatic && !display_named()) return nullptr;
    fractional_scale();  // a bad setting is an error wherever the console would open
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
    // A display that SDL can reach but not draw on (an 8-bit X screen, say) is no window
    // system for the automatic choice: the next back end is tried
    if (!request.automatic) {
        window->open(request);
        return window;
    }
    try {
        window->open(request);
    } catch (const trelk::DynamicError&) {
        return nullptr;
    }
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
        const char* refused = nullptr;
        if (!make_format(SDL_BYTESPERPIXEL(mode.format) * 8, red, green, blue, alpha, &format,
                         &refused)) {
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
