#include "app/LinkDragStarter.h"

#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QTreeView>

namespace vornakle {

namespace {

// A dragged link carries only this marker: the drop takes the link from the
// list's selection, never from the drag's data.
const QString kLinkDragMimeType = QStringLiteral("application/x-vornakle-link");

}  // namespace

LinkDragStarter::LinkDragStarter(QTreeView* list) : QObject(list), list_(list) {}

bool LinkDragStarter::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::MouseButtonPress: {
            const auto* press = static_cast<QMouseEvent*>(event);
            pressed_ = press->button() == Qt::LeftButton &&
                       list_->indexAt(press->position().toPoint()).isValid();
            pressPoint_ = press->position().toPoint();
            break;
        }
        case QEvent::MouseButtonRelease:
            pressed_ = false;
            break;
        case QEvent::MouseMove: {
            const auto* move = static_cast<QMouseEvent*>(event);
            if (!pressed_ || !move->buttons().testFlag(Qt::LeftButton) ||
                (move->position().toPoint() - pressPoint_).manhattanLength() <
                    QApplication::startDragDistance()) {
                break;
            }
            pressed_ = false;
            const QModelIndexList selected = list_->selectionModel()->selectedRows();
            if (selected.isEmpty() ||
                list_->model()->flags(selected.first()).testFlag(Qt::ItemIsDragEnabled)) {
                break;
            }
            auto* data = new QMimeData;
            data->setData(kLinkDragMimeType, QByteArray());
            auto* drag = new QDrag(list_);
            drag->setMimeData(data);
            const QVariant icon = selected.first().data(Qt::DecorationRole);
            if (icon.canConvert<QIcon>()) {
                drag->setPixmap(icon.value<QIcon>().pixmap(list_->iconSize()));
            }
            drag->exec(Qt::MoveAction | Qt::CopyAction, Qt::MoveAction);
            return true;
        }
        default:
            break;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace vornakle
