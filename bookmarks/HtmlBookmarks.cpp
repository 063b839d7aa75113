#include "bookmarks/HtmlBookmarks.h"

#include <libxml/HTMLparser.h>
#include <libxml/SAX2.h>
#include <libxml/tree.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "bookmarks/BookmarkError.h"
#include "bookmarks/SourceFile.h"
#include "platform/AsciiCase.h"
#include "platform/FileSystem.h"
#include "platform/HtmlEscape.h"
#include "platform/TextDecoding.h"

namespace vornakle {

namespace {

constexpr char kDocumentType[] = "NETSCAPE-Bookmark-file-1";
// libxml2 does not close a <DT> at the next one, so every entry of a list
// nests inside the one before it; without XML_PARSE_HUGE it stops at a depth
// of 256 and drops the rest of a long folder. The file's size is bounded
// before it gets here.
constexpr int kParseOptions = HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
                              HTML_PARSE_NONET | HTML_PARSE_NODEFDTD | XML_PARSE_HUGE;
constexpr std::string_view kIndent = "    ";
constexpr std::size_t kPiece = 64 * 1024;

struct ParserFreer {
    void operator()(htmlParserCtxt* parser) const { htmlFreeParserCtxt(parser); }
};

// libxml2 gives element and attribute names of HTML in lower case.
bool Named(const xmlChar* name, const char* wanted) {
    return xmlStrcmp(name, reinterpret_cast<const xmlChar*>(wanted)) == 0;
}

bool IsHtmlBlank(char character) {
    return character == ' ' || character == '\t' || character == '\n' || character == '\r' ||
           character == '\f';
}

// The elements that begin something new in a bookmark list. An <A> or <H3>
// left unclosed ends at the next of them, as browsers' importers read it;
// libxml2 nests them inside the open element instead.
bool StartsListItem(const xmlChar* name) {
    for (const char* item : {"dt", "dd", "dl", "h3", "a", "hr"}) {
        if (Named(name, item)) {
            return true;
        }
    }
    return false;
}

// The lists of exports that know no folders (read-later services): <UL> or
// <OL>, each perhaps under a heading.
bool IsPlainList(const xmlChar* name) {
    return Named(name, "ul") || Named(name, "ol");
}

bool IsPlainHeading(const xmlChar* name) {
    for (const char* heading : {"h1", "h2", "h4", "h5", "h6"}) {
        if (Named(name, heading)) {
            return true;
        }
    }
    return false;
}

// The value of an attribute; nullopt when the element lacks it. One given
// without a value counts as empty.
std::optional<std::string> Attribute(const xmlChar** attributes, const char* wanted) {
    for (const xmlChar** attribute = attributes; attribute && attribute[0]; attribute += 2) {
        if (Named(attribute[0], wanted)) {
            return attribute[1] ? std::string(reinterpret_cast<const char*>(attribute[1]))
                                : std::string();
        }
    }
    return std::nullopt;
}

// An entry's text as a name: blanks around it dropped, and each run of
// blanks that breaks a line (a title wrapped in a hand-written file) made one
// space. Runs of plain spaces stay, as they may belong to the name.
std::string EntryName(const std::string& text) {
    std::string name;
    std::size_t index = 0;
    while (index < text.size()) {
        if (!IsHtmlBlank(text[index])) {
            name.push_back(text[index++]);
            continue;
        }
        const std::size_t start = index;
        bool onlySpaces = true;
        while (index < text.size() && IsHtmlBlank(text[index])) {
            onlySpaces = onlySpaces && text[index] == ' ';
            ++index;
        }
        if (start == 0 || index == text.size()) {
            continue;
        }
        name.append(onlySpaces ? text.substr(start, index - start) : std::string(" "));
    }
    return name;
}

// Follows the parser's events in document order, holding only the open
// folders: the whole document is never built. Which folder an entry belongs
// to follows the <DL> lists alone, not where the parser put the <DT>s: the
// folder an <H3> opens takes the entries of the next <DL>, however the
// parser nested it. An entry's name is its text up to the first list item
// inside it.
class HtmlWalk {
public:
    explicit HtmlWalk(BookmarkCollection& collection)
        : collection_(collection), folders_{&collection.Root} {}

    void Start(const xmlChar* name, const xmlChar** attributes) {
        const int depth = depth_++;
        if (skippedListDepth_ >= 0) {
            if (Named(name, "a") && Attribute(attributes, "href")) {
                ++unplaced_;
            }
            return;
        }
        if (naming_ != Naming::None &&
            (StartsListItem(name) ||
             (naming_ == Naming::Heading && (IsPlainList(name) || Named(name, "li"))))) {
            FinishName();
        }
        if (Named(name, "dl")) {
            inDefinitionList_ = true;
            pendingHeading_.reset();
            BookmarkNode* list = &Current();
            if (pendingFolder_ != kNoPendingFolder) {
                list = &Current().Children[pendingFolder_];
                pendingFolder_ = kNoPendingFolder;
            }
            if (static_cast<int>(folders_.size()) > kMaxBookmarkDepth) {
                skippedListDepth_ = depth;
                return;
            }
            folders_.push_back(list);
            pushedLists_.push_back(depth);
        } else if (Named(name, "h3")) {
            NoteEntry();
            Current().Children.push_back(BookmarkNode::Folder(std::string()));
            pendingFolder_ = Current().Children.size() - 1;
            BeginName(Naming::Folder, depth);
        } else if (Named(name, "a")) {
            NoteEntry();
            pendingFolder_ = kNoPendingFolder;
            std::optional<std::string> href = Attribute(attributes, "href");
            // An anchor without HREF is a mark in a page, not a link.
            if (!href) {
                ++collection_.Skipped.Other;
            } else if (!SkipIfNoWebLink(*href, collection_.Skipped)) {
                url_ = std::move(*href);
                BeginName(Naming::Bookmark, depth);
            }
        } else if (Named(name, "hr")) {
            ++collection_.Skipped.Separators;
        } else if (!inDefinitionList_ && IsPlainHeading(name)) {
            BeginName(Naming::Heading, depth);
        } else if (!inDefinitionList_ && IsPlainList(name) && plainListDepth_ < 0) {
            // The outermost list of an export without <DL>s: its links go
            // into the folder of the heading above it, if any.
            BookmarkNode* list = &Current();
            if (pendingFolder_ != kNoPendingFolder) {
                list = &Current().Children[pendingFolder_];
                pendingFolder_ = kNoPendingFolder;
            } else if (pendingHeading_) {
                Current().Children.push_back(BookmarkNode::Folder(std::move(*pendingHeading_)));
                list = &Current().Children.back();
            }
            pendingHeading_.reset();
            folders_.push_back(list);
            pushedLists_.push_back(depth);
            plainListDepth_ = depth;
        }
    }

    void End() {
        const int depth = --depth_;
        if (skippedListDepth_ >= 0) {
            if (skippedListDepth_ == depth) {
                skippedListDepth_ = -1;
            }
            return;
        }
        if (naming_ != Naming::None && namedDepth_ == depth) {
            FinishName();
        }
        if (!pushedLists_.empty() && pushedLists_.back() == depth) {
            pushedLists_.pop_back();
            folders_.pop_back();
            pendingFolder_ = kNoPendingFolder;
            if (plainListDepth_ == depth) {
                plainListDepth_ = -1;
            }
        }
    }

    void Text(const xmlChar* text, int length) {
        if (naming_ != Naming::None && skippedListDepth_ < 0) {
            text_.append(reinterpret_cast<const char*>(text), static_cast<std::size_t>(length));
        }
    }

    void Finish() {
        if (naming_ != Naming::None) {
            FinishName();
        }
    }

    bool SawListEntry() const { return sawListEntry_; }
    int Unplaced() const { return unplaced_; }

    bool HasDocumentType = false;

private:
    enum class Naming { None, Folder, Bookmark, Heading };

    BookmarkNode& Current() { return *folders_.back(); }

    void BeginName(Naming naming, int depth) {
        naming_ = naming;
        namedDepth_ = depth;
        text_.clear();
    }

    void FinishName() {
        const Naming naming = std::exchange(naming_, Naming::None);
        if (naming == Naming::Folder) {
            Current().Children.back().Name = EntryName(text_);
        } else if (naming == Naming::Bookmark) {
            std::string url = std::exchange(url_, std::string());
            const std::string identity =
                std::to_string(sameAddress_[std::hash<std::string>{}(url)]++);
            Current().Children.push_back(BookmarkNode::Bookmark(EntryName(text_), std::move(url)));
            Current().Children.back().Identity = identity;
        } else if (naming == Naming::Heading) {
            pendingHeading_ = EntryName(text_);
        }
        text_.clear();
    }

    void NoteEntry() {
        if (folders_.size() > 1) {
            sawListEntry_ = true;
        }
    }

    BookmarkCollection& collection_;
    std::vector<BookmarkNode*> folders_;  // the innermost open list's folder last
    std::vector<int> pushedLists_;        // the element depth of each folder's list but the root's
    int depth_ = 0;                       // of the next element that starts
    int skippedListDepth_ = -1;           // of a list too deep to place, while inside it
    bool inDefinitionList_ = false;       // a <DL> was met: a browser's file, not a plain list
    int plainListDepth_ = -1;  // of the outermost open <UL> or <OL>; lists in it add none
    std::optional<std::string> pendingHeading_;
    // The entry or heading whose name is being read, up to its end or the
    // first list item inside it.
    Naming naming_ = Naming::None;
    int namedDepth_ = 0;
    std::string text_;
    std::string url_;
    // An <H3>'s folder waiting for its <DL>, or kNoPendingFolder: a plain
    // index, since GCC 12's optimiser takes an optional one here for read
    // before it was set (-Wmaybe-uninitialized).
    static constexpr std::size_t kNoPendingFolder = std::numeric_limits<std::size_t>::max();
    std::size_t pendingFolder_ = kNoPendingFolder;
    // How many bookmarks with each address came so far, the address's
    // identity among its equals, by the address's hash: a copy of every
    // address would double what a large file costs, and two addresses that
    // share a hash only number their bookmarks on (the edit that uses the
    // number checks the address it finds).
    std::unordered_map<std::size_t, std::uint32_t> sameAddress_;
    bool sawListEntry_ = false;
    int unplaced_ = 0;
};

// Whether a <META> tag or an XML declaration of the text names a character
// set ("charset", "encoding", any letter case). Addresses may hold the same
// words, so only those tags count.
bool DeclaresCharacterSet(std::string_view html) {
    for (std::size_t open = html.find('<'); open != std::string_view::npos;
         open = html.find('<', open + 1)) {
        const std::string_view rest = html.substr(open);
        if (!StartsWithAsciiLower(rest, "<meta") && !StartsWithAsciiLower(rest, "<?xml")) {
            continue;
        }
        const std::string_view tag = rest.substr(0, rest.find('>'));
        for (std::size_t at = 0; at < tag.size(); ++at) {
            if (StartsWithAsciiLower(tag.substr(at), "charset") ||
                StartsWithAsciiLower(tag.substr(at), "encoding")) {
                return true;
            }
        }
    }
    return false;
}

// Without a declared character set libxml2 reads a whole document as UTF-8
// while its bytes are, but a document fed in pieces as Latin-1; hand-written
// files are UTF-8 today. This tells, piece by piece, whether a document is
// valid UTF-8 throughout and declares no character set.
class CharsetGuess {
public:
    void Add(std::string_view piece) {
        carry_.append(piece);
        // What may continue in the next piece waits for it: a UTF-8 sequence
        // cut short, a tag not yet closed (unless it is no tag but text).
        std::size_t keep = carry_.size();
        for (std::size_t back = 1; back <= 3 && back <= carry_.size(); ++back) {
            const auto byte = static_cast<unsigned char>(carry_[carry_.size() - back]);
            if ((byte & 0xC0) != 0x80) {
                const std::size_t length = byte >= 0xF0   ? 4
                                           : byte >= 0xE0 ? 3
                                           : byte >= 0xC0 ? 2
                                                          : 1;
                keep = length > back ? carry_.size() - back : keep;
                break;
            }
        }
        const std::size_t open = carry_.rfind('<');
        if (open != std::string::npos && carry_.find('>', open) == std::string::npos &&
            carry_.size() - open <= kLongestTag) {
            keep = std::min(keep, open);
        }
        Check(std::string_view(carry_).substr(0, keep));
        carry_.erase(0, keep);
    }

    bool Utf8Undeclared() {
        Check(carry_);
        carry_.clear();
        return valid_ && !declared_;
    }

private:
    static constexpr std::size_t kLongestTag = 64 * 1024;

    void Check(std::string_view text) {
        valid_ = valid_ && IsValidUtf8(text);
        declared_ = declared_ || DeclaresCharacterSet(text);
    }

    std::string carry_;
    bool valid_ = true;
    bool declared_ = false;
};

// The next piece of a document; an empty one ends it.
using PieceReader = std::function<std::string_view()>;

HtmlWalk& WalkOf(void* context) {
    return *static_cast<HtmlWalk*>(static_cast<htmlParserCtxt*>(context)->_private);
}

void OnStart(void* context, const xmlChar* name, const xmlChar** attributes) {
    WalkOf(context).Start(name, attributes);
}

void OnEnd(void* context, const xmlChar* /*name*/) {
    WalkOf(context).End();
}

void OnText(void* context, const xmlChar* text, int length) {
    WalkOf(context).Text(text, length);
}

void OnDocumentType(void* context, const xmlChar* name, const xmlChar* /*publicId*/,
                    const xmlChar* /*systemId*/) {
    if (name && xmlStrcasecmp(name, reinterpret_cast<const xmlChar*>(kDocumentType)) == 0) {
        WalkOf(context).HasDocumentType = true;
    }
}

std::string EscapeHtml(const std::string& bytes) {
    return vornakle::EscapeHtml(IsValidUtf8(bytes) ? bytes : TextBytes(DisplayText(bytes)),
                                HtmlControls::Keep);
}

void AppendList(const BookmarkNode& folder, int depth, std::string& html) {
    std::string indent;
    for (int level = 0; level < depth; ++level) {
        indent += kIndent;
    }
    html += indent + "<DL><p>\n";
    for (const BookmarkNode& child : folder.Children) {
        if (child.IsFolder()) {
            html += indent + std::string(kIndent) + "<DT><H3>" + EscapeHtml(child.Name) + "</H3>\n";
            AppendList(child, depth + 1, html);
        } else {
            html += indent + std::string(kIndent) + "<DT><A HREF=\"" + EscapeHtml(child.Url) +
                    "\">" + EscapeHtml(child.Name) + "</A>\n";
        }
    }
    html += indent + "</DL><p>\n";
}

}  // namespace

namespace {

BookmarkCollection ParseHtmlPieces(const PieceReader& nextPiece, bool utf8Undeclared,
                                   const std::string& path) {
    BookmarkCollection collection;
    collection.Root = BookmarkNode::Folder(std::string());
    HtmlWalk walk(collection);

    htmlSAXHandler events{};
    xmlSAX2InitHtmlDefaultSAXHandler(&events);
    // Blanks the parser finds ignorable are text to the tree it builds by
    // default; names read the same either way.
    const bool blanksAreText = events.ignorableWhitespace == events.characters;
    events = htmlSAXHandler{};
    events.startElement = OnStart;
    events.endElement = OnEnd;
    events.characters = OnText;
    events.cdataBlock = OnText;
    events.ignorableWhitespace = blanksAreText ? OnText : nullptr;
    events.internalSubset = OnDocumentType;
    // Fed in pieces, the parser holds little more than one piece of the text.
    const std::string_view first = nextPiece();
    const std::unique_ptr<htmlParserCtxt, ParserFreer> parser(htmlCreatePushParserCtxt(
        &events, nullptr, first.data(), static_cast<int>(first.size()), nullptr,
        utf8Undeclared ? XML_CHAR_ENCODING_UTF8 : XML_CHAR_ENCODING_NONE));
    if (!parser) {
        throw std::bad_alloc();
    }
    parser->_private = &walk;
    htmlCtxtUseOptions(parser.get(), kParseOptions);
    if (!first.empty()) {
        for (std::string_view piece = nextPiece(); !piece.empty(); piece = nextPiece()) {
            htmlParseChunk(parser.get(), piece.data(), static_cast<int>(piece.size()), 0);
        }
    }
    htmlParseChunk(parser.get(), nullptr, 0, 1);
    walk.Finish();
    if (!walk.HasDocumentType && !walk.SawListEntry()) {
        throw EBookmarkError(EBookmarkError::Reason::Unrecognised,
                             path + " is no bookmark file (neither a places.sqlite, " +
                                 "a Chromium Bookmarks file nor an HTML bookmark file)");
    }
    if (walk.Unplaced() > 0) {
        collection.LeftOut.push_back({LeftOutPart::Kind::Unplaced, std::string(), walk.Unplaced()});
    }
    return collection;
}

// Reads a whole file in pieces; throws EBookmarkError (Unreadable) when it
// cannot be read.
class FilePieces {
public:
    explicit FilePieces(const std::string& path) : path_(path), file_(OpenRegularFile(path)) {
        if (!file_.IsValid()) {
            Fail();
        }
    }

    std::string_view Next() {
        for (;;) {
            const ssize_t got = ::read(file_.Get(), buffer_.data(), buffer_.size());
            if (got >= 0) {
                return std::string_view(buffer_.data(), static_cast<std::size_t>(got));
            }
            if (errno != EINTR) {
                Fail();
            }
        }
    }

    void Rewind() {
        if (::lseek(file_.Get(), 0, SEEK_SET) != 0) {
            Fail();
        }
    }

private:
    [[noreturn]] void Fail() {
        throw EBookmarkError(EBookmarkError::Reason::Unreadable, path_ + " cannot be read");
    }

    const std::string& path_;
    UniqueFd file_;
    std::vector<char> buffer_ = std::vector<char>(kPiece);
};

}  // namespace

BookmarkCollection ParseHtmlBookmarks(std::string_view html, const std::string& path) {
    CharsetGuess guess;
    for (std::size_t offset = 0; offset < html.size(); offset += kPiece) {
        guess.Add(html.substr(offset, kPiece));
    }
    std::size_t offset = 0;
    return ParseHtmlPieces(
        [&] {
            const std::string_view piece = html.substr(offset, kPiece);
            offset += piece.size();
            return piece;
        },
        guess.Utf8Undeclared(), path);
}

BookmarkCollection ReadHtmlBookmarkFile(const std::string& path) {
    FilePieces pieces(path);
    // Read twice, once for the character set, rather than held whole.
    CharsetGuess guess;
    std::size_t size = 0;
    for (std::string_view piece = pieces.Next(); !piece.empty(); piece = pieces.Next()) {
        size += piece.size();
        if (size > kMaxBookmarkFileBytes) {
            throw EBookmarkError(EBookmarkError::Reason::Unrecognised,
                                 path + " is too large to be a bookmark file");
        }
        guess.Add(piece);
    }
    pieces.Rewind();
    return ParseHtmlPieces([&] { return pieces.Next(); }, guess.Utf8Undeclared(), path);
}

std::string HtmlBookmarkText(const BookmarkNode& root) {
    std::string html =
        "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n"
        "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=UTF-8\">\n"
        "<TITLE>Bookmarks</TITLE>\n"
        "<H1>Bookmarks</H1>\n";
    AppendList(root, 0, html);
    return html;
}

void WriteHtmlBookmarkFile(const BookmarkNode& root, const std::string& target) {
    const std::string text = HtmlBookmarkText(root);
    struct stat existing {};
    try {
        if (::stat(target.c_str(), &existing) != 0 && !PathExists(target)) {
            CreateNewFile(target, text);
        } else if (S_ISREG(existing.st_mode) && existing.st_size == 0) {
            ReplaceFileContents(target, text);
        } else {
            throw EBookmarkError(EBookmarkError::Reason::TargetTaken,
                                 target + " exists and is not an empty file");
        }
    } catch (const EFileError& error) {
        throw EBookmarkError(EBookmarkError::Reason::Unwritable, error.Message());
    }
}

}  // namespace vornakle
