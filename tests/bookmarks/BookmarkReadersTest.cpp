// The readers of browsers' bookmarks, each fed files made the way its
// browser writes them, and every kind of bad input.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <vector>

#include "bookmarks/BookmarkError.h"
#include "bookmarks/BookmarkSource.h"
#include "bookmarks/BookmarkTestSupport.h"
#include "bookmarks/HtmlBookmarks.h"
#include "bookmarks/PlacesDatabase.h"
#include "support/TempTree.h"

namespace vornakle {
namespace {

using testing::PlacesDatabase;
using testing::Shape;
using testing::TempTree;
using Reason = EBookmarkError::Reason;

struct Skips {
    int Queries, Separators, Scripts, TagEntries, Other;
};

void ExpectSkipped(const SkippedPlaces& skipped, const Skips& expected) {
    EXPECT_EQ(skipped.Queries, expected.Queries);
    EXPECT_EQ(skipped.Separators, expected.Separators);
    EXPECT_EQ(skipped.Scripts, expected.Scripts);
    EXPECT_EQ(skipped.TagEntries, expected.TagEntries);
    EXPECT_EQ(skipped.Other, expected.Other);
}

TEST(FirefoxPlaces, RootsFoldersAndOrderAsFirefoxShowsThemWithoutTagsOrQueries) {
    TempTree tree;
    const std::string path = tree.Path("places.sqlite");
    {
        PlacesDatabase places(path);
        const auto news = places.Folder(PlacesDatabase::kMenu, "News");
        places.Bookmark(news, "Paper", "https://paper.example/");
        places.Separator(news);
        places.Bookmark(news, "", "https://untitled.example/", "Page title");
        places.Bookmark(PlacesDatabase::kMenu, "Recent", "place:sort=8&maxResults=10");
        places.Bookmark(PlacesDatabase::kToolbar, "Bookmarklet", "JavaScript:alert(1)");
        places.Bookmark(PlacesDatabase::kToolbar, "Caf\xc3\xa9", "http://cafe.example/");
        places.Bookmark(PlacesDatabase::kUnfiled, "Later", "http://later.example/");
        places.Folder(PlacesDatabase::kUnfiled, "Empty");
        // Tags repeat bookmarks of other folders; they are no entries of
        // their own. The mobile root stays empty and is left out.
        places.Tag("reading", "https://paper.example/");
        places.Tag("reading", "http://later.example/");
        places.Tag("food", "http://cafe.example/");
        // Folders in cycles: no root leads to their bookmarks, counted as lost.
        places.Execute(
            "INSERT INTO moz_bookmarks (id, type, parent, position, title) VALUES "
            "(900, 2, 901, 0, 'A'), (901, 2, 900, 0, 'B'), (902, 2, 903, 0, 'C'), "
            "(903, 2, 902, 0, 'D')");
        places.Bookmark(900, "Lost", "http://lost.example/");
        places.Bookmark(903, "Lost too", "http://lost.example/too");
        // Positions, not the order of the rows, give the order.
        places.Execute("UPDATE moz_bookmarks SET position = 5 - position WHERE parent = " +
                       std::to_string(PlacesDatabase::kUnfiled));
    }
    const BookmarkCollection collection = ReadBookmarkSource(path);
    EXPECT_EQ(Shape(collection.Root),
              "Bookmarks Menu[News[Paper=https://paper.example/ "
              "Page title=https://untitled.example/]] "
              "Bookmarks Toolbar[Caf\xc3\xa9=http://cafe.example/] "
              "Other Bookmarks[Empty[] Later=http://later.example/]");
    ExpectSkipped(collection.Skipped, {1, 1, 1, 3, 0});
    ASSERT_EQ(collection.LeftOut.size(), 1u);
    EXPECT_EQ(collection.LeftOut[0].Bookmarks, 2);
}

TEST(FirefoxPlaces, ReadsWhatARunningFirefoxHoldsLockedAndMidChangeWithoutTouchingIt) {
    // Firefox writes ahead to a log; older profiles keep a rollback journal.
    for (const std::string journalMode : {"wal", "delete"}) {
        SCOPED_TRACE(journalMode);
        TempTree tree;
        const std::string path = tree.Path("places.sqlite");
        PlacesDatabase firefox(path, journalMode);
        firefox.Execute("PRAGMA wal_autocheckpoint = 0; PRAGMA cache_size = 1");
        firefox.Bookmark(PlacesDatabase::kMenu, "Committed", "https://committed.example/");
        // Firefox keeps its connection open with an exclusive lock, and may
        // be half-way through a change, its pages spilled into the file.
        firefox.Execute("PRAGMA locking_mode = EXCLUSIVE; BEGIN IMMEDIATE");
        for (int index = 0; index < 100; ++index) {
            firefox.Bookmark(PlacesDatabase::kToolbar, std::string(500, 'u'),
                             "https://pending.example/" + std::to_string(index));
        }
        std::vector<std::string> before;
        for (const char* file : {"places.sqlite", "places.sqlite-wal", "places.sqlite-journal"}) {
            before.push_back(tree.Exists(file) ? tree.ReadFile(file) : "<none>");
        }
        EXPECT_NE(before[journalMode == "wal" ? 1 : 2], "<none>");

        const BookmarkCollection collection = ReadBookmarkSource(path);
        EXPECT_EQ(Shape(collection.Root), "Bookmarks Menu[Committed=https://committed.example/]");
        std::vector<std::string> after;
        for (const char* file : {"places.sqlite", "places.sqlite-wal", "places.sqlite-journal"}) {
            after.push_back(tree.Exists(file) ? tree.ReadFile(file) : "<none>");
        }
        EXPECT_TRUE(after == before) << "the profile's files must stay as they were";
        firefox.Execute("COMMIT");
    }
}

TEST(ChromiumBookmarks, RootsInOrderNestedFoldersAndSkippedEntries) {
    TempTree tree;
    tree.WriteFile("Bookmarks", R"json({
   "checksum": "0123456789abcdef",
   "roots": {
      "bookmark_bar": {
         "children": [ {
            "children": [ {
               "date_added": "13300000000000000", "id": "6", "name": "Tube",
               "type": "url", "url": "https://tube.example/watch?v=1&t=2"
            } ],
            "date_added": "13300000000000000", "id": "5", "name": "Media \u00e9", "type": "folder"
         }, {
            "id": "7", "name": "Bookmarklet", "type": "url", "url": "javascript:void(0)"
         }, {
            "id": "8", "name": "Top", "type": "url", "url": "https://top.example/"
         } ],
         "id": "1", "name": "Bookmarks bar", "type": "folder"
      },
      "other": { "children": [ { "id": "9", "name": "Odd", "type": "mystery" } ],
                 "id": "2", "name": "", "type": "folder" },
      "synced": { "children": [ { "id": "10", "name": "Phone", "type": "url",
                                  "url": "http://phone.example/" } ],
                  "id": "3", "name": "Mobile bookmarks", "type": "folder" },
      "trash": { "children": [ { "id": "11", "name": "Gone", "type": "url",
                                 "url": "http://gone.example/" } ], "id": "4", "type": "folder" }
   },
   "version": 1
})json");
    const BookmarkCollection collection = ReadBookmarkSource(tree.Path("Bookmarks"));
    EXPECT_EQ(Shape(collection.Root),
              "Bookmarks bar[Media \xc3\xa9[Tube=https://tube.example/watch?v=1&t=2] "
              "Top=https://top.example/] Mobile bookmarks[Phone=http://phone.example/] "
              "trash[Gone=http://gone.example/]");
    ExpectSkipped(collection.Skipped, {0, 0, 1, 0, 1});
}

struct HtmlCase {
    const char* Name;
    const char* Html;
    const char* Shape;
    Skips Skipped;
};

// As Firefox and Chromium export, and as a person might write one by hand.
const std::vector<HtmlCase> kHtmlCases = {
    {"Firefox",
     R"html(<!DOCTYPE NETSCAPE-Bookmark-file-1>
<!-- This is an automatically generated file.
     It will be read and overwritten.
     DO NOT EDIT! -->
<META HTTP-EQUIV="Content-Type" CONTENT="text/html; charset=UTF-8">
<meta http-equiv="Content-Security-Policy"
      content="default-src 'self'; script-src 'none'; img-src data: *; object-src 'none'"></meta>
<TITLE>Bookmarks</TITLE>
<H1>Bookmarks Menu</H1>

<DL><p>
    <DT><H3 ADD_DATE="1700000000" LAST_MODIFIED="1700000001">News &amp; more</H3>
    <DL><p>
        <DT><A HREF="http://a.example/?x=1&amp;y=2" ADD_DATE="1" ICON_URI="fake-favicon-uri:x">A &lt;1&gt;</A>
        <DD>a description
        <HR>
        <DT><A HREF="place:sort=8&maxResults=10">Recent</A>
    </DL><p>
    <DT><H3 ADD_DATE="1" PERSONAL_TOOLBAR_FOLDER="true">Bookmarks Toolbar</H3>
    <DL><p>
        <DT><A HREF="https://b.example/" TAGS="x,y">Caf&eacute; &#8364;</A>
        <DT><A HREF="javascript:alert(1)">Script</A>
    </DL><p>
    <DT><A HREF="https://c.example/">C</A>
</DL>
)html",
     "News & more[A <1>=http://a.example/?x=1&y=2] "
     "Bookmarks Toolbar[Caf\xc3\xa9 \xe2\x82\xac=https://b.example/] C=https://c.example/",
     {1, 1, 1, 0, 0}},
    {"Chromium",
     R"html(<!DOCTYPE NETSCAPE-Bookmark-file-1>
<!-- This is an automatically generated file.
     It will be read and overwritten.
     DO NOT EDIT! -->
<META HTTP-EQUIV="Content-Type" CONTENT="text/html; charset=UTF-8">
<TITLE>Bookmarks</TITLE>
<H1>Bookmarks</H1>
<DL><p>
    <DT><H3 ADD_DATE="1700000000" LAST_MODIFIED="0" PERSONAL_TOOLBAR_FOLDER="true">Bookmarks bar</H3>
    <DL><p>
        <DT><H3 ADD_DATE="1700000000" LAST_MODIFIED="0">Empty</H3>
        <DL><p>
        </DL><p>
        <DT><A HREF="https://tube.example/" ADD_DATE="1700000000" ICON="data:image/png;base64,iVBORw0KGgo=">Tube</A>
    </DL><p>
    <DT><H3 ADD_DATE="1700000000" LAST_MODIFIED="0">Other bookmarks</H3>
    <DL><p>
        <DT><A HREF="http://other.example/" ADD_DATE="1700000000">Other</A>
    </DL><p>
</DL><p>
)html",
     "Bookmarks bar[Empty[] Tube=https://tube.example/] Other "
     "bookmarks[Other=http://other.example/]",
     {0, 0, 0, 0, 0}},
    // No document type, lower case, unquoted and single-quoted attributes,
    // a title over two lines, unclosed lists, a folder without a list, a
    // link without an address, UTF-8 without a charset.
    {"HandWritten",
     R"html(<title>my links</title>
<dl>
<dt><h3>Folder  one</h3>
<dl>
<dt><a href=http://x.example/a?charset=no>Caf€ x</a>
<dt><a href='http://y.example/'>  Y
     link </a>
<dt><a name=anchor>no address</a>
</dl>
<dt><a href="http://z.example/">Z</a>
<dt><h3>Empty</h3>
<dt><h3>Unclosed</h3>
<dl><dt><a href="http://u.example/">U</a>
)html",
     "Folder  one[Caf\xe2\x82\xac x=http://x.example/a?charset=no Y link=http://y.example/] "
     "Z=http://z.example/ Empty[] Unclosed[U=http://u.example/]",
     {0, 0, 0, 0, 1}},
    // An <A> or <H3> never closed ends at the next entry or list, as in
    // browsers' importers; libxml2 would put all that follows into it.
    {"UnclosedEntries",
     R"html(<!DOCTYPE NETSCAPE-Bookmark-file-1>
<DL><p>
    <DT><A HREF="http://first.example/">First
    <DT><H3>Folder
    <DL><p>
        <DT><A HREF="http://inner.example/">Inner</A>
    </DL><p>
    <DT><A HREF="http://last.example/">Last
    <DD>its description
</DL><p>
)html",
     "First=http://first.example/ Folder[Inner=http://inner.example/] Last=http://last.example/",
     {0, 0, 0, 0, 0}},
    // Read-later services list links without <DL>, each list under a heading.
    {"PlainLists",
     R"html(<!DOCTYPE html>
<html><head><title>Export</title></head><body>
<h1>Unread</h1>
<ul>
<li><a href="https://r.example/1" time_added="1700000000" tags="">First read</a></li>
<li><a href="https://r.example/2">https://r.example/2</a><ul><li><a href="https://r.example/n">N</a></ul></li>
</ul>
<h1>Read Archive</h1>
<ul><li><a href="https://r.example/3">Third</a></li></ul>
<ol><li><a href="https://r.example/4">Four</a></li></ol>
</body></html>
)html",
     "Unread[First read=https://r.example/1 https://r.example/2=https://r.example/2 "
     "N=https://r.example/n] Read Archive[Third=https://r.example/3] Four=https://r.example/4",
     {0, 0, 0, 0, 0}},
};

TEST(HtmlBookmarks, FilesAsBrowsersAndPeopleWriteThem) {
    for (const HtmlCase& test : kHtmlCases) {
        SCOPED_TRACE(test.Name);
        TempTree tree;
        // Recognised by content: the names say nothing.
        tree.WriteFile("export.txt", test.Html);
        const BookmarkCollection collection = ReadBookmarkSource(tree.Path("export.txt"));
        EXPECT_EQ(Shape(collection.Root), test.Shape);
        ExpectSkipped(collection.Skipped, test.Skipped);
    }
}

TEST(HtmlBookmarks, LongAndDeepListsLoseNothingUnsaid) {
    // libxml2 nests each unclosed <DT> inside the one before it, so a folder
    // of many links is a very deep document.
    std::string html = "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<DL><p>\n<DT><A HREF=\"http://f/\">";
    // The file is read in pieces of 64 KiB: a UTF-8 sequence across two of
    // them is still UTF-8.
    html += std::string(64 * 1024 - 1 - html.size(), ' ') + "\xc3\xa9</A>\n";
    constexpr int kEntries = 20000;
    for (int index = 0; index < kEntries; ++index) {
        html += "    <DT><A HREF=\"http://e.example/" + std::to_string(index) + "\">e</A>\n";
    }
    html += "</DL><p>\n";
    TempTree tree;
    tree.WriteFile("many.html", html);
    const BookmarkCollection many = ReadBookmarkSource(tree.Path("many.html"));
    ASSERT_EQ(many.Root.Children.size(), static_cast<std::size_t>(kEntries) + 1);
    EXPECT_EQ(many.Root.Children[0].Name, "\xc3\xa9");

    // Lists nested deeper than a folder may go: their bookmarks are counted.
    std::string deep = "<!DOCTYPE NETSCAPE-Bookmark-file-1><DL><DT><A HREF=\"http://top/\">t</A>";
    for (int level = 0; level <= kMaxBookmarkDepth; ++level) {
        deep += "<DT><H3>f</H3><DL>";
    }
    const BookmarkCollection nested = ParseHtmlBookmarks(deep + "<DT><A HREF=x>x</A>", "d.html");
    ASSERT_EQ(nested.LeftOut.size(), 1u);
    EXPECT_EQ(nested.LeftOut[0].Bookmarks, 1);
}

struct BadInputCase {
    const char* Name;
    std::string Bytes;  // empty: the file does not exist
    Reason Expected;
};

TEST(BookmarkSource, BadInputIsRefusedWithItsReason) {
    const std::string sqliteHeader("SQLite format 3\0", 16);
    const std::vector<BadInputCase> cases = {
        {"missing", "", Reason::Unreadable},
        {"corrupt database", sqliteHeader + std::string(4080, '\x7f'), Reason::Damaged},
        {"truncated JSON", R"({"roots": {"bookmark_bar": {"children": [ {"name": "A",)",
         Reason::Damaged},
        {"JSON of something else", R"({"name": "package", "version": "1.0"})",
         Reason::Unrecognised},
        {"an ordinary web page",
         "<html><head><title>Hello</title></head><body><p>See <a href=\"http://x/\">x</a>"
         "</p></body></html>",
         Reason::Unrecognised},
        {"plain text", "just some words\n", Reason::Unrecognised},
        {"empty file", std::string("\n"), Reason::Unrecognised},
    };
    for (const BadInputCase& test : cases) {
        SCOPED_TRACE(test.Name);
        TempTree tree;
        if (!test.Bytes.empty()) {
            tree.WriteFile("input", test.Bytes);
        }
        try {
            ReadBookmarkSource(tree.Path("input"));
            ADD_FAILURE() << "read without complaint";
        } catch (const EBookmarkError& error) {
            EXPECT_EQ(error.Why(), test.Expected) << error.what();
            EXPECT_NE(std::string(error.what()).find(tree.Path("input")), std::string::npos)
                << "the message names the file: " << error.what();
        }
    }
}

TEST(BookmarkSource, DatabasesThatAreNotFirefoxsAreRefused) {
    TempTree tree;
    const std::string path = tree.Path("other.sqlite");
    {
        PlacesDatabase places(path);
        places.Execute("DROP TABLE moz_places");
    }
    try {
        ReadBookmarkSource(path);
        ADD_FAILURE() << "read without complaint";
    } catch (const EBookmarkError& error) {
        EXPECT_EQ(error.Why(), Reason::Unrecognised) << error.what();
    }
    // A database whose pages were damaged after its header.
    {
        PlacesDatabase places(tree.Path("damaged.sqlite"));
        places.Execute("BEGIN");
        for (int index = 0; index < 200; ++index) {
            places.Bookmark(PlacesDatabase::kMenu, "Link",
                            "http://l.example/" + std::to_string(index));
        }
        places.Execute("COMMIT");
    }
    std::string bytes = tree.ReadFile("damaged.sqlite");
    for (std::size_t index = 4096; index < bytes.size(); index += 7) {
        bytes[index] = '\xA5';
    }
    tree.WriteFile("damaged.sqlite", bytes);
    try {
        ReadBookmarkSource(tree.Path("damaged.sqlite"));
        ADD_FAILURE() << "read without complaint";
    } catch (const EBookmarkError& error) {
        EXPECT_EQ(error.Why(), Reason::Damaged) << error.what();
    }
}

}  // namespace
}  // namespace vornakle
