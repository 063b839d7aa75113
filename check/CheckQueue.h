#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <limits>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace vornakle {

// The key of a host in the per-host limit: its name in lower case (RFC 3986
// section 3.2.2) and its port.
std::string HostKey(const std::string& host, std::int32_t port);

// The host a link's check connects to first, as the key of the per-host
// limit: the host the URL names and its port (80 when the URL names none),
// read by the URL Standard where it is an http(s) address by it (as the
// current rules' client reads it), else split by the classic rule. Names are not resolved, so two
// names of one address count as two hosts; a check holds its host's place through its redirections,
// wherever they lead. A URL the client would refuse has the empty key: its check ends before it
// connects anywhere.
std::string HostKeyOf(const std::string& url);

// Hands the links out to the workers in scan order, except that a link
// whose host already has PerHost connections open waits and a later link of
// another host goes first. A connection is open while a check runs and
// while a worker keeps it idle for the next check (KeptConnection): such a
// worker takes the next link of its connection's host first, unless
// another host has fewer connections for the links it has waiting, which
// it then goes to (closing its own). So a host whose every place is an
// idle connection never stalls: its links go to the workers that keep
// them. Safe on any number of threads.
class CheckQueue {
    using Clock = std::chrono::steady_clock;

public:
    // A worker's connection left open between two checks, as the queue
    // counts it; the worker hands the same one to each Take and Finish.
    class KeptConnection {
    public:
        bool Held() const { return host_ != kNoHost; }

    private:
        friend class CheckQueue;
        std::size_t host_ = kNoHost;
        Clock::time_point since_;
    };

    // IdleLimit: how long a kept connection may wait for a link of its host
    // before it is closed.
    CheckQueue(const std::vector<std::string>& hostKeys, int perHost,
               std::chrono::milliseconds idleLimit = std::chrono::seconds(4));

    // Blocks until a link may be checked and returns its index (true), or
    // returns false once every link is handed out or the queue is stopped.
    // When the worker's kept connection is not the taken link's, or has
    // waited IdleLimit, CloseKept runs (on the calling thread, the queue
    // unlocked) and the connection counts no more.
    bool Take(std::size_t& index, KeptConnection& kept, const std::function<void()>& closeKept);
    bool Take(std::size_t& index);
    // The check of link Index has ended; its host has a place again.
    // KeptHost: the HostKey of the connection the worker keeps open after
    // it (empty: none). True when it may stay open, and counts for its host
    // from now on; false when that host has its limit open already, and
    // the worker closes it.
    bool Finish(std::size_t index, KeptConnection& kept, const std::string& keptHost);
    void Finish(std::size_t index);
    // The host of link Index asked for a pause: none of its other links
    // starts for that many milliseconds (a later hold may lengthen it).
    void HoldHost(std::size_t index, std::int64_t milliseconds);
    // Hands out nothing more; blocked Takes return false.
    void Stop();
    bool Stopped() const;

private:
    static constexpr std::size_t kNoHost = std::numeric_limits<std::size_t>::max();

    struct Host {
        std::deque<std::size_t> Waiting;
        int Running = 0;
        // Connections kept open for it by workers between two checks.
        int Idle = 0;
        // Starts nothing before this time (a server's Retry-After).
        Clock::time_point HeldUntil;
        // Its keys in ready_ and pressed_ while it is filed there.
        std::optional<std::size_t> ReadyKey;
        std::optional<std::pair<std::size_t, int>> PressureKey;

        int Open() const { return Running + Idle; }
    };

    // Orders the ready hosts by their waiting links per connection, most
    // first: a waiting count and an open count, compared as w / (o + 1).
    struct MorePressed {
        bool operator()(const std::tuple<std::size_t, int, std::size_t>& left,
                        const std::tuple<std::size_t, int, std::size_t>& right) const;
    };

    std::size_t HostNumberLocked(const std::string& key);
    // Files host number HostNumber among the ready ones when it has a link
    // waiting, a free place and no hold, and takes it out otherwise. Called
    // with the mutex held after any change of the host.
    void RefileLocked(std::size_t hostNumber);
    // Makes the hosts whose hold has passed ready again; the end of the
    // earliest hold still running, if any.
    std::optional<Clock::time_point> ReleaseHoldsLocked();
    // The host a worker keeping a connection to KeptHost checks next; none
    // when no link may start.
    std::optional<std::size_t> ChooseLocked(std::size_t keptHost) const;
    // The kept connection counts no more.
    void DropKeptLocked(KeptConnection& kept);

    const int perHost_;
    const std::chrono::milliseconds idleLimit_;
    std::vector<std::size_t> hostOfLink_;
    std::vector<Host> hosts_;
    std::map<std::string, std::size_t> numbers_;
    // Hosts that may start a check, ordered by the scan index of their first
    // waiting link, so the earliest link that may start is at the front;
    // and the same hosts by how many links wait per connection.
    std::set<std::pair<std::size_t, std::size_t>> ready_;
    std::set<std::tuple<std::size_t, int, std::size_t>, MorePressed> pressed_;
    // Hosts under a hold.
    std::set<std::size_t> held_;
    std::size_t left_ = 0;
    bool stopped_ = false;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
};

}  // namespace vornakle
