#pragma once

#include <QRegularExpression>

#include <optional>
#include <string>
#include <vector>

#include "check/LinkOutcome.h"

namespace vornakle {

// Which links a run leaves out (--exclude, --include, --exclude-file): those
// whose URL an exclusion pattern matches anywhere, unless an inclusion
// pattern matches it too; with inclusions alone, every link none of them
// matches. Patterns are Perl-compatible regular expressions
// (PCRE2, as QRegularExpression reads them), matched against the whole URL
// as the link holds it, shown as UTF-8; "^" and "$" anchor them to its
// start and end.
class LinkFilter {
public:
    enum class Kind { Exclude, Include };

    // Adds a pattern. Throws EUsageError naming where (the option, or a
    // file and line) when it is no valid pattern.
    void Add(Kind kind, const std::string& pattern, const std::string& where);
    // Adds the patterns of a file, one per line without the blanks around
    // it; blank lines and lines whose first non-blank character is "#" are
    // none. Throws EUsageError when the
    // file cannot be read or holds a pattern that is not valid.
    void AddFile(const std::string& path);

    // What becomes of a link. A pattern the matching engine gives up on
    // (its match limit, on a pattern that backtracks without end) decides
    // nothing: such a link is neither checked nor left out silently.
    enum class Verdict { Checked, Excluded, Undecided };
    struct Decision {
        Verdict Result = Verdict::Checked;
        // Verdict::Undecided: the pattern, as given.
        std::string Pattern;
    };
    Decision Decide(const std::string& url) const;

private:
    std::vector<QRegularExpression> excluded_;
    std::vector<QRegularExpression> included_;
    std::vector<std::string> excludedPatterns_;
    std::vector<std::string> includedPatterns_;
};

// The outcome a run gives a link the filter does not let through (the
// session's filter): excluded, or a failure when a pattern could not
// decide; none for a link to check.
std::optional<LinkOutcome> FilteredOutcome(const LinkFilter& filter, const std::string& url);

}  // namespace vornakle
