#pragma once

#include <QTemporaryDir>
#include <string>
#include <string_view>

namespace vornakle::testing {

// A directory tree built by a test in a fresh temporary directory and removed
// with it. Paths are relative to its root and use '/'.
class TempTree {
public:
    TempTree();

    const std::string& Root() const { return root_; }
    std::string Path(std::string_view relative) const;

    // Writes bytes to a file, creating the parent directories.
    void WriteFile(std::string_view relative, std::string_view bytes) const;
    void MakeDirectory(std::string_view relative) const;
    void MakeSymlink(std::string_view target, std::string_view relative) const;
    std::string ReadFile(std::string_view relative) const;
    bool Exists(std::string_view relative) const;

private:
    QTemporaryDir directory_;
    std::string root_;
};

// The text of a shortcut file with one URL line, CR LF ended.
std::string ShortcutText(std::string_view url);

}  // namespace vornakle::testing
