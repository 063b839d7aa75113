// The writers: HTML bookmark files, Favorites directories, and the round
// trip through both.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "bookmarks/BookmarkError.h"
#include "bookmarks/BookmarkTestSupport.h"
#include "bookmarks/FavoritesDirectory.h"
#include "bookmarks/HtmlBookmarks.h"
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
