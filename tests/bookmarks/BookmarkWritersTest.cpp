// The writers: HTML bookmark files, Favorites directories, and the round
// trip through both.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <vector>

#include "bookmarks/BookmarkEdits.h"
#include "bookmarks/BookmarkError.h"
#include "bookmarks/BookmarkSource.h"
#include "bookmarks/BookmarkTestSupport.h"
#include "bookmarks/FavoritesDirectory.h"
#include "bookmarks/HtmlBookmarks.h"
#include "bookmarks/PlacesDatabase.h"
#include "bookmarks/PlacesHash.h"
#include "store/Shortcut.h"
#include "support/TempTree.h"

namespace vornakle {
namespace {

using testing::Shape;
using testing::ShortcutText;
using testing::TempTree;
using Reason = EBookmarkError::Reason;

std::vector<std::string> Listing(const std::string& directory) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(directory)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(FavoritesEntryName, NamesBecomeFileNamesOrSafeNames) {
    const std::string longName = std::string(kMaxEntryNameBytes - 1, 'x') + "\xc3\xa9";
    struct Case {
        BookmarkNode Node;
        std::string Expected;
        bool MadeSafe;
    };
    const std::vector<Case> cases = {
        {BookmarkNode::Bookmark("AC/DC", "http://a/"), "AC-DC", false},
        {BookmarkNode::Bookmark(std::string("a\tb\nc\0d", 7), "http://a/"), "a b cd", false},
        {BookmarkNode::Bookmark("", "http://a.example/x"), "http:--a.example-x", false},
        // A link's file is its name and ".url": "...url", "....url".
        {BookmarkNode::Bookmark("..", "http://a/"), "..", false},
        {BookmarkNode::Bookmark("...", "http://a/"), "...", false},
        {BookmarkNode::Bookmark("./..//", "http://a/"), ".-..--", false},
        {BookmarkNode::Bookmark(".hidden", "http://a/"), ".hidden", false},
        {BookmarkNode::Bookmark("", ""), "_", true},
        {BookmarkNode::Folder(""), "_", true},
        {BookmarkNode::Folder("."), "_.", true},
        {BookmarkNode::Folder(".."), "_..", true},
        {BookmarkNode::Folder("..."), "...", false},
        // Cut before a UTF-8 sequence that would not fit whole, and listed;
        // a URL standing in for a missing name loses nothing when cut.
        {BookmarkNode::Folder(longName), std::string(kMaxEntryNameBytes - 1, 'x'), true},
        {BookmarkNode::Bookmark("", "h://" + longName), "h:--" + longName.substr(0, 236), false},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.Node.Name);
        const EntryFileName name = FavoritesEntryName(test.Node);
        EXPECT_EQ(name.Name, test.Expected);
        EXPECT_EQ(name.MadeSafe, test.MadeSafe);
    }
}

BookmarkNode SampleCollection() {
    BookmarkNode root = BookmarkNode::Folder("");
    BookmarkNode news = BookmarkNode::Folder("News");
    news.Children.push_back(BookmarkNode::Bookmark("Paper", "https://paper.example/"));
    news.Children.push_back(BookmarkNode::Bookmark("Paper", "https://other-paper.example/"));
    news.Children.push_back(BookmarkNode::Bookmark("paper", "https://third.example/"));
    root.Children.push_back(std::move(news));
    root.Children.push_back(BookmarkNode::Folder("News"));
    root.Children.push_back(BookmarkNode::Bookmark("News", "http://news.example/"));
    root.Children.push_back(BookmarkNode::Bookmark("Line", "http://a.example/\r\nURL=http://b/"));
    return root;
}

TEST(WriteFavoritesDirectory, OneShortcutPerBookmarkAndTakenNamesNumbered) {
    TempTree tree;
    const std::string target = tree.Path("Favorites");
    const WrittenCounts counts = WriteFavoritesDirectory(SampleCollection(), target);
    EXPECT_EQ(counts.Folders, 2);
    EXPECT_EQ(counts.Bookmarks, 5);
    EXPECT_EQ(Listing(target),
              (std::vector<std::string>{"Line.url", "News", "News (2)", "News.url"}));
    EXPECT_EQ(Listing(target + "/News"),
              (std::vector<std::string>{"Paper (2).url", "Paper.url", "paper.url"}));
    EXPECT_EQ(tree.ReadFile("Favorites/News/Paper (2).url"),
              NewShortcutText("https://other-paper.example/"));
    // A line break in an address would add lines of its own to the file.
    EXPECT_EQ(tree.ReadFile("Favorites/Line.url"),
              NewShortcutText("http://a.example/URL=http://b/"));
    EXPECT_EQ(Listing(tree.Root()), std::vector<std::string>{"Favorites"});
}

TEST(WriteFavoritesDirectory, TargetsThatAreTakenAreRefusedWritingNothing) {
    TempTree tree;
    tree.WriteFile("full/keep.url", ShortcutText("http://keep/"));
    tree.WriteFile("file", "x");
    tree.MakeSymlink("nowhere", "dangling");
    for (const char* taken : {"full", "file", "dangling"}) {
        SCOPED_TRACE(taken);
        try {
            WriteFavoritesDirectory(SampleCollection(), tree.Path(taken));
            ADD_FAILURE() << "written";
        } catch (const EBookmarkError& error) {
            EXPECT_EQ(error.Why(), Reason::TargetTaken) << error.what();
        }
    }
    EXPECT_EQ(Listing(tree.Root()), (std::vector<std::string>{"dangling", "file", "full"}));
    EXPECT_EQ(tree.ReadFile("full/keep.url"), ShortcutText("http://keep/"));
}

TEST(WriteFavoritesDirectory, AnEmptyTargetIsFilledKeepingItsPermissionsAndLinksToIt) {
    TempTree tree;
    tree.MakeDirectory("real");
    ASSERT_EQ(::chmod(tree.Path("real").c_str(), 0750), 0);
    tree.MakeSymlink("real", "link");
    WriteFavoritesDirectory(SampleCollection(), tree.Path("link") + "/");
    EXPECT_TRUE(std::filesystem::is_symlink(tree.Path("link")));
    EXPECT_TRUE(tree.Exists("real/News/Paper.url"));
    struct stat status {};
    ASSERT_EQ(::stat(tree.Path("real").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0750u);
    EXPECT_EQ(Listing(tree.Root()), (std::vector<std::string>{"link", "real"}));
}

TEST(HtmlBookmarkText, EscapesWhatHtmlWouldReadAsMarkup) {
    BookmarkNode root = BookmarkNode::Folder("");
    BookmarkNode folder = BookmarkNode::Folder("R&D <\"lab\">");
    folder.Children.push_back(BookmarkNode::Bookmark("Caf\xe9", "http://x/?a=1&b=\"2\"<3>"));
    root.Children.push_back(std::move(folder));
    EXPECT_EQ(HtmlBookmarkText(root),
              "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n"
              "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=UTF-8\">\n"
              "<TITLE>Bookmarks</TITLE>\n"
              "<H1>Bookmarks</H1>\n"
              "<DL><p>\n"
              "    <DT><H3>R&amp;D &lt;&quot;lab&quot;&gt;</H3>\n"
              "    <DL><p>\n"
              "        <DT><A HREF=\"http://x/?a=1&amp;b=&quot;2&quot;&lt;3&gt;\">Caf\xc3\xa9</A>\n"
              "    </DL><p>\n"
              "</DL><p>\n");
}

TEST(RoundTrip, DirectoryToHtmlToDirectoryKeepsNamesFoldersAndUrls) {
    TempTree tree;
    tree.WriteFile("Fav/Top.url", ShortcutText("http://top.example/"));
    tree.WriteFile("Fav/R&D <lab> \"x\"/Caf\xc3\xa9  two  spaces.url",
                   ShortcutText("http://x.example/?a=1&b=<2>"));
    tree.WriteFile("Fav/R&D <lab> \"x\"/Deeper/.hidden.url", ShortcutText("https://h.example/"));
    tree.WriteFile("Fav/R&D <lab> \"x\"/No URL.url", "[InternetShortcut]\r\n");
    tree.MakeDirectory("Fav/Empty");
    tree.WriteFile("Fav/not a link.txt", "URL=http://no/\r\n");

    const BookmarkCollection first = ReadFavoritesDirectory(tree.Path("Fav"));
    WriteHtmlBookmarkFile(first.Root, tree.Path("bookmarks.html"));
    const BookmarkCollection fromHtml =
        ParseHtmlBookmarks(tree.ReadFile("bookmarks.html"), "bookmarks.html");
    WriteFavoritesDirectory(fromHtml.Root, tree.Path("Back"));
    const BookmarkCollection back = ReadFavoritesDirectory(tree.Path("Back"));

    const std::string shape = Shape(first.Root);
    EXPECT_NE(shape.find("Deeper[.hidden=https://h.example/]"), std::string::npos) << shape;
    EXPECT_EQ(Shape(fromHtml.Root), shape);
    // A shortcut without an address has none in the file either; it comes
    // back as the link it was, named as it was.
    EXPECT_EQ(Shape(back.Root), shape);
    EXPECT_EQ(fromHtml.Skipped.Total(), 0);

    // An HTML target is never replaced.
    try {
        WriteHtmlBookmarkFile(first.Root, tree.Path("bookmarks.html"));
        ADD_FAILURE() << "replaced";
    } catch (const EBookmarkError& error) {
        EXPECT_EQ(error.Why(), Reason::TargetTaken);
    }
}

}  // namespace
}  // namespace vornakle

namespace vornakle {
namespace {

// The url_hash Firefox ESR 153 stored for these addresses in a profile it
// made: a wrong one hides a changed bookmark from Firefox for good.
TEST(PlacesUrlHash, AsFirefoxStoresIt) {
    const std::pair<const char*, std::uint64_t> known[] = {
        {"http://127.0.0.1:9/old", 125511573746108U},
        {"https://example.com/d%C3%A9j%C3%A0?q=1#x", 47360104331435U},
        {"http://127.0.0.1:9/dead", 125508151169294U},
        {"http://127.0.0.1:8765/old", 125509273174844U},
    };
    for (const auto& [url, hash] : known) {
        EXPECT_EQ(PlacesUrlHash(url), hash) << url;
    }
}

}  // namespace
}  // namespace vornakle

namespace vornakle {
namespace {

using testing::PlacesDatabase;
using testing::Shape;
using testing::TempTree;

// What each store cannot carry is refused, edit by edit; the rest is made.
TEST(EditBookmarkStore, EachStoreMakesWhatItCanCarryAndRefusesTheRest) {
    using Outcome = EditOutcome;
    struct Case {
        const char* name;
        std::function<void(const std::string& path)> make;
        std::vector<BookmarkEdit> edits;
        std::vector<Outcome> outcomes;
        std::string after;  // the shape read back
    };
    const auto file = [](std::string text) {
        return [text](const std::string& path) { std::ofstream(path) << text; };
    };
    const std::string html =
        "<DL><p>\n<DT><A HREF='http://a/?x=1&amp;y=2'>A</A>\n<DT><A HREF=http://b/>B</A> "
        "<DT><A HREF=\"http://c/\">C</A>\n<!-- <DT><A HREF=\"http://a/?x=1&y=2\">no</A> -->\n"
        "</DL><p>\n";
    const Case cases[] = {
        {"HTML: quoted and unquoted values; an entry sharing its line stays",
         file(html),
         {{"0", "http://a/?x=1&y=2", "http://a/new?x=\"1\"", false},
          {"0", "http://b/", "http://b/new", false},
          {"0", "http://c/", "", true},
          {"1", "http://b/", "http://b/2", false}},
         {Outcome::Applied, Outcome::Applied, Outcome::Refused, Outcome::ChangedSinceRead},
         "A=http://a/new?x=\"1\" B=http://b/new C=http://c/"},
        {"Chromium: a profile that syncs is left alone",
         file(R"({"sync_metadata": "CgQ=", "roots": {"bookmark_bar": {"id": "1", "type": )"
              R"("folder", "children": [{"id": "4", "type": "url", "name": "A", "url": )"
              R"("http://a/"}]}}})"),
         {{"bookmark_bar/0", "http://a/", "http://a/new", false}},
         {Outcome::Refused},
         "Bookmarks bar[A=http://a/]"},
        {"Firefox: an address with tags keeps them; places are shared, positions whole",
         [](const std::string& path) {
             PlacesDatabase places(path);
             places.Bookmark(PlacesDatabase::kMenu, "A", "http://a/");
             places.Bookmark(PlacesDatabase::kMenu, "B", "http://b/");
             places.Bookmark(PlacesDatabase::kMenu, "C", "http://c/");
             places.Bookmark(PlacesDatabase::kToolbar, "T", "http://t/");
             places.Tag("news", "http://t/");
         },
         {{"7", "http://a/", "", true},
          {"8", "http://b/", "http://c/", false},
          {"9", "http://c/", "", true},
          {"10", "http://t/", "http://t/new", false},
          {"7", "http://b/", "", true}},
         {Outcome::Applied, Outcome::Applied, Outcome::Applied, Outcome::Refused,
          Outcome::ChangedSinceRead},
         "Bookmarks Menu[B=http://c/ Aside[A=http://a/ C=http://c/]] "
         "Bookmarks Toolbar[T=http://t/]"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        TempTree tree;
        const std::string path = tree.Path("store");
        test.make(path);
        const StoreEditRun run = EditBookmarkStore(path, test.edits, "Aside");
        ASSERT_EQ(run.Results.size(), test.outcomes.size());
        for (std::size_t index = 0; index < test.outcomes.size(); ++index) {
            EXPECT_EQ(run.Results[index].Outcome, test.outcomes[index]) << index;
        }
        EXPECT_EQ(Shape(ReadBookmarkFileSource(path).Root), test.after);
    }
    // The HTML file's other bytes stay.
    TempTree tree;
    std::ofstream(tree.Path("store")) << html;
    EditBookmarkStore(tree.Path("store"), {{"0", "http://b/", "http://b/new", false}}, "Aside");
    std::string expected = html;
    expected.replace(expected.find("http://b/>"), 9, "\"http://b/new\"");
    EXPECT_EQ(tree.ReadFile("store"), expected);
}

}  // namespace
}  // namespace vornakle
