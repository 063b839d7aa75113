#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/ErrorMessages.h"
#include "platform/Exception.h"

namespace vornakle {

// An owned file descriptor, closed when it goes out of scope.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int descriptor) : descriptor_(descriptor) {}
    UniqueFd(UniqueFd&& other) noexcept : descriptor_(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { Reset(); }

    int Get() const { return descriptor_; }
    bool IsValid() const { return descriptor_ >= 0; }
    int Release();
    void Reset(int descriptor = -1);

private:
    int descriptor_ = -1;
};

enum class EntryKind {
    Directory,  // a real directory; symbolic links to directories are never reported as one
    File,       // a regular file, directly or behind a symbolic link
    Other,      // devices, pipes, sockets, dangling links, links to directories
};

struct DirectoryEntry {
    std::string name;
    EntryKind kind;
};

// An open directory, read whole and in the order NTFS keeps its entries
// (names compared case-insensitively, ordinally), so the order a user sees is
// the same on every run and on every file system. "." and ".." are left out.
class DirectoryListing {
public:
    // Check IsOpen(): a directory that cannot be opened lists nothing.
    explicit DirectoryListing(const std::string& path);
    // Opens a sub-directory relative to an open one, without following a
    // symbolic link in its place.
    DirectoryListing(const DirectoryListing& parent, const std::string& name);

    bool IsOpen() const { return descriptor_.IsValid(); }
    const std::vector<DirectoryEntry>& Entries() const { return entries_; }

    // Opens a file of this directory, one the listing reported as a file,
    // for reading; an invalid descriptor when it cannot be opened. Never
    // blocks on a pipe or device.
    UniqueFd OpenFile(const std::string& name) const;

private:
    void ReadEntries();

    UniqueFd descriptor_;
    std::vector<DirectoryEntry> entries_;
};

// The NTFS-like order of two names: the strict weak order used for listings.
bool NameOrderLess(std::string_view left, std::string_view right);

// Whether anything at all has this name, a dangling symbolic link included:
// what decides whether a new file or a move would take a taken name.
bool PathExists(const std::string& path);

// The path with every symbolic link, "." and ".." resolved; empty when it
// does not exist or cannot be resolved.
std::string RealPath(const std::string& path);

// Whether path names a directory, directly or behind a symbolic link.
bool DirectoryExists(const std::string& path);

// How a path stands for this process as a reader, symbolic links followed:
// there and readable (a directory: listable); missing (no such name, or a
// part of the path that is no directory); or there, or possibly there, but
// not readable (no permission to it or to a directory on its way, or any
// other failure). Opens nothing, so a pipe or a device is never touched.
enum class ReadAccess { Readable, Missing, Unreadable };
ReadAccess PathReadAccess(const std::string& path);

// A new directory could not be made because one is already there.
class EDirectoryExists : public EFileError {
public:
    using EFileError::EFileError;
};

// Makes a new directory with every permission the umask allows, as a
// directory made with default security has. Throws EDirectoryExists when a
// directory is already there, else EFileError whose message is the system's
// reason alone (the caller words what failed).
void CreateDirectory(const std::string& path);

// Reads at most maxBytes of an open file. Throws EFileError with message on a
// read failure.
std::string ReadAll(int descriptor, std::size_t maxBytes, const std::string& message);

// Opens a file for reading without blocking on pipes and devices; an invalid
// descriptor when it cannot be opened or is not a regular file.
UniqueFd OpenRegularFile(const std::string& path);

// Whether a replacement may make the file it replaces.
enum class ReplacedFile { MustExist, MayBeNew };

// A file that takes the place of another only once it is whole: its bytes go
// to a temporary file in the same directory, which Commit renames over the
// original, so a crash or a failure leaves either the old or the new file,
// never a torn one. Through a symbolic link the file it names is replaced.
// The new file gets the original's owner, group and mode; a file made anew
// the mode the umask leaves of 0666. Unless committed, the temporary file is
// removed when the object goes. Every failure throws EFileError and leaves
// the original untouched.
class ReplacementFile {
public:
    ReplacementFile(const std::string& linkOrPath, ReplacedFile target);
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    // The temporary file, open for writing.
    int Descriptor() const { return file_.Get(); }
    // The file it replaces, a symbolic link resolved.
    const std::string& Path() const { return path_; }
    void Write(std::string_view contents);
    // Writes the file to disk and renames it over the original.
    void Commit();

private:
    // Throws the failure of action, named by errno, once the temporary file
    // is gone.
    [[noreturn]] void Fail(FailedAction action);
    void Discard();

    std::string path_;
    std::string temporary_;
    UniqueFd file_;
};

// Replaces the existing file at path with contents as one step
// (ReplacementFile).
void ReplaceFileContents(const std::string& path, std::string_view contents);

// When a new file's contents reach the disk: before CreateNewFile returns,
// or with the rest of a batch by one SyncFileSystemOf (many files written at
// once, where a flush each would take most of the time).
enum class FileSync { Each, Batch };

// Creates a new file with contents; never replaces an existing one (throws
// EFileError then). A failed write removes the half-written file.
void CreateNewFile(const std::string& path, std::string_view contents,
                   FileSync sync = FileSync::Each);

// Writes everything written on the file system that holds path to its disk.
// Throws EFileError when that fails.
void SyncFileSystemOf(const std::string& path);

}  // namespace vornakle
