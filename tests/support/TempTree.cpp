#include "support/TempTree.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace vornakle::testing {

TempTree::TempTree() : root_(directory_.path().toStdString()) {
    if (!directory_.isValid()) {
        throw std::runtime_error("cannot create a temporary directory");
    }
}

std::string TempTree::Path(std::string_view relative) const {
    if (relative.empty()) {
        return root_;
    }
    return root_ + "/" + std::string(relative);
}

void TempTree::WriteFile(std::string_view relative, std::string_view bytes) const {
    const std::filesystem::path path(Path(relative));
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

void TempTree::MakeDirectory(std::string_view relative) const {
    std::filesystem::create_directories(Path(relative));
}

void TempTree::MakeSymlink(std::string_view target, std::string_view relative) const {
    std::filesystem::create_symlink(std::string(target), Path(relative));
}

std::string TempTree::ReadFile(std::string_view relative) const {
    std::ifstream in(Path(relative), std::ios::binary);
    std::ostringstream contents;
    contents << in.rdbuf();
    return contents.str();
}

bool TempTree::Exists(std::string_view relative) const {
    struct stat status {};
    return ::lstat(Path(relative).c_str(), &status) == 0;
}

std::string ShortcutText(std::string_view url) {
    return "[InternetShortcut]\r\nURL=" + std::string(url) + "\r\n";
}

}  // namespace vornakle::testing
