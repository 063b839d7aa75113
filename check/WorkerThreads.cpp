#include "check/WorkerThreads.h"

#include <QDeadlineTimer>
#include <QMetaObject>

#include <pthread.h>
#include <signal.h>

#include "http/HttpClient.h"

namespace vornakle {

void BlockStopSignalsOnThisThread() {
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
}

void WorkerClients::Set(std::size_t worker, THttpClient* client) {
    std::lock_guard lock(mutex_);
    if (worker >= clients_.size()) {
        clients_.resize(worker + 1, nullptr);
    }
    clients_[worker] = client;
}

void WorkerClients::AbortAll() {
    std::lock_guard lock(mutex_);
    for (THttpClient* client : clients_) {
        if (client != nullptr) {
            QMetaObject::invokeMethod(
                client, [client] { client->Abort(); }, Qt::QueuedConnection);
        }
    }
}

void WorkerClients::AbortUntilEnded(QThread& thread) {
    AbortAll();
    while (!thread.wait(QDeadlineTimer(kAbortRepeatMilliseconds))) {
        AbortAll();
    }
}

WorkerClient::WorkerClient(WorkerClients& clients, std::size_t worker,
                           const std::function<std::unique_ptr<THttpClient>()>& make)
    : clients_(clients), worker_(worker) {
    try {
        client_ = make();
    } catch (...) {
        client_.reset();
        failure_ = std::current_exception();
    }
    clients_.Set(worker_, client_.get());
}

WorkerClient::~WorkerClient() {
    clients_.Set(worker_, nullptr);
}

}  // namespace vornakle
