#include "app/TreeDropFilter.h"

#include <QAbstractItemView>
#include <QDropEvent>
#include <QPointer>
#include <QScrollBar>

namespace vornakle {

TreeDropFilter::TreeDropFilter(QAbstractItemView* view, OverHandler over, DropHandler drop)
    : QObject(view), view_(view), over_(std::move(over)), drop_(std::move(drop)) {}

bool TreeDropFilter::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* move = static_cast<QDragMoveEvent*>(event);
            if (over_(move->source())) {
                move->setDropAction(move->possibleActions().testFlag(Qt::MoveAction)
                                        ? Qt::MoveAction
                                        : move->proposedAction());
                move->accept();
            } else {
                move->ignore();
            }
            ScrollNearEdge(move->position().toPoint());
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            QObject* source = drop->source();
            if (!over_(source)) {
                drop->ignore();
                return true;
            }
            // The handler moves the item itself. A move reported back to a
            // view that started the drag would make it remove its selected
            // rows as well, so the drop reports a copy.
            drop->setDropAction(Qt::CopyAction);
            drop->accept();
            // The move runs once the drag has ended: it may ask the user,
            // and a modal box does not belong inside the drag's own loop.
            const QPoint point = drop->position().toPoint();
            QMetaObject::invokeMethod(
                this,
                [this, guarded = QPointer<QObject>(source), point] {
                    if (guarded) {
                        drop_(guarded.data(), point);
                    }
                },
                Qt::QueuedConnection);
            return true;
        }
        default:
            return QObject::eventFilter(watched, event);
    }
}

// The view scrolls itself during its own drags only; these drags are ours,
// so a folder out of sight is brought into reach here.
void TreeDropFilter::ScrollNearEdge(const QPoint& point) {
    QScrollBar* bar = view_->verticalScrollBar();
    const int margin = view_->autoScrollMargin();
    if (point.y() < margin) {
        bar->setValue(bar->value() - bar->singleStep());
    } else if (point.y() > view_->viewport()->height() - margin) {
        bar->setValue(bar->value() + bar->singleStep());
    }
}

}  // namespace vornakle
