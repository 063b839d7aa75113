#include "platform/Trash.h"

#include <fcntl.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>

#include "platform/ErrorMessages.h"
#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Shell.h"

namespace vornakle {
namespace {

constexpr int kMaxCollisionAttempts = 10000;
constexpr char kTrashName[] = "Trash";
constexpr char kFilesName[] = "files";
constexpr char kInfoName[] = "info";
constexpr char kInfoSuffix[] = ".trashinfo";
// Only the user may look into the trash; the freedesktop.org trash layout asks
// for it, and the XDG base directory rules for the data home it lives in.
constexpr mode_t kPrivateDirectoryMode = 0700;
constexpr mode_t kInfoFileMode = 0600;

[[noreturn]] void ThrowNotTrashed(const std::string& path, const std::string& reason) {
    throw EFileError(QuotedMessagePath(path) +
                     " konnte nicht in den Papierkorb verschoben werden: " + reason);
}

std::string HomeDirectory() {
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') {
        return home;
    }
    if (const passwd* account = ::getpwuid(::getuid()); account != nullptr && account->pw_dir) {
        return account->pw_dir;
    }
    return {};
}

// Creates a directory and its missing parents, private to the user. Returns 0
// or the error.
int MakeDirectories(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0) {
        return S_ISDIR(status.st_mode) ? 0 : ENOTDIR;
    }
    const std::size_t separator = path.rfind(kPathSeparator);
    if (separator != std::string::npos && separator > 0) {
        if (const int error = MakeDirectories(path.substr(0, separator)); error != 0) {
            return error;
        }
    }
    if (::mkdir(path.c_str(), kPrivateDirectoryMode) != 0 && errno != EEXIST) {
        return errno;
    }
    if (::stat(path.c_str(), &status) != 0) {
        return errno;
    }
    return S_ISDIR(status.st_mode) ? 0 : ENOTDIR;
}

// The original path in the info file: bytes outside the unreserved set of
// URIs escaped as %XX, the separators kept.
std::string EncodeTrashPath(const std::string& path) {
    static constexpr char kHexDigits[] = "0123456789ABCDEF";
    std::string encoded;
    for (char byte : path) {
        const auto code = static_cast<unsigned char>(byte);
        const bool unreserved = (code >= 'A' && code <= 'Z') || (code >= 'a' && code <= 'z') ||
                                (code >= '0' && code <= '9') || code == '-' || code == '.' ||
                                code == '_' || code == '~' || code == '/';
        if (unreserved) {
            encoded.push_back(byte);
        } else {
            encoded.push_back('%');
            encoded.push_back(kHexDigits[code >> 4]);
            encoded.push_back(kHexDigits[code & 0x0F]);
        }
    }
    return encoded;
}

// Local time without a zone, as the freedesktop.org trash layout has it.
std::string DeletionDate() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return text;
}

// Writes the whole text to a new file that was just created. Returns 0 or the
// error.
int WriteInfoFile(int descriptor, const std::string& text) {
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t result = ::write(descriptor, text.data() + written, text.size() - written);
        if (result < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        written += static_cast<std::size_t>(result);
    }
    return ::fsync(descriptor) == 0 ? 0 : errno;
}

}  // namespace

std::string TrashDirectory() {
    // A relative XDG_DATA_HOME is invalid and ignored, as the XDG base
    // directory rules require.
    if (const char* dataHome = std::getenv("XDG_DATA_HOME");
        dataHome != nullptr && dataHome[0] == kPathSeparator) {
        return JoinPath(WithoutTrailingSeparators(dataHome), kTrashName);
    }
    const std::string home = HomeDirectory();
    if (home.empty()) {
        throw EFileError("Kein Papierkorb: Das Benutzerverzeichnis ist unbekannt");
    }
    return JoinPath(JoinPath(JoinPath(WithoutTrailingSeparators(home), ".local"), "share"),
                    kTrashName);
}

std::string MoveToTrash(const std::string& path) {
    const std::string source = WithoutTrailingSeparators(path);
    const std::string name = LastPathPart(source);
    if (source.empty() || name.empty() || name == "." || name == ".." || name == "/") {
        ThrowNotTrashed(path, "Ungültiger Pfad");
    }
    struct stat sourceStatus {};
    if (::lstat(source.c_str(), &sourceStatus) != 0) {
        ThrowNotTrashed(source, SystemErrorText(errno));
    }
    const bool isDirectory = S_ISDIR(sourceStatus.st_mode);

    // The original location, absolute, with the directory's symbolic links
    // resolved but not a link that is itself being deleted.
    const std::size_t separator = source.rfind(kPathSeparator);
    const std::string parent = separator == std::string::npos ? std::string(".")
                               : separator == 0               ? std::string("/")
                                                              : source.substr(0, separator);
    const std::string realParent = RealPath(parent);
    if (realParent.empty()) {
        ThrowNotTrashed(source, SystemErrorText(errno));
    }
    const std::string original = realParent == "/" ? realParent + name : JoinPath(realParent, name);

    const std::string trash = TrashDirectory();
    const std::string files = JoinPath(trash, kFilesName);
    const std::string info = JoinPath(trash, kInfoName);
    for (const std::string& directory : {files, info}) {
        if (const int error = MakeDirectories(directory); error != 0) {
            ThrowNotTrashed(source,
                            FailureMessage("Papierkorb " + QuotedMessagePath(directory), error));
        }
    }
    if (isDirectory && IsSameOrBelow(trash, source)) {
        ThrowNotTrashed(source, "Der Papierkorb liegt in diesem Verzeichnis");
    }

    const std::string infoText = "[Trash Info]\nPath=" + EncodeTrashPath(original) +
                                 "\nDeletionDate=" + DeletionDate() + "\n";
    for (int attempt = 1; attempt <= kMaxCollisionAttempts; ++attempt) {
        const std::string trashName = CollisionName(name, attempt, isDirectory);
        const std::string infoPath = JoinPath(info, trashName + kInfoSuffix);
        // The info file is made first and exclusively: it reserves the name,
        // so that two deletions of the same name never meet.
        const int descriptor =
            ::open(infoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kInfoFileMode);
        if (descriptor < 0) {
            if (errno == EEXIST) {
                continue;
            }
            ThrowNotTrashed(source, SystemErrorText(errno));
        }
        const int writeError = WriteInfoFile(descriptor, infoText);
        const int closeError = ::close(descriptor) == 0 ? 0 : errno;
        if (writeError != 0 || closeError != 0) {
            ::unlink(infoPath.c_str());
            ThrowNotTrashed(source, SystemErrorText(writeError != 0 ? writeError : closeError));
        }

        const std::string trashedPath = JoinPath(files, trashName);
        MoveOutcome outcome = MoveOutcome::TargetExists;
        try {
            outcome = TryMovePath(source, trashedPath);
        } catch (const EOriginalNotRemoved&) {
            // The trash holds a whole copy: its info file belongs to it.
            throw;
        } catch (const EFileError& failure) {
            ::unlink(infoPath.c_str());
            ThrowNotTrashed(source, failure.Message());
        }
        if (outcome == MoveOutcome::Moved) {
            return trashedPath;
        }
        // A stray entry in files/ without its info file: leave it alone.
        ::unlink(infoPath.c_str());
    }
    ThrowNotTrashed(source, "Kein freier Name im Papierkorb");
}

}  // namespace vornakle
