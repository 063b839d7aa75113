#include "check/CheckEngine.h"

#include <QMetaObject>
#include <QPointer>
#include <QThread>

#include <algorithm>
#include <unordered_map>

#include "check/AddressParts.h"
#include "check/LinkCheck.h"
#include "http/BrowserRules.h"
#include "http/HttpClient.h"
#include "http/ProxyRules.h"
#include "net/TlsContext.h"

namespace vornakle {

namespace {

std::vector<std::vector<std::size_t>> HoldersOf(const std::vector<std::string>& urls,
                                                SharedAddresses shared) {
    std::vector<std::vector<std::size_t>> holders;
    if (shared == SharedAddresses::CheckedEach) {
        for (std::size_t index = 0; index < urls.size(); ++index) {
            holders.push_back({index});
        }
        return holders;
    }
    std::unordered_map<std::string, std::size_t> numbers;
    for (std::size_t index = 0; index < urls.size(); ++index) {
        const auto [found, added] = numbers.try_emplace(AddressKey(urls[index]), holders.size());
        if (added) {
            holders.emplace_back();
        }
        holders[found->second].push_back(index);
    }
    return holders;
}

std::vector<std::string> HostKeysOf(const std::vector<std::string>& urls,
                                    const std::vector<std::vector<std::size_t>>& holders) {
    std::vector<std::string> keys;
    keys.reserve(holders.size());
    for (const std::vector<std::size_t>& indexes : holders) {
        keys.push_back(HostKeyOf(urls[indexes.front()]));
    }
    return keys;
}

}  // namespace

// A worker thread. QThread gives the thread its event dispatcher before
// run() starts, which the client's waits need.
class CheckEngine::Worker : public QThread {
public:
    Worker(CheckEngine& engine, std::size_t number) : engine_(engine), number_(number) {}
    ~Worker() override { wait(); }

    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

protected:
    void run() override {
        engine_.RunWorker(number_);
        EndTlsOnThisThread();
    }

private:
    CheckEngine& engine_;
    std::size_t number_;
};

CheckEngine::CheckEngine(std::vector<std::string> urls, CheckSettings settings,
                         SharedAddresses shared, QObject* owner)
    : QObject(owner),
      urls_(std::move(urls)),
      holders_(HoldersOf(urls_, shared)),
      settings_(settings),
      issuers_(std::make_shared<FetchedIssuers>()),
      queue_(HostKeysOf(urls_, holders_), settings.PerHost,
             std::chrono::milliseconds(BrowserRules::kMaxIdleMilliseconds)) {
    if (settings_.Rules == CheckRules::Current) {
        // Read once for the run, not by every check of every worker.
        if (!settings_.Proxies) {
            settings_.Proxies = ProxyRulesFromEnvironment();
        }
    }
}

CheckEngine::~CheckEngine() {
    Stop();
}

void CheckEngine::Start() {
    const std::size_t count = std::min<std::size_t>(
        holders_.size(), static_cast<std::size_t>(std::max(1, settings_.Jobs)));
    if (count == 0) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (!stopped_ && OnFinished) {
                    OnFinished();
                }
            },
            Qt::QueuedConnection);
        return;
    }
    for (std::size_t number = 0; number < count; ++number) {
        workers_.push_back(std::make_unique<Worker>(*this, number));
    }
    for (const std::unique_ptr<Worker>& worker : workers_) {
        worker->start();
    }
}

void CheckEngine::RunWorker(std::size_t workerNumber) {
    BlockStopSignalsOnThisThread();

    // A client that cannot be made fails each check this worker takes,
    // with that failure as its reason.
    const WorkerClient made(clients_, workerNumber,
                            [this] { return MakeCheckClient(settings_, issuers_); });
    THttpClient* const client = made.Get();
    // The worker's connection left open for its next check, as the per-host
    // limit counts it.
    CheckQueue::KeptConnection kept;
    const auto closeKept = [client] {
        if (client) {
            client->Disconnect();
        }
    };
    std::size_t address = 0;
    while (queue_.Take(address, kept, closeKept)) {
        if (OnStarted) {
            Post({address, std::nullopt});
        }
        const std::string& url = urls_[holders_[address].front()];
        CheckResult result;
        try {
            HttpReply reply;
            result = client ? CheckLink(
                                  *client, url, settings_, settings_.DeadlineMilliseconds(),
                                  [this, address](std::int64_t milliseconds) {
                                      queue_.HoldHost(address, milliseconds);
                                  },
                                  &reply)
                            : FailedCheck(made.Failure());
            // A result without a request (a file: link) has no page to read.
            if (client && settings_.Rules == CheckRules::Current && !result.Hops.empty()) {
                FindRot(*client, url, result, reply, sitePages_, settings_,
                        settings_.DeadlineMilliseconds());
            }
        } catch (...) {
            result = FailedCheck(std::current_exception());
        }
        const std::optional<ConnectionOrigin> origin =
            client ? client->KeptConnection() : std::nullopt;
        if (!queue_.Finish(address, kept, origin ? HostKey(origin->Host, origin->Port) : "") &&
            origin) {
            closeKept();
        }
        if (queue_.Stopped()) {
            // An aborted check has found out nothing about its link.
            break;
        }
        Post({address, std::move(result)});
    }
}

void CheckEngine::Post(Event event) {
    bool first = false;
    {
        std::lock_guard lock(readyMutex_);
        first = ready_.empty();
        ready_.push_back(std::move(event));
    }
    if (first) {
        QMetaObject::invokeMethod(
            this, [this] { DeliverReady(); }, Qt::QueuedConnection);
    }
}

void CheckEngine::DeliverReady() {
    std::vector<Event> ready;
    {
        std::lock_guard lock(readyMutex_);
        ready.swap(ready_);
    }
    // A handler may stop the engine or destroy it.
    const QPointer<CheckEngine> alive(this);
    for (const Event& event : ready) {
        if (alive.isNull() || stopped_) {
            return;
        }
        Deliver(event);
    }
}

void CheckEngine::Deliver(const Event& event) {
    for (const std::size_t index : holders_[event.Address]) {
        if (stopped_) {
            return;
        }
        if (!event.Result) {
            if (OnStarted) {
                OnStarted(index);
            }
            continue;
        }
        ++delivered_;
        if (OnResult) {
            OnResult(index, *event.Result);
        }
    }
    if (event.Result && delivered_ == urls_.size() && !stopped_) {
        for (const std::unique_ptr<Worker>& worker : workers_) {
            worker->wait();
        }
        if (OnFinished) {
            OnFinished();
        }
    }
}

void CheckEngine::Stop() {
    if (stopped_) {
        return;
    }
    stopped_ = true;
    queue_.Stop();
    for (const std::unique_ptr<Worker>& worker : workers_) {
        clients_.AbortUntilEnded(*worker);
    }
    workers_.clear();
}

}  // namespace vornakle
