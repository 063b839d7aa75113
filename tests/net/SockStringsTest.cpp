#include "net/SockErrors.h"
#include "net/SockStrings.h"

#include <gtest/gtest.h>

namespace vornakle {
namespace {

struct NthWordCase {
    std::string text;
    char delimiter;
    int n;
    std::string expected;
};

TEST(NthWord, SplitsAtSingleDelimiters) {
    const NthWordCase cases[] = {
        {"200 OK", ' ', 1, "200"},
        {"HTTP/1.0 404 Not Found", ' ', 2, "404"},
        {"HTTP/1.0 404 Not Found", ' ', 4, "Found"},
        {"", ' ', 1, ""},
        {"a:b::c", ':', 2, "b"},
        {"a:b::c", ':', 3, ""},
        {"a:b::c", ':', 4, "c"},
        {"a:b::c", ':', 5, ""},
        {"a:b::c", ':', 0, ""},
        {"a:b::c", ':', -1, ""},
        {":lead", ':', 1, ""},
        {":lead", ':', 2, "lead"},
    };
    for (const NthWordCase& c : cases) {
        EXPECT_EQ(NthWord(c.text, c.delimiter, c.n), c.expected)
            << '"' << c.text << "\" field " << c.n;
    }
}

TEST(NthCharPos, GivesOneBasedPositionOrLengthPlusOne) {
    EXPECT_EQ(NthCharPos("a/b/c", '/', 2), 4);
    EXPECT_EQ(NthCharPos("a/b/c", '/', 3), 6);
    EXPECT_EQ(NthCharPos("a/b/", '/', 2), 4);
    EXPECT_EQ(NthCharPos("http://host/path", '/', 3), 12);
    EXPECT_EQ(NthCharPos("/", '/', 1), 1);
}

TEST(NthCharPos, EmptyTextIsARangeError) {
    EXPECT_THROW(NthCharPos("", '/', 1), ERangeError);
}

}  // namespace
}  // namespace vornakle
