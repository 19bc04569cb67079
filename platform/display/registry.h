// Handles and the tables of live objects.
//
// A handle is not a pointer: it encodes where the object lives and when it was made, so every
// entry can check any value it is given, a null, a destroyed object's handle, another kind's
// handle or the address of some C++ object, without reading memory it does not own:
//
//   bits 63..48  0x7E1C, a tag no user-space address has (they have 0x0000 there)
//   bits 47..24  generation of the slot, bumped when its object is destroyed (1 .. 2^24-1)
//   bits 23..4   slot index in the table of that kind
//   bits  3..0   kind
//
// With 4-byte pointers (WebAssembly) a handle has 32 bits: no tag, and the generation is bits
// 31..24 (1 .. 255). A stale handle is then caught until its slot has been reused 255 times,
// and any other value only by the compare with the slot, which is still exact. Both layouts
// are HandleLayout below; the one of the build's pointers is used, and tests check both.
//
// Checking is finding the slot of the handle's index and one compare with the value the slot
// stores (a free slot stores a value that no handle of its own index has). Each kind has its own
// table of slots holding the object by value (small trivially copyable values) or as an owned
// pointer (surfaces, consoles, errors). Freed slots are reused, so the per-frame create and
// destroy of an area allocates nothing once the table has grown.
//
// Threads: adding and removing take one lock shared by every table; finding takes none. A
// table grows by adding a block of slots (each twice the one before) and never moves the
// blocks it has, so a thread looking up its own objects never reads memory that another
// thread's create or destroy is changing or freeing. Slots hold their handle and block pointers are
// pointers, a type that no integer store (a program's pixel, a lock count) can alias: a loop of
// lock, width, store, unlock keeps them in registers.
#ifndef PLATFORM_DISPLAY_REGISTRY_H
#define PLATFORM_DISPLAY_REGISTRY_H

#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <type_traits>

#include "trelk/library.h"

namespace display {

static_assert(sizeof(void*) == 8 || sizeof(void*) == 4, "handles are 64 or 32 bits");

enum class Kind : std::uint32_t {
    none = 0,
    area,
    color,
    error,
    format,
    key,
    mode,
    palette,
    timer,
    surface,
    console,
};

const char* kind_name(Kind kind);

// The failures below are cold: the compiler lays out and inlines every entry for the path on
// which its checks pass (without, it guessed a handle check as likely to fail as to pass, and a
// per-pixel entry's call could count as unlikely, too unlikely to inline)
#if defined(__GNUC__)
#define DISPLAY_COLD __attribute__((cold))
#else
#define DISPLAY_COLD
#endif

// Throws trelk::DynamicError with a printf-style message
#if defined(__GNUC__)
[[noreturn]] DISPLAY_COLD void fail(const char* format, ...) __attribute__((format(printf, 1, 2)));
#else
[[noreturn]] void fail(const char* format, ...);
#endif
// Throws the clearest DynamicError for a handle that is not a live object of this kind
[[noreturn]] DISPLAY_COLD void invalid_handle(trelk_handle handle, Kind expected);
// Throws for a caller's destroy of an object that the library hands out
[[noreturn]] DISPLAY_COLD void refuse_library_object(trelk_handle handle, Kind kind);
// The same for a handle that may be of either kind: named as the one it claims to be
[[noreturn]] DISPLAY_COLD void invalid_handle_of_either(trelk_handle handle, Kind expected,
                                                        Kind other);

// Who destroys an object: the caller (made by a create entry) or the library (a getter's)
enum class Owner : std::uint32_t { caller, library };

// The fields of a handle for pointers of Bits bits (64 or 32; see the table above)
template <unsigned Bits>
struct HandleLayout;
template <>
struct HandleLayout<64> {
    using Value = std::uint64_t;
    static constexpr Value tag = 0x7E1Cull << 48, tag_mask = 0xffffull << 48;
    static constexpr unsigned generation_shift = 24, generation_bits = 24, index_bits = 20;
};
template <>
struct HandleLayout<32> {  // no tag
    using Value = std::uint32_t;
    static constexpr Value tag = 0, tag_mask = 0;
    static constexpr unsigned generation_shift = 24, generation_bits = 8, index_bits = 20;
};

// Making and reading handles of one layout; only the registry and its tests decode them
template <class Layout>
struct HandleBits {
    using Value = typename Layout::Value;
    static constexpr std::uint32_t max_slots = 1u << Layout::index_bits;
    static constexpr std::uint32_t max_generation = (1u << Layout::generation_bits) - 1;

    static constexpr Value make(std::uint32_t generation, std::uint32_t index, Kind kind) {
        return Layout::tag | Value(generation) << Layout::generation_shift | Value(index) << 4 |
               Value(kind);
    }
    static constexpr std::uint32_t index(Value bits) {
        return std::uint32_t(bits >> 4) & (max_slots - 1);
    }
    static constexpr Kind kind(Value bits) { return Kind(bits & 15); }
    static constexpr bool tagged(Value bits) { return (bits & Layout::tag_mask) == Layout::tag; }
    // Index bits one past the slot's own and no tag: equal to no handle that selects this slot
    static constexpr Value dead(std::uint32_t index) {
        return Value((index + 1) & (max_slots - 1)) << 4;
    }
    static constexpr std::uint32_t next_generation(std::uint32_t generation) {
        return generation == max_generation ? 1 : generation + 1;
    }
};

using Handles = HandleBits<HandleLayout<sizeof(std::uintptr_t) * 8>>;
using HandleValue = Handles::Value;
constexpr std::uint32_t max_slots = Handles::max_slots;

inline HandleValue handle_bits(trelk_handle handle) {
    return HandleValue(reinterpret_cast<std::uintptr_t>(handle));
}
inline trelk_handle as_handle(HandleValue bits) {
    return reinterpret_cast<trelk_handle>(std::uintptr_t(bits));
}

// Live objects of all kinds, by owner; kept by the tables under registry_lock
extern int live_by_caller;
extern int live_by_library;

// Held while any table adds or removes a slot
extern std::mutex registry_lock;

// Blocks of slots: block k holds first_block << k slots, so max_slots need block_count blocks
constexpr std::uint32_t first_block_bits = 6, first_block = 1u << first_block_bits;
constexpr std::uint32_t block_count = 15;
static_assert((std::uint64_t(first_block) << block_count) - first_block >= max_slots,
              "the blocks hold every index");

// Finding a handle is a few instructions that every entry runs: always inlined where the
// compiler can be told, so the per-pixel entries cost no call
#if defined(__GNUC__)
#define DISPLAY_ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define DISPLAY_ALWAYS_INLINE inline
#endif

// Which block holds a slot index, and where in it
DISPLAY_ALWAYS_INLINE std::uint32_t block_of(std::uint32_t index) {
    const std::uint32_t shifted = index + first_block;
#if defined(__GNUC__)
    const std::uint32_t top_bit = 31u - std::uint32_t(__builtin_clz(shifted));
#else
    std::uint32_t top_bit = 0;
    while (shifted >> (top_bit + 1)) ++top_bit;
#endif
    return top_bit - first_block_bits;
}
DISPLAY_ALWAYS_INLINE std::uint32_t offset_in_block(std::uint32_t index, std::uint32_t block) {
    return index + first_block - (first_block << block);
}

// The first block of a table, kept inside it (zeroed, static) so that its first objects need
// no memory
template <class Slot, bool kept>
struct KeptBlock {
    Slot slots[first_block] = {};
    Slot* first() { return slots; }
};
template <class Slot>
struct KeptBlock<Slot, false> {
    Slot* first() { return nullptr; }
};

// A table of one kind. With keeps_first_block its first block is part of the table rather than
// allocated: the errors' table keeps it, as an error must be made also when memory has run out.
template <class T, bool keeps_first_block = false>
class Pool {
    static_assert(std::is_trivially_copyable<T>::value, "slots hold plain values");

public:
    constexpr explicit Pool(Kind kind) : kind_(kind) {}

    // The object of a live handle of this kind, or null
    DISPLAY_ALWAYS_INLINE T* find(trelk_handle handle) const noexcept {
        const HandleValue bits = handle_bits(handle);
        Slot* slot = slot_at(Handles::index(bits));
        if (slot && slot->handle == handle) return &slot->value;
        return nullptr;
    }

    // The object of a live handle of this kind; throws for anything else
    DISPLAY_ALWAYS_INLINE T& get(trelk_handle handle) const {
        T* value = find(handle);
        if (!value) invalid_handle(handle, kind_);
        return *value;
    }

    // Throws unless the handle is a live object of this kind
    void check(trelk_handle handle) const {
        if (!find(handle)) invalid_handle(handle, kind_);
    }

    // Stores a value and hands out its new handle; throws when memory or slots run out
    trelk_handle add(const T& value, Owner owner) {
        std::uint32_t wanted = 0;
        {
            std::lock_guard<std::mutex> hold(registry_lock);
            if (Slot* slot = take_slot(&wanted)) {
                slot->owner = owner;
                slot->value = value;
                (owner == Owner::caller ? live_by_caller : live_by_library) += 1;
                return slot->handle;
            }
        }
        // Reported outside the lock: making the error takes a slot of the error table
        if (!wanted) fail("too many live %s objects", kind_name(kind_));
        fail("out of memory for %u %s objects", wanted, kind_name(kind_));
    }

    // Frees the slot of a live handle and gives back its value (the caller frees what it
    // owns). With Owner::caller as what it may free, an object of the library's is refused.
    T remove(trelk_handle handle, Owner may_free = Owner::library) {
        bool refused = false;
        {
            std::lock_guard<std::mutex> hold(registry_lock);
            const HandleValue bits = handle_bits(handle);
            const std::uint32_t index = Handles::index(bits);
            Slot* slot = slot_at(index);
            if (slot && slot->handle == handle) {
                refused = may_free == Owner::caller && slot->owner == Owner::library;
                if (!refused) {
                    const T value = slot->value;
                    (slot->owner == Owner::caller ? live_by_caller : live_by_library) -= 1;
                    slot->handle = as_handle(Handles::dead(index));
                    slot->generation = Handles::next_generation(slot->generation);
                    slot->next_free = free_;
                    free_ = index;
                    return value;
                }
            }
        }
        if (refused) refuse_library_object(handle, kind_);
        invalid_handle(handle, kind_);
    }

private:
    struct Slot {
        // The handle itself, as the pointer type it is handed out as: no integer store, neither
        // a program's pixel nor the canvases' lock counters, can alias it, so a loop of lock,
        // width, store, unlock checks it against a register. (As a 64-bit integer it was read
        // again after every change of a lock count: the link-time optimiser takes integers of
        // one size for one type.)
        trelk_handle handle;
        std::uint32_t generation;
        std::uint32_t next_free;
        Owner owner;
        T value;
    };
    static constexpr std::uint32_t none = 0xffffffffu;

    DISPLAY_ALWAYS_INLINE Slot* slot_at(std::uint32_t index) const noexcept {
        const std::uint32_t block = block_of(index);
        Slot* slots = blocks_[block];
        return slots ? slots + offset_in_block(index, block) : nullptr;
    }

    // A free slot with its new handle, under the lock; null when the table is full, or when
    // memory ran out for the *wanted slots of a new block
    Slot* take_slot(std::uint32_t* wanted) {
        std::uint32_t index;
        if (free_ != none) {
            index = free_;
            free_ = slot_at(index)->next_free;
        } else {
            if (size_ == max_slots) return nullptr;
            index = size_;
            const std::uint32_t block = block_of(index);
            if (!blocks_[block]) {
                void* slots = block == 0 && kept_.first()
                                  ? kept_.first()
                                  : std::calloc(first_block << block, sizeof(Slot));
                if (!slots) {
                    *wanted = first_block << block;
                    return nullptr;
                }
                // Free slots store a value no handle of their index has
                for (std::uint32_t i = 0; i < (first_block << block); ++i)
                    static_cast<Slot*>(slots)[i].handle = as_handle(Handles::dead(index + i));
                blocks_[block] = static_cast<Slot*>(slots);
            }
            ++size_;
            slot_at(index)->generation = 1;
        }
        Slot* slot = slot_at(index);
        slot->handle = as_handle(Handles::make(slot->generation, index, kind_));
        return slot;
    }

    // Constant-initialised and never destroyed: entries called from other static objects'
    // constructors or destructors still find their tables. Blocks are only ever added.
    Slot* blocks_[block_count] = {};
    KeptBlock<Slot, keeps_first_block> kept_;
    std::uint32_t size_ = 0;  // slots ever used; under the lock
    std::uint32_t free_ = none;
    Kind kind_;
};

}  // namespace display

#endif
