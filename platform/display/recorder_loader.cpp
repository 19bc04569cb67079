// The recorder of a build with the recorder module (recorder_module.h): a recording opens the
// module, which holds the encoders and their libraries, and hands every frame to it. Programs
// that record nothing never look for it.
//
// Decisions:
// - Where the module is looked for, in order: trelk/ in the folder of the file holding the
//   display library (the shared library, or the program it was linked into), then trelk/ in
//   the program's folder (a program shipped with its module beside it), then, for a program or
//   library inside the build tree that made this library, that tree's module (tests and the
//   demo run from there; not in a build for packages, TRELK_RECORDER_BUILD_TREE=OFF, which
//   holds no folder of the machine that built it), then the library folder of the install.
// - The first place that has a file is used: a module there that cannot be opened is an error
//   that names it and says why (a library it needs is missing, say), rather than a reason to
//   look further, so that a broken install is not hidden by some older module elsewhere.
// - Once opened, the module stays for the life of the process (os::open_module); the next
//   recordings use it again.
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "platform/display/objects.h"
#include "platform/display/recorder.h"
#include "platform/os/module.h"
#include "platform/recorder/recorder_module.h"

namespace display {
namespace {

std::mutex loading;
const trelk_recorder_entries* loaded = nullptr;  // once opened

#ifdef TRELK_RECORDER_BUILD_TREE  // (left out of a build made for packages)
bool inside(const std::string& path, const std::string& folder) {
    return !path.empty() && path.compare(0, folder.size(), folder) == 0 &&
           (path.size() == folder.size() || path[folder.size()] == '/');
}
#endif

std::vector<std::string> module_places() {
    const std::string own = os::own_code_folder(), program = os::program_folder();
    std::vector<std::string> places;
    auto add = [&places](const std::string& place) {
        for (const std::string& p : places)
            if (p == place) return;
        places.push_back(place);
    };
    if (!own.empty()) add(own + "/" TRELK_RECORDER_MODULE);
    if (!program.empty()) add(program + "/" TRELK_RECORDER_MODULE);
#ifdef TRELK_RECORDER_BUILD_TREE
    if (inside(own, TRELK_RECORDER_BUILD_TREE) || inside(program, TRELK_RECORDER_BUILD_TREE))
        add(TRELK_RECORDER_BUILT_MODULE);
#endif
    add(TRELK_RECORDER_INSTALLED_MODULE);
    return places;
}

const trelk_recorder_entries& recorder_entries(const char* path) {
    const std::lock_guard<std::mutex> hold(loading);
    if (loaded) return *loaded;
    std::string looked;
    for (const std::string& place : module_places()) {
        bool absent = false;
        std::string reason;
        void* module = os::open_module(place.c_str(), &absent, &reason);
        if (!module && absent) {
            looked += (looked.empty() ? "" : ", ") + place;
            continue;
        }
        if (!module)
            fail("TRELK_RECORD=%s: cannot record video: the recorder module cannot be loaded: %s",
                 path, reason.c_str());
        const auto entry =
            reinterpret_cast<trelk_recorder_entry>(os::module_symbol(module, TRELK_RECORDER_ENTRY));
        const trelk_recorder_entries* entries = entry ? entry() : nullptr;
        if (!entries)
            fail(
                "TRELK_RECORD=%s: cannot record video: %s is not the recorder module of this "
                "build (it has no %s)",
                path, place.c_str(), TRELK_RECORDER_ENTRY);
        loaded = entries;
        return *loaded;
    }
    fail("TRELK_RECORD=%s: cannot record video: the recorder module is missing (looked for %s)",
         path, looked.c_str());
}

// The module's reason, copied at once; memory running out leaves a shorter one
void take_reason(void* context, const char* text) {
    std::string& reason = *static_cast<std::string*>(context);
    try {
        reason = text ? text : "TRELK_RECORD: failed";
    } catch (...) {
        reason.clear();
        reason.append("out of memory", 13);  // fits the string's own room: no allocation
    }
}

class ModuleRecorder : public Recorder {
public:
    ModuleRecorder(const trelk_recorder_entries& entries, int width, int height)
        : entries_(entries), width_(width), height_(height) {}
    ModuleRecorder(const ModuleRecorder&) = delete;
    ModuleRecorder& operator=(const ModuleRecorder&) = delete;

    ~ModuleRecorder() override {
        if (recording_) entries_.end(recording_);
    }

    void start(const RecordSettings& settings) {
        pixels_.resize(std::size_t(width_) * std::size_t(height_) * 4);
        trelk_recorder_request request{};
        request.path = settings.path.c_str();
        request.fps = settings.fps;
        request.scale = settings.scale;
        request.frames = settings.frames;
        request.width = width_;
        request.height = height_;
        request.max_side = max_dimension;
        request.say = take_reason;
        request.say_context = &reason_;
        request.sound_offered = trelk_offline_sound_offered;
        request.set_recording = trelk_offline_sound_set_recording;
        recording_ = entries_.start(&request);
        if (!recording_) fail("%s", reason_.c_str());
    }

    // The frame in the module's 32-bit pixels, at the console's size
    void add(const Image& frame) override {
        const Image out{pixels_.data(), width_, height_, width_ * 4, &default_format(), nullptr};
        const Rect all{0, 0, width_, height_};
        blit(frame, Rect{0, 0, frame.width, frame.height}, out, all, all);
        if (!entries_.add(recording_, pixels_.data(), width_ * 4)) fail("%s", reason_.c_str());
    }

    bool complete() const override { return entries_.complete(recording_) != 0; }

    bool finish(std::string* reason) override {
        if (entries_.finish(recording_)) return true;
        reason->swap(reason_);
        return false;
    }

private:
    const trelk_recorder_entries& entries_;
    int width_, height_;
    trelk_recording* recording_ = nullptr;
    std::vector<std::uint8_t> pixels_;
    std::string reason_;  // why the module's last call failed
};

}  // namespace

std::unique_ptr<Recorder> start_recording(const RecordSettings& settings, int width, int height) {
    const trelk_recorder_entries& entries = recorder_entries(settings.path.c_str());
    auto recorder = std::make_unique<ModuleRecorder>(entries, width, height);
    recorder->start(settings);
    return recorder;
}

}  // namespace display
