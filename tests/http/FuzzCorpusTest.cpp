// Runs the fuzzing properties of the URL split and of the reply header
// reading over their stored corpora, so every build checks them, with or
// without a fuzzer.

#include "tests/http/fuzz/ParseUrlCheck.h"
#include "tests/http/fuzz/ReplyHeaderCheck.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

namespace vornakle::testing {
namespace {

void CheckCorpus(const std::filesystem::path& corpus,
                 const std::function<std::string(const std::string&)>& check) {
    int inputs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
        std::ifstream file(entry.path(), std::ios::binary);
        const std::string input((std::istreambuf_iterator<char>(file)),
                                std::istreambuf_iterator<char>());
        EXPECT_EQ(check(input), "") << entry.path();
        ++inputs;
    }
    EXPECT_GT(inputs, 0);
}

TEST(FuzzCorpus, UrlSplitKeepsItsProperties) {
    CheckCorpus(VORNAKLE_FUZZ_CORPORA "/url-corpus", CheckParseRequestURL);
}

TEST(FuzzCorpus, ReplyHeaderReadingKeepsItsProperties) {
    CheckCorpus(VORNAKLE_FUZZ_CORPORA "/reply-corpus", CheckReplyHeader);
}

}  // namespace
}  // namespace vornakle::testing
