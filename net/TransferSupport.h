#pragma once

// Small pieces the transfers of the socket component and of its descendants
// share.

#include <cstdint>
#include <cstdio>
#include <memory>
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

// The counters are 32-bit totals that may run past their range on a long
// life; they wrap, as the fields they stand for do.
inline void AddWrapping(std::int32_t& total, int amount) {
    total = static_cast<std::int32_t>(static_cast<std::uint32_t>(total) +
                                      static_cast<std::uint32_t>(amount));
}

// A C file, closed with its scope.
struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace vornakle
