#include "report/OutcomeListColumns.h"

#include <string_view>

#include "check/LinkOutcome.h"
#include "check/OutcomeColumns.h"
#include "check/VerdictTexts.h"
#include "store/BookTree.h"
#include "store/LinkVerdict.h"

namespace vornakle {

namespace {

// What a check found about the node's link; null for a status alone (from
// the file, or set by hand), which tells no reason and whose class could
// belie what a check found.
const LinkOutcome* KeptOutcome(const TBookTree& node) {
    return node.Verdict != nullptr ? node.Verdict->Outcome.get() : nullptr;
}

LinkItems::ExtraColumn ListColumn(std::string_view key) {
    const OutcomeColumn& column = OutcomeColumnOf(key);
    return {QString::fromUtf8(column.German.data(), static_cast<qsizetype>(column.German.size())),
            [&column](const TBookTree& node) {
                // The two columns read the outcome only; the link's own
                // fields are the list's other columns.
                const LinkRecord link{};
                const LinkOutcome* kept = KeptOutcome(node);
                if (kept == nullptr) {
                    return QString();
                }
                return QString::fromStdString(column.Read(link, *kept).value_or(std::string()));
            }};
}

}  // namespace

std::vector<LinkItems::ExtraColumn> OutcomeListColumns() {
    return {ListColumn(kClassColumn), ListColumn(kReasonColumn)};
}

QString OutcomeStatusNote(const TBookTree& node) {
    const LinkOutcome* kept = KeptOutcome(node);
    if (kept == nullptr) {
        return QString();
    }
    // A URL edit files a new status and drops the outcome, so the node's
    // URL is the one that was checked.
    std::string note = GermanVerdict(kept->Result, node.Text);
    const std::optional<HistoryFacts>& history = kept->History;
    if (history && history->FailingSince) {
        if (!note.empty()) {
            note += '\n';
        }
        note +=
            GermanFailingRun(history->FailingSince->time_since_epoch().count(), history->Failures);
    }
    return QString::fromStdString(note);
}

}  // namespace vornakle
