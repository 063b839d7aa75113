#pragma once

#include <string>
#include <vector>

namespace vornakle {

// One change a program asks of a browser's bookmark store: a bookmark's
// address, or its place (into the set-aside folder at the top of the
// collection), or both.
struct BookmarkEdit {
    std::string Identity;  // BookmarkNode::Identity as the reader gave it
    std::string OldUrl;    // the address read: the store must still hold it
    std::string NewUrl;    // empty: the address stays
    bool SetAside = false;
};

enum class EditOutcome {
    Applied,
    // The bookmark is not as it was read (gone, or another address): left
    // alone.
    ChangedSinceRead,
    // The store cannot carry this change as the browser would: Message says
    // why; nothing of it was made.
    Refused,
    // Nothing to do: a bookmark to set aside is in the folder already.
    Unneeded,
};

struct EditResult {
    EditOutcome Outcome = EditOutcome::Refused;
    std::string Message;
    // A set-aside bookmark's folder before and after, as paths of folder
    // names (AppendFolderName).
    std::string OldFolder;
    std::string NewFolder;
};

// What a run of edits did: one result for each edit, in order, and the
// backup made before the first change (empty when nothing changed).
struct StoreEditRun {
    std::vector<EditResult> Results;
    std::string BackupPath;
    // How the user gets the old state back from the backup.
    std::string RestoreHint;
};

// Applies the edits to the bookmark store at path (an HTML bookmark file,
// Chromium's Bookmarks or Firefox's places.sqlite, told by content as the
// readers tell it): refused while the browser holds the profile
// (EBookmarkError Locked), a backup first, then every change at once (one
// transaction or one replacement of the file), read back and compared. The
// set-aside folder asideFolder is made at the top of the collection when
// missing. Throws EBookmarkError when nothing could be changed; the store
// is then as it was.
// Throws EBookmarkError (InUse) when a running browser has the store at
// path open (BrowserHolding), saying which browser to close.
void RefuseWhileBrowserRuns(const std::string& path);

StoreEditRun EditBookmarkStore(const std::string& path, const std::vector<BookmarkEdit>& edits,
                               const std::string& asideFolder);

}  // namespace vornakle
