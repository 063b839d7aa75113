#include <QTest>

#include "MainFormFixture.h"
#include "store/LinkStatus.h"
#include "support/ShownLinks.h"

namespace vornakle::testing {
namespace {

using Strings = std::vector<std::string>;

class LinkCommandsTest : public MainFormFixture {
protected:
    void CreateLink(const QString& name, const QString& url) {
        dialogs_->AnswerInput(name);
        dialogs_->AnswerInput(url);
        QTest::keyClick(List(), Qt::Key_Insert);
    }
    int RowOf(const char* caption) const {
        for (int row = 0; row < Items()->Count(); ++row) {
            if (Shown(*Items(), row).Caption == caption) {
                return row;
            }
        }
        return -1;
    }
};

TEST_F(LinkCommandsTest, CreateLinkCompletesWwwAndListsTheLink) {
    collection_.WriteFile("b.url", ShortcutText("http://b/"));
    Start();
    CreateLink("Suche", "www.example.org");
    EXPECT_EQ(collection_.ReadFile("Suche.url"),
              "[DEFAULT]\r\nBASEURL=http://www.example.org\r\n[InternetShortcut]\r\n"
              "URL=http://www.example.org\r\n");
    const std::vector<DialogQuestion>& questions = dialogs_->Questions();
    ASSERT_EQ(questions.size(), 3u);
    EXPECT_EQ(questions[1].caption, "Name der Verknüpfung");
    EXPECT_EQ(questions[1].text, "Bitte den Namen der Verknüpfung eingeben!");
    EXPECT_EQ(questions[2].caption, "Suche");
    EXPECT_EQ(questions[2].text, "Bitte die URL der Verknüpfung eingeben!");
    EXPECT_EQ(Captions(), (Strings{"b", "Suche"}));
    const ShownLink& item = Shown(*Items(), RowOf("Suche"));
    EXPECT_EQ(item.Url, "http://www.example.org");
    EXPECT_EQ(item.ImageIndex, kImageNotTested);
    EXPECT_EQ(item.StatusText, "");
    EXPECT_EQ(item.Node->Path, collection_.Path("Suche.url"));
    EXPECT_EQ(Form().Root()->Count(), 2);

    CreateLink("Gross", "WWW.example.org");
    EXPECT_EQ(Shown(*Items(), RowOf("Gross")).Url, "WWW.example.org");

    CreateLink("", "http://nameless/");
    EXPECT_TRUE(collection_.Exists(".url"));
    EXPECT_EQ(Shown(*Items(), 0).Caption, "");
}

TEST_F(LinkCommandsTest, CancelOrATakenOrABadNameCreatesNothing) {
    collection_.WriteFile("Taken.url", ShortcutText("http://mine/"));
    Start();
    dialogs_->CancelInput();
    QTest::keyClick(List(), Qt::Key_Insert);
    dialogs_->AnswerInput("New");
    dialogs_->CancelInput();
    QTest::keyClick(List(), Qt::Key_Insert);
    EXPECT_FALSE(collection_.Exists("New.url"));

    CreateLink("Taken", "http://other/");
    EXPECT_EQ(collection_.ReadFile("Taken.url"), ShortcutText("http://mine/"));
    CreateLink("../outside", "http://other/");
    EXPECT_FALSE(collection_.Exists("../outside.url"));
    EXPECT_EQ(dialogs_->Texts(DialogKind::Message).size(), 2u);
    EXPECT_EQ(Form().Root()->Count(), 1);
    EXPECT_EQ(Items()->Count(), 1);
}

TEST_F(LinkCommandsTest, FileThatCannotBeWrittenLeavesNoNode) {
    collection_.WriteFile("a.url", ShortcutText("http://a/"));
    Start();
    // A name longer than any file system takes.
    CreateLink(QString(300, 'n'), "http://x/");
    const std::vector<QString> errors = dialogs_->Texts(DialogKind::Error);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_TRUE(errors[0].endsWith("kann nicht erstellt werden"));
    EXPECT_EQ(Form().Root()->Count(), 1);
    EXPECT_EQ(Items()->Count(), 1);
}

TEST_F(LinkCommandsTest, EnterOpensDeleteDeletesWithoutAQuestion) {
    collection_.WriteFile("a.url", ShortcutText("http://a/"));
    collection_.WriteFile("b.url", ShortcutText("http://b/"));
    TempTree trash;
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(trash.Root()));
    Start();
    List()->setCurrentIndex(Items()->index(RowOf("b"), 0));
    QTest::keyClick(List(), Qt::Key_Return);
    EXPECT_EQ(dialogs_->OpenedUrls(), Strings{"http://b/"});
    QTest::keyClick(List(), Qt::Key_Delete);
    qunsetenv("XDG_DATA_HOME");
    EXPECT_EQ(Captions(), Strings{"a"});
    EXPECT_TRUE(trash.Exists("Trash/files/b.url"));
    EXPECT_EQ(dialogs_->Questions().size(), 2u);  // the folder dialog and the open
    EXPECT_EQ(Form().Root()->Count(), 1);
}

TEST_F(LinkCommandsTest, ButtonsAndMenuRunTheSharedActions) {
    collection_.WriteFile("a.url", ShortcutText("http://a/"));
    Start();
    // Without a selection nothing asks anything.
    QTest::mouseClick(Button("BEditName"), Qt::LeftButton);
    QTest::mouseClick(Button("BEditURL"), Qt::LeftButton);
    EXPECT_EQ(dialogs_->Questions().size(), 1u);

    List()->setCurrentIndex(Items()->index(0, 0));
    dialogs_->AnswerInput("b");
    QTest::mouseClick(Button("BEditName"), Qt::LeftButton);
    dialogs_->AnswerInput("http://b/");
    Form().findChild<QAction*>("PMEditURL")->trigger();
    Form().findChild<QAction*>("PMSSInvalid")->trigger();
    EXPECT_EQ(collection_.ReadFile("b.url"), ShortcutText("http://b/"));
    EXPECT_EQ(Shown(*Items(), 0).Caption, "b");
    EXPECT_EQ(Shown(*Items(), 0).Node->Status, kStatusInvalidByHand);
    EXPECT_EQ(Shown(*Items(), 0).ImageIndex, kImageInvalid);
}

}  // namespace
}  // namespace vornakle::testing
