#pragma once

// Small pieces the transfers of the socket component and of its descendants
// share.

#include "platform/Exception.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>

namespace vornakle {

// Runs its action when the scope ends, however it ends.
template <typename Action>
class ScopeExit {
public:
    explicit ScopeExit(Action action) : action_(std::move(action)) {}
    ~ScopeExit() { action_(); }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;

private:
    Action action_;
};

// The byte counters are 32-bit fields that a long life may run past. They
// wrap around instead, computed unsigned, since a signed overflow is
// undefined.
inline void AddWrapping(std::int32_t& total, int amount) {
    total = static_cast<std::int32_t>(static_cast<std::uint32_t>(total) +
                                      static_cast<std::uint32_t>(amount));
}

// A C file, closed with its scope.
struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// What a transfer failed to do with one of its files.
enum class FileStep { Create, Open, Read, Write };

// The failure of a transfer's file step, with the system's reason (errno):
// Cannot <step> file "<name>". <reason>
EFileError FileFailure(FileStep step, const std::string& name);

// A file a transfer writes what it receives into, made empty when created.
// Every write is checked, and so is the close: data still buffered must
// reach the disk, and a full disk must not pass for a complete capture. A
// file not closed by Close (the transfer failed) is closed with its scope.
class OutputFile {
public:
    explicit OutputFile(std::string name);
    void Write(const char* data, std::size_t length);
    void Close();

private:
    std::string name_;
    FileHandle file_;
};

}  // namespace vornakle
