#include "platform/Shell.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <vector>

#include "platform/ErrorMessages.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"

namespace vornakle {
namespace {

// Enough for any collection a person keeps; past it something is wrong (a
// loop filling the directory) and going on would only hide it.
constexpr int kMaxCollisionAttempts = 10000;
constexpr std::size_t kCopyBufferSize = 64 * 1024;
constexpr mode_t kCopyingFileMode = 0600;

[[noreturn]] void ThrowFileError(const std::string& what, int error) {
    throw EFileError(FailureMessage(what, error));
}

// Owns a file descriptor.
class FileDescriptor {
public:
    explicit FileDescriptor(int descriptor) : descriptor_(descriptor) {}
    ~FileDescriptor() {
        if (descriptor_ >= 0) {
            ::close(descriptor_);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int Get() const { return descriptor_; }
    bool IsOpen() const { return descriptor_ >= 0; }

    // Closes now, so that a failed close (a full disk on a network file
    // system) is seen. Returns 0 or the error.
    int Close() {
        const int result = ::close(descriptor_);
        descriptor_ = -1;
        return result == 0 ? 0 : errno;
    }

private:
    int descriptor_;
};

struct DirectoryCloser {
    void operator()(DIR* directory) const { ::closedir(directory); }
};
using DirectoryHandle = std::unique_ptr<DIR, DirectoryCloser>;

// The names in a directory, without "." and "..".
std::vector<std::string> DirectoryEntries(const std::string& path) {
    DirectoryHandle directory(::opendir(path.c_str()));
    if (!directory) {
        ThrowFileError(CannotText(FailedObject::Folder, FailedAction::Read, path), errno);
    }
    std::vector<std::string> names;
    errno = 0;
    while (const dirent* entry = ::readdir(directory.get())) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
        errno = 0;
    }
    if (errno != 0) {
        ThrowFileError(CannotText(FailedObject::Folder, FailedAction::Read, path), errno);
    }
    return names;
}

// rename(2) with RENAME_NOREPLACE; where the file system does not offer it,
// an equivalent that claims the target name atomically first. Returns 0 or
// the error.
int RenameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    const int error = errno;
    if (error != EINVAL && error != ENOSYS && error != EOPNOTSUPP) {
        return error;
    }
    struct stat status {};
    if (::lstat(from.c_str(), &status) != 0) {
        return errno;
    }
    if (S_ISDIR(status.st_mode)) {
        // A directory may replace only an empty directory: claim the name
        // with one, which is then all a rename can replace.
        if (::mkdir(to.c_str(), 0700) != 0) {
            return errno;
        }
        if (::rename(from.c_str(), to.c_str()) != 0) {
            const int renameError = errno;
            ::rmdir(to.c_str());
            return renameError;
        }
        return 0;
    }
    // link(2) never replaces its target.
    if (::link(from.c_str(), to.c_str()) == 0) {
        if (::unlink(from.c_str()) != 0) {
            const int unlinkError = errno;
            ::unlink(to.c_str());
            return unlinkError;
        }
        return 0;
    }
    if (errno == EEXIST) {
        return EEXIST;
    }
    // No hard links here either (FAT and the like): claim the name with an
    // empty placeholder of our own and let the rename replace only that.
    FileDescriptor placeholder(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!placeholder.IsOpen()) {
        return errno;
    }
    placeholder.Close();
    if (::rename(from.c_str(), to.c_str()) != 0) {
        const int renameError = errno;
        ::unlink(to.c_str());
        return renameError;
    }
    return 0;
}

void SetTimes(const std::string& path, const struct stat& status) {
    const timespec times[2] = {status.st_atim, status.st_mtim};
    ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

void CopyFileContents(const std::string& from, const std::string& to, const struct stat& status) {
    FileDescriptor source(::open(from.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!source.IsOpen()) {
        ThrowFileError(CannotText(FailedObject::File, FailedAction::Open, from), errno);
    }
    // The target was claimed, empty, by CreateCopyTop.
    FileDescriptor target(::open(to.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC));
    if (!target.IsOpen()) {
        ThrowFileError(CannotText(FailedObject::File, FailedAction::Create, to), errno);
    }
    std::vector<char> buffer(kCopyBufferSize);
    for (;;) {
        const ssize_t received = ::read(source.Get(), buffer.data(), buffer.size());
        if (received < 0) {
            if (errno == EINTR) {
                continue;
            }
            ThrowFileError(CannotText(FailedObject::File, FailedAction::Read, from), errno);
        }
        if (received == 0) {
            break;
        }
        ssize_t written = 0;
        while (written < received) {
            const ssize_t result = ::write(target.Get(), buffer.data() + written,
                                           static_cast<size_t>(received - written));
            if (result < 0) {
                if (errno == EINTR) {
                    continue;
                }
                ThrowFileError(CannotText(FailedObject::File, FailedAction::Write, to), errno);
            }
            written += result;
        }
    }
    ::fchmod(target.Get(), status.st_mode & 07777);
    // The original is removed right after: its copy must be on the disk
    // before that, or a crash could lose both.
    if (::fsync(target.Get()) != 0) {
        ThrowFileError(CannotText(FailedObject::File, FailedAction::Write, to), errno);
    }
    if (const int error = target.Close(); error != 0) {
        ThrowFileError(CannotText(FailedObject::File, FailedAction::Write, to), error);
    }
    SetTimes(to, status);
}

// Removes a file, a symbolic link or a whole directory tree, never following
// links. Throws on the first failure.
void RemoveTree(const std::string& path) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) {
        ThrowFileError(CannotText(FailedObject::Entry, FailedAction::Delete, path), errno);
    }
    if (S_ISDIR(status.st_mode)) {
        for (const std::string& name : DirectoryEntries(path)) {
            RemoveTree(JoinPath(path, name));
        }
        if (::rmdir(path.c_str()) != 0) {
            ThrowFileError(CannotText(FailedObject::Folder, FailedAction::Delete, path), errno);
        }
        return;
    }
    if (::unlink(path.c_str()) != 0) {
        ThrowFileError(CannotText(FailedObject::File, FailedAction::Delete, path), errno);
    }
}

// Copies one entry below a directory this copy has just made.
void CopyTreeInto(const std::string& from, const std::string& to);

void CopyDirectoryContents(const std::string& from, const std::string& to,
                           const struct stat& status) {
    for (const std::string& name : DirectoryEntries(from)) {
        CopyTreeInto(JoinPath(from, name), JoinPath(to, name));
    }
    ::chmod(to.c_str(), status.st_mode & 07777);
    SetTimes(to, status);
}

// Makes the top of the copy, atomically refusing a taken name. Returns false
// when the name is taken.
bool CreateCopyTop(const std::string& from, const std::string& to, const struct stat& status) {
    if (S_ISDIR(status.st_mode)) {
        if (::mkdir(to.c_str(), 0700) != 0) {
            if (errno == EEXIST) {
                return false;
            }
            ThrowFileError(CannotText(FailedObject::Folder, FailedAction::Create, to), errno);
        }
        return true;
    }
    if (S_ISLNK(status.st_mode)) {
        std::vector<char> target(static_cast<std::size_t>(PATH_MAX) + 1);
        const ssize_t length = ::readlink(from.c_str(), target.data(), target.size() - 1);
        if (length < 0) {
            ThrowFileError(CannotText(FailedObject::SymbolicLink, FailedAction::Read, from), errno);
        }
        target[static_cast<std::size_t>(length)] = '\0';
        if (::symlink(target.data(), to.c_str()) != 0) {
            if (errno == EEXIST) {
                return false;
            }
            ThrowFileError(CannotText(FailedObject::SymbolicLink, FailedAction::Create, to), errno);
        }
        return true;
    }
    if (S_ISREG(status.st_mode)) {
        // Claim the name first, so that a taken name is told from a failure.
        // Writable for now: a read-only original gets its mode when the
        // contents are in.
        FileDescriptor claim(
            ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kCopyingFileMode));
        if (!claim.IsOpen()) {
            if (errno == EEXIST) {
                return false;
            }
            ThrowFileError(CannotText(FailedObject::File, FailedAction::Create, to), errno);
        }
        return true;
    }
    throw EFileError(InMessageLanguage(
        QuotedMessagePath(from) +
            " ist keine Datei und kein Verzeichnis und kann nicht kopiert werden",
        QuotedMessagePath(from) + " is neither a file nor a folder and cannot be copied"));
}

void FillCopy(const std::string& from, const std::string& to, const struct stat& status) {
    if (S_ISDIR(status.st_mode)) {
        CopyDirectoryContents(from, to, status);
    } else if (S_ISREG(status.st_mode)) {
        CopyFileContents(from, to, status);
    }
}

void CopyTreeInto(const std::string& from, const std::string& to) {
    struct stat status {};
    if (::lstat(from.c_str(), &status) != 0) {
        ThrowFileError(CannotText(FailedObject::Entry, FailedAction::Read, from), errno);
    }
    if (!CreateCopyTop(from, to, status)) {
        ThrowFileError(CannotText(FailedObject::File, FailedAction::Create, to), EEXIST);
    }
    FillCopy(from, to, status);
}

// Copies a tree to a new name. False when the name is taken; on failure the
// partial copy is removed again and the error thrown.
bool CopyTree(const std::string& from, const std::string& to) {
    struct stat status {};
    if (::lstat(from.c_str(), &status) != 0) {
        ThrowFileError(CannotText(FailedObject::Entry, FailedAction::Read, from), errno);
    }
    if (!CreateCopyTop(from, to, status)) {
        return false;
    }
    try {
        FillCopy(from, to, status);
    } catch (...) {
        try {
            RemoveTree(to);
        } catch (const EFileError&) {
            // The half copy stays; the original is whole, which is what counts.
        }
        throw;
    }
    return true;
}

}  // namespace

bool IsSameOrBelow(const std::string& inner, const std::string& outer) {
    const std::string realInner = RealPath(inner);
    const std::string realOuter = RealPath(outer);
    if (realInner.empty() || realOuter.empty()) {
        return false;
    }
    if (realInner == realOuter || realOuter == "/") {
        return true;
    }
    return realInner.size() > realOuter.size() &&
           realInner.compare(0, realOuter.size(), realOuter) == 0 &&
           realInner[realOuter.size()] == kPathSeparator;
}

void MovePathNoReplace(const std::string& from, const std::string& to) {
    const int error = RenameNoReplace(from, to);
    if (error == 0) {
        return;
    }
    // A directory that replaces nothing but finds one in its place says "not
    // empty"; for the user the name is taken either way.
    const int reason = error == ENOTEMPTY ? EEXIST : error;
    ThrowFileError(InMessageLanguage(
                       QuotedMessagePath(from) + " kann nicht in " + QuotedMessagePath(to) +
                           " umbenannt werden",
                       "cannot rename " + QuotedMessagePath(from) + " to " + QuotedMessagePath(to)),
                   reason);
}

MoveOutcome TryMovePath(const std::string& from, const std::string& to) {
    const int error = RenameNoReplace(from, to);
    if (error == 0) {
        return MoveOutcome::Moved;
    }
    if (error == EEXIST || error == ENOTEMPTY) {
        return MoveOutcome::TargetExists;
    }
    if (error != EXDEV) {
        ThrowFileError(InMessageLanguage(QuotedMessagePath(from) + " kann nicht nach " +
                                             QuotedMessagePath(to) + " verschoben werden",
                                         "cannot move " + QuotedMessagePath(from) + " to " +
                                             QuotedMessagePath(to)),
                       error);
    }
    if (!CopyTree(from, to)) {
        return MoveOutcome::TargetExists;
    }
    try {
        RemoveTree(from);
    } catch (const EFileError& failure) {
        throw EOriginalNotRemoved(
            InMessageLanguage(QuotedMessagePath(from) + " wurde nach " + QuotedMessagePath(to) +
                                  " kopiert, aber nicht vollständig entfernt: ",
                              QuotedMessagePath(from) + " was copied to " + QuotedMessagePath(to) +
                                  " but not wholly removed: ") +
            failure.Message());
    }
    return MoveOutcome::Moved;
}

std::string CollisionName(const std::string& name, int attempt, bool isDirectory) {
    if (attempt <= 1) {
        return name;
    }
    const std::string counter = " (" + std::to_string(attempt) + ")";
    const std::size_t dot = name.rfind('.');
    // A leading dot marks a hidden name, not an extension.
    if (isDirectory || dot == std::string::npos || dot == 0) {
        return name + counter;
    }
    return name.substr(0, dot) + counter + name.substr(dot);
}

std::string MoveIntoDirectory(const std::string& path, const std::string& targetDirectory) {
    const std::string source = WithoutTrailingSeparators(path);
    const std::string target = WithoutTrailingSeparators(targetDirectory);
    const std::string name = LastPathPart(source);
    if (name.empty() || name == "." || name == ".." || name == "/") {
        throw EFileError(CannotText(FailedObject::Entry, FailedAction::Move, path));
    }
    struct stat sourceStatus {};
    if (::lstat(source.c_str(), &sourceStatus) != 0) {
        ThrowFileError(CannotText(FailedObject::Entry, FailedAction::Move, source), errno);
    }
    struct stat targetStatus {};
    if (::stat(target.c_str(), &targetStatus) != 0) {
        ThrowFileError(
            InMessageLanguage("In " + QuotedMessagePath(target) + " kann nicht verschoben werden",
                              "cannot move into " + QuotedMessagePath(target)),
            errno);
    }
    if (!S_ISDIR(targetStatus.st_mode)) {
        throw EFileError(InMessageLanguage(
            "Zielverzeichnis " + QuotedMessagePath(target) + " ist kein Verzeichnis",
            "target " + QuotedMessagePath(target) + " is no folder"));
    }

    const std::size_t separator = source.rfind(kPathSeparator);
    const std::string parent = separator == std::string::npos ? std::string(".")
                               : separator == 0               ? std::string("/")
                                                              : source.substr(0, separator);
    struct stat parentStatus {};
    if (::stat(parent.c_str(), &parentStatus) == 0 && parentStatus.st_dev == targetStatus.st_dev &&
        parentStatus.st_ino == targetStatus.st_ino) {
        return source;
    }

    const bool isDirectory = S_ISDIR(sourceStatus.st_mode);
    // A copy across file systems into its own subtree would never end.
    if (isDirectory && IsSameOrBelow(target, source)) {
        throw EFileError(
            InMessageLanguage("Das Verzeichnis " + QuotedMessagePath(source) +
                                  " kann nicht in sich selbst verschoben werden",
                              "cannot move folder " + QuotedMessagePath(source) + " into itself"));
    }
    for (int attempt = 1; attempt <= kMaxCollisionAttempts; ++attempt) {
        const std::string candidate = JoinPath(target, CollisionName(name, attempt, isDirectory));
        if (TryMovePath(source, candidate) == MoveOutcome::Moved) {
            return candidate;
        }
    }
    throw EFileError(InMessageLanguage(
        "Kein freier Name für " + QuotedMessagePath(name) + " in " + QuotedMessagePath(target),
        "no free name for " + QuotedMessagePath(name) + " in " + QuotedMessagePath(target)));
}

}  // namespace vornakle
