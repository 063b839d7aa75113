#include "check/LinkFilter.h"

#include <QString>

#include <algorithm>
#include <optional>

#include "platform/CommandLine.h"
#include "platform/TextDecoding.h"
#include "store/LinkStatus.h"

namespace vornakle {

namespace {

QString Utf8Text(const std::string& bytes) {
    const std::string shown = DisplayUtf8(bytes);
    return QString::fromUtf8(shown.data(), static_cast<qsizetype>(shown.size()));
}

}  // namespace

void LinkFilter::Add(Kind kind, const std::string& pattern, const std::string& where) {
    QRegularExpression expression(Utf8Text(pattern));
    if (!expression.isValid()) {
        throw EUsageError(where + ": \"" + DisplayUtf8(pattern) +
                          "\" is no regular expression: " + expression.errorString().toStdString() +
                          " at offset " + std::to_string(expression.patternErrorOffset()));
    }
    // Each pattern is asked of many URLs.
    expression.optimize();
    (kind == Kind::Exclude ? excluded_ : included_).push_back(std::move(expression));
    (kind == Kind::Exclude ? excludedPatterns_ : includedPatterns_).push_back(pattern);
}

void LinkFilter::AddFile(const std::string& path) {
    const std::string text = ReadOptionFile("--exclude-file", path);
    std::size_t start = 0;
    for (int line = 1; start < text.size(); ++line) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        // Blanks around a pattern are the file's layout, never part of a URL.
        const std::string_view lineText = std::string_view(text).substr(start, end - start);
        start = end + 1;
        const std::size_t first = lineText.find_first_not_of(" \t\r");
        if (first == std::string_view::npos || lineText[first] == '#') {
            continue;
        }
        const std::string pattern(
            lineText.substr(first, lineText.find_last_not_of(" \t\r") - first + 1));
        Add(Kind::Exclude, pattern, DisplayUtf8(path) + ":" + std::to_string(line));
    }
}

LinkFilter::Decision LinkFilter::Decide(const std::string& url) const {
    if (excluded_.empty() && included_.empty()) {
        return {};
    }
    const QString text = Utf8Text(url);
    // The first pattern of a list that matches, else its first that could
    // not be decided; nullopt when none matched and all were decided.
    std::string undecided;
    const auto anyMatches = [&text, &undecided](const std::vector<QRegularExpression>& expressions,
                                                const std::vector<std::string>& patterns) {
        std::optional<std::string> failed;
        for (std::size_t index = 0; index < expressions.size(); ++index) {
            const QRegularExpressionMatch match = expressions[index].match(text);
            if (match.hasMatch()) {
                return true;
            }
            // A valid expression's match is invalid only when the engine
            // failed (its match limit): no answer, which is no "no match".
            if (!match.isValid() && !failed) {
                failed = patterns[index];
            }
        }
        if (failed) {
            undecided = *failed;
        }
        return false;
    };
    if (anyMatches(included_, includedPatterns_)) {
        return {};
    }
    if (!undecided.empty()) {
        return {Verdict::Undecided, undecided};
    }
    // Inclusions alone name the only links to check.
    if (excluded_.empty() || anyMatches(excluded_, excludedPatterns_)) {
        return {Verdict::Excluded, std::string()};
    }
    return undecided.empty() ? Decision{} : Decision{Verdict::Undecided, undecided};
}

std::optional<LinkOutcome> FilteredOutcome(const LinkFilter& filter, const std::string& url) {
    const LinkFilter::Decision decision = filter.Decide(url);
    switch (decision.Result) {
        case LinkFilter::Verdict::Checked:
            return std::nullopt;
        case LinkFilter::Verdict::Excluded:
            return LinkOutcome{CheckResult::Answered(kStatusNotTested), OutcomeState::Excluded};
        case LinkFilter::Verdict::Undecided:
            break;
    }
    // Neither checked nor left out: the user said to leave it, or not, and
    // the pattern could not tell.
    return LinkOutcome{CheckResult::Failed(
        FailureReason::PatternUndecided, "the pattern \"" + DisplayUtf8(decision.Pattern) +
                                             "\" reached the matching engine's limit on this URL")};
}

}  // namespace vornakle
