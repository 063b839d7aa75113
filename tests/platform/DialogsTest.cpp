#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

#include "platform/ui/QtDialogs.h"
#include "support/ScriptedDialogs.h"

namespace vornakle {
namespace {

TEST(ScriptedDialogsTest, AnswersInOrderAndRecordsTheExactTexts) {
    ScriptedDialogs dialogs;
    dialogs.AnswerInput(QStringLiteral("Neu"));
    dialogs.AnswerNo();
    dialogs.ChooseFolder("/fav/\xE4");
    dialogs.CancelInput();

    EXPECT_EQ(
        dialogs.InputBox(QStringLiteral("Neuer Name"),
                         QStringLiteral("Bitte neuen Namen eingeben:"), QStringLiteral("Alt")),
        QStringLiteral("Neu"));
    dialogs.ShowMessage(QStringLiteral("Konnte Name nicht ändern!"));
    EXPECT_FALSE(
        dialogs.Confirm(QStringLiteral("Möchten sie wirklich diese Verzeichnis Löschen?")));
    EXPECT_EQ(dialogs.BrowseForFolder(QStringLiteral("Bitte Verzeichnis mit Favoriten auswählen"),
                                      "/home/a/Favorites"),
              std::optional<std::string>("/fav/\xE4"));
    EXPECT_EQ(dialogs.InputBox(QStringLiteral("Neue URL"),
                               QStringLiteral("Bitte neue URL eingeben:"), QString()),
              std::nullopt);
    EXPECT_TRUE(dialogs.OpenUrl("http://example.com/\xE4"));

    const std::vector<DialogQuestion>& asked = dialogs.Questions();
    ASSERT_EQ(asked.size(), 6u);
    EXPECT_EQ(asked[0].kind, DialogKind::Input);
    EXPECT_EQ(asked[0].caption, QStringLiteral("Neuer Name"));
    EXPECT_EQ(asked[0].text, QStringLiteral("Bitte neuen Namen eingeben:"));
    EXPECT_EQ(asked[0].defaultText, QStringLiteral("Alt"));
    EXPECT_EQ(asked[1].kind, DialogKind::Message);
    EXPECT_EQ(asked[1].caption, QStringLiteral("Vornakle"));
    EXPECT_EQ(asked[2].kind, DialogKind::Confirmation);
    EXPECT_EQ(asked[2].caption, QStringLiteral("Bestätigung"));
    EXPECT_EQ(asked[3].kind, DialogKind::Folder);
    EXPECT_EQ(asked[3].caption, QStringLiteral("Bitte Verzeichnis mit Favoriten auswählen"));
    EXPECT_EQ(asked[3].defaultText, QStringLiteral("/home/a/Favorites"));
    EXPECT_EQ(asked[5].kind, DialogKind::OpenUrl);
    EXPECT_EQ(asked[5].text, QStringLiteral("http://example.com/ä"));
    EXPECT_EQ(dialogs.OpenedUrls(), std::vector<std::string>{"http://example.com/\xE4"});
    EXPECT_EQ(dialogs.Texts(DialogKind::Message),
              std::vector<QString>{QStringLiteral("Konnte Name nicht ändern!")});
    EXPECT_TRUE(dialogs.Unexpected().empty());
    EXPECT_EQ(dialogs.PendingAnswers(), 0u);
}

TEST(ScriptedDialogsTest, UnexpectedQuestionsChangeNothingAndAreReported) {
    ScriptedDialogs dialogs;
    std::vector<QString> reported;
    dialogs.SetUnexpectedHandler(
        [&reported](const DialogQuestion& question) { reported.push_back(question.text); });
    dialogs.AnswerYes();

    // The waiting answer is for a confirmation, not for an input box: it stays.
    EXPECT_EQ(dialogs.InputBox(QStringLiteral("T"), QStringLiteral("Frage?"), QStringLiteral("x")),
              std::nullopt);
    EXPECT_EQ(dialogs.PendingAnswers(), 1u);
    EXPECT_TRUE(dialogs.Confirm(QStringLiteral("Wirklich?")));
    EXPECT_FALSE(dialogs.Confirm(QStringLiteral("Nochmal?")));
    EXPECT_EQ(dialogs.BrowseForFolder(QStringLiteral("Ordner?"), ""), std::nullopt);

    EXPECT_EQ(reported, (std::vector<QString>{QStringLiteral("Frage?"), QStringLiteral("Nochmal?"),
                                              QStringLiteral("Ordner?")}));
    EXPECT_EQ(dialogs.Unexpected().size(), 3u);
    dialogs.ClearRecord();
    EXPECT_TRUE(dialogs.Questions().empty());
}

TEST(DialogsInstallationTest, InstallsForItsLifetime) {
    Dialogs& before = CurrentDialogs();
    {
        auto scripted = std::make_unique<ScriptedDialogs>();
        ScriptedDialogs* installed = scripted.get();
        DialogsInstallation installation(std::move(scripted));
        EXPECT_EQ(&CurrentDialogs(), installed);
        CurrentDialogs().ShowMessage(QStringLiteral("Hallo"));
        EXPECT_EQ(installed->Texts(DialogKind::Message).size(), 1u);
    }
    EXPECT_EQ(&CurrentDialogs(), &before);
    EXPECT_NE(dynamic_cast<QtDialogs*>(&CurrentDialogs()), nullptr);
}

// The real dialogs, driven while they are open: the texts and buttons the
// user sees.
class QtDialogsTest : public ::testing::Test {
protected:
    // Runs action on the modal dialog as soon as it is open.
    static void WhenOpen(std::function<void(QWidget*)> action) {
        QTimer::singleShot(0, qApp, [action = std::move(action)] {
            QWidget* dialog = QApplication::activeModalWidget();
            ASSERT_NE(dialog, nullptr);
            action(dialog);
        });
    }

    static QPushButton* Button(QWidget* dialog, const QString& text) {
        for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
            if (button->text() == text) {
                return button;
            }
        }
        return nullptr;
    }

    QtDialogs dialogs_;
};

TEST_F(QtDialogsTest, ConfirmationSaysYesOnlyForJa) {
    WhenOpen([](QWidget* dialog) {
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Bestätigung"));
        ASSERT_NE(Button(dialog, QStringLiteral("&Nein")), nullptr);
        QPushButton* yes = Button(dialog, QStringLiteral("&Ja"));
        ASSERT_NE(yes, nullptr);
        EXPECT_TRUE(yes->isDefault());
        yes->click();
    });
    EXPECT_TRUE(dialogs_.Confirm(QStringLiteral("Wirklich?")));

    WhenOpen([](QWidget* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); });
    EXPECT_FALSE(dialogs_.Confirm(QStringLiteral("Wirklich?")));

    WhenOpen([](QWidget* dialog) { dialog->close(); });
    EXPECT_FALSE(dialogs_.Confirm(QStringLiteral("Wirklich?")));
}

TEST_F(QtDialogsTest, InputBoxShowsItsTextsAndReturnsTheEdit) {
    WhenOpen([](QWidget* dialog) {
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Neuer Name"));
        auto* input = qobject_cast<QInputDialog*>(dialog);
        ASSERT_NE(input, nullptr);
        EXPECT_EQ(input->labelText(), QStringLiteral("Bitte neuen Namen eingeben:"));
        EXPECT_EQ(input->textValue(), QStringLiteral("Alt"));
        ASSERT_NE(Button(dialog, QStringLiteral("Abbrechen")), nullptr);
        input->setTextValue(QStringLiteral("Neu"));
        Button(dialog, QStringLiteral("OK"))->click();
    });
    EXPECT_EQ(
        dialogs_.InputBox(QStringLiteral("Neuer Name"),
                          QStringLiteral("Bitte neuen Namen eingeben:"), QStringLiteral("Alt")),
        QStringLiteral("Neu"));

    WhenOpen([](QWidget* dialog) { Button(dialog, QStringLiteral("Abbrechen"))->click(); });
    EXPECT_EQ(dialogs_.InputBox(QStringLiteral("T"), QStringLiteral("P"), QStringLiteral("Alt")),
              std::nullopt);
}

TEST_F(QtDialogsTest, MessageBoxIsCaptionedWithTheApplicationTitle) {
    WhenOpen([](QWidget* dialog) {
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Vornakle"));
        auto* box = qobject_cast<QMessageBox*>(dialog);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->text(), QStringLiteral("Dieses Verzeichnis existiert bereits!"));
        Button(dialog, QStringLiteral("OK"))->click();
    });
    dialogs_.ShowMessage(QStringLiteral("Dieses Verzeichnis existiert bereits!"));
}

TEST_F(QtDialogsTest, FolderDialogStartsAtTheSuggestionAndCancelGivesNone) {
    QTemporaryDir favorites;
    ASSERT_TRUE(favorites.isValid());
    const QString prompt = QStringLiteral("Bitte Verzeichnis mit Favoriten auswählen");

    WhenOpen([&](QWidget* dialog) {
        auto* files = qobject_cast<QFileDialog*>(dialog);
        ASSERT_NE(files, nullptr);
        EXPECT_EQ(files->windowTitle(), prompt);
        EXPECT_EQ(files->directory().absolutePath(), favorites.path());
        QMetaObject::invokeMethod(files, "accept", Qt::DirectConnection);
    });
    EXPECT_EQ(dialogs_.BrowseForFolder(prompt, favorites.path().toStdString()),
              favorites.path().toStdString());

    WhenOpen([&](QWidget* dialog) { qobject_cast<QFileDialog*>(dialog)->reject(); });
    EXPECT_EQ(dialogs_.BrowseForFolder(prompt, favorites.path().toStdString() + "/fehlt"),
              std::nullopt);
}

}  // namespace
}  // namespace vornakle
