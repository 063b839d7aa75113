#pragma once

#include <QObject>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "check/CheckQueue.h"
#include "check/CheckResult.h"
#include "check/CheckSettings.h"
#include "check/IssuerFetch.h"
#include "check/RotCheck.h"
#include "check/WorkerThreads.h"

namespace vornakle {

class THttpClient;

// Whether URLs that name the same address (AddressKey) are checked once,
// every index holding it getting the result, or each on its own.
enum class SharedAddresses { CheckedOnce, CheckedEach };

// Checks a list of URLs in parallel: Jobs worker threads, each with its own
// event dispatcher and its own THttpClient (MakeCheckClient; a client
// belongs to the thread that made it and waits by dispatching that thread's
// messages). The links are handed out in list order under the per-host
// limit, so with one job they are checked one after another in list order.
// OnStarted tells on the engine's thread when a link's check has begun;
// each result reaches OnResult there, in the order the checks end, and
// OnFinished follows the last one. Under current rules a 2xx result also
// says what rot was found (FindRot). Every result is what CheckLink gives
// for its URL, so the results do not depend on Jobs or PerHost; no
// exception leaves a worker: whatever a check throws becomes its link's
// result.
class CheckEngine : public QObject {
    Q_OBJECT

public:
    using TStartedHandler = std::function<void(std::size_t index)>;
    using TResultHandler = std::function<void(std::size_t index, const CheckResult& result)>;
    using TFinishedHandler = std::function<void()>;

    CheckEngine(std::vector<std::string> urls, CheckSettings settings,
                SharedAddresses shared = SharedAddresses::CheckedOnce, QObject* owner = nullptr);
    ~CheckEngine() override;

    CheckEngine(const CheckEngine&) = delete;
    CheckEngine& operator=(const CheckEngine&) = delete;

    // Starts the workers (none for an empty list: OnFinished is then posted
    // at once).
    void Start();
    // Starts no further check, aborts the requests under way and waits until
    // every worker has ended; results not delivered yet are dropped and
    // OnFinished is not called. Call on the engine's thread.
    void Stop();

    // Set before Start: the workers look at OnStarted.
    TStartedHandler OnStarted;
    TResultHandler OnResult;
    TFinishedHandler OnFinished;

private:
    class Worker;

    // A check that began (no result) or ended, on its way to the engine's
    // thread.
    struct Event {
        std::size_t Address = 0;
        std::optional<CheckResult> Result;
    };

    void RunWorker(std::size_t workerNumber);
    void Deliver(const Event& event);
    // Hands a worker's event to the engine's thread. Events that come while
    // an earlier one waits for delivery join it, so a busy window thread is
    // woken once for several of them rather than once each.
    void Post(Event event);
    void DeliverReady();

    std::vector<std::string> urls_;
    // Per distinct address, in list order of first appearance, the indexes
    // of urls_ holding it; the first one's URL is the one checked.
    std::vector<std::vector<std::size_t>> holders_;
    CheckSettings settings_;
    SitePages sitePages_;
    std::shared_ptr<FetchedIssuers> issuers_;
    CheckQueue queue_;
    std::vector<std::unique_ptr<Worker>> workers_;
    // The clients of the running workers, so that Stop can reach them.
    WorkerClients clients_;
    std::mutex readyMutex_;
    std::vector<Event> ready_;
    std::size_t delivered_ = 0;
    bool stopped_ = false;
};

}  // namespace vornakle
