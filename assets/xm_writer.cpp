// Extended-module file writer. Layout of the file, all numbers little-endian:
//   song header: id text, name, 0x1a, tracker name, version 0x0104, header size 276, order
//   count, restart position, channels, patterns, instruments, flags (1 = linear frequencies),
//   speed, tempo, 256 order bytes;
//   each pattern: header size 9, packing 0, row count, packed size, packed cells;
//   each instrument: header size 263 (name, type, sample count, sample header size 40, note
//   to sample map, volume and panning envelopes, their counts and points, types, auto-vibrato,
//   fadeout, padding), then the sample header (length, loop start and length in bytes,
//   volume, finetune, type, panning, relative note, name), then the delta-coded sample data.
#include "assets/xm_writer.h"

#include <stdexcept>

namespace xm {
namespace {

class Writer {
public:
    void u8(unsigned v) { bytes.push_back(static_cast<uint8_t>(v)); }
    void u16(unsigned v) {
        u8(v & 0xff);
        u8((v >> 8) & 0xff);
    }
    void u32(uint32_t v) {
        u16(v & 0xffff);
        u16(v >> 16);
    }
    // A fixed-size text field, cut or padded with zeros
    void text(const std::string& s, size_t size, char pad = '\0') {
        for (size_t i = 0; i < size; ++i) u8(i < s.size() ? static_cast<uint8_t>(s[i]) : pad);
    }
    void zeros(size_t n) { bytes.insert(bytes.end(), n, 0); }
    size_t size() const { return bytes.size(); }
    void patch_u16(size_t at, unsigned v) {
        bytes.at(at) = static_cast<uint8_t>(v & 0xff);
        bytes.at(at + 1) = static_cast<uint8_t>((v >> 8) & 0xff);
    }

    std::vector<uint8_t> bytes;
};

void check(bool ok, const char* what) {
    if (!ok) throw std::invalid_argument(std::string("xm writer: ") + what);
}

void write_pattern(Writer& w, const Pattern& p, int channels) {
    check(p.rows >= 1 && p.rows <= 256, "a pattern has 1 to 256 rows");
    check(p.cells.size() == static_cast<size_t>(p.rows) * channels,
          "a pattern's cells do not match its rows and the channel count");
    w.u32(9);  // pattern header size
    w.u8(0);   // packing type
    w.u16(p.rows);
    const size_t size_at = w.size();
    w.u16(0);  // packed size, patched below
    const size_t start = w.size();
    for (const Cell& c : p.cells) {
        check(c.note <= note_off, "a note is 1..96 or note_off");
        const unsigned mask = (c.note ? 1 : 0) | (c.instrument ? 2 : 0) | (c.volume ? 4 : 0) |
                              (c.effect ? 8 : 0) | (c.parameter ? 16 : 0);
        if (mask == 31) {
            // A full cell is written plainly: a first byte below 0x80 is the note itself
            w.u8(c.note);
            w.u8(c.instrument);
            w.u8(c.volume);
            w.u8(c.effect);
            w.u8(c.parameter);
            continue;
        }
        w.u8(0x80 | mask);
        if (c.note) w.u8(c.note);
        if (c.instrument) w.u8(c.instrument);
        if (c.volume) w.u8(c.volume);
        if (c.effect) w.u8(c.effect);
        if (c.parameter) w.u8(c.parameter);
    }
    const size_t packed = w.size() - start;
    check(packed <= 0xffff, "a packed pattern is larger than 64 KiB");
    w.patch_u16(size_at, static_cast<unsigned>(packed));
}

void write_instrument(Writer& w, const Instrument& ins) {
    const Sample& s = ins.sample;
    const Envelope& env = ins.volume_envelope;
    check(env.points.size() <= 12, "an envelope has at most 12 points");
    check(env.sustain < static_cast<int>(env.points.size()), "sustain point out of range");
    check(s.volume <= 64, "sample volume is 0..64");
    check(s.data.size() < 0x40000000u, "sample too long");
    check(s.loop == Loop::none ||
              (s.loop_length > 0 && s.loop_start + s.loop_length <= s.data.size()),
          "sample loop outside the sample");

    const size_t start = w.size();
    w.u32(263);  // instrument header size
    w.text(ins.name, 22);
    w.u8(0);      // type
    w.u16(1);     // sample count
    w.u32(40);    // sample header size
    w.zeros(96);  // every note plays sample 0
    for (size_t i = 0; i < 12; ++i) {
        w.u16(i < env.points.size() ? env.points[i].tick : 0);
        w.u16(i < env.points.size() ? env.points[i].value : 0);
    }
    w.zeros(48);  // panning envelope points
    w.u8(static_cast<unsigned>(env.points.size()));
    w.u8(0);  // panning envelope point count
    w.u8(env.sustain >= 0 ? env.sustain : 0);
    w.u8(0);                                                          // volume loop start
    w.u8(0);                                                          // volume loop end
    w.u8(0);                                                          // panning sustain point
    w.u8(0);                                                          // panning loop start
    w.u8(0);                                                          // panning loop end
    w.u8(env.points.empty() ? 0 : (1 | (env.sustain >= 0 ? 2 : 0)));  // on, sustain
    w.u8(0);                                                          // panning envelope off
    w.u8(ins.vibrato_type);
    w.u8(ins.vibrato_sweep);
    w.u8(ins.vibrato_depth);
    w.u8(ins.vibrato_rate);
    w.u16(ins.fadeout);
    w.zeros(263 - (w.size() - start));  // reserved up to the declared header size

    // Sample header; lengths count bytes, two per 16-bit frame
    w.u32(static_cast<uint32_t>(s.data.size() * 2));
    w.u32(s.loop == Loop::none ? 0 : s.loop_start * 2);
    w.u32(s.loop == Loop::none ? 0 : s.loop_length * 2);
    w.u8(s.volume);
    w.u8(static_cast<uint8_t>(s.finetune));
    w.u8(static_cast<unsigned>(s.loop) | 0x10);  // 0x10: 16-bit data
    w.u8(s.panning);
    w.u8(static_cast<uint8_t>(s.relative_note));
    w.u8(0);  // reserved
    w.text(s.name, 22);

    // Sample data: each frame is stored as its difference from the one before
    int16_t previous = 0;
    for (int16_t v : s.data) {
        const uint16_t delta =
            static_cast<uint16_t>(static_cast<uint16_t>(v) - static_cast<uint16_t>(previous));
        w.u16(delta);
        previous = v;
    }
}

}  // namespace

std::vector<uint8_t> write(const Module& m) {
    check(m.channels >= 2 && m.channels <= 32 && m.channels % 2 == 0, "channels are 2..32, even");
    check(!m.orders.empty() && m.orders.size() <= 256, "1 to 256 orders");
    check(m.restart >= 0 && m.restart < static_cast<int>(m.orders.size()),
          "restart outside the orders");
    check(!m.patterns.empty() && m.patterns.size() <= 256, "1 to 256 patterns");
    check(m.instruments.size() <= 128, "at most 128 instruments");
    for (uint8_t o : m.orders) check(o < m.patterns.size(), "an order names a missing pattern");
    check(m.speed >= 1 && m.speed <= 31 && m.tempo >= 32 && m.tempo <= 255,
          "speed or tempo out of range");

    Writer w;
    w.text("Extended Module: ", 17);
    w.text(m.name, 20, ' ');
    w.u8(0x1a);
    w.text("trelk assets", 20, ' ');
    w.u16(0x0104);  // format version
    w.u32(276);     // header size from this field to the end of the order table
    w.u16(static_cast<unsigned>(m.orders.size()));
    w.u16(static_cast<unsigned>(m.restart));
    w.u16(static_cast<unsigned>(m.channels));
    w.u16(static_cast<unsigned>(m.patterns.size()));
    w.u16(static_cast<unsigned>(m.instruments.size()));
    w.u16(1);  // linear frequency table
    w.u16(static_cast<unsigned>(m.speed));
    w.u16(static_cast<unsigned>(m.tempo));
    for (size_t i = 0; i < 256; ++i) w.u8(i < m.orders.size() ? m.orders[i] : 0);

    for (const Pattern& p : m.patterns) write_pattern(w, p, m.channels);
    for (const Instrument& ins : m.instruments) write_instrument(w, ins);
    return std::move(w.bytes);
}

}  // namespace xm
