#include "history/CheckSession.h"

#include <utility>

#include "check/LinkCheck.h"

namespace vornakle {

CheckSession::CheckSession(const std::vector<LinkRecord>& links, CheckSettings settings)
    : links_(links),
      settings_(std::move(settings)),
      outcomes_(links.size()),
      awaitsArchive_(links.size(), false) {}

std::optional<LinkOutcome> CheckSession::CachedOutcome(std::size_t link) const {
    const AddressHistory* known = History != nullptr ? History->Known(link) : nullptr;
    if (!MaxAge || known == nullptr) {
        return std::nullopt;
    }
    std::optional<CheckResult> result = ReusableResult(*known, *MaxAge, History->Start());
    if (!result) {
        return std::nullopt;
    }
    return LinkOutcome{std::move(*result), OutcomeState::Cached, HistoryFacts{}, {}};
}

std::optional<HistoryFacts> CheckSession::FactsAfter(std::size_t link, const CheckResult& result) {
    const AddressHistory* known = History != nullptr ? History->Checked(link, result) : nullptr;
    if (known == nullptr) {
        return std::nullopt;
    }
    return HistoryFacts{known->FailingSince, known->Failures,
                        Confirm && IsBadResult(result) && !IsConfirmedFailure(*known, *Confirm)};
}

void CheckSession::Add(std::size_t link, LinkOutcome outcome) {
    if (outcome.CountsAsBad()) {
        ++bad_;
    }
    outcomes_.at(link) = std::move(outcome);
    ++known_;
}

// Hands on what has become whole: in order, every outcome up to the first
// that is missing or waits; as ready, the link's own.
void CheckSession::Deliver(std::size_t link) {
    if (Order == Delivery::AsReady) {
        if (!stopped_ && OnOutcome) {
            OnOutcome(link, *outcomes_[link]);
        }
        return;
    }
    while (!stopped_ && next_ < outcomes_.size() && outcomes_[next_] && !awaitsArchive_[next_]) {
        const std::size_t ready = next_++;
        if (OnOutcome) {
            OnOutcome(ready, *outcomes_[ready]);
        }
    }
}

void CheckSession::EndWhenWhole() {
    if (checksDone_ && awaiting_ == 0) {
        loop_.quit();
    }
}

void CheckSession::Stop() {
    stopped_ = true;
    loop_.quit();
}

void CheckSession::Run() {
    std::vector<std::string> urls;
    std::vector<std::size_t> linkOfUrl;
    for (std::size_t link = 0; link < links_.size(); ++link) {
        std::optional<LinkOutcome> answered;
        if (links_[link].Unreadable) {
            answered = LinkOutcome{CheckResult::Failed(FailureReason::Unreadable)};
        } else if (Filter) {
            answered = Filter(links_[link]);
        }
        if (!answered) {
            answered = CachedOutcome(link);
        }
        if (answered) {
            Add(link, std::move(*answered));
            Deliver(link);
        } else {
            urls.push_back(links_[link].Url);
            linkOfUrl.push_back(link);
        }
    }

    if (Archive != nullptr) {
        Archive->OnAnswer = [this](std::size_t link, const ArchiveAnswer& answer) {
            const bool found = answer.Result == ArchiveAnswer::Outcome::Found;
            outcomes_.at(link)->ArchiveUrl = found ? answer.SnapshotUrl : std::string();
            awaitsArchive_.at(link) = false;
            --awaiting_;
            if (answer.Result == ArchiveAnswer::Outcome::Failed ||
                answer.Result == ArchiveAnswer::Outcome::NotAsked) {
                ++archiveMissed_;
            }
            if (answer.Result == ArchiveAnswer::Outcome::Failed && archiveFailure_.empty()) {
                archiveFailure_ = answer.Detail;
            }
            Deliver(link);
            EndWhenWhole();
        };
    }
    CheckEngine engine(std::move(urls), settings_, Shared);
    engine.OnStarted = [&](std::size_t index) {
        if (OnStarted) {
            OnStarted(linkOfUrl[index]);
        }
    };
    engine.OnResult = [&](std::size_t index, const CheckResult& result) {
        const std::size_t link = linkOfUrl[index];
        if (OnChecked) {
            OnChecked(link, result);
        }
        LinkOutcome outcome{result, OutcomeState::Checked, FactsAfter(link, result)};
        const bool lookUp = Archive != nullptr && ArchiveWanted && ArchiveWanted(outcome);
        Add(link, std::move(outcome));
        if (lookUp) {
            awaitsArchive_.at(link) = true;
            ++awaiting_;
            const AddressHistory* known = History != nullptr ? History->Known(link) : nullptr;
            Archive->Ask(link, links_[link].Url,
                         known != nullptr && known->LastFine ? *known->LastFine : ArchiveNow);
        } else {
            Deliver(link);
        }
        EndWhenWhole();
    };
    engine.OnFinished = [&] {
        checksDone_ = true;
        EndWhenWhole();
    };

    if (!stopped_) {
        engine.Start();
        loop_.exec();
    }
    // After Stop this aborts the requests under way and joins the workers;
    // after the last outcome it only finds them ended.
    engine.Stop();
    if (Archive != nullptr) {
        Archive->Stop();
    }
    // What was checked stays in the history, after a stop too.
    if (History != nullptr) {
        History->Flush();
    }
}

}  // namespace vornakle
