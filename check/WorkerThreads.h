#pragma once

#include <QThread>

#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace vornakle {

class THttpClient;

// Blocks the stop signals (SIGINT, SIGTERM) on the calling worker thread:
// they belong to the program's main thread, and a worker (and the lookup
// helpers it starts, which inherit its mask) never runs their handler.
void BlockStopSignalsOnThisThread();

// The clients of running worker threads, so that a stop on another thread
// can reach them. A worker sets its client while it runs and clears it
// before destroying it.
class WorkerClients {
public:
    // How often AbortUntilEnded repeats its abort: an abort that reaches a
    // client between two waits is taken up by its next wait, but one that
    // arrives while no request runs does nothing.
    static constexpr int kAbortRepeatMilliseconds = 100;

    void Set(std::size_t worker, THttpClient* client);
    // Posts Abort to every client set; each runs it on its own thread,
    // inside the wait of its request.
    void AbortAll();
    // Aborts every client, again and again, until thread has ended.
    void AbortUntilEnded(QThread& thread);

private:
    std::mutex mutex_;
    std::vector<THttpClient*> clients_;
};

// The client of one worker thread, made on that thread and known to
// clients while it lives, so that a stop can abort its request; forgotten
// there before it goes. Where it cannot be made (no descriptor left), Get
// is null and Failure says why.
class WorkerClient {
public:
    WorkerClient(WorkerClients& clients, std::size_t worker,
                 const std::function<std::unique_ptr<THttpClient>()>& make);
    ~WorkerClient();
    WorkerClient(const WorkerClient&) = delete;
    WorkerClient& operator=(const WorkerClient&) = delete;

    THttpClient* Get() const { return client_.get(); }
    const std::exception_ptr& Failure() const { return failure_; }

private:
    WorkerClients& clients_;
    std::size_t worker_;
    std::unique_ptr<THttpClient> client_;
    std::exception_ptr failure_;
};

}  // namespace vornakle
