#pragma once

#include <string>

#include "bookmarks/BookmarkTree.h"

namespace vornakle {

// Reads the bookmarks of Firefox's places database (places.sqlite): the
// Bookmarks Menu, Bookmarks Toolbar, Other Bookmarks and Mobile Bookmarks as
// folders of the root (empty ones left out), each entry in its position's
// order. Tag rows, separators, "place:" queries and "javascript:" links are
// left out and counted.
//
// The database is never opened where it is: it is copied, with its
// write-ahead log and rollback journal when they exist, into a temporary
// folder, and the copy is read. A running Firefox holds its database locked
// and keeps its latest changes in the log; the copy needs no lock, disturbs
// none, and sees those changes. The copy is opened for writing so that SQLite
// can roll back a transaction the copy caught half-way (the journal's
// purpose) and so see the last committed state; nothing else is written, and
// the profile's own files never are.
//
// Throws EBookmarkError: Unreadable, Damaged (no database, or a corrupt one),
// Locked (SQLite reports the copy busy), Unrecognised (no Firefox tables).
BookmarkCollection ReadFirefoxPlaces(const std::string& path);

}  // namespace vornakle
