#include "check/CheckEngine.h"

#include <QDeadlineTimer>
#include <QMetaObject>
#include <QThread>

#include <pthread.h>
#include <signal.h>

#include <algorithm>

#include "check/LinkCheck.h"
#include "http/HttpClient.h"

namespace vornakle {

namespace {

std::vector<std::string> HostKeysOf(const std::vector<std::string>& Urls) {
    std::vector<std::string> keys;
    keys.reserve(Urls.size());
    for (const std::string& url : Urls) {
        keys.push_back(HostKeyOf(url));
    }
    return keys;
}

}  // namespace

// A worker thread. QThread gives the thread its event dispatcher before
// run() starts, which the client's waits need.
class TCheckEngine::Worker : public QThread {
public:
    Worker(TCheckEngine& Engine, std::size_t Number) : Engine_(Engine), Number_(Number) {}
    ~Worker() override { wait(); }

    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

protected:
    void run() override { Engine_.RunWorker(Number_); }

private:
    TCheckEngine& Engine_;
    std::size_t Number_;
};

TCheckEngine::TCheckEngine(std::vector<std::string> Urls, TCheckSettings Settings, QObject* Owner)
    : QObject(Owner),
      Urls_(std::move(Urls)),
      Settings_(Settings),
      Queue_(HostKeysOf(Urls_), Settings.PerHost) {}

TCheckEngine::~TCheckEngine() {
    Stop();
}

void TCheckEngine::Start() {
    const std::size_t count =
        std::min<std::size_t>(Urls_.size(), static_cast<std::size_t>(std::max(1, Settings_.Jobs)));
    if (count == 0) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (!Stopped_ && OnFinished) {
                    OnFinished();
                }
            },
            Qt::QueuedConnection);
        return;
    }
    Clients_.assign(count, nullptr);
    for (std::size_t number = 0; number < count; ++number) {
        Workers_.push_back(std::make_unique<Worker>(*this, number));
    }
    for (const std::unique_ptr<Worker>& worker : Workers_) {
        worker->start();
    }
}

void TCheckEngine::RunWorker(std::size_t WorkerNumber) {
    // The stop signals belong to the program's main thread; a worker (and
    // the lookup helpers it starts, which inherit its mask) never runs
    // their handler.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    THttpClient client;
    client.ReportLevel = 0;
    client.TimeOut = Settings_.TimeOutMilliseconds;
    {
        std::lock_guard lock(ClientsMutex_);
        Clients_[WorkerNumber] = &client;
    }
    std::size_t index = 0;
    while (Queue_.Take(index)) {
        const std::int32_t status = CheckLink(client, Urls_[index]);
        Queue_.Finish(index);
        if (Queue_.Stopped()) {
            // An aborted check has found out nothing about its link.
            break;
        }
        QMetaObject::invokeMethod(
            this, [this, index, status] { Deliver(index, status); }, Qt::QueuedConnection);
    }
    std::lock_guard lock(ClientsMutex_);
    Clients_[WorkerNumber] = nullptr;
}

void TCheckEngine::Deliver(std::size_t Index, std::int32_t Status) {
    if (Stopped_) {
        return;
    }
    ++Delivered_;
    if (OnResult) {
        OnResult(Index, Status);
    }
    if (Delivered_ == Urls_.size() && !Stopped_) {
        for (const std::unique_ptr<Worker>& worker : Workers_) {
            worker->wait();
        }
        if (OnFinished) {
            OnFinished();
        }
    }
}

void TCheckEngine::AbortRunningChecks() {
    std::lock_guard lock(ClientsMutex_);
    for (THttpClient* client : Clients_) {
        if (client != nullptr) {
            // Abort belongs to the client's own thread: it is run there by
            // that thread's dispatcher, inside the wait of the request.
            QMetaObject::invokeMethod(
                client, [client] { client->Abort(); }, Qt::QueuedConnection);
        }
    }
}

void TCheckEngine::Stop() {
    if (Stopped_) {
        return;
    }
    Stopped_ = true;
    Queue_.Stop();
    for (const std::unique_ptr<Worker>& worker : Workers_) {
        AbortRunningChecks();
        while (!worker->wait(QDeadlineTimer(kAbortRepeatMilliseconds))) {
            AbortRunningChecks();
        }
    }
    Workers_.clear();
}

}  // namespace vornakle
