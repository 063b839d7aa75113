#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "check/CollectionLinks.h"
#include "check/LinkOutcome.h"

namespace vornakle {

// What a column holds, for a writer that shows kinds apart (a number bare
// in JSON, an address as a link in a page).
enum class ColumnKind { Text, Number, Url, Time };

// One column of what a run reports of a link. Every output format writes
// these, in this order; a new column is a row of OutcomeColumns.
struct OutcomeColumn {
    std::string_view Key;      // the CSV header's and JSON's name
    std::string_view Heading;  // for people: a report's table heading
    std::string_view German;   // the desktop's heading, which speaks German
    ColumnKind Kind;
    // The cell, as bytes (a link's fields as its source holds them, a time
    // in ISO 8601, UTC); none where the run has nothing to say (no
    // history), which a number shows as null where it can.
    std::optional<std::string> (*Read)(const LinkRecord& link, const LinkOutcome& outcome);
};

inline constexpr std::string_view kFolderColumn = "folder";
inline constexpr std::string_view kClassColumn = "class";
inline constexpr std::string_view kReasonColumn = "reason";

std::span<const OutcomeColumn> OutcomeColumns();

// The row of Key; Key names a row.
const OutcomeColumn& OutcomeColumnOf(std::string_view key);

}  // namespace vornakle
