// The recorder of a build without FFmpeg's libraries: TRELK_RECORD is refused with the reason.
#include "platform/display/objects.h"
#include "platform/display/recorder.h"

namespace display {

std::unique_ptr<Recorder> start_recording(const RecordSettings& settings, int, int) {
    fail(
        "TRELK_RECORD=%s: this build cannot record video: it was built without FFmpeg's "
        "libraries (libavcodec, libavformat, libavutil, libswresample); install "
        "their development files and build again",
        settings.path.c_str());
}

}  // namespace display
