#pragma once

#include <QString>
#include <vector>

#include "store/widgets/LinkItems.h"

namespace vornakle {

class TBookTree;

// The order of both link lists. Each window keeps its own sort state: the
// tag of the column sorted by (0 Name, 1 URL, 2 Status, then the columns
// the list added) and the direction.
inline constexpr int kSortAscending = 1;
inline constexpr int kSortDescending = -1;
// A window sorts its list when it is shown as if the "Name" header had been
// clicked. A click on the column already sorted by would reverse the
// direction, so the state starts on another column: the first sort is then
// by name, ascending.
inline constexpr int kSortColumnStart = LinkItems::kColumnUrl;
inline constexpr int kSortDirectionStart = kSortAscending;

// Two column texts in list order: the letters a to z (only these) made
// capitals, then the user's locale collation, case-sensitive. -1, 0 or +1.
int CompareLinkTexts(const QString& first, const QString& second);

// The compare rule of the lists: negative when link A goes before link B by
// their texts in column FSortColumn; 0 for a column without a rule.
int CompareLinkItems(const TBookTree& A, const TBookTree& B, int FSortColumn, int FSortDirection);

// The rows of one column's Texts in the order CompareLinkTexts and the
// direction give, computed with one collation key per text instead of a
// full collation per comparison.
std::vector<int> LinkTextOrder(const std::vector<QString>& Texts, int FSortDirection);

// Makes Items keep the order of a window's sort state from now on; the state
// is read at each sort, so it must live as long as Items.
void KeepLinkItemsSorted(LinkItems& Items, const int& FSortColumn, const int& FSortDirection);

// A click on a column header: the same column again reverses the direction,
// another column keeps it. The sort column's header shows the down arrow
// (image 6) when ascending, the up arrow (image 7) when descending; the
// others show none. Then the list is sorted.
void SortByColumn(LinkItems& Items, int Column, int& FSortColumn, int& FSortDirection);

}  // namespace vornakle
