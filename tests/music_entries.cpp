// The music library through its entries: the state machine in the demo's order, calls out of
// order, stop and close twice, null and stale modules, files that are not modules, the mixer
// rendering offline, the disk audio driver capturing audible music, a close that an output no
// longer taking sound cannot hold, running without any audio device, and sharing SDL with a
// video user in the same process.
#include <SDL.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/midas.h"
#include "platform/music/mixer.h"
#include "platform/offline_sound.h"

namespace {

// A file name of this process's own under the temporary folder: ctest runs tests in parallel,
// and more than one build tree may run them at once
std::string scratch(const std::string& name) {
    return testing::TempDir() + "music_" + std::to_string(getpid()) + "_" + name;
}

const std::string module_path = std::string(TRELK_ASSETS_DIR) + "/bla.xm";

std::vector<char> read_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string temp_file(const std::string& name, const std::vector<char>& bytes) {
    const std::string path = scratch(name);
    std::ofstream(path, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
}

// Root mean square of 16-bit samples, 0..32767
double rms(const int16_t* samples, size_t count) {
    if (count == 0) return 0.0;
    double sum = 0.0;
    for (size_t i = 0; i < count; ++i) sum += double(samples[i]) * samples[i];
    return std::sqrt(sum / count);
}

// Renders `seconds` of the mixer's output offline
std::vector<int16_t> render(double seconds) {
    const size_t frames = static_cast<size_t>(seconds * midas::output_rate);
    std::vector<int16_t> out(frames * 2);
    const size_t chunk = 4096;  // bytes a call, like an audio callback
    uint8_t* bytes = reinterpret_cast<uint8_t*>(out.data());
    for (size_t done = 0; done < out.size() * 2; done += chunk)
        midas::mix(bytes + done, static_cast<int>(std::min(chunk, out.size() * 2 - done)));
    return out;
}

class MusicLibrary : public testing::Test {
protected:
    void SetUp() override {
        MIDASclose();
        // By default no device: tests that want one choose the disk driver
        setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    }
    void TearDown() override {
        MIDASclose();
        trelk_offline_sound_set_recording(0);
        unsetenv("SDL_AUDIODRIVER");
        unsetenv("SDL_DISKAUDIOFILE");
    }

    // Startup, init, background play, load, background play again, play with loop: the
    // demo's order; returns the module
    MIDASmodule start_like_the_demo(const std::string& file) {
        EXPECT_EQ(MIDASstartup(), 1);
        EXPECT_EQ(MIDASinit(), 1) << MIDASerrorText();
        EXPECT_EQ(MIDASstartBackgroundPlay(0), 1);
        MIDASmodule m = MIDASloadModule(file.c_str());
        EXPECT_EQ(MIDASstartBackgroundPlay(0), 1);
        MIDASplayModule(m, 1);
        return m;
    }
};

using State = midas::State;

TEST_F(MusicLibrary, DemoOrderMovesThroughEveryState) {
    EXPECT_EQ(midas::state(), State::closed);
    EXPECT_EQ(MIDASstartup(), 1);
    EXPECT_EQ(midas::state(), State::started);
    EXPECT_EQ(MIDASinit(), 1);
    EXPECT_EQ(midas::state(), State::initialised);
    EXPECT_EQ(MIDASstartBackgroundPlay(0), 1);
    EXPECT_EQ(midas::state(), State::playing);
    MIDASmodule m = MIDASloadModule(module_path.c_str());
    ASSERT_NE(m, nullptr) << MIDASerrorText();
    EXPECT_EQ(MIDASstartBackgroundPlay(0), 1) << "a second start is harmless";
    EXPECT_EQ(midas::state(), State::playing);
    EXPECT_NE(MIDASplayModule(m, 1), 0u);
    EXPECT_TRUE(midas::module_playing());
    EXPECT_EQ(midas::module_count(), 1u);

    EXPECT_EQ(MIDASstopBackgroundPlay(), 1);
    EXPECT_EQ(midas::state(), State::initialised);
    EXPECT_FALSE(midas::module_playing());
    EXPECT_EQ(MIDASclose(), 1);
    EXPECT_EQ(midas::state(), State::closed);
    EXPECT_EQ(midas::module_count(), 0u);
}

TEST_F(MusicLibrary, StopAndCloseTwiceAreHarmless) {
    EXPECT_EQ(MIDASclose(), 1) << "close before startup";
    EXPECT_EQ(MIDASstopBackgroundPlay(), 1) << "stop before startup";
    start_like_the_demo(module_path);
    EXPECT_EQ(MIDASstopBackgroundPlay(), 1);
    EXPECT_EQ(MIDASstopBackgroundPlay(), 1);
    EXPECT_EQ(MIDASclose(), 1);
    EXPECT_EQ(MIDASclose(), 1);
    EXPECT_EQ(midas::state(), State::closed);
    // And the library starts again after a close
    MIDASmodule m = start_like_the_demo(module_path);
    EXPECT_NE(m, nullptr);
    EXPECT_TRUE(midas::module_playing());
}

TEST_F(MusicLibrary, CallsOutOfOrderRefuseAndChangeNothing) {
    EXPECT_EQ(MIDASinit(), 0);
    EXPECT_STRNE(MIDASerrorText(), "");
    EXPECT_EQ(MIDASstartBackgroundPlay(0), 0);
    EXPECT_EQ(MIDASloadModule(module_path.c_str()), nullptr);
    EXPECT_EQ(midas::state(), State::closed);
    EXPECT_EQ(midas::module_count(), 0u);

    ASSERT_EQ(MIDASstartup(), 1);
    EXPECT_EQ(MIDASstartBackgroundPlay(0), 0) << "background play needs init";
    MIDASmodule m = MIDASloadModule(module_path.c_str());
    ASSERT_NE(m, nullptr) << "loading needs only startup";
    EXPECT_EQ(MIDASplayModule(m, 1), 0u) << "playing needs init";
    EXPECT_EQ(midas::state(), State::started);
    EXPECT_EQ(MIDASstartup(), 1) << "a second startup changes nothing";
    EXPECT_EQ(midas::module_count(), 1u);
}

TEST_F(MusicLibrary, NullAndStaleModulesPlayNothing) {
    MIDASmodule m = start_like_the_demo(module_path);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(MIDASplayModule(nullptr, 1), 0u);
    EXPECT_STRNE(MIDASerrorText(), "");
    EXPECT_TRUE(midas::module_playing()) << "a null module leaves the music playing";

    // A module freed by close is no longer ours: playing it must not touch freed memory
    MIDASclose();
    ASSERT_EQ(MIDASstartup(), 1);
    ASSERT_EQ(MIDASinit(), 1);
    ASSERT_EQ(MIDASstartBackgroundPlay(0), 1);
    EXPECT_EQ(MIDASplayModule(m, 1), 0u);
    EXPECT_FALSE(midas::module_playing());
    int local = 0;
    EXPECT_EQ(MIDASplayModule(reinterpret_cast<MIDASmodule>(&local), 1), 0u);
}

TEST_F(MusicLibrary, FilesThatAreNotModulesLoadAsNull) {
    const std::vector<char> good = read_bytes(module_path);
    ASSERT_GT(good.size(), 1000u);
    std::vector<char> garbage(5000);
    uint32_t seed = 12345;
    for (char& c : garbage) c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 24);
    std::vector<char> header_only(good.begin(), good.begin() + 80);
    std::vector<char> bad_id = good;
    bad_id[0] = 'X';

    const std::vector<std::pair<std::string, std::string>> cases = {
        {"missing", scratch("no_such_file.xm")},
        {"empty", temp_file("empty.xm", {})},
        {"a directory", testing::TempDir()},
        {"garbage", temp_file("garbage.xm", garbage)},
        {"text", temp_file("text.xm", std::vector<char>(80, 'a'))},
        {"header only", temp_file("header.xm", header_only)},
        {"cut in the patterns", temp_file("cut1.xm", {good.begin(), good.begin() + 2000})},
        {"cut in the samples", temp_file("cut2.xm", {good.begin(), good.end() - good.size() / 3})},
        {"one byte short", temp_file("cut3.xm", {good.begin(), good.end() - 1})},
        {"damaged id", temp_file("badid.xm", bad_id)},
    };
    ASSERT_EQ(MIDASstartup(), 1);
    ASSERT_EQ(MIDASinit(), 1);
    for (const auto& [what, path] : cases) {
        EXPECT_EQ(MIDASloadModule(path.c_str()), nullptr) << what;
        EXPECT_NE(std::string(MIDASerrorText()), "") << what << ": the failure is explained";
        EXPECT_EQ(MIDASplayModule(nullptr, 1), 0u);
    }
    EXPECT_EQ(MIDASloadModule(nullptr), nullptr);
    EXPECT_EQ(midas::module_count(), 0u) << "failed loads keep nothing";
    EXPECT_NE(MIDASloadModule(module_path.c_str()), nullptr)
        << "the library still works: " << MIDASerrorText();
    for (const auto& [what, path] : cases)
        if (path != testing::TempDir()) std::remove(path.c_str());
}

TEST_F(MusicLibrary, MixerFillsExactlyTheBytesAskedFor) {
    MIDASmodule m = start_like_the_demo(module_path);
    ASSERT_NE(m, nullptr);
    for (int bytes : {4096, 4094, 1000, 7, 1, 0}) {
        std::vector<uint8_t> buffer(bytes + 64, 0xa5);
        midas::mix(buffer.data() + 32, bytes);
        for (int i = 0; i < 32; ++i) {
            EXPECT_EQ(buffer[i], 0xa5) << "byte before the request, size " << bytes;
            EXPECT_EQ(buffer[32 + bytes + i], 0xa5) << "byte after the request, size " << bytes;
        }
    }
}

TEST_F(MusicLibrary, MixerPlaysTheModuleAndLoopsOnlyWhenAsked) {
    MIDASmodule m = start_like_the_demo(module_path);
    ASSERT_NE(m, nullptr);
    const std::vector<int16_t> start = render(2.0);
    EXPECT_GT(rms(start.data(), start.size()), 300.0) << "the first two seconds are audible";

    // The song lasts about a minute before it repeats: past that, a looping song still plays
    std::vector<int16_t> looped = render(70.0);
    const size_t last_second = 2 * midas::output_rate;
    EXPECT_GT(rms(looped.data() + looped.size() - last_second, last_second), 300.0);
    EXPECT_TRUE(midas::module_playing());

    // Played once, it falls silent at its end and stays silent
    ASSERT_NE(MIDASplayModule(m, 0), 0u);
    std::vector<int16_t> once = render(70.0);
    EXPECT_GT(rms(once.data(), last_second), 300.0) << "playing again starts over";
    EXPECT_EQ(rms(once.data() + once.size() - last_second, last_second), 0.0);
    EXPECT_FALSE(midas::module_playing());

    // Stopped, the mixer gives silence
    ASSERT_NE(MIDASplayModule(m, 1), 0u);
    MIDASstopBackgroundPlay();
    const std::vector<int16_t> stopped = render(0.5);
    EXPECT_EQ(rms(stopped.data(), stopped.size()), 0.0);
}

// The steering extras against the offline render: a volume scales every sample, a pause
// holds both the sound and the place, a jump moves to an order's first row, even after a song
// played once has ended; refusals change nothing
TEST_F(MusicLibrary, SteeringShowsInTheOfflineRender) {
    EXPECT_EQ(MIDASsetVolume(50), 0) << "before startup";
    EXPECT_NE(std::string(MIDASerrorText()).find("before MIDASstartup"), std::string::npos);
    MIDASmodule m = start_like_the_demo(module_path);
    ASSERT_NE(m, nullptr);
    int orders = 0;
    double seconds = 0;
    ASSERT_EQ(MIDASgetLength(m, &orders, &seconds), 1);
    EXPECT_GT(orders, 2);
    EXPECT_GT(seconds, 30.0) << "the song lasts about a minute";
    EXPECT_LT(seconds, 120.0);
    ASSERT_NE(MIDASgetTitle(m), nullptr);
    EXPECT_EQ(MIDASgetLength(nullptr, &orders, &seconds), 0);
    EXPECT_EQ(MIDASgetTitle(nullptr), nullptr);

    // The same start at full and at half volume: each sample halved, truncated
    const std::vector<int16_t> full = render(0.5);
    ASSERT_NE(MIDASplayModule(m, 1), 0u);
    ASSERT_EQ(MIDASsetVolume(50), 1);
    const std::vector<int16_t> half = render(0.5);
    ASSERT_EQ(full.size(), half.size());
    for (size_t i = 0; i < full.size(); ++i) ASSERT_EQ(half[i], full[i] * 50 / 100) << i;
    EXPECT_EQ(MIDASsetVolume(101), 0);
    EXPECT_EQ(MIDASsetVolume(-1), 0);
    ASSERT_EQ(MIDASsetVolume(100), 1);

    // Paused: silence, the position held; resumed: the song goes on as if never held
    ASSERT_NE(MIDASplayModule(m, 1), 0u);
    render(0.5);
    const std::vector<int16_t> straight = render(0.5);
    ASSERT_NE(MIDASplayModule(m, 1), 0u);
    render(0.5);
    int order = -1, row = -1;
    double at = -1, later = -1;
    ASSERT_EQ(MIDASpause(), 1);
    ASSERT_EQ(MIDASgetPosition(&order, &row, &at), 1);
    EXPECT_NEAR(at, 0.5, 0.05);
    const std::vector<int16_t> held = render(1.0);
    EXPECT_EQ(rms(held.data(), held.size()), 0.0);
    ASSERT_EQ(MIDASgetPosition(nullptr, nullptr, &later), 1);
    EXPECT_EQ(later, at);
    ASSERT_EQ(MIDASresume(), 1);
    EXPECT_EQ(render(0.5), straight);

    // A jump to the last order, from the middle of a song and after one played once ended
    for (int loop : {1, 0}) {
        ASSERT_NE(MIDASplayModule(m, loop), 0u);
        render(loop ? 1.0 : 70.0);
        ASSERT_EQ(MIDASsetPosition(orders - 1), 1) << MIDASerrorText();
        const std::vector<int16_t> there = render(0.2);
        EXPECT_GT(rms(there.data(), there.size()), 1.0) << "it plays again, loop " << loop;
        ASSERT_EQ(MIDASgetPosition(&order, &row, &at), 1);
        EXPECT_EQ(order, orders - 1);
        EXPECT_LT(row, 8);
        EXPECT_GT(at, seconds / 2) << "the last order is late in the song";
    }
    EXPECT_EQ(MIDASsetPosition(orders), 0);
    EXPECT_NE(std::string(MIDASerrorText()).find("out of range"), std::string::npos);
    EXPECT_EQ(MIDASsetPosition(-1), 0);
    ASSERT_EQ(MIDASgetPosition(&order, nullptr, nullptr), 1);
    EXPECT_EQ(order, orders - 1) << "a refused jump moves nothing";

    // Nothing chosen: the music extras refuse
    MIDASstopBackgroundPlay();
    EXPECT_EQ(MIDASpause(), 0);
    EXPECT_EQ(MIDASgetPosition(&order, &row, &at), 0);
    EXPECT_EQ(MIDASsetPosition(0), 0);
}

// What a recording pulls (the render the library offers the recorder) follows a jump, a
// pause and the volume like the device's mixer
TEST_F(MusicLibrary, TheRecordersSoundFollowsSteering) {
    trelk_offline_sound_set_recording(1);
    MIDASmodule m = start_like_the_demo(module_path);
    ASSERT_NE(m, nullptr);
    const trelk_offline_sound* sound = trelk_offline_sound_offered();
    ASSERT_NE(sound, nullptr);
    std::vector<int16_t> samples(2 * 4410);
    const auto level = [&] {
        sound->render(samples.data(), 4410);
        return rms(samples.data(), samples.size());
    };
    EXPECT_GT(level(), 1.0);
    int orders = 0, order = -1;
    ASSERT_EQ(MIDASgetLength(m, &orders, nullptr), 1);
    ASSERT_EQ(MIDASsetPosition(orders - 1), 1);
    EXPECT_GT(level(), 1.0);
    ASSERT_EQ(MIDASgetPosition(&order, nullptr, nullptr), 1);
    EXPECT_EQ(order, orders - 1);
    ASSERT_EQ(MIDASpause(), 1);
    EXPECT_EQ(level(), 0.0);
    ASSERT_EQ(MIDASresume(), 1);
    ASSERT_EQ(MIDASsetVolume(0), 1);
    EXPECT_EQ(level(), 0.0);
}

TEST_F(MusicLibrary, WithoutAudioDeviceEveryCallSucceedsSilently) {
    ASSERT_EQ(MIDASstartup(), 1);
    ASSERT_EQ(MIDASinit(), 1);
    EXPECT_NE(std::string(MIDASerrorText()).find("silent"), std::string::npos) << MIDASerrorText();
    MIDASclose();
    MIDASmodule m = start_like_the_demo(module_path);
    EXPECT_NE(m, nullptr);
    EXPECT_FALSE(midas::audio_open());
    EXPECT_EQ(midas::state(), State::playing);
    EXPECT_NE(MIDASplayModule(m, 1), 0u);
    EXPECT_EQ(MIDASstopBackgroundPlay(), 1);
    EXPECT_EQ(MIDASclose(), 1);
    EXPECT_EQ(SDL_WasInit(SDL_INIT_AUDIO), 0u);
}

TEST_F(MusicLibrary, DiskDriverCapturesAudibleMusic) {
    const std::string capture = scratch("capture.raw");
    std::remove(capture.c_str());
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", capture.c_str(), 1);
    ASSERT_NE(start_like_the_demo(module_path), nullptr);
    EXPECT_TRUE(midas::audio_open()) << MIDASerrorText();
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    MIDASstopBackgroundPlay();
    MIDASclose();

    const std::vector<char> bytes = read_bytes(capture);
    std::remove(capture.c_str());
    const size_t samples = bytes.size() / 2;
    ASSERT_GT(samples, size_t(midas::output_rate / 4)) << "at least a quarter second was captured";
    std::vector<int16_t> pcm(samples);
    std::memcpy(pcm.data(), bytes.data(), samples * 2);
    EXPECT_GT(rms(pcm.data(), pcm.size()), 300.0) << "the captured music is not silence";
}

// A sound server that stops taking sound while the music plays (here the disk driver writing
// into a FIFO that is no longer read) held MIDASclose, and so the program's end, until it took
// sound again. The close is bounded at about 2 s; the device is closed for good once the output
// takes sound again.
TEST_F(MusicLibrary, CloseIsBoundedWhenTheOutputStopsTakingSound) {
    const std::string fifo = scratch("frozen-output");
    std::remove(fifo.c_str());
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0) << std::strerror(errno);
    const int output = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(output, 0) << std::strerror(errno);
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", fifo.c_str(), 1);
    ASSERT_NE(start_like_the_demo(module_path), nullptr);
    ASSERT_TRUE(midas::audio_open()) << MIDASerrorText();
    // Taken for a moment, then no more: the pipe fills and the audio thread waits in its write
    char sound[65536];
    std::size_t taken = 0;
    for (int i = 0; i < 30; ++i) {
        const ssize_t n = read(output, sound, sizeof sound);
        if (n > 0) taken += std::size_t(n);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_GT(taken, 0u) << "no sound reached the output";
    std::this_thread::sleep_for(std::chrono::milliseconds(800));

    const auto start = std::chrono::steady_clock::now();
    MIDASstopBackgroundPlay();
    MIDASclose();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 5.0) << "the close waited for the output";

    // Taking sound again lets the device close: the writer's end of the pipe is closed
    bool closed = false;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!closed && std::chrono::steady_clock::now() < until) {
        const ssize_t n = read(output, sound, sizeof sound);
        closed = n == 0;
        if (n < 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_TRUE(closed) << "the device was never closed";
    close(output);
    std::remove(fifo.c_str());
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the closer's last steps
}

TEST_F(MusicLibrary, SharesSdlWithAVideoUser) {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", (scratch("shared.raw")).c_str(), 1);
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
    // Another user already holds the audio subsystem too: our close must not take it away
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_AUDIO), 0) << SDL_GetError();

    ASSERT_NE(start_like_the_demo(module_path), nullptr);
    EXPECT_TRUE(midas::audio_open());
    MIDASstopBackgroundPlay();
    MIDASclose();
    EXPECT_NE(SDL_WasInit(SDL_INIT_VIDEO), 0u) << "video survives our close";
    EXPECT_NE(SDL_WasInit(SDL_INIT_AUDIO), 0u) << "the other user's audio survives our close";

    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    EXPECT_EQ(SDL_WasInit(SDL_INIT_AUDIO), 0u) << "we left no reference of ours behind";
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    unsetenv("SDL_VIDEODRIVER");
    std::remove(scratch("shared.raw").c_str());
}

}  // namespace

// Where no sound card or server exists, SDL's audio is not even started (probing there costs
// start-up time and prints complaints); a named driver is always tried.
TEST_F(MusicLibrary, WithoutSoundHardwareSdlAudioIsNotStarted) {
    EXPECT_TRUE(midas::audio_output_possible()) << "SDL_AUDIODRIVER is set by the fixture";
    unsetenv("SDL_AUDIODRIVER");
    if (midas::audio_output_possible()) GTEST_SKIP() << "this machine has audio output";
    EXPECT_EQ(MIDASstartup(), 1);
    EXPECT_EQ(MIDASinit(), 1);
    EXPECT_NE(std::string(MIDASerrorText()).find("no sound card"), std::string::npos)
        << MIDASerrorText();
    EXPECT_FALSE(midas::audio_open());
    EXPECT_EQ(SDL_WasInit(SDL_INIT_AUDIO), 0u);
    EXPECT_EQ(MIDASstartBackgroundPlay(0), 1);
    EXPECT_NE(MIDASplayModule(MIDASloadModule(module_path.c_str()), 1), 0u);
    EXPECT_EQ(midas::state(), State::playing);
}
