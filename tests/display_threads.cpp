// Threads: each drawing on its own objects at once, and one object used from two threads. Built
// into the ASan tests and, by test.sh, under ThreadSanitizer, which reports any data race in
// the library's tables, scratch buffers or counters.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "display_support.h"
#include "trelk/area.h"
#include "trelk/color.h"
#include "trelk/format.h"
#include "trelk/surface.h"

using display_test::DisplayTest;
using display_test::message_of;

namespace {

class DisplayThreads : public DisplayTest {};

// One thread's work, many times over: objects of every table made and destroyed, pixels stored
// one lock at a time, a scaled copy (the copy's scratch buffers), a clear of an area. Returns
// what went wrong, or "".
std::string draw_own_surfaces(int thread, int rounds) {
    try {
        const trelk::Format format(32, 0xff0000, 0xff00, 0xff, 0);
        const std::uint32_t tag = 0x010000u * std::uint32_t(thread + 1);
        for (int round = 0; round < rounds; ++round) {
            trelk::Surface big(40 + thread, 30, format);
            trelk::Surface small(17, 11, format);
            for (int y = 0; y < big.height(); ++y) {
                for (int x = 0; x < big.width(); ++x) {
                    auto* pixels = static_cast<std::uint32_t*>(big.lock());
                    pixels[x + y * big.width()] = tag | std::uint32_t(round & 0xff);
                    big.unlock();
                }
            }
            big.copy(small, big.area(), trelk::Area(0, 0, 17, 11));
            const trelk::Color black(0u);
            small.clear(black, trelk::Area(0, 0, 1, 1));
            const auto* pixels = static_cast<const std::uint32_t*>(small.lock());
            const std::uint32_t corner = pixels[0], last = pixels[17 * 11 - 1];
            small.unlock();
            if (corner != 0 || last != (tag | std::uint32_t(round & 0xff))) {
                return "thread " + std::to_string(thread) + ", round " + std::to_string(round) +
                       ": wrong pixels " + std::to_string(corner) + ", " + std::to_string(last);
            }
        }
    } catch (const trelk::DynamicError&) {
        return "thread " + std::to_string(thread) + ": an error was thrown";
    }
    return "";
}

TEST_F(DisplayThreads, EachOnItsOwnObjectsAtOnce) {
    constexpr int thread_count = 4, rounds = 150;
    std::vector<std::string> failures(thread_count);
    std::vector<std::thread> threads;
    for (int t = 0; t < thread_count; ++t) {
        threads.emplace_back(
            [t, &failures] { failures[std::size_t(t)] = draw_own_surfaces(t, rounds); });
    }
    for (auto& thread : threads) thread.join();
    for (const std::string& failure : failures) EXPECT_EQ(failure, "");
}

// A thread that holds a surface locked until it is told to let go
class Holder {
public:
    explicit Holder(trelk::Surface& surface)
        : thread_([this, &surface] {
              surface.lock();
              std::unique_lock<std::mutex> hold(mutex_);
              locked_ = true;
              changed_.notify_all();
              changed_.wait(hold, [this] { return release_; });
              surface.unlock();
          }) {
        std::unique_lock<std::mutex> hold(mutex_);
        changed_.wait(hold, [this] { return locked_; });
    }
    void release() {
        {
            std::lock_guard<std::mutex> hold(mutex_);
            release_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool locked_ = false, release_ = false;
    std::thread thread_;
};

TEST_F(DisplayThreads, OneSurfaceLockedByAnotherThreadIsRefusedWithAReason) {
    const trelk::Format format(32, 0xff0000, 0xff00, 0xff, 0);
    auto* surface = new trelk::Surface(8, 8, format);
    trelk::Surface other(8, 8, format);
    const trelk::Color white(0xffffffu);
    Holder holder(*surface);

    // Each refused with the reason, the pixels left as they were and the surface still usable
    const auto refused = [](const char* what, auto operation) {
        try {
            operation();
            ADD_FAILURE() << what << " was allowed while another thread holds the lock";
        } catch (const trelk::DynamicError& error) {
            EXPECT_EQ(message_of(error),
                      std::string(what) +
                          ": the pixels are locked by another thread (one object is used by one "
                          "thread at a time)");
        }
    };
    refused("lock", [&] { surface->lock(); });
    refused("unlock", [&] { surface->unlock(); });
    refused("clear", [&] { surface->clear(white); });
    refused("copy", [&] { other.copy(*surface); });
    refused("destroy", [&] { trelk_surface_destroy(surface->handle()); });
    EXPECT_TRUE(surface->option("locked"));

    // Once the other thread has let go, this one may lock it, draw and destroy it
    holder.release();
    EXPECT_FALSE(surface->option("locked"));
    surface->clear(white);
    EXPECT_EQ(display_test::pixel(*surface, 7, 7), 0xffffffu);
    delete surface;
}

}  // namespace
