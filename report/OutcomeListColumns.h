#pragma once

#include <QString>
#include <vector>

#include "store/widgets/LinkItems.h"

namespace vornakle {

// The columns a link list shows under current rules beyond the
// three of every list: the class and the reason, read from the rows of the outcome's
// column table that every output of the checker reads, under the table's
// German headings. A node the check kept no outcome for shows them empty.
std::vector<LinkItems::ExtraColumn> OutcomeListColumns();

// The status column's tooltip below the status: what the check found, in
// German (GermanVerdict), and the history's run of failures; empty for a
// node the check kept no outcome for.
QString OutcomeStatusNote(const TBookTree& node);

}  // namespace vornakle
