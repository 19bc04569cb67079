// A reader that turns the fuzzer's bytes into parameters: little-endian integers and choices
// from tables, then the rest as a byte string. It never reads past the end: an exhausted input
// reads as zeros, so every prefix of a corpus file is still a valid input.
#ifndef FUZZ_FUZZ_INPUT_H
#define FUZZ_FUZZ_INPUT_H

#include <climits>
#include <cstddef>
#include <cstdint>

class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool empty() const { return at_ >= size_; }
    std::size_t remaining() const { return at_ < size_ ? size_ - at_ : 0; }

    std::uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    std::uint32_t u16() { return byte() | std::uint32_t(byte()) << 8; }
    std::uint32_t u32() { return u16() | u16() << 16; }

    // One of count table entries
    template <class T, std::size_t N>
    T pick(const T (&table)[N]) {
        return table[byte() % N];
    }

    // A value that fuzzing finds interesting at the edges: small numbers around zero most of
    // the time, else the limits of int and of the library's dimensions, else any 32 bits
    int edgy() {
        static const int edges[] = {
            0,     1,     -1,     2,       16383,   16384,       16385,       32767,   32768,
            32769, 65536, -16384, INT_MAX, INT_MIN, INT_MAX - 1, INT_MIN + 1, 1 << 30, -(1 << 30)};
        const std::uint8_t how = byte();
        if (how < 160) return int(byte()) - 64;  // -64 .. 191
        if (how < 224) return pick(edges);
        return int(u32());
    }

    // The bytes that are left
    const std::uint8_t* rest() const { return data_ + (at_ < size_ ? at_ : size_); }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

#endif
