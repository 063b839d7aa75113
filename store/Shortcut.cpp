#include "store/Shortcut.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/AsciiCase.h"
#include "platform/ErrorMessages.h"
#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "store/CollectionFile.h"

namespace vornakle {

namespace {

constexpr std::string_view kUrlKey = "url=";
constexpr std::string_view kLineEnd = "\r\n";
constexpr std::size_t kReadChunk = 16 * 1024;
// A URL edit reads the whole file into memory; shortcuts are a few hundred
// bytes, so anything this large is not one and is left alone.
constexpr std::size_t kMaxRewrittenFileSize = 64 * 1024 * 1024;

bool IsLineEnd(char character) {
    return character == '\r' || character == '\n';
}

}  // namespace

bool IsUrlLine(std::string_view line) {
    return StartsWithAsciiLower(line, kUrlKey);
}

std::vector<std::string> SplitShortcutLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = start;
        while (end < text.size() && !IsLineEnd(text[end])) {
            ++end;
        }
        lines.emplace_back(text.substr(start, end - start));
        if (end < text.size() && text[end] == '\r' && end + 1 < text.size() &&
            text[end + 1] == '\n') {
            ++end;
        }
        start = end + 1;
    }
    return lines;
}

std::string ShortcutUrlFromText(std::string_view text) {
    for (const std::string& line : SplitShortcutLines(text)) {
        if (IsUrlLine(line)) {
            return line.substr(kUrlKey.size());
        }
    }
    return std::string();
}

std::string OpenErrorMessage(const std::string& path) {
    return InMessageLanguage("Datei " + MessagePath(path) + " kann nicht geöffnet werden",
                             "cannot open file " + MessagePath(path));
}

std::string CreateErrorMessage(const std::string& path) {
    return "Datei " + MessagePath(path) + " kann nicht erstellt werden";
}

std::string ReadShortcutText(const std::string& path) {
    UniqueFd file = OpenRegularFile(path);
    if (!file.IsValid()) {
        throw EFileError(OpenErrorMessage(path));
    }
    std::string text = ReadAll(file.Get(), kMaxRewrittenFileSize + 1, OpenErrorMessage(path));
    if (text.size() > kMaxRewrittenFileSize) {
        throw EFileError(
            InMessageLanguage("Datei " + MessagePath(path) + " ist zu groß für eine Verknüpfung",
                              "file " + MessagePath(path) + " is too large for a shortcut"));
    }
    return text;
}

void WriteShortcutText(const std::string& collectionRoot, const std::string& path,
                       std::string_view text) {
    try {
        RewriteCollectionFile(collectionRoot, path, text);
    } catch (const ERewriteRefused&) {
        throw;
    } catch (const EFileError& error) {
        // The desktop program reports the runtime's create error alone, as it
        // always has; the command-line programs give the system's reason.
        throw EFileError(InMessageLanguage(CreateErrorMessage(path), error.Message()));
    }
}

std::string ReadShortcutUrl(int descriptor, const std::string& path) {
    // Read in chunks and stop at the end of the URL line: a huge file that
    // is not a shortcut costs no more memory than its URL line.
    enum class State { LineStart, SkipLine, Value };
    State state = State::LineStart;
    std::size_t matched = 0;  // characters of "url=" matched at the line start
    std::string value;
    char chunk[kReadChunk];
    for (;;) {
        const ssize_t got = ::read(descriptor, chunk, sizeof chunk);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw EFileError(OpenErrorMessage(path));
        }
        if (got == 0) {
            return state == State::Value ? value : std::string();
        }
        const char* position = chunk;
        const char* const end = chunk + got;
        while (position < end) {
            switch (state) {
                case State::Value: {
                    const char* stop = position;
                    while (stop < end && !IsLineEnd(*stop)) {
                        ++stop;
                    }
                    value.append(position, stop);
                    if (stop < end || value.size() > kMaxUrlLength) {
                        value.resize(std::min(value.size(), kMaxUrlLength + 1));
                        return value;
                    }
                    position = stop;
                    break;
                }
                case State::SkipLine:
                    while (position < end && !IsLineEnd(*position)) {
                        ++position;
                    }
                    if (position < end) {
                        state = State::LineStart;
                        matched = 0;
                        ++position;
                    }
                    break;
                case State::LineStart:
                    if (IsLineEnd(*position)) {
                        matched = 0;
                    } else if (AsciiLower(*position) == kUrlKey[matched]) {
                        if (++matched == kUrlKey.size()) {
                            state = State::Value;
                        }
                    } else {
                        state = State::SkipLine;
                    }
                    ++position;
                    break;
            }
        }
    }
}

std::string ReadShortcutUrl(const std::string& path) {
    UniqueFd file = OpenRegularFile(path);
    if (!file.IsValid()) {
        throw EFileError(OpenErrorMessage(path));
    }
    return ReadShortcutUrl(file.Get(), path);
}

std::string ShortcutLineValue(std::string typed) {
    std::erase_if(typed, IsLineEnd);
    return typed;
}

std::string CompleteNewLinkUrl(const std::string& url) {
    if (url.compare(0, 3, "www") == 0) {
        return "http://" + url;
    }
    return url;
}

std::string NewShortcutText(const std::string& completedUrl) {
    std::string text;
    text.append("[DEFAULT]").append(kLineEnd);
    text.append("BASEURL=").append(completedUrl).append(kLineEnd);
    text.append("[InternetShortcut]").append(kLineEnd);
    text.append("URL=").append(completedUrl).append(kLineEnd);
    return text;
}

std::string RewriteShortcutText(std::string_view text, const std::string& newUrl) {
    std::vector<std::string> lines = SplitShortcutLines(text);
    bool replaced = false;
    for (auto line = lines.begin(); line != lines.end(); ++line) {
        if (IsUrlLine(*line)) {
            if (newUrl.empty()) {
                lines.erase(line);
            } else {
                *line = "URL=" + newUrl;
            }
            replaced = true;
            break;
        }
    }
    if (!replaced && !newUrl.empty()) {
        lines.push_back("URL=" + newUrl);
    }
    std::string rewritten;
    rewritten.reserve(text.size() + newUrl.size() + 8);
    for (const std::string& line : lines) {
        rewritten.append(line).append(kLineEnd);
    }
    return rewritten;
}

}  // namespace vornakle
