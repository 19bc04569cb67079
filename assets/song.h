// Our music module "bla.xm": eight channels (kick, snare, hi-hat, bass, lead or bell, three pad
// voices), six patterns of 64 rows in A minor, played as intro, groove, two melody choruses, a
// bridge, a breakdown, the bridge again and the second chorus; then the song loops back to the
// groove. Seven instruments whose samples are synthesised here from sines, band-limited saws
// and squares, and seeded noise, shaped by decays and volume envelopes. Everything is computed,
// nothing is random, so the module is the same bytes on every run.
#ifndef ASSETS_SONG_H
#define ASSETS_SONG_H

#include <cstdint>
#include <vector>

#include "assets/xm_writer.h"

namespace song {

constexpr int sample_rate = 8363 * 4;  // synthesis rate: a sample played at C-4 + 24 semitones
constexpr int channels = 8;
constexpr int rows = 64;          // rows in every pattern
constexpr int restart_order = 1;  // the loop skips the intro

xm::Module compose();                // the whole song, described in memory
std::vector<uint8_t> module_file();  // compose() written as an XM file

}  // namespace song

#endif
