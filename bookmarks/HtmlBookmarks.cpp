#include "bookmarks/HtmlBookmarks.h"

#include <libxml/HTMLparser.h>
#include <libxml/tree.h>
#include <sys/stat.h>

#include <climits>
#include <limits>
#include <map>
#include <memory>
#include <vector>

#include "bookmarks/BookmarkError.h"
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

struct DocumentFreer {
    void operator()(xmlDoc* document) const { xmlFreeDoc(document); }
};
struct XmlStringFreer {
    void operator()(xmlChar* text) const { xmlFree(text); }
};
using XmlString = std::unique_ptr<xmlChar, XmlStringFreer>;

// libxml2 gives element and attribute names of HTML in lower case.
bool IsElement(const xmlNode* node, const char* name) {
    return node->type == XML_ELEMENT_NODE &&
           xmlStrcmp(node->name, reinterpret_cast<const xmlChar*>(name)) == 0;
}

std::string Owned(XmlString text) {
    return text ? std::string(reinterpret_cast<const char*>(text.get())) : std::string();
}

bool IsHtmlBlank(char character) {
    return character == ' ' || character == '\t' || character == '\n' || character == '\r' ||
           character == '\f';
}

// The elements that begin something new in a bookmark list. An <A> or <H3>
// left unclosed ends at the next of them, as browsers' importers read it;
// libxml2 nests them inside the open element instead.
bool StartsListItem(const xmlNode* node) {
    for (const char* name : {"dt", "dd", "dl", "h3", "a", "hr"}) {
        if (IsElement(node, name)) {
            return true;
        }
    }
    return false;
}

struct EntryText {
    std::string Text;
    bool HoldsListItems = false;  // an unclosed entry swallowed what follows it
};

// The text of an <A> or <H3> up to the first list item inside it, in
// document order.
EntryText OwnText(const xmlNode* entry) {
    EntryText own;
    std::vector<const xmlNode*> pending;
    for (const xmlNode* child = entry->last; child; child = child->prev) {
        pending.push_back(child);
    }
    while (!pending.empty()) {
        const xmlNode* node = pending.back();
        pending.pop_back();
        if (StartsListItem(node)) {
            own.HoldsListItems = true;
            break;
        }
        if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) {
            own.Text += reinterpret_cast<const char*>(node->content);
        }
        for (const xmlNode* child = node->last; child; child = child->prev) {
            pending.push_back(child);
        }
    }
    return own;
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

// The bookmarks inside a list too deep to place.
int BookmarksBelow(const xmlNode* list) {
    int count = 0;
    std::vector<const xmlNode*> pending{list};
    while (!pending.empty()) {
        const xmlNode* node = pending.back();
        pending.pop_back();
        if (IsElement(node, "a") && xmlHasProp(node, reinterpret_cast<const xmlChar*>("href"))) {
            ++count;
        }
        for (const xmlNode* child = node->children; child; child = child->next) {
            pending.push_back(child);
        }
    }
    return count;
}

bool HasBookmarkDocumentType(xmlDoc* document) {
    const xmlDtd* documentType = xmlGetIntSubset(document);
    return documentType && documentType->name &&
           xmlStrcasecmp(documentType->name, reinterpret_cast<const xmlChar*>(kDocumentType)) == 0;
}

// Walks the document in order. Which folder an entry belongs to follows the
// <DL> lists alone, not where the parser put the <DT>s: the folder an <H3>
// opens takes the entries of the next <DL>, however the parser nested it.
class HtmlWalk {
public:
    explicit HtmlWalk(BookmarkCollection& collection)
        : collection_(collection), folders_{&collection.Root} {}

    void Run(xmlNode* top) {
        // Iterative: the entries of a list nest as deep as it is long.
        xmlNode* node = top;
        while (node) {
            if (Enter(node) && node->children) {
                node = node->children;
                continue;
            }
            Leave(node);
            while (node != top && !node->next) {
                node = node->parent;
                Leave(node);
            }
            node = node == top ? nullptr : node->next;
        }
    }

    bool SawListEntry() const { return sawListEntry_; }
    int Unplaced() const { return unplaced_; }

private:
    BookmarkNode& Current() { return *folders_.back(); }

    // Handles an element as it is met; whether to look inside it.
    bool Enter(xmlNode* node) {
        if (IsElement(node, "dl")) {
            BookmarkNode* list = &Current();
            if (pendingFolder_ != kNoPendingFolder) {
                list = &Current().Children[pendingFolder_];
                pendingFolder_ = kNoPendingFolder;
            }
            if (static_cast<int>(folders_.size()) > kMaxBookmarkDepth) {
                unplaced_ += BookmarksBelow(node);
                return false;
            }
            folders_.push_back(list);
            pushedLists_.push_back(node);
            return true;
        }
        if (IsElement(node, "h3")) {
            NoteEntry();
            const EntryText own = OwnText(node);
            Current().Children.push_back(BookmarkNode::Folder(EntryName(own.Text)));
            pendingFolder_ = Current().Children.size() - 1;
            return own.HoldsListItems;
        }
        if (IsElement(node, "a")) {
            NoteEntry();
            pendingFolder_ = kNoPendingFolder;
            const EntryText own = OwnText(node);
            XmlString href(xmlGetProp(node, reinterpret_cast<const xmlChar*>("href")));
            // An anchor without HREF is a mark in a page, not a link.
            if (!href) {
                ++collection_.Skipped.Other;
                return own.HoldsListItems;
            }
            std::string url = Owned(std::move(href));
            if (!SkipIfNoWebLink(url, collection_.Skipped)) {
                const std::string identity = std::to_string(sameAddress_[url]++);
                Current().Children.push_back(
                    BookmarkNode::Bookmark(EntryName(own.Text), std::move(url)));
                Current().Children.back().Identity = identity;
            }
            return own.HoldsListItems;
        }
        if (IsElement(node, "hr")) {
            ++collection_.Skipped.Separators;
        }
        return true;
    }

    void Leave(xmlNode* node) {
        if (!pushedLists_.empty() && pushedLists_.back() == node) {
            pushedLists_.pop_back();
            folders_.pop_back();
            pendingFolder_ = kNoPendingFolder;
        }
    }

    void NoteEntry() {
        if (folders_.size() > 1) {
            sawListEntry_ = true;
        }
    }

    BookmarkCollection& collection_;
    std::vector<BookmarkNode*> folders_;       // the innermost open list's folder last
    std::vector<const xmlNode*> pushedLists_;  // the <DL> of each folder but the root
    // An <H3>'s folder waiting for its <DL>, or kNoPendingFolder: a plain
    // index, since GCC 12's optimiser takes an optional one here for read
    // before it was set (-Wmaybe-uninitialized).
    static constexpr std::size_t kNoPendingFolder = std::numeric_limits<std::size_t>::max();
    std::size_t pendingFolder_ = kNoPendingFolder;
    // How many bookmarks with each address came so far.
    std::map<std::string, int> sameAddress_;
    bool sawListEntry_ = false;
    int unplaced_ = 0;
};

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

BookmarkCollection ParseHtmlBookmarks(std::string_view html, const std::string& path) {
    if (html.size() > static_cast<std::size_t>(INT_MAX)) {
        throw EBookmarkError(EBookmarkError::Reason::Unrecognised,
                             path + " is too large to be a bookmark file");
    }
    const std::unique_ptr<xmlDoc, DocumentFreer> document(htmlReadMemory(
        html.data(), static_cast<int>(html.size()), nullptr, nullptr, kParseOptions));
    const std::string notBookmarks = path + " is no bookmark file (neither a places.sqlite, " +
                                     "a Chromium Bookmarks file nor an HTML bookmark file)";
    if (!document) {
        throw EBookmarkError(EBookmarkError::Reason::Unrecognised, notBookmarks);
    }
    BookmarkCollection collection;
    collection.Root = BookmarkNode::Folder(std::string());
    HtmlWalk walk(collection);
    if (xmlNode* top = xmlDocGetRootElement(document.get())) {
        walk.Run(top);
    }
    if (!HasBookmarkDocumentType(document.get()) && !walk.SawListEntry()) {
        throw EBookmarkError(EBookmarkError::Reason::Unrecognised, notBookmarks);
    }
    if (walk.Unplaced() > 0) {
        collection.LeftOut.push_back({LeftOutPart::Kind::Unplaced, std::string(), walk.Unplaced()});
    }
    return collection;
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
