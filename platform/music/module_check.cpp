#include "platform/music/module_check.h"

#include <algorithm>
#include <cstring>

#include "platform/music/module_reader.h"
#include "platform/music/xm_check.h"

namespace midas {
namespace {

// What a walk found: the first chunk that does not fit, and the sample bytes declared
struct Walk {
    const char* truncation = nullptr;
    uint64_t sample_bytes = 0;
};

bool digit(uint8_t c) { return c >= '0' && c <= '9'; }

// ---- MOD: 31 sample headers, the order list, a signature at 1080 naming the channels ----

constexpr uint64_t mod_header = 1084;

int mod_channels(const uint8_t* d, size_t size) {
    if (size < mod_header) return 0;
    const uint8_t* s = d + 1080;
    const auto is = [s](const char* t) { return std::memcmp(s, t, 4) == 0; };
    if (is("M.K.") || is("M!K!") || is("M&K!") || is("N.T.") || is("FLT4")) return 4;
    if (is("FLT8") || is("OCTA") || is("OKTA") || is("CD81")) return 8;
    if (digit(s[0]) && std::memcmp(s + 1, "CHN", 3) == 0) return s[0] - '0';
    if (digit(s[0]) && digit(s[1]) &&
        (std::memcmp(s + 2, "CH", 2) == 0 || std::memcmp(s + 2, "CN", 2) == 0))
        return (s[0] - '0') * 10 + (s[1] - '0');
    return 0;
}

Walk walk_mod(const uint8_t* d, size_t size) {
    Walk w;
    Reader r{d, size};
    const int channels = mod_channels(d, size);
    // The patterns the song plays: counting the orders past the song's length too could ask
    // for patterns a valid file leaves out
    uint32_t length = r.u8(950);
    if (length == 0 || length > 128) length = 128;
    uint32_t patterns = 0;
    for (uint32_t i = 0; i < length; ++i) patterns = std::max(patterns, r.u8(952 + i) + 1);
    for (int i = 0; i < 31; ++i)
        w.sample_bytes += uint64_t(r.u16_big(uint64_t(20 + 30 * i + 22))) * 2;
    const uint64_t patterns_end = mod_header + uint64_t(patterns) * 64 * uint64_t(channels) * 4;
    if (!r.ok || patterns_end > size) {
        w.truncation = "a pattern is cut short";
    } else if (patterns_end + w.sample_bytes > size) {
        w.truncation = "sample data is cut short";
    }
    return w;
}

// ---- S3M: pointers in 16-byte paragraphs to instrument headers, patterns and samples ----

Walk walk_s3m(const uint8_t* d, size_t size) {
    Walk w;
    Reader r{d, size};
    const uint32_t orders = r.u16(32), instruments = r.u16(34), patterns = r.u16(36);
    const uint64_t instrument_table = 96 + uint64_t(orders);
    const uint64_t pattern_table = instrument_table + 2 * uint64_t(instruments);
    if (!r.ok || pattern_table + 2 * uint64_t(patterns) > size)
        return w.truncation = "the song header is cut short", w;
    for (uint32_t i = 0; i < instruments; ++i) {
        const uint64_t at = uint64_t(r.u16(instrument_table + 2 * i)) * 16;
        if (at == 0) continue;
        if (at + 80 > size) return w.truncation = "an instrument header is cut short", w;
        if (r.u8(at) != 1) continue;  // 1: a sampled instrument; others hold no sample data
        const uint64_t sample = ((uint64_t(r.u8(at + 13)) << 16) | r.u16(at + 14)) * 16;
        const uint32_t flags = r.u8(at + 31);
        const uint64_t bytes = uint64_t(r.u32(at + 16)) * (flags & 4 ? 2 : 1) * (flags & 2 ? 2 : 1);
        w.sample_bytes += bytes;
        if (bytes > 0 && sample + bytes > size) return w.truncation = "sample data is cut short", w;
    }
    for (uint32_t i = 0; i < patterns; ++i) {
        const uint64_t at = uint64_t(r.u16(pattern_table + 2 * i)) * 16;
        if (at == 0) continue;
        // The packed length, counted from the pattern's start (the shorter of the two readings
        // of the field, so that no valid file is refused)
        const uint32_t packed = r.u16(at);
        if (!r.ok || at + packed > size) return w.truncation = "a pattern is cut short", w;
    }
    return w;
}

// ---- IT: 32-bit file offsets to instrument, sample and pattern headers ----

Walk walk_it(const uint8_t* d, size_t size) {
    Walk w;
    Reader r{d, size};
    const uint32_t orders = r.u16(32), instruments = r.u16(34), samples = r.u16(36),
                   patterns = r.u16(38);
    const uint64_t instrument_table = 192 + uint64_t(orders);
    const uint64_t sample_table = instrument_table + 4 * uint64_t(instruments);
    const uint64_t pattern_table = sample_table + 4 * uint64_t(samples);
    if (!r.ok || pattern_table + 4 * uint64_t(patterns) > size)
        return w.truncation = "the song header is cut short", w;
    for (uint32_t i = 0; i < instruments; ++i) {
        const uint64_t at = r.u32(instrument_table + 4 * i);
        if (at + 554 > size) return w.truncation = "an instrument header is cut short", w;
    }
    for (uint32_t i = 0; i < samples; ++i) {
        const uint64_t at = r.u32(sample_table + 4 * i);
        if (at + 80 > size) return w.truncation = "a sample header is cut short", w;
        const uint32_t flags = r.u8(at + 18);
        if (!(flags & 1)) continue;  // no sample data
        const uint64_t length = r.u32(at + 48);
        const uint64_t width = flags & 2 ? 2 : 1, channels = flags & 4 ? 2 : 1;
        uint64_t next = r.u32(at + 72);
        w.sample_bytes += length * width * channels;
        if (!(flags & 8)) {
            if (next + length * width * channels > size)
                return w.truncation = "sample data is cut short", w;
            continue;
        }
        // Compressed: blocks of a 16-bit size and that many bytes, each decoding to at most
        // 32768 8-bit or 16384 16-bit samples, one run of blocks per channel
        const uint64_t per_block = width == 2 ? 0x4000 : 0x8000;
        for (uint64_t c = 0; c < channels; ++c) {
            for (uint64_t left = length; left > 0; left -= std::min(left, per_block)) {
                const uint32_t block = r.u16(next);
                next += 2 + uint64_t(block);
                if (!r.ok || next > size) return w.truncation = "sample data is cut short", w;
            }
        }
    }
    for (uint32_t i = 0; i < patterns; ++i) {
        const uint64_t at = r.u32(pattern_table + 4 * i);
        if (at == 0) continue;  // an empty pattern
        const uint32_t packed = r.u16(at);
        if (!r.ok || at + 8 + packed > size) return w.truncation = "a pattern is cut short", w;
    }
    return w;
}

Walk walk(Format format, const uint8_t* data, size_t size) {
    switch (format) {
        case Format::mod:
            return walk_mod(data, size);
        case Format::s3m:
            return walk_s3m(data, size);
        case Format::it:
            return walk_it(data, size);
        case Format::xm:
        case Format::other:
            break;
    }
    Walk w;
    w.sample_bytes = size;
    return w;
}

}  // namespace

Format module_format(const uint8_t* data, size_t size) {
    if (!data) return Format::other;
    Reader r{data, size};
    if (looks_like_xm(data, size)) return Format::xm;
    if (r.text(0, "IMPM")) return Format::it;
    if (r.text(44, "SCRM")) return Format::s3m;
    if (mod_channels(data, size) > 0) return Format::mod;
    return Format::other;
}

const char* module_truncation(Format format, const uint8_t* data, size_t size) {
    return walk(format, data, size).truncation;
}

uint64_t declared_sample_bytes(Format format, const uint8_t* data, size_t size) {
    return walk(format, data, size).sample_bytes;
}

}  // namespace midas
