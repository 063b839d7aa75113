// vornakle-convert run in process: each direction, the round trip, and
// every refusal leaving nothing behind.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bookmarks/BookmarkTestSupport.h"
#include "bookmarks/FavoritesDirectory.h"
#include "bookmarks/PlacesDatabase.h"
#include "cli/convert/ConvertProgram.h"
#include "store/Scan.h"
#include "store/Shortcut.h"
#include "support/TempTree.h"

namespace vornakle::testing {
namespace {

struct ConvertRun {
    int ExitCode = -1;
    std::string Output;
    std::string Errors;
};

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

std::string Contents(std::FILE* file) {
    std::rewind(file);
    std::string text;
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
        text.append(buffer, got);
    }
    return text;
}

ConvertRun Convert(const std::vector<std::string>& arguments) {
    const std::unique_ptr<std::FILE, FileCloser> output(std::tmpfile());
    const std::unique_ptr<std::FILE, FileCloser> errors(std::tmpfile());
    ConvertRun run;
    run.ExitCode = RunConvertProgram(arguments, output.get(), errors.get());
    run.Output = Contents(output.get());
    run.Errors = Contents(errors.get());
    return run;
}

std::vector<std::string> Entries(const std::string& directory) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(directory)) {
        names.push_back(std::filesystem::relative(entry.path(), directory).string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(ConvertProgram, FirefoxDatabaseBecomesAFavoritesDirectory) {
    TempTree tree;
    {
        PlacesDatabase places(tree.Path("copy of places"));
        const auto news = places.Folder(PlacesDatabase::kMenu, "News/Daily");
        places.Bookmark(news, "Paper", "https://paper.example/");
        places.Bookmark(news, "Paper", "https://paper2.example/");
        places.Separator(news);
        places.Bookmark(PlacesDatabase::kToolbar, "", "https://untitled.example/");
    }
    const ConvertRun run = Convert({tree.Path("copy of places"), tree.Path("Favorites")});
    EXPECT_EQ(run.ExitCode, 0) << run.Errors;
    EXPECT_EQ(run.Output,
              "vornakle-convert: wrote 3 links in 3 folders to " + tree.Path("Favorites") + "\n");
    EXPECT_EQ(run.Errors,
              "vornakle-convert: 1 place that is not a web link was skipped: 1 separator\n");
    EXPECT_EQ(Entries(tree.Path("Favorites")),
              (std::vector<std::string>{"Bookmarks Menu", "Bookmarks Menu/News-Daily",
                                        "Bookmarks Menu/News-Daily/Paper (2).url",
                                        "Bookmarks Menu/News-Daily/Paper.url", "Bookmarks Toolbar",
                                        "Bookmarks Toolbar/https:--untitled.example-.url"}));
    EXPECT_EQ(tree.ReadFile("Favorites/Bookmarks Menu/News-Daily/Paper (2).url"),
              NewShortcutText("https://paper2.example/"));
}

TEST(ConvertProgram, RoundTripThroughAnHtmlFileAndTheBrowserOption) {
    TempTree tree;
    // Longer than a link may be to be checked, yet a bookmark all the same.
    const std::string longUrl = "http://long.example/" + std::string(kMaxUrlLength + 10, 'q');
    tree.WriteFile("Fav/Long.url", ShortcutText(longUrl));
    tree.WriteFile("Fav/Top & <more>.url", ShortcutText("http://top.example/?a=1&b=2"));
    tree.WriteFile("Fav/Caf\xc3\xa9/Deep/Link.url", ShortcutText("https://deep.example/"));
    tree.MakeDirectory("Fav/Empty");

    const ConvertRun out = Convert({tree.Path("Fav"), tree.Path("export.html")});
    EXPECT_EQ(out.ExitCode, 0) << out.Errors;
    EXPECT_EQ(out.Errors, "");
    EXPECT_NE(tree.ReadFile("export.html").find(longUrl + "\""), std::string::npos);
    const ConvertRun back = Convert({"--", tree.Path("export.html"), tree.Path("Back")});
    EXPECT_EQ(back.ExitCode, 0) << back.Errors;
    EXPECT_EQ(Shape(ReadFavoritesDirectory(tree.Path("Back")).Root),
              Shape(ReadFavoritesDirectory(tree.Path("Fav")).Root));
    EXPECT_EQ(Entries(tree.Path("Back")), Entries(tree.Path("Fav")));

    // Chromium's default profile, found below the configuration directory.
    TempTree home;
    home.WriteFile("config/chromium/Default/Bookmarks",
                   R"({"roots": {"other": {"type": "folder", "name": "Other bookmarks",
                       "children": [{"type": "url", "name": "A", "url": "http://a/"}]}}})");
    const char* savedConfig = std::getenv("XDG_CONFIG_HOME");
    const std::string previous = savedConfig ? savedConfig : "";
    ::setenv("XDG_CONFIG_HOME", home.Path("config").c_str(), 1);
    const ConvertRun browser = Convert({"--browser=chromium", tree.Path("FromChromium")});
    if (savedConfig) {
        ::setenv("XDG_CONFIG_HOME", previous.c_str(), 1);
    } else {
        ::unsetenv("XDG_CONFIG_HOME");
    }
    EXPECT_EQ(browser.ExitCode, 0) << browser.Errors;
    EXPECT_EQ(Entries(tree.Path("FromChromium")),
              (std::vector<std::string>{"Other bookmarks", "Other bookmarks/A.url"}));
}

TEST(ConvertProgram, BadInputEndsWithTwoAndWritesNothing) {
    struct Case {
        const char* Name;
        std::string Source;  // written to the file "source"; empty: none
        std::string Message;
    };
    const std::vector<Case> cases = {
        {"no bookmark file", "<html><body><p>Hello</p></body></html>", "is no bookmark file"},
        {"truncated JSON", R"({"roots": {"other": {"children": [)", "is damaged or cut short"},
        {"corrupt database", std::string("SQLite format 3\0", 16) + std::string(2000, 'x'),
         "is damaged or no SQLite database"},
        {"no bookmarks", "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<DL><p>\n</DL><p>\n",
         "no bookmarks to convert"},
        {"missing source", "", "cannot be read"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.Name);
        TempTree tree;
        if (!test.Source.empty()) {
            tree.WriteFile("source", test.Source);
        }
        const auto before = Entries(tree.Root());
        const ConvertRun run = Convert({tree.Path("source"), tree.Path("Favorites")});
        EXPECT_EQ(run.ExitCode, 2);
        EXPECT_EQ(run.Output, "");
        EXPECT_NE(run.Errors.find(test.Message), std::string::npos) << run.Errors;
        EXPECT_NE(run.Errors.find("nothing was written"), std::string::npos) << run.Errors;
        EXPECT_EQ(Entries(tree.Root()), before);
    }

    TempTree tree;
    tree.WriteFile("Fav/a.url", ShortcutText("http://a/"));
    tree.WriteFile("taken.html", "<p>mine</p>");
    tree.WriteFile("Full/mine.url", ShortcutText("http://mine/"));
    tree.WriteFile("bookmarks.html", "<!DOCTYPE NETSCAPE-Bookmark-file-1><DL><DT><A HREF=x>x</A>");
    const auto before = Entries(tree.Root());
    const std::vector<std::pair<std::vector<std::string>, std::string>> refusals = {
        {{tree.Path("Fav"), tree.Path("taken.html")}, "exists and is not an empty file"},
        {{tree.Path("bookmarks.html"), tree.Path("Full")}, "exists and is not an empty directory"},
        {{tree.Path("Fav")}, "give SOURCE and TARGET"},
        {{"--browser", "opera", tree.Path("x")}, "--browser is firefox, chromium or chrome"},
        {{"--frobnicate", tree.Path("Fav"), tree.Path("x")}, "unknown option"},
        {{tree.Path("Fav"), tree.Path(std::string(300, 'n'))}, ": File name too long"},
    };
    for (const auto& [arguments, message] : refusals) {
        const ConvertRun run = Convert(arguments);
        EXPECT_EQ(run.ExitCode, 2) << message;
        EXPECT_NE(run.Errors.find(message), std::string::npos) << run.Errors;
    }
    EXPECT_EQ(Entries(tree.Root()), before);
    EXPECT_EQ(tree.ReadFile("taken.html"), "<p>mine</p>");
}

// A name no file can carry is written under a safe name and listed; what
// cannot be read is named and counted, the rest written, and the status 2.
TEST(ConvertProgram, OddNamesAreRenamedAndPartsLeftOutAreNamed) {
    TempTree tree;
    tree.WriteFile("odd.json", R"({"roots": {"other": {"type": "folder", "children": [
        {"type": "url", "name": "...", "url": "http://dots/"},
        {"type": "folder", "name": "..", "children": [
            {"type": "url", "name": "in", "url": "http://in/"}]}]}}})");
    const ConvertRun odd = Convert({tree.Path("odd.json"), tree.Path("Odd")});
    EXPECT_EQ(odd.ExitCode, 0) << odd.Errors;
    EXPECT_EQ(odd.Errors,
              "vornakle-convert: folder \"..\" in Other bookmarks is written as \"_..\"\n");
    EXPECT_TRUE(tree.Exists("Odd/Other bookmarks/....url"));

    // A name longer than a file's is cut, said and the status 2.
    const std::string longName = std::string(300, 'n') + "\xc3\xa9";
    tree.WriteFile("long.json", R"({"roots": {"other": {"type": "folder", "children": [
        {"type": "url", "name": ")" +
                                    longName + R"(", "url": "http://long/"}]}}})");
    const ConvertRun cut = Convert({tree.Path("long.json"), tree.Path("Long")});
    EXPECT_EQ(cut.ExitCode, 2);
    EXPECT_EQ(cut.Errors, "vornakle-convert: bookmark \"" + longName +
                              "\" in Other bookmarks is written as \"" + std::string(240, 'n') +
                              "\"\n");
    EXPECT_NE(cut.Output.find("; 1 name shortened"), std::string::npos) << cut.Output;

    std::string deep = "Fav";
    for (int depth = 0; depth <= kMaxFolderDepth; ++depth) {
        deep += "/d";
    }
    tree.WriteFile("Fav/top.url", ShortcutText("http://top/"));
    tree.WriteFile(deep + "/lost.url", ShortcutText("http://lost/"));
    const ConvertRun partial = Convert({tree.Path("Fav"), tree.Path("fav.html")});
    EXPECT_EQ(partial.ExitCode, 2);
    EXPECT_NE(partial.Errors.find("deeper than 400 folders; left out"), std::string::npos)
        << partial.Errors;
    EXPECT_NE(partial.Output.find("; left out: 1 folder nested too deeply\n"), std::string::npos)
        << partial.Output;
    EXPECT_NE(tree.ReadFile("fav.html").find("http://top/"), std::string::npos);
}

}  // namespace
}  // namespace vornakle::testing
