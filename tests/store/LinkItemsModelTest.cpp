#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QPersistentModelIndex>
#include <algorithm>
#include <numeric>
#include <utility>
#include <vector>

#include "store/BookTree.h"
#include "store/LinkStatus.h"
#include "store/widgets/LinkItems.h"

namespace vornakle {
namespace {

// LinkItems announces its re-sorts as layout changes and moves the
// persistent indexes itself. The tester aborts the run on the first breach of
// the model contract; the held indexes stand for a view's selection and
// current item, which must stay on their links through every re-sort.
TEST(LinkItemsModelTest, EveryChangeKeepsTheModelContractAndHeldIndexesOnTheirLinks) {
    TBookTreePtr root(new TBookTree);
    LinkItems items;
    int direction = 1;
    items.SetOrdering([&direction](const LinkItems& list) {
        std::vector<int> order(static_cast<std::size_t>(list.Count()));
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(), [&](int left, int right) {
            const QString first = list.Text(left, LinkItems::kColumnName);
            const QString second = list.Text(right, LinkItems::kColumnName);
            return direction > 0 ? first < second : second < first;
        });
        return order;
    });
    const QAbstractItemModelTester tester(&items,
                                          QAbstractItemModelTester::FailureReportingMode::Fatal);
    const auto link = [&](const char* caption) {
        TBookTree* node = root->AddChild(caption);
        node->Path = std::string(caption) + ".url";
        node->Status = kStatusNotTested;
        return node;
    };
    const auto captions = [&] {
        QStringList shown;
        for (int row = 0; row < items.Count(); ++row) {
            shown.append(items.Text(row, LinkItems::kColumnName));
        }
        return shown.join(' ');
    };

    {
        LinkItems::FillScope fill(items);
        for (const char* caption : {"d", "b", "e", "a", "c"}) {
            items.Add(link(caption));
        }
    }
    EXPECT_EQ(captions(), "a b c d e");

    std::vector<std::pair<QPersistentModelIndex, TBookTree*>> held;
    for (int row = 0; row < items.Count(); ++row) {
        held.emplace_back(items.index(row, LinkItems::kColumnStatus), items.Node(row));
    }
    const auto expectHeldOnTheirLinks = [&] {
        for (const auto& [index, node] : held) {
            ASSERT_TRUE(index.isValid());
            EXPECT_EQ(index.column(), LinkItems::kColumnStatus);
            EXPECT_EQ(items.Node(index.row()), node)
                << items.Text(index.row(), LinkItems::kColumnName).toStdString();
            // The node index follows every move of the rows.
            EXPECT_EQ(items.IndexOfNode(node), index.row());
        }
    };
    expectHeldOnTheirLinks();

    direction = -1;
    items.Resort();
    EXPECT_EQ(captions(), "e d c b a");
    expectHeldOnTheirLinks();

    const int added = items.Add(link("bb"));
    EXPECT_EQ(items.Text(added, LinkItems::kColumnName), "bb");
    EXPECT_EQ(captions(), "e d c bb b a");
    expectHeldOnTheirLinks();

    held[4].second->Path = "ca.url";
    items.Renamed(items.IndexOfNode(held[4].second));
    EXPECT_EQ(captions(), "d ca c bb b a");
    expectHeldOnTheirLinks();

    items.Remove(items.IndexOfNode(held[2].second));
    EXPECT_FALSE(held[2].first.isValid());
    held.erase(held.begin() + 2);
    EXPECT_EQ(captions(), "d ca bb b a");
    expectHeldOnTheirLinks();

    items.RemoveIf([](const TBookTree& node) { return node.Path.starts_with('b'); });
    EXPECT_EQ(captions(), "d ca a");
    // The reset drops the held indexes; the node index knows who is left.
    std::string found;
    for (const auto& entry : held) {
        const int row = items.IndexOfNode(entry.second);
        found += row < 0 ? "-" : items.Node(row) == entry.second ? "+" : "?";
    }
    EXPECT_EQ(found, "+-++");
    items.Clear();
    EXPECT_EQ(items.rowCount(), 0);
    EXPECT_EQ(items.IndexOfNode(held[0].second), -1);
}

}  // namespace
}  // namespace vornakle
