// The web back end, for the WebAssembly build: the console drawn on the page's canvas (the
// element with id "screen", made if the page has none), keys from the page's keyboard events.
//
// - The canvas has the console's size in pixels and is shown enlarged by the largest whole
//   factor that fits 90% of the browser window (at least 1), with crisp pixels
//   (image-rendering: pixelated). The document's title is the console's title.
// - update() puts the frame on the canvas and then gives the browser its turn: it waits for
//   the next animation frame (requestAnimationFrame), so the demo keeps step with the display;
//   with TRELK_VSYNC=0 it only lets the browser run its queued work. The program's loop is
//   unchanged: the build suspends and resumes it around these waits (Asyncify).
// - Keys: every keydown (repeats too), by the key's place on the keyboard (KeyboardEvent.code,
//   so shift+1 is still the key 1, as on the desktop), translated to the codes of display.h;
//   modifiers from the event's altKey, shiftKey and ctrlKey. The page's own use of the keys
//   (scrolling on space or arrows) is stopped while the console is open.
// - Closing takes the key listener away and leaves the last frame on the canvas.
#include <emscripten.h>

#include <cstring>
#include <vector>

#include "platform/display/backend.h"
#include "platform/display/display.h"

// clang-format off
EM_JS(int, web_display_open, (const char* title, int width, int height), {
    document.title = UTF8ToString(title);
    let canvas = document.getElementById('screen');
    if (!canvas) {
        canvas = document.createElement('canvas');
        canvas.id = 'screen';
        document.body.appendChild(canvas);
    }
    canvas.width = width;
    canvas.height = height;
    const scale = Math.max(1, Math.floor(Math.min(window.innerWidth * 0.9 / width,
                                                  window.innerHeight * 0.9 / height)));
    canvas.style.width = (width * scale) + 'px';
    canvas.style.height = (height * scale) + 'px';
    canvas.style.imageRendering = 'pixelated';
    const keys = [];
    const onKey = (event) => {
        keys.push([event.code, event.altKey ? 1 : 0, event.shiftKey ? 1 : 0, event.ctrlKey ? 1 : 0]);
        event.preventDefault();
        if (Module.trelkWake) Module.trelkWake();
    };
    window.addEventListener('keydown', onKey);
    Module.trelkDisplay = {
        context: canvas.getContext('2d'),
        image: new ImageData(width, height),
        keys: keys,
        close: () => window.removeEventListener('keydown', onKey),
    };
    return scale;
});

EM_JS(void, web_display_close, (), {
    if (Module.trelkDisplay) Module.trelkDisplay.close();
    Module.trelkDisplay = null;
});

// Shows width x height RGBA pixels
EM_JS(void, web_display_show, (const void* pixels, int width, int height), {
    const display = Module.trelkDisplay;
    display.image.data.set(HEAPU8.subarray(pixels, pixels + width * height * 4));
    display.context.putImageData(display.image, 0, 0);
});

// The oldest waiting key: its code's name into name (at most size bytes, NUL included) and its
// modifiers alt, shift and control into modifiers[0..2]; 0 when no key waits
EM_JS(int, web_display_next_key, (char* name, int size, int* modifiers), {
    const display = Module.trelkDisplay;
    if (!display || display.keys.length == 0) return 0;
    const key = display.keys.shift();
    stringToUTF8(key[0], name, size);
    for (let i = 0; i < 3; ++i) HEAP32[(modifiers >> 2) + i] = key[i + 1];
    return 1;
});

// Lets the browser run: until the next animation frame when paced, else until its queued
// work has run
EM_ASYNC_JS(void, web_display_yield, (int paced), {
    await new Promise((resolve) => {
        if (paced) requestAnimationFrame(() => resolve());
        else setTimeout(resolve, 0);
    });
});

// Waits until a key arrives or milliseconds have passed
EM_ASYNC_JS(void, web_display_wait, (int milliseconds), {
    await new Promise((resolve) => {
        const timer = setTimeout(() => { Module.trelkWake = null; resolve(); }, milliseconds);
        Module.trelkWake = () => { clearTimeout(timer); Module.trelkWake = null; resolve(); };
    });
});
// clang-format on

namespace display {
namespace {

// KeyboardEvent.code names to the codes of display.h; letters, digits, F1-F12 and the keypad's
// digits are worked out in translate_code
struct NamedKey {
    const char* name;
    int code;
};
const NamedKey named_keys[] = {
    {"Backspace", TRELK_KEY_BACKSPACE},
    {"Tab", TRELK_KEY_TAB},
    {"Enter", TRELK_KEY_ENTER},
    {"NumpadEnter", TRELK_KEY_ENTER},
    {"ShiftLeft", TRELK_KEY_SHIFT},
    {"ShiftRight", TRELK_KEY_SHIFT},
    {"ControlLeft", TRELK_KEY_CONTROL},
    {"ControlRight", TRELK_KEY_CONTROL},
    {"AltLeft", TRELK_KEY_ALT},
    {"AltRight", TRELK_KEY_ALT},
    {"Pause", TRELK_KEY_PAUSE},
    {"CapsLock", TRELK_KEY_CAPSLOCK},
    {"Escape", TRELK_KEY_ESCAPE},
    {"Space", TRELK_KEY_SPACE},
    {"PageUp", TRELK_KEY_PAGEUP},
    {"PageDown", TRELK_KEY_PAGEDOWN},
    {"End", TRELK_KEY_END},
    {"Home", TRELK_KEY_HOME},
    {"ArrowLeft", TRELK_KEY_LEFT},
    {"ArrowUp", TRELK_KEY_UP},
    {"ArrowRight", TRELK_KEY_RIGHT},
    {"ArrowDown", TRELK_KEY_DOWN},
    {"Insert", TRELK_KEY_INSERT},
    {"Delete", TRELK_KEY_DELETE},
    {"NumpadMultiply", TRELK_KEY_MULTIPLY},
    {"NumpadAdd", TRELK_KEY_ADD},
    {"NumpadSubtract", TRELK_KEY_SUBTRACT},
    {"NumpadDecimal", TRELK_KEY_DECIMAL},
    {"NumpadDivide", TRELK_KEY_DIVIDE},
    {"NumLock", TRELK_KEY_NUMLOCK},
    {"ScrollLock", TRELK_KEY_SCROLLLOCK},
    {"Semicolon", TRELK_KEY_SEMICOLON},
    {"Equal", TRELK_KEY_EQUALS},
    {"Comma", TRELK_KEY_COMMA},
    {"Minus", TRELK_KEY_MINUS},
    {"Period", TRELK_KEY_PERIOD},
    {"Slash", TRELK_KEY_SLASH},
    {"Backquote", TRELK_KEY_BACKQUOTE},
    {"BracketLeft", TRELK_KEY_OPENBRACKET},
    {"Backslash", TRELK_KEY_BACKSLASH},
    {"BracketRight", TRELK_KEY_CLOSEBRACKET},
    {"Quote", TRELK_KEY_QUOTE},
};

bool starts_with(const char* text, const char* prefix, const char** rest) {
    const std::size_t n = std::strlen(prefix);
    if (std::strncmp(text, prefix, n) != 0) return false;
    *rest = text + n;
    return true;
}

int translate_code(const char* name) {
    const char* rest = nullptr;
    if (starts_with(name, "Key", &rest) && rest[0] >= 'A' && rest[0] <= 'Z' && !rest[1]) {
        return TRELK_KEY_A + (rest[0] - 'A');
    }
    if (starts_with(name, "Digit", &rest) && rest[0] >= '0' && rest[0] <= '9' && !rest[1]) {
        return TRELK_KEY_0 + (rest[0] - '0');
    }
    if (starts_with(name, "Numpad", &rest) && rest[0] >= '0' && rest[0] <= '9' && !rest[1]) {
        return TRELK_KEY_NUMPAD0 + (rest[0] - '0');
    }
    if (name[0] == 'F' && name[1] >= '1' && name[1] <= '9') {
        const int n = name[2] ? (name[2] >= '0' && name[2] <= '9' && !name[3]
                                     ? (name[1] - '0') * 10 + (name[2] - '0')
                                     : 0)
                              : name[1] - '0';
        if (n >= 1 && n <= 12) return TRELK_KEY_F1 + n - 1;
    }
    for (const NamedKey& key : named_keys) {
        if (std::strcmp(key.name, name) == 0) return key.code;
    }
    return TRELK_KEY_UNKNOWN;
}

// Bytes red, green, blue, alpha: what the canvas takes
const PixelFormat& rgba_format() {
    static const PixelFormat format = [] {
        PixelFormat f;
        const char* reason = nullptr;
        make_format(32, 0xff, 0xff00, 0xff0000, 0xff000000u, &f, &reason);
        return f;
    }();
    return format;
}

class Web : public Backend {
public:
    explicit Web(const OpenRequest& request)
        : width_(request.width),
          height_(request.height),
          pace_(request.pace),
          rgba_(std::size_t(request.width) * request.height * 4) {
        scale_ = web_display_open(request.title, width_, height_);
    }
    ~Web() override { web_display_close(); }

    void present(const Image& frame, const Rect& area) override {
        const Image shown{rgba_.data(), width_, height_, width_ * 4, &rgba_format(), nullptr};
        blit(frame, area, shown, area, area);
        web_display_show(rgba_.data(), width_, height_);
        web_display_yield(pace_ ? 1 : 0);
    }

    void poll(KeyQueue& keys) override {
        char name[32];
        int modifiers[3];
        while (web_display_next_key(name, int(sizeof name), modifiers)) {
            keys.push(KeyValue{translate_code(name), modifiers[0], modifiers[1], modifiers[2]});
        }
    }

    void wait(KeyQueue& keys, int milliseconds) override {
        web_display_wait(milliseconds);
        poll(keys);
    }

    bool paced() const override { return pace_; }
    int scale() const override { return scale_; }

private:
    int width_, height_, scale_ = 1;
    bool pace_;
    std::vector<std::uint8_t> rgba_;  // the frame as the canvas takes it
};

std::unique_ptr<Backend> open_web(const OpenRequest& request) {
    return std::make_unique<Web>(request);
}

// The page can show any size: the common ones, in the default format
int web_modes(ModeValue* modes, int max) { return list_modes(modes, max, common_mode_sizes, 0); }

}  // namespace

extern const BackendEntry web_backend = {"web", true, open_web, web_modes};

}  // namespace display
