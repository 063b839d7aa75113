// libFuzzer entry point for the shortcut reading and rewriting rules (built
// with clang only).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "tests/store/fuzz/ShortcutCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string failure =
        vornakle::testing::CheckShortcut(std::string(reinterpret_cast<const char*>(data), size));
    if (!failure.empty()) {
        std::fprintf(stderr, "%s\n", failure.c_str());
        std::abort();
    }
    return 0;
}
