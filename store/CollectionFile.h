#pragma once

#include <string>
#include <string_view>

#include "platform/Exception.h"

namespace vornakle {

// A rewrite RewriteCollectionFile refuses; nothing was changed.
class ERewriteRefused : public EFileError {
public:
    using EFileError::EFileError;
};

// Replaces the contents of a file of the collection below collectionRoot, the
// one way the programs rewrite a user's file (a link's URL edit, the update
// of moved links). The new file keeps the old one's owner, group and mode
// and replaces it in one step (ReplaceFileContents). Refused, with nothing
// changed and an ERewriteRefused that says why:
// - a file that is read-only (no write permission for anyone: root too
//   leaves it alone), that belongs to another user (unless the caller is
//   root, who can give the new file to that user), or that the caller may
//   not write;
// - a symbolic link whose file lies outside the collection: through a link
//   only a file of the collection itself is rewritten.
// Other failures are ReplaceFileContents' EFileError. A file with other hard links gets a new inode
// under this name alone; the other names keep the old contents.
void RewriteCollectionFile(const std::string& collectionRoot, const std::string& path,
                           std::string_view contents);

}  // namespace vornakle
