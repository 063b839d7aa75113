// The program as a German user sees it on a real X display: every dialog's
// title as the X server holds it for the window manager, and the toolkit's
// own folder dialog in German.
#include "DisplayTest.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>
#include <deque>
#include <functional>
#include <iostream>

#include "app/MainForm.h"
#include "platform/ui/Application.h"
#include "platform/ui/GraphicalSession.h"
#include "report/ReportForm.h"
#include "store/widgets/LinkItems.h"
#include "support/TempTree.h"

namespace vornakle::testing {

std::string& NoScreenReason() {
    static std::string reason;
    return reason;
}

namespace {

using Strings = std::vector<std::string>;

// The title the X server holds for a window: what window managers show.
std::string TitleOnTheServer(const QWidget* window) {
    QProcess reader;
    reader.start(QStringLiteral("xdotool"),
                 {QStringLiteral("getwindowname"), QString::number(window->winId())});
    if (!reader.waitForFinished(-1) || reader.exitCode() != 0) {
        ADD_FAILURE() << "xdotool cannot read the title: "
                      << reader.readAllStandardError().toStdString();
        return "(unreadable)";
    }
    QByteArray title = reader.readAllStandardOutput();
    title.chop(1);  // its line end
    return title.toStdString();
}

// Clicks the dialog's button of that caption; a dialog without one fails the
// test and is closed, so that nothing waits for it.
void ClickButton(QWidget* dialog, const QString& caption) {
    for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
        if (button->text() == caption) {
            button->click();
            return;
        }
    }
    ADD_FAILURE() << "no button " << caption.toStdString() << " in \""
                  << dialog->windowTitle().toStdString() << "\"";
    dialog->close();
}

// Answers the modal windows the program opens, one after the other, each
// with the next step, and reads each one's title from the X server first.
class DialogAnswerer {
public:
    struct Seen {
        std::string dialog;
        std::string expected;
        std::string read;
    };

    DialogAnswerer() {
        QObject::connect(&poll_, &QTimer::timeout, &poll_, [this] { Poll(); });
        poll_.start(kPollMilliseconds);
    }

    // The next modal window is dialog, titled expected; answer closes it.
    void Expect(std::string dialog, std::string expected, std::function<void(QWidget*)> answer) {
        steps_.push_back({std::move(dialog), std::move(expected), std::move(answer)});
    }

    const std::vector<Seen>& Titles() const { return seen_; }
    bool AllAnswered() const { return steps_.empty(); }

private:
    struct Step {
        std::string dialog;
        std::string expected;
        std::function<void(QWidget*)> answer;
    };

    static constexpr int kPollMilliseconds = 10;
    static constexpr char kAnswered[] = "answeredByTest";

    void Poll() {
        QWidget* window = QApplication::activeModalWidget();
        if (window == nullptr || window->property(kAnswered).toBool()) {
            return;
        }
        window->setProperty(kAnswered, true);
        if (steps_.empty()) {
            ADD_FAILURE() << "unexpected window \"" << window->windowTitle().toStdString() << "\"";
            window->close();
            return;
        }
        Step step = std::move(steps_.front());
        steps_.pop_front();
        seen_.push_back({step.dialog, step.expected, TitleOnTheServer(window)});
        // From the message loop, not from inside this poll: an answer may open
        // further windows.
        QTimer::singleShot(0, window,
                           [window, answer = std::move(step.answer)] { answer(window); });
    }

    QTimer poll_;
    std::deque<Step> steps_;
    std::vector<Seen> seen_;
};

class DesktopTest : public DisplayTest {
protected:
    void SetUp() override {
        DisplayTest::SetUp();
        if (IsSkipped()) {
            return;
        }
        savedHome_ = qgetenv("HOME");
        savedWinePrefix_ = qgetenv("WINEPREFIX");
        qputenv("HOME", QByteArray::fromStdString(home_.Root()));
        qputenv("WINEPREFIX", QByteArray::fromStdString(home_.Path("no-wine")));
    }

    void TearDown() override {
        if (!savedHome_.isNull()) {
            qputenv("HOME", savedHome_);
            qputenv("WINEPREFIX", savedWinePrefix_);
        }
    }

    TempTree home_;
    QByteArray savedHome_;
    QByteArray savedWinePrefix_;
};

void Cancel(QWidget* dialog) {
    qobject_cast<QDialog*>(dialog)->reject();
}

std::function<void(QWidget*)> Enter(const QString& text) {
    return [text](QWidget* dialog) {
        auto* input = qobject_cast<QInputDialog*>(dialog);
        if (input == nullptr) {
            ADD_FAILURE() << "no input box";
            dialog->close();
            return;
        }
        input->setTextValue(text);
        input->accept();
    };
}

void AnswerOk(QWidget* dialog) {
    ClickButton(dialog, QStringLiteral("OK"));
}

// Every dialog of the folder and link commands, the report window and the
// folder dialog at start, through the program's own commands and the real
// dialogs: titles exactly as the program gives them, with nothing of the
// window system added, an empty one included.
TEST_F(DesktopTest, TitlesOnTheXServerAreExactlyTheProgramsOwn) {
    home_.WriteFile("Favorites/News/n.url", ShortcutText("http://n.example/"));
    home_.WriteFile("Favorites/Alt.url", ShortcutText("alt.example"));
    DialogAnswerer answerer;

    answerer.Expect("folder dialog at start", "Bitte Verzeichnis mit Favoriten auswählen",
                    [](QWidget* dialog) {
                        // The toolkit's own texts, in German.
                        ClickButton(dialog, QStringLiteral("&Auswählen"));
                    });
    TMainForm form;
    ASSERT_TRUE(form.FolderChosen());
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_EQ(TitleOnTheServer(&form), "Vornakle");
    auto* tree = form.findChild<QTreeWidget*>(QStringLiteral("TVTree"));
    auto* list = form.findChild<QTreeView*>(QStringLiteral("LVList"));
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    QTreeWidgetItem* root = tree->topLevelItem(0);

    // Folder commands.
    answerer.Expect("create directory", "Neues Verzeichnis erstellen", Enter("News"));
    answerer.Expect("message: directory exists", "Vornakle", AnswerOk);
    form.PMCreateDirClick();
    tree->setCurrentItem(root->child(0));
    answerer.Expect("confirm directory delete", "Bestätigung",
                    [](QWidget* dialog) { ClickButton(dialog, QStringLiteral("&Nein")); });
    form.PMDeleteDirClick();
    tree->setCurrentItem(root);
    list->setCurrentIndex(list->model()->index(0, 0));
    answerer.Expect("message: link of that name in the target", "Vornakle", AnswerOk);
    form.TVTreeDragDrop(list, tree->visualItemRect(root).center());

    // Link commands.
    answerer.Expect("create link: name", "Name der Verknüpfung", Enter(QString()));
    answerer.Expect("create link: URL, under an empty name", "", Cancel);
    form.PMCreateLinkClick();
    answerer.Expect("create link: name", "Name der Verknüpfung", Enter(QStringLiteral("a[*]b")));
    answerer.Expect("create link: URL, under a name with a mark", "a[*]b", Cancel);
    form.PMCreateLinkClick();
    // A name the file system refuses: the error report.
    const std::string tooLong(300, 'n');
    answerer.Expect("create link: name", "Name der Verknüpfung",
                    Enter(QString::fromStdString(tooLong)));
    answerer.Expect("create link: URL, under a long name", tooLong,
                    Enter(QStringLiteral("www.example.org")));
    answerer.Expect("error: link file not created", "Vornakle", AnswerOk);
    GuardHandler([&form] { form.PMCreateLinkClick(); });
    list->setCurrentIndex(list->model()->index(0, 0));
    answerer.Expect("edit name", "Neuer Name", Cancel);
    form.BEditNameClick();
    answerer.Expect("edit URL", "Neue URL", Cancel);
    form.BEditURLClick();
    answerer.Expect("message: no address to open", "Vornakle", AnswerOk);
    form.PMOpenBrowser();

    // The report window and its own dialogs.
    answerer.Expect("report window", "ReportForm", [&answerer](QWidget* window) {
        auto* report = qobject_cast<TReportForm*>(window);
        if (report == nullptr) {
            ADD_FAILURE() << "no report window";
            window->close();
            return;
        }
        auto* reportList = report->findChild<QTreeView*>(QStringLiteral("LVReport"));
        reportList->setCurrentIndex(reportList->model()->index(0, 0));
        answerer.Expect("report: rename", "Neuer Name", Cancel);
        report->PMRenameClick();
        answerer.Expect("report: edit URL", "Neue URL", Cancel);
        report->PMEditURLClick();
        ClickButton(report, QStringLiteral("&OK"));
    });
    form.BReportClick();

    EXPECT_TRUE(answerer.AllAnswered());
    std::cout << "Titles read from the X server (xdotool getwindowname):\n"
              << "  main window: \"" << TitleOnTheServer(&form) << "\"\n";
    for (const DialogAnswerer::Seen& seen : answerer.Titles()) {
        std::cout << "  " << seen.dialog << ": \"" << seen.read << "\"\n";
        EXPECT_EQ(seen.read, seen.expected) << seen.dialog;
    }
}

TEST_F(DisplayTest, TheServerOfTheTestsAnswers) {
    SessionEnvironment environment = SessionEnvironment::OfProcess();
    EXPECT_TRUE(CanShowWindows(environment));
    environment.Platform = "xcb";
    EXPECT_TRUE(CanShowWindows(environment));
    environment.X11Display = ":65000";  // no server answers on it
    EXPECT_FALSE(CanShowWindows(environment));
}

}  // namespace
}  // namespace vornakle::testing
