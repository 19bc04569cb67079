// Writes an extended-module (XM) file from a description in memory: song header with order
// list and restart position, packed patterns, instruments with envelopes and auto-vibrato, and
// 16-bit delta-coded samples. Only what our generator needs is modelled; every field that
// the file holds is written explicitly in little-endian order, so the output is the same bytes
// on every run and every host.
#ifndef ASSETS_XM_WRITER_H
#define ASSETS_XM_WRITER_H

#include <cstdint>
#include <string>
#include <vector>

namespace xm {

constexpr int note_off = 97;  // the key-off "note" of the format; notes are 1 (C-0) .. 96 (B-7)

// One cell of a pattern: zero fields are empty and are not written
struct Cell {
    uint8_t note = 0;        // 0 none, 1..96, or note_off
    uint8_t instrument = 0;  // 0 none, 1..128
    uint8_t volume = 0;      // volume column: 0 none, 0x10..0x50 set volume 0..64
    uint8_t effect = 0;      // effect command
    uint8_t parameter = 0;   // effect parameter
};

struct Pattern {
    int rows = 64;            // 1..256
    std::vector<Cell> cells;  // rows * channels, row-major

    Pattern(int row_count, int channel_count)
        : rows(row_count), cells(static_cast<size_t>(row_count) * channel_count) {}
    Cell& at(int row, int channel, int channel_count) {
        return cells.at(static_cast<size_t>(row) * channel_count + channel);
    }
};

struct EnvelopePoint {
    uint16_t tick = 0;   // position in ticks from the note's start
    uint16_t value = 0;  // 0..64
};

struct Envelope {
    std::vector<EnvelopePoint> points;  // at most 12; empty means no envelope
    int sustain = -1;                   // point held until key-off, -1 for none
};

enum class Loop : uint8_t { none = 0, forward = 1 };

struct Sample {
    std::string name;
    std::vector<int16_t> data;  // 16-bit signed mono
    Loop loop = Loop::none;
    uint32_t loop_start = 0;   // in sample frames
    uint32_t loop_length = 0;  // in sample frames
    uint8_t volume = 64;       // 0..64
    int8_t finetune = 0;       // 1/128 semitone
    uint8_t panning = 128;     // 0 left .. 255 right
    int8_t relative_note = 0;  // semitones added to the played note
};

struct Instrument {
    std::string name;
    Sample sample;  // one sample per instrument, played for every note
    Envelope volume_envelope;
    uint16_t fadeout = 0;  // volume decrease per tick after key-off, 0..0xfff
    uint8_t vibrato_type = 0, vibrato_sweep = 0, vibrato_depth = 0, vibrato_rate = 0;
};

struct Module {
    std::string name;
    int channels = 4;             // even, 2..32
    std::vector<uint8_t> orders;  // pattern numbers in playing order
    int restart = 0;              // order index the song loops back to
    int speed = 6;                // ticks per row
    int tempo = 125;              // beats per minute; a tick lasts 2.5 / tempo seconds
    std::vector<Pattern> patterns;
    std::vector<Instrument> instruments;
};

// The complete file. Throws std::invalid_argument for a description the format cannot hold
// (too many channels, orders or points, rows out of range, a pattern of the wrong size).
std::vector<uint8_t> write(const Module& module);

}  // namespace xm

#endif
