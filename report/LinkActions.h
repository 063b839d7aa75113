#pragma once

#include <string>

class QWidget;

namespace vornakle {

class LinkItems;

// The link commands both windows offer, each acting on one item of a link
// list (a row of Items) through its link node. Row kNoItem (nothing
// selected) makes every command do nothing at all.
inline constexpr int kNoItem = -1;

// Hands the link's URL to the desktop's default handler, read as the shell
// reads it (AddressToOpen); tells the user when it cannot be opened.
void OpenInBrowser(QWidget* Owner, LinkItems& Items, int Row);

// Asks for a new name and renames the link's file; a taken name (or one the
// file system refuses) leaves everything as it was and says so.
void RenameLink(LinkItems& Items, int Row);

// Asks for a new URL and rewrites the link's file, unless another program
// changed the file since the list was filled; either way the list then
// shows the file's URL and the link is not tested.
void EditLinkURL(LinkItems& Items, int Row);

// Puts the link's file into the trash, then removes the item and frees the
// node. When the trash refuses the file, nothing is deleted and the error
// (an EFileError) goes to the caller: item and node stay.
void DeleteLink(LinkItems& Items, int Row);

// Sets the link's status by hand (the tag of the clicked status menu item).
void SetLinkStatus(int SenderTag, LinkItems& Items, int Row);

// A file or directory into the trash; throws EFileError, deleting nothing,
// when that is not possible.
void ShellDeletePath(const std::string& Path);

// Moves a file or directory into TargetDir, under a new name when its own is
// taken there; returns the path it has now. Throws EFileError.
std::string ShellMovePath(const std::string& Source, const std::string& TargetDir);

}  // namespace vornakle
