#include "store/CollectionFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>

#include <cerrno>

#include "platform/ErrorMessages.h"
#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "platform/Shell.h"

namespace vornakle {

namespace {

constexpr mode_t kAnyWritePermission = S_IWUSR | S_IWGRP | S_IWOTH;

[[noreturn]] void ThrowWriteFailure(const std::string& path) {
    const int error = errno;
    throw EFileError(
        FailureMessage(CannotText(FailedObject::File, FailedAction::Write, path), error));
}

[[noreturn]] void Refuse(const std::string& path, const std::string& german,
                         const std::string& english) {
    throw ERewriteRefused(InMessageLanguage(
        "Datei " + QuotedMessagePath(path) + " " + german + " und wird nicht verändert",
        "file " + QuotedMessagePath(path) + " " + english + " and is left as it is"));
}

}  // namespace

void RewriteCollectionFile(const std::string& collectionRoot, const std::string& path,
                           std::string_view contents) {
    const std::string target = RealPath(path);
    if (target.empty()) {
        ThrowWriteFailure(path);
    }
    if (!IsSameOrBelow(target, collectionRoot)) {
        Refuse(path, "verweist auf " + QuotedMessagePath(target) + " außerhalb der Sammlung",
               "is a symbolic link to " + QuotedMessagePath(target) + " outside the collection");
    }
    struct stat status {};
    if (::stat(target.c_str(), &status) != 0) {
        ThrowWriteFailure(path);
    }
    if ((status.st_mode & kAnyWritePermission) == 0) {
        Refuse(path, "ist schreibgeschützt", "is read-only");
    }
    const uid_t user = ::geteuid();
    if (user != 0 && status.st_uid != user) {
        Refuse(path, "gehört einem anderen Benutzer", "belongs to another user");
    }
    if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
        ThrowWriteFailure(path);
    }
    ReplaceFileContents(target, contents);
}

}  // namespace vornakle
