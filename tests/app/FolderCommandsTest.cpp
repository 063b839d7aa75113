#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMimeData>
#include <QTest>
#include <filesystem>
#include <set>

#include "MainFormFixture.h"
#include "platform/Collation.h"
#include "platform/TextDecoding.h"
#include "platform/Trash.h"
#include "store/widgets/BookTreeView.h"
#include "support/ShownLinks.h"

namespace vornakle::testing {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

const QString kDirectoryExists = QStringLiteral("Dieses Verzeichnis existiert bereits!");
const QString kInvalidName = QStringLiteral(
    "Ein Verzeichnisname darf kein \"/\" enthalten und nicht \".\" oder \"..\" lauten!");
const QString kLinkNameTaken =
    QStringLiteral("Es befindet sich bereits eine Datei\rmit dem selben Namen im Zielverzeichnis!");
const QString kFolderNameTaken = QStringLiteral(
    "Es befindet sich bereits ein Verzeichnis oder eine Datei\rmit dem selben Namen im "
    "Zielverzeichnis!");
const QString kIntoItself = QStringLiteral(
    "Ein Verzeichnis kann nicht in sich selbst oder in eines seiner Unterverzeichnisse "
    "verschoben werden!");
const QString kDeleteQuestion = QStringLiteral("Möchten sie wirklich diese Verzeichnis Löschen?");

// The main window with a trash of its own, and the check that the folder
// tree, its view and the disk tell the same story.
class FolderCommandsTest : public MainFormFixture {
protected:
    FolderCommandsTest() : savedDataHome_(qgetenv("XDG_DATA_HOME")) {
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString(data_.Root()));
        dialogs_->SetUnexpectedHandler([](const DialogQuestion& question) {
            ADD_FAILURE() << "unexpected question: " << question.text.toStdString();
        });
    }
    ~FolderCommandsTest() override {
        if (savedDataHome_.isNull()) {
            qunsetenv("XDG_DATA_HOME");
        } else {
            qputenv("XDG_DATA_HOME", savedDataHome_);
        }
    }

    // The item reached from the root by captions, "News/Sport"; the root
    // for "".
    QTreeWidgetItem* Folder(const std::string& captions) const {
        QTreeWidgetItem* item = Tree()->topLevelItem(0);
        std::size_t start = 0;
        while (item != nullptr && start < captions.size()) {
            const std::size_t end = std::min(captions.find('/', start), captions.size());
            const QString caption = QString::fromStdString(captions.substr(start, end - start));
            QTreeWidgetItem* found = nullptr;
            for (int index = 0; index < item->childCount(); ++index) {
                if (item->child(index)->text(0) == caption) {
                    found = item->child(index);
                }
            }
            item = found;
            start = end + 1;
        }
        return item;
    }

    void Select(const std::string& captions) {
        QTreeWidgetItem* item = Folder(captions);
        ASSERT_NE(item, nullptr) << captions;
        Tree()->setCurrentItem(item);
    }

    void SelectLink(const std::string& caption) {
        const Strings captions = Captions();
        const auto found = std::find(captions.begin(), captions.end(), caption);
        ASSERT_NE(found, captions.end()) << caption;
        List()->setCurrentIndex(Items()->index(static_cast<int>(found - captions.begin()), 0));
    }

    QPoint PointOf(const std::string& captions) const {
        return Tree()->visualItemRect(Folder(captions)).center();
    }

    void Trigger(const char* action) {
        Form().findChild<QAction*>(QString::fromUtf8(action))->trigger();
    }

    QLineEdit* Editor() const { return Tree()->findChild<QLineEdit*>(); }

    // Types text into the open in-place editor and ends it with key.
    void FinishEdit(const QString& text, Qt::Key key) {
        QLineEdit* editor = Editor();
        ASSERT_NE(editor, nullptr);
        editor->setText(text);
        QTest::keyClick(editor, key);
        QApplication::processEvents();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(Editor(), nullptr) << "the editor is still open";
    }

    std::vector<QString> Messages() const { return dialogs_->Texts(DialogKind::Message); }

    // Tree and disk agree: every item carries a folder node, every folder
    // node below the root has exactly one item, captions are the directory
    // names, each node's Path is its parent's plus its own name, the
    // folders and ".url" files of every directory are exactly the node's
    // children, all folders are expanded, and the list shows the selected
    // folder's links.
    void ExpectTreeMatchesDisk() {
        ASSERT_EQ(Tree()->topLevelItemCount(), 1);
        QTreeWidgetItem* root = Tree()->topLevelItem(0);
        ASSERT_EQ(FolderNodeOf(root), Form().Root());
        EXPECT_EQ(root->text(0), "Favoriten");
        EXPECT_EQ(Form().Root()->Path, collection_.Root());
        ExpectFolderMatchesDisk(root, nullptr);

        const TBookTree* shown = Form().SelectedFolder();
        std::multiset<const TBookTree*> listed;
        for (const ShownLink& item : ShownLinks(*Items())) {
            listed.insert(item.Node);
        }
        std::multiset<const TBookTree*> links;
        for (int index = 0; shown != nullptr && index < shown->Count(); ++index) {
            if (!shown->Child(index)->IsFolder()) {
                links.insert(shown->Child(index));
            }
        }
        EXPECT_EQ(listed, links) << "the list does not show the selected folder's links";
    }

    void ExpectFolderMatchesDisk(const QTreeWidgetItem* item, const TBookTree* parent) {
        const TBookTree* node = FolderNodeOf(item);
        ASSERT_NE(node, nullptr);
        SCOPED_TRACE(node->Path);
        EXPECT_TRUE(node->IsFolder());
        EXPECT_TRUE(item->isExpanded());
        if (parent != nullptr) {
            EXPECT_EQ(node->Parent, parent);
            EXPECT_EQ(node->Path, parent->Path + "/" + LastPathPart(node->Path));
            EXPECT_EQ(item->text(0), DisplayFileName(LastPathPart(node->Path)));
        }

        std::set<std::string> diskFolders;
        std::set<std::string> diskLinks;
        for (const fs::directory_entry& entry : fs::directory_iterator(node->Path)) {
            const std::string name = entry.path().filename().native();
            if (entry.is_directory() && !entry.is_symlink()) {
                diskFolders.insert(name);
            } else if (entry.is_regular_file() && name.ends_with(".url")) {
                diskLinks.insert(name);
            }
        }
        std::set<std::string> nodeFolders;
        std::set<std::string> nodeLinks;
        std::set<const TBookTree*> folderChildren;
        for (int index = 0; index < node->Count(); ++index) {
            const TBookTree* child = node->Child(index);
            const std::string name = LastPathPart(child->Path);
            EXPECT_EQ(child->Path, node->Path + "/" + name);
            EXPECT_EQ(child->Parent, node);
            if (child->IsFolder()) {
                EXPECT_TRUE(nodeFolders.insert(name).second) << "twice: " << name;
                folderChildren.insert(child);
            } else {
                EXPECT_TRUE(nodeLinks.insert(name).second) << "twice: " << name;
            }
        }
        EXPECT_EQ(nodeFolders, diskFolders);
        EXPECT_EQ(nodeLinks, diskLinks);

        std::set<const TBookTree*> itemNodes;
        for (int index = 0; index < item->childCount(); ++index) {
            itemNodes.insert(FolderNodeOf(item->child(index)));
            ExpectFolderMatchesDisk(item->child(index), node);
        }
        EXPECT_EQ(itemNodes, folderChildren);
    }

    // The captions of every level in the locale's order.
    static void ExpectSorted(const QTreeWidgetItem* item) {
        for (int index = 1; index < item->childCount(); ++index) {
            EXPECT_LT(SystemCollation().Compare(item->child(index - 1)->text(0),
                                                item->child(index)->text(0)),
                      0)
                << item->child(index)->text(0).toStdString();
        }
        for (int index = 0; index < item->childCount(); ++index) {
            ExpectSorted(item->child(index));
        }
    }

    static std::string Captions(const QTreeWidgetItem* item) {
        std::string text = item->text(0).toStdString();
        if (item->childCount() > 0) {
            text += "[";
            for (int index = 0; index < item->childCount(); ++index) {
                text += (index > 0 ? " " : "") + Captions(item->child(index));
            }
            text += "]";
        }
        return text;
    }
    using MainFormFixture::Captions;

    std::string TreeCaptions() const { return Captions(Tree()->topLevelItem(0)); }

    // Every path in the collection, relative to its root, sorted.
    Strings DiskPaths() const {
        Strings paths;
        for (const auto& entry : fs::recursive_directory_iterator(collection_.Root())) {
            paths.push_back(fs::relative(entry.path(), collection_.Root()).native());
        }
        std::sort(paths.begin(), paths.end());
        return paths;
    }

    bool Trashed(const std::string& name) const {
        return fs::exists(TrashDirectory() + "/files/" + name) &&
               fs::exists(TrashDirectory() + "/info/" + name + ".trashinfo");
    }

    TempTree data_;

private:
    QByteArray savedDataHome_;
};

TEST_F(FolderCommandsTest, CreateUnderTheSelectedFolderOrTheRootKeepsSelectionAndList) {
    collection_.WriteFile("News/a.url", ShortcutText("http://a/"));
    collection_.MakeDirectory("Alpha");
    collection_.MakeDirectory("Zeta");
    Start();
    Select("News");

    dialogs_->AnswerInput("Neu");
    Trigger("PMCreateDir");
    const DialogQuestion& question = dialogs_->Questions().back();
    EXPECT_EQ(question.caption, "Neues Verzeichnis erstellen");
    EXPECT_EQ(question.text, "Bitte geben sie den Namen des neuen Verzeichnisses an:");
    EXPECT_TRUE(question.defaultText.isEmpty());
    EXPECT_TRUE(collection_.Exists("News/Neu"));
    EXPECT_EQ(Tree()->currentItem(), Folder("News"));
    EXPECT_EQ(Captions(), Strings{"a"});
    ExpectTreeMatchesDisk();

    // Without a selection the root is the parent; the new folder takes its
    // place in a reader's order, also where the environment names no locale
    // and the bytes would put it last.
    Tree()->setCurrentItem(nullptr);
    dialogs_->AnswerInput("beta");
    Trigger("PMCreateDir");
    EXPECT_TRUE(collection_.Exists("beta"));
    EXPECT_EQ(TreeCaptions(), "Favoriten[Alpha beta News[Neu] Zeta]");
    EXPECT_EQ(Tree()->currentItem(), nullptr);
    ExpectTreeMatchesDisk();
    EXPECT_TRUE(Messages().empty());
}

TEST_F(FolderCommandsTest, TakenEmptyAndEscapingNamesCreateNothing) {
    collection_.WriteFile("News/a.url", ShortcutText("http://a/"));
    collection_.WriteFile("Notiz", "not a shortcut");
    Start();
    const Strings before = DiskPaths();
    const std::string outside = fs::path(collection_.Root()).parent_path() / "draussen";

    const std::pair<const char*, QString> cases[] = {
        {"News", kDirectoryExists},      {"", kDirectoryExists}, {"../draussen", kInvalidName},
        {"a/b", kInvalidName},           {"..", kInvalidName},   {".", kInvalidName},
        {"/tmp/draussen", kInvalidName},
    };
    for (const auto& [name, message] : cases) {
        SCOPED_TRACE(name);
        dialogs_->ClearRecord();
        dialogs_->AnswerInput(QString::fromUtf8(name));
        Form().PMCreateDirClick();
        EXPECT_EQ(Messages(), std::vector<QString>{message});
        EXPECT_EQ(DiskPaths(), before);
        ExpectTreeMatchesDisk();
    }
    EXPECT_FALSE(fs::exists(outside));

    // A file in the way: the directory cannot be made, and the user is told
    // why instead of seeing a folder that is not there.
    dialogs_->ClearRecord();
    dialogs_->AnswerInput("Notiz");
    Form().PMCreateDirClick();
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0],
              "Das Verzeichnis konnte nicht erstellt werden:\rDer Name ist bereits vergeben");
    EXPECT_EQ(TreeCaptions(), "Favoriten[News]");
    ExpectTreeMatchesDisk();

    dialogs_->ClearRecord();
    dialogs_->CancelInput();
    Form().PMCreateDirClick();
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(DiskPaths(), before);
}

TEST_F(FolderCommandsTest, RenameInPlaceRebasesEveryPathBelowAndResorts) {
    collection_.WriteFile("News/Sport/Fussball/f.url", ShortcutText("http://f/"));
    collection_.WriteFile("News/n.url", ShortcutText("http://n/"));
    collection_.MakeDirectory("Archiv");
    collection_.MakeDirectory("Zoo");
    Start();
    Select("News");
    EXPECT_EQ(TreeCaptions(), "Favoriten[Archiv News[Sport[Fussball]] Zoo]");

    Trigger("PMRenameDir");
    ASSERT_NE(Editor(), nullptr);
    EXPECT_EQ(Editor()->text(), "News");
    FinishEdit("Alt", Qt::Key_Return);
    EXPECT_TRUE(Messages().empty());
    EXPECT_TRUE(collection_.Exists("Alt/Sport/Fussball/f.url"));
    EXPECT_FALSE(collection_.Exists("News"));
    EXPECT_EQ(TreeCaptions(), "Favoriten[Alt[Sport[Fussball]] Archiv Zoo]");
    EXPECT_EQ(FolderNodeOf(Folder("Alt/Sport/Fussball"))->Child(0)->Path,
              collection_.Path("Alt/Sport/Fussball/f.url"));
    // The list keeps its item, whose node now names the file's new place.
    ASSERT_EQ(Items()->Count(), 1);
    EXPECT_EQ(Shown(*Items(), 0).Node->Path, collection_.Path("Alt/n.url"));
    EXPECT_EQ(Tree()->currentItem(), Folder("Alt"));
    ExpectTreeMatchesDisk();

    // The unchanged name, a sibling's name and the empty name are taken.
    for (const char* name : {"Alt", "Archiv", ""}) {
        SCOPED_TRACE(name);
        dialogs_->ClearRecord();
        Form().PMRenameDirClick();
        FinishEdit(QString::fromUtf8(name), Qt::Key_Return);
        EXPECT_EQ(Messages(), std::vector<QString>{kDirectoryExists});
        EXPECT_EQ(Folder("Alt"), Tree()->currentItem());
        ExpectTreeMatchesDisk();
    }
}

TEST_F(FolderCommandsTest, EscapeEndsTheEditWithoutAnyChange) {
    collection_.WriteFile("News/n.url", ShortcutText("http://n/"));
    Start();
    Select("News");
    const Strings before = DiskPaths();
    QTest::keyClick(Tree(), Qt::Key_Return);
    FinishEdit("Anders", Qt::Key_Escape);
    EXPECT_TRUE(dialogs_->Texts(DialogKind::Message).empty());
    EXPECT_EQ(TreeCaptions(), "Favoriten[News]");
    EXPECT_EQ(DiskPaths(), before);
    ExpectTreeMatchesDisk();
}

TEST_F(FolderCommandsTest, OnlyTheRootCannotBeEdited) {
    collection_.MakeDirectory("News");
    Start();
    bool allow = true;
    Form().TVTreeEditing(Folder(""), allow);
    EXPECT_FALSE(allow);
    Form().TVTreeEditing(Folder("News"), allow);
    EXPECT_TRUE(allow);

    Select("");
    Form().PMRenameDirClick();
    QTest::keyClick(Tree(), Qt::Key_Return);
    QTest::mouseDClick(Tree()->viewport(), Qt::LeftButton, {}, PointOf(""));
    EXPECT_EQ(Editor(), nullptr);

    // A double-click on any other folder starts the edit.
    QTest::mouseClick(Tree()->viewport(), Qt::LeftButton, {}, PointOf("News"));
    QTest::mouseDClick(Tree()->viewport(), Qt::LeftButton, {}, PointOf("News"));
    ASSERT_NE(Editor(), nullptr);
    EXPECT_EQ(Editor()->text(), "News");
    FinishEdit("News", Qt::Key_Escape);
}

TEST_F(FolderCommandsTest, RenameRefusesNamesThatLeaveTheFolderOrAreTaken) {
    collection_.WriteFile("News/n.url", ShortcutText("http://n/"));
    collection_.WriteFile("Datei", "a plain file");
    Start();
    const Strings before = DiskPaths();
    const std::string outside = fs::path(collection_.Root()).parent_path() / "draussen";
    for (const char* name : {"../draussen", "a/b", "..", "."}) {
        SCOPED_TRACE(name);
        dialogs_->ClearRecord();
        QString text = QString::fromUtf8(name);
        Form().TVTreeEdited(Folder("News"), text);
        EXPECT_EQ(text, "News");
        EXPECT_EQ(Messages(), std::vector<QString>{kInvalidName});
        EXPECT_EQ(DiskPaths(), before);
        ExpectTreeMatchesDisk();
    }
    EXPECT_FALSE(fs::exists(outside));

    // A plain file holds the name: the rename fails on disk, and says so.
    dialogs_->ClearRecord();
    QString text = QStringLiteral("Datei");
    Form().TVTreeEdited(Folder("News"), text);
    EXPECT_EQ(text, "News");
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].toStdString(),
              "Das Verzeichnis konnte nicht umbenannt werden:\r\"" + collection_.Path("News") +
                  "\" kann nicht in \"" + collection_.Path("Datei") +
                  "\" umbenannt werden: Der Name ist bereits vergeben");
    EXPECT_EQ(collection_.ReadFile("Datei"), "a plain file");
    EXPECT_EQ(DiskPaths(), before);
    ExpectTreeMatchesDisk();
}

TEST_F(FolderCommandsTest, DeleteAnsweredNoKeepsAndYesTrashesTheFolder) {
    collection_.WriteFile("News/Sport/s.url", ShortcutText("http://s/"));
    collection_.WriteFile("News/n.url", ShortcutText("http://n/"));
    collection_.WriteFile("Reisen/r.url", ShortcutText("http://r/"));
    Start();
    Select("News/Sport");
    const Strings before = DiskPaths();

    dialogs_->AnswerNo();
    Trigger("PMDeleteDir");
    EXPECT_EQ(dialogs_->Texts(DialogKind::Confirmation), std::vector<QString>{kDeleteQuestion});
    EXPECT_EQ(DiskPaths(), before);
    EXPECT_EQ(Captions(), Strings{"s"});
    ExpectTreeMatchesDisk();

    Select("News");
    dialogs_->AnswerYes();
    QTest::keyClick(Tree(), Qt::Key_Delete);
    EXPECT_FALSE(collection_.Exists("News"));
    EXPECT_TRUE(Trashed("News"));
    EXPECT_TRUE(fs::exists(TrashDirectory() + "/files/News/Sport/s.url"));
    EXPECT_EQ(TreeCaptions(), "Favoriten[Reisen]");
    EXPECT_NE(Tree()->currentItem(), nullptr);
    EXPECT_TRUE(Messages().empty());
    ExpectTreeMatchesDisk();
}

TEST_F(FolderCommandsTest, TheRootIsNeverDeletedAndNotEvenAskedFor) {
    collection_.WriteFile("a.url", ShortcutText("http://a/"));
    Start();
    Select("");
    QTest::keyClick(Tree(), Qt::Key_Delete);
    EXPECT_TRUE(dialogs_->Texts(DialogKind::Confirmation).empty());
    EXPECT_EQ(Messages(), std::vector<QString>{QStringLiteral(
                              "Das Verzeichnis der Favoriten selbst kann nicht gelöscht werden!")});
    EXPECT_TRUE(collection_.Exists("a.url"));
    EXPECT_FALSE(fs::exists(TrashDirectory()));
    ExpectTreeMatchesDisk();
}

TEST_F(FolderCommandsTest, AFolderTheTrashRefusesStaysInTheTree) {
    collection_.WriteFile("News/n.url", ShortcutText("http://n/"));
    data_.WriteFile("blocked", "a file where the trash's parent should be");
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(data_.Path("blocked/data")));
    Start();
    Select("News");
    dialogs_->AnswerYes();
    Form().PMDeleteDirClick();
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_TRUE(Messages()[0].startsWith(
        "Das Verzeichnis konnte nicht in den Papierkorb verschoben werden:\r"));
    EXPECT_TRUE(collection_.Exists("News/n.url"));
    EXPECT_EQ(Tree()->currentItem(), Folder("News"));
    EXPECT_EQ(Captions(), Strings{"n"});
    ExpectTreeMatchesDisk();
}

TEST_F(FolderCommandsTest, ALinkMovesOnlyToAFolderWhereItsNameIsFree) {
    collection_.WriteFile("News/Club.url", ShortcutText("http://news-club/"));
    collection_.WriteFile("News/b.url", ShortcutText("http://b/"));
    collection_.WriteFile("Sport/Club.url", ShortcutText("http://sport-club/"));
    collection_.MakeDirectory("Vereine/b.url");  // a folder holding the name
    collection_.MakeDirectory("Ziel");
    Start();
    Select("News");
    const Strings before = DiskPaths();

    SelectLink("Club");
    for (const char* target : {"Sport", "News"}) {
        SCOPED_TRACE(target);
        dialogs_->ClearRecord();
        Form().TVTreeDragDrop(List(), PointOf(target));
        EXPECT_EQ(Messages(), std::vector<QString>{kLinkNameTaken});
        EXPECT_EQ(Captions(), (Strings{"b", "Club"}));
        EXPECT_EQ(DiskPaths(), before);
        ExpectTreeMatchesDisk();
    }
    EXPECT_EQ(collection_.ReadFile("Sport/Club.url"), ShortcutText("http://sport-club/"));

    SelectLink("b");
    dialogs_->ClearRecord();
    Form().TVTreeDragDrop(List(), PointOf("Vereine"));
    EXPECT_EQ(Messages(), std::vector<QString>{kLinkNameTaken});
    EXPECT_EQ(DiskPaths(), before);

    // Onto a free name the link moves: out of the list, into the folder.
    SelectLink("Club");
    dialogs_->ClearRecord();
    Form().TVTreeDragDrop(List(), PointOf("Ziel"));
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(Captions(), Strings{"b"});
    EXPECT_FALSE(collection_.Exists("News/Club.url"));
    EXPECT_EQ(collection_.ReadFile("Ziel/Club.url"), ShortcutText("http://news-club/"));
    EXPECT_EQ(Tree()->currentItem(), Folder("News"));
    ExpectTreeMatchesDisk();
    Select("Ziel");
    EXPECT_EQ(Captions(), Strings{"Club"});
    EXPECT_EQ(Column(LinkItems::kColumnUrl), Strings{"http://news-club/"});
    ExpectTreeMatchesDisk();

    // Without a selected link, or off any folder, a drop does nothing.
    List()->selectionModel()->clearSelection();
    Form().TVTreeDragDrop(List(), PointOf("News"));
    Form().TVTreeDragDrop(List(), QPoint(5, Tree()->viewport()->height() - 2));
    EXPECT_TRUE(Messages().empty());
    ExpectTreeMatchesDisk();
}

TEST_F(FolderCommandsTest, AFolderMovesWithEverythingBelowAndTheTreeResorts) {
    collection_.WriteFile("News/x.url", ShortcutText("http://x/"));
    collection_.WriteFile("News/Sport/s.url", ShortcutText("http://s/"));
    collection_.MakeDirectory("Archiv/Zeitungen");
    collection_.MakeDirectory("Archiv/Alt");
    Start();
    Select("News");
    ASSERT_EQ(Captions(), Strings{"x"});

    Form().TVTreeDragDrop(Tree(), PointOf("Archiv"));
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(TreeCaptions(), "Favoriten[Archiv[Alt News[Sport] Zeitungen]]");
    ExpectSorted(Tree()->topLevelItem(0));
    EXPECT_TRUE(collection_.Exists("Archiv/News/Sport/s.url"));
    EXPECT_FALSE(collection_.Exists("News"));
    EXPECT_EQ(Tree()->currentItem(), Folder("Archiv/News"));
    EXPECT_EQ(Captions(), Strings{"x"});
    EXPECT_EQ(Shown(*Items(), 0).Node->Path, collection_.Path("Archiv/News/x.url"));
    EXPECT_EQ(FolderNodeOf(Folder("Archiv/News/Sport"))->Child(0)->Path,
              collection_.Path("Archiv/News/Sport/s.url"));
    ExpectTreeMatchesDisk();

    // Onto its own parent it is where it is already.
    Form().TVTreeDragDrop(Tree(), PointOf("Archiv"));
    EXPECT_TRUE(Messages().empty());
    EXPECT_TRUE(collection_.Exists("Archiv/News/x.url"));
    ExpectTreeMatchesDisk();
}

TEST_F(FolderCommandsTest, AFolderNeverMovesIntoItselfOrBelowItself) {
    collection_.WriteFile("A/B/C/c.url", ShortcutText("http://c/"));
    collection_.MakeDirectory("D");
    Start();
    const Strings before = DiskPaths();
    Select("A");

    Form().TVTreeDragDrop(Tree(), PointOf("A"));
    EXPECT_TRUE(Messages().empty());
    for (const char* target : {"A/B", "A/B/C"}) {
        SCOPED_TRACE(target);
        dialogs_->ClearRecord();
        Form().TVTreeDragDrop(Tree(), PointOf(target));
        EXPECT_EQ(Messages(), std::vector<QString>{kIntoItself});
        EXPECT_EQ(DiskPaths(), before);
        EXPECT_EQ(TreeCaptions(), "Favoriten[A[B[C]] D]");
        ExpectTreeMatchesDisk();
    }

    // Every folder is below the root.
    Select("");
    dialogs_->ClearRecord();
    Form().TVTreeDragDrop(Tree(), PointOf("D"));
    EXPECT_EQ(Messages(), std::vector<QString>{kIntoItself});
    EXPECT_EQ(DiskPaths(), before);
    ExpectTreeMatchesDisk();
}

TEST_F(FolderCommandsTest, AFolderDroppedWhereItsNameIsTakenIsRefused) {
    collection_.WriteFile("A/Sub/x.url", ShortcutText("http://x/"));
    collection_.WriteFile("B/Sub/y.url", ShortcutText("http://y/"));
    collection_.WriteFile("C/Sub", "a plain file");
    Start();
    const Strings before = DiskPaths();
    Select("A/Sub");
    for (const char* target : {"B", "C"}) {
        SCOPED_TRACE(target);
        dialogs_->ClearRecord();
        Form().TVTreeDragDrop(Tree(), PointOf(target));
        EXPECT_EQ(Messages(), std::vector<QString>{kFolderNameTaken});
        EXPECT_EQ(DiskPaths(), before);
        EXPECT_EQ(Tree()->currentItem(), Folder("A/Sub"));
        ExpectTreeMatchesDisk();
    }
}

// The disk says no: nothing in the tree or the list may pretend otherwise.
TEST_F(FolderCommandsTest, AMoveTheDiskRefusesChangesNothing) {
    collection_.WriteFile("News/n.url", ShortcutText("http://n/"));
    collection_.MakeDirectory("Weg");
    Start();
    Select("News");
    fs::remove(collection_.Path("Weg"));  // gone behind the program's back

    SelectLink("n");
    Form().TVTreeDragDrop(List(), PointOf("Weg"));
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_TRUE(Messages()[0].startsWith("Das Verschieben ist fehlgeschlagen:\r"));
    EXPECT_EQ(Captions(), Strings{"n"});
    EXPECT_EQ(Shown(*Items(), 0).Node->Path, collection_.Path("News/n.url"));
    EXPECT_TRUE(collection_.Exists("News/n.url"));

    dialogs_->ClearRecord();
    Form().TVTreeDragDrop(Tree(), PointOf("Weg"));
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_TRUE(Messages()[0].startsWith("Das Verschieben ist fehlgeschlagen:\r"));
    EXPECT_EQ(TreeCaptions(), "Favoriten[News Weg]");
    EXPECT_EQ(FolderNodeOf(Folder("News"))->Path, collection_.Path("News"));
    EXPECT_TRUE(collection_.Exists("News/n.url"));
}

TEST_F(FolderCommandsTest, OnlyTheTwoViewsMayDragOntoTheTree) {
    collection_.WriteFile("News/n.url", ShortcutText("http://n/"));
    collection_.MakeDirectory("Ziel");
    Start();
    const auto accepts = [&](QObject* source) {
        // The answer must not depend on what the flag held before.
        bool fromTrue = true;
        bool fromFalse = false;
        Form().TVTreeDragOver(source, fromTrue);
        Form().TVTreeDragOver(source, fromFalse);
        EXPECT_EQ(fromTrue, fromFalse);
        return fromFalse;
    };
    EXPECT_TRUE(accepts(List()));
    EXPECT_TRUE(accepts(Tree()));
    EXPECT_FALSE(accepts(nullptr));  // a drag from another program
    EXPECT_FALSE(accepts(Button("BExit")));
    EXPECT_FALSE(accepts(Tree()->viewport()));

    // Text or files dragged in from another program are refused at the
    // viewport and move nothing, whatever lies under the pointer.
    Select("News");
    const Strings before = DiskPaths();
    QMimeData data;
    data.setText(QString::fromStdString(collection_.Path("News/n.url")));
    const QPoint point = PointOf("Ziel");
    QDragEnterEvent enter(point, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                          Qt::NoModifier);
    QApplication::sendEvent(Tree()->viewport(), &enter);
    EXPECT_FALSE(enter.isAccepted());
    QDropEvent drop(QPointF(point), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                    Qt::NoModifier);
    QApplication::sendEvent(Tree()->viewport(), &drop);
    EXPECT_FALSE(drop.isAccepted());
    QApplication::processEvents();
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(DiskPaths(), before);
    EXPECT_EQ(Captions(), Strings{"n"});
    ExpectTreeMatchesDisk();
}

TEST_F(FolderCommandsTest, KeysRunTheCommandsWhateverTheModifiers) {
    collection_.MakeDirectory("News");
    Start();
    Select("News");

    dialogs_->CancelInput();
    QTest::keyClick(Tree(), Qt::Key_Insert, Qt::ControlModifier);
    EXPECT_EQ(dialogs_->Texts(DialogKind::Input).size(), 1u);

    dialogs_->AnswerNo();
    QTest::keyClick(Tree(), Qt::Key_Delete, Qt::ShiftModifier | Qt::AltModifier);
    EXPECT_EQ(dialogs_->Texts(DialogKind::Confirmation).size(), 1u);

    QTest::keyClick(Tree(), Qt::Key_F2);
    EXPECT_EQ(Editor(), nullptr);
    QTest::keyClick(Tree(), Qt::Key_Enter, Qt::ControlModifier);
    EXPECT_NE(Editor(), nullptr);
    FinishEdit("News", Qt::Key_Escape);
    EXPECT_EQ(dialogs_->PendingAnswers(), 0u);
    ExpectTreeMatchesDisk();
}

}  // namespace
}  // namespace vornakle::testing
