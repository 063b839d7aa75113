#pragma once

#include <string>

namespace vornakle {

// The user's trash as the freedesktop.org trash layout has it, so
// that the desktop's own trash can show and restore what the program deleted.

// $XDG_DATA_HOME/Trash, or ~/.local/share/Trash when that is unset or not an
// absolute path.
std::string TrashDirectory();

// Moves a file or a whole directory into the trash: an info file
// (info/NAME.trashinfo with the original path and the deletion time) and the
// entry itself (files/NAME), under a free name when NAME is taken. Creates the
// trash when it is missing; copies and then removes when the trash is on
// another file system. Returns the path the entry now has in the trash.
//
// Throws EFileError when the path cannot be put into the trash; then nothing
// has been deleted. (EOriginalNotRemoved: the trash holds a whole copy, but
// some of the original could not be removed.)
std::string MoveToTrash(const std::string& path);

}  // namespace vornakle
