#pragma once

#include <string>
#include <string_view>

#include "bookmarks/BookmarkTree.h"

namespace vornakle {

// Reads an HTML bookmark file (the NETSCAPE-Bookmark-file-1 format every
// browser exports and imports) with libxml2's forgiving HTML parser: nested
// <DL> lists, <H3> opening a folder whose entries are the <DL> that follows,
// <A HREF> a bookmark, <HR> a separator. Unclosed elements, unquoted
// attributes and entities are all fine: an <A> or <H3> left unclosed ends
// at the next <DT>, <DD>, <DL> or </DL>. Separators, "place:" queries and
// "javascript:" links are left out and counted, and so are the bookmarks of
// lists nested deeper than kMaxBookmarkDepth (LeftOut). path is only for
// messages.
//
// A file is taken for a bookmark file by its content: the document type, or
// (hand-written ones lack it) at least one folder or link inside a <DL>.
// Throws EBookmarkError (Unrecognised) for anything else.
BookmarkCollection ParseHtmlBookmarks(std::string_view html, const std::string& path);

// The same for the file at path, read in pieces and never held whole.
// Throws EBookmarkError also when the file cannot be read (Unreadable) or is
// larger than kMaxBookmarkFileBytes (Unrecognised).
BookmarkCollection ReadHtmlBookmarkFile(const std::string& path);

// The HTML bookmark file of a collection, as browsers write it: UTF-8, with
// the usual header, and "&", "<", ">" and '"' escaped in names and URLs.
// Names that are not valid UTF-8 (a Favorites directory from Windows) are
// read as Windows-1252.
std::string HtmlBookmarkText(const BookmarkNode& root);

// Writes HtmlBookmarkText to a new file at target. An existing target is
// refused unless it is an empty file. Throws EBookmarkError (TargetTaken,
// Unwritable); a failed write leaves no file behind.
void WriteHtmlBookmarkFile(const BookmarkNode& root, const std::string& target);

}  // namespace vornakle
