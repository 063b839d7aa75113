#pragma once

class QString;
class QWidget;

namespace vornakle {

// Gives a top-level window exactly this title, as the user reads it in the
// title bar, also when it is a name the user typed. The toolkit reads "[*]"
// in a title as the place of a mark for unsaved changes, and its X11 plugin
// shows the application's name in place of an empty title.
void SetExactWindowTitle(QWidget* window, const QString& title);

}  // namespace vornakle
