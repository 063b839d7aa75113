#pragma once

#include <QObject>
#include <QThread>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "check/ArchiveLookup.h"
#include "check/CheckSettings.h"
#include "check/WorkerThreads.h"

namespace vornakle {

class THttpClient;

// Looks up the archived copies of links, at most kLookupsAtOnce at a time,
// each on a worker thread with its own client (MakeArchiveClient): each
// distinct address (AddressKey) once, in the order they are asked for, the
// answer going to every link of that address. Once a look-up fails (the
// archive unreachable or slow, or answering with what is no availability
// reply), the archive is not asked again: the look-ups still waiting are
// answered NotAsked, so a run over many dead links does not wait for a
// dead archive once per link. Each link's answer reaches OnAnswer on the
// thread that made the object, a copy with that link's own fragment.
class ArchiveLookups : public QObject {
public:
    // A courtesy to a public service that answers many users.
    static constexpr std::size_t kLookupsAtOnce = 2;

    using TAnswerHandler = std::function<void(std::size_t link, const ArchiveAnswer& answer)>;

    // Asks service with the run's settings (time-out, deadline, TLS,
    // proxies: the environment's unless settings names some), naming itself
    // by userAgent.
    ArchiveLookups(CheckSettings settings, std::string service, std::string userAgent);
    ~ArchiveLookups() override;

    ArchiveLookups(const ArchiveLookups&) = delete;
    ArchiveLookups& operator=(const ArchiveLookups&) = delete;

    // Looks up url's snapshot closest to time for link. A link whose
    // address was asked for already shares that look-up and its time.
    void Ask(std::size_t link, const std::string& url, std::chrono::sys_seconds time);
    // Aborts the look-ups under way, starts no more and waits for the
    // workers to end; answers not delivered yet are dropped.
    void Stop();

    TAnswerHandler OnAnswer;

private:
    struct Job {
        std::size_t Address = 0;
        std::string Url;
        std::chrono::sys_seconds Time;
    };

    void RunWorker(std::size_t number);
    // Takes the next job; false once the look-ups are stopped. Skip says
    // that an earlier look-up failed.
    bool TakeJob(Job& job, bool& skip);
    void Deliver(std::size_t address);

    CheckSettings settings_;
    std::string service_;
    std::string userAgent_;
    struct Waiting {
        std::size_t Link = 0;
        // The link's URL, whose fragment its answer keeps.
        std::string Url;
    };
    // Per distinct address, on the object's thread: the links waiting for
    // its answer, and the answer once it came.
    std::unordered_map<std::string, std::size_t> addresses_;
    std::vector<std::vector<Waiting>> waiting_;
    std::vector<std::optional<ArchiveAnswer>> answers_;
    std::vector<std::unique_ptr<QThread>> workers_;
    bool stopped_ = false;

    // Shared with the workers.
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Job> jobs_;
    bool closed_ = false;
    bool failed_ = false;
    // The clients of the running workers, so that Stop can reach them.
    WorkerClients clients_;
};

}  // namespace vornakle
