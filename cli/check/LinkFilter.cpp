#include "cli/check/LinkFilter.h"

#include <QString>

#include <algorithm>

#include "cli/check/CheckOptions.h"
#include "cli/check/ResultFormat.h"

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

bool LinkFilter::Excludes(const std::string& url) const {
    if (excluded_.empty() && included_.empty()) {
        return false;
    }
    const QString text = Utf8Text(url);
    const auto matches = [&text](const QRegularExpression& expression) {
        return expression.match(text).hasMatch();
    };
    if (std::any_of(included_.begin(), included_.end(), matches)) {
        return false;
    }
    // Inclusions alone name the only links to check.
    return excluded_.empty() || std::any_of(excluded_.begin(), excluded_.end(), matches);
}

}  // namespace vornakle
