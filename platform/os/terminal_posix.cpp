// The terminal on POSIX systems (termios, poll, signals): keys in raw mode, writes to the
// screen, its size, and giving it all back. See terminal.h.
//
// Decisions:
// - Every signal whose default action ends the program (SIGQUIT from Ctrl-\, SIGPIPE, SIGUSR1,
//   SIGABRT, SIGSEGV ...), caught only where its action is still the default (a signal the
//   program was started to ignore stays ignored; a sanitizer's own handlers stay), gives the
//   terminal back and then ends the program by that same signal with its default action, as it
//   would have without us. SIGINT, SIGTERM and SIGHUP are signals.h's (the first asks to quit).
// - SIGPIPE keeps its meaning: a program whose output reader went away ends by it, as shell
//   pipelines expect (standard error into a closed pipe), after the terminal comes back. Our
//   writes to the terminal cannot raise it: a terminal is not a pipe, and a hung-up terminal
//   fails the write with an error instead.
// - Keys are read from a non-blocking descriptor of our own (standard input itself, polled
//   before each read, only when none opens), so no read waits whatever the settings are.
// - Writes to the terminal are whole: a frame given up when the terminal is stuck still ends
//   its last escape sequence or character first (those bytes are kept and written before
//   anything else), so restoring bytes written after it are never read as part of a sequence.
//   A signal handler that writes meanwhile completes the sequence the program was inside.
// - Every wait for the terminal is bounded: about a second without progress.
#include <fcntl.h>
#include <langinfo.h>
#include <locale.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/os/terminal.h"

namespace os {
namespace {

// The end of the escape sequence (ESC [ ... final byte, or ESC and one byte) or UTF-8
// character that byte `at` of data is in, as data is written from its start; `at` itself when
// a new one starts there. Never more than length.
std::size_t terminal_sequence_end(const char* data, std::size_t length, std::size_t at) {
    std::size_t i = 0;
    while (i < at && i < length) {
        const unsigned char b = static_cast<unsigned char>(data[i++]);
        if (b == 0x1b && i < length && data[i] == '[') {  // ESC [ parameters final
            ++i;
            while (i < length && (data[i] < 0x40 || data[i] > 0x7e)) ++i;
            if (i < length) ++i;
        } else if (b == 0x1b) {
            if (i < length) ++i;
        } else if (b >= 0xc0) {
            while (i < length && (static_cast<unsigned char>(data[i]) & 0xc0) == 0x80) ++i;
        }
    }
    return std::max(i, std::min(at, length));
}

constexpr int restore_patience = 1000;  // milliseconds a handler waits for the terminal

// The terminal's settings before raw mode, and raw mode as set; one raw mode at a time, shared
// by all users, on one descriptor of our own for the terminal (read by signal handlers)
struct termios saved_settings, raw_settings;
volatile std::sig_atomic_t raw_users = 0;
volatile std::sig_atomic_t input_fd = -1;
bool own_input_fd = false;  // input_fd was opened here (else it is standard input)
bool exit_hook = false;

std::int64_t monotonic_milliseconds() {  // async-signal-safe
    struct timespec now = {0, 0};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Writes all of bytes before the deadline if the terminal takes them, waiting for room;
// returns how many were written. Async-signal-safe.
std::size_t write_before(int fd, const char* bytes, std::size_t length, std::int64_t deadline) {
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::write(fd, bytes + done, length - done);
        if (n > 0) {
            done += std::size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            const std::int64_t rest = deadline - monotonic_milliseconds();
            if (rest <= 0) break;
            struct pollfd out = {fd, POLLOUT, 0};
            const int ready = ::poll(&out, 1, int(rest));
            if (ready > 0 && (out.revents & (POLLERR | POLLHUP | POLLNVAL))) break;
            if (ready >= 0 || errno == EINTR) continue;
        }
        break;
    }
    return done;
}

// Bytes for the terminal that a signal handler may have to write: set outside handlers, read
// inside them (a handler meanwhile sees a length of 0 and writes nothing half changed)
class SignalBytes {
public:
    void set(int to, const char* text) {
        length = 0;
        if (!text) return;
        const std::size_t n = std::min(std::strlen(text), sizeof bytes);
        std::memcpy(bytes, text, n);
        fd = to;
        length = int(n);
    }
    int descriptor() const { return length > 0 ? int(fd) : -1; }
    // Async-signal-safe
    void write(std::int64_t deadline) const { write(length, deadline); }
    // The same, and never again: the length is taken first, so a signal arriving meanwhile
    // writes nothing a second time
    void write_once(std::int64_t deadline) {
        const int n = length;
        length = 0;
        write(n, deadline);
    }

private:
    char bytes[63];
    volatile std::sig_atomic_t length = 0;
    volatile std::sig_atomic_t fd = -1;

    void write(int n, std::int64_t deadline) const {
        if (n <= 0 || fd < 0) return;
        write_before(fd, bytes, std::size_t(n), deadline);  // a terminal taking nothing: lost
    }
};

// What terminal_restore_now() writes before the settings (terminal_restore_output)
SignalBytes restore_output;
SignalBytes resume_output;  // terminal_resume_output
volatile std::sig_atomic_t resume_count = 0;

// The write in progress, or the rest of a sequence cut short that must go first. Changed by
// terminal_write with every signal blocked, so a handler sees it between two writes; a handler
// may write the rest of the current sequence itself and move `done` on.
struct Unfinished {
    const char* volatile data = nullptr;  // null: nothing
    volatile std::size_t length = 0;
    volatile std::size_t done = 0;
    volatile std::sig_atomic_t whole = 0;  // all of it must go (a kept rest), not one sequence
    volatile std::sig_atomic_t fd = -1;
};
Unfinished unfinished;
char kept_rest[64];  // the rest of a sequence cut short: longer than any we write

// Writes what must precede anything else on the terminal: the rest of the sequence a write in
// progress is inside, or a kept rest. Async-signal-safe.
void finish_sequence(std::int64_t deadline) {
    const char* data = unfinished.data;
    if (!data || unfinished.fd < 0) return;
    const std::size_t length = unfinished.length, done = unfinished.done;
    const std::size_t end = unfinished.whole ? length : terminal_sequence_end(data, length, done);
    if (end <= done) return;
    unfinished.done = done + write_before(unfinished.fd, data + done, end - done, deadline);
}

void restore_settings() {
    if (raw_users > 0 && input_fd >= 0) tcsetattr(input_fd, TCSANOW, &saved_settings);
}

void restore_at_exit() { terminal_restore_now(); }

// ---- signals: Ctrl-Z and continuing, and the ones that end the program ----

struct sigaction previous_stop, previous_continue;
bool watching_stop = false, watching_continue = false;

// Continued after Ctrl-Z, or after a SIGSTOP that we never saw (the shell may have put its own
// settings back meanwhile): raw mode again, and the back end's screen
void on_continue(int) {
    const int saved_errno = errno;
    if (raw_users > 0 && input_fd >= 0) tcsetattr(input_fd, TCSANOW, &raw_settings);
    const std::int64_t deadline = monotonic_milliseconds() + restore_patience;
    finish_sequence(deadline);
    resume_output.write(deadline);
    resume_count = resume_count + 1;
    errno = saved_errno;
}

// Ctrl-Z: the terminal as the shell had it, then stop for real; on_continue brings raw mode
// and the back end's screen back. Only async-signal-safe calls.
void on_stop(int) {
    const int saved_errno = errno;
    const std::int64_t deadline = monotonic_milliseconds() + restore_patience;
    finish_sequence(deadline);
    restore_output.write(deadline);
    restore_settings();

    struct sigaction stop_now;
    std::memset(&stop_now, 0, sizeof stop_now);
    stop_now.sa_handler = SIG_DFL;
    sigemptyset(&stop_now.sa_mask);
    struct sigaction ours;
    sigaction(SIGTSTP, &stop_now, &ours);
    sigset_t stop_signal;
    sigemptyset(&stop_signal);
    sigaddset(&stop_signal, SIGTSTP);
    sigprocmask(SIG_UNBLOCK, &stop_signal, nullptr);
    const std::sig_atomic_t resumes = resume_count;
    raise(SIGTSTP);  // stopped here until the shell continues us (on_continue runs first)
    sigaction(SIGTSTP, &ours, nullptr);
    // Not stopped: the stop of a process group that no shell controls (run by tmux, ssh -t,
    // xterm -e or sh -c) is discarded, and nothing would ever continue it. The terminal goes
    // back to the program at once, so the normal screen is never drawn on.
    if (resume_count == resumes) on_continue(SIGCONT);
    errno = saved_errno;
}

// The signals whose default action ends the program, but for SIGINT, SIGTERM and SIGHUP (the
// console's) and SIGKILL (no handler)
const int ending_signals[] = {
    SIGQUIT,   SIGILL,  SIGTRAP, SIGABRT, SIGBUS,    SIGFPE,  SIGUSR1, SIGSEGV, SIGUSR2,
    SIGPIPE,   SIGALRM, SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGIO,   SIGSYS,
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
};
constexpr int ending_count = int(sizeof ending_signals / sizeof ending_signals[0]);
constexpr int max_realtime = 64;  // real-time signals (their default action ends the program)
struct sigaction previous_ending[ending_count + max_realtime];
bool watching_ending[ending_count + max_realtime];

void on_ending_signal(int signal_number) {
    terminal_restore_now();
    // Ended by the signal with its default action: when the handler returns, the one raised
    // here (blocked until then) is delivered; a fault would also recur at its instruction
    struct sigaction end_now;
    std::memset(&end_now, 0, sizeof end_now);
    end_now.sa_handler = SIG_DFL;
    sigemptyset(&end_now.sa_mask);
    sigaction(signal_number, &end_now, nullptr);
    raise(signal_number);
}

int ending_signal(int i) {
    return i < ending_count ? ending_signals[i] : SIGRTMIN + i - ending_count;
}
int watched_count() { return ending_count + std::min(SIGRTMAX - SIGRTMIN + 1, max_realtime); }

// Handlers for Ctrl-Z, continuing and the ending signals while the terminal is changed; each
// only where its action is the default (a program started with Ctrl-Z ignored, without job
// control, keeps ignoring it)
void watch_terminal_signals(bool watch) {
    static bool watching = false;
    if (watch == watching) return;
    watching = watch;
    if (!watch) {
        if (watching_stop) sigaction(SIGTSTP, &previous_stop, nullptr);
        if (watching_continue) sigaction(SIGCONT, &previous_continue, nullptr);
        for (int i = 0; i < watched_count(); ++i) {
            if (watching_ending[i]) sigaction(ending_signal(i), &previous_ending[i], nullptr);
        }
        watching_stop = watching_continue = false;
        return;
    }
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTSTP, nullptr, &previous_stop);
    watching_stop = previous_stop.sa_handler == SIG_DFL;
    action.sa_handler = on_stop;
    if (watching_stop) sigaction(SIGTSTP, &action, nullptr);
    sigaction(SIGCONT, nullptr, &previous_continue);
    watching_continue = previous_continue.sa_handler == SIG_DFL;
    action.sa_handler = on_continue;
    if (watching_continue) sigaction(SIGCONT, &action, nullptr);
    action.sa_handler = on_ending_signal;
    for (int i = 0; i < watched_count(); ++i) {
        sigaction(ending_signal(i), nullptr, &previous_ending[i]);
        watching_ending[i] =
            !(previous_ending[i].sa_flags & SA_SIGINFO) && previous_ending[i].sa_handler == SIG_DFL;
        if (watching_ending[i]) sigaction(ending_signal(i), &action, nullptr);
    }
}

// Whether anything on the terminal needs restoring, and so the signals watched
void terminal_changed() {
    watch_terminal_signals(raw_users > 0 || restore_output.descriptor() >= 0);
}

// Raw mode again if it was changed under us; cheap enough for every poll
void keep_raw_mode() {
    struct termios now;
    if (tcgetattr(input_fd, &now) != 0) return;
    const tcflag_t local = ICANON | ECHO | ISIG, input = IXON | ICRNL;
    if ((now.c_lflag & local) != (raw_settings.c_lflag & local) ||
        (now.c_iflag & input) != (raw_settings.c_iflag & input) ||
        now.c_cc[VMIN] != raw_settings.c_cc[VMIN] || now.c_cc[VTIME] != raw_settings.c_cc[VTIME]) {
        tcsetattr(input_fd, TCSANOW, &raw_settings);
    }
}

// ---- size changes and hang-ups ----

volatile std::sig_atomic_t resized = 0, hung_up = 0;
struct sigaction previous_resize, previous_hangup;
bool hangup_watched = false;

void on_resize(int) { resized = 1; }
void on_hangup(int) { hung_up = 1; }

}  // namespace

TerminalWrite terminal_write(int fd, const char* data, std::size_t length, int patience) {
    // Every signal blocked around each write() and the count of what it took, so that a
    // handler never writes between the two. Only for a non-blocking descriptor: a blocking
    // write must stay interruptible.
    const int flags = fcntl(fd, F_GETFL);
    const bool mask = flags >= 0 && (flags & O_NONBLOCK);
    sigset_t all, before;
    sigfillset(&all);
    const auto write_some = [&](const char* bytes, std::size_t count, bool whole) {
        unfinished.data = nullptr;
        unfinished.fd = fd;
        unfinished.length = count;
        unfinished.done = 0;
        unfinished.whole = whole ? 1 : 0;
        unfinished.data = bytes;
        std::int64_t deadline = monotonic_milliseconds() + patience;
        for (;;) {
            if (mask) pthread_sigmask(SIG_BLOCK, &all, &before);
            const std::size_t done = unfinished.done;
            ssize_t n = 0;
            int error = 0;
            if (done < count) {
                n = ::write(fd, bytes + done, count - done);
                error = errno;
                if (n > 0) unfinished.done = done + std::size_t(n);
            }
            if (mask) pthread_sigmask(SIG_SETMASK, &before, nullptr);
            if (done >= count) break;
            if (n > 0) {
                deadline = monotonic_milliseconds() + patience;
                continue;
            }
            if (n < 0 && error == EINTR) continue;
            if (n < 0 && (error == EAGAIN || error == EWOULDBLOCK)) {
                const std::int64_t rest = deadline - monotonic_milliseconds();
                struct pollfd out = {fd, POLLOUT, 0};
                const int ready = rest > 0 ? ::poll(&out, 1, int(rest)) : 0;
                if (ready < 0 && errno == EINTR) continue;
                if (ready > 0 && !(out.revents & (POLLERR | POLLHUP | POLLNVAL))) continue;
                if (ready == 0) return TerminalWrite::stuck;
            }
            return TerminalWrite::gone;
        }
        return TerminalWrite::done;
    };
    // A kept rest first, written from where it is kept (a handler may write some of it too)
    if (unfinished.data == kept_rest && unfinished.done < unfinished.length) {
        const std::size_t from = unfinished.done, count = unfinished.length;
        const TerminalWrite result = write_some(kept_rest + from, count - from, true);
        if (result == TerminalWrite::stuck) {  // what is left of it stays kept
            const std::size_t done = unfinished.done, left = count - from - done;
            unfinished.data = nullptr;
            std::memmove(kept_rest, kept_rest + from + done, left);
            unfinished.length = left;
            unfinished.done = 0;
            unfinished.data = kept_rest;
        }
        if (result != TerminalWrite::done) return result;
    }
    const TerminalWrite result = write_some(data, length, false);
    if (mask) pthread_sigmask(SIG_BLOCK, &all, &before);
    if (result == TerminalWrite::stuck) {
        // Cut short: the rest of the sequence it is inside is kept for later
        const std::size_t done = unfinished.done;
        const std::size_t end = terminal_sequence_end(data, length, done);
        const std::size_t left = std::min(end - done, sizeof kept_rest);
        std::memcpy(kept_rest, data + done, left);
        unfinished.data = nullptr;
        unfinished.length = left;
        unfinished.done = 0;
        unfinished.whole = 1;
        if (left > 0) unfinished.data = kept_rest;
    } else {
        unfinished.data = nullptr;  // all written, or the terminal is gone
    }
    if (mask) pthread_sigmask(SIG_SETMASK, &before, nullptr);
    return result;
}

void terminal_restore_now() {
    const std::int64_t deadline = monotonic_milliseconds() + restore_patience;
    finish_sequence(deadline);
    unfinished.data = nullptr;
    restore_output.write_once(deadline);
    restore_settings();
}

void terminal_resume_output(int fd, const char* bytes) { resume_output.set(fd, bytes); }

int terminal_resumes() { return resume_count; }

void terminal_restore_output(int fd, const char* bytes) {
    restore_output.set(fd, bytes);
    if (fd < 0 || !bytes) {
        unfinished.data = nullptr;
        unfinished.fd = -1;
    } else if (!exit_hook) {
        exit_hook = std::atexit(restore_at_exit) == 0;
    }
    terminal_changed();
}

TerminalKeys::TerminalKeys(bool controlling_terminal) {
    if (raw_users == 0) {
        int fd = -1;
        bool own = false;
        if (isatty(STDIN_FILENO)) {
            const char* name = ttyname(STDIN_FILENO);
            if (name) fd = ::open(name, O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
            own = fd >= 0;
            if (!own) fd = STDIN_FILENO;
        } else if (controlling_terminal) {
            fd = ::open("/dev/tty", O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
            own = fd >= 0;
        }
        if (fd < 0) return;
        struct termios settings;
        if (tcgetattr(fd, &settings) != 0) {
            if (own) ::close(fd);
            return;
        }
        saved_settings = settings;
        settings.c_lflag &= ~tcflag_t(ICANON | ECHO);  // ISIG stays: Ctrl-C still signals
        settings.c_iflag &= ~tcflag_t(IXON | ICRNL);
        settings.c_cc[VMIN] = 0;  // read() returns at once with what there is
        settings.c_cc[VTIME] = 0;
        raw_settings = settings;
        if (tcsetattr(fd, TCSANOW, &settings) != 0) {
            if (own) ::close(fd);
            return;
        }
        input_fd = fd;
        own_input_fd = own;
        if (!exit_hook) exit_hook = std::atexit(restore_at_exit) == 0;
    }
    raw_users = raw_users + 1;
    active_ = true;
    terminal_changed();
}

TerminalKeys::~TerminalKeys() {
    if (!active_) return;
    if (raw_users == 1) {
        restore_settings();
        raw_users = 0;
        const int fd = input_fd;
        input_fd = -1;
        if (own_input_fd) ::close(fd);
        own_input_fd = false;
    } else {
        raw_users = raw_users - 1;
    }
    terminal_changed();
}

int TerminalKeys::read(unsigned char* bytes, int max) {
    if (!active_ || input_fd < 0 || max <= 0) return 0;
    keep_raw_mode();
    if (!own_input_fd) {  // standard input may block: read only what is there
        struct pollfd input = {input_fd, POLLIN, 0};
        if (::poll(&input, 1, 0) <= 0 || !(input.revents & POLLIN)) return 0;
    }
    const ssize_t count = ::read(input_fd, bytes, std::size_t(max));
    return count > 0 ? int(count) : 0;
}

void TerminalKeys::wait(int milliseconds) {
    if (!active_ || input_fd < 0) {
        struct timespec pause = {milliseconds / 1000, (milliseconds % 1000) * 1000000L};
        nanosleep(&pause, nullptr);
        return;
    }
    keep_raw_mode();
    struct pollfd input = {input_fd, POLLIN, 0};
    ::poll(&input, 1, milliseconds);
}

bool output_is_terminal() { return isatty(STDOUT_FILENO) != 0; }

const char* terminal_type() { return std::getenv("TERM"); }

bool terminal_takes_utf8(const char** character_set) {
    const char* name = nullptr;
    for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value && *value) {
            name = value;
            break;
        }
    }
    if (!name) return true;
    static char kept[64];
    const auto is_utf8 = [](const char* text) {
        return strcasestr(text, "UTF-8") != nullptr || strcasestr(text, "UTF8") != nullptr;
    };
    // Asked of the locale itself, without making it the program's
    const locale_t locale = newlocale(LC_CTYPE_MASK, name, static_cast<locale_t>(nullptr));
    if (!locale) {  // not installed here: its name says what it would be
        if (is_utf8(name)) return true;
        std::snprintf(kept, sizeof kept, "that of %s", name);
        *character_set = kept;
        return false;
    }
    const char* codeset = nl_langinfo_l(CODESET, locale);
    const bool utf8 = codeset && is_utf8(codeset);
    std::snprintf(kept, sizeof kept, "%s", codeset ? codeset : "unknown");
    freelocale(locale);
    if (!utf8) *character_set = kept;
    return utf8;
}

int open_terminal_output() {
    const char* name = ttyname(STDOUT_FILENO);
    const int fd = name ? ::open(name, O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC) : -1;
    return fd >= 0 ? fd : STDOUT_FILENO;
}

void close_terminal_output(int fd) {
    if (fd > STDERR_FILENO) ::close(fd);
}

bool terminal_size(int fd, int* columns, int* rows) {
    struct winsize size;
    std::memset(&size, 0, sizeof size);
    if (ioctl(fd, TIOCGWINSZ, &size) != 0 || size.ws_col == 0 || size.ws_row == 0) return false;
    *columns = size.ws_col;
    *rows = size.ws_row;
    return true;
}

TerminalRoom terminal_room(int fd) {
    struct pollfd out = {fd, POLLOUT, 0};
    if (::poll(&out, 1, 0) <= 0) return TerminalRoom::busy;
    if (out.revents & (POLLERR | POLLHUP | POLLNVAL)) return TerminalRoom::gone;
    return TerminalRoom::ready;
}

void watch_terminal_changes() {
    resized = 0;
    hung_up = 0;
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    action.sa_handler = on_resize;
    sigaction(SIGWINCH, &action, &previous_resize);
    sigaction(SIGHUP, nullptr, &previous_hangup);
    hangup_watched = previous_hangup.sa_handler != SIG_IGN;
    action.sa_handler = on_hangup;
    if (hangup_watched) sigaction(SIGHUP, &action, nullptr);
}

void unwatch_terminal_changes() {
    sigaction(SIGWINCH, &previous_resize, nullptr);
    if (hangup_watched) sigaction(SIGHUP, &previous_hangup, nullptr);
    hangup_watched = false;
}

bool terminal_resized() {
    if (!resized) return false;
    resized = 0;
    return true;
}

bool terminal_hung_up() { return hung_up != 0; }

}  // namespace os
