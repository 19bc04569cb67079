// TRELK_RECORD on the real program: the videos it writes are read back with FFmpeg's own
// programs (ffprobe, ffmpeg) and compared with the reference frames and with the music
// library's offline render of the same span, made here in-process.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "platform/midas.h"
#include "platform/offline_sound.h"

namespace {

namespace fs = std::filesystem;

const fs::path demo = RECORD_DEMO;
const fs::path assets = RECORD_ASSETS;
const fs::path references = fs::path(RECORD_TESTS_DIR) / "data";
constexpr int rate = 44100;

std::string shell(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[65536];
        std::size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
        pclose(pipe);
    }
    return out;
}

std::string quoted(const fs::path& path) { return "'" + path.string() + "'"; }

// The pixels of frame n (1 = the first) of a video, as RGB bytes
std::string video_frame(const fs::path& video, int n) {
    return shell("ffmpeg -v error -i " + quoted(video) + " -map 0:v -vf 'select=eq(n\\," +
                 std::to_string(n - 1) + ")' -frames:v 1 -pix_fmt rgb24 -f rawvideo -");
}

// A reference frame as RGB bytes, each pixel repeated scale times across and down
std::string reference_frame(int n, int scale) {
    char name[32];
    std::snprintf(name, sizeof name, "demo_frame_%03d.png", n);
    const std::string rgb =
        shell("/usr/bin/convert " + quoted(references / name) + " -depth 8 rgb:-");
    if (rgb.size() != 320u * 200 * 3) return "";
    std::string scaled;
    for (int y = 0; y < 200 * scale; ++y) {
        for (int x = 0; x < 320 * scale; ++x)
            scaled.append(rgb, (std::size_t(y / scale) * 320 + x / scale) * 3, 3);
    }
    return scaled;
}

// The sound of a video as 16-bit stereo samples at 44.1 kHz
std::vector<std::int16_t> video_sound(const fs::path& video) {
    const std::string raw = shell("ffmpeg -v error -i " + quoted(video) +
                                  " -map 0:a -ar 44100 -ac 2 -f s16le -acodec pcm_s16le -");
    std::vector<std::int16_t> samples(raw.size() / 2);
    std::memcpy(samples.data(), raw.data(), samples.size() * 2);
    return samples;
}

// What the music library renders offline for the demo's module from its start
std::vector<std::int16_t> offline_render(long long frames) {
    trelk_offline_sound_set_recording(1);  // no sound device
    EXPECT_EQ(MIDASstartup(), 1);
    EXPECT_EQ(MIDASinit(), 1);
    MIDASmodule module = MIDASloadModule((assets / "bla.xm").c_str());
    EXPECT_NE(module, nullptr) << MIDASerrorText();
    EXPECT_NE(MIDASplayModule(module, 1), 0u) << MIDASerrorText();
    const trelk_offline_sound* sound = trelk_offline_sound_offered();
    std::vector<std::int16_t> samples(std::size_t(frames) * 2);
    if (sound) sound->render(samples.data(), int(frames));
    EXPECT_NE(sound, nullptr) << "the music library offers no offline render";
    MIDASclose();
    trelk_offline_sound_set_recording(0);
    return samples;
}

double level_db(const std::vector<std::int16_t>& samples) {
    double sum = 0;
    for (std::int16_t s : samples) sum += double(s) * s;
    return 10 * std::log10(sum / double(samples.size()) + 1e-9);
}

double psnr(const std::string& a, const std::string& b) {
    if (a.size() != b.size() || a.empty()) return 0;
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const double d =
            double(static_cast<unsigned char>(a[i])) - static_cast<unsigned char>(b[i]);
        sum += d * d;
    }
    const double mse = sum / double(a.size());
    return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

// ffprobe's KEY=VALUE lines for one stream of a video
std::map<std::string, std::string> probe(const fs::path& video, const char* stream) {
    const std::string out =
        shell(std::string("ffprobe -v error -select_streams ") + stream +
              " -show_entries stream=codec_name,width,height,pix_fmt,r_frame_rate,duration,"
              "sample_rate,channels -of default=noprint_wrappers=1 " +
              quoted(video));
    std::map<std::string, std::string> values;
    std::size_t at = 0;
    while (at < out.size()) {
        const std::size_t end = out.find('\n', at);
        const std::string line = out.substr(at, end - at);
        const std::size_t equals = line.find('=');
        if (equals != std::string::npos) values[line.substr(0, equals)] = line.substr(equals + 1);
        at = end == std::string::npos ? out.size() : end + 1;
    }
    return values;
}

struct Outcome {
    int status = -1;
    std::string error;  // standard error, or the terminal's output with on_terminal
};

class Record : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::path(::testing::TempDir()) /
              ("record_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        fs::copy_file(assets / "flagga.tga", dir / "flagga.tga");
        fs::copy_file(assets / "bla.xm", dir / "bla.xm");
    }
    void TearDown() override {
        std::error_code ignored;
        if (!HasFailure()) fs::remove_all(dir, ignored);
    }

    // Runs the demo in dir with these settings (besides no window system and no sound). With
    // on_terminal its standard error is a pseudo-terminal, whose output is returned.
    Outcome record(const std::map<std::string, std::string>& settings, bool on_terminal = false,
                   const std::string& before = "") {
        std::string command = "cd " + quoted(dir) + " && " + before +
                              " env -u DISPLAY -u WAYLAND_DISPLAY -u TRELK_DISPLAY "
                              "SDL_AUDIODRIVER=dummy";
        for (const auto& [name, value] : settings) command += " " + name + "='" + value + "'";
        command +=
            " timeout " + std::to_string(limit) + " " + quoted(program) + " </dev/null >/dev/null";
        Outcome run;
        if (!on_terminal) {
            const int status = std::system((command + " 2>" + quoted(dir / "error.txt")).c_str());
            run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            std::ifstream in(dir / "error.txt");
            run.error.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            return run;
        }
        int master = -1, slave = -1;
        if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
            ADD_FAILURE() << "no pseudo-terminal";
            return run;
        }
        const pid_t pid = fork();
        if (pid == 0) {
            setsid();
            dup2(slave, 2);
            close(master);
            close(slave);
            execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(slave);
        char buffer[4096];
        for (;;) {
            const ssize_t n = read(master, buffer, sizeof buffer);
            if (n <= 0) break;  // EIO once the program has ended
            run.error.append(buffer, std::size_t(n));
        }
        close(master);
        int status = 0;
        waitpid(pid, &status, 0);
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return run;
    }

    // Names in dir other than the demo's own files and the given ones
    std::vector<std::string> others(std::vector<std::string> expected) {
        expected.insert(expected.end(), {"flagga.tga", "bla.xm", "error.txt"});
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(dir)) {
            const std::string name = entry.path().filename().string();
            if (std::find(expected.begin(), expected.end(), name) == expected.end())
                found.push_back(name);
        }
        return found;
    }

    fs::path dir;
    fs::path program = demo;  // the program that runs
    int limit = 300;          // seconds before it is ended as hung
};

// The lossless file holds exactly the frames the capture saves and the samples the music
// library renders, for the same span, and is the same bytes every time
TEST_F(Record, LosslessVideoHoldsTheExactFramesAndSound) {
    const std::map<std::string, std::string> settings = {
        {"TRELK_FRAMES", "300"}, {"TRELK_RECORD", "first.mkv"}, {"TRELK_RECORD_SCALE", "1"}};
    const Outcome run = record(settings);
    ASSERT_EQ(run.status, 0) << run.error;
    EXPECT_EQ(run.error, "") << "quiet when standard error is not a terminal";
    for (int n : {1, 2, 300}) {
        const std::string expected = reference_frame(n, 1);
        ASSERT_FALSE(expected.empty());
        EXPECT_TRUE(video_frame(dir / "first.mkv", n) == expected) << "frame " << n;
    }

    const std::vector<std::int16_t> sound = video_sound(dir / "first.mkv");
    const std::vector<std::int16_t> expected = offline_render(300LL * rate / 60);
    ASSERT_EQ(sound.size(), expected.size());
    EXPECT_TRUE(sound == expected) << "the track differs from the music library's render";
    EXPECT_GT(level_db(expected), 40) << "the span is not silent";

    // 300 frames and as many samples as 300 frames last
    const double video = 300.0 / 60;
    const double audio = double(sound.size() / 2) / rate;
    EXPECT_NEAR(audio, video, 1.0 / 60);
    const std::string frames = shell(
        "ffprobe -v error -count_frames -select_streams v:0 "
        "-show_entries stream=nb_read_frames -of csv=p=0 " +
        quoted(dir / "first.mkv"));
    EXPECT_EQ(std::atoi(frames.c_str()), 300);

    auto again = settings;
    again["TRELK_RECORD"] = "second.mkv";
    ASSERT_EQ(record(again).status, 0);
    std::ifstream a(dir / "first.mkv", std::ios::binary), b(dir / "second.mkv", std::ios::binary);
    const std::string first((std::istreambuf_iterator<char>(a)), std::istreambuf_iterator<char>());
    const std::string second((std::istreambuf_iterator<char>(b)), std::istreambuf_iterator<char>());
    EXPECT_TRUE(first == second) << "two recordings differ";

    // At a rate that does not divide the sound's, frame n still gets the samples from n / fps
    // to (n + 1) / fps: 100 frames at 48 a second carry 100 * 44100 / 48 = 91875 of them
    again["TRELK_RECORD"] = "48.mkv";
    again["TRELK_RECORD_FPS"] = "48";
    again["TRELK_FRAMES"] = "100";
    ASSERT_EQ(record(again).status, 0);
    EXPECT_EQ(probe(dir / "48.mkv", "v:0")["r_frame_rate"], "48/1");
    const std::vector<std::int16_t> at_48 = video_sound(dir / "48.mkv");
    ASSERT_EQ(at_48.size(), 91875u * 2);
    EXPECT_TRUE(std::equal(at_48.begin(), at_48.end(), expected.begin()));
    EXPECT_EQ(others({"first.mkv", "second.mkv", "48.mkv"}), std::vector<std::string>{});
}

// The compressed formats: the expected streams, a picture close to the reference and a track
// as loud as the lossless one; the .mp4 has its index before its data
TEST_F(Record, CompressedVideosHaveTheirCodecsAndKeepPictureAndLevel) {
    const double lossless = level_db(offline_render(300LL * rate / 60));
    const struct {
        const char* file;
        const char* video;
        const char* audio;
        const char* audio_rate;
    } kinds[] = {{"demo.mp4", "h264", "aac", "44100"}, {"demo.webm", "vp9", "opus", "48000"}};
    for (const auto& kind : kinds) {
        SCOPED_TRACE(kind.file);
        const Outcome run = record(
            {{"TRELK_FRAMES", "300"}, {"TRELK_RECORD", kind.file}, {"TRELK_RECORD_SCALE", "2"}});
        ASSERT_EQ(run.status, 0) << run.error;
        auto video = probe(dir / kind.file, "v:0");
        auto audio = probe(dir / kind.file, "a:0");
        EXPECT_EQ(video["codec_name"], kind.video);
        EXPECT_EQ(video["width"], "640");
        EXPECT_EQ(video["height"], "400");
        EXPECT_EQ(video["pix_fmt"], "yuv420p");
        EXPECT_EQ(video["r_frame_rate"], "60/1");
        EXPECT_EQ(audio["codec_name"], kind.audio);
        EXPECT_EQ(audio["sample_rate"], kind.audio_rate);
        EXPECT_EQ(audio["channels"], "2");
        const std::string length = shell(
            "ffprobe -v error -show_entries format=duration -of "
            "default=noprint_wrappers=1:nokey=1 " +
            quoted(dir / kind.file));
        EXPECT_NEAR(std::atof(length.c_str()), 5.0, 0.05);
        const double quality = psnr(video_frame(dir / kind.file, 300), reference_frame(300, 2));
        EXPECT_GE(quality, 35) << "frame 300";
        EXPECT_NEAR(level_db(video_sound(dir / kind.file)), lossless, 1.0);
    }
    std::ifstream in(dir / "demo.mp4", std::ios::binary);
    const std::string mp4((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_LT(mp4.find("moov"), mp4.find("mdat")) << "the index is not at the front";
}

// Refusals: an unknown kind of file is refused before anything is drawn, and a write that
// fails (here past the largest file the process may write) ends with the reason and status 1,
// leaving nothing under the target's name and nothing of ours beside it. Without music the
// length must be given, and the track is silent.
TEST_F(Record, RefusedAndFailedRecordingsLeaveNoFile) {
    Outcome run = record({{"TRELK_FRAMES", "10"}, {"TRELK_RECORD", "demo.avi"}});
    EXPECT_EQ(run.status, 1);
    for (const char* named : {"TRELK_RECORD=demo.avi", ".mp4", ".webm", ".mkv"})
        EXPECT_NE(run.error.find(named), std::string::npos) << run.error;

    run = record({{"TRELK_FRAMES", "120"}, {"TRELK_RECORD", "demo.mkv"}}, false,
                 "ulimit -f 256;");  // 128 KiB
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.error.find("TRELK_RECORD: cannot write demo.mkv: File too large"),
              std::string::npos)
        << run.error;
    EXPECT_EQ(others({}), std::vector<std::string>{});

    // Without music and without a number of frames there is no length to record
    fs::remove(dir / "bla.xm");
    run = record({{"TRELK_RECORD", "demo.mkv"}});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.error.find("no music plays to give the video its length"), std::string::npos)
        << run.error;
    EXPECT_FALSE(fs::exists(dir / "demo.mkv"));
    // With a number of frames it records them over a silent track
    run = record({{"TRELK_RECORD", "demo.mkv"}, {"TRELK_FRAMES", "30"}});
    ASSERT_EQ(run.status, 0) << run.error;
    const std::vector<std::int16_t> silence = video_sound(dir / "demo.mkv");
    EXPECT_EQ(silence.size(), 30u * 735 * 2);
    EXPECT_TRUE(std::all_of(silence.begin(), silence.end(), [](std::int16_t s) { return s == 0; }));
}

// TRELK_RECORD_SCALE=51 was taken: a 16320x10200 video, for which VP9 took 16 GB and H.264
// 1.8 GB for 2 frames. A picture more than a format's encoder can make in about 512 MB (or
// larger than 8K) is refused before anything is allocated, naming the largest scale that fits,
// which is taken
TEST_F(Record, AVideoTooLargeForItsFormatIsRefusedNamingTheLargestScaleThatFits) {
    const std::map<std::string, std::string> largest = {
        {"demo.mp4", "16"}, {"demo.webm", "9"}, {"demo.mkv", "13"}};
    for (const auto& [file, scale] : largest) {
        SCOPED_TRACE(file);
        const Outcome run =
            record({{"TRELK_FRAMES", "2"}, {"TRELK_RECORD", file}, {"TRELK_RECORD_SCALE", "51"}});
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.error.find("TRELK_RECORD_SCALE=51: the video would be 16320x10200 pixels, "
                                 "more than a " +
                                 file.substr(4) + " recording takes"),
                  std::string::npos)
            << run.error;
        EXPECT_NE(run.error.find("; the largest scale that fits is " + scale + "\n"),
                  std::string::npos)
            << run.error;
    }
    EXPECT_EQ(others({}), std::vector<std::string>{});
    const Outcome run =
        record({{"TRELK_FRAMES", "2"}, {"TRELK_RECORD", "demo.mkv"}, {"TRELK_RECORD_SCALE", "13"}});
    ASSERT_EQ(run.status, 0) << run.error;
    EXPECT_EQ(probe(dir / "demo.mkv", "v:0")["width"], "4160");
}

// The encoders live in a module that is opened only for a recording. A copy of the program
// away from it records nothing, says what is missing and where it looked, and runs as ever
// without TRELK_RECORD; a broken module found beside the program is named with the reason.
TEST_F(Record, WithoutItsModuleTheProgramSaysSoAndRunsAsEver) {
    if (fs::exists(RECORD_INSTALLED_MODULE))
        GTEST_SKIP() << "a module is installed at " << RECORD_INSTALLED_MODULE;
    program = dir / "kelvra-demo";
    fs::copy_file(demo, program);
    Outcome run = record({{"TRELK_FRAMES", "10"}, {"TRELK_RECORD", "demo.mkv"}});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.error.find("TRELK_RECORD=demo.mkv: cannot record video: the recorder module is "
                             "missing (looked for " +
                             (dir / "trelk/trelk_recorder.so").string()),
              std::string::npos)
        << run.error;
    EXPECT_NE(run.error.find(RECORD_INSTALLED_MODULE), std::string::npos) << run.error;
    run = record({{"TRELK_FRAMES", "10"}, {"TRELK_DISPLAY", "headless"}});
    EXPECT_EQ(run.status, 0) << run.error;

    fs::create_directory(dir / "trelk");
    std::ofstream(dir / "trelk/trelk_recorder.so") << "not a module";
    run = record({{"TRELK_FRAMES", "10"}, {"TRELK_RECORD", "demo.mkv"}});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.error.find("TRELK_RECORD=demo.mkv: cannot record video: the recorder module "
                             "cannot be loaded: " +
                             (dir / "trelk/trelk_recorder.so").string()),
              std::string::npos)
        << run.error;
    EXPECT_EQ(others({"kelvra-demo", "trelk"}), std::vector<std::string>{});
}

// A FIFO at the module's path held the program in dlopen for ever, saying nothing; a module cut
// anywhere in its loaded part ended it with SIGBUS, silently (cut only in its section headers
// it loaded). Each is refused, naming the file and what is wrong, before anything loads.
TEST_F(Record, AModuleThatIsNoRegularFileOrIsCutShortIsRefused) {
    if (fs::exists(RECORD_INSTALLED_MODULE))
        GTEST_SKIP() << "a module is installed at " << RECORD_INSTALLED_MODULE;
    program = dir / "kelvra-demo";
    fs::copy_file(demo, program);
    fs::create_directory(dir / "trelk");
    const fs::path module = dir / "trelk/trelk_recorder.so";
    limit = 60;
    ASSERT_EQ(mkfifo(module.c_str(), 0644), 0) << std::strerror(errno);
    Outcome run = record({{"TRELK_FRAMES", "10"}, {"TRELK_RECORD", "demo.mkv"}});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.error.find("the recorder module cannot be loaded: " + module.string() +
                             ": it is a FIFO, not a regular file"),
              std::string::npos)
        << run.error;

    std::ifstream in(RECORD_MODULE, std::ios::binary);
    const std::string whole((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(whole.size(), 8192u);
    for (std::size_t size : {std::size_t(1024), whole.size() / 8, whole.size() / 2,
                             whole.size() * 3 / 4, whole.size() - 1}) {
        SCOPED_TRACE("cut to " + std::to_string(size) + " of " + std::to_string(whole.size()));
        fs::remove(module);
        std::ofstream(module, std::ios::binary).write(whole.data(), std::streamsize(size));
        run = record({{"TRELK_FRAMES", "10"}, {"TRELK_RECORD", "demo.mkv"}});
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(
            run.error.find("the recorder module cannot be loaded: " + module.string() +
                           " is damaged: it is cut short: " + std::to_string(size) + " bytes"),
            std::string::npos)
            << run.error;
    }
    EXPECT_EQ(others({"kelvra-demo", "trelk"}), std::vector<std::string>{});
}

// On a terminal the recording shows its progress on one line, and clears it at the end
TEST_F(Record, ProgressLineOnATerminal) {
    const Outcome run = record(
        {{"TRELK_FRAMES", "120"}, {"TRELK_RECORD", "demo.mkv"}, {"TRELK_RECORD_SCALE", "1"}}, true);
    ASSERT_EQ(run.status, 0) << run.error;
    EXPECT_NE(run.error.find("\rrecording demo.mkv: 100%, "), std::string::npos) << run.error;
    EXPECT_NE(run.error.find(" frames/s, 0 s left"), std::string::npos) << run.error;
    EXPECT_EQ(run.error.find('\n'), std::string::npos) << "more than one line: " << run.error;
    EXPECT_TRUE(fs::exists(dir / "demo.mkv"));
}

}  // namespace
