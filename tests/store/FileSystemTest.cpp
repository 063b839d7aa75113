#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "store/CollectionFile.h"
#include "support/TempTree.h"
#include "support/Unprivileged.h"

namespace vornakle {
namespace {

using testing::TempTree;

TEST(FileSystemTest, ListingOrderIsUpperCasedOrdinal) {
    std::vector<std::string> names = {"b", "_", "A", "a", "Z", "\xc3\xa4", "\xc3\x84x", "10", "9"};
    std::sort(names.begin(), names.end(), NameOrderLess);
    // Digits before letters, '_' after 'Z', "ä" upper-cased to "Ä" after
    // ASCII; equal keys fall back to the bytes.
    const std::vector<std::string> expected = {"10", "9", "A",        "a",        "b",
                                               "Z",  "_", "\xc3\xa4", "\xc3\x84x"};
    EXPECT_EQ(names, expected);
}

TEST(FileSystemTest, ListingReportsKindsAndSkipsDots) {
    TempTree tree;
    tree.WriteFile("file", "x");
    tree.MakeDirectory("dir");
    tree.MakeSymlink(tree.Path("dir"), "dirlink");
    tree.MakeSymlink(tree.Path("file"), "filelink");
    const DirectoryListing listing(tree.Root());
    ASSERT_TRUE(listing.IsOpen());
    ASSERT_EQ(listing.Entries().size(), 4u);
    const auto kindOf = [&](const std::string& name) {
        for (const DirectoryEntry& entry : listing.Entries()) {
            if (entry.name == name) {
                return entry.kind;
            }
        }
        ADD_FAILURE() << name;
        return EntryKind::Other;
    };
    EXPECT_EQ(kindOf("dir"), EntryKind::Directory);
    EXPECT_EQ(kindOf("dirlink"), EntryKind::Other);
    EXPECT_EQ(kindOf("file"), EntryKind::File);
    EXPECT_EQ(kindOf("filelink"), EntryKind::File);
}

TEST(FileSystemTest, ReplaceKeepsPermissionsAndWritesThroughALink) {
    TempTree tree;
    tree.WriteFile("a.url", "old");
    ASSERT_EQ(::chmod(tree.Path("a.url").c_str(), 0600), 0);
    tree.MakeSymlink(tree.Path("a.url"), "link.url");

    ReplaceFileContents(tree.Path("link.url"), "new contents");
    EXPECT_EQ(tree.ReadFile("a.url"), "new contents");
    struct stat status {};
    ASSERT_EQ(::lstat(tree.Path("link.url").c_str(), &status), 0);
    EXPECT_TRUE(S_ISLNK(status.st_mode));
    ASSERT_EQ(::stat(tree.Path("a.url").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0600u);
    // No temporary file is left behind.
    EXPECT_EQ(DirectoryListing(tree.Root()).Entries().size(), 2u);
}

TEST(FileSystemTest, FailedReplaceLeavesTheOriginal) {
    TempTree tree;
    tree.WriteFile("dir/a.url", "original");
    ASSERT_EQ(::chmod(tree.Root().c_str(), 0755), 0);
    ASSERT_EQ(::chmod(tree.Path("dir").c_str(), 0555), 0);
    ASSERT_EQ(::chmod(tree.Path("dir/a.url").c_str(), 0666), 0);
    const int result = testing::RunUnprivileged([&] {
        try {
            ReplaceFileContents(tree.Path("dir/a.url"), "new");
        } catch (const EFileError&) {
            return 0;
        }
        return 1;
    });
    ::chmod(tree.Path("dir").c_str(), 0755);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(tree.ReadFile("dir/a.url"), "original");
    EXPECT_THROW(ReplaceFileContents(tree.Path("missing.url"), "x"), EFileError);
    EXPECT_FALSE(tree.Exists("missing.url"));
}

// Every rewrite of a user's file: who owns it and who may change it, and
// where a symbolic link leads.
TEST(FileSystemTest, CollectionFileRewritesKeepTheOwnerAndRefuseWhatTheyMayNotChange) {
    TempTree tree;
    for (const char* file : {"c/own.url", "c/read-only.url", "c/target.url", "outside.url"}) {
        tree.WriteFile(file, "old");
    }
    const bool root = ::geteuid() == 0;
    ASSERT_EQ(::chmod(tree.Path("c/own.url").c_str(), 0640), 0);
    ASSERT_TRUE(!root || ::chown(tree.Path("c/own.url").c_str(), 65534, 65534) == 0);
    ASSERT_EQ(::chmod(tree.Path("c/read-only.url").c_str(), 0444), 0);
    tree.MakeSymlink("target.url", "c/inside.url");
    tree.MakeSymlink("../outside.url", "c/outside.url");
    // Through each name, the file that changes; none: refused.
    const std::pair<const char*, const char*> cases[] = {{"c/own.url", "c/own.url"},
                                                         {"c/read-only.url", nullptr},
                                                         {"c/inside.url", "c/target.url"},
                                                         {"c/outside.url", nullptr}};
    for (const auto& [through, changed] : cases) {
        SCOPED_TRACE(through);
        try {
            RewriteCollectionFile(tree.Path("c"), tree.Path(through), "new");
            EXPECT_TRUE(changed && tree.ReadFile(changed) == "new");
        } catch (const ERewriteRefused&) {
            EXPECT_EQ(changed, nullptr);
        }
    }
    EXPECT_EQ(tree.ReadFile("c/read-only.url") + tree.ReadFile("outside.url"), "oldold");
    struct stat status {};
    ASSERT_EQ(::stat(tree.Path("c/own.url").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0640u);
    EXPECT_EQ(status.st_uid, root ? 65534u : ::geteuid());
    if (root) {
        // Root's file, writable for all: an unprivileged user could not give
        // the new file back to root.
        for (const char* path : {"", "c", "c/target.url"}) {
            ASSERT_EQ(::chmod(tree.Path(path).c_str(), 0777), 0);
        }
        EXPECT_EQ(testing::RunUnprivileged([&] {
                      try {
                          RewriteCollectionFile(tree.Path("c"), tree.Path("c/target.url"), "x");
                      } catch (const ERewriteRefused&) {
                          return 0;
                      }
                      return 1;
                  }),
                  0);
    }
}

TEST(FileSystemTest, CreateNewFileNeverReplaces) {
    TempTree tree;
    CreateNewFile(tree.Path("a.url"), "first");
    EXPECT_EQ(tree.ReadFile("a.url"), "first");
    EXPECT_THROW(CreateNewFile(tree.Path("a.url"), "second"), EFileError);
    EXPECT_EQ(tree.ReadFile("a.url"), "first");
}

TEST(FileSystemTest, ReadAllStopsAtTheLimit) {
    TempTree tree;
    tree.WriteFile("f", std::string(100, 'x'));
    const UniqueFd file = OpenRegularFile(tree.Path("f"));
    ASSERT_TRUE(file.IsValid());
    EXPECT_EQ(ReadAll(file.Get(), 10, "error").size(), 10u);
    EXPECT_FALSE(OpenRegularFile(tree.Root()).IsValid());
}

}  // namespace
}  // namespace vornakle
