#pragma once

#include <string>

#include "platform/Exception.h"

namespace vornakle {

// The shell's file operations: moves that can never replace an existing file
// or directory, and a move into a directory that picks a free name.

// A move that copied everything to its target but could not remove all of the
// original afterwards. Nothing is lost: the copy is whole, and what is left of
// the original is still where it was.
class EOriginalNotRemoved : public EFileError {
public:
    using EFileError::EFileError;
};

enum class MoveOutcome {
    Moved,         // the path is now at the target
    TargetExists,  // the target name was taken; nothing changed
};

// Renames a file or directory; fails when the target exists, where a plain
// rename would silently replace it. Both paths must be on one file system.
// Throws EFileError with the reason.
void MovePathNoReplace(const std::string& from, const std::string& to);

// Moves a file or directory to exactly the given target path, by renaming or,
// across file systems, by copying (symbolic links stay links) and then
// removing the original. Never replaces anything. Throws EFileError when the
// move fails, with the original left whole, and EOriginalNotRemoved when only
// the removal of the original failed.
MoveOutcome TryMovePath(const std::string& from, const std::string& to);

// The name tried at the given attempt (1, 2, ...) when name is taken:
// "Name", "Name (2)", "Name (3)". For a file the number goes before the
// extension ("x (2).url"), so that the file keeps its type.
std::string CollisionName(const std::string& name, int attempt, bool isDirectory);

// Moves a file or directory into targetDirectory under its own name, or under
// the first free CollisionName when that is taken; returns the final path.
// A path already in targetDirectory stays where it is. A directory cannot be
// moved into itself or below itself. Throws EFileError on failure.
std::string MoveIntoDirectory(const std::string& path, const std::string& targetDirectory);

// Whether inner names outer itself or something below it, after resolving
// symbolic links in both. False when either does not exist.
bool IsSameOrBelow(const std::string& inner, const std::string& outer);

}  // namespace vornakle
