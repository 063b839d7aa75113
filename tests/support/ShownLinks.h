#pragma once

#include <QString>
#include <vector>

#include "store/widgets/LinkItems.h"

namespace vornakle::testing {

// What a row of a link list shows, read through the list as a view reads it.
struct ShownLink {
    TBookTree* Node = nullptr;
    QString Caption;
    QString Url;
    QString StatusText;
    int ImageIndex = 0;
    QString StatusToolTip;
};

inline ShownLink Shown(const LinkItems& items, int row) {
    return {items.Node(row),
            items.Text(row, LinkItems::kColumnName),
            items.Text(row, LinkItems::kColumnUrl),
            items.Text(row, LinkItems::kColumnStatus),
            items.ImageIndex(row),
            items.StatusToolTip(row)};
}

inline std::vector<ShownLink> ShownLinks(const LinkItems& items) {
    std::vector<ShownLink> rows;
    for (int row = 0; row < items.Count(); ++row) {
        rows.push_back(Shown(items, row));
    }
    return rows;
}

}  // namespace vornakle::testing
