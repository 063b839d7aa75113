#include "http/UrlCoder.h"

#include <gtest/gtest.h>

#include <string>

namespace vornakle {
namespace {

TEST(UrlCoder, EncodesFormText) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"abcXYZ019", "abcXYZ019"},
        {" ", "+"},
        {"+", "%2B"},
        {"a b&c/d", "a+b%26c%2Fd"},
        {"-_.~*", "%2D%5F%2E%7E%2A"},
        {std::string("\0\r\n", 3), "%00%0D%0A"},
        {"\xe4\xff", "%E4%FF"},
    };
    TUrlCoder coder;
    for (const auto& [plain, encoded] : cases) {
        SCOPED_TRACE(plain);
        EXPECT_EQ(coder.EncodeString(plain), encoded);
    }
}

TEST(UrlCoder, EncodesTextsBeyondSixteenBitsWhole) {
    TUrlCoder coder;
    const std::string plain = std::string(70000, 'a') + " ";
    const std::string encoded = coder.EncodeString(plain);
    EXPECT_EQ(encoded.size(), plain.size());
    EXPECT_EQ(encoded.back(), '+');
}

TEST(UrlCoder, EncodedInputEncodesInputString) {
    TUrlCoder coder;
    coder.InputString = "x y";
    EXPECT_EQ(coder.EncodedInput(), "x+y");
}

}  // namespace
}  // namespace vornakle
