// Runs the fuzzing properties of the shortcut rules over their stored corpus,
// so every build checks them, with or without a fuzzer.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/store/fuzz/ShortcutCheck.h"

namespace vornakle::testing {
namespace {

TEST(ShortcutCorpus, ReadingAndRewritingKeepTheirProperties) {
    int inputs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(VORNAKLE_SHORTCUT_CORPUS)) {
        std::ifstream file(entry.path(), std::ios::binary);
        const std::string input((std::istreambuf_iterator<char>(file)),
                                std::istreambuf_iterator<char>());
        EXPECT_EQ(CheckShortcut(input), "") << entry.path();
        ++inputs;
    }
    EXPECT_GT(inputs, 0);
}

}  // namespace
}  // namespace vornakle::testing
