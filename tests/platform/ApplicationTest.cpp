#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QPushButton>
#include <QTest>
#include <stdexcept>

#include "platform/Exception.h"
#include "platform/ui/Application.h"
#include "platform/ui/GraphicalSession.h"
#include "support/ScriptedDialogs.h"

namespace vornakle {
namespace {

// Throws what it is told to from its event handler, and counts the events it
// handled without throwing.
class ThrowingObject : public QObject {
public:
    static constexpr QEvent::Type kThrowEvent = static_cast<QEvent::Type>(QEvent::User + 1);
    static constexpr QEvent::Type kQuietEvent = static_cast<QEvent::Type>(QEvent::User + 2);

    std::function<void()> thrower;
    int quietEvents = 0;

    bool event(QEvent* event) override {
        if (event->type() == kThrowEvent) {
            thrower();
            return true;
        }
        if (event->type() == kQuietEvent) {
            ++quietEvents;
            return true;
        }
        return QObject::event(event);
    }
};

class ApplicationTest : public ::testing::Test {
protected:
    ApplicationTest()
        : installation_(std::make_unique<ScriptedDialogs>()),
          dialogs_(static_cast<ScriptedDialogs&>(CurrentDialogs())) {}

    DialogsInstallation installation_;
    ScriptedDialogs& dialogs_;
    ThrowingObject object_;
};

TEST_F(ApplicationTest, IsTitledVornakle) {
    EXPECT_EQ(QCoreApplication::applicationName(), QStringLiteral("Vornakle"));
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), QStringLiteral("Vornakle"));
}

// Whether a window can be shown is asked before the toolkit would abort.
TEST(GraphicalSessionTest, WindowsNeedAScreenOrAPlatformWithoutOne) {
    // No X server answers on a display of this number.
    const std::string silentDisplay = ":65000";
    const struct {
        SessionEnvironment environment;
        bool canShow;
    } cases[] = {
        {{"", "", ""}, false},
        {{"xcb", "", ""}, false},
        {{"", "", silentDisplay}, false},
        {{"xcb", "wayland-0", ""}, false},
        {{"", "wayland-0", ""}, true},
        {{"wayland-egl", "wayland-0", ""}, true},
        {{"offscreen", "", ""}, true},
        {{"offscreen:fontengine=freetype", "", ""}, true},
        {{"xcb;vnc", "", ""}, true},
        {{"wayland", "", silentDisplay}, false},
    };
    for (const auto& item : cases) {
        EXPECT_EQ(CanShowWindows(item.environment), item.canShow)
            << "QT_QPA_PLATFORM=" << item.environment.Platform
            << " WAYLAND_DISPLAY=" << item.environment.WaylandDisplay
            << " DISPLAY=" << item.environment.X11Display;
    }
}

// scripts/install-deps installs the translation (qt6-translations-l10n): a
// machine without it shows the folder dialog at start in English.
TEST_F(ApplicationTest, ToolkitDialogsSpeakGerman) {
    EXPECT_TRUE(QFileInfo::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) +
                                  QStringLiteral("/qtbase_de.qm")))
        << "the toolkit's German translation is missing";
    const std::pair<const char*, const char*> texts[] = {
        {"Open", "Öffnen"}, {"&Choose", "&Auswählen"}, {"Look in:", "Suchen in:"}};
    for (const auto& [english, german] : texts) {
        EXPECT_EQ(QCoreApplication::translate("QFileDialog", english), QString::fromUtf8(german));
    }
}

TEST_F(ApplicationTest, ExceptionFromAHandlerIsShownAndTheProgramGoesOn) {
    object_.thrower = [] { throw EFileError("Datei C:\\Fav\\x.url kann nicht geöffnet werden"); };
    QEvent throwing(ThrowingObject::kThrowEvent);
    EXPECT_FALSE(QCoreApplication::sendEvent(&object_, &throwing));

    QCoreApplication::postEvent(&object_, new QEvent(ThrowingObject::kThrowEvent));
    QCoreApplication::postEvent(&object_, new QEvent(ThrowingObject::kQuietEvent));
    QCoreApplication::processEvents();

    const std::vector<DialogQuestion>& shown = dialogs_.Questions();
    ASSERT_EQ(shown.size(), 2u);
    for (const DialogQuestion& question : shown) {
        EXPECT_EQ(question.kind, DialogKind::Error);
        EXPECT_EQ(question.caption, QStringLiteral("Vornakle"));
        EXPECT_EQ(question.text, QStringLiteral("Datei C:\\Fav\\x.url kann nicht geöffnet werden"));
    }
    EXPECT_EQ(object_.quietEvents, 1);
}

TEST_F(ApplicationTest, EveryKindOfExceptionGetsAText) {
    const std::vector<std::function<void()>> throwers = {
        [] { throw std::runtime_error("Laufzeitfehler"); },
        [] { throw 42; },
        // A path from a Windows-made collection, not UTF-8.
        [] { throw Exception("Datei \xE4.url fehlt"); },
    };
    for (const auto& thrower : throwers) {
        object_.thrower = thrower;
        QEvent throwing(ThrowingObject::kThrowEvent);
        QCoreApplication::sendEvent(&object_, &throwing);
    }
    EXPECT_EQ(dialogs_.Texts(DialogKind::Error),
              (std::vector<QString>{QStringLiteral("Laufzeitfehler"),
                                    QStringLiteral("Unbekannter Fehler"),
                                    QStringLiteral("Datei ä.url fehlt")}));
}

// A slot guarded at its edge: the exception never unwinds through the
// widget's own frames (which would skip their clean-up), and the click is
// finished normally.
TEST_F(ApplicationTest, GuardedClickHandlerReportsAndTheButtonKeepsWorking) {
    QPushButton button(QStringLiteral("&Verify Link"));
    int clicks = 0;
    QObject::connect(&button, &QPushButton::clicked, &button, [&clicks] {
        GuardHandler([&clicks] {
            if (++clicks == 1) {
                throw EFileError("Erster Klick schlägt fehl");
            }
        });
    });
    button.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&button));

    QTest::mouseClick(&button, Qt::LeftButton);
    QTest::mouseClick(&button, Qt::LeftButton);

    EXPECT_EQ(clicks, 2);
    EXPECT_FALSE(button.isDown());
    EXPECT_EQ(dialogs_.Texts(DialogKind::Error),
              std::vector<QString>{QStringLiteral("Erster Klick schlägt fehl")});
}

TEST_F(ApplicationTest, GuardedHandlerReportsInsteadOfThrowing) {
    bool after = false;
    GuardHandler([] { throw EFileError("Bewacht"); });
    after = true;
    EXPECT_TRUE(after);
    EXPECT_EQ(dialogs_.Texts(DialogKind::Error), std::vector<QString>{QStringLiteral("Bewacht")});
}

}  // namespace
}  // namespace vornakle
