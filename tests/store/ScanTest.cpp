#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>

#include "platform/Exception.h"
#include "store/Scan.h"
#include "store/Shortcut.h"
#include "support/TempTree.h"
#include "support/Unprivileged.h"

namespace vornakle {
namespace {

using testing::ShortcutText;
using testing::TempTree;

// "name" for a folder, "name=url" for a link: the tree's shape in one line.
std::string Shape(const TBookTree* node) {
    std::string shape;
    for (TTree* raw : node->Children) {
        const auto* child = static_cast<const TBookTree*>(raw);
        if (!shape.empty()) {
            shape += ' ';
        }
        if (child->IsFolder()) {
            shape += LastPathPart(child->Path) + "[" + Shape(child) + "]";
        } else {
            shape += LastPathPart(child->Path) + "=" + child->Text;
        }
    }
    return shape;
}

TBookTreePtr Scan(const std::string& path) {
    TBookTreePtr root(new TBookTree);
    root->Text = "Favoriten";
    ScanDirectory(path, root.get());
    return root;
}

TEST(ScanTest, LinksAreExactlyTheFilesEndingInLowerCaseUrl) {
    TempTree tree;
    tree.WriteFile("a.url", ShortcutText("http://a/"));
    tree.WriteFile("b.URL", ShortcutText("http://b/"));
    tree.WriteFile("c.txt", ShortcutText("http://c/"));
    tree.WriteFile("e.Url", ShortcutText("http://e/"));
    tree.WriteFile("d.url/inner.url", ShortcutText("http://inner/"));
    tree.WriteFile(".url", ShortcutText("http://dot/"));

    const TBookTreePtr root = Scan(tree.Root());
    EXPECT_EQ(Shape(root.get()), ".url=http://dot/ a.url=http://a/ d.url[inner.url=http://inner/]");
    EXPECT_EQ(root->Status, kStatusFolder);
    EXPECT_EQ(root->Path, tree.Root());
    EXPECT_EQ(root->Text, "Favoriten");

    const TBookTree* folder = root->Child(2);
    EXPECT_EQ(folder->Text, "d.url");
    EXPECT_EQ(folder->Path, tree.Path("d.url"));
    const TBookTree* link = folder->Child(0);
    EXPECT_EQ(link->Status, kStatusNotTested);
    EXPECT_EQ(link->Path, tree.Path("d.url/inner.url"));
}

TEST(ScanTest, ListingOrderIsCaseInsensitiveOrdinalAndFoldersInterleave) {
    TempTree tree;
    tree.WriteFile("zeta.url", ShortcutText("z"));
    tree.WriteFile("_under.url", ShortcutText("u"));
    tree.WriteFile("Alpha.url", ShortcutText("a"));
    tree.MakeDirectory("beta");
    tree.WriteFile("Gamma/x.url", ShortcutText("x"));
    tree.MakeDirectory(".hidden/deep");
    tree.WriteFile(".hidden/deep/h.url", ShortcutText("h"));

    const TBookTreePtr root = Scan(tree.Root());
    // '_' sorts after the upper-cased letters, as on NTFS.
    EXPECT_EQ(Shape(root.get()),
              ".hidden[deep[h.url=h]] Alpha.url=a beta[] Gamma[x.url=x] zeta.url=z _under.url=u");
    EXPECT_EQ(root->CountAll(), 9);
}

TEST(ScanTest, OddNamesAndContents) {
    TempTree tree;
    tree.WriteFile("with blanks .url", ShortcutText("b"));
    tree.WriteFile("M\xc3\xbcnchen.url", ShortcutText("umlaut"));
    tree.WriteFile("latin1 \xfc.url", ShortcutText("http://x/\xe4"));
    tree.WriteFile(".leading.url", ShortcutText("lead"));
    tree.WriteFile("empty.url", "");
    tree.WriteFile("binary.url", std::string("\x7f\x45\x4c\x46\0\0\x01\x02\xff\xfe", 10));
    tree.WriteFile("nourl.url", "[InternetShortcut]\r\nIconFile=x\r\n");
    // As long as a URL may be: kept whole.
    const std::string longUrl = "http://long/" + std::string(kMaxUrlLength - 12, 'q');
    tree.WriteFile("long.url", "[I]\r\nURL=" + longUrl + "\r\n");

    const TBookTreePtr root = Scan(tree.Root());
    EXPECT_EQ(root->Count(), 8);
    for (TTree* raw : root->Children) {
        const auto* link = static_cast<const TBookTree*>(raw);
        EXPECT_EQ(link->Status, kStatusNotTested) << link->Path;
        const std::string name = LastPathPart(link->Path);
        if (name == "long.url") {
            EXPECT_EQ(link->Text, longUrl);
        } else if (name == "latin1 \xfc.url") {
            EXPECT_EQ(link->Text, "http://x/\xe4");
        } else if (name == "empty.url" || name == "binary.url" || name == "nourl.url") {
            EXPECT_EQ(link->Text, "") << name;
        }
    }
}

TEST(ScanTest, HugeFileIsReadOnlyUpToItsUrlLine) {
    TempTree tree;
    {
        std::ofstream out(tree.Path("huge.url"), std::ios::binary);
        out << "[InternetShortcut]\r\nURL=http://first/\r\n";
        const std::string block(1024 * 1024, 'x');
        for (int megabyte = 0; megabyte < 50; ++megabyte) {
            out << block;
        }
    }
    {
        // 50 MB without a single line end and no URL line.
        std::ofstream out(tree.Path("nolines.url"), std::ios::binary);
        const std::string block(1024 * 1024, '\0');
        for (int megabyte = 0; megabyte < 50; ++megabyte) {
            out << block;
        }
    }
    {
        // A "URL" of 50 MB: read no further than one byte past the longest
        // URL, so that the check can tell it is too long.
        std::ofstream out(tree.Path("longurl.url"), std::ios::binary);
        out << "URL=";
        const std::string block(1024 * 1024, 'u');
        for (int megabyte = 0; megabyte < 50; ++megabyte) {
            out << block;
        }
    }
    const TBookTreePtr root = Scan(tree.Root());
    ASSERT_EQ(root->Children.size(), 3u);
    EXPECT_EQ(root->Child(0)->Text, "http://first/");
    EXPECT_EQ(root->Child(1)->Text, std::string(kMaxUrlLength + 1, 'u'));
    EXPECT_EQ(root->Child(2)->Text, "");
}

// The scan reads files in chunks and stops at the URL line; it must find
// exactly what the whole-text reading rule finds, wherever the chunks split.
TEST(ScanTest, StreamedReadAgreesWithTheReadingRule) {
    TempTree tree;
    std::uint32_t seed = 12345;
    const auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) & 0x7fff;
    };
    const char* const pieces[] = {"URL=", "url=",      "uRL",     "=",   "\r", "\n",  "\r\n", "[I]",
                                  "x",    "BASEURL=b", " URL=no", "NUL", "U",  "RL=", "\xff"};
    for (int round = 0; round < 300; ++round) {
        std::string text;
        // Some texts are padded so their URL line straddles a chunk border.
        if (round % 3 == 0) {
            text.assign(16 * 1024 - 3 - next() % 4, 'p');
            text += '\n';
        }
        const int count = static_cast<int>(next() % 40);
        for (int piece = 0; piece < count; ++piece) {
            const char* chosen = pieces[next() % std::size(pieces)];
            text += std::string_view(chosen) == "NUL" ? std::string(1, '\0') : std::string(chosen);
        }
        tree.WriteFile("f.url", text);
        ASSERT_EQ(ReadShortcutUrl(tree.Path("f.url")), ShortcutUrlFromText(text)) << round;
    }
}

TEST(ScanTest, SymbolicLinksToDirectoriesAreNotFollowed) {
    TempTree tree;
    tree.WriteFile("real/a.url", ShortcutText("a"));
    tree.MakeSymlink(tree.Path("real"), "real/loop");
    tree.MakeSymlink(tree.Root(), "up");
    tree.MakeSymlink(tree.Path("real/a.url"), "linked.url");
    tree.MakeSymlink(tree.Path("missing"), "dangling.url");

    const TBookTreePtr root = Scan(tree.Root());
    EXPECT_EQ(Shape(root.get()), "linked.url=a real[a.url=a]");
}

TEST(ScanTest, PipeNamedLikeALinkIsIgnoredWithoutBlocking) {
    TempTree tree;
    ASSERT_EQ(::mkfifo(tree.Path("pipe.url").c_str(), 0644), 0);
    tree.WriteFile("a.url", ShortcutText("a"));
    const TBookTreePtr root = Scan(tree.Root());
    EXPECT_EQ(Shape(root.get()), "a.url=a");
}

TEST(ScanTest, DirectoryPathThatDoesNotExistGivesAnEmptyRoot) {
    TempTree tree;
    const TBookTreePtr root = Scan(tree.Path("missing"));
    EXPECT_EQ(root->Count(), 0);
    EXPECT_EQ(root->Path, tree.Path("missing"));
}

// Permission cases run in a child process that is not root: root may read
// everything.
TEST(ScanTest, UnreadableDirectoryIsAnEmptyFolder) {
    TempTree tree;
    tree.WriteFile("open/a.url", ShortcutText("a"));
    tree.WriteFile("closed/b.url", ShortcutText("b"));
    ASSERT_EQ(::chmod(tree.Root().c_str(), 0755), 0);
    ASSERT_EQ(::chmod(tree.Path("open").c_str(), 0755), 0);
    ASSERT_EQ(::chmod(tree.Path("open/a.url").c_str(), 0644), 0);
    ASSERT_EQ(::chmod(tree.Path("closed").c_str(), 0), 0);

    const int result = testing::RunUnprivileged([&] {
        TBookTreePtr root(new TBookTree);
        const std::vector<ScanProblem> problems = ScanDirectory(tree.Root(), root.get());
        if (problems.size() != 1 || problems[0].What != ScanProblem::Kind::UnlistableFolder ||
            problems[0].Path != tree.Path("closed")) {
            return 2;
        }
        return Shape(root.get()) == "closed[] open[a.url=a]" ? 0 : 1;
    });
    ::chmod(tree.Path("closed").c_str(), 0755);
    EXPECT_EQ(result, 0);
}

// The desktop program's scan stops at it; the checker's collects it.
TEST(ScanTest, UnreadableLinkFileStopsTheScanOrIsCollected) {
    TempTree tree;
    tree.WriteFile("a.url", ShortcutText("a"));
    tree.WriteFile("b.url", ShortcutText("b"));
    tree.WriteFile("c/c.url", ShortcutText("c"));
    ASSERT_EQ(::chmod(tree.Root().c_str(), 0755), 0);
    ASSERT_EQ(::chmod(tree.Path("a.url").c_str(), 0644), 0);
    ASSERT_EQ(::chmod(tree.Path("b.url").c_str(), 0), 0);

    const std::string expected = "Datei " + tree.Path("b.url") + " kann nicht geöffnet werden";
    const int result = testing::RunUnprivileged([&] {
        TBookTreePtr root(new TBookTree);
        try {
            ScanDirectory(tree.Root(), root.get());
        } catch (const EFileError& error) {
            if (error.what() != expected) {
                return 2;
            }
            if (Shape(root.get()) != "a.url=a") {
                return 3;
            }
            TBookTreePtr collected(new TBookTree);
            const std::vector<ScanProblem> problems =
                ScanDirectory(tree.Root(), collected.get(), UnreadableLinks::Collect);
            if (problems.size() != 1 || problems[0].What != ScanProblem::Kind::UnreadableLink ||
                problems[0].Path != tree.Path("b.url")) {
                return 4;
            }
            return Shape(collected.get()) == "a.url=a b.url= c[c.url=c]" ? 0 : 5;
        }
        return 1;
    });
    EXPECT_EQ(result, 0);
}

TEST(ScanTest, DeepNestStopsAtTheDepthLimit) {
    TempTree tree;
    std::string relative = "d";
    for (int depth = 1; depth < kMaxFolderDepth + 5; ++depth) {
        relative += "/d";
    }
    tree.MakeDirectory(relative);
    TBookTreePtr root(new TBookTree);
    const std::vector<ScanProblem> problems = ScanDirectory(tree.Root(), root.get());
    EXPECT_EQ(root->CountAll(), kMaxFolderDepth + 1);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].What, ScanProblem::Kind::TooDeep);
}

}  // namespace
}  // namespace vornakle
