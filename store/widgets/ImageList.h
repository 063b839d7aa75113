#pragma once

#include <QIcon>

#include "store/LinkStatus.h"

namespace vornakle {

// The eight images shared by both windows: the folder, the five status
// images and the two sort marks (indexes in store/LinkStatus.h). Drawn in code
// at every size asked for, so they stay sharp on high-DPI screens.
class TImageList {
public:
    static const TImageList& Shared();  // needs a QGuiApplication

    const QIcon& Icon(int index) const;
    int Count() const;

private:
    TImageList();

    QIcon icons_[kImageCount];
};

}  // namespace vornakle
