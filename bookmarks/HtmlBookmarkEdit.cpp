#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string_view>

#include "bookmarks/BookmarkError.h"
#include "bookmarks/HtmlBookmarks.h"
#include "bookmarks/SourceFile.h"
#include "bookmarks/StoreEditing.h"
#include "platform/AsciiCase.h"
#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "platform/HtmlEscape.h"

namespace vornakle {

namespace {

// An HTML bookmark file is edited in its own bytes: only the HREF value of
// a changed link, and the lines of a set-aside one, change. Its tags are
// found by a scan of the text, which needs no more than the format's few
// elements; what the scan finds is checked against what the reader read.

struct Anchor {
    std::size_t TagStart = 0;
    std::size_t ValueStart = 0;  // the HREF value, quotes excluded
    std::size_t ValueEnd = 0;
    bool Quoted = false;
    std::string Url;     // the value, references decoded
    std::string Folder;  // the folder path as the reader gives it
    std::size_t Depth = 0;
};

struct TopFolder {
    std::string Name;
    std::size_t ListClose = std::string::npos;  // its </DL>
};

struct Layout {
    std::vector<Anchor> Anchors;
    std::vector<TopFolder> TopFolders;
    std::size_t TopListClose = std::string::npos;
};

bool IsBlank(char character) {
    return character == ' ' || character == '\t' || character == '\n' || character == '\r' ||
           character == '\f';
}

// The text with the references a bookmark file holds decoded: the named
// ones of the markup characters and numeric ones.
std::string DecodeReferences(std::string_view text) {
    static const std::map<std::string_view, std::string_view> kNamed = {
        {"amp", "&"},   {"lt", "<"},   {"gt", ">"},
        {"quot", "\""}, {"apos", "'"}, {"nbsp", "\xC2\xA0"}};
    std::string decoded;
    for (std::size_t index = 0; index < text.size(); ++index) {
        const std::size_t end = text[index] == '&' ? text.find(';', index) : std::string_view::npos;
        if (end == std::string_view::npos || end - index > 10) {
            decoded += text[index];
            continue;
        }
        const std::string_view name = text.substr(index + 1, end - index - 1);
        std::optional<std::uint32_t> code;
        if (name.size() > 1 && name[0] == '#') {
            const bool hex = name[1] == 'x' || name[1] == 'X';
            try {
                code = static_cast<std::uint32_t>(
                    std::stoul(std::string(name.substr(hex ? 2 : 1)), nullptr, hex ? 16 : 10));
            } catch (const std::exception&) {
            }
        }
        if (const auto named = kNamed.find(name); named != kNamed.end()) {
            decoded += named->second;
        } else if (code && *code > 0 && *code < 0x110000) {
            const std::uint32_t c = *code;
            if (c < 0x80) {
                decoded += static_cast<char>(c);
            } else if (c < 0x800) {
                decoded += static_cast<char>(0xC0 | (c >> 6));
                decoded += static_cast<char>(0x80 | (c & 0x3F));
            } else if (c < 0x10000) {
                decoded += static_cast<char>(0xE0 | (c >> 12));
                decoded += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
                decoded += static_cast<char>(0x80 | (c & 0x3F));
            } else {
                decoded += static_cast<char>(0xF0 | (c >> 18));
                decoded += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
                decoded += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
                decoded += static_cast<char>(0x80 | (c & 0x3F));
            }
        } else {
            decoded += text[index];
            continue;
        }
        index = end;
    }
    return decoded;
}

// The end of the tag starting at start ('<'), past its '>', quotes in
// attribute values respected.
std::size_t TagEnd(std::string_view html, std::size_t start) {
    char quote = 0;
    for (std::size_t index = start + 1; index < html.size(); ++index) {
        const char character = html[index];
        if (quote != 0) {
            quote = character == quote ? 0 : quote;
        } else if (character == '"' || character == '\'') {
            // Only a quote that opens a value counts.
            std::size_t before = index;
            while (before > start && IsBlank(html[before - 1])) {
                --before;
            }
            if (html[before - 1] == '=') {
                quote = character;
            }
        } else if (character == '>') {
            return index + 1;
        }
    }
    return html.size();
}

std::string TagName(std::string_view tag) {
    std::size_t index = tag[1] == '/' ? 2 : 1;
    std::string name = tag[1] == '/' ? "/" : "";
    while (index < tag.size() && (std::isalnum(static_cast<unsigned char>(tag[index])) != 0)) {
        name += AsciiLower(tag[index]);
        ++index;
    }
    return name;
}

// Finds the HREF attribute in an <A> tag: sets the value's place.
bool FindHref(std::string_view html, std::size_t tagStart, std::size_t tagEnd, Anchor& anchor) {
    std::size_t index = tagStart + 2;
    while (index < tagEnd) {
        while (index < tagEnd && (IsBlank(html[index]) || html[index] == '/')) {
            ++index;
        }
        const std::size_t nameStart = index;
        while (index < tagEnd && !IsBlank(html[index]) && html[index] != '=' &&
               html[index] != '>') {
            ++index;
        }
        const std::string name = AsciiLowerCase(html.substr(nameStart, index - nameStart));
        while (index < tagEnd && IsBlank(html[index])) {
            ++index;
        }
        if (index >= tagEnd || html[index] != '=') {
            if (name.empty()) {
                return false;
            }
            continue;
        }
        ++index;
        while (index < tagEnd && IsBlank(html[index])) {
            ++index;
        }
        std::size_t valueStart = index;
        std::size_t valueEnd = index;
        bool quoted = false;
        if (index < tagEnd && (html[index] == '"' || html[index] == '\'')) {
            const char quote = html[index];
            valueStart = index + 1;
            valueEnd = html.find(quote, valueStart);
            if (valueEnd == std::string_view::npos || valueEnd >= tagEnd) {
                return false;
            }
            index = valueEnd + 1;
            quoted = true;
        } else {
            while (index < tagEnd && !IsBlank(html[index]) && html[index] != '>') {
                ++index;
            }
            valueEnd = index;
        }
        if (name == "href") {
            anchor.ValueStart = valueStart;
            anchor.ValueEnd = valueEnd;
            anchor.Quoted = quoted;
            anchor.Url = DecodeReferences(html.substr(valueStart, valueEnd - valueStart));
            return true;
        }
    }
    return false;
}

// The text of an element up to its closing tag (or the next tag).
std::string ElementText(std::string_view html, std::size_t from) {
    const std::size_t end = html.find('<', from);
    return DecodeReferences(
        html.substr(from, (end == std::string_view::npos ? html.size() : end) - from));
}

Layout ScanLayout(std::string_view html) {
    Layout layout;
    std::vector<std::string> folders;  // the names of the open lists' folders
    std::vector<std::size_t> topOpen;  // index in TopFolders of each open list, or npos
    std::optional<std::string> pendingName;
    std::size_t index = 0;
    while ((index = html.find('<', index)) != std::string_view::npos) {
        if (html.substr(index, 4) == "<!--") {
            const std::size_t end = html.find("-->", index + 4);
            index = end == std::string_view::npos ? html.size() : end + 3;
            continue;
        }
        const std::size_t end = TagEnd(html, index);
        const std::string name = TagName(html.substr(index, end - index));
        if (name == "dl") {
            std::size_t top = std::string::npos;
            if (pendingName && folders.size() == 1) {
                top = layout.TopFolders.size();
                layout.TopFolders.push_back({*pendingName, std::string::npos});
            }
            folders.push_back(pendingName.value_or(std::string()));
            topOpen.push_back(top);
            pendingName.reset();
        } else if (name == "/dl" && !folders.empty()) {
            if (folders.size() == 1) {
                layout.TopListClose = index;
            }
            if (topOpen.back() != std::string::npos) {
                layout.TopFolders[topOpen.back()].ListClose = index;
            }
            folders.pop_back();
            topOpen.pop_back();
            pendingName.reset();
        } else if (name == "h3") {
            pendingName = ElementText(html, end);
        } else if (name == "a") {
            pendingName.reset();
            Anchor anchor;
            anchor.TagStart = index;
            anchor.Depth = folders.size();
            if (FindHref(html, index, end, anchor)) {
                std::string path;
                for (std::size_t level = 1; level < folders.size(); ++level) {
                    path = AppendFolderName(path, folders[level]);
                }
                anchor.Folder = path;
                layout.Anchors.push_back(std::move(anchor));
            }
        }
        index = end;
    }
    return layout;
}

std::size_t LineStart(std::string_view html, std::size_t position) {
    const std::size_t newline = html.rfind('\n', position == 0 ? 0 : position - 1);
    return position == 0 || newline == std::string_view::npos ? 0 : newline + 1;
}

std::size_t LineEnd(std::string_view html, std::size_t position) {
    const std::size_t newline = html.find('\n', position);
    return newline == std::string_view::npos ? html.size() : newline + 1;
}

std::string LeadingBlanks(std::string_view line) {
    std::size_t count = 0;
    while (count < line.size() && (line[count] == ' ' || line[count] == '\t')) {
        ++count;
    }
    return std::string(line.substr(0, count));
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool StartsWithTag(std::string_view text, std::string_view tag) {
    return StartsWithAsciiLower(Trimmed(text), tag);
}

// The lines of the entry of an anchor: "<DT><A ...>...</A>" alone on its
// line, and a "<DD>" line after it; none when the entry shares its lines.
std::optional<std::pair<std::size_t, std::size_t>> EntryLines(std::string_view html,
                                                              const Anchor& anchor) {
    const std::size_t start = LineStart(html, anchor.TagStart);
    const std::string_view lead = Trimmed(html.substr(start, anchor.TagStart - start));
    if (!lead.empty() && !(lead.size() == 4 && StartsWithTag(lead, "<dt>"))) {
        return std::nullopt;
    }
    std::size_t end = LineEnd(html, anchor.TagStart);
    const std::string_view line = html.substr(anchor.TagStart, end - anchor.TagStart);
    const std::string lower = AsciiLowerCase(line);
    const std::size_t close = lower.find("</a>");
    if (close == std::string::npos || !Trimmed(line.substr(close + 4)).empty() ||
        lower.find("<a", 2) < close) {
        return std::nullopt;
    }
    if (end < html.size()) {
        const std::size_t next = LineEnd(html, end);
        if (StartsWithTag(html.substr(end, next - end), "<dd>")) {
            end = next;
        }
    }
    return std::make_pair(start, end);
}

std::string Reindented(std::string_view lines, const std::string& indent) {
    std::string result;
    std::size_t index = 0;
    while (index < lines.size()) {
        const std::size_t end = LineEnd(lines, index);
        const std::string_view line = lines.substr(index, end - index);
        result += indent;
        result += line.substr(LeadingBlanks(line).size());
        index = end;
    }
    return result;
}

struct Splice {
    std::size_t Position = 0;
    std::size_t Length = 0;
    std::string Text;
};

}  // namespace

StoreEditRun EditHtmlBookmarks(const std::string& path, const std::vector<BookmarkEdit>& edits,
                               const std::string& asideFolder) {
    const std::string html = ReadBookmarkFile(path);
    const BookmarkCollection before = ParseHtmlBookmarks(html, path);
    const Layout layout = ScanLayout(html);

    // The scan must see the same bookmarks with each address as the reader.
    std::map<std::string, std::vector<std::size_t>> anchorsOf;
    for (std::size_t index = 0; index < layout.Anchors.size(); ++index) {
        anchorsOf[layout.Anchors[index].Url].push_back(index);
    }
    std::map<std::string, int> readCount;
    std::vector<std::pair<std::string, std::string>> identityFolders;
    FolderOfEachBookmark(before.Root, std::string(), identityFolders);
    {
        std::vector<const BookmarkNode*> stack{&before.Root};
        while (!stack.empty()) {
            const BookmarkNode* node = stack.back();
            stack.pop_back();
            for (const BookmarkNode& child : node->Children) {
                if (child.IsFolder()) {
                    stack.push_back(&child);
                } else {
                    ++readCount[child.Url];
                }
            }
        }
    }

    StoreEditRun run;
    run.Results.resize(edits.size());
    std::vector<Splice> splices;
    std::string moved;
    const TopFolder* aside = nullptr;
    for (const TopFolder& folder : layout.TopFolders) {
        if (folder.Name == asideFolder && folder.ListClose != std::string::npos) {
            aside = &folder;
            break;
        }
    }
    for (std::size_t number = 0; number < edits.size(); ++number) {
        const BookmarkEdit& edit = edits[number];
        EditResult& result = run.Results[number];
        const auto found = anchorsOf.find(edit.OldUrl);
        std::size_t occurrence = 0;
        try {
            occurrence = std::stoul(edit.Identity);
        } catch (const std::exception&) {
            result = {
                EditOutcome::ChangedSinceRead, "it changed in " + path + " since the scan", {}, {}};
            continue;
        }
        if (found == anchorsOf.end() || occurrence >= found->second.size()) {
            result = {
                EditOutcome::ChangedSinceRead, "it changed in " + path + " since the scan", {}, {}};
            continue;
        }
        if (static_cast<int>(found->second.size()) != readCount[edit.OldUrl]) {
            result = {EditOutcome::Refused,
                      "its address appears in " + path +
                          " in a way that cannot be told apart from other entries",
                      {},
                      {}};
            continue;
        }
        const Anchor& anchor = layout.Anchors[found->second[occurrence]];
        // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on
        // "literal" + string in optimised builds.
        std::string newValue;
        if (!edit.NewUrl.empty()) {
            const std::string_view quote = anchor.Quoted ? "" : "\"";
            newValue.append(quote);
            newValue.append(EscapeHtml(edit.NewUrl, HtmlControls::Keep));
            newValue.append(quote);
        }
        if (!edit.SetAside) {
            splices.push_back({anchor.ValueStart, anchor.ValueEnd - anchor.ValueStart, newValue});
            result = {EditOutcome::Applied, {}, {}, {}};
            continue;
        }
        if (anchor.Depth == 2 && aside != nullptr && anchor.Folder == asideFolder) {
            result = {EditOutcome::Unneeded, {}, {}, {}};
            continue;
        }
        const auto lines = EntryLines(html, anchor);
        if (!lines || layout.TopListClose == std::string::npos) {
            result = {EditOutcome::Refused,
                      "its entry shares its line with others in " + path +
                          ", so it cannot be moved by lines",
                      {},
                      {}};
            continue;
        }
        std::string entry = html.substr(lines->first, lines->second - lines->first);
        if (!edit.NewUrl.empty()) {
            entry.replace(anchor.ValueStart - lines->first, anchor.ValueEnd - anchor.ValueStart,
                          newValue);
        }
        if (!entry.empty() && entry.back() != '\n') {
            entry += '\n';
        }
        splices.push_back({lines->first, lines->second - lines->first, std::string()});
        moved += entry;
        result = {EditOutcome::Applied, {}, anchor.Folder, AppendFolderName({}, asideFolder)};
    }
    if (!moved.empty()) {
        if (aside != nullptr) {
            const std::size_t at = LineStart(html, aside->ListClose);
            const std::string indent = LeadingBlanks(std::string_view(html).substr(at)) + "    ";
            splices.push_back({at, 0, Reindented(moved, indent)});
        } else {
            const std::size_t at = LineStart(html, layout.TopListClose);
            const std::string indent = LeadingBlanks(std::string_view(html).substr(at)) + "    ";
            const std::string stamp =
                std::to_string(std::chrono::duration_cast<std::chrono::seconds>(
                                   std::chrono::system_clock::now().time_since_epoch())
                                   .count());
            splices.push_back({at, 0,
                               indent + "<DT><H3 ADD_DATE=\"" + stamp + "\" LAST_MODIFIED=\"" +
                                   stamp + "\">" + EscapeHtml(asideFolder, HtmlControls::Keep) +
                                   "</H3>\n" + indent + "<DL><p>\n" +
                                   Reindented(moved, indent + "    ") + indent + "</DL><p>\n"});
        }
    }
    if (splices.empty()) {
        return run;
    }
    // From the end, so that each position still holds; an insertion goes
    // after a removal that ends where it starts.
    std::stable_sort(splices.begin(), splices.end(),
                     [](const Splice& a, const Splice& b) { return a.Position > b.Position; });
    std::string edited = html;
    for (const Splice& splice : splices) {
        edited.replace(splice.Position, splice.Length, splice.Text);
    }
    const BookmarkCollection after = ParseHtmlBookmarks(edited, path);
    if (const std::string difference = DifferenceFromExpected(before, after, edits, run.Results);
        !difference.empty()) {
        throw EBookmarkError(EBookmarkError::Reason::Unchanged,
                             path +
                                 " was left as it was: the edited file would not read back "
                                 "as intended (" +
                                 difference + ")");
    }
    run.BackupPath = BackupBeside(path, html);
    run.RestoreHint = "copy " + run.BackupPath + " over " + path;
    try {
        ReplaceFileContents(path, edited);
    } catch (const EFileError& error) {
        throw EBookmarkError(EBookmarkError::Reason::Unwritable,
                             path + " was left as it was: " + error.Message());
    }
    const BookmarkCollection written = ParseHtmlBookmarks(ReadBookmarkFile(path), path);
    if (const std::string difference = DifferenceFromExpected(before, written, edits, run.Results);
        !difference.empty()) {
        ReplaceFileContents(path, html);
        throw EBookmarkError(EBookmarkError::Reason::Unchanged,
                             path + " did not read back as written (" + difference +
                                 "); its old contents were put back");
    }
    return run;
}

}  // namespace vornakle
