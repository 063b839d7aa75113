#include "report/KeyHandler.h"

#include <QEvent>
#include <QKeyEvent>
#include <QWidget>

namespace vornakle {

namespace {

class KeyFilter : public QObject {
public:
    KeyFilter(QWidget* widget, std::function<bool(int)> handler)
        : QObject(widget), handler_(std::move(handler)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress && handler_(static_cast<QKeyEvent*>(event)->key())) {
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<bool(int)> handler_;
};

}  // namespace

void InstallKeyHandler(QWidget* widget, std::function<bool(int key)> handler) {
    widget->installEventFilter(new KeyFilter(widget, std::move(handler)));
}

bool IsEnterKey(int key) {
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

bool IsCommandKey(int key) {
    return IsEnterKey(key) || key == Qt::Key_Insert || key == Qt::Key_Delete;
}

}  // namespace vornakle
