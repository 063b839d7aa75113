#pragma once

#include <QEventLoop>

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "check/ArchiveLookups.h"
#include "check/CheckEngine.h"
#include "check/CheckResult.h"
#include "check/CheckSettings.h"
#include "check/CollectionLinks.h"
#include "check/LinkOutcome.h"
#include "history/AddressHistory.h"
#include "history/HistoryRun.h"

namespace vornakle {

// One run of checks over a collection's links, the same for both programs:
// a link whose shortcut could not be read and one the filter leaves out
// have their outcome at once, one the history answers for (MaxAge) is not
// asked again, the engine checks the others, each check joins the history,
// and a link ArchiveWanted names waits for its archived copy. Outcomes are
// handed on in the collection's order (Delivery::InOrder), or each as soon
// as it is whole (Delivery::AsReady). What the caller sets is read by Run.
class CheckSession {
public:
    enum class Delivery { InOrder, AsReady };

    // The outcome a filter gives a link it does not let through; none: the
    // link is checked.
    using TFilter = std::function<std::optional<LinkOutcome>(const LinkRecord& link)>;
    using TArchiveWanted = std::function<bool(const LinkOutcome& outcome)>;
    using TStartedHandler = std::function<void(std::size_t link)>;
    using TCheckedHandler = std::function<void(std::size_t link, const CheckResult& result)>;
    using TOutcomeHandler = std::function<void(std::size_t link, const LinkOutcome& outcome)>;

    // The links stay the caller's and must outlive the session.
    CheckSession(const std::vector<LinkRecord>& links, CheckSettings settings);

    SharedAddresses Shared = SharedAddresses::CheckedOnce;
    Delivery Order = Delivery::InOrder;
    TFilter Filter;
    // The history the checks are added to, one URL per link; null: none.
    HistoryRun* History = nullptr;
    // A fine result of the history at most this old stands for a check.
    std::optional<std::chrono::seconds> MaxAge;
    // A failure the history does not confirm by this rule is told
    // (HistoryFacts::Unconfirmed).
    std::optional<ConfirmRule> Confirm;
    // The caller's look-ups of archived copies; null: none asked.
    ArchiveLookups* Archive = nullptr;
    TArchiveWanted ArchiveWanted;
    // The copy asked for is the one closest to the history's last fine
    // check, else to this time.
    HistoryTime ArchiveNow{};

    // When a link's check begins, and each check's result as it ends, in the
    // order the checks end.
    TStartedHandler OnStarted;
    TCheckedHandler OnChecked;
    TOutcomeHandler OnOutcome;

    // Runs the checks in an event loop of its own until every outcome is
    // handed on or Stop is called, then ends what is under way and writes
    // the history's last batch.
    void Run();
    // Ends Run early: no further outcome is handed on. May be called from
    // any handler, and before Run.
    void Stop();
    bool Stopped() const { return stopped_; }

    // The outcomes known so far (an archived copy may still be missing),
    // and how many of them count as bad.
    std::size_t Known() const { return known_; }
    std::size_t Bad() const { return bad_; }
    const std::vector<std::optional<LinkOutcome>>& Outcomes() const { return outcomes_; }
    // Links whose archived copy was not found since the archive failed, and
    // the first failure's detail.
    std::size_t ArchiveMissed() const { return archiveMissed_; }
    const std::string& ArchiveFailure() const { return archiveFailure_; }

private:
    std::optional<LinkOutcome> CachedOutcome(std::size_t link) const;
    std::optional<HistoryFacts> FactsAfter(std::size_t link, const CheckResult& result);
    void Add(std::size_t link, LinkOutcome outcome);
    void Deliver(std::size_t link);
    void EndWhenWhole();

    const std::vector<LinkRecord>& links_;
    CheckSettings settings_;
    QEventLoop loop_;
    std::vector<std::optional<LinkOutcome>> outcomes_;
    std::vector<bool> awaitsArchive_;
    std::size_t awaiting_ = 0;
    std::size_t next_ = 0;
    std::size_t known_ = 0;
    std::size_t bad_ = 0;
    std::size_t archiveMissed_ = 0;
    std::string archiveFailure_;
    bool checksDone_ = false;
    bool stopped_ = false;
};

}  // namespace vornakle
