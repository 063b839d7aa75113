#include "check/CheckQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace vornakle {
namespace {

TEST(CheckQueue, HostKeyIsTheHostAndPortTheUrlNames) {
    const std::pair<std::string, std::string> cases[] = {
        {"http://example.com/", "example.com:80"},
        {"http://Example.COM/path", "example.com:80"},
        {"http://example.com:80/", "example.com:80"},
        {"http://example.com:8080/a", "example.com:8080"},
        {"example.com/a", "example.com:80"},
        {"http://127.0.0.2:81", "127.0.0.2:81"},
        {"ftp://example.com/", "example.com:21"},
        // The current rules connect to https hosts, which the limit must
        // tell apart like any other.
        {"https://example.com/", "example.com:443"},
        {"HTTPS://a.example:8443/x", "a.example:8443"},
        // As the current rules' client names the host it connects to.
        {"http://b\xc3\xbc"
         "cher.example/",
         "xn--bcher-kva.example:80"},
        {" https://0x7f.1/", "127.0.0.1:443"},
        // What the client refuses before connecting has no host.
        {"", ""},
        {"http://example.com:99999/", ""},
        {"/relative/path", ""},
    };
    for (const auto& [url, key] : cases) {
        EXPECT_EQ(HostKeyOf(url), key) << url;
    }
}

// Takes everything that can be taken without waiting; none is finished.
std::vector<std::size_t> TakeReady(CheckQueue& queue, std::size_t count) {
    std::vector<std::size_t> taken;
    for (std::size_t round = 0; round < count; ++round) {
        std::size_t index = 0;
        EXPECT_TRUE(queue.Take(index));
        taken.push_back(index);
    }
    return taken;
}

TEST(CheckQueue, ScanOrderUnlessTheHostIsFull) {
    // Links 0, 1, 2 and 4 go to host a, 3 and 5 to host b.
    CheckQueue queue({"a", "a", "a", "b", "a", "b"}, 2);
    // Host a takes two places; link 2 must wait, so link 3 (host b) goes
    // first, then link 5.
    EXPECT_EQ(TakeReady(queue, 4), (std::vector<std::size_t>{0, 1, 3, 5}));
    // A place of host a comes free: its earliest waiting link goes next.
    queue.Finish(1);
    EXPECT_EQ(TakeReady(queue, 1), (std::vector<std::size_t>{2}));
    queue.Finish(0);
    EXPECT_EQ(TakeReady(queue, 1), (std::vector<std::size_t>{4}));
    std::size_t index = 0;
    EXPECT_FALSE(queue.Take(index)) << "everything is handed out";
}

TEST(CheckQueue, TakeWaitsForAPlaceAndStopReleasesIt) {
    CheckQueue queue({"a", "a", "a"}, 1);
    std::size_t first = 99;
    ASSERT_TRUE(queue.Take(first));
    EXPECT_EQ(first, 0u);

    std::atomic<int> taken{-1};
    std::thread waiter([&] {
        std::size_t index = 0;
        taken = queue.Take(index) ? static_cast<int>(index) : -2;
    });
    // The waiter cannot have taken anything while host a is full; finishing
    // link 0 lets it take link 1.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(taken.load(), -1);
    queue.Finish(0);
    waiter.join();
    EXPECT_EQ(taken.load(), 1);

    std::thread stopped([&] {
        std::size_t index = 0;
        taken = queue.Take(index) ? static_cast<int>(index) : -2;
    });
    queue.Stop();
    stopped.join();
    EXPECT_EQ(taken.load(), -2);
    EXPECT_TRUE(queue.Stopped());
}

TEST(CheckQueue, ManyThreadsTakeEveryLinkOnceWithinTheLimit) {
    constexpr int kLinks = 600;
    constexpr int kThreads = 12;
    constexpr int kPerHost = 3;
    std::vector<std::string> keys;
    for (int index = 0; index < kLinks; ++index) {
        keys.push_back("host" + std::to_string(index % 4));
    }
    CheckQueue queue(keys, kPerHost);
    std::vector<std::atomic<int>> running(4);
    std::vector<std::atomic<int>> seen(kLinks);
    std::atomic<int> mostRunning{0};
    std::vector<std::thread> threads;
    for (int thread = 0; thread < kThreads; ++thread) {
        threads.emplace_back([&] {
            std::size_t index = 0;
            while (queue.Take(index)) {
                const int now = ++running[index % 4];
                int most = mostRunning.load();
                while (now > most && !mostRunning.compare_exchange_weak(most, now)) {
                }
                ++seen[index];
                std::this_thread::yield();
                --running[index % 4];
                queue.Finish(index);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (int index = 0; index < kLinks; ++index) {
        EXPECT_EQ(seen[index].load(), 1) << index;
    }
    EXPECT_LE(mostRunning.load(), kPerHost);
}

// A host held by a server's Retry-After starts nothing until the hold has
// passed; other hosts go on meanwhile.
TEST(CheckQueue, HeldHostWaitsWhileOthersGoOn) {
    using namespace std::chrono_literals;
    CheckQueue queue({"a", "a", "b", "a"}, 2);
    std::size_t index = 99;
    ASSERT_TRUE(queue.Take(index));
    EXPECT_EQ(index, 0u);
    const auto held = std::chrono::steady_clock::now();
    queue.HoldHost(0, 300);
    ASSERT_TRUE(queue.Take(index));
    EXPECT_EQ(index, 2u) << "host b is not held";
    ASSERT_TRUE(queue.Take(index));
    EXPECT_EQ(index, 1u);
    EXPECT_GE(std::chrono::steady_clock::now() - held, 300ms);
    // A shorter hold does not shorten a longer one; a finished link frees
    // its place as ever.
    const auto heldAgain = std::chrono::steady_clock::now();
    queue.HoldHost(1, 400);
    queue.HoldHost(1, 10);
    queue.Finish(0);
    ASSERT_TRUE(queue.Take(index));
    EXPECT_EQ(index, 3u);
    EXPECT_GE(std::chrono::steady_clock::now() - heldAgain, 400ms);
}

// A connection a worker keeps idle takes its host's place: other workers
// leave that host's links to it, and no second one is kept there; one kept
// where nothing waits is closed for a link of another host.
TEST(CheckQueue, KeptConnectionsHoldTheirHostsPlace) {
    CheckQueue queue({"a", "b", "a", "c"}, 1);
    CheckQueue::KeptConnection first;
    CheckQueue::KeptConnection second;
    int closed = 0;
    const auto close = [&closed] { ++closed; };
    std::size_t index = 99;
    ASSERT_TRUE(queue.Take(index, first, close));
    EXPECT_EQ(index, 0u);
    EXPECT_TRUE(queue.Finish(0, first, "a"));
    ASSERT_TRUE(queue.Take(index, second, close));
    EXPECT_EQ(index, 1u) << "link 2 waits for the idle connection of a";
    EXPECT_FALSE(queue.Finish(1, second, "a")) << "a has its place open";
    ASSERT_TRUE(queue.Take(index, first, close));
    EXPECT_EQ(index, 2u);
    EXPECT_EQ(closed, 0);
    EXPECT_TRUE(queue.Finish(2, first, "a"));
    ASSERT_TRUE(queue.Take(index, first, close));
    EXPECT_EQ(index, 3u);
    EXPECT_EQ(closed, 1);
}

}  // namespace
}  // namespace vornakle
