// Keys typed at a real terminal reach a headless console: a child process on a
// pseudo-terminal opens one and reads a key we type, and the terminal's settings come back
// when the console closes and when the program exits without closing it.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/display/backends/terminal_input.h"
#include "platform/display/test_counters.h"
#include "trelk/console.h"
#include "trelk/draw.h"
#include "trelk/key.h"

namespace {

bool echo_on(int fd) {
    struct termios settings;
    return tcgetattr(fd, &settings) == 0 && (settings.c_lflag & ECHO);
}

// What the child printed until text appeared (or 10 seconds passed)
std::string read_until(int master, const std::string& text) {
    std::string out;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (out.find(text) == std::string::npos && std::chrono::steady_clock::now() < end) {
        struct pollfd input = {master, POLLIN, 0};
        if (poll(&input, 1, 100) <= 0) continue;
        char buffer[256];
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n <= 0) break;
        out.append(buffer, std::size_t(n));
    }
    return out;
}

// The child: a headless console on the terminal; reads one key and reports it with whether
// echo was off while open and on again after close (or leaves without closing)
[[noreturn]] void child(bool close_before_exit) {
    setenv("TRELK_DISPLAY", "headless", 1);
    unsetenv("TRELK_FRAMES");
    {
        trelk::Console console;
        console.open("terminal keys", 0);
        std::printf("ready\n");
        std::fflush(stdout);
        const trelk::Key key = console.read();
        const bool raw = !echo_on(STDIN_FILENO);
        if (!close_before_exit) {
            std::printf("code %d shift %d raw %d\n", key.code(), key.modifier2() ? 1 : 0, raw);
            std::fflush(stdout);
            std::exit(0);  // the exit hook puts the terminal back
        }
        // A terminal sends no releases: held just after the press, not once it is long past
        const bool held_at_once = trelk::held(console, key.code());
        usleep(700000);
        const bool held_later = trelk::held(console, key.code());
        console.close();
        std::printf("code %d shift %d raw %d echo %d held %d %d\n", key.code(),
                    key.modifier2() ? 1 : 0, raw, echo_on(STDIN_FILENO) ? 1 : 0, held_at_once,
                    held_later);
        std::fflush(stdout);
    }
    std::_Exit(0);
}

void run_child(bool close_before_exit, const char* typed, const std::string& expected) {
    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    ASSERT_GE(pid, 0);
    if (pid == 0) child(close_before_exit);
    const std::string ready = read_until(master, "ready");
    ASSERT_NE(ready.find("ready"), std::string::npos) << ready;
    ASSERT_EQ(write(master, typed, std::strlen(typed)), ssize_t(std::strlen(typed)));
    const std::string report = read_until(master, "\n");
    EXPECT_NE(report.find(expected), std::string::npos) << "got: " << report;
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    close(master);
}

TEST(DisplayTerminalInput, AKeyTypedAtTheTerminalIsReadAndTheTerminalComesBackOnClose) {
    run_child(true, "X", "code 88 shift 1 raw 1 echo 1 held 1 0");
}

TEST(DisplayTerminalInput, TheTerminalComesBackWhenTheProgramExitsWithoutClosing) {
    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    ASSERT_GE(pid, 0);
    if (pid == 0) child(false);
    ASSERT_NE(read_until(master, "ready").find("ready"), std::string::npos);
    EXPECT_FALSE(echo_on(master)) << "raw while the console is open";
    ASSERT_EQ(write(master, "\x1b[A", 3), 3);
    EXPECT_NE(read_until(master, "\n").find("code 38 shift 0 raw 1"), std::string::npos);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(echo_on(master)) << "the exit hook restored the terminal";
    close(master);
}

// Waiting for a key from the terminal with no TRELK_FRAMES, headless keeps step with a display
// of 60 frames a second instead of spinning; with TRELK_FRAMES it does not. Counted over at
// least half a second: at most 31 frames paced, a load on the machine only making it fewer.
TEST(DisplayTerminalInput, HeadlessWaitingForTerminalKeysPacesLikeADisplay) {
    int master = -1, slave = -1;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    const int saved = dup(STDIN_FILENO);
    dup2(slave, STDIN_FILENO);
    setenv("TRELK_DISPLAY", "headless", 1);
    unsetenv("TRELK_VSYNC");
    int frames = 0;
    bool paced = false, counted_paced = true;
    {
        unsetenv("TRELK_FRAMES");
        trelk::Console console;
        console.open("paced", 0);
        paced = console.option("paced");
        const auto start = std::chrono::steady_clock::now();
        while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(500)) {
            console.update();
            ++frames;
        }
        console.close();
        setenv("TRELK_FRAMES", "1000000", 1);
        console.open("counted", 0);
        counted_paced = console.option("paced");
        console.close();
        unsetenv("TRELK_FRAMES");
    }
    dup2(saved, STDIN_FILENO);
    close(saved);
    close(slave);
    close(master);
    EXPECT_TRUE(paced);
    EXPECT_LE(frames, 40) << "frames in half a second";
    EXPECT_FALSE(counted_paced) << "TRELK_FRAMES runs are not paced";
}

// A key typed while a back end sleeps to pace its frames ends the sleep at once (the program sees
// it then, not a frame later) and is kept for the next poll; with nothing typed the sleep lasts
// to its end. The first sleep is given ten seconds: ending it at its deadline is the fault.
TEST(DisplayTerminalInput, AKeyEndsThePacingSleepAndWaitsForThePoll) {
    int master = -1, slave = -1;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    const int saved = dup(STDIN_FILENO);
    dup2(slave, STDIN_FILENO);
    bool active = false, woke = false, slept = false, kept = false;
    std::int64_t early = 0, late = 0;
    display::KeyValue key{};
    {
        display::TerminalInput input;
        active = input.active();
        if (active && write(master, "X", 1) == 1) {
            const std::int64_t until = display::now_nanoseconds() + 10000000000LL;
            woke = input.sleep_until(until);
            early = until - display::now_nanoseconds();
            display::KeyQueue keys;
            input.poll(keys);
            kept = keys.pop(&key);
            const std::int64_t short_until = display::now_nanoseconds() + 30000000LL;
            slept = input.sleep_until(short_until);
            late = display::now_nanoseconds() - short_until;
        }
    }
    dup2(saved, STDIN_FILENO);
    close(saved);
    close(slave);
    close(master);
    ASSERT_TRUE(active);
    EXPECT_TRUE(woke);
    EXPECT_GT(early, 0) << "the key did not end the sleep";
    ASSERT_TRUE(kept) << "the key was lost";
    EXPECT_EQ(key.code, 88);
    EXPECT_TRUE(slept);
    EXPECT_GE(late, 0) << "a sleep with nothing typed ended early";
}

}  // namespace
