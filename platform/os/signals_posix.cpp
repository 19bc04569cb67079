// Ctrl-C (SIGINT), SIGTERM and hang-ups (SIGHUP) on POSIX systems. See signals.h.
#include <signal.h>

#include <csignal>
#include <cstring>

#include "platform/os/signals.h"
#include "platform/os/terminal.h"

namespace os {
namespace {

volatile std::sig_atomic_t quit_signal = 0;
int watches = 0;
struct sigaction previous_interrupt, previous_terminate, previous_hangup;
bool watching_interrupt = false, watching_terminate = false, watching_hangup = false;

void on_quit_signal(int signal_number) {
    if (quit_signal) {  // the second one: end as without us
        terminal_restore_now();
        std::signal(signal_number, SIG_DFL);
        std::raise(signal_number);
        return;
    }
    quit_signal = 1;
}

}  // namespace

void watch_quit_signals() {
    if (watches++ > 0) return;
    quit_signal = 0;
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = on_quit_signal;
    sigemptyset(&action.sa_mask);
    // A program started with Ctrl-C ignored (nohup, a background job of a script) keeps
    // ignoring it; the same for SIGTERM
    sigaction(SIGINT, nullptr, &previous_interrupt);
    watching_interrupt = previous_interrupt.sa_handler != SIG_IGN;
    if (watching_interrupt) sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, nullptr, &previous_terminate);
    watching_terminate = previous_terminate.sa_handler != SIG_IGN;
    if (watching_terminate) sigaction(SIGTERM, &action, nullptr);
    // A hang-up ends the program by default, which would leave a terminal that still exists
    // in raw mode: it asks to quit like SIGTERM instead. A back end that handles hang-ups
    // itself (the terminal) has already put its handler there, and a program started to
    // ignore them keeps ignoring them.
    sigaction(SIGHUP, nullptr, &previous_hangup);
    watching_hangup = previous_hangup.sa_handler == SIG_DFL;
    if (watching_hangup) sigaction(SIGHUP, &action, nullptr);
}

void unwatch_quit_signals() {
    if (watches == 0 || --watches > 0) return;
    if (watching_interrupt) sigaction(SIGINT, &previous_interrupt, nullptr);
    if (watching_terminate) sigaction(SIGTERM, &previous_terminate, nullptr);
    if (watching_hangup) sigaction(SIGHUP, &previous_hangup, nullptr);
}

bool quit_signalled() { return quit_signal != 0; }

}  // namespace os
