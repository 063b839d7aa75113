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

}  // namespace

int CompareLinkTexts(const QString& first, const QString& second) {
    return SystemCollation().Compare(UpperAsciiLetters(first), UpperAsciiLetters(second));
}

int CompareLinkItems(const TBookTree& A, const TBookTree& B, int FSortColumn, int FSortDirection) {
    return CompareLinkTexts(LinkItems::ColumnText(A, FSortColumn),
                            LinkItems::ColumnText(B, FSortColumn)) *
           FSortDirection;
}

std::vector<int> LinkTextOrder(const std::vector<QString>& Texts, int FSortDirection) {
    std::vector<int> order(Texts.size());
    std::iota(order.begin(), order.end(), 0);
    const Collation& collation = SystemCollation();
    std::vector<CollationKey> keys;
    keys.reserve(Texts.size());
    for (const QString& text : Texts) {
        keys.push_back(collation.Key(UpperAsciiLetters(text)));
    }
    std::stable_sort(order.begin(), order.end(), [&](int left, int right) {
        return keys[static_cast<std::size_t>(left)].Compare(keys[static_cast<std::size_t>(right)]) *
                   FSortDirection <
               0;
    });
    return order;
}

void KeepLinkItemsSorted(LinkItems& Items, const int& FSortColumn, const int& FSortDirection) {
    Items.SetOrdering([&FSortColumn, &FSortDirection](const LinkItems& items) {
        if (FSortColumn < 0 || FSortColumn >= items.ColumnCount()) {
            // A column without a rule keeps the order.
            std::vector<int> order(items.Nodes().size());
            std::iota(order.begin(), order.end(), 0);
            return order;
        }
        std::vector<QString> texts;
        texts.reserve(items.Nodes().size());
        for (const TBookTree* node : items.Nodes()) {
            texts.push_back(items.NodeText(*node, FSortColumn));
        }
        return LinkTextOrder(texts, FSortDirection);
    });
}

void SortByColumn(LinkItems& Items, int Column, int& FSortColumn, int& FSortDirection) {
    for (int column = 0; column < Items.ColumnCount(); ++column) {
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
