#include <gtest/gtest.h>

#include "store/Shortcut.h"

namespace vornakle {
namespace {

using namespace std::string_literals;

struct ReadCase {
    const char* name;
    std::string text;
    std::string url;
};

TEST(ShortcutTest, ReadingRule) {
    const ReadCase cases[] = {
        {"plain", "[InternetShortcut]\r\nURL=http://a/\r\n", "http://a/"},
        {"first line in any section wins", "[Other]\r\nURL=x\r\n[InternetShortcut]\r\nURL=y\r\n",
         "x"},
        {"before any section", "URL=x\r\n[InternetShortcut]\r\nURL=y\r\n", "x"},
        {"lower-case key", "url=X\r\n", "X"},
        {"mixed-case key", "[I]\r\nuRl=X", "X"},
        {"blank before the equals sign", "URL =X\r\n", ""},
        {"blank before the key", " URL=X\r\n", ""},
        {"only a base url", "BASEURL=X\r\n", ""},
        {"nothing trimmed", "URL= x \r\n", " x "},
        {"value keeps later equals signs", "URL=http://a/?b=c\r\n", "http://a/?b=c"},
        {"empty value", "URL=\r\nURL=second\r\n", ""},
        {"LF only", "[I]\nBASEURL=b\nURL=lf\n", "lf"},
        {"CR only", "[I]\rBASEURL=b\rURL=cr\r", "cr"},
        {"no line end at the end", "URL=last", "last"},
        {"empty file", "", ""},
        {"key alone", "URL\r\n", ""},
        {"section header not a key", "[URL=x]\r\n", ""},
        {"binary around it", "\0\x01\xff\r\nURL=b\0in\r\n"s, "b\0in"s},
        {"non-UTF-8 bytes", "URL=http://m\xfcnchen.de/\r\n", "http://m\xfcnchen.de/"},
    };
    for (const ReadCase& item : cases) {
        SCOPED_TRACE(item.name);
        EXPECT_EQ(ShortcutUrlFromText(item.text), item.url);
    }
}

TEST(ShortcutTest, LinesEndAtCrLfLfOrCr) {
    const std::vector<std::string> expected = {"a", "b", "", "c", "d"};
    EXPECT_EQ(SplitShortcutLines("a\r\nb\n\nc\rd"), expected);
    EXPECT_EQ(SplitShortcutLines("a\r\n"), std::vector<std::string>{"a"});
    EXPECT_TRUE(SplitShortcutLines("").empty());
}

TEST(ShortcutTest, NewLinkFileCompletesWwwOnly) {
    EXPECT_EQ(CompleteNewLinkUrl("www.example.org"), "http://www.example.org");
    EXPECT_EQ(CompleteNewLinkUrl("WWW.example.org"), "WWW.example.org");
    EXPECT_EQ(CompleteNewLinkUrl("http://www.example.org"), "http://www.example.org");
    EXPECT_EQ(CompleteNewLinkUrl("ww"), "ww");
    EXPECT_EQ(CompleteNewLinkUrl(""), "");

    const std::string text = NewShortcutText(CompleteNewLinkUrl("www.a.de"));
    EXPECT_EQ(
        text,
        "[DEFAULT]\r\nBASEURL=http://www.a.de\r\n[InternetShortcut]\r\nURL=http://www.a.de\r\n");
    EXPECT_EQ(ShortcutUrlFromText(text), "http://www.a.de");
}

struct RewriteCase {
    const char* name;
    std::string text;
    std::string url;
    std::string expected;
};

TEST(ShortcutTest, UrlRewriteRule) {
    const RewriteCase cases[] = {
        {"replaces the first match, key in capitals",
         "[DEFAULT]\r\nBASEURL=old\r\n[InternetShortcut]\r\nurl=old\r\nURL=second\r\n", "new",
         "[DEFAULT]\r\nBASEURL=old\r\n[InternetShortcut]\r\nURL=new\r\nURL=second\r\n"},
        {"appends when there is no URL line", "[InternetShortcut]\nIconIndex=0", "new",
         "[InternetShortcut]\r\nIconIndex=0\r\nURL=new\r\n"},
        {"empty value removes the line", "[I]\r\nURL=old\r\nX=1\r\n", "", "[I]\r\nX=1\r\n"},
        {"empty value and no line adds nothing", "[I]\r\n", "", "[I]\r\n"},
        {"line ends become CR LF", "[I]\rURL=a\nX=1", "b", "[I]\r\nURL=b\r\nX=1\r\n"},
        {"empty file", "", "u", "URL=u\r\n"},
    };
    for (const RewriteCase& item : cases) {
        SCOPED_TRACE(item.name);
        EXPECT_EQ(RewriteShortcutText(item.text, item.url), item.expected);
    }
}

}  // namespace
}  // namespace vornakle
