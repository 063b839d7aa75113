#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vornakle {

// A file is a link when its name ends in this extension, compared exactly:
// "x.URL" is no link.
inline constexpr std::string_view kLinkExtension = ".url";

inline bool HasLinkExtension(std::string_view fileName) {
    return fileName.ends_with(kLinkExtension);
}

// The file name of the link named name.
inline std::string LinkFileName(std::string_view name) {
    std::string fileName(name);
    fileName += kLinkExtension;
    return fileName;
}

// A link's name: its file name less the extension.
inline std::string LinkNameOf(std::string_view fileName) {
    if (HasLinkExtension(fileName)) {
        fileName.remove_suffix(kLinkExtension.size());
    }
    return std::string(fileName);
}

// The Internet-shortcut (".url") file format. Of the whole file only one
// thing has meaning here: the value of the first line, from the top, whose
// key (the text before its first "=") is "URL" in any letter case. Nothing is
// trimmed, and section headers do not matter.

// True for a line that carries the URL under that rule.
bool IsUrlLine(std::string_view line);

// The lines of a text; a line ends at CR LF, a lone LF or a lone CR.
std::vector<std::string> SplitShortcutLines(std::string_view text);

// The URL of a shortcut's text; empty when no line carries one.
std::string ShortcutUrlFromText(std::string_view text);

// The longest URL a link may have: no browser or server takes more, and a
// longer "URL" is a damaged or hostile file. The check refuses a longer one.
inline constexpr std::size_t kMaxUrlLength = 64 * 1024;

// The URL of the shortcut file at path, read from the top only as far as the
// URL line, and of that line no more than kMaxUrlLength + 1 bytes, so a
// longer URL shows as such without being read whole. Throws EFileError "Datei <path> kann nicht
// geöffnet werden" when the file cannot be opened or read.
std::string ReadShortcutUrl(const std::string& path);
// The same for a file already opened; path is only for the message.
std::string ReadShortcutUrl(int descriptor, const std::string& path);

// The open and create errors, exactly as the user sees them; the path reads
// as the windows show names. The create error is the desktop program's.
std::string OpenErrorMessage(const std::string& path);
std::string CreateErrorMessage(const std::string& path);

// The whole text of a shortcut file for a rewrite. Throws EFileError with
// the open error, or when the file is far too large to be a shortcut.
std::string ReadShortcutText(const std::string& path);

// Replaces the text of a shortcut file of the collection below
// collectionRoot as one step, by RewriteCollectionFile's rules. Throws
// ERewriteRefused when those refuse it, else EFileError with the create
// error (in English, the failure and its reason).
void WriteShortcutText(const std::string& collectionRoot, const std::string& path,
                       std::string_view text);

// A URL as typed, made fit for a shortcut line: line breaks, which a paste
// can bring, would add lines of their own to the file.
std::string ShortcutLineValue(std::string typed);

// A URL typed for a new link: one beginning with "www" (lower case) gets
// "http://" in front of it.
std::string CompleteNewLinkUrl(const std::string& url);

// The file written for a new link, from an already completed URL.
std::string NewShortcutText(const std::string& completedUrl);

// The text after a URL edit: the URL line is replaced (its key written in
// capitals), or appended when there is none, or removed when the new value is
// empty. Every line ends in CR LF.
std::string RewriteShortcutText(std::string_view text, const std::string& newUrl);

}  // namespace vornakle
