#include "report/LinkTester.h"

#include <memory>
#include <optional>

#include "check/CheckResult.h"
#include "check/CollectionLinks.h"
#include "check/LinkCheck.h"
#include "check/LinkOutcome.h"
#include "history/CheckSession.h"
#include "history/HistoryRun.h"
#include "platform/ErrorMessages.h"
#include "platform/Exception.h"
#include "store/BookTree.h"
#include "store/LinkVerdict.h"
#include "store/widgets/LinkChanges.h"

namespace vornakle {

namespace {

// How the link stands and the whole outcome, which the lists' class and
// reason columns and the status's tooltip read when a view asks.
std::unique_ptr<const LinkVerdict> VerdictOfOutcome(const LinkOutcome& outcome) {
    auto verdict = std::make_unique<LinkVerdict>();
    verdict->Outcome = std::make_shared<const LinkOutcome>(outcome);
    verdict->Standing = StandingOfResult(outcome.Result);
    return verdict;
}

// The history of checks as the window's messages name its faults.
std::string HistoryFailureText(const EHistoryError& error, const std::string& path) {
    const std::string name = QuotedMessagePath(path);
    switch (error.Why()) {
        case EHistoryError::Reason::Damaged:
            return "Der Prüfverlauf " + name +
                   " ist beschädigt oder keine SQLite-Datenbank und bleibt, wie er ist.";
        case EHistoryError::Reason::Foreign:
            return "Die Datei " + name +
                   " gehört einem anderen Programm, ist kein Prüfverlauf und bleibt, wie sie ist.";
        case EHistoryError::Reason::Newer:
            return "Der Prüfverlauf " + name +
                   " stammt von einer neueren Version und bleibt, wie er ist.";
        case EHistoryError::Reason::InUse:
            return "Der Prüfverlauf " + name +
                   " wird gerade von einer anderen Prüfung benutzt. Bitte später noch einmal "
                   "prüfen.";
        case EHistoryError::Reason::NoSpace:
            return "Der Prüfverlauf " + name +
                   " kann nicht geschrieben werden: Auf dem Datenträger ist kein Platz mehr.";
        case EHistoryError::Reason::Stopped:
        case EHistoryError::Reason::Unusable:
            break;
    }
    return "Der Prüfverlauf " + name + " kann nicht benutzt werden.";
}

}  // namespace

LinkTester::LinkTester(CheckSettings settings, LinkChanges& changes)
    : settings_(std::move(settings)), changes_(changes) {}

LinkTester::~LinkTester() {
    Abort();
}

void LinkTester::Abort() {
    if (session_ != nullptr) {
        session_->Stop();
    }
}

void LinkTester::Test(const std::vector<TBookTree*>& nodes,
                      const std::function<void(TBookTree*)>& filed) {
    if (session_ != nullptr || nodes.empty()) {
        return;
    }
    // The list may change while the check runs (a fine link leaves the
    // report): the check keeps its own.
    const std::vector<TBookTree*> checked = nodes;
    std::vector<LinkRecord> links;
    std::vector<std::string> urls;
    links.reserve(checked.size());
    for (const TBookTree* node : checked) {
        links.push_back({std::string(), std::string(), node->Text});
        urls.push_back(node->Text);
    }
    // Current checks join the history of checks; classic statuses stay in
    // memory. One that cannot be used stops the command before any request.
    const bool classic = settings_.Rules == CheckRules::Classic;
    std::unique_ptr<HistoryRun> history;
    if (!historyPath_.empty() && !classic) {
        try {
            history = std::make_unique<HistoryRun>(historyPath_, HistoryFolder::MakeMissing, urls,
                                                   SystemClock());
        } catch (const EHistoryError& error) {
            throw Exception(HistoryFailureText(error, historyPath_));
        }
    }
    CheckSettings settings = settings_;
    if (classic) {
        // One link after another, as the lists order them.
        settings.Jobs = 1;
    }
    CheckSession session(links, settings);
    session.Shared = classic ? SharedAddresses::CheckedEach : SharedAddresses::CheckedOnce;
    // Each result shows on its node as soon as it is known.
    session.Order = CheckSession::Delivery::AsReady;
    session.History = history.get();
    if (!classic) {
        session.Filter = [this](const LinkRecord& link) {
            return FilteredOutcome(filter_, link.Url);
        };
        session.MaxAge = maxAge_;
    }
    session.OnStarted = [&](std::size_t link) {
        underWay_ = true;
        changes_.CheckBegun(checked[link]);
    };
    session.OnOutcome = [&](std::size_t link, const LinkOutcome& outcome) {
        TBookTree* node = checked[link];
        const CheckResult& result = outcome.Result;
        // A check that was stopped has found nothing out about the link, nor
        // has one the filter left out.
        if (result.Reason != FailureReason::Aborted && outcome.State != OutcomeState::Excluded) {
            // Classic checks tell nothing beyond the status.
            node->FileStatus(result.Status, classic ? nullptr : VerdictOfOutcome(outcome));
        }
        changes_.CheckEnded(node);
        if (filed) {
            filed(node);
        }
    };

    session_ = &session;
    // Writes the history's last batch as well.
    session.Run();
    session_ = nullptr;
    underWay_ = false;
    // What was under way when the check was stopped shows its old status.
    for (const TBookTree* node : checked) {
        if (changes_.BeingTested(node)) {
            changes_.CheckEnded(node);
        }
    }
    // Every status is filed; the history only misses what came after its
    // failure.
    if (history && history->Failure()) {
        throw Exception(HistoryFailureText(*history->Failure(), historyPath_));
    }
}

}  // namespace vornakle
