#pragma once

#include <QObject>
#include <functional>

class QAbstractItemView;
class QPoint;

namespace vornakle {

// Drags and drops over a tree's viewport go to the window's handlers instead
// of the view's own, which would move items within the view by itself,
// behind the back of the folder nodes and the disk.
class TreeDropFilter : public QObject {
public:
    // Whether a drag from source may be dropped here.
    using OverHandler = std::function<bool(QObject* source)>;
    // Runs the drop at point (viewport coordinates) once the drag has ended.
    using DropHandler = std::function<void(QObject* source, const QPoint& point)>;

    TreeDropFilter(QAbstractItemView* view, OverHandler over, DropHandler drop);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ScrollNearEdge(const QPoint& point);

    QAbstractItemView* view_;
    OverHandler over_;
    DropHandler drop_;
};

}  // namespace vornakle
