#include "http/ExStringList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vornakle {
namespace {

TExStringList ListOf(const std::vector<std::string>& lines, bool sorted = false) {
    TExStringList list;
    for (const std::string& line : lines) {
        list.Add(line);
    }
    list.SetSorted(sorted);
    return list;
}

std::vector<std::string> LinesOf(const TExStringList& list) {
    std::vector<std::string> lines;
    for (std::int32_t index = 0; index < list.Count(); ++index) {
        lines.push_back(list.Strings(index));
    }
    return lines;
}

struct IndexCase {
    std::vector<std::string> lines;
    std::string name;
    std::int32_t unsortedIndex;
};

TEST(ExStringListIndexOfField, FindsTheFirstFieldOfThatNameInAnyLetterCase) {
    const IndexCase cases[] = {
        {{}, "Host", -1},
        {{"no colon", "still none"}, "no colon", -1},
        {{"GET / HTTP/1.0", "Host: a"}, "Host", 1},
        {{"GET / HTTP/1.0", "Host: a"}, "hOST", 1},
        {{"Host: a", "HOST: b"}, "host", 0},
        {{"Hostname: a"}, "Host", -1},
        {{"Host: a"}, "Hos", -1},
        {{"Accept: x", ": empty name"}, "", 1},
        {{"Cookie: a=b: c"}, "Cookie", 0},
    };
    for (const IndexCase& test : cases) {
        SCOPED_TRACE(test.name);
        EXPECT_EQ(ListOf(test.lines).IndexOfField(test.name), test.unsortedIndex);
    }
}

TEST(ExStringListIndexOfField, SortedListIsSearchedByNameAndAgreesWithALinearSearch) {
    const std::vector<std::string> lines = {
        "User-Agent: u", "Accept: a", "Host: h", "A-B: x", "Cookie: c", "Referer: r", "From: f",
    };
    const TExStringList sorted = ListOf(lines, true);
    // Kept in the order of the names, compared byte by byte: "A-B" comes
    // before "Accept" because "-" is below "c".
    EXPECT_EQ(LinesOf(sorted).front(), "A-B: x");
    for (const std::string name :
         {"user-agent", "ACCEPT", "Host", "a-b", "cookie", "Referer", "from"}) {
        SCOPED_TRACE(name);
        const std::int32_t index = sorted.IndexOfField(name);
        ASSERT_GE(index, 0);
        EXPECT_EQ(
            TExStringList::CompareNames(TExStringList::FieldName(sorted.Strings(index)), name), 0);
    }
    EXPECT_EQ(sorted.IndexOfField("Location"), -1);
    EXPECT_EQ(sorted.IndexOfField("A"), -1);
    EXPECT_EQ(sorted.IndexOfField("Zzz"), -1);
    EXPECT_EQ(ListOf({}, true).IndexOfField("Host"), -1);
}

TEST(ExStringListSetFieldValue, ReplacesInPlaceAddsAtTheEndAndRemovesOnEmpty) {
    TExStringList list = ListOf({"GET / HTTP/1.0", "host: old", "Accept: */*"});
    list.SetFieldValue("Host", "new");
    EXPECT_EQ(LinesOf(list),
              (std::vector<std::string>{"GET / HTTP/1.0", "Host: new", "Accept: */*"}));

    list.SetFieldValue("Cookie", "a=b");
    EXPECT_EQ(list.Strings(3), "Cookie: a=b");

    list.SetFieldValue("Referer", "");
    EXPECT_EQ(list.Count(), 4);

    list.SetFieldValue("HOST", "");
    EXPECT_EQ(LinesOf(list),
              (std::vector<std::string>{"GET / HTTP/1.0", "Accept: */*", "Cookie: a=b"}));
}

TEST(ExStringListSetFieldValue, KeepsASortedListSorted) {
    TExStringList list = ListOf({"Host: h", "Accept: a"}, true);
    list.SetFieldValue("Cookie", "c");
    list.SetFieldValue("accept", "b");
    list.SetFieldValue("Zeta", "z");
    EXPECT_EQ(LinesOf(list),
              (std::vector<std::string>{"accept: b", "Cookie: c", "Host: h", "Zeta: z"}));
    EXPECT_EQ(list.IndexOfField("zeta"), 3);
}

TEST(ExStringList, TextEndsEveryLineWithCrLf) {
    EXPECT_EQ(ListOf({}).Text(), "");
    EXPECT_EQ(ListOf({"a", "", "b: c"}).Text(), "a\r\n\r\nb: c\r\n");
}

}  // namespace
}  // namespace vornakle
