#include "check/OutcomeColumns.h"

#include <array>

#include "platform/UtcText.h"
#include "store/LinkStatus.h"

namespace vornakle {

namespace {

using Cell = std::optional<std::string>;

constexpr auto kColumns = std::to_array<OutcomeColumn>({
    {kFolderColumn, "Folder", ColumnKind::Text,
     [](const LinkRecord& link, const LinkOutcome&) -> Cell { return link.Folder; }},
    {"name", "Name", ColumnKind::Text,
     [](const LinkRecord& link, const LinkOutcome&) -> Cell { return link.Name; }},
    {"url", "URL", ColumnKind::Url,
     [](const LinkRecord& link, const LinkOutcome&) -> Cell { return link.Url; }},
    {"status", "Status", ColumnKind::Number,
     [](const LinkRecord&, const LinkOutcome& outcome) -> Cell {
         return std::to_string(outcome.Result.Status);
     }},
    {"status_text", "Status text", ColumnKind::Text,
     [](const LinkRecord&, const LinkOutcome& outcome) -> Cell {
         return StatusText(outcome.Result.Status);
     }},
    {kClassColumn, "Class", ColumnKind::Text,
     [](const LinkRecord&, const LinkOutcome& outcome) -> Cell {
         return std::string(ClassToken(outcome.Class()));
     }},
    // A result the history gave says so rather than the reason it had.
    {"reason", "Reason", ColumnKind::Text,
     [](const LinkRecord&, const LinkOutcome& outcome) -> Cell {
         return outcome.State == OutcomeState::Cached ? std::string("cached")
                                                      : ReasonText(outcome.Result);
     }},
    {"final_url", "Final URL", ColumnKind::Url,
     [](const LinkRecord&, const LinkOutcome& outcome) -> Cell { return outcome.Result.FinalUrl; }},
    {"failing_since", "Failing since", ColumnKind::Time,
     [](const LinkRecord&, const LinkOutcome& outcome) -> Cell {
         if (!outcome.History || !outcome.History->FailingSince) {
             return std::nullopt;
         }
         return UtcText(*outcome.History->FailingSince, "%Y-%m-%dT%H:%M:%SZ");
     }},
    {"failures", "Failures", ColumnKind::Number,
     [](const LinkRecord&, const LinkOutcome& outcome) -> Cell {
         return outcome.History ? Cell(std::to_string(outcome.History->Failures)) : std::nullopt;
     }},
    {"archive_url", "Archived copy", ColumnKind::Url,
     [](const LinkRecord&, const LinkOutcome& outcome) -> Cell { return outcome.ArchiveUrl; }},
});

}  // namespace

std::span<const OutcomeColumn> OutcomeColumns() {
    return kColumns;
}

}  // namespace vornakle
