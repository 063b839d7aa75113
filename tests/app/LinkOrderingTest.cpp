#include <gtest/gtest.h>

#include "report/LinkOrdering.h"
#include "store/BookTree.h"

namespace vornakle {
namespace {

// A link node whose file is caption.url.
TBookTree* Link(TBookTree& root, const std::string& caption, const std::string& url = {}) {
    TBookTree* node = root.AddChild(url);
    node->Path = caption + ".url";
    node->Status = kStatusNotTested;
    return node;
}

TEST(LinkOrderingTest, CaseDoesNotSplitNamesAndDirectionFlips) {
    TBookTreePtr root(new TBookTree);
    const TBookTree& apfel = *Link(*root, "apfel");
    const TBookTree& banane = *Link(*root, "Banane");
    const TBookTree& zitrone = *Link(*root, "Zitrone");
    EXPECT_LT(CompareLinkItems(apfel, banane, 0, 1), 0);
    EXPECT_LT(CompareLinkItems(banane, zitrone, 0, 1), 0);
    EXPECT_GT(CompareLinkItems(apfel, banane, 0, -1), 0);
    EXPECT_EQ(CompareLinkItems(*Link(*root, "abc"), *Link(*root, "ABC"), 0, 1), 0);
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
    const std::vector<QString> texts = {
        "Verboten",       "OK",         "",
        "Nicht gefunden", "Akzeptiert", "Gateway-Zeitüberschreitung",
        "Gefunden",       "Erstellt",   "Fehlerhafte Anfrage"};
    std::vector<QString> sorted;
    for (int row : LinkTextOrder(texts, 1)) {
        sorted.push_back(texts[static_cast<std::size_t>(row)]);
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
    std::vector<QString> texts;
    std::uint32_t seed = 7;
    for (int index = 0; index < 300; ++index) {
        QString text;
        const int length = 1 + static_cast<int>(seed % 5);
        for (int piece = 0; piece < length; ++piece) {
            seed = seed * 1664525u + 1013904223u;
            text += pieces[(seed >> 16) % std::size(pieces)];
        }
        texts.push_back(text);
        texts.push_back(text + "/u");
    }
    for (int direction : {1, -1}) {
        const std::vector<int> order = LinkTextOrder(texts, direction);
        ASSERT_EQ(order.size(), texts.size());
        for (std::size_t index = 1; index < order.size(); ++index) {
            const QString& before = texts[static_cast<std::size_t>(order[index - 1])];
            const QString& after = texts[static_cast<std::size_t>(order[index])];
            EXPECT_LE(CompareLinkTexts(before, after) * direction, 0)
                << before.toStdString() << " / " << after.toStdString();
        }
    }
}

TEST(LinkOrderingTest, SortByColumnFlipsOnlyOnTheSameColumn) {
    TBookTreePtr root(new TBookTree);
    LinkItems items;
    int column = kSortColumnStart;
    int direction = kSortDirectionStart;
    KeepLinkItemsSorted(items, column, direction);
    items.Add(Link(*root, "b", "1"));
    items.Add(Link(*root, "a", "2"));
    SortByColumn(items, 0, column, direction);
    EXPECT_EQ(column, 0);
    EXPECT_EQ(direction, 1);
    EXPECT_EQ(items.Text(0, LinkItems::kColumnName), "a");
    SortByColumn(items, 0, column, direction);
    EXPECT_EQ(direction, -1);
    EXPECT_EQ(items.HeaderImage(0), 7);
    EXPECT_EQ(items.Text(0, LinkItems::kColumnName), "b");
    SortByColumn(items, 1, column, direction);
    EXPECT_EQ(direction, -1);
    EXPECT_EQ(items.HeaderImage(0), -1);
    EXPECT_EQ(items.HeaderImage(1), 7);
    EXPECT_EQ(items.Text(0, LinkItems::kColumnUrl), "2");
}

}  // namespace
}  // namespace vornakle
