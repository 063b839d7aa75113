#pragma once

#include <functional>

class QWidget;

namespace vornakle {

// Sends the key presses of widget to handler, which returns true for a key
// it took; the widget handles the others as usual. The filter is owned by the
// widget, so it goes with it.
void InstallKeyHandler(QWidget* widget, std::function<bool(int key)> handler);

// Enter on either keyboard block.
bool IsEnterKey(int key);
// Enter, Insert or Delete: the keys the link lists and the folder tree run
// their commands with.
bool IsCommandKey(int key);

}  // namespace vornakle
