#pragma once

#include <functional>

class QMenu;
class QObject;

namespace vornakle {

// Adds the "&Set Status" submenu both link lists offer to menu: "&OK" (the
// default), "&Not Tested", "&Invalid" and "&Unknown", each with its status
// image and the status it sets as its tag. A click calls onStatus with the
// tag; context bounds the connections' lifetime.
QMenu* AddStatusMenu(QMenu* menu, QObject* context, std::function<void(int)> onStatus);

}  // namespace vornakle
