#include "report/LinkOrdering.h"

#include <algorithm>
#include <numeric>

#include "platform/Collation.h"
#include "store/LinkStatus.h"

namespace vornakle {

namespace {

// Only the 26 ASCII letters are made capitals, so the case of a plain letter
// never changes the order; umlauts and every other character keep their
// case, which the case-sensitive collation then weighs ("äb" and "Äb" are
// not one name).
QString UpperAsciiLetters(const QString& text) {
    QString upper = text;
    for (QChar& character : upper) {
        const char16_t code = character.unicode();
        if (code >= u'a' && code <= u'z') {
            character = QChar(static_cast<char16_t>(code - u'a' + u'A'));
        }
    }
    return upper;
}

const QString* ColumnText(const LinkItem& item, int column) {
    switch (column) {
        case LinkItems::kColumnName:
            return &item.Caption;
        case LinkItems::kColumnUrl:
            return &item.Url;
        case LinkItems::kColumnStatus:
            return &item.StatusText;
        default:
            return nullptr;
    }
}

}  // namespace

int CompareLinkTexts(const QString& first, const QString& second) {
    return SystemCollation().Compare(UpperAsciiLetters(first), UpperAsciiLetters(second));
}

int CompareLinkItems(const LinkItem& A, const LinkItem& B, int FSortColumn, int FSortDirection) {
    const QString* first = ColumnText(A, FSortColumn);
    const QString* second = ColumnText(B, FSortColumn);
    if (first == nullptr || second == nullptr) {
        return 0;
    }
    return CompareLinkTexts(*first, *second) * FSortDirection;
}

std::vector<int> LinkItemOrder(const std::vector<LinkItem>& Items, int FSortColumn,
                               int FSortDirection) {
    std::vector<int> order(Items.size());
    std::iota(order.begin(), order.end(), 0);
    if (ColumnText(LinkItem(), FSortColumn) == nullptr) {
        return order;
    }
    const Collation& collation = SystemCollation();
    std::vector<CollationKey> keys;
    keys.reserve(Items.size());
    for (const LinkItem& item : Items) {
        keys.push_back(collation.Key(UpperAsciiLetters(*ColumnText(item, FSortColumn))));
    }
    std::stable_sort(order.begin(), order.end(), [&](int left, int right) {
        return keys[static_cast<std::size_t>(left)].Compare(keys[static_cast<std::size_t>(right)]) *
                   FSortDirection <
               0;
    });
    return order;
}

void KeepLinkItemsSorted(LinkItems& Items, const int& FSortColumn, const int& FSortDirection) {
    Items.SetOrdering([&FSortColumn, &FSortDirection](const std::vector<LinkItem>& items) {
        return LinkItemOrder(items, FSortColumn, FSortDirection);
    });
}

void SortByColumn(LinkItems& Items, int Column, int& FSortColumn, int& FSortDirection) {
    for (int column = 0; column < LinkItems::kColumnCount; ++column) {
        Items.SetHeaderImage(column, -1);
    }
    if (Column == FSortColumn) {
        FSortDirection = -FSortDirection;
    }
    FSortColumn = Column;
    Items.SetHeaderImage(
        Column, FSortDirection == kSortAscending ? kImageSortAscending : kImageSortDescending);
    Items.Resort();
}

}  // namespace vornakle
