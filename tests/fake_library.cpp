#include "tests/fake_library.h"

#include <algorithm>
#include <sstream>
#include <utility>

#include "trelk/error.h"

namespace fake {

namespace {

const char* kind_name(Kind kind) {
    switch (kind) {
        case Kind::Area:
            return "area";
        case Kind::Console:
            return "console";
        case Kind::Error:
            return "error";
        case Kind::Format:
            return "format";
        case Kind::Key:
            return "key";
        case Kind::Mode:
            return "mode";
        case Kind::Palette:
            return "palette";
        case Kind::Surface:
            return "surface";
        case Kind::Timer:
            return "timer";
        case Kind::Color:
            return "colour";
    }
    return "?";
}

std::string describe(trelk_handle handle) {
    std::ostringstream out;
    out << "h:" << static_cast<const void*>(handle);
    return out.str();
}

// Counts the double's own calls while it builds an error to throw.
struct InternalScope {
    explicit InternalScope(int& depth) : depth_(depth) { ++depth_; }
    ~InternalScope() { --depth_; }
    InternalScope(const InternalScope&) = delete;
    InternalScope& operator=(const InternalScope&) = delete;
    int& depth_;
};

// Returned as a prvalue so that `throw make_error(...)` builds the exception object in place:
// the layer sees exactly the error the double made, never a copy of it.
trelk::DynamicError make_error(int& depth, const std::string& message) {
    InternalScope scope(depth);
    return trelk::DynamicError(message.c_str());
}

}  // namespace

Arg::Arg(const char* value) {
    if (value == nullptr) {
        kind = Kind::Pointer;
    } else {
        kind = Kind::Text;
        text = value;
    }
}

bool operator==(const Arg& a, const Arg& b) {
    if (a.kind != b.kind) return false;
    switch (a.kind) {
        case Arg::Kind::Int:
        case Arg::Kind::Mask:
            return a.number == b.number;
        case Arg::Kind::Text:
            return a.text == b.text;
        case Arg::Kind::Handle:
        case Arg::Kind::Pointer:
            return a.pointer == b.pointer;
    }
    return false;
}

std::ostream& operator<<(std::ostream& out, const Arg& arg) {
    switch (arg.kind) {
        case Arg::Kind::Int:
            return out << arg.number;
        case Arg::Kind::Mask:
            return out << "0x" << std::hex << arg.number << std::dec << 'u';
        case Arg::Kind::Text:
            return out << '"' << arg.text << '"';
        case Arg::Kind::Handle:
            return out << "h:" << arg.pointer;
        case Arg::Kind::Pointer:
            return out << "p:" << arg.pointer;
    }
    return out;
}

bool operator==(const Call& a, const Call& b) { return a.entry == b.entry && a.args == b.args; }

std::ostream& operator<<(std::ostream& out, const Call& call) {
    out << '#' << call.entry << '(';
    for (std::size_t i = 0; i < call.args.size(); ++i) out << (i ? ", " : "") << call.args[i];
    out << ')';
    if (call.internal) out << "[internal]";
    if (call.threw) out << "[threw]";
    return out;
}

Library& library() {
    static Library instance;
    return instance;
}

void Library::reset() { *this = Library(); }

std::vector<Call> Library::calls() const {
    std::vector<Call> result;
    for (const Call& call : calls_)
        if (!call.internal) result.push_back(call);
    return result;
}

std::vector<int> Library::entries() const { return entries_since(0); }

std::vector<Call> Library::calls_of(int entry) const {
    std::vector<Call> result;
    for (const Call& call : calls_)
        if (!call.internal && call.entry == entry) result.push_back(call);
    return result;
}

std::size_t Library::mark() const {
    return static_cast<std::size_t>(
        std::count_if(calls_.begin(), calls_.end(), [](const Call& c) { return !c.internal; }));
}

std::vector<Call> Library::calls_since(std::size_t mark) const {
    std::vector<Call> all = calls();
    if (mark >= all.size()) return {};
    return std::vector<Call>(all.begin() + static_cast<std::ptrdiff_t>(mark), all.end());
}

std::vector<int> Library::entries_since(std::size_t mark) const {
    std::vector<int> result;
    for (const Call& call : calls_since(mark)) result.push_back(call.entry);
    return result;
}

void Library::fail_on(int entry, int nth, const std::string& message) {
    failures_.push_back(Failure{entry, nth, message});
}

void Library::set_key(trelk_handle key, KeyState state) {
    if (Object* object = find(key)) object->key = state;
}

std::vector<trelk_handle> Library::live() const {
    std::vector<trelk_handle> result;
    for (trelk_handle handle : created_)
        if (objects_.at(handle).alive) result.push_back(handle);
    return result;
}

bool Library::owned(trelk_handle handle) const {
    auto it = objects_.find(handle);
    return it != objects_.end() && it->second.owned;
}

Kind Library::kind(trelk_handle handle) const { return objects_.at(handle).kind; }

trelk_handle Library::origin(trelk_handle handle) const {
    auto it = objects_.find(handle);
    return it == objects_.end() ? nullptr : it->second.origin;
}

int Library::mode_index(trelk_handle handle) const {
    auto it = objects_.find(handle);
    return it == objects_.end() ? -1 : it->second.mode_index;
}

int Library::mode_validity(trelk_handle handle) const {
    const int index = mode_index(origin(handle));
    if (index < 0 || index >= static_cast<int>(mode_validity_.size())) return 0;
    return mode_validity_[static_cast<std::size_t>(index)];
}

std::string Library::message(trelk_handle error) const {
    auto it = objects_.find(error);
    return it == objects_.end() ? std::string() : it->second.message;
}

KeyState Library::key(trelk_handle key) const {
    auto it = objects_.find(key);
    return it == objects_.end() ? KeyState{} : it->second.key;
}

Result Library::enter(int entry, std::vector<Arg> args, const Result& fallback) {
    Call call(entry, std::move(args));
    call.internal = internal_ > 0;
    calls_.push_back(std::move(call));

    auto fallback_or_default = [&] {
        auto it = defaults_.find(entry);
        return it == defaults_.end() ? fallback : it->second;
    };
    if (internal_ > 0) return fallback_or_default();

    for (auto it = failures_.begin(); it != failures_.end(); ++it) {
        if (it->entry != entry || --it->remaining > 0) continue;
        const std::string message = it->message;
        failures_.erase(it);
        calls_.back().threw = true;
        throw make_error(internal_, message);
    }

    auto queue = queues_.find(entry);
    if (queue != queues_.end() && !queue->second.empty()) {
        Result result = queue->second.front();
        queue->second.pop_front();
        return result;
    }
    return fallback_or_default();
}

trelk_handle Library::create(Kind kind) {
    const trelk_handle handle = reinterpret_cast<trelk_handle>(next_handle_);
    next_handle_ += 0x10;
    Object object;
    object.kind = kind;
    object.origin = handle;
    objects_.emplace(handle, object);
    created_.push_back(handle);
    if (kind == Kind::Error && internal_ > 0) last_thrown_ = handle;
    return handle;
}

trelk_handle Library::library_owned(Kind kind, int mode_index) {
    const trelk_handle handle = reinterpret_cast<trelk_handle>(next_handle_);
    next_handle_ += 0x10;
    Object object;
    object.kind = kind;
    object.owned = false;
    object.origin = handle;
    object.mode_index = mode_index;
    objects_.emplace(handle, object);
    return handle;
}

Library::Object* Library::find(trelk_handle handle) {
    auto it = objects_.find(handle);
    return it == objects_.end() ? nullptr : &it->second;
}

void Library::destroy(Kind kind, trelk_handle handle) {
    Object* object = find(handle);
    const std::string what = std::string("destroy ") + kind_name(kind) + ' ' + describe(handle);
    if (object == nullptr) {
        faults_.push_back(what + ": unknown handle");
    } else if (!object->owned) {
        faults_.push_back(what + ": library-owned handle");
    } else if (!object->alive) {
        faults_.push_back(what + ": already destroyed");
    } else if (object->kind != kind) {
        faults_.push_back(what + ": handle is a " + kind_name(object->kind));
    } else {
        object->alive = false;
    }
}

void Library::use(Kind kind, trelk_handle handle, const char* what) {
    const Object* object = find(handle);
    const std::string where = std::string(what) + ' ' + describe(handle);
    if (object == nullptr)
        faults_.push_back(where + ": unknown handle");
    else if (!object->alive)
        faults_.push_back(where + ": destroyed handle");
    else if (object->kind != kind)
        faults_.push_back(where + ": a " + kind_name(object->kind) + ", not a " + kind_name(kind));
}

void Library::copy(Kind kind, trelk_handle destination, trelk_handle source) {
    use(kind, source, "copy source");
    use(kind, destination, "copy destination");
    Object* to = find(destination);
    const Object* from = find(source);
    if (to == nullptr || from == nullptr) return;
    if (!to->owned) faults_.push_back("copy into library-owned " + describe(destination));
    to->origin = from->origin;
    if (kind == Kind::Error) to->message = from->message;
}

void Library::fill_read_key(trelk_handle key) {
    KeyState state;
    if (!read_keys_.empty()) {
        state = read_keys_.front();
        read_keys_.pop_front();
    }
    if (Object* object = find(key)) object->key = state;
}

}  // namespace fake

// ---- the entries

namespace {

using fake::Arg;
using fake::Kind;
using fake::Result;

fake::Library& lib() { return fake::library(); }

// A call that yields nothing (or a result the layer ignores).
void record(int entry, std::vector<Arg> args) { lib().enter(entry, std::move(args), Result(0)); }

int number(int entry, std::vector<Arg> args) {
    return static_cast<int>(lib().enter(entry, std::move(args), Result(0)).number);
}

trelk_handle make(int entry, std::vector<Arg> args, Kind kind) {
    lib().enter(entry, std::move(args), Result(0));
    return lib().create(kind);
}

void destroy(int entry, Kind kind, trelk_handle handle) {
    record(entry, {handle});
    lib().destroy(kind, handle);
}

void on(Kind kind, trelk_handle handle, const char* what) { lib().use(kind, handle, what); }

int console_number(int entry, trelk_handle console) {
    const int result = number(entry, {console});
    lib().use(Kind::Console, console, "console");
    return result;
}

// A copy target is named by its virtual handle(): a surface, a console, or the address of an
// object that has no library handle. Only a known handle that is no longer alive is wrong.
void on_target(trelk_handle target) {
    fake::Library::Object* object = lib().find(target);
    if (object == nullptr) return;
    lib().use(object->kind == Kind::Console ? Kind::Console : Kind::Surface, target, "target");
}

trelk_handle getter(int entry, Kind owner, trelk_handle handle, Kind kind) {
    record(entry, {handle});
    on(owner, handle, "getter");
    return lib().library_owned(kind);
}

// Surfaces and consoles share their pixel operations, numbered in the same order from 46
// (console) and from 136 (surface): each is recorded under its owner's number and checks the
// same handles
enum Shared {
    copy_op,
    copy_area_op,
    lock_op,
    unlock_op,
    load_op,
    load_area_op,
    save_op,
    save_area_op,
    clear_op,
    clear_color_op,
    clear_color_area_op,
    set_palette_op,
    palette_op,
    set_clip_op
};

struct Drawable {
    Kind kind;
    const char* name;
    int first;  // the entry number of its copy
    int entry(Shared op) const { return first + op; }
};
constexpr Drawable console_pixels{Kind::Console, "console", 46};
constexpr Drawable surface_pixels{Kind::Surface, "surface", 136};

void shared(const Drawable& d, Shared op, trelk_handle owner, std::vector<Arg> args) {
    args.insert(args.begin(), owner);
    record(d.entry(op), std::move(args));
    on(d.kind, owner, d.name);
}

void copy(const Drawable& d, trelk_handle owner, trelk_handle target) {
    shared(d, copy_op, owner, {target});
    on_target(target);
}

void copy_area(const Drawable& d, trelk_handle owner, trelk_handle target, trelk_handle source,
               trelk_handle destination) {
    shared(d, copy_area_op, owner, {target, source, destination});
    on_target(target);
    on(Kind::Area, source, "source area");
    on(Kind::Area, destination, "destination area");
}

void* lock(const Drawable& d, trelk_handle owner) {
    void* pixels =
        lib().enter(d.entry(lock_op), {owner}, Result(static_cast<void*>(nullptr))).pointer;
    on(d.kind, owner, d.name);
    return pixels;
}

// A load or a save: the caller's buffer with its format and palette, and both areas when given
void transfer(const Drawable& d, Shared op, trelk_handle owner, const void* pixels, int width,
              int height, int pitch, trelk_handle format, trelk_handle palette,
              trelk_handle source = nullptr, trelk_handle destination = nullptr) {
    const bool areas = op == load_area_op || op == save_area_op;
    std::vector<Arg> args{pixels, width, height, pitch, format, palette};
    if (areas) args.insert(args.end(), {source, destination});
    shared(d, op, owner, std::move(args));
    on(Kind::Format, format, "format");
    on(Kind::Palette, palette, "palette");
    if (areas) {
        on(Kind::Area, source, "source area");
        on(Kind::Area, destination, "destination area");
    }
}

void clear_color(const Drawable& d, trelk_handle owner, trelk_handle color) {
    shared(d, clear_color_op, owner, {color});
    on(Kind::Color, color, "colour");
}

void clear_color_area(const Drawable& d, trelk_handle owner, trelk_handle color,
                      trelk_handle area) {
    shared(d, clear_color_area_op, owner, {color, area});
    on(Kind::Color, color, "colour");
    on(Kind::Area, area, "area");
}

void set_palette(const Drawable& d, trelk_handle owner, trelk_handle palette) {
    shared(d, set_palette_op, owner, {palette});
    on(Kind::Palette, palette, "palette");
}

void set_clip(const Drawable& d, trelk_handle owner, trelk_handle area) {
    shared(d, set_clip_op, owner, {area});
    on(Kind::Area, area, "area");
}

}  // namespace

// The shared operations' entries, once for consoles and once for surfaces
#define FAKE_SHARED_ENTRIES(owner, d)                                                              \
    void trelk_##owner##_copy(trelk_handle owner, trelk_handle target) { copy(d, owner, target); } \
    void trelk_##owner##_copy_area(trelk_handle owner, trelk_handle target, trelk_handle source,   \
                                   trelk_handle destination) {                                     \
        copy_area(d, owner, target, source, destination);                                          \
    }                                                                                              \
    void* trelk_##owner##_lock(trelk_handle owner) { return lock(d, owner); }                      \
    void trelk_##owner##_unlock(trelk_handle owner) { shared(d, unlock_op, owner, {}); }           \
    void trelk_##owner##_load(trelk_handle owner, const void* pixels, int width, int height,       \
                              int pitch, trelk_handle format, trelk_handle palette) {              \
        transfer(d, load_op, owner, pixels, width, height, pitch, format, palette);                \
    }                                                                                              \
    void trelk_##owner##_load_area(trelk_handle owner, const void* pixels, int width, int height,  \
                                   int pitch, trelk_handle format, trelk_handle palette,           \
                                   trelk_handle source, trelk_handle destination) {                \
        transfer(d, load_area_op, owner, pixels, width, height, pitch, format, palette, source,    \
                 destination);                                                                     \
    }                                                                                              \
    void trelk_##owner##_save(trelk_handle owner, void* pixels, int width, int height, int pitch,  \
                              trelk_handle format, trelk_handle palette) {                         \
        transfer(d, save_op, owner, pixels, width, height, pitch, format, palette);                \
    }                                                                                              \
    void trelk_##owner##_save_area(trelk_handle owner, void* pixels, int width, int height,        \
                                   int pitch, trelk_handle format, trelk_handle palette,           \
                                   trelk_handle source, trelk_handle destination) {                \
        transfer(d, save_area_op, owner, pixels, width, height, pitch, format, palette, source,    \
                 destination);                                                                     \
    }                                                                                              \
    void trelk_##owner##_clear(trelk_handle owner) { shared(d, clear_op, owner, {}); }             \
    void trelk_##owner##_clear_color(trelk_handle owner, trelk_handle color) {                     \
        clear_color(d, owner, color);                                                              \
    }                                                                                              \
    void trelk_##owner##_clear_color_area(trelk_handle owner, trelk_handle color,                  \
                                          trelk_handle area) {                                     \
        clear_color_area(d, owner, color, area);                                                   \
    }                                                                                              \
    void trelk_##owner##_set_palette(trelk_handle owner, trelk_handle palette) {                   \
        set_palette(d, owner, palette);                                                            \
    }                                                                                              \
    trelk_handle trelk_##owner##_palette(trelk_handle owner) {                                     \
        return getter(d.entry(palette_op), d.kind, owner, Kind::Palette);                          \
    }                                                                                              \
    void trelk_##owner##_set_clip(trelk_handle owner, trelk_handle area) {                         \
        set_clip(d, owner, area);                                                                  \
    }

extern "C" {

trelk_handle trelk_area_create(int left, int top, int right, int bottom) {
    return make(1, {left, top, right, bottom}, Kind::Area);
}
void trelk_area_destroy(trelk_handle area) { destroy(2, Kind::Area, area); }
void trelk_area_copy(trelk_handle destination, trelk_handle source) {
    record(9, {destination, source});
    lib().copy(Kind::Area, destination, source);
}

trelk_handle trelk_console_create(void) { return make(30, {}, Kind::Console); }
void trelk_console_destroy(trelk_handle console) { destroy(31, Kind::Console, console); }
int trelk_console_entry32(trelk_handle console, int value) {
    const int result = number(32, {console, value});
    on(Kind::Console, console, "console");
    return result;
}
int trelk_console_option(trelk_handle console, const char* option) {
    const int result = number(33, {console, option});
    on(Kind::Console, console, "console");
    return result;
}
trelk_handle trelk_console_mode(trelk_handle console, int index) {
    record(34, {console, index});
    on(Kind::Console, console, "console");
    return lib().library_owned(Kind::Mode, index);
}
void trelk_console_open(trelk_handle console, const char* title, int extra) {
    record(35, {console, title, extra});
    on(Kind::Console, console, "console");
}
void trelk_console_open_format(trelk_handle console, const char* title, trelk_handle format,
                               int extra) {
    record(36, {console, title, format, extra});
    on(Kind::Console, console, "console");
    on(Kind::Format, format, "format");
}
void trelk_console_open_size(trelk_handle console, const char* title, int width, int height,
                             trelk_handle format, int extra) {
    record(37, {console, title, width, height, format, extra});
    on(Kind::Console, console, "console");
    on(Kind::Format, format, "format");
}
void trelk_console_open_mode(trelk_handle console, const char* title, trelk_handle mode,
                             int extra) {
    record(38, {console, title, mode, extra});
    on(Kind::Console, console, "console");
    on(Kind::Mode, mode, "mode");
}
void trelk_console_close(trelk_handle console) {
    record(39, {console});
    on(Kind::Console, console, "console");
}
int trelk_console_entry40(trelk_handle console) { return console_number(40, console); }
int trelk_console_entry41(trelk_handle console) { return console_number(41, console); }
void trelk_console_update(trelk_handle console) {
    record(42, {console});
    on(Kind::Console, console, "console");
}
void trelk_console_update_area(trelk_handle console, trelk_handle area) {
    record(43, {console, area});
    on(Kind::Console, console, "console");
    on(Kind::Area, area, "area");
}
int trelk_console_key(trelk_handle console) {
    const int result = number(44, {console});
    on(Kind::Console, console, "console");
    return result;
}
void trelk_console_read(trelk_handle console, trelk_handle key) {
    record(45, {console, key});
    on(Kind::Console, console, "console");
    on(Kind::Key, key, "key");
    lib().fill_read_key(key);
}

FAKE_SHARED_ENTRIES(console, console_pixels)

int trelk_console_width(trelk_handle console) { return console_number(60, console); }
int trelk_console_height(trelk_handle console) { return console_number(61, console); }
int trelk_console_entry62(trelk_handle console) { return console_number(62, console); }
int trelk_console_pitch(trelk_handle console) { return console_number(63, console); }
trelk_handle trelk_console_area(trelk_handle console) {
    return getter(64, Kind::Console, console, Kind::Area);
}
trelk_handle trelk_console_clip(trelk_handle console) {
    return getter(65, Kind::Console, console, Kind::Area);
}
trelk_handle trelk_console_format(trelk_handle console) {
    return getter(66, Kind::Console, console, Kind::Format);
}
int trelk_console_entry67(trelk_handle console) { return console_number(67, console); }
int trelk_console_entry68(trelk_handle console) { return console_number(68, console); }
int trelk_console_entry69(trelk_handle console) { return console_number(69, console); }
void trelk_console_open_alternate(trelk_handle console, const char* title, int extra) {
    record(70, {console, title, extra});
    on(Kind::Console, console, "console");
}
void trelk_console_open_alternate_format(trelk_handle console, const char* title,
                                         trelk_handle format, int extra) {
    record(71, {console, title, format, extra});
    on(Kind::Console, console, "console");
    on(Kind::Format, format, "format");
}
void trelk_console_open_alternate_size(trelk_handle console, const char* title, int width,
                                       int height, trelk_handle format, int extra) {
    record(72, {console, title, width, height, format, extra});
    on(Kind::Console, console, "console");
    on(Kind::Format, format, "format");
}
void trelk_console_open_alternate_mode(trelk_handle console, const char* title, trelk_handle mode,
                                       int extra) {
    record(73, {console, title, mode, extra});
    on(Kind::Console, console, "console");
    on(Kind::Mode, mode, "mode");
}
int trelk_console_entry74(trelk_handle console) { return console_number(74, console); }
int trelk_console_entry75(trelk_handle console) { return console_number(75, console); }
int trelk_console_entry76(trelk_handle console) { return console_number(76, console); }
int trelk_console_entry77(trelk_handle console) { return console_number(77, console); }
int trelk_console_entry78(trelk_handle console) { return console_number(78, console); }
int trelk_console_entry79(trelk_handle console) { return console_number(79, console); }

trelk_handle trelk_error_create(const char* message) {
    const trelk_handle error = make(86, {message}, Kind::Error);
    if (fake::Library::Object* object = lib().find(error)) object->message = message;
    return error;
}
void trelk_error_destroy(trelk_handle error) { destroy(88, Kind::Error, error); }
void trelk_error_report(trelk_handle error) {
    record(89, {error});
    on(Kind::Error, error, "error");
}
void trelk_error_copy(trelk_handle destination, trelk_handle source) {
    record(91, {destination, source});
    lib().copy(Kind::Error, destination, source);
}
// Not a numbered entry: read, not recorded
const char* trelk_error_message(trelk_handle error) {
    const fake::Library::Object* object = lib().find(error);
    return object ? object->message.c_str() : "";
}

trelk_handle trelk_format_create(void) { return make(94, {}, Kind::Format); }
trelk_handle trelk_format_create_direct(int bits, std::uint32_t red, std::uint32_t green,
                                        std::uint32_t blue, std::uint32_t alpha) {
    return make(96, {bits, red, green, blue, alpha}, Kind::Format);
}
void trelk_format_destroy(trelk_handle format) { destroy(97, Kind::Format, format); }
void trelk_format_copy(trelk_handle destination, trelk_handle source) {
    record(106, {destination, source});
    lib().copy(Kind::Format, destination, source);
}

trelk_handle trelk_key_create(int code, int modifier1, int modifier2, int modifier3) {
    const trelk_handle key = make(108, {code, modifier1, modifier2, modifier3}, Kind::Key);
    lib().set_key(key, fake::KeyState{code, modifier1, modifier2, modifier3});
    return key;
}
void trelk_key_destroy(trelk_handle key) { destroy(109, Kind::Key, key); }
int trelk_key_code(trelk_handle key) {
    const Result result = lib().enter(110, {key}, Result(lib().key(key).code));
    on(Kind::Key, key, "key");
    return static_cast<int>(result.number);
}
int trelk_key_modifier1(trelk_handle key) {
    const Result result = lib().enter(111, {key}, Result(lib().key(key).modifier1));
    on(Kind::Key, key, "key");
    return static_cast<int>(result.number);
}
int trelk_key_modifier2(trelk_handle key) {
    const Result result = lib().enter(112, {key}, Result(lib().key(key).modifier2));
    on(Kind::Key, key, "key");
    return static_cast<int>(result.number);
}
int trelk_key_modifier3(trelk_handle key) {
    const Result result = lib().enter(113, {key}, Result(lib().key(key).modifier3));
    on(Kind::Key, key, "key");
    return static_cast<int>(result.number);
}

trelk_handle trelk_mode_create(void) { return make(117, {}, Kind::Mode); }
void trelk_mode_destroy(trelk_handle mode) { destroy(118, Kind::Mode, mode); }
int trelk_mode_valid(trelk_handle mode) {
    const Result result = lib().enter(119, {mode}, Result(lib().mode_validity(mode)));
    on(Kind::Mode, mode, "mode");
    return static_cast<int>(result.number);
}
void trelk_mode_copy(trelk_handle destination, trelk_handle source) {
    record(123, {destination, source});
    lib().copy(Kind::Mode, destination, source);
}

trelk_handle trelk_palette_create(void) { return make(125, {}, Kind::Palette); }
void trelk_palette_destroy(trelk_handle palette) { destroy(126, Kind::Palette, palette); }
void trelk_palette_copy(trelk_handle destination, trelk_handle source) {
    record(132, {destination, source});
    lib().copy(Kind::Palette, destination, source);
}

trelk_handle trelk_surface_create(int width, int height, trelk_handle format) {
    const trelk_handle surface = make(134, {width, height, format}, Kind::Surface);
    on(Kind::Format, format, "format");
    return surface;
}
void trelk_surface_destroy(trelk_handle surface) { destroy(135, Kind::Surface, surface); }
FAKE_SHARED_ENTRIES(surface, surface_pixels)

int trelk_surface_width(trelk_handle surface) {
    const int result = number(150, {surface});
    on(Kind::Surface, surface, "surface");
    return result;
}
int trelk_surface_height(trelk_handle surface) {
    const int result = number(151, {surface});
    on(Kind::Surface, surface, "surface");
    return result;
}
int trelk_surface_pitch(trelk_handle surface) {
    const int result = number(152, {surface});
    on(Kind::Surface, surface, "surface");
    return result;
}
trelk_handle trelk_surface_area(trelk_handle surface) {
    return getter(153, Kind::Surface, surface, Kind::Area);
}
trelk_handle trelk_surface_clip(trelk_handle surface) {
    return getter(154, Kind::Surface, surface, Kind::Area);
}
trelk_handle trelk_surface_format(trelk_handle surface) {
    return getter(155, Kind::Surface, surface, Kind::Format);
}
int trelk_surface_option(trelk_handle surface, const char* option) {
    const int result = number(156, {surface, option});
    on(Kind::Surface, surface, "surface");
    return result;
}

trelk_handle trelk_timer_create(void) { return make(157, {}, Kind::Timer); }
void trelk_timer_destroy(trelk_handle timer) { destroy(158, Kind::Timer, timer); }
void trelk_timer_start(trelk_handle timer) {
    record(160, {timer});
    on(Kind::Timer, timer, "timer");
}
double trelk_timer_time(trelk_handle timer) {
    const double result = lib().enter(162, {timer}, Result(0.0)).real;
    on(Kind::Timer, timer, "timer");
    return result;
}

int trelk_prepare(void) { return number(167, {}); }

trelk_handle trelk_color_create(std::uint32_t argb) {
    return make(fake::color_create_entry, {argb}, Kind::Color);
}
void trelk_color_destroy(trelk_handle color) {
    destroy(fake::color_destroy_entry, Kind::Color, color);
}

}  // extern "C"
