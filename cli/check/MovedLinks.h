#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "check/CollectionLinks.h"

namespace vornakle {

// What a shortcut file was like at the scan, so that a rewrite can tell
// whether someone changed it while its link was checked.
struct FileStamp {
    bool Present = false;
    dev_t Device = 0;
    ino_t Inode = 0;
    off_t Size = 0;
    std::int64_t ModifiedNanoseconds = 0;

    bool operator==(const FileStamp&) const = default;
};

FileStamp StampOf(const std::string& path);

// The shortcut file of a link of a directory source.
std::string LinkFilePath(const LinkRecord& link);

enum class LinkUpdate {
    Updated,
    // The file is not as the scan found it (another stamp, or another URL):
    // left alone.
    ChangedSinceScan,
    // It could not be read or written: Message says why, nothing is lost.
    Failed,
};

struct LinkUpdateResult {
    LinkUpdate Outcome = LinkUpdate::Failed;
    std::string Message;
};

// Where a rewritten link points: newUrl (a moved link's final URL, a dead
// one's archived copy), with the link's fragment when newUrl has none (a
// redirection keeps the fragment, RFC 9110 section 10.2.2, and an archived
// page has the places of the page it copies); empty, and nothing written,
// when newUrl is no http(s) address by the URL Standard.
std::string RewrittenAddress(const std::string& oldUrl, const std::string& newUrl);

// Points link's shortcut file to newUrl by the URL edit of the desktop
// program's "change address" (RewriteShortcutText: the URL line replaced,
// every other line kept), written by the rules of every rewrite of a file
// of the collection below collectionRoot (WriteShortcutText); only when the
// file still has the stamp and the URL the scan found.
LinkUpdateResult UpdateLinkUrl(const std::string& collectionRoot, const LinkRecord& link,
                               const FileStamp& scanned, const std::string& newUrl);

// The groups of links that share an address (AddressKey), each in scan
// order, the groups ordered by their first link; addresses only one link
// holds are left out, and so are unreadable links and links without one.
std::vector<std::vector<std::size_t>> DuplicateGroups(const std::vector<LinkRecord>& links);

}  // namespace vornakle
