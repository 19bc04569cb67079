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
// Checking is a bounds check and one compare with the value the slot stores (a free slot stores
// a value that no handle of its own index has). Each kind has its own table of slots holding
// the object by value (small trivially copyable values) or as an owned pointer (surfaces,
// consoles, errors). Freed slots are reused, so the per-frame create and destroy of an area
// allocates nothing once the table has grown. Single-threaded, like the object layer.
#ifndef PLATFORM_DISPLAY_REGISTRY_H
#define PLATFORM_DISPLAY_REGISTRY_H

#include <cstdint>
#include <cstdlib>
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

// Throws trelk::DynamicError with a printf-style message
#if defined(__GNUC__)
[[noreturn]] void fail(const char* format, ...) __attribute__((format(printf, 1, 2)));
#else
[[noreturn]] void fail(const char* format, ...);
#endif
// Throws the clearest DynamicError for a handle that is not a live object of this kind
[[noreturn]] void invalid_handle(trelk_handle handle, Kind expected);

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

// Live objects of all kinds, by owner; kept by the tables
extern int live_by_caller;
extern int live_by_library;

template <class T>
class Pool {
    static_assert(std::is_trivially_copyable<T>::value, "slots hold plain values");

public:
    constexpr explicit Pool(Kind kind) : kind_(kind) {}

    // The object of a live handle of this kind, or null
    T* find(trelk_handle handle) const noexcept {
        const HandleValue bits = handle_bits(handle);
        const std::uint32_t index = Handles::index(bits);
        if (index < size_ && slots_[index].handle == bits) return &slots_[index].value;
        return nullptr;
    }

    // The object of a live handle of this kind; throws for anything else
    T& get(trelk_handle handle) const {
        T* value = find(handle);
        if (!value) invalid_handle(handle, kind_);
        return *value;
    }

    Owner owner(trelk_handle handle) const {
        get(handle);
        return slots_[Handles::index(handle_bits(handle))].owner;
    }

    // Stores a value and hands out its new handle; throws when memory or slots run out
    trelk_handle add(const T& value, Owner owner) {
        std::uint32_t index;
        if (free_ != none) {
            index = free_;
            free_ = slots_[index].next_free;
        } else {
            if (size_ == capacity_) grow();
            index = size_++;
            slots_[index].generation = 1;
        }
        Slot& slot = slots_[index];
        slot.handle = Handles::make(slot.generation, index, kind_);
        slot.owner = owner;
        slot.value = value;
        (owner == Owner::caller ? live_by_caller : live_by_library) += 1;
        return reinterpret_cast<trelk_handle>(slot.handle);
    }

    // Frees the slot of a live handle and gives back its value (the caller frees what it owns)
    T remove(trelk_handle handle) {
        get(handle);
        const std::uint32_t index = Handles::index(handle_bits(handle));
        Slot& slot = slots_[index];
        const T value = slot.value;
        (slot.owner == Owner::caller ? live_by_caller : live_by_library) -= 1;
        slot.handle = Handles::dead(index);
        slot.generation = Handles::next_generation(slot.generation);
        slot.next_free = free_;
        free_ = index;
        return value;
    }

private:
    struct Slot {
        HandleValue handle;
        std::uint32_t generation;
        std::uint32_t next_free;
        Owner owner;
        T value;
    };
    static constexpr std::uint32_t none = 0xffffffffu;

    void grow() {
        if (capacity_ >= max_slots) fail("too many live %s objects", kind_name(kind_));
        const std::uint32_t capacity = capacity_ ? capacity_ * 2 : 64;
        void* grown = std::realloc(static_cast<void*>(slots_), sizeof(Slot) * capacity);
        if (!grown) fail("out of memory for %u %s objects", capacity, kind_name(kind_));
        slots_ = static_cast<Slot*>(grown);
        capacity_ = capacity;
    }

    // Constant-initialised and never destroyed: entries called from other static objects'
    // constructors or destructors still find their tables
    Slot* slots_ = nullptr;
    std::uint32_t size_ = 0;
    std::uint32_t capacity_ = 0;
    std::uint32_t free_ = none;
    Kind kind_;
};

}  // namespace display

#endif
