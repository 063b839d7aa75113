#include "app/DoubleClickFilter.h"

#include <QMouseEvent>

namespace vornakle {

bool DoubleClickFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        handler_();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace vornakle
