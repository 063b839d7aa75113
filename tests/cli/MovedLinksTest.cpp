#include "cli/check/MovedLinks.h"

#include <gtest/gtest.h>

#include <string>

namespace vornakle {
namespace {

// Only an http(s) address goes into a shortcut, written as the URL Standard
// writes it, and the link's fragment goes along.
TEST(MovedLinks, RewrittenAddressIsAWebAddressOrNothing) {
    const struct {
        std::string oldUrl;
        std::string newUrl;
        std::string written;
    } cases[] = {
        {"http://a.example/x#part", "https://b.example/y", "https://b.example/y#part"},
        {"http://a.example/x#part", "https://b.example/y#top", "https://b.example/y#top"},
        {"http://a.example/x", "HTTPS://B.example:443/a/../y z", "https://b.example/y%20z"},
        {"http://a.example/x", "javascript:alert(1)", ""},
        {"http://a.example/x", "localhost:19110/new", ""},
        {"http://a.example/x", "http://b.example/\r\nURL=evil", "http://b.example/URL=evil"},
        {"http://a.example/x", "http://[b.example/", ""},
        {"http://a.example/x", "", ""},
    };
    for (const auto& test : cases) {
        EXPECT_EQ(RewrittenAddress(test.oldUrl, test.newUrl), test.written) << test.newUrl;
    }
}

}  // namespace
}  // namespace vornakle
