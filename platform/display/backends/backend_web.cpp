// The web back end, for the WebAssembly build: the console drawn on the page's canvas (the
// element with id "screen", made if the page has none), keys from the page's keyboard events.
//
// - The canvas has the console's size in pixels and is shown enlarged, crisp, in the box of
//   its parent element (the window when that is the page's body). The enlargement is chosen
//   in device pixels: every console pixel covers the same whole number of them, the largest
//   that fits (when not even one fits, the console is shrunk to the box, which cannot be
//   crisp), and the canvas is placed on whole device pixels. It follows every change of the
//   window's size, orientation or device pixel ratio. The document's title is the console's.
// - update() puts the part of the frame that changed on the canvas (the console's usual
//   formats by moving bytes, any other through the library's conversion) and then gives the
//   browser its turn: it waits for
//   the next animation frame (requestAnimationFrame), so the demo keeps step with the display;
//   with TRELK_VSYNC=0 it only lets the browser run its queued work (input, drawing). The
//   program's loop is unchanged: the build suspends and resumes it around these waits
//   (Asyncify).
// - Keys follow the desktop's rules: every key press (repeats too), by the key's place on the
//   keyboard (KeyboardEvent.code, so shift+1 is still the key 1), translated to the codes of
//   trelk/keys.h, with the modifiers held; the page's own use of such a key (scrolling on space
//   or arrows) is stopped. Not keys, and left to the browser: Shift, Control, Alt and the
//   system key pressed alone, Tab (it moves the focus), media and browser keys, and the
//   browser's own shortcuts (reload: F5, Ctrl+R; tab and window: Ctrl+W, Ctrl+T, Ctrl+N,
//   Ctrl+Tab; zoom: Ctrl with +, - or 0; developer tools: F12, Ctrl+Shift+I, J or C; back and
//   forward: Alt with an arrow; on a Mac Cmd for Ctrl, and Cmd+Option+I, J or C). F11 and
//   Alt+Enter toggle full screen, as on the desktop, and are not keys either.
// - A touch (or a pen) lifted from the page is a key, the space bar, so a phone can end the
//   demo, until the program first asks for the mouse. (The page's music takes the first touch
//   for itself when it starts the sound.)
// - The mouse: the page's pointer events, anywhere on the page, taken to the console pixel
//   under them through the canvas's place and size (outside the canvas: outside, with the
//   pixel it would be; off the page: outside, the last pixel kept); a touch or a pen is the
//   left button (the first finger only). The wheel in steps of 100 pixels, 3 lines or a page.
//   The page losing the focus, or the browser cancelling a pointer, lets every button go.
//   Once the program asks for the mouse, the canvas takes touches for itself (no scrolling or
//   zooming by them), and the page's own use of the right button (its menu) and of the wheel
//   (scrolling) is stopped.
// - Typed text: the character of each key pressed (KeyboardEvent.key when it is one
//   character; not with Control or Command, but with AltGr), key repeat included.
// - Closing takes the key and touch listeners away and leaves the last frame on the canvas,
//   which still follows the window's size.
#include <emscripten.h>
#ifdef __wasm_simd128__
#include <wasm_simd128.h>
#endif

#include <cstring>
#include <vector>

#include "platform/display/backend.h"
#include "trelk/keys.h"

// clang-format off
EM_JS(int, web_display_open, (const char* title, int width, int height), {
    document.title = UTF8ToString(title);
    let canvas = document.getElementById('screen');
    if (!canvas) {
        canvas = document.createElement('canvas');
        canvas.id = 'screen';
        document.body.appendChild(canvas);
    }
    if (Module.trelkDisplay) Module.trelkDisplay.close();
    if (Module.trelkPlace) window.removeEventListener('resize', Module.trelkPlace);
    canvas.width = width;
    canvas.height = height;
    canvas.style.imageRendering = 'pixelated';
    canvas.style.position = 'fixed';
    canvas.style.visibility = 'visible';
    // Device pixels per console pixel, placed in the parent's box (or the window)
    const place = () => {
        const ratio = window.devicePixelRatio || 1;
        const parent = canvas.parentElement;
        const box = !parent || parent === document.body
                        ? { left: 0, top: 0, width: window.innerWidth, height: window.innerHeight }
                        : parent.getBoundingClientRect();
        const across = Math.floor(box.width * ratio), down = Math.floor(box.height * ratio);
        let scale = Math.floor(Math.min(across / width, down / height));
        if (scale < 1) scale = Math.max(0.01, Math.min(across / width, down / height));
        const shownWidth = Math.round(width * scale), shownHeight = Math.round(height * scale);
        const left = Math.round(box.left * ratio + (across - shownWidth) / 2);
        const top = Math.round(box.top * ratio + (down - shownHeight) / 2);
        canvas.style.left = (left / ratio) + 'px';
        canvas.style.top = (top / ratio) + 'px';
        canvas.style.width = (shownWidth / ratio) + 'px';
        canvas.style.height = (shownHeight / ratio) + 'px';
        Module.trelkScale = Math.max(1, Math.floor(scale));
        // A new ratio (zoom, or the window moved to another screen) fires no resize everywhere
        if (Module.trelkRatio) Module.trelkRatio.removeEventListener('change', place);
        Module.trelkRatio = window.matchMedia('(resolution: ' + ratio + 'dppx)');
        Module.trelkRatio.addEventListener('change', place);
    };
    place();
    window.addEventListener('resize', place);
    Module.trelkPlace = place;

    const keys = [];
    const wake = () => { if (Module.trelkWake) Module.trelkWake(); };
    const modifiers = ['ShiftLeft', 'ShiftRight', 'ControlLeft', 'ControlRight', 'AltLeft',
                       'AltRight', 'MetaLeft', 'MetaRight', 'OSLeft', 'OSRight', 'AltGraph'];
    const shortcuts = ['KeyR', 'KeyW', 'KeyT', 'KeyN', 'Tab', 'PageUp', 'PageDown', 'Equal',
                       'Minus', 'Digit0', 'NumpadAdd', 'NumpadSubtract', 'Numpad0'];
    const browsers = (event) => {
        const code = event.code, command = event.ctrlKey || event.metaKey;
        return code == 'F5' || code == 'F12' || (command && shortcuts.indexOf(code) >= 0) ||
               (command && (event.shiftKey || event.altKey) &&
                ['KeyI', 'KeyJ', 'KeyC'].indexOf(code) >= 0) ||
               (event.altKey && (code == 'ArrowLeft' || code == 'ArrowRight'));
    };
    const onKey = (event) => {
        const code = event.code || "";
        if (code == 'F11' || (code == 'Enter' && event.altKey)) {
            event.preventDefault();
            if (!event.repeat) {
                const shown = document.fullscreenElement;
                const asked = shown ? document.exitFullscreen()
                                    : document.documentElement.requestFullscreen();
                if (asked) asked.catch(() => {});
            }
            return;
        }
        if (code == "" || code == 'Tab' || modifiers.indexOf(code) >= 0 ||
            /^(Media|Audio|Browser|Launch|Power|Sleep|WakeUp|Eject)/.test(code) ||
            browsers(event)) {
            return;
        }
        keys.push([code, event.altKey ? 1 : 0, event.shiftKey ? 1 : 0, event.ctrlKey ? 1 : 0]);
        event.preventDefault();
        wake();
    };
    // The pointer: [0, x, y, inside] a move, [1, button] a press, [2, button] a release,
    // [3, right, away] wheel steps, [4] off the page; buttons 1 left, 2 right, 4 middle
    const pointer = [], text = [];
    let mouse = false;  // the program has asked for the mouse
    const moved = (event) => {
        const box = canvas.getBoundingClientRect();
        if (box.width <= 0 || box.height <= 0) return;
        const x = Math.floor((event.clientX - box.left) * width / box.width);
        const y = Math.floor((event.clientY - box.top) * height / box.height);
        const inside = x >= 0 && x < width && y >= 0 && y < height ? 1 : 0;
        const last = pointer[pointer.length - 1];
        if (last && last[0] == 0) pointer.pop();  // moves in a row: the last is enough
        if (pointer.length < 4096) pointer.push([0, x, y, inside]);
    };
    const buttonOf = (event) => event.pointerType != 'mouse' ? 1 :
                                [1, 4, 2][event.button] || 0;
    const onMove = (event) => {
        if (event.pointerType != 'mouse' && !event.isPrimary) return;
        moved(event);
    };
    const onDown = (event) => {
        if (event.pointerType != 'mouse' && !event.isPrimary) return;
        const button = buttonOf(event);
        moved(event);
        if (button && pointer.length < 4096) pointer.push([1, button]);
        // Moves and the release keep coming to the canvas while held, outside it too
        if (mouse && event.target === canvas) canvas.setPointerCapture(event.pointerId);
    };
    // Every button let go (a release of one not held is passed over)
    const releaseAll = () => {
        if (pointer.length < 4090) pointer.push([2, 1], [2, 2], [2, 4]);
    };
    const onUp = (event) => {
        if (event.pointerType != 'mouse' && !event.isPrimary) return;
        moved(event);
        const button = buttonOf(event);
        if (event.type == 'pointercancel') {
            releaseAll();
        } else if (button && pointer.length < 4096) {
            pointer.push([2, button]);
        }
    };
    const onLeave = () => { if (pointer.length < 4096) pointer.push([4]); };
    const wheelSteps = [0, 0];  // the part of a step not given yet, right and down
    const onWheel = (event) => {
        const unit = [100, 3, 1][event.deltaMode] || 100;
        wheelSteps[0] += event.deltaX / unit;
        wheelSteps[1] += event.deltaY / unit;
        const right = Math.trunc(wheelSteps[0]), down = Math.trunc(wheelSteps[1]);
        wheelSteps[0] -= right;
        wheelSteps[1] -= down;
        moved(event);
        if ((right || down) && pointer.length < 4096) pointer.push([3, right, -down]);
        if (mouse) event.preventDefault();
    };
    const onMenu = (event) => { if (mouse) event.preventDefault(); };
    const onText = (event) => {
        const key = event.key || '';
        const altGraph = event.getModifierState && event.getModifierState('AltGraph');
        if (event.isComposing || Array.from(key).length != 1 ||
            ((event.ctrlKey || event.metaKey) && !altGraph) || text.length >= 256) {
            return;
        }
        text.push(key);
    };
    const onTouch = (event) => {
        if (event.pointerType == 'mouse' || mouse) return;
        keys.push(['Space', 0, 0, 0]);
        wake();
    };
    const listeners = [['keydown', onText], ['keydown', onKey], ['pointerup', onTouch],
                       ['pointermove', onMove], ['pointerdown', onDown], ['pointerup', onUp],
                       ['pointercancel', onUp], ['wheel', onWheel], ['contextmenu', onMenu],
                       ['blur', releaseAll]];
    listeners.forEach((listener) => {
        window.addEventListener(listener[0], listener[1], { passive: false });
    });
    document.documentElement.addEventListener('pointerleave', onLeave);
    Module.trelkDisplay = {
        context: canvas.getContext('2d'),
        image: null,
        pixels: 0,
        keys: keys,
        pointer: pointer,
        text: text,
        wantMouse: () => {
            mouse = true;
            canvas.style.touchAction = 'none';
        },
        close: () => {
            listeners.forEach((listener) => {
                window.removeEventListener(listener[0], listener[1], { passive: false });
            });
            document.documentElement.removeEventListener('pointerleave', onLeave);
            canvas.style.touchAction = '';
        },
    };
    return Module.trelkScale;
});

// Device pixels per console pixel now (the window may have changed since the console opened)
EM_JS(int, web_display_scale, (), {
    return Module.trelkScale || 1;
});

// 1 when the page is shown full screen now (F11 or Alt+Enter), else 0
EM_JS(int, web_display_fullscreen, (), {
    return document.fullscreenElement ? 1 : 0;
});

EM_JS(void, web_display_close, (), {
    if (Module.trelkDisplay) Module.trelkDisplay.close();
    Module.trelkDisplay = null;
});

// Shows the part (left, top)-(right, bottom) of width x height RGBA pixels. The canvas takes
// them straight from the program's memory, through an image made over it once (again when
// the memory has grown, which replaces its buffer).
EM_JS(void, web_display_show, (const void* pixels, int width, int height, int left, int top,
                               int right, int bottom), {
    const display = Module.trelkDisplay;
    if (!display.image || display.image.data.buffer !== HEAPU8.buffer ||
        display.pixels !== pixels) {
        const bytes = new Uint8ClampedArray(HEAPU8.buffer, pixels, width * height * 4);
        display.image = new ImageData(bytes, width, height);
        display.pixels = pixels;
    }
    display.context.putImageData(display.image, 0, 0, left, top, right - left, bottom - top);
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

// The oldest pointer event into values[0..3] (see web_display_open); 0 when none waits
EM_JS(int, web_display_next_pointer, (int* values), {
    const display = Module.trelkDisplay;
    if (!display || display.pointer.length == 0) return 0;
    const event = display.pointer.shift();
    for (let i = 0; i < 4; ++i) HEAP32[(values >> 2) + i] = event[i] || 0;
    return 1;
});

// The oldest character typed as UTF-8 into text (size bytes at least 5, with its ending 0);
// its length, 0 when none waits
EM_JS(int, web_display_next_text, (char* text, int size), {
    const display = Module.trelkDisplay;
    if (!display || display.text.length == 0) return 0;
    return stringToUTF8(display.text.shift(), text, size);
});

// The program asks for the mouse: see web_display_open
EM_JS(void, web_display_want_mouse, (), {
    if (Module.trelkDisplay) Module.trelkDisplay.wantMouse();
});

// Lets the browser run: until the next animation frame when paced, else until its queued
// work has run (a message to ourselves: a timer would wait at least 4 ms once nested).
// Module.trelkWaited sums the milliseconds spent here, for the frame benchmark.
EM_ASYNC_JS(void, web_display_yield, (int paced), {
    const start = performance.now();
    await new Promise((resolve) => {
        if (paced) {
            requestAnimationFrame(() => resolve());
        } else {
            if (!Module.trelkTurn) Module.trelkTurn = new MessageChannel();
            Module.trelkTurn.port1.onmessage = () => resolve();
            Module.trelkTurn.port2.postMessage(0);
        }
    });
    Module.trelkWaited = (Module.trelkWaited || 0) + performance.now() - start;
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

// KeyboardEvent.code names to the codes of trelk/keys.h; letters, digits, F1-F12 and the keypad's
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

// Where red, green and blue sit among a 32-bit pixel's bytes in memory (0 to 3)
struct ByteOrder {
    int red, green, blue;
};

// Whether the format has red, green and blue as whole bytes of 32-bit pixels and no alpha, as
// the console's usual formats do: their pixels reach the canvas by moving bytes
bool byte_order(const PixelFormat& format, ByteOrder* order) {
    if (format.bits != 32 || format.indexed || format.width[3] != 0) return false;
    for (int c = 0; c < 3; ++c) {
        if (format.width[c] != 8 || format.shift[c] % 8 != 0) return false;
    }
    *order = ByteOrder{format.shift[0] / 8, format.shift[1] / 8, format.shift[2] / 8};
    return true;
}

// count pixels of such a format as opaque RGBA: sixteen bytes at a time with WebAssembly's
// byte shuffle, what a copy costs. Kept out of present(), whose waits the build rewrites: a
// loop rewritten with it would carry the rewriting's checks.
__attribute__((noinline)) void bytes_to_rgba(const std::uint8_t* in, std::uint8_t* out, int count,
                                             ByteOrder order) {
    int i = 0;
#ifdef __wasm_simd128__
    const int r = order.red, g = order.green, b = order.blue;
    // Out-of-range indexes (alpha's) give 0, which the or below makes 255
    const v128_t shuffle = wasm_i8x16_make(r, g, b, 16, r + 4, g + 4, b + 4, 16, r + 8, g + 8,
                                           b + 8, 16, r + 12, g + 12, b + 12, 16);
    const v128_t opaque = wasm_i32x4_splat(int(0xff000000u));
    for (; i + 4 <= count; i += 4) {
        const v128_t pixels = wasm_v128_load(in + i * 4);
        wasm_v128_store(out + i * 4, wasm_v128_or(wasm_i8x16_swizzle(pixels, shuffle), opaque));
    }
#endif
    for (; i < count; ++i) {
        out[i * 4] = in[i * 4 + order.red];
        out[i * 4 + 1] = in[i * 4 + order.green];
        out[i * 4 + 2] = in[i * 4 + order.blue];
        out[i * 4 + 3] = 0xff;
    }
}

class Web : public Backend {
public:
    explicit Web(const OpenRequest& request)
        : width_(request.width),
          height_(request.height),
          pace_(request.pace),
          rgba_(std::size_t(request.width) * request.height * 4) {
        web_display_open(request.title, width_, height_);
    }
    ~Web() override { web_display_close(); }

    void present(const Image& frame, const Rect& area) override {
        const Rect part =
            clip_to(clip_to(normalise(area), frame.width, frame.height), width_, height_);
        convert(frame, part);
        if (part.right > part.left && part.bottom > part.top) {
            web_display_show(rgba_.data(), width_, height_, part.left, part.top, part.right,
                             part.bottom);
        }
        web_display_yield(pace_ ? 1 : 0);
    }

    void poll(KeyQueue& keys) override {
        char name[32];
        int modifiers[3];
        while (web_display_next_key(name, int(sizeof name), modifiers)) {
            keys.push(KeyValue{translate_code(name), modifiers[0], modifiers[1], modifiers[2]});
        }
        int event[4];
        while (web_display_next_pointer(event)) {
            switch (event[0]) {
                case 0:
                    keys.mouse.move(event[1], event[2], event[3] != 0);
                    break;
                case 1:
                    keys.mouse.press(event[1]);
                    break;
                case 2:
                    keys.mouse.release(event[1]);
                    break;
                case 3:
                    keys.mouse.wheel(event[1], event[2]);
                    break;
                default:
                    keys.mouse.leave();
                    break;
            }
        }
        char character[8];
        for (int n; (n = web_display_next_text(character, int(sizeof character))) > 0;)
            keys.text.push(character, n);
    }

    void want_mouse() override { web_display_want_mouse(); }

    void wait(KeyQueue& keys, int milliseconds) override {
        web_display_wait(milliseconds);
        poll(keys);
    }

    bool paced() const override { return pace_; }
    int scale() const override { return web_display_scale(); }
    // A page goes full screen only on a key or click, never when the console opens: what it
    // shows now, whatever the console asked for
    int fullscreen() const override { return web_display_fullscreen(); }

private:
    // The part of the frame into rgba_
    void convert(const Image& frame, const Rect& part) {
        ByteOrder order;
        if (!byte_order(*frame.format, &order)) {
            const Image shown{rgba_.data(), width_, height_, width_ * 4, &rgba_format(), nullptr};
            blit(frame, part, shown, part, part);
            return;
        }
        for (int y = part.top; y < part.bottom; ++y) {
            bytes_to_rgba(frame.pixels + std::size_t(y) * frame.pitch + part.left * 4,
                          rgba_.data() + (std::size_t(y) * width_ + part.left) * 4,
                          part.right - part.left, order);
        }
    }

    int width_, height_;
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
