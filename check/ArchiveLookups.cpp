#include "check/ArchiveLookups.h"

#include <QMetaObject>

#include <exception>

#include "check/AddressParts.h"
#include "check/LinkCheck.h"
#include "http/HttpClient.h"
#include "http/ProxyRules.h"
#include "net/TlsContext.h"
#include "net/TransferSupport.h"

namespace vornakle {

ArchiveLookups::ArchiveLookups(CheckSettings settings, std::string service, std::string userAgent)
    : settings_(std::move(settings)),
      service_(std::move(service)),
      userAgent_(std::move(userAgent)) {
    // Read once for the run, not by every worker.
    if (!settings_.Proxies) {
        settings_.Proxies = ProxyRulesFromEnvironment();
    }
}

ArchiveLookups::~ArchiveLookups() {
    Stop();
}

void ArchiveLookups::Ask(std::size_t link, const std::string& url, std::chrono::sys_seconds time) {
    if (stopped_) {
        return;
    }
    const auto [found, added] = addresses_.try_emplace(AddressKey(url), waiting_.size());
    const std::size_t address = found->second;
    if (added) {
        waiting_.emplace_back();
        answers_.emplace_back();
        {
            std::lock_guard lock(mutex_);
            jobs_.push_back({address, url, time});
        }
        changed_.notify_one();
        if (workers_.size() < kLookupsAtOnce) {
            const std::size_t number = workers_.size();
            workers_.emplace_back(QThread::create([this, number] { RunWorker(number); }));
            workers_.back()->start();
        }
    }
    waiting_[address].push_back({link, url});
    if (answers_[address]) {
        QMetaObject::invokeMethod(
            this, [this, address] { Deliver(address); }, Qt::QueuedConnection);
    }
}

bool ArchiveLookups::TakeJob(Job& job, bool& skip) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return closed_ || !jobs_.empty(); });
    if (closed_) {
        return false;
    }
    job = std::move(jobs_.front());
    jobs_.pop_front();
    skip = failed_;
    return true;
}

void ArchiveLookups::RunWorker(std::size_t number) {
    BlockStopSignalsOnThisThread();
    ScopeExit endTls([] { EndTlsOnThisThread(); });

    const WorkerClient made(clients_, number,
                            [this] { return MakeArchiveClient(settings_, userAgent_); });
    THttpClient* const client = made.Get();
    Job job;
    bool skip = false;
    while (TakeJob(job, skip)) {
        ArchiveAnswer answer;
        if (!skip) {
            answer = client ? LookUpSnapshot(*client, service_, job.Url, job.Time,
                                             settings_.DeadlineMilliseconds())
                            : FailedLookUp(FailedCheck(made.Failure()));
        }
        {
            std::lock_guard lock(mutex_);
            if (closed_) {
                // An aborted look-up found out nothing.
                break;
            }
            failed_ = failed_ || answer.Result == ArchiveAnswer::Outcome::Failed;
        }
        QMetaObject::invokeMethod(
            this,
            [this, address = job.Address, answer = std::move(answer)] {
                answers_[address] = answer;
                Deliver(address);
            },
            Qt::QueuedConnection);
    }
}

void ArchiveLookups::Deliver(std::size_t address) {
    const std::vector<Waiting> links = std::move(waiting_[address]);
    waiting_[address].clear();
    for (const Waiting& link : links) {
        // A handler may stop the look-ups.
        if (stopped_) {
            return;
        }
        if (OnAnswer) {
            OnAnswer(link.Link, WithLinkFragment(*answers_[address], link.Url));
        }
    }
}

void ArchiveLookups::Stop() {
    if (stopped_) {
        return;
    }
    stopped_ = true;
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
    }
    changed_.notify_all();
    for (const std::unique_ptr<QThread>& worker : workers_) {
        clients_.AbortUntilEnded(*worker);
    }
    workers_.clear();
}

}  // namespace vornakle
