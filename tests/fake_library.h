// A recording test double of the display library: implements every entry of trelk/library.h
// over an in-memory model, so that the object layer's tests can check which entries it calls,
// in which order and with which arguments, and that it destroys exactly what it created.
//
// What it does:
// - records every call with its entry number and its arguments in order (strings by value);
// - returns scripted results per entry (a queue first, then a per-entry default);
// - hands out fresh, distinct handles from the create entries and keeps track of them: a test
//   can ask which handles are still alive, and destroying an unknown, library-owned or already
//   destroyed handle is recorded as a fault;
// - the getter entries (area, clip, format, palette of a surface or console; the console's mode
//   at an index) hand out fresh library-owned handles, which the layer must not destroy;
// - models just enough state to observe the layer: each object remembers the object whose value
//   it holds ("origin", moved by the four copy entries), keys hold a code and three flags,
//   errors hold a message, and the console's modes are valid or not as scripted;
// - throws trelk::DynamicError from the Nth call of an entry. Building that error calls the
//   preparation and error-create entries of this double; those two calls are recorded with
//   `internal` set, left out of calls() and entries(), and the error's handle is tracked like
//   any other (the layer must destroy it).
//
// Handles are small integers cast to pointers (0x1000 upwards), far below any address of a
// real object, so a test can tell a handed-out handle from an object's address.
#ifndef TRELK_TESTS_FAKE_LIBRARY_H
#define TRELK_TESTS_FAKE_LIBRARY_H

#include <cstdint>
#include <deque>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "trelk/library.h"

namespace fake {

// Our two colour entries have no library number; the double gives them these.
constexpr int color_create_entry = 200;
constexpr int color_destroy_entry = 201;

// One recorded argument. Integers, masks, strings, handles and pointers are different kinds,
// so a handle never compares equal to an integer or a pointer of the same bits.
struct Arg {
    enum class Kind { Int, Mask, Text, Handle, Pointer };

    Arg(int value) : kind(Kind::Int), number(value) {}
    Arg(std::uint32_t value) : kind(Kind::Mask), number(value) {}
    Arg(const char* value);
    Arg(const std::string& value) : kind(Kind::Text), text(value) {}
    Arg(trelk_handle value) : kind(Kind::Handle), pointer(value) {}
    Arg(const void* value) : kind(Kind::Pointer), pointer(value) {}

    Kind kind;
    long long number = 0;
    std::string text;
    const void* pointer = nullptr;

    trelk_handle handle() const { return static_cast<trelk_handle>(const_cast<void*>(pointer)); }
};

bool operator==(const Arg& a, const Arg& b);
inline bool operator!=(const Arg& a, const Arg& b) { return !(a == b); }
std::ostream& operator<<(std::ostream& out, const Arg& arg);

// One recorded call. Equality looks at the entry and the arguments only.
struct Call {
    int entry = 0;
    std::vector<Arg> args;
    bool internal = false;  // made by the double itself while building an error to throw
    bool threw = false;     // this call threw a scripted DynamicError

    Call() = default;
    Call(int e, std::vector<Arg> a = {}) : entry(e), args(std::move(a)) {}
};

bool operator==(const Call& a, const Call& b);
inline bool operator!=(const Call& a, const Call& b) { return !(a == b); }
std::ostream& operator<<(std::ostream& out, const Call& call);

// A scripted result: integer entries read `number`, the timer reads `real`, lock reads
// `pointer`.
struct Result {
    Result(int value) : number(value) {}
    Result(double value) : real(value) {}
    Result(void* value) : pointer(value) {}

    long long number = 0;
    double real = 0.0;
    void* pointer = nullptr;
};

struct KeyState {
    int code = 0;
    int modifier1 = 0;
    int modifier2 = 0;
    int modifier3 = 0;
};

enum class Kind { Area, Console, Error, Format, Key, Mode, Palette, Surface, Timer, Color };

class Library {
public:
    // Forgets every call, script, handle and fault.
    void reset();

    // ---- the log
    // Calls made by the layer (the double's own internal calls left out).
    std::vector<Call> calls() const;
    // Every call, internal ones included.
    const std::vector<Call>& all_calls() const { return calls_; }
    // The entry numbers of calls(), in order.
    std::vector<int> entries() const;
    // Calls (not internal) with this entry number.
    std::vector<Call> calls_of(int entry) const;
    // Drops the log so far (handles and scripts stay).
    void clear_log() { calls_.clear(); }
    // The number of calls() so far: a mark to take calls_since(mark) from.
    std::size_t mark() const;
    std::vector<Call> calls_since(std::size_t mark) const;
    std::vector<int> entries_since(std::size_t mark) const;

    // ---- scripts
    void push_result(int entry, Result result) { queues_[entry].push_back(result); }
    void set_default(int entry, Result result) { defaults_.insert_or_assign(entry, result); }
    // The Nth call (1 = the next one) of `entry` from now on throws DynamicError(message).
    void fail_on(int entry, int nth, const std::string& message);
    // The key values that the read entry (45) writes into the key it is given, one per read;
    // when none is queued it writes code 0 and no flags.
    void push_read_key(KeyState key) { read_keys_.push_back(key); }
    // Sets the values a key handle reports through the key accessors (110 to 113).
    void set_key(trelk_handle key, KeyState state);
    // The validity (entry 119) of the console's modes 0, 1, ...: modes past the end of the
    // list answer 0. Mode handles of our own answer as the mode they hold a copy of, and 0
    // when they hold none.
    void set_mode_validity(std::vector<int> answers) { mode_validity_ = std::move(answers); }

    // ---- handles and model state
    // Handles created by a create entry and not yet destroyed, in creation order.
    std::vector<trelk_handle> live() const;
    // Handles created by create entries since reset(), in creation order.
    const std::vector<trelk_handle>& created() const { return created_; }
    // Everything that went wrong: bad destroys, use of dead handles, unknown handles.
    const std::vector<std::string>& faults() const { return faults_; }
    bool known(trelk_handle handle) const { return objects_.count(handle) != 0; }
    bool owned(trelk_handle handle) const;  // made by a create entry (not library-owned)
    Kind kind(trelk_handle handle) const;
    // The object whose value this one holds: itself until a copy entry copies into it.
    trelk_handle origin(trelk_handle handle) const;
    // The index of a library mode handed out by entry 34 (-1 for any other handle).
    int mode_index(trelk_handle handle) const;
    // What entry 119 would answer for this mode handle, without recording a call.
    int mode_validity(trelk_handle handle) const;
    std::string message(trelk_handle error) const;
    KeyState key(trelk_handle key) const;
    // The handle of the last DynamicError this double threw.
    trelk_handle last_thrown() const { return last_thrown_; }

    // ---- used by the entries (not by tests)
    struct Object {
        Kind kind = Kind::Area;
        bool owned = true;  // false: a library-owned handle from a getter
        bool alive = true;
        trelk_handle origin = nullptr;
        int mode_index = -1;
        KeyState key;
        std::string message;
    };

    // Records the call, throws if one is scripted; returns the call's result script.
    Result enter(int entry, std::vector<Arg> args, const Result& fallback);
    trelk_handle create(Kind kind);
    trelk_handle library_owned(Kind kind, int mode_index = -1);
    void destroy(Kind kind, trelk_handle handle);
    // Records a fault unless the handle is a live object of this kind.
    void use(Kind kind, trelk_handle handle, const char* what);
    void copy(Kind kind, trelk_handle destination, trelk_handle source);
    Object* find(trelk_handle handle);
    void fill_read_key(trelk_handle key);

private:
    struct Failure {
        int entry;
        int remaining;
        std::string message;
    };

    std::vector<Call> calls_;
    std::map<int, std::deque<Result>> queues_;
    std::map<int, Result> defaults_;
    std::vector<Failure> failures_;
    std::deque<KeyState> read_keys_;
    std::vector<int> mode_validity_;
    std::map<trelk_handle, Object> objects_;
    std::vector<trelk_handle> created_;
    std::vector<std::string> faults_;
    std::uintptr_t next_handle_ = 0x1000;
    int internal_ = 0;  // > 0 while the double builds an error to throw
    trelk_handle last_thrown_ = nullptr;
};

// The one instance every entry records into.
Library& library();

}  // namespace fake

#endif
