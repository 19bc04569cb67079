// Between the display library and its recorder module (TRELK_RECORD, recorder.h).
//
// The encoders' libraries are large: linked into the display library, every program would load
// them at start-up, about a hundred shared libraries more, and pay several times the processor
// time of a start for it. So the recorder is a module of its own, opened only when a recording
// is asked for (recorder_loader.cpp finds it and opens it; recorder_ffmpeg.cpp is the module).
//
// The boundary is plain C: the program may carry its own copy of the C++ runtime (the demo
// links it in) while the module uses the shared one, so no exception, std:: object or
// allocation crosses it. Errors come back as text through the request's `say`; the frame comes
// as 32-bit pixels the host has converted; the sound and the recording flag are the host's own
// functions of offline_sound.h, so that the module meets the music library where the host does.
// The module exports one function, TRELK_RECORDER_ENTRY, giving its entries; a module made for
// another version of this interface has another entry name and is refused.
#ifndef PLATFORM_RECORDER_RECORDER_MODULE_H
#define PLATFORM_RECORDER_RECORDER_MODULE_H

#include <cstdint>

#include "platform/offline_sound.h"

#define TRELK_RECORDER_ENTRY "trelk_recorder_entries_1"

extern "C" {

struct trelk_recording;  // the module's own

struct trelk_recorder_request {
    const char* path;   // TRELK_RECORD
    int fps;            // TRELK_RECORD_FPS
    int scale;          // TRELK_RECORD_SCALE; 0: the smallest giving at least 720 lines
    long long frames;   // TRELK_FRAMES; -1: one pass of the music
    int width, height;  // the console's pixels
    int max_side;       // the largest width or height a picture may have
    // Says why a call failed; the text is the host's to copy (at once: it may not outlive the
    // call). Never throws.
    void (*say)(void* context, const char* text);
    void* say_context;
    const trelk_offline_sound* (*sound_offered)(void);
    void (*set_recording)(int recording);
};

struct trelk_recorder_entries {
    // Checks the request, the target and the format and prepares the file (the request is not
    // kept). Null, with the reason said, when it cannot.
    trelk_recording* (*start)(const trelk_recorder_request* request);
    // Encodes one presented frame with its span of sound: `pixels` are the console's,
    // width x height as requested, 32 bits each (blue, green, red, unused bytes), rows `pitch`
    // bytes apart. 0, with the reason said, when it cannot; the recording is then abandoned.
    int (*add)(trelk_recording* recording, const std::uint8_t* pixels, int pitch);
    // 1 once every frame the recording should have has been added
    int (*complete)(const trelk_recording* recording);
    // Ends the file and renames it over the target; 0, with the reason said, when it cannot
    // (our file is then removed). With no frame added nothing is written.
    int (*finish)(trelk_recording* recording);
    // Frees the recording; an unfinished one is abandoned (our file removed, the target left)
    void (*end)(trelk_recording* recording);
};

typedef const trelk_recorder_entries* (*trelk_recorder_entry)(void);

}  // extern "C"

#endif
