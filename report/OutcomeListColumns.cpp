#include "report/OutcomeListColumns.h"

#include <string_view>

#include "check/LinkOutcome.h"
#include "check/OutcomeColumns.h"
#include "store/BookTree.h"
#include "store/LinkVerdict.h"

namespace vornakle {

namespace {

LinkItems::ExtraColumn ListColumn(std::string_view key) {
    const OutcomeColumn& column = OutcomeColumnOf(key);
    return {QString::fromUtf8(column.German.data(), static_cast<qsizetype>(column.German.size())),
            [&column](const TBookTree& node) {
                // The two columns read the outcome only; the link's own
                // fields are the list's other columns.
                const LinkRecord link{};
                const LinkOutcome* kept =
                    node.Verdict != nullptr ? node.Verdict->Outcome.get() : nullptr;
                // A status alone (from the file, or set by hand) tells no
                // reason, and its class could belie what a check found.
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

}  // namespace vornakle
