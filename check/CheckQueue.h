#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace vornakle {

// The host a link's check connects to first, as the key of the per-host
// limit: the host the URL names, in lower case, and its port (80 when the URL
// names none), split by the client's own rule. Names are not resolved, so two
// names of one address count as two hosts; a check holds its host's place
// through its redirections, wherever they lead. A URL the client would refuse
// has the empty key: its check ends before it connects anywhere.
std::string HostKeyOf(const std::string& url);

// Hands the links out to the workers in scan order, except that a link whose
// host already has PerHost checks under way waits and a later link of another
// host goes first. Safe on any number of threads.
class CheckQueue {
public:
    CheckQueue(const std::vector<std::string>& hostKeys, int perHost);

    // Blocks until a link may be checked and returns its index (true), or
    // returns false once every link is handed out or the queue is stopped.
    bool Take(std::size_t& index);
    // The check of link Index has ended; its host has a place again.
    void Finish(std::size_t index);
    // The host of link Index asked for a pause: none of its other links
    // starts for that many milliseconds (a later hold may lengthen it).
    void HoldHost(std::size_t index, std::int64_t milliseconds);
    // Hands out nothing more; blocked Takes return false.
    void Stop();
    bool Stopped() const;

private:
    using Clock = std::chrono::steady_clock;

    struct Host {
        std::deque<std::size_t> Waiting;
        int Running = 0;
        // Starts nothing before this time (a server's Retry-After).
        Clock::time_point HeldUntil;
    };

    // Puts host number HostNumber among the ready ones when it has a link
    // waiting and a free place. Called with the mutex held.
    void MarkReadyLocked(std::size_t hostNumber);
    // Makes the hosts whose hold has passed ready again; the end of the
    // earliest hold still running, if any.
    std::optional<Clock::time_point> ReleaseHoldsLocked();

    const int perHost_;
    std::vector<std::size_t> hostOfLink_;
    std::vector<Host> hosts_;
    // Hosts that may start a check, ordered by the scan index of their first
    // waiting link, so the earliest link that may start is at the front.
    std::set<std::pair<std::size_t, std::size_t>> ready_;
    // Hosts under a hold.
    std::set<std::size_t> held_;
    std::size_t left_ = 0;
    bool stopped_ = false;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
};

}  // namespace vornakle
