#include "bookmarks/SourceFile.h"

#include "bookmarks/BookmarkError.h"
#include "platform/FileSystem.h"

namespace vornakle {

std::string ReadBookmarkFileStart(const std::string& path, std::size_t count) {
    const UniqueFd file = OpenRegularFile(path);
    const std::string cannotRead = path + " cannot be read";
    if (!file.IsValid()) {
        throw EBookmarkError(EBookmarkError::Reason::Unreadable, cannotRead);
    }
    try {
        return ReadAll(file.Get(), count, cannotRead);
    } catch (const EFileError& error) {
        throw EBookmarkError(EBookmarkError::Reason::Unreadable, error.Message());
    }
}

std::string ReadBookmarkFile(const std::string& path) {
    const std::string bytes = ReadBookmarkFileStart(path, kMaxBookmarkFileBytes + 1);
    if (bytes.size() > kMaxBookmarkFileBytes) {
        throw EBookmarkError(EBookmarkError::Reason::Unrecognised,
                             path + " is too large to be a bookmark file");
    }
    return bytes;
}

}  // namespace vornakle
