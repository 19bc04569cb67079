// Our module's instruments and score. Pitched samples are a whole number of waveform cycles of
// 128 frames at the synthesis rate, looped, so C-4 sounds at 33452 / 128 = 261.3 Hz; the
// finetune of +2 (1/128 semitones) brings that to within a cent of middle C. Drum samples are
// one-shots whose decay is in the sample itself. Pitched instruments get their shape from
// volume envelopes held at a sustain point until key-off, then faded out.
#include "assets/song.h"

#include <cmath>
#include <stdexcept>
#include <string>

namespace song {
namespace {

constexpr double pi = 3.14159265358979323846;
constexpr int cycle = 128;  // frames per waveform cycle of a pitched sample

// Scales a rendered waveform to 16 bits with its peak at 80 % of full scale
std::vector<int16_t> to_pcm(const std::vector<double>& wave) {
    double peak = 1e-9;
    for (double v : wave) peak = std::max(peak, std::fabs(v));
    std::vector<int16_t> out(wave.size());
    for (size_t i = 0; i < wave.size(); ++i)
        out[i] = static_cast<int16_t>(std::lround(wave[i] / peak * 0.8 * 32767.0));
    return out;
}

// Additive waveform: `cycles` periods in `frames` frames, harmonic n weighted by weight(n)
template <typename Weight>
std::vector<double> additive(int frames, int cycles, int harmonics, Weight weight) {
    std::vector<double> wave(frames, 0.0);
    for (int n = 1; n <= harmonics; ++n) {
        const double w = weight(n);
        if (w == 0.0) continue;
        for (int i = 0; i < frames; ++i)
            wave[i] += w * std::sin(2.0 * pi * n * cycles * i / frames);
    }
    return wave;
}

// Noise from a fixed linear congruential sequence, -1..1
class Noise {
public:
    double next() {
        state = state * 1664525u + 1013904223u;
        return static_cast<double>(state >> 8) / 8388608.0 - 1.0;
    }

private:
    uint32_t state = 0x1234567u;
};

xm::Sample looped(const char* name, std::vector<double> wave, uint8_t panning) {
    xm::Sample s;
    s.name = name;
    s.data = to_pcm(wave);
    s.loop = xm::Loop::forward;
    s.loop_start = 0;
    s.loop_length = static_cast<uint32_t>(s.data.size());
    s.relative_note = 24;
    s.finetune = 2;
    s.panning = panning;
    return s;
}

xm::Sample one_shot(const char* name, std::vector<double> wave, uint8_t panning) {
    xm::Sample s;
    s.name = name;
    s.data = to_pcm(wave);
    s.relative_note = 24;  // played at C-4 the sample runs at its synthesis rate
    s.panning = panning;
    return s;
}

xm::Instrument kick() {
    const int n = sample_rate * 35 / 100;
    std::vector<double> w(n);
    double phase = 0.0;
    for (int i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / sample_rate;
        const double freq = 45.0 + 110.0 * std::exp(-t / 0.04);  // the pitch drop of a kick
        phase += 2.0 * pi * freq / sample_rate;
        const double attack = std::min(1.0, t / 0.002);
        w[i] = std::sin(phase) * std::exp(-t / 0.12) * attack;
    }
    return {"kick", one_shot("kick", w, 128), {}, 0, 0, 0, 0, 0};
}

xm::Instrument snare() {
    const int n = sample_rate * 30 / 100;
    std::vector<double> w(n);
    Noise noise;
    double low = 0.0;
    for (int i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / sample_rate;
        low += 0.5 * (noise.next() - low);  // soften the noise a little
        const double tone = 0.6 * std::sin(2.0 * pi * 185.0 * t) * std::exp(-t / 0.05);
        w[i] = tone + low * std::exp(-t / 0.08);
    }
    return {"snare", one_shot("snare", w, 116), {}, 0, 0, 0, 0, 0};
}

xm::Instrument hihat() {
    const int n = sample_rate * 12 / 100;
    std::vector<double> w(n);
    Noise noise;
    double previous = 0.0;
    for (int i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / sample_rate;
        const double v = noise.next();
        w[i] = (v - previous) * std::exp(-t / 0.022);  // a difference keeps only the hiss
        previous = v;
    }
    return {"hihat", one_shot("hihat", w, 164), {}, 0, 0, 0, 0, 0};
}

xm::Instrument bass() {
    // A saw with its upper harmonics rolled off: round but still buzzing
    auto w = additive(4 * cycle, 4, 12, [](int n) { return std::exp(-(n - 1) / 4.0) / n; });
    xm::Instrument ins{"bass", looped("bass", w, 128), {}, 0x500, 0, 0, 0, 0};
    ins.volume_envelope = {{{0, 0}, {2, 64}, {10, 46}, {30, 38}}, 3};
    return ins;
}

xm::Instrument lead() {
    // A square-ish tone (odd harmonics) with a touch of the octave, and a delayed vibrato
    auto w = additive(4 * cycle, 4, 15, [](int n) {
        if (n == 2) return 0.15;
        return n % 2 ? 1.0 / n : 0.0;
    });
    xm::Instrument ins{"lead", looped("lead", w, 112), {}, 0x280, 0, 40, 5, 9};
    ins.volume_envelope = {{{0, 0}, {3, 64}, {16, 50}, {40, 42}}, 3};
    return ins;
}

xm::Instrument pad() {
    // Three saws of 127, 128 and 129 cycles in one loop: a slow chorus beating ~13 cents apart
    const int frames = 128 * cycle;
    std::vector<double> w(frames, 0.0);
    for (int cycles : {127, 128, 129}) {
        auto voice = additive(frames, cycles, 8, [](int n) { return 1.0 / (n * std::sqrt(n)); });
        for (int i = 0; i < frames; ++i) w[i] += voice[i];
    }
    xm::Instrument ins{"pad", looped("pad", w, 128), {}, 0x0c0, 0, 0, 0, 0};
    ins.volume_envelope = {{{0, 0}, {36, 56}, {70, 48}}, 2};
    return ins;
}

xm::Instrument bell() {
    // A soft bell: sine with a few quiet overtones, dying away on its own
    auto w = additive(4 * cycle, 4, 4, [](int n) {
        static const double weights[] = {0.0, 1.0, 0.35, 0.12, 0.08};
        return weights[n];
    });
    xm::Instrument ins{"bell", looped("bell", w, 172), {}, 0x400, 0, 0, 0, 0};
    ins.volume_envelope = {{{0, 64}, {6, 42}, {30, 18}, {90, 4}, {140, 0}}, -1};
    return ins;
}

// Instrument numbers as the patterns use them (1-based)
enum : uint8_t { KICK = 1, SNARE, HIHAT, BASS, LEAD, PAD, BELL };
// Channels
enum { CH_KICK = 0, CH_SNARE, CH_HAT, CH_BASS, CH_TOP, CH_PAD };

// "A-4", "C#5", "G5" style names to note numbers (1 = C-0)
uint8_t note(const std::string& name) {
    static const int semis[] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
    if (name.size() < 2 || name[0] < 'A' || name[0] > 'G')
        throw std::invalid_argument("note " + name);
    int semitone = semis[name[0] - 'A'];
    size_t i = 1;
    if (name[i] == '#') semitone += 1, ++i;
    if (name[i] == '-') ++i;
    if (i >= name.size()) throw std::invalid_argument("note " + name);
    const int octave = name[i] - '0';
    return static_cast<uint8_t>(1 + octave * 12 + semitone);
}

uint8_t vol(int v) { return static_cast<uint8_t>(0x10 + v); }

struct Chord {
    const char* bass;       // root in octave 2
    const char* fifth;      // bass's fifth, for the walking figure
    const char* voices[3];  // pad voicing
    const char* arp[4];     // bell arpeggio
};

const Chord Am = {"A-2", "E-2", {"A-3", "C-4", "E-4"}, {"A-4", "C-5", "E-5", "C-5"}};
const Chord F = {"F-2", "C-3", {"A-3", "C-4", "F-4"}, {"F-4", "A-4", "C-5", "A-4"}};
const Chord C = {"C-3", "G-2", {"G-3", "C-4", "E-4"}, {"G-4", "C-5", "E-5", "C-5"}};
const Chord G = {"G-2", "D-3", {"G-3", "B-3", "D-4"}, {"G-4", "B-4", "D-5", "B-4"}};
const Chord E = {"E-2", "B-2", {"G#3", "B-3", "E-4"}, {"E-4", "G#4", "B-4", "G#4"}};

class Score {
public:
    explicit Score(xm::Pattern& p) : pattern(p) {}
    xm::Cell& at(int row, int channel) { return pattern.at(row, channel, channels); }
    void put(int row, int channel, uint8_t n, uint8_t instrument, int volume) {
        xm::Cell& c = at(row, channel);
        c.note = n;
        c.instrument = instrument;
        c.volume = vol(volume);
    }

    // Chord i (0..3) covers rows 16 i .. 16 i + 15
    void pads(const Chord* chords, int volume) {
        for (int i = 0; i < 4; ++i)
            for (int v = 0; v < 3; ++v)
                put(16 * i, CH_PAD + v, note(chords[i].voices[v]), PAD, volume);
    }
    void held_bass(const Chord* chords) {
        for (int i = 0; i < 4; ++i) put(16 * i, CH_BASS, note(chords[i].bass), BASS, 44);
    }
    void walking_bass(const Chord* chords) {
        for (int i = 0; i < 4; ++i) {
            const uint8_t root = note(chords[i].bass);
            const uint8_t figure[8] = {root,
                                       root,
                                       static_cast<uint8_t>(root + 12),
                                       root,
                                       root,
                                       note(chords[i].fifth),
                                       static_cast<uint8_t>(root + 12),
                                       note(chords[i].fifth)};
            for (int k = 0; k < 8; ++k)
                put(16 * i + 2 * k, CH_BASS, figure[k], BASS, k % 2 ? 36 : 48);
            at(16 * i + 3, CH_BASS).note = xm::note_off;  // short notes give the groove air
            at(16 * i + 11, CH_BASS).note = xm::note_off;
        }
    }
    void arpeggio(const Chord* chords, int volume) {
        for (int i = 0; i < 4; ++i)
            for (int k = 0; k < 8; ++k)
                put(16 * i + 2 * k, CH_TOP, note(chords[i].arp[k % 4]) + (k >= 4 ? 12 : 0), BELL,
                    k % 4 == 0 ? volume : volume * 3 / 4);
    }
    void hats(int step, int volume) {
        for (int r = 0; r < rows; r += step)
            put(r, CH_HAT, note("C-4"), HIHAT, r % 4 ? volume : volume * 2 / 3);
    }
    void beat(bool with_snare, bool syncopated) {
        for (int bar = 0; bar < 4; ++bar) {
            put(16 * bar, CH_KICK, note("C-4"), KICK, 64);
            put(16 * bar + 8, CH_KICK, note("C-4"), KICK, 60);
            if (syncopated && bar % 2) put(16 * bar + 10, CH_KICK, note("C-4"), KICK, 44);
            if (with_snare) {
                put(16 * bar + 4, CH_SNARE, note("C-4"), SNARE, 48);
                put(16 * bar + 12, CH_SNARE, note("C-4"), SNARE, 48);
            }
        }
    }
    void fill() {
        const int fill_rows[] = {56, 58, 60, 61, 62, 63};
        int volume = 28;
        for (int r : fill_rows) put(r, CH_SNARE, note("C-4"), SNARE, volume += 6);
    }
    // A melody in eighth notes: one token per two rows; "-" holds, "^" releases the note
    void melody(const char* tokens, int volume) {
        int row = 0;
        std::string t;
        const std::string text = tokens;
        for (size_t i = 0; i <= text.size(); ++i) {
            if (i < text.size() && text[i] != ' ') {
                t += text[i];
                continue;
            }
            if (t.empty()) continue;
            if (row >= rows) throw std::invalid_argument("melody longer than a pattern");
            if (t == "^")
                at(row, CH_TOP).note = xm::note_off;
            else if (t != "-")
                put(row, CH_TOP, note(t), LEAD, volume);
            row += 2;
            t.clear();
        }
    }

private:
    xm::Pattern& pattern;
};

const Chord verse[4] = {Am, F, C, G};
const Chord bridge[4] = {F, G, Am, E};

}  // namespace

xm::Module compose() {
    xm::Module m;
    m.name = "bla";
    m.channels = channels;
    m.speed = 6;
    m.tempo = 125;  // a row is 0.12 s, four rows a beat, a 64-row pattern 7.68 s
    m.instruments = {kick(), snare(), hihat(), bass(), lead(), pad(), bell()};

    for (int i = 0; i < 6; ++i) m.patterns.emplace_back(rows, channels);

    {  // 0: intro, bell and pads over held bass, light hats
        Score s(m.patterns[0]);
        s.pads(verse, 30);
        s.held_bass(verse);
        s.arpeggio(verse, 34);
        s.hats(4, 18);
    }
    {  // 1: the groove comes in
        Score s(m.patterns[1]);
        s.pads(verse, 24);
        s.walking_bass(verse);
        s.arpeggio(verse, 30);
        s.hats(2, 24);
        s.beat(true, false);
    }
    {  // 2: first chorus
        Score s(m.patterns[2]);
        s.pads(verse, 22);
        s.walking_bass(verse);
        s.hats(2, 24);
        s.beat(true, true);
        s.melody(
            "E5 - D5 C5 - - A4 -  C5 - - A4 C5 - D5 -  "
            "E5 - G5 - E5 D5 C5 -  D5 - - - B4 - ^ -",
            40);
    }
    {  // 3: second chorus, the melody an octave's reach higher
        Score s(m.patterns[3]);
        s.pads(verse, 22);
        s.walking_bass(verse);
        s.hats(2, 26);
        s.beat(true, true);
        s.melody(
            "A5 - G5 E5 - - C5 -  F5 - E5 C5 - A4 C5 -  "
            "G5 - E5 - C5 - E5 G5  B5 - A5 G5 - - ^ -",
            40);
    }
    {  // 4: bridge, ending in E major and a snare fill that leads back home
        Score s(m.patterns[4]);
        s.pads(bridge, 24);
        s.walking_bass(bridge);
        s.hats(2, 24);
        s.beat(true, false);
        s.fill();
        s.melody(
            "F5 - A5 - G5 F5 E5 -  D5 - G5 - F5 E5 D5 -  "
            "C5 - E5 - A5 - G5 E5  G#5 - - - E5 - B4 ^",
            40);
    }
    {  // 5: breakdown, the bridge's chords with bell and a kick on the one
        Score s(m.patterns[5]);
        s.pads(bridge, 30);
        s.held_bass(bridge);
        s.arpeggio(bridge, 34);
        s.hats(4, 16);
        for (int bar = 0; bar < 4; ++bar) s.put(16 * bar, CH_KICK, note("C-4"), KICK, 52);
    }

    m.orders = {0, 1, 2, 3, 4, 5, 4, 3};
    m.restart = restart_order;
    return m;
}

std::vector<uint8_t> module_file() { return xm::write(compose()); }

}  // namespace song
