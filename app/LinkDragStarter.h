#pragma once

#include <QObject>
#include <QPoint>

class QTreeView;

namespace vornakle {

// Starts the drag of the selected link when the list's model does not offer
// drags of its own (a drag of the model's kind works as well: the drop looks
// at the source and the selection only). Installed on the list's viewport.
class LinkDragStarter : public QObject {
public:
    explicit LinkDragStarter(QTreeView* list);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QTreeView* list_;
    bool pressed_ = false;
    QPoint pressPoint_;
};

}  // namespace vornakle
