// Runs the fuzzing properties of the URL split over the stored corpus, so
// every build checks them, with or without a fuzzer.

#include "tests/http/fuzz/ParseUrlCheck.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace vornakle::testing {
namespace {

TEST(ParseRequestURLCorpus, EveryStoredInputKeepsTheProperties) {
    const std::filesystem::path corpus = VORNAKLE_URL_CORPUS;
    int inputs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
        std::ifstream file(entry.path(), std::ios::binary);
        const std::string input((std::istreambuf_iterator<char>(file)),
                                std::istreambuf_iterator<char>());
        EXPECT_EQ(CheckParseRequestURL(input), "") << entry.path();
        ++inputs;
    }
    EXPECT_GT(inputs, 0);
}

}  // namespace
}  // namespace vornakle::testing
