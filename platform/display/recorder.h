// TRELK_RECORD: every presented frame of a console and the program's sound, encoded into a
// video file as the program runs, as fast as it can draw (no window opens and no sound plays).
//
// Frame n (from 0) is the n-th presented frame and shows from n / fps seconds; the sound of
// frame n is the span from n / fps to (n + 1) / fps, pulled from the music library's offline
// render (platform/offline_sound.h) as the frame is added, so picture and sound cannot drift.
// Without an offered render the track is silent. The length is TRELK_FRAMES frames, or else
// one pass of the music that plays at the first frame, ending at the next frame boundary.
//
// The format follows the file's extension: .mp4 (H.264 and AAC, index at the front), .webm
// (VP9 and Opus), .mkv (lossless H.264 in RGB and FLAC: the pixels and the samples exactly). The
// file is written beside the target and renamed over it at the end, by the capture's rules
// (capture.h).
#ifndef PLATFORM_DISPLAY_RECORDER_H
#define PLATFORM_DISPLAY_RECORDER_H

#include <memory>
#include <string>

#include "platform/display/pixels.h"

namespace display {

struct RecordSettings {
    std::string path;       // TRELK_RECORD; empty: no recording
    int fps = 60;           // TRELK_RECORD_FPS
    int scale = 0;          // TRELK_RECORD_SCALE; 0: the smallest giving at least 720 lines
    long long frames = -1;  // TRELK_FRAMES; -1: one pass of the music
};

class Recorder {
public:
    // An unfinished recording is abandoned: our new file is removed, the target left alone
    virtual ~Recorder() = default;
    // Encodes one presented frame (the whole console, any format) with its span of sound.
    // Throws trelk::DynamicError when it cannot; the recording is then abandoned.
    virtual void add(const Image& frame) = 0;
    // Every frame the recording should have has been added
    virtual bool complete() const = 0;
    // Ends the file and renames it over the target; false and a reason when it cannot (our
    // file is then removed). With no frame added nothing is written.
    virtual bool finish(std::string* reason) = 0;
};

// Checks the settings, the target and the format for a console of width x height pixels and
// prepares the file; throws trelk::DynamicError with the reason when it cannot. A build
// without the recorder throws saying so, and so does one whose recorder module is missing or
// cannot be opened (recorder_loader.cpp), naming what is missing.
std::unique_ptr<Recorder> start_recording(const RecordSettings& settings, int width, int height);

}  // namespace display

#endif
