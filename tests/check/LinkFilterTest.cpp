#include "check/LinkFilter.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/CommandLine.h"
#include "support/TempTree.h"

namespace vornakle {
namespace {

// Which URLs the filters leave out: an inclusion wins, inclusions alone
// name the only links to check.
TEST(LinkFilter, ExcludeAndIncludeFilterTheWholeUrl) {
    using enum LinkFilter::Verdict;
    using enum LinkFilter::Kind;
    // Backtracks beyond PCRE2's match limit on the long URL.
    const std::string runaway = "(a+)+$";
    const std::string longUrl = "http://a.example/" + std::string(40, 'a') + "!";
    const struct {
        std::vector<std::pair<LinkFilter::Kind, std::string>> filters;
        std::string url;
        LinkFilter::Verdict verdict;
    } rows[] = {
        {{}, "http://a.example/", Checked},
        {{{Exclude, "example"}}, "http://a.example/", Excluded},
        {{{Exclude, "^example"}}, "http://a.example/", Checked},
        {{{Exclude, "\\.pdf$"}}, "http://a.example/x.pdf", Excluded},
        {{{Exclude, "\\.pdf$"}}, "http://a.example/x.pdf?y", Checked},
        {{{Exclude, "a\\."}, {Include, "/keep"}}, "http://a.example/keep", Checked},
        {{{Exclude, "a\\."}, {Include, "/keep"}}, "http://a.example/drop", Excluded},
        {{{Include, "b\\.example"}}, "http://a.example/", Excluded},
        {{{Include, "b\\.example"}}, "http://b.example/", Checked},
        {{{Exclude, "caf\u00e9"}}, "http://caf\xe9.example/", Excluded},
        {{{Exclude, runaway}}, longUrl, Undecided},
        {{{Include, runaway}}, longUrl, Undecided},
        {{{Exclude, "zzz"}, {Exclude, runaway}}, longUrl, Undecided},
        // Another pattern that decides is enough.
        {{{Exclude, runaway}, {Exclude, "example"}}, longUrl, Excluded},
        {{{Include, runaway}, {Include, "example"}}, longUrl, Checked},
    };
    for (const auto& row : rows) {
        LinkFilter filter;
        for (const auto& [kind, pattern] : row.filters) {
            filter.Add(kind, pattern, "--exclude");
        }
        const LinkFilter::Decision decision = filter.Decide(row.url);
        EXPECT_EQ(decision.Result, row.verdict) << row.url;
        EXPECT_EQ(decision.Pattern, row.verdict == Undecided ? runaway : "") << row.url;
    }
    testing::TempTree files;
    files.WriteFile("patterns", "# tracking links\n\n  utm_source=\r\n^mailto:\n");
    LinkFilter fromFile;
    fromFile.AddFile(files.Path("patterns"));
    EXPECT_EQ(fromFile.Decide("http://a.example/?utm_source=x").Result, Excluded);
    EXPECT_EQ(fromFile.Decide("mailto:a@b").Result, Excluded);
    EXPECT_EQ(fromFile.Decide("http://a.example/# tracking links").Result, Checked);
    files.WriteFile("bad", "ok\n# fine\n[z-a]\n");
    try {
        fromFile.AddFile(files.Path("bad"));
        ADD_FAILURE() << "a bad pattern passed";
    } catch (const EUsageError& error) {
        EXPECT_NE(error.Message().find(files.Path("bad") + ":3: \"[z-a]\" is no regular"),
                  std::string::npos)
            << error.Message();
    }
}

}  // namespace
}  // namespace vornakle
