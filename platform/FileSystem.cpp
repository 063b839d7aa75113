#include "platform/FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QChar>
#include <QString>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <random>
#include <utility>

#include "platform/ErrorMessages.h"
#include "platform/Exception.h"
#include "platform/Paths.h"

namespace vornakle {

namespace {

constexpr int kReadFlags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
constexpr std::size_t kReadChunk = 64 * 1024;
constexpr mode_t kNewDirectoryMode = 0777;

// What failed, and the reason errno holds now.
EFileError SystemFailure(const std::string& what) {
    return EFileError(FailureMessage(what, errno));
}

// The key NTFS sorts a name by: its UTF-16 code units, upper-cased one by one.
std::u16string NameKey(std::string_view name) {
    const QString upper = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
    std::u16string key(static_cast<std::size_t>(upper.size()), u'\0');
    for (qsizetype index = 0; index < upper.size(); ++index) {
        key[static_cast<std::size_t>(index)] = QChar::toUpper(upper.at(index).unicode());
    }
    return key;
}

bool IsRegular(mode_t mode) {
    return S_ISREG(mode);
}

}  // namespace

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        Reset(other.Release());
    }
    return *this;
}

int UniqueFd::Release() {
    return std::exchange(descriptor_, -1);
}

void UniqueFd::Reset(int descriptor) {
    if (descriptor_ >= 0) {
        ::close(descriptor_);
    }
    descriptor_ = descriptor;
}

bool NameOrderLess(std::string_view left, std::string_view right) {
    const std::u16string leftKey = NameKey(left);
    const std::u16string rightKey = NameKey(right);
    if (leftKey != rightKey) {
        return leftKey < rightKey;
    }
    // Names NTFS would call equal can both exist here; their bytes decide.
    return left < right;
}

DirectoryListing::DirectoryListing(const std::string& path)
    : descriptor_(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    ReadEntries();
}

DirectoryListing::DirectoryListing(const DirectoryListing& parent, const std::string& name) {
    if (parent.IsOpen()) {
        descriptor_.Reset(::openat(parent.descriptor_.Get(), name.c_str(),
                                   O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW));
    }
    ReadEntries();
}

void DirectoryListing::ReadEntries() {
    if (!IsOpen()) {
        return;
    }
    // fdopendir takes the descriptor over; a duplicate keeps ours for openat.
    const int listingDescriptor = ::dup(descriptor_.Get());
    if (listingDescriptor < 0) {
        return;
    }
    DIR* directory = ::fdopendir(listingDescriptor);
    if (directory == nullptr) {
        ::close(listingDescriptor);
        return;
    }
    struct Keyed {
        std::u16string key;
        DirectoryEntry entry;
    };
    std::vector<Keyed> keyed;
    while (const dirent* raw = ::readdir(directory)) {
        const std::string_view name(raw->d_name);
        if (name == "." || name == "..") {
            continue;
        }
        unsigned char type = raw->d_type;
        struct stat status {};
        if (type == DT_UNKNOWN) {
            if (::fstatat(descriptor_.Get(), raw->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0) {
                continue;  // vanished meanwhile
            }
            type = S_ISDIR(status.st_mode)     ? DT_DIR
                   : S_ISLNK(status.st_mode)   ? DT_LNK
                   : IsRegular(status.st_mode) ? DT_REG
                                               : DT_FIFO;
        }
        EntryKind kind = EntryKind::Other;
        if (type == DT_DIR) {
            kind = EntryKind::Directory;
        } else if (type == DT_REG) {
            kind = EntryKind::File;
        } else if (type == DT_LNK) {
            // A link to a file is read through; a link to a directory is not
            // followed, so a link loop cannot trap the scan.
            if (::fstatat(descriptor_.Get(), raw->d_name, &status, 0) == 0 &&
                IsRegular(status.st_mode)) {
                kind = EntryKind::File;
            }
        }
        keyed.push_back({NameKey(name), {std::string(name), kind}});
    }
    ::closedir(directory);
    std::sort(keyed.begin(), keyed.end(), [](const Keyed& left, const Keyed& right) {
        if (left.key != right.key) {
            return left.key < right.key;
        }
        return left.entry.name < right.entry.name;
    });
    entries_.reserve(keyed.size());
    for (Keyed& item : keyed) {
        entries_.push_back(std::move(item.entry));
    }
}

UniqueFd DirectoryListing::OpenFile(const std::string& name) const {
    if (!IsOpen()) {
        return UniqueFd();
    }
    // The listing already told a regular file from anything else; a pipe put
    // in its place since cannot block the open or the read either.
    return UniqueFd(::openat(descriptor_.Get(), name.c_str(), kReadFlags));
}

UniqueFd OpenRegularFile(const std::string& path) {
    UniqueFd file(::open(path.c_str(), kReadFlags));
    struct stat status {};
    if (!file.IsValid() || ::fstat(file.Get(), &status) != 0 || !IsRegular(status.st_mode)) {
        return UniqueFd();
    }
    return file;
}

std::string RealPath(const std::string& path) {
    const std::unique_ptr<char, decltype(&::free)> resolved(::realpath(path.c_str(), nullptr),
                                                            &::free);
    return resolved ? std::string(resolved.get()) : std::string();
}

bool PathExists(const std::string& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0;
}

bool DirectoryExists(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

ReadAccess PathReadAccess(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        const int error = errno;
        return error == ENOENT || error == ENOTDIR || error == ENAMETOOLONG || error == ELOOP
                   ? ReadAccess::Missing
                   : ReadAccess::Unreadable;
    }
    // The effective IDs, as an open would use them.
    return ::faccessat(AT_FDCWD, path.c_str(), R_OK, AT_EACCESS) == 0 ? ReadAccess::Readable
                                                                      : ReadAccess::Unreadable;
}

void CreateDirectory(const std::string& path) {
    if (::mkdir(path.c_str(), kNewDirectoryMode) == 0) {
        return;
    }
    const int error = errno;
    const std::string reason = SystemErrorText(error);
    if (error == EEXIST && DirectoryExists(path)) {
        throw EDirectoryExists(reason);
    }
    throw EFileError(reason);
}

std::string ReadAll(int descriptor, std::size_t maxBytes, const std::string& message) {
    std::string contents;
    char chunk[kReadChunk];
    while (contents.size() < maxBytes) {
        const std::size_t wanted = std::min(kReadChunk, maxBytes - contents.size());
        const ssize_t got = ::read(descriptor, chunk, wanted);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw EFileError(message);
        }
        if (got == 0) {
            break;
        }
        contents.append(chunk, static_cast<std::size_t>(got));
    }
    return contents;
}

namespace {

void WriteAll(int descriptor, std::string_view contents, const std::string& path) {
    while (!contents.empty()) {
        const ssize_t written = ::write(descriptor, contents.data(), contents.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw SystemFailure(CannotText(FailedObject::File, FailedAction::Write, path));
        }
        contents.remove_prefix(static_cast<std::size_t>(written));
    }
}

std::string DirectoryOf(const std::string& path) {
    const std::size_t separator = path.rfind(kPathSeparator);
    if (separator == std::string::npos) {
        return ".";
    }
    return separator == 0 ? std::string(1, kPathSeparator) : path.substr(0, separator);
}

}  // namespace

namespace {

// Mode a new file gets before the umask, as programs make files.
constexpr mode_t kNewFileMode = 0666;
// Names tried for the temporary file before giving up.
constexpr int kTemporaryNameTries = 100;

// The file a replacement of linkOrPath lands in: through a symbolic link the
// file it names, not the link. Empty when it does not exist (and may be
// made, when target allows it); its status in original.
std::string ReplacedPath(const std::string& linkOrPath, ReplacedFile target,
                         struct stat& original) {
    if (const std::string path = RealPath(linkOrPath); !path.empty()) {
        if (::stat(path.c_str(), &original) != 0) {
            throw SystemFailure(CannotText(FailedObject::File, FailedAction::Replace, path));
        }
        if (!IsRegular(original.st_mode)) {
            throw EFileError(InMessageLanguage(
                "Datei " + QuotedMessagePath(path) +
                    " ist keine gewöhnliche Datei und wird nicht ersetzt",
                "file " + QuotedMessagePath(path) + " is no regular file and is not replaced"));
        }
        return path;
    }
    struct stat link {};
    // A dangling symbolic link names no file that could be replaced.
    if (errno != ENOENT || target == ReplacedFile::MustExist ||
        ::lstat(linkOrPath.c_str(), &link) == 0) {
        throw SystemFailure(CannotText(FailedObject::File, FailedAction::Replace, linkOrPath));
    }
    return std::string();
}

}  // namespace

ReplacementFile::ReplacementFile(const std::string& linkOrPath, ReplacedFile target) {
    struct stat original {};
    path_ = ReplacedPath(linkOrPath, target, original);
    const bool isNew = path_.empty();
    if (isNew) {
        path_ = linkOrPath;
    }
    // A name of our own beside it, made with O_EXCL so no other file is
    // taken; the umask applies to the mode as to any new file.
    std::random_device random;
    for (int attempt = 0; attempt < kTemporaryNameTries && !file_.IsValid(); ++attempt) {
        temporary_ = JoinPath(DirectoryOf(path_), ".vornakle-" + std::to_string(random()));
        file_.Reset(
            ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kNewFileMode));
        if (!file_.IsValid() && errno != EEXIST) {
            break;
        }
    }
    if (!file_.IsValid()) {
        throw SystemFailure(InMessageLanguage(
            "Neben " + QuotedMessagePath(path_) + " kann keine temporäre Datei angelegt werden",
            "cannot create a temporary file beside " + QuotedMessagePath(path_)));
    }
    if (isNew) {
        return;
    }
    struct stat made {};
    // The new file is the old one's: its owner and group first, since a
    // change of owner clears the set-ID bits the mode then restores. Where
    // they cannot be kept, the original stays as it is.
    if (::fstat(file_.Get(), &made) != 0 ||
        ((made.st_uid != original.st_uid || made.st_gid != original.st_gid) &&
         ::fchown(file_.Get(), original.st_uid, original.st_gid) != 0) ||
        ::fchmod(file_.Get(), original.st_mode & 07777) != 0) {
        Fail(FailedAction::Write);
    }
}

ReplacementFile::~ReplacementFile() {
    Discard();
}

void ReplacementFile::Write(std::string_view contents) {
    WriteAll(file_.Get(), contents, path_);
}

void ReplacementFile::Commit() {
    if (::fsync(file_.Get()) != 0) {
        Fail(FailedAction::Write);
    }
    file_.Reset();
    if (::rename(temporary_.c_str(), path_.c_str()) != 0) {
        Fail(FailedAction::Replace);
    }
    temporary_.clear();
}

void ReplacementFile::Fail(FailedAction action) {
    // The reason first: removing the temporary file sets errno anew.
    const EFileError failure = SystemFailure(CannotText(FailedObject::File, action, path_));
    Discard();
    throw failure;
}

void ReplacementFile::Discard() {
    file_.Reset();
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
    }
}

void ReplaceFileContents(const std::string& linkOrPath, std::string_view contents) {
    ReplacementFile file(linkOrPath, ReplacedFile::MustExist);
    file.Write(contents);
    file.Commit();
}

void CreateNewFile(const std::string& path, std::string_view contents, FileSync sync) {
    UniqueFd file(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (!file.IsValid()) {
        throw SystemFailure(CannotText(FailedObject::File, FailedAction::Create, path));
    }
    try {
        WriteAll(file.Get(), contents, path);
        if (sync == FileSync::Each && ::fsync(file.Get()) != 0) {
            throw SystemFailure(CannotText(FailedObject::File, FailedAction::Write, path));
        }
    } catch (...) {
        file.Reset();
        ::unlink(path.c_str());
        throw;
    }
}

void SyncFileSystemOf(const std::string& path) {
    const UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.IsValid() || ::syncfs(file.Get()) != 0) {
        throw SystemFailure(CannotText(FailedObject::File, FailedAction::Write, path));
    }
}

}  // namespace vornakle
