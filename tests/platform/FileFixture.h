#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QTemporaryDir>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

namespace vornakle::testing {

inline void WriteFile(const std::string& path, const std::string& contents) {
    std::ofstream file(path, std::ios::binary);
    file << contents;
    ASSERT_TRUE(file.good()) << path;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream contents;
    contents << file.rdbuf();
    return contents.str();
}

inline bool Exists(const std::string& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0;
}

inline void MakeDirectory(const std::string& path) {
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(path))) << path;
}

// A temporary directory on another file system than the default temporary
// directory, for the copy-then-remove paths; null when there is none.
inline std::unique_ptr<QTemporaryDir> OtherFileSystemDirectory(const std::string& reference) {
    auto directory = std::make_unique<QTemporaryDir>(QStringLiteral("/dev/shm/vornakle-XXXXXX"));
    struct stat referenceStatus {};
    struct stat otherStatus {};
    if (!directory->isValid() || ::stat(reference.c_str(), &referenceStatus) != 0 ||
        ::stat(directory->path().toStdString().c_str(), &otherStatus) != 0 ||
        referenceStatus.st_dev == otherStatus.st_dev) {
        return nullptr;
    }
    return directory;
}

}  // namespace vornakle::testing
