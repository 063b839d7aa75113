#pragma once

// The properties the shortcut reading and rewriting rules must keep for any
// file content, shared by the libFuzzer entry point and the corpus test. The
// input's first line (up to the first LF) is the URL to write, the rest the
// file's text.

#include <string>

#include "store/Shortcut.h"

namespace vornakle::testing {

// Empty when the properties hold, else what went wrong.
inline std::string CheckShortcut(const std::string& input) {
    const std::size_t split = input.find('\n');
    const std::string typed = split == std::string::npos ? input : input.substr(0, split);
    const std::string text = split == std::string::npos ? std::string() : input.substr(split + 1);

    const std::string url = ShortcutUrlFromText(text);
    if (url.find_first_of("\r\n") != std::string::npos) {
        return "a URL holds a line end";
    }
    const std::string newUrl = ShortcutLineValue(typed);
    const std::string rewritten = RewriteShortcutText(text, newUrl);
    // Every line of a rewritten file ends in CR LF, the last one too.
    for (std::size_t at = rewritten.find_first_of("\r\n"); at != std::string::npos;
         at = rewritten.find_first_of("\r\n", at + 2)) {
        if (rewritten.compare(at, 2, "\r\n") != 0) {
            return "a line of the rewritten file does not end in CR LF";
        }
    }
    if (!rewritten.empty() && rewritten.size() < 2) {
        return "a rewritten file ends without a line end";
    }
    // The new URL is read back, unless it is empty: then the line is gone
    // and the next URL line, if any, counts.
    if (!newUrl.empty() && ShortcutUrlFromText(rewritten) != newUrl) {
        return "the rewritten URL does not read back";
    }
    // Nothing but the URL line changes: the other lines stay, in order.
    std::vector<std::string> before = SplitShortcutLines(text);
    std::vector<std::string> after = SplitShortcutLines(rewritten);
    std::erase_if(before, [](const std::string& line) { return IsUrlLine(line); });
    std::erase_if(after, [](const std::string& line) { return IsUrlLine(line); });
    if (before.size() < after.size()) {
        return "the rewrite added a line that is not a URL line";
    }
    return std::string();
}

}  // namespace vornakle::testing
