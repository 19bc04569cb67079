// Faults tried on the real program, kelvra-demo, as a process with a time limit: no window
// system, a window forced without one, no audio device, bad picture and module files, SIGINT
// and SIGTERM in each back end, and the terminal closing under the program. Each must end as
// docs/reliability.md says: a clear message and exit status 1, or a normal silent run with
// exit status 0; never a crash, a hang, or a terminal left in raw mode or on the alternate
// screen. (A missing picture, a missing or corrupt module and the window ended by a key are
// tests of tests/demo_program_test.cpp.)
//
// The window cases run only where DISPLAY is set: CTest runs them under xvfb-run.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <pwd.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Outcome {
    bool exited = false;  // ended by exit(), with status
    int status = -1;
    int signal = 0;          // ended by this signal
    bool timed_out = false;  // killed by us after the time limit
    std::string error;       // what it wrote on standard error
    std::string screen;      // what it wrote to the terminal (terminal runs)
    bool raw_after = false;  // the terminal was left without line editing or echo
    double ended_at = 0;     // seconds from the start to the end
};

// What the test does to a running program and its terminal
struct Session {
    pid_t pid = -1;
    int master = -1, slave = -1;  // the terminal's two sides (terminal runs)
    bool draining = true;         // the terminal takes what the program writes
};

struct Step {
    double at;  // seconds after the start
    std::function<void(Session&)> act;
};

struct Launch {
    std::map<std::string, std::string> environment;  // an empty value removes the variable
    std::vector<std::string> set_empty;              // variables set, to the empty string
    bool terminal = false;  // standard input and output on a pseudo-terminal of its own
    int signal = 0;         // sent after `after` seconds
    bool hang_up = false;   // the terminal is closed after `after` seconds
    double after = 1.5;
    double limit = 30;               // seconds before it counts as a hang
    std::vector<Step> steps;         // more actions, in time order
    std::vector<int> ignored;        // signals the program starts with ignored
    bool input_from_null = false;    // terminal runs: standard input is /dev/null instead
    bool unprivileged = false;       // run as the user "nobody" (when the test runs as root)
    long long file_size_limit = -1;  // bytes the program may write to a file
    std::string program = RELIABILITY_DEMO;  // the program to run
};

// The user an unprivileged run becomes; its ids, or -1 when there is no such user
uid_t nobody_uid() {
    const struct passwd* user = getpwnam("nobody");
    return user ? user->pw_uid : uid_t(-1);
}
gid_t nobody_gid() {
    const struct passwd* user = getpwnam("nobody");
    return user ? user->pw_gid : gid_t(-1);
}

std::string describe(const Outcome& o) {
    if (o.timed_out) return "hung (killed after the time limit)";
    if (o.exited)
        return "exit status " + std::to_string(o.status) + ", stderr: \"" + o.error + "\"";
    return std::string("killed by signal ") + strsignal(o.signal) + ", stderr: \"" + o.error + "\"";
}

class Faults : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fs::path(::testing::TempDir()) /
                 ("reliability_faults_" + std::to_string(::getpid()) + "_" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
        fs::copy_file(fs::path(RELIABILITY_ASSETS) / "flagga.tga", folder / "flagga.tga");
        fs::copy_file(fs::path(RELIABILITY_ASSETS) / "bla.xm", folder / "bla.xm");
    }
    void TearDown() override {
        std::error_code ignored;
        if (!HasFailure()) fs::remove_all(folder, ignored);
    }

    // Replaces one of the demo's files with a variant made from the original's bytes
    void replace(const char* name, const std::string& bytes) {
        fs::remove_all(folder / name);
        std::ofstream(folder / name, std::ios::binary)
            .write(bytes.data(), std::streamsize(bytes.size()));
    }
    std::string original(const char* name) {
        std::ifstream in(fs::path(RELIABILITY_ASSETS) / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    Outcome run(Launch launch) {
        // Headless and without a window system unless a case says otherwise
        std::map<std::string, std::string> env = {{"DISPLAY", ""},       {"WAYLAND_DISPLAY", ""},
                                                  {"TRELK_DISPLAY", ""}, {"TRELK_FRAMES", ""},
                                                  {"TRELK_CAPTURE", ""}, {"TERM", "xterm-256color"},
                                                  {"TRELK_RECORD", ""}};
        for (const auto& [k, v] : launch.environment) env[k] = v;
        const fs::path error_file = folder / "stderr.txt";

        const bool drop = launch.unprivileged && geteuid() == 0;
        const uid_t uid = drop ? nobody_uid() : geteuid();
        const gid_t gid = drop ? nobody_gid() : getegid();
        if (drop && uid == uid_t(-1)) {
            ADD_FAILURE() << "no user \"nobody\" to run as";
            return {};
        }
        int master = -1, slave = -1;
        struct termios before {};
        if (launch.terminal) {
            struct winsize size = {40, 120, 0, 0};
            if (openpty(&master, &slave, nullptr, nullptr, &size) != 0) {
                ADD_FAILURE() << "no pseudo-terminal: " << std::strerror(errno);
                return {};
            }
            tcgetattr(slave, &before);
            fcntl(master, F_SETFL, O_NONBLOCK);
        }
        const pid_t pid = fork();
        if (pid == 0) {
            if (chdir(folder.c_str()) != 0) _exit(126);
            for (const auto& [k, v] : env) {
                if (v.empty())
                    unsetenv(k.c_str());
                else
                    setenv(k.c_str(), v.c_str(), 1);
            }
            for (const std::string& k : launch.set_empty) setenv(k.c_str(), "", 1);
            const int error = open(error_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (launch.terminal) {
                setsid();
                ioctl(slave, TIOCSCTTY, 0);
                dup2(slave, 0);
                dup2(slave, 1);
                close(master);
                close(slave);
            } else {
                const int null = open("/dev/null", O_RDWR);
                dup2(null, 0);
                dup2(null, 1);
            }
            if (launch.input_from_null) {
                const int null = open("/dev/null", O_RDONLY);
                dup2(null, 0);
            }
            for (int signal : launch.ignored) ::signal(signal, SIG_IGN);
            const struct rlimit no_core = {0, 0};  // signals that dump core leave no file
            setrlimit(RLIMIT_CORE, &no_core);
            if (launch.file_size_limit >= 0) {
                const struct rlimit size = {rlim_t(launch.file_size_limit),
                                            rlim_t(launch.file_size_limit)};
                setrlimit(RLIMIT_FSIZE, &size);
            }
            dup2(error, 2);
            if (drop && (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0))
                _exit(125);
            execl(launch.program.c_str(), "kelvra-demo", static_cast<char*>(nullptr));
            _exit(127);
        }

        Outcome o;
        Session session;
        session.pid = pid;
        session.slave = slave;
        std::size_t next_step = 0;
        const auto start = Clock::now();
        bool acted = false;
        int status = 0;
        for (;;) {
            const pid_t done = waitpid(pid, &status, WNOHANG);
            const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
            if (done == pid) {
                o.ended_at = seconds;
                break;
            }
            session.master = master;
            while (next_step < launch.steps.size() && seconds >= launch.steps[next_step].at) {
                launch.steps[next_step++].act(session);
            }
            if (master >= 0 && session.draining) {  // the terminal takes what it is sent
                char buffer[65536];
                ssize_t n;
                while ((n = read(master, buffer, sizeof buffer)) > 0)
                    o.screen.append(buffer, std::size_t(n));
            }
            if (!acted && seconds >= launch.after) {
                acted = true;
                if (launch.signal) kill(pid, launch.signal);
                if (launch.hang_up) {
                    close(master);
                    master = -1;
                }
            }
            if (seconds > launch.limit) {
                kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
                o.timed_out = true;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (!o.timed_out) {
            o.exited = WIFEXITED(status);
            o.status = o.exited ? WEXITSTATUS(status) : -1;
            o.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
        }
        if (master >= 0) {
            char buffer[65536];
            ssize_t n;
            while ((n = read(master, buffer, sizeof buffer)) > 0)
                o.screen.append(buffer, std::size_t(n));
            // The settings are read through the master side: once the program, the session
            // leader, has ended, its side of the terminal is hung up
            struct termios after {};
            if (tcgetattr(master, &after) != 0) {
                ADD_FAILURE() << "cannot read the terminal's settings: " << std::strerror(errno);
            }
            o.raw_after = (after.c_lflag & (ICANON | ECHO)) != (before.c_lflag & (ICANON | ECHO));
            close(master);
        }
        if (slave >= 0) close(slave);
        // Without a sound card the ALSA library prints its own complaints while SDL looks for
        // a device; they are not the program's messages
        std::ifstream in(error_file);
        for (std::string line; std::getline(in, line);) {
            if (line.rfind("ALSA lib ", 0) != 0) o.error += line + "\n";
        }
        return o;
    }

    static void expect_normal_silent_run(const Outcome& o) {
        EXPECT_TRUE(o.exited && o.status == 0 && o.error.empty())
            << "expected a normal silent run; got " << describe(o);
    }
    static void expect_clear_failure(const Outcome& o, const char* message) {
        EXPECT_TRUE(o.exited && o.status == 1) << "expected exit status 1; got " << describe(o);
        EXPECT_NE(o.error.find(message), std::string::npos)
            << "expected a message containing \"" << message << "\"; got " << describe(o);
    }
    // The screen the terminal back end leaves: off the alternate screen, cursor shown
    static void expect_screen_restored(const Outcome& o) {
        const std::size_t entered = o.screen.rfind("\x1b[?1049h");
        if (entered == std::string::npos) return;  // never left the normal screen
        EXPECT_NE(o.screen.find("\x1b[?1049l", entered), std::string::npos)
            << "the terminal was left on the alternate screen";
        EXPECT_NE(o.screen.find("\x1b[?25h", entered), std::string::npos)
            << "the cursor was left hidden";
    }
    // The same, and every byte written is part of a whole escape sequence or character: the
    // restoring bytes did not land inside a sequence cut short
    static void expect_screen_restored_whole(const Outcome& o) {
        expect_screen_restored(o);
        const std::string& s = o.screen;
        std::size_t i = 0;
        while (i < s.size()) {
            const std::size_t start = i;
            const unsigned char b = static_cast<unsigned char>(s[i++]);
            if (b == 0x1b && i < s.size() && s[i] == '[') {  // CSI: parameters, a final byte
                ++i;
                while (i < s.size() && (s[i] < 0x40 || s[i] > 0x7e)) {
                    if (s[i] == 0x1b) {
                        ADD_FAILURE()
                            << "a sequence cut short at byte " << start << " of " << s.size()
                            << ": \"" << s.substr(start, i - start) << "\" followed by another";
                        return;
                    }
                    ++i;
                }
                ++i;
            } else if (b >= 0xc0) {  // UTF-8: as many continuation bytes as the first says
                for (int more = b >= 0xf0 ? 3 : b >= 0xe0 ? 2 : 1; more > 0; --more, ++i) {
                    if (i >= s.size() || (static_cast<unsigned char>(s[i]) & 0xc0) != 0x80) {
                        ADD_FAILURE() << "a character cut short at byte " << start;
                        return;
                    }
                }
            } else if (b >= 0x80) {
                ADD_FAILURE() << "a character cut short before byte " << start;
                return;
            }
        }
        const std::string leave = "\x1b[m\x1b[?25h\x1b[?1049l";
        EXPECT_TRUE(s.size() >= leave.size() &&
                    s.compare(s.size() - leave.size(), leave.size(), leave) == 0)
            << "the output does not end with the restoring bytes";
    }

    fs::path folder;
};

Launch frames(int n) {
    Launch l;
    l.environment["TRELK_FRAMES"] = std::to_string(n);
    return l;
}

// ---- devices ----

TEST_F(Faults, NoWindowSystemAndNoneForcedRunsHeadless) {
    expect_normal_silent_run(run(frames(60)));
}

TEST_F(Faults, WindowForcedWithoutAWindowSystemFailsClearly) {
    Launch l = frames(60);
    l.environment["TRELK_DISPLAY"] = "window";
    expect_clear_failure(run(l), "window");
}

TEST_F(Faults, NoAudioDevicePlaysSilently) {
    Launch l = frames(60);
    l.environment["SDL_AUDIODRIVER"] = "no-such-audio-driver";
    expect_normal_silent_run(run(l));
}

// A sound server that takes the connection and never answers held the demo inside the audio
// start-up, its console open, for tens of seconds, and SIGTERM did nothing meanwhile. The
// audio is given up after a bounded wait: the demo plays silently and the signal sent during
// the start-up ends it normally.
TEST_F(Faults, HungSoundServerDoesNotHoldTheDemo) {
    const fs::path socket_path = folder / "sound-server";
    const int server = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(server, 0) << std::strerror(errno);
    struct sockaddr_un address {};
    address.sun_family = AF_UNIX;
    ASSERT_LT(socket_path.string().size(), sizeof address.sun_path);
    std::strcpy(address.sun_path, socket_path.c_str());
    // Connections complete in the listening queue; nothing is ever read or answered
    ASSERT_EQ(bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address), 0)
        << std::strerror(errno);
    ASSERT_EQ(listen(server, 16), 0) << std::strerror(errno);
    Launch l;
    l.environment["TRELK_DISPLAY"] = "headless";
    l.environment["SDL_AUDIODRIVER"] = "pulseaudio";
    l.environment["PULSE_SERVER"] = "unix:" + socket_path.string();
    l.signal = SIGTERM;
    l.after = 1;
    l.limit = 8;
    expect_normal_silent_run(run(l));
    close(server);
}

// ---- the picture ----

TEST_F(Faults, PictureThatReadsShortOrLongLoadsAndRuns) {
    const std::string picture = original("flagga.tga");
    std::mt19937 random(8);
    std::string garbage(picture.size(), '\0');
    for (char& c : garbage) c = char(random());
    const std::map<std::string, std::string> variants = {
        {"empty", ""},
        {"header only", picture.substr(0, 18)},
        {"cut in the middle of a row", picture.substr(0, picture.size() / 2 + 5)},
        {"garbage of the right size", garbage},
        {"one megabyte too long", picture + std::string(1 << 20, '\x7f')},
    };
    for (const auto& [name, bytes] : variants) {
        SCOPED_TRACE(name);
        replace("flagga.tga", bytes);
        expect_normal_silent_run(run(frames(30)));
    }
}

TEST_F(Faults, PictureThatCannotBeReadFailsClearly) {
    fs::remove(folder / "flagga.tga");
    fs::create_directory(folder / "flagga.tga");
    expect_clear_failure(run(frames(30)), "could not load image");
    fs::remove(folder / "flagga.tga");
    fs::create_symlink(folder / "no-such-file.tga", folder / "flagga.tga");
    expect_clear_failure(run(frames(30)), "could not load image");
}

// A picture that is there but cannot be opened (with no descriptor left under ulimit -n 4,
// or, here, one its user may not read) said only "could not load image": the system's reason
// is given too
TEST_F(Faults, PictureThatCannotBeOpenedSaysWhy) {
    fs::copy_file(RELIABILITY_DEMO, folder / "kelvra-demo");
    fs::permissions(folder, fs::perms(0755));
    fs::permissions(folder / "flagga.tga", fs::perms::none);
    if (geteuid() != 0 && access((folder / "flagga.tga").c_str(), R_OK) == 0)
        GTEST_SKIP() << "this user reads files whatever their permissions";
    Launch l = frames(30);
    l.unprivileged = true;
    l.program = (folder / "kelvra-demo").string();
    expect_clear_failure(run(l), "could not load image: Permission denied");
}

// Opening a FIFO waits for a writer: as the picture it hung the demo for ever with the console
// and the music up; with a writer, or as a device, a black picture loaded. Neither is a
// picture, and neither may block as the module.
TEST_F(Faults, PictureOrModuleThatIsNotARegularFileNeverBlocks) {
    fs::remove(folder / "flagga.tga");
    ASSERT_EQ(mkfifo((folder / "flagga.tga").c_str(), 0644), 0) << std::strerror(errno);
    Launch l = frames(30);
    l.limit = 10;
    SCOPED_TRACE("the picture a FIFO");
    expect_clear_failure(run(l), "could not load image");
    fs::remove(folder / "flagga.tga");
    fs::create_symlink("/dev/zero", folder / "flagga.tga");
    SCOPED_TRACE("the picture a link to a device");
    expect_clear_failure(run(l), "could not load image");

    fs::remove(folder / "flagga.tga");
    fs::copy_file(fs::path(RELIABILITY_ASSETS) / "flagga.tga", folder / "flagga.tga");
    fs::remove(folder / "bla.xm");
    ASSERT_EQ(mkfifo((folder / "bla.xm").c_str(), 0644), 0) << std::strerror(errno);
    SCOPED_TRACE("the module a FIFO");
    expect_normal_silent_run(run(l));
}

// ---- the module ----

TEST_F(Faults, BadModulePlaysSilentlyAndTheDemoRuns) {
    const std::string module = original("bla.xm");
    std::mt19937 random(9);
    std::string garbage(module.size(), '\0');
    for (char& c : garbage) c = char(random());
    std::string no_channels = module;
    no_channels[68] = no_channels[69] = '\0';
    const std::map<std::string, std::string> variants = {
        {"empty", ""},
        {"cut inside the song header", module.substr(0, 70)},
        {"cut inside the samples", module.substr(0, module.size() - 1000)},
        {"garbage", garbage},
        {"garbage after a valid header", module.substr(0, 336) + garbage.substr(336)},
        {"no channels", no_channels},
    };
    for (const auto& [name, bytes] : variants) {
        SCOPED_TRACE(name);
        replace("bla.xm", bytes);
        expect_normal_silent_run(run(frames(30)));
    }
    fs::remove(folder / "bla.xm");
    fs::create_directory(folder / "bla.xm");
    SCOPED_TRACE("a folder");
    expect_normal_silent_run(run(frames(30)));
}

// ---- the capture ----

// What is at a path, without following a link: its type, device number and link text
std::string node_at(const fs::path& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return "nothing";
    std::string node = std::to_string(st.st_mode & S_IFMT) + " " + std::to_string(st.st_rdev);
    if (S_ISLNK(st.st_mode)) node += " -> " + fs::read_symlink(path).string();
    return node;
}

// libpng's writer removed the file it failed to write: TRELK_CAPTURE=/dev/full as root
// deleted the device, and a FIFO hung the close. Whatever is at the path and is not a regular
// file (or a link to one) is refused with a message and left exactly as it was, and nothing of
// ours is left beside it. The recorder (TRELK_RECORD) writes its video by the same rules.
TEST_F(Faults, CaptureAndRecordingLeaveWhatIsNotARegularFileAlone) {
    const fs::path place = folder / "nodes";
    fs::create_directory(place);
    // Named as videos, so that the recorder gets past the kind of file to the target's rules
    std::vector<std::string> names = {"fifo.mkv", "folder.mkv", "link-to-fifo.mkv",
                                      "link-to-nothing.mkv"};
    ASSERT_EQ(mkfifo((place / "fifo.mkv").c_str(), 0644), 0) << std::strerror(errno);
    fs::create_directory(place / "folder.mkv");
    fs::create_symlink("fifo.mkv", place / "link-to-fifo.mkv");
    fs::create_symlink("nothing", place / "link-to-nothing.mkv");
    // A private copy of /dev/full where we may make device nodes (as root)
    if (mknod((place / "full.mkv").c_str(), S_IFCHR | 0666, makedev(1, 7)) == 0) {
        names.push_back("full.mkv");
        fs::create_symlink("full.mkv", place / "link-to-full.mkv");
        names.push_back("link-to-full.mkv");
    }
    std::map<std::string, std::string> before;
    for (const auto& entry : fs::directory_iterator(place))
        before[entry.path().filename()] = node_at(entry.path());

    std::vector<std::string> settings = {"TRELK_CAPTURE"};
    if (RELIABILITY_RECORDER) settings.push_back("TRELK_RECORD");
    for (const std::string& setting : settings) {
        for (const std::string& name : names) {
            SCOPED_TRACE(setting + " " + name);
            Launch l = frames(5);
            l.environment[setting] = (place / name).string();
            l.limit = 10;
            expect_clear_failure(run(l),
                                 (setting + "=" + (place / name).string() + ": refused").c_str());
            std::map<std::string, std::string> after;
            for (const auto& entry : fs::directory_iterator(place))
                after[entry.path().filename()] = node_at(entry.path());
            EXPECT_EQ(after, before) << "the folder of the capture changed";
        }
    }
}

// What a file is: its bytes, owner, group and permission bits
std::string file_state(const fs::path& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return "nothing";
    std::ifstream in(path, std::ios::binary);
    return std::to_string(st.st_uid) + ":" + std::to_string(st.st_gid) + " " +
           std::to_string(st.st_mode) + " " +
           std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The names in a folder
std::vector<std::string> names_in(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

// Run as an ordinary user, the capture replaced a read-only file of the user's own and, in a
// shared folder without the sticky bit, another user's file, which then belonged to the runner;
// and a capture that could not be written at all (a missing or read-only folder) was refused
// only after the whole run. Each is refused as the console opens (the runs here have no frame
// limit: only a refusal ends them), the file left as it was. Root replacing another user's
// file keeps its owner.
TEST_F(Faults, CaptureRefusesWhatItsUserMayNotWrite) {
    const bool root = geteuid() == 0;
    const uid_t runner = root ? nobody_uid() : geteuid();
    const gid_t runner_group = root ? nobody_gid() : getegid();
    ASSERT_NE(runner, uid_t(-1)) << "no user \"nobody\" to run as";
    // Where the unprivileged user can reach the program and its files
    fs::copy_file(RELIABILITY_DEMO, folder / "kelvra-demo");
    fs::permissions(folder, fs::perms(0755));
    const fs::path shared = folder / "shared", locked = folder / "locked";
    fs::create_directory(shared);
    fs::permissions(shared, fs::perms(0777));  // anybody may rename in it: no sticky bit
    fs::create_directory(locked);
    fs::permissions(locked, fs::perms(0555));
    ASSERT_EQ(chown(locked.c_str(), root ? 0 : runner, root ? 0 : runner_group), 0);
    const auto make = [&](const char* name, uid_t owner, int mode) {
        std::ofstream(shared / name) << "the bytes of " << name << "\n";
        EXPECT_EQ(chown((shared / name).c_str(), owner, owner == 0 ? 0 : runner_group), 0);
        fs::permissions(shared / name, fs::perms(mode));
    };
    make("own-read-only.png", runner, 0444);
    if (root) {
        make("theirs.png", 0, 0644);
        make("theirs-writable-by-all.png", 0, 0666);
    }
    struct Case {
        fs::path path;
        const char* reason;
    };
    std::vector<Case> cases = {
        {shared / "own-read-only.png", "Permission denied"},
        {locked / "frame.png", "cannot create a file in"},
        {folder / "missing" / "frame.png", "No such file or directory"},
    };
    if (root) {
        cases.push_back({shared / "theirs.png", "Permission denied"});
        cases.push_back({shared / "theirs-writable-by-all.png", "belongs to another user"});
    }
    std::map<std::string, std::string> before;
    for (const std::string& name : names_in(shared)) before[name] = file_state(shared / name);

    Launch l;
    l.environment["TRELK_DISPLAY"] = "headless";
    l.unprivileged = true;
    l.program = (folder / "kelvra-demo").string();
    l.limit = 10;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        l.environment["TRELK_CAPTURE"] = c.path.string();
        const Outcome o = run(l);
        expect_clear_failure(o, ("TRELK_CAPTURE=" + c.path.string() + ": refused").c_str());
        expect_clear_failure(o, c.reason);
        std::map<std::string, std::string> after;
        for (const std::string& name : names_in(shared)) after[name] = file_state(shared / name);
        EXPECT_EQ(after, before) << "the shared folder changed";
        EXPECT_TRUE(fs::is_empty(locked));
    }

    if (!root) return;
    SCOPED_TRACE("root replacing another user's file");
    make("for-root.png", runner, 0640);
    Launch as_root = frames(2);
    as_root.environment["TRELK_CAPTURE"] = (shared / "for-root.png").string();
    expect_normal_silent_run(run(as_root));
    struct stat st;
    ASSERT_EQ(stat((shared / "for-root.png").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, runner) << "the owner changed";
    EXPECT_EQ(st.st_gid, runner_group) << "the group changed";
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(file_state(shared / "for-root.png").find("the bytes of"), std::string::npos)
        << "not replaced";
}

// The capture looked at its target, then renamed over it: a FIFO put there in between was
// deleted. Here a racer swaps a FIFO and a regular file in and out of the target as fast as
// it can (exchanging the two names, so it never removes anything itself) while the demo
// captures to it again and again. Whatever each run ends with, the FIFO must still exist under
// one of the two names.
TEST_F(Faults, ACaptureRacingAFifoNeverRemovesIt) {
    const fs::path target = folder / "frame.png", aside = folder / "fifo-aside";
    std::ofstream(target) << "a regular file\n";
    ASSERT_EQ(mkfifo(aside.c_str(), 0644), 0) << std::strerror(errno);
    struct stat fifo;
    ASSERT_EQ(lstat(aside.c_str(), &fifo), 0);
    const auto fifo_kept = [&] {
        struct stat st;
        for (const fs::path& p : {target, aside}) {
            if (lstat(p.c_str(), &st) == 0 && st.st_ino == fifo.st_ino && S_ISFIFO(st.st_mode))
                return true;
        }
        return false;
    };
    // The racer swaps by short names in the folder, from the moment the program's new file
    // appears beside the target (so the program was let through every earlier look) until the
    // run ends. The program is given a long way there, which widens whatever window it leaves
    // between a look and a rename.
    const int place = open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(place, 0) << std::strerror(errno);
    const int created = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(created, 0) << std::strerror(errno);
    ASSERT_GE(inotify_add_watch(created, folder.c_str(), IN_CREATE), 0) << std::strerror(errno);
    const auto drain = [created] {
        alignas(struct inotify_event) char events[4096];
        ssize_t n;
        bool capture = false;
        while ((n = read(created, events, sizeof events)) > 0) {
            for (char* p = events; p < events + n;) {
                const auto* event = reinterpret_cast<const struct inotify_event*>(p);
                if (event->len && std::strstr(event->name, ".capture-")) capture = true;
                p += sizeof(struct inotify_event) + event->len;
            }
        }
        return capture;
    };
    std::atomic<bool> racing{true}, paused{false}, idle{false}, swapping{false};
    std::atomic<long> swaps{0};
    std::thread racer([&] {
        while (racing) {
            if (paused) {
                idle = true;
                continue;
            }
            idle = false;
            if (!swapping) {
                struct pollfd wait = {created, POLLIN, 0};
                if (poll(&wait, 1, 5) > 0 && drain()) swapping = true;
                continue;
            }
            if (renameat2(place, "frame.png", place, "fifo-aside", RENAME_EXCHANGE) == 0) ++swaps;
        }
    });
    std::string long_way = folder.string() + "/";
    for (int i = 0; i < 1000; ++i) long_way += "./";
    Launch l = frames(1);
    l.environment["TRELK_CAPTURE"] = long_way + "frame.png";
    l.limit = 10;
    int runs = 0, captured = 0;
    bool kept = true;
    while (runs < 45 && kept && !HasFailure()) {
        const Outcome o = run(l);
        EXPECT_TRUE(
            (o.exited && o.status == 0 && o.error.empty()) ||
            (o.exited && o.status == 1 && o.error.find("TRELK_CAPTURE") != std::string::npos))
            << "run " << runs << ": " << describe(o);
        ++runs;
        captured += o.exited && o.status == 0;
        // The racer stands still while both names are looked at, and waits for the next run
        idle = false;
        paused = true;
        while (!idle) std::this_thread::yield();
        kept = fifo_kept();
        drain();
        swapping = false;
        struct stat st;  // each run starts with the regular file at the target
        if (kept && lstat(target.c_str(), &st) == 0 && S_ISFIFO(st.st_mode))
            renameat2(place, "frame.png", place, "fifo-aside", RENAME_EXCHANGE);
        paused = false;
    }
    racing = false;
    racer.join();
    close(created);
    close(place);
    EXPECT_TRUE(kept) << "the FIFO was removed in run " << runs << " (" << captured
                      << " captures went in)";
    EXPECT_GT(swaps.load(), 100) << "the racer hardly ran";
}

// With a file size limit (ulimit -f) the capture's write ended the program by SIGXFSZ, its
// new file left behind. The same path of failure reports a full disk by its reason.
TEST_F(Faults, CaptureBeyondTheFileSizeLimitFailsClearly) {
    const fs::path target = folder / "frame.png";
    std::ofstream(target) << "the frame before\n";
    const std::string target_before = file_state(target);
    const std::vector<std::string> names_before = names_in(folder);
    Launch l = frames(2);
    l.environment["TRELK_CAPTURE"] = target.string();
    l.file_size_limit = 1024;
    l.limit = 10;
    const Outcome o = run(l);
    expect_clear_failure(o, ("TRELK_CAPTURE: cannot save " + target.string()).c_str());
    expect_clear_failure(o, "File too large");
    EXPECT_EQ(file_state(target), target_before) << "the target changed";
    std::vector<std::string> names_after = names_in(folder);
    names_after.erase(std::remove(names_after.begin(), names_after.end(), "stderr.txt"),
                      names_after.end());
    std::vector<std::string> expected = names_before;
    expected.erase(std::remove(expected.begin(), expected.end(), "stderr.txt"), expected.end());
    EXPECT_EQ(names_after, expected) << "something was left beside the target";
}

// Whether the running program holds a file in the folder other than the demo's own (its
// picture and music, standard error): the capture's or the recording's file, named or not,
// once it has at least `bytes` bytes. Waits for it until the program ends or the deadline.
bool file_open_in(pid_t pid, const fs::path& folder, double seconds, long long bytes = 0) {
    const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
    const std::string inside = folder.string() + "/";
    const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
    while (Clock::now() < deadline) {
        siginfo_t info{};
        if (waitid(P_PID, id_t(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid)
            return false;  // it has ended
        std::error_code error;
        for (const auto& fd : fs::directory_iterator(fds, error)) {
            const std::string target = fs::read_symlink(fd.path(), error).string();
            if (error || target.compare(0, inside.size(), inside) != 0) continue;
            const std::string name = target.substr(inside.size());
            struct stat st;
            if (name != "flagga.tga" && name != "bla.xm" && name != "stderr.txt" &&
                stat(fd.path().c_str(), &st) == 0 && st.st_size >= bytes)
                return true;
        }
    }
    return false;
}

// A second Ctrl-C or SIGTERM during a recording ended the program by the signal and left its
// unfinished file (".demo.mkv.capture-PID-0") for good, and so did SIGKILL; a Ctrl-C in the
// instant after that file was made, while the console was still opening, did the same. The
// file now has no name until it is finished, and signals are watched before it is made: the
// signal is sent as soon as the program holds its file. Nothing may be left but a whole
// video, and a first Ctrl-C ends the run normally. The capture's file at close likewise.
TEST_F(Faults, SignalsAndKillsDuringARecordingOrCaptureLeaveNoFile) {
    if (!RELIABILITY_RECORDER) GTEST_SKIP() << "no recorder in this build";
    const std::vector<std::string> demo_files = names_in(folder);
    // Run with these settings; as soon as the program holds its file, the signals are sent
    auto run_and_signal = [&](const char* setting, const char* target, long long frame_count,
                              std::vector<int> signals) {
        Launch l = frames(int(frame_count));
        l.environment[setting] = target;
        l.limit = 120;
        l.after = 1e9;
        l.steps.push_back({0, [this, signals](Session& s) {
                               if (!file_open_in(s.pid, folder, 100)) return;
                               for (int signal : signals) kill(s.pid, signal);
                           }});
        return run(l);
    };
    // What is left beside the demo's files: nothing, or the whole target
    auto left = [&](const char* target) {
        std::vector<std::string> found;
        for (const std::string& name : names_in(folder)) {
            if (std::find(demo_files.begin(), demo_files.end(), name) == demo_files.end() &&
                name != "stderr.txt" && name != target)
                found.push_back(name);
        }
        return found;
    };
    const std::vector<std::string> nothing;

    // A second signal, and SIGKILL, end a recording at once and leave nothing
    for (const std::vector<int>& signals :
         {std::vector<int>{SIGINT, SIGTERM}, std::vector<int>{SIGKILL}}) {
        SCOPED_TRACE("signals " + std::to_string(signals.front()));
        const Outcome o = run_and_signal("TRELK_RECORD", "demo.mkv", 1000000, signals);
        EXPECT_TRUE(!o.exited && !o.timed_out &&
                    (o.signal == SIGINT || o.signal == SIGTERM || o.signal == SIGKILL))
            << describe(o);
        EXPECT_EQ(left(""), nothing);
    }
    // The same as the capture is written at the end of a run
    {
        const Outcome o = run_and_signal("TRELK_CAPTURE", "shot.png", 30, {SIGINT, SIGTERM});
        EXPECT_FALSE(o.timed_out) << describe(o);
        EXPECT_EQ(left("shot.png"), nothing) << describe(o);
        fs::remove(folder / "shot.png");
    }
    // One Ctrl-C the moment the recording's file is made ends the run normally
    for (int attempt = 0; attempt < 3; ++attempt) {
        const Outcome o = run_and_signal("TRELK_RECORD", "demo.mkv", 1000000, {SIGINT});
        expect_normal_silent_run(o);
        EXPECT_EQ(left("demo.mkv"), nothing);
        fs::remove(folder / "demo.mkv");
    }
}

// TRELK_CAPTURE and TRELK_RECORD naming one file: the picture was overwritten by the video in
// silence. They are refused as the console opens, naming both, also when the names differ but
// the file is the same. And a recording whose folder was removed while it ran said "it kept
// changing while it was being replaced": it now says the folder is gone.
TEST_F(Faults, CaptureAndRecordingSayWhenTheirFileCannotBeTheirs) {
    if (!RELIABILITY_RECORDER) GTEST_SKIP() << "no recorder in this build";
    fs::create_directory(folder / "sub");
    std::ofstream(folder / "sub/demo.mkv") << "an older video\n";
    fs::create_symlink("sub/demo.mkv", folder / "link.mkv");
    const std::vector<std::pair<std::string, std::string>> pairs = {
        {"demo.mkv", "demo.mkv"}, {"./sub/../demo.mkv", "demo.mkv"}, {"link.mkv", "sub/demo.mkv"}};
    for (const auto& [capture, record] : pairs) {
        SCOPED_TRACE(capture + " " + record);
        Launch l = frames(5);
        l.environment["TRELK_CAPTURE"] = capture;
        l.environment["TRELK_RECORD"] = record;
        l.limit = 20;
        expect_clear_failure(run(l), ("TRELK_CAPTURE=" + capture + " and TRELK_RECORD=" + record +
                                      " name the same file: give them different names")
                                         .c_str());
    }
    std::string kept;
    std::getline(std::ifstream(folder / "sub/demo.mkv"), kept);
    EXPECT_EQ(kept, "an older video");

    Launch l = frames(1000000);
    l.environment["TRELK_RECORD"] = "sub/demo.mkv";
    l.limit = 120;
    l.after = 1e9;
    l.steps.push_back({0, [this](Session& s) {
                           // Once frames are in it: a recording without one writes nothing
                           if (!file_open_in(s.pid, folder / "sub", 100, 100000)) return;
                           fs::remove_all(folder / "sub");
                           kill(s.pid, SIGINT);
                       }});
    expect_clear_failure(run(l),
                         "TRELK_RECORD: cannot save sub/demo.mkv: its folder sub was "
                         "removed while the file was being written");
}

// ---- memory ----

// Running out of memory aborted the demo (status 134, a core dump) at a dozen places: a
// std::bad_alloc escaped the libraries' entries and the demo, which catches DynamicError only.
// Every allocation of a short run is failed in turn, one per run, with a preloaded allocator
// (tests/fail_allocation.cpp). Each run must end normally or with a message and status 1.
// libxmp's own allocations are left alone: it does not survive all of them failing (it
// crashes at one of its first and leaks at others), which is outside what we can mend; what
// the music library hands it is bounded instead (see platform/music/midas_sdl.cpp).
TEST_F(Faults, RunningOutOfMemoryAnywhereEndsCleanly) {
    Launch l = frames(1);
    l.environment["LD_PRELOAD"] = RELIABILITY_FAIL_ALLOCATION;
    l.environment["FAIL_ALLOCATION_SPARE"] = "libxmp";
    l.environment["TRELK_CAPTURE"] = (folder / "frame.png").string();
    // The preloaded allocator comes before the sanitizer's runtime, which then serves it; the
    // leaks of a run cut short are not what this test looks at
    l.environment["ASAN_OPTIONS"] = "verify_asan_link_order=0:detect_leaks=0";
    l.limit = 20;
    const fs::path count_file = folder / "allocations.txt";
    l.environment["FAIL_ALLOCATION_LOG"] = count_file.string();
    expect_normal_silent_run(run(l));
    long long total = 0;
    std::ifstream(count_file) >> total;
    ASSERT_GT(total, 50) << "the preloaded allocator counted nothing";
    l.environment["FAIL_ALLOCATION_LOG"] = "";

    int clean_failures = 0;
    for (long long n = 1; n <= total + 5; ++n) {
        l.environment["FAIL_ALLOCATION"] = std::to_string(n);
        const Outcome o = run(l);
        const bool normal = o.exited && o.status == 0;
        const bool reported = o.exited && o.status == 1 && !o.error.empty() &&
                              o.error.find("Sanitizer") == std::string::npos;
        EXPECT_TRUE(normal || reported)
            << "allocation " << n << " of " << total << " failed: " << describe(o);
        clean_failures += reported;
        if (HasFailure()) break;  // one is enough to look at
    }
    EXPECT_GT(clean_failures, 10) << "no failed allocation was noticed: is the allocator loaded?";
}

// Memory that stays exhausted: every allocation from the Nth on fails. The first error made
// then needed memory for its slot in the table of errors, and the std::bad_alloc thrown
// instead ended the program (status 134); later, a thread's buffers for scaled copies could
// not register their destructor, and the C library ended it. And SDL, out of memory for the
// text of its last error, gives a null for it, which the music library made a string of (a
// crash in the audio opener): each of SDL's allocations is failed in turn with an audio driver
// that is refused. Each run must end normally or with a message and status 1.
TEST_F(Faults, MemoryThatStaysExhaustedEndsWithAMessage) {
    Launch l = frames(1);
    l.environment["LD_PRELOAD"] = RELIABILITY_FAIL_ALLOCATION;
    l.environment["ASAN_OPTIONS"] = "verify_asan_link_order=0:detect_leaks=0";
    l.environment["TRELK_CAPTURE"] = (folder / "frame.png").string();
    l.limit = 20;
    const auto expect_ended_cleanly = [](const Outcome& o, const std::string& what) {
        const bool normal = o.exited && o.status == 0;
        const bool reported = o.exited && o.status == 1 && !o.error.empty() &&
                              o.error.find("runtime error") == std::string::npos &&
                              o.error.find("Sanitizer") == std::string::npos;
        EXPECT_TRUE(normal || reported) << what << ": " << describe(o);
    };
    const auto allocations = [&](Launch counted) {
        const fs::path count_file = folder / "allocations.txt";
        fs::remove(count_file);
        counted.environment["FAIL_ALLOCATION_LOG"] = count_file.string();
        expect_normal_silent_run(run(counted));
        long long total = 0;
        std::ifstream(count_file) >> total;
        return total;
    };

    l.environment["FAIL_ALLOCATION_SPARE"] = "libxmp";
    const long long total = allocations(l);
    ASSERT_GT(total, 50) << "the preloaded allocator counted nothing";
    l.environment["FAIL_ALLOCATION_ONWARD"] = "1";
    int reported = 0;
    for (long long n = 5; n <= total + 5 && !HasFailure(); n += 5) {
        l.environment["FAIL_ALLOCATION"] = std::to_string(n);
        const Outcome o = run(l);
        expect_ended_cleanly(o, "every allocation from " + std::to_string(n) + " of " +
                                    std::to_string(total) + " failed");
        reported += o.exited && o.status == 1;
    }
    EXPECT_GT(reported, 5) << "no failed allocation was noticed: is the allocator loaded?";

    l.environment["FAIL_ALLOCATION_ONWARD"] = "";
    l.environment["FAIL_ALLOCATION_SPARE"] = "";
    l.environment["FAIL_ALLOCATION_ONLY"] = "libSDL2";
    l.environment["SDL_AUDIODRIVER"] = "no-such-audio-driver";
    const long long by_sdl = allocations(l);
    ASSERT_GT(by_sdl, 10) << "SDL's allocations were not counted";
    for (long long n = 1; n <= by_sdl && !HasFailure(); ++n) {
        l.environment["FAIL_ALLOCATION"] = std::to_string(n);
        expect_ended_cleanly(run(l), "SDL's allocation " + std::to_string(n) + " of " +
                                         std::to_string(by_sdl) + " failed");
    }
}

// ---- settings ----

// An empty TRELK_FRAMES was taken as unset: an endless run where a short one was asked for;
// TRELK_VSYNC=off, no or false was taken as on. And messages were cut at 511 bytes: a long
// capture path lost the reason after it.
TEST_F(Faults, BadSettingsAreRefusedWithTheWholeMessage) {
    for (const char* vsync : {"off", "no", "false"}) {
        Launch l = frames(3);
        l.environment["TRELK_VSYNC"] = vsync;
        const std::string message =
            std::string("TRELK_VSYNC=") + vsync + ": not a value it takes; use one of: 0, 1";
        expect_clear_failure(run(l), message.c_str());
    }
    for (const char* frames : {"", "-1", "ten"}) {
        SCOPED_TRACE(std::string("TRELK_FRAMES=\"") + frames + "\"");
        Launch l;
        l.environment["TRELK_DISPLAY"] = "headless";
        if (*frames)
            l.environment["TRELK_FRAMES"] = frames;
        else
            l.set_empty.push_back("TRELK_FRAMES");
        l.limit = 10;
        expect_clear_failure(run(l), "TRELK_FRAMES");
    }
    std::string deep = (folder / "no-such-folder").string();
    while (deep.size() < 1500) deep += "/no-such-folder";
    Launch l = frames(3);
    l.environment["TRELK_CAPTURE"] = deep + "/frame.png";
    const Outcome o = run(l);
    expect_clear_failure(o, (deep + "/frame.png").c_str());
    expect_clear_failure(o, "No such file or directory\n");
}

// TRELK_RECORD_FPS and TRELK_RECORD_SCALE set but empty ended the run with status 1 even with
// nothing to record, where an empty setting counts as unset (TRELK_FRAMES alone is refused);
// a count starting with a tab was taken while one starting with a space was refused. And a
// misspelt setting was ignored in silence (TRELK_FRAME=300: an endless run): each variable
// named TRELK_... that is no setting now gets a line naming the nearest setting, and the run
// goes on.
TEST_F(Faults, SettingsAreReadAsTheyAreDocumented) {
    Launch empty = frames(3);
    empty.set_empty = {"TRELK_RECORD_FPS", "TRELK_RECORD_SCALE"};
    expect_normal_silent_run(run(empty));
    for (const char* value : {"\t5", " 5", "5 ", "+5"}) {
        SCOPED_TRACE(std::string("\"") + value + "\"");
        Launch l = frames(3);
        l.environment["TRELK_RECORD_FPS"] = value;
        expect_clear_failure(run(l), (std::string("TRELK_RECORD_FPS=") + value +
                                      ": not a number; use a whole number of 0 or more")
                                         .c_str());
    }

    Launch misspelt = frames(3);
    misspelt.environment["TRELK_FRAME"] = "300";
    misspelt.environment["TRELK_DISPALY"] = "headless";
    misspelt.environment["TRELK_RECORDS"] = "demo.mkv";
    misspelt.environment["TRELK_WINDOWS_SOURCES"] = "/tmp";  // windows.sh's own: no warning
    const Outcome o = run(misspelt);
    EXPECT_TRUE(o.exited && o.status == 0) << describe(o);
    for (const char* line : {"TRELK_FRAME is not a setting; did you mean TRELK_FRAMES?\n",
                             "TRELK_DISPALY is not a setting; did you mean TRELK_DISPLAY?\n",
                             "TRELK_RECORDS is not a setting; did you mean TRELK_RECORD?\n"})
        EXPECT_NE(o.error.find(line), std::string::npos) << describe(o);
    EXPECT_EQ(std::count(o.error.begin(), o.error.end(), '\n'), 3) << describe(o);
}

// ---- signals ----

TEST_F(Faults, InterruptAndTerminateEndHeadlessRunsNormally) {
    for (int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(strsignal(signal));
        Launch l;
        l.environment["TRELK_DISPLAY"] = "headless";
        l.signal = signal;
        expect_normal_silent_run(run(l));
    }
}

TEST_F(Faults, InterruptTerminateAndHangUpRestoreTheTerminalOfAHeadlessRun) {
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(strsignal(signal));
        Launch l;
        l.environment["TRELK_DISPLAY"] = "headless";
        l.terminal = true;
        l.signal = signal;
        const Outcome o = run(l);
        expect_normal_silent_run(o);
        EXPECT_FALSE(o.raw_after) << "the terminal was left in raw mode";
    }
}

TEST_F(Faults, InterruptTerminateAndHangUpEndTheTerminalBackEndNormally) {
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(strsignal(signal));
        Launch l;
        l.environment["TRELK_DISPLAY"] = "terminal";
        l.terminal = true;
        l.signal = signal;
        const Outcome o = run(l);
        if (o.exited && o.status == 1 && o.error.find("no such display") != std::string::npos) {
            GTEST_SKIP() << "no terminal back end in this build";
        }
        expect_normal_silent_run(o);
        EXPECT_FALSE(o.raw_after) << "the terminal was left in raw mode";
        expect_screen_restored(o);
    }
}

TEST_F(Faults, TerminalClosingUnderTheProgramEndsIt) {
    for (const char* backend : {"terminal", "headless"}) {
        SCOPED_TRACE(backend);
        Launch l;
        l.environment["TRELK_DISPLAY"] = backend;
        l.terminal = true;
        l.hang_up = true;
        const Outcome o = run(l);
        // Nobody is left to read a message: ending at once, by the hang-up itself or by a
        // normal exit, is right; a crash or a hang is not
        EXPECT_FALSE(o.timed_out) << "the program hung after its terminal closed";
        EXPECT_TRUE((o.exited && o.status == 0) || o.signal == SIGHUP)
            << "expected exit status 0 or the end by SIGHUP; got " << describe(o);
    }
}

// The terminal put back into line mode under the running program, from outside (stty sane)
// or by a shell that restores its own settings when it continues a stopped job: the program
// must not wait in a read for a whole line. It puts raw mode back; a key or the first SIGTERM
// ends it normally.
TEST_F(Faults, LineModeSetUnderTheProgramIsUndoneAndKeysStillEndIt) {
    const auto line_mode = [](Session& s) {
        struct termios settings {};
        tcgetattr(s.slave, &settings);
        settings.c_lflag |= ICANON | ECHO;
        settings.c_iflag |= ICRNL;
        tcsetattr(s.slave, TCSANOW, &settings);
    };
    for (const char* backend : {"terminal", "headless"}) {
        for (const char* how :
             {"stty then a key", "stop, stty, continue, then a key", "stty then SIGTERM"}) {
            SCOPED_TRACE(std::string(backend) + ": " + how);
            Launch l;
            l.environment["TRELK_DISPLAY"] = backend;
            l.terminal = true;
            l.limit = 20;
            if (std::strcmp(how, "stop, stty, continue, then a key") == 0) {
                l.steps = {{1.5, [](Session& s) { kill(s.pid, SIGSTOP); }},
                           {1.7, line_mode},
                           {1.9, [](Session& s) { kill(s.pid, SIGCONT); }}};
            } else {
                l.steps = {{1.5, line_mode}};
            }
            if (std::strstr(how, "key")) {
                l.steps.push_back({3, [](Session& s) { (void)!write(s.master, "x", 1); }});
            } else {
                l.steps.push_back({3, [](Session& s) { kill(s.pid, SIGTERM); }});
            }
            const Outcome o = run(l);
            expect_normal_silent_run(o);
            EXPECT_LT(o.ended_at, 10) << "the program ended only " << o.ended_at << " s in";
            EXPECT_FALSE(o.raw_after) << "the terminal was left in raw mode";
            expect_screen_restored(o);
        }
    }
}

// Signals that end a program by default (Ctrl-\ is SIGQUIT): the terminal comes back, then the
// program ends by that same signal
TEST_F(Faults, SignalsThatEndTheProgramRestoreTheTerminalFirst) {
    for (const char* backend : {"terminal", "headless"}) {
        for (int signal : {SIGQUIT, SIGPIPE, SIGUSR1, SIGABRT, SIGALRM}) {
            SCOPED_TRACE(std::string(backend) + ": " + strsignal(signal));
            Launch l;
            l.environment["TRELK_DISPLAY"] = backend;
            l.terminal = true;
            l.signal = signal;
            l.limit = 20;
            const Outcome o = run(l);
            EXPECT_EQ(o.signal, signal) << "expected the end by that signal; got " << describe(o);
            EXPECT_FALSE(o.raw_after) << "the terminal was left in raw mode";
            expect_screen_restored(o);
        }
    }
}

// A program started with Ctrl-C and hang-ups ignored (nohup, a background job of a script)
// keeps ignoring them; SIGTERM still ends it normally
TEST_F(Faults, SignalsIgnoredAtStartStayIgnored) {
    for (const char* backend : {"terminal", "headless"}) {
        SCOPED_TRACE(backend);
        Launch l;
        l.environment["TRELK_DISPLAY"] = backend;
        l.terminal = true;
        l.ignored = {SIGINT, SIGHUP};
        l.steps = {{1.5, [](Session& s) { kill(s.pid, SIGINT); }},
                   {1.6, [](Session& s) { kill(s.pid, SIGHUP); }},
                   {3, [](Session& s) { kill(s.pid, SIGTERM); }}};
        const Outcome o = run(l);
        expect_normal_silent_run(o);
        EXPECT_GE(o.ended_at, 3) << "ended by an ignored signal";
        EXPECT_FALSE(o.raw_after) << "the terminal was left in raw mode";
    }
}

// A second Ctrl-C or SIGTERM right after the first, while the terminal is still busy with the
// last frame; and a terminal that takes nothing for more than a second just as the program
// ends. The restoring bytes must get out whole, and not inside a sequence cut short.
TEST_F(Faults, TheRestoringBytesGetOutOfABusyTerminal) {
    for (int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(std::string("two quick ") + strsignal(signal));
        Launch l;
        l.environment["TRELK_DISPLAY"] = "terminal";
        l.terminal = true;
        l.limit = 20;
        l.steps = {{1.5, [](Session& s) { s.draining = false; }},
                   {2, [signal](Session& s) { kill(s.pid, signal); }},
                   {2, [signal](Session& s) { kill(s.pid, signal); }},
                   {2.3, [](Session& s) { s.draining = true; }}};
        const Outcome o = run(l);
        EXPECT_TRUE(o.signal == signal || (o.exited && o.status == 0)) << describe(o);
        EXPECT_FALSE(o.raw_after) << "the terminal was left in raw mode";
        expect_screen_restored_whole(o);
    }
    SCOPED_TRACE("a terminal that stalls for 1.3 s as the program ends");
    Launch l;
    l.environment["TRELK_DISPLAY"] = "terminal";
    l.terminal = true;
    l.limit = 20;
    l.steps = {{1.5, [](Session& s) { s.draining = false; }},
               {1.7, [](Session& s) { kill(s.pid, SIGTERM); }},
               {3, [](Session& s) { s.draining = true; }}};
    const Outcome o = run(l);
    expect_normal_silent_run(o);
    EXPECT_FALSE(o.raw_after) << "the terminal was left in raw mode";
    expect_screen_restored_whole(o);
}

// Ctrl-Z where no shell controls the program (here it leads its own session, as under tmux,
// ssh -t or sh -c): the stop is discarded, and the program went on drawing over the normal
// screen it had just given back. Whatever leaves the alternate screen before the end must be
// followed by entering it again before anything else is written, and a key still ends it.
TEST_F(Faults, CtrlZWithoutJobControlNeverDrawsOnTheNormalScreen) {
    Launch l;
    l.environment["TRELK_DISPLAY"] = "terminal";
    l.terminal = true;
    l.limit = 15;
    l.steps = {{1.5, [](Session& s) { (void)!write(s.master, "\x1a", 1); }},
               {3, [](Session& s) { (void)!write(s.master, "x", 1); }}};
    const Outcome o = run(l);
    expect_normal_silent_run(o);
    EXPECT_FALSE(o.raw_after) << "the terminal was left in raw mode";
    expect_screen_restored(o);
    const std::string leave = "\x1b[?1049l", enter = "\x1b[?1049h";
    const std::size_t last_leave = o.screen.rfind(leave);
    std::size_t left = o.screen.find(leave), stops = 0;
    while (left != std::string::npos && left != last_leave) {
        ++stops;
        const std::size_t after = left + leave.size();
        EXPECT_EQ(o.screen.compare(after, enter.size(), enter), 0)
            << "drawn on the normal screen after a stop: \"" << o.screen.substr(after, 40)
            << "...\"";
        left = o.screen.find(leave, after);
    }
    EXPECT_EQ(stops, 1u) << "Ctrl-Z did not reach the program";
}

// In a locale whose character set is not UTF-8 (LC_ALL=C) the terminal back end wrote UTF-8
// half blocks all the same: garbage. Forced, it is refused with the reason; chosen by itself,
// the program says so and runs headless. Nothing but plain ASCII reaches the terminal.
TEST_F(Faults, TheTerminalBackEndNeedsAUtf8Locale) {
    for (const char* display : {"terminal", ""}) {
        SCOPED_TRACE(*display ? "forced" : "chosen by itself");
        Launch l = frames(30);
        l.environment["TRELK_DISPLAY"] = display;
        l.environment["LC_ALL"] = "C";
        l.terminal = true;
        l.limit = 15;
        const Outcome o = run(l);
        if (*display) {
            expect_clear_failure(o, "not UTF-8");
        } else {
            EXPECT_TRUE(o.exited && o.status == 0) << describe(o);
            EXPECT_NE(o.error.find("not drawing in the terminal"), std::string::npos)
                << describe(o);
        }
        EXPECT_EQ(std::count_if(o.screen.begin(), o.screen.end(),
                                [](char c) { return static_cast<unsigned char>(c) >= 0x80; }),
                  0)
            << "UTF-8 written to the terminal";
        EXPECT_FALSE(o.raw_after) << "the terminal was left in raw mode";
    }
}

// A storm of resizes (100 a second for 3 s) must not put the pacing to sleep: a key typed
// after it ends the program at once
TEST_F(Faults, AStormOfResizesLeavesTheTerminalBackEndResponsive) {
    Launch l;
    l.environment["TRELK_DISPLAY"] = "terminal";
    l.terminal = true;
    l.limit = 60;
    for (int i = 0; i < 300; ++i) {
        l.steps.push_back({1.5 + i * 0.01, [i](Session& s) {
                               struct winsize size = {static_cast<unsigned short>(10 + i % 5),
                                                      static_cast<unsigned short>(30 + i % 10), 0,
                                                      0};
                               ioctl(s.slave, TIOCSWINSZ, &size);  // sends SIGWINCH
                           }});
    }
    l.steps.push_back({4.5, [](Session& s) { (void)!write(s.master, "x", 1); }});
    const Outcome o = run(l);
    expect_normal_silent_run(o);
    EXPECT_LT(o.ended_at, 6.5) << "the key typed at 4.5 s ended the program only at " << o.ended_at
                               << " s";
    expect_screen_restored(o);
}

// Standard input not a terminal (< /dev/null) while the terminal back end draws: keys come
// from the controlling terminal, so a key still ends the program
TEST_F(Faults, KeysEndTheTerminalBackEndWhenStandardInputIsNoTerminal) {
    Launch l;
    l.environment["TRELK_DISPLAY"] = "terminal";
    l.terminal = true;
    l.input_from_null = true;
    l.limit = 15;
    l.steps = {{2, [](Session& s) { (void)!write(s.master, "x", 1); }}};
    const Outcome o = run(l);
    expect_normal_silent_run(o);
    EXPECT_FALSE(o.raw_after) << "the terminal was left in raw mode";
    expect_screen_restored(o);
}

TEST_F(Faults, InterruptAndTerminateEndWindowRunsNormally) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display: run under xvfb-run";
    for (int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(strsignal(signal));
        Launch l;
        l.environment["DISPLAY"] = std::getenv("DISPLAY");
        l.environment["TRELK_DISPLAY"] = "window";
        l.signal = signal;
        l.after = 3;
        expect_normal_silent_run(run(l));
    }
}

}  // namespace
