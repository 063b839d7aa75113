#include "check/OutcomeColumns.h"

#include <algorithm>
#include <array>
#include <stdexcept>

#include "platform/UtcText.h"
#include "store/LinkStatus.h"

namespace vornakle {

namespace {

using Cell = std::optional<std::string>;

constexpr auto kColumns = std::to_array<OutcomeColumn>({
    {kFolderColumn, "Folder", "Ordner", ColumnKind::Text,
     [](const LinkRecord& link, const LinkOutcome&) -> Cell { return link.Folder; }},
    {"name", "Name", "Name", ColumnKind::Text,
     [](const LinkRecord& link, const LinkOutcome&) -> Cell { return link.Name; }},
    {"url", "URL", "URL", ColumnKind::Url,
     [](const LinkRecord& link, const LinkOutcome&) -> Cell { return link.Url; }},
    {"status", "Status", "Status", ColumnKind::Number,
     [](const LinkRecord&, const LinkOutcome& outcome) -> Cell {
         return std::to_string(outcome.Result.Status.Shown());
     }},
    {"status_text", "Status text", "Statustext", ColumnKind::Text,
     [](const LinkRecord&, const LinkOutcome& outcome) -> Cell {
         return StatusText(outcome.Result.Status);
     }},
    {kClassColumn, "Class", "Klasse", ColumnKind::Text,
     [](const LinkRecord&, const LinkOutcome& outcome) -> Cell {
         return std::string(ClassToken(outcome.Class()));
     }},
    // A result the history gave says so rather than the reason it had.
    {kReasonColumn, "Reason", "Grund", ColumnKind::Text,
     [](const LinkRecord&, const LinkOutcome& outcome) -> Cell {
         return outcome.State == OutcomeState::Cached ? std::string("cached")
                                                      : ReasonText(outcome.Result);
     }},
    {"final_url", "Final URL", "Ziel-URL", ColumnKind::Url,
     [](const LinkRecord&, const LinkOutcome& outcome) -> Cell { return outcome.Result.FinalUrl; }},
    {"failing_since", "Failing since", "Fehlerhaft seit", ColumnKind::Time,
     [](const LinkRecord&, const LinkOutcome& outcome) -> Cell {
         if (!outcome.History || !outcome.History->FailingSince) {
             return std::nullopt;
         }
         return UtcText(*outcome.History->FailingSince, kIsoUtcPattern);
     }},
    {"failures", "Failures", "Fehlschläge", ColumnKind::Number,
     [](const LinkRecord&, const LinkOutcome& outcome) -> Cell {
         return outcome.History ? Cell(std::to_string(outcome.History->Failures)) : std::nullopt;
     }},
    {"archive_url", "Archived copy", "Archivkopie", ColumnKind::Url,
     [](const LinkRecord&, const LinkOutcome& outcome) -> Cell { return outcome.ArchiveUrl; }},
});

}  // namespace

std::span<const OutcomeColumn> OutcomeColumns() {
    return kColumns;
}

const OutcomeColumn& OutcomeColumnOf(std::string_view key) {
    const auto* found =
        std::find_if(kColumns.begin(), kColumns.end(),
                     [key](const OutcomeColumn& column) { return column.Key == key; });
    if (found == kColumns.end()) {
        throw std::logic_error("no outcome column " + std::string(key));
    }
    return *found;
}

}  // namespace vornakle
