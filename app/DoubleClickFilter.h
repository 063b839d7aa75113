#pragma once

#include <QObject>
#include <functional>

namespace vornakle {

// Sends left-button double-clicks on the watched widget to a handler instead
// of the widget: on the folder tree a double-click renames, and the view's
// own reaction (editing by its triggers, expanding) is not wanted.
class DoubleClickFilter : public QObject {
public:
    DoubleClickFilter(QObject* parent, std::function<void()> handler)
        : QObject(parent), handler_(std::move(handler)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void()> handler_;
};

}  // namespace vornakle
