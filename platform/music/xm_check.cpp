#include "platform/music/xm_check.h"

#include <cstring>

#include "platform/music/module_reader.h"

namespace midas {
namespace {

constexpr char xm_id[] = "Extended Module: ";
constexpr size_t xm_id_size = sizeof(xm_id) - 1;

}  // namespace

bool looks_like_xm(const uint8_t* data, size_t size) {
    return data && size >= xm_id_size && std::memcmp(data, xm_id, xm_id_size) == 0;
}

const char* xm_truncation(const uint8_t* data, size_t size) {
    Reader r{data, size};
    // Song header: its size field at 60 counts from itself to the end of the order table
    const uint32_t header_size = r.u32(60);
    const uint32_t patterns = r.u16(70);
    const uint32_t instruments = r.u16(72);
    if (!r.ok) return "the song header is cut short";
    // 64-bit offsets: sums of 32-bit sizes cannot wrap
    uint64_t at = 60 + uint64_t(header_size);
    if (at > size) return "the song header is cut short";

    for (uint32_t p = 0; p < patterns; ++p) {
        // Pattern header: its own size, packing type, row count, packed data size
        const uint32_t pattern_header = r.u32(at);
        const uint32_t packed = r.u16(at + 7);
        if (!r.ok || pattern_header < 9) return "a pattern header is cut short";
        at += uint64_t(pattern_header) + packed;
        if (at > size) return "a pattern is cut short";
    }

    for (uint32_t i = 0; i < instruments; ++i) {
        // Instrument header: its size, name, type, sample count, then (with samples) the
        // size of each sample header
        const uint32_t instrument_header = r.u32(at);
        if (!r.ok) return "an instrument header is cut short";
        uint32_t samples = 0, sample_header = 0;
        if (instrument_header >= 29) samples = r.u16(at + 27);
        if (samples > 0) sample_header = r.u32(at + 29);
        if (!r.ok) return "an instrument header is cut short";
        at += instrument_header;
        if (at > size) return "an instrument header is cut short";

        uint64_t sample_bytes = 0;
        for (uint32_t s = 0; s < samples; ++s) {
            sample_bytes += r.u32(at);  // sample length in bytes
            if (!r.ok) return "a sample header is cut short";
            at += sample_header;
            if (at > size) return "a sample header is cut short";
        }
        at += sample_bytes;
        if (at > size) return "sample data is cut short";
    }
    return nullptr;
}

}  // namespace midas
