#include <gtest/gtest.h>

#include "report/LinkOrdering.h"

namespace vornakle {
namespace {

LinkItem ItemNamed(const QString& caption, const QString& url = {}, const QString& status = {}) {
    LinkItem item;
    item.Caption = caption;
    item.Url = url;
    item.StatusText = status;
    return item;
}

TEST(LinkOrderingTest, CaseDoesNotSplitNamesAndDirectionFlips) {
    const LinkItem apfel = ItemNamed("apfel");
    const LinkItem banane = ItemNamed("Banane");
    const LinkItem zitrone = ItemNamed("Zitrone");
    EXPECT_LT(CompareLinkItems(apfel, banane, 0, 1), 0);
    EXPECT_LT(CompareLinkItems(banane, zitrone, 0, 1), 0);
    EXPECT_GT(CompareLinkItems(apfel, banane, 0, -1), 0);
    EXPECT_EQ(CompareLinkItems(ItemNamed("abc"), ItemNamed("ABC"), 0, 1), 0);
    // A column without a rule compares equal.
    EXPECT_EQ(CompareLinkItems(apfel, zitrone, 3, 1), 0);
    EXPECT_EQ(CompareLinkItems(apfel, zitrone, -1, 1), 0);
}

TEST(LinkOrderingTest, OnlyTheAsciiLettersAreMadeCapitals) {
    // "ä" stays small while "a" becomes "A": the collation then tells them
    // apart by case as well as by accent, so "äb" and "Äb" are not equal.
    EXPECT_NE(CompareLinkTexts(QStringLiteral("äb"), QStringLiteral("Äb")), 0);
    EXPECT_EQ(CompareLinkTexts(QStringLiteral("xY"), QStringLiteral("Xy")), 0);
}

TEST(LinkOrderingTest, StatusTextsInCollationOrder) {
    const std::vector<LinkItem> items = {ItemNamed("1", {}, "Verboten"),
                                         ItemNamed("2", {}, "OK"),
                                         ItemNamed("3", {}, ""),
                                         ItemNamed("4", {}, "Nicht gefunden"),
                                         ItemNamed("5", {}, "Akzeptiert"),
                                         ItemNamed("6", {}, "Gateway-Zeitüberschreitung"),
                                         ItemNamed("7", {}, "Gefunden"),
                                         ItemNamed("8", {}, "Erstellt"),
                                         ItemNamed("9", {}, "Fehlerhafte Anfrage")};
    std::vector<QString> sorted;
    for (int row : LinkItemOrder(items, 2, 1)) {
        sorted.push_back(items[static_cast<std::size_t>(row)].StatusText);
    }
    const std::vector<QString> expected = {"",
                                           "Akzeptiert",
                                           "Erstellt",
                                           "Fehlerhafte Anfrage",
                                           "Gateway-Zeitüberschreitung",
                                           "Gefunden",
                                           "Nicht gefunden",
                                           "OK",
                                           "Verboten"};
    EXPECT_EQ(sorted, expected);
}

// The keyed sort must order exactly as the pairwise rule does.
TEST(LinkOrderingTest, KeyedOrderAgreesWithThePairwiseRule) {
    const QString pieces[] = {"a", "B", "ä", "Ä", "z", "Z", "1",       "10",   "2", " ",
                              "-", "_", "é", "ß", "o", "Ö", "http://", "www.", "?", "E"};
    std::vector<LinkItem> items;
    std::uint32_t seed = 7;
    for (int index = 0; index < 300; ++index) {
        QString text;
        const int length = 1 + static_cast<int>(seed % 5);
        for (int piece = 0; piece < length; ++piece) {
            seed = seed * 1664525u + 1013904223u;
            text += pieces[(seed >> 16) % std::size(pieces)];
        }
        items.push_back(ItemNamed(text, text + "/u"));
    }
    for (int column : {0, 1}) {
        for (int direction : {1, -1}) {
            const std::vector<int> order = LinkItemOrder(items, column, direction);
            ASSERT_EQ(order.size(), items.size());
            for (std::size_t index = 1; index < order.size(); ++index) {
                const LinkItem& before = items[static_cast<std::size_t>(order[index - 1])];
                const LinkItem& after = items[static_cast<std::size_t>(order[index])];
                EXPECT_LE(CompareLinkItems(before, after, column, direction), 0)
                    << before.Caption.toStdString() << " / " << after.Caption.toStdString();
            }
        }
    }
}

TEST(LinkOrderingTest, SortByColumnFlipsOnlyOnTheSameColumn) {
    LinkItems items;
    int column = kSortColumnStart;
    int direction = kSortDirectionStart;
    KeepLinkItemsSorted(items, column, direction);
    items.Add(ItemNamed("b", "1"));
    items.Add(ItemNamed("a", "2"));
    SortByColumn(items, 0, column, direction);
    EXPECT_EQ(column, 0);
    EXPECT_EQ(direction, 1);
    EXPECT_EQ(items.Item(0).Caption, "a");
    SortByColumn(items, 0, column, direction);
    EXPECT_EQ(direction, -1);
    EXPECT_EQ(items.HeaderImage(0), 7);
    EXPECT_EQ(items.Item(0).Caption, "b");
    SortByColumn(items, 1, column, direction);
    EXPECT_EQ(direction, -1);
    EXPECT_EQ(items.HeaderImage(0), -1);
    EXPECT_EQ(items.HeaderImage(1), 7);
    EXPECT_EQ(items.Item(0).Url, "2");
}

}  // namespace
}  // namespace vornakle
