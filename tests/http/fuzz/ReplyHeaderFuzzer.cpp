// libFuzzer entry point for the reply header reading rules (built with clang
// only).

#include "tests/http/fuzz/ReplyHeaderCheck.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string failure =
        vornakle::testing::CheckReplyHeader(std::string(reinterpret_cast<const char*>(data), size));
    if (!failure.empty()) {
        std::fprintf(stderr, "%s\n", failure.c_str());
        std::abort();
    }
    return 0;
}
