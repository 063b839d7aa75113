#include <gtest/gtest.h>

#include "platform/Exception.h"
#include "store/BookTree.h"

namespace vornakle {
namespace {

// Counts destructions so tests can tell which nodes were freed.
struct CountedNode : TBookTree {
    explicit CountedNode(int* destroyed) : destroyed_(destroyed) {}
    ~CountedNode() override { ++*destroyed_; }
    void NewNode(TTree*& Node) const override { Node = new CountedNode(destroyed_); }
    int* destroyed_;
};

TEST(TreeTest, AddNodeMakesNodesOfTheParentsKind) {
    TBookTreePtr root(new TBookTree);
    TBookTree* child = root->AddNode(nullptr);
    EXPECT_EQ(child->Parent, root.get());
    EXPECT_EQ(child->Status, kStatusFolder);
    EXPECT_TRUE(child->Text.empty());
    EXPECT_TRUE(child->Path.empty());
    EXPECT_EQ(root->Count(), 1);

    TTree* plain = new TTree;
    const TTree* plainChild = plain->AddChild("x");
    EXPECT_EQ(typeid(*plainChild), typeid(TTree));
    plain->Delete(ChildNodes::Free);
}

TEST(TreeTest, AddNodeMovesBetweenParentsAndToTheEnd) {
    TBookTreePtr root(new TBookTree);
    TBookTree* a = root->AddChild("a");
    TBookTree* b = root->AddChild("b");
    TBookTree* c = root->AddChild("c");
    root->AddNode(a);  // already a child: moves to the end
    ASSERT_EQ(root->Count(), 3);
    EXPECT_EQ(root->Child(0), b);
    EXPECT_EQ(root->Child(1), c);
    EXPECT_EQ(root->Child(2), a);

    b->AddNode(c);
    EXPECT_EQ(root->Count(), 2);
    EXPECT_EQ(c->Parent, b);
    EXPECT_EQ(b->Child(0), c);
}

TEST(TreeTest, ChildOutsideTheListRaisesTheIndexError) {
    TBookTreePtr root(new TBookTree);
    root->AddChild("only");
    EXPECT_THROW(root->Child(1), EListError);
    EXPECT_THROW(root->Child(-1), EListError);
}

TEST(TreeTest, TypedAccessRejectsAForeignNode) {
    TBookTreePtr root(new TBookTree);
    root->TTree::AddNode(new TTree);
    EXPECT_THROW(root->Child(0), EInvalidCast);
}

TEST(TreeTest, RecursiveDeleteFreesTheSubtreeAndKeepsSiblingOrder) {
    int destroyed = 0;
    auto* root = new CountedNode(&destroyed);
    TBookTree* first = root->AddChild("first");
    TBookTree* folder = root->AddChild("folder");
    TBookTree* last = root->AddChild("last");
    folder->AddChild("x")->AddChild("y");
    folder->AddChild("z");

    folder->Delete(ChildNodes::Free);
    EXPECT_EQ(destroyed, 4);
    ASSERT_EQ(root->Count(), 2);
    EXPECT_EQ(root->Child(0), first);
    EXPECT_EQ(root->Child(1), last);

    root->Delete(ChildNodes::Free);
    EXPECT_EQ(destroyed, 7);
}

TEST(TreeTest, ShallowDeleteDetachesTheChildren) {
    int destroyed = 0;
    auto* root = new CountedNode(&destroyed);
    TBookTree* folder = root->AddChild("folder");
    TBookTree* kept = folder->AddChild("kept");
    folder->Delete(ChildNodes::Keep);
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(kept->Parent, nullptr);
    EXPECT_EQ(root->Count(), 0);
    kept->Delete(ChildNodes::Free);
    root->Delete(ChildNodes::Free);
    EXPECT_EQ(destroyed, 3);
}

TEST(TreeTest, CountAllCountsFoldersAndLinksBelow) {
    TBookTreePtr root(new TBookTree);
    EXPECT_EQ(root->CountAll(), 0);
    for (const char* name : {"one", "two"}) {
        TBookTree* folder = root->AddChild(name);
        for (int link = 0; link < 3; ++link) {
            folder->AddChild("http://x/")->Status = kStatusNotTested;
        }
    }
    root->AddChild("http://top/")->Status = kStatusNotTested;
    EXPECT_EQ(root->CountAll(), 9);
}

TEST(TreeTest, RebasePathRewritesTheWholeSubtree) {
    TBookTreePtr root(new TBookTree);
    root->Path = "/fav";
    TBookTree* news = root->AddChild("News");
    news->Path = "/fav/News";
    TBookTree* sport = news->AddChild("Sport");
    sport->Path = "/fav/News/Sport";
    TBookTree* club = sport->AddChild("http://club/");
    club->Status = kStatusNotTested;
    club->Path = "/fav/News/Sport/Club.url";

    sport->RebasePath("/fav/Archive");
    EXPECT_EQ(sport->Path, "/fav/Archive/Sport");
    EXPECT_EQ(club->Path, "/fav/Archive/Sport/Club.url");
    EXPECT_EQ(sport->Text, "Sport");
    EXPECT_EQ(news->Path, "/fav/News");

    club->RebasePath("/elsewhere");
    EXPECT_EQ(club->Path, "/elsewhere/Club.url");
    EXPECT_EQ(sport->Path, "/fav/Archive/Sport");
}

TEST(TreeTest, ReplacePathHeadUsesOnePositionForTheSubtree) {
    TBookTreePtr folder(new TBookTree);
    folder->Path = "/a/old/f";
    TBookTree* link = folder->AddChild("u");
    link->Path = "/a/old/f/l.url";
    folder->ReplacePathHead("/b/new", 7);  // keeps "/f..." from position 7
    EXPECT_EQ(folder->Path, "/b/new/f");
    EXPECT_EQ(link->Path, "/b/new/f/l.url");
}

TEST(TreeTest, LastPathPart) {
    EXPECT_EQ(LastPathPart("/fav/News"), "News");
    EXPECT_EQ(LastPathPart("/fav/News/"), "");
    EXPECT_EQ(LastPathPart("News"), "News");
    EXPECT_EQ(LastPathPart(""), "");
}

}  // namespace
}  // namespace vornakle
