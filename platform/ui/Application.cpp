#include "platform/ui/Application.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QtDebug>

#include "platform/Exception.h"
#include "platform/TextDecoding.h"
#include "platform/ui/Dialogs.h"

namespace vornakle {
namespace {

constexpr char kUnknownErrorText[] = "Unbekannter Fehler";
constexpr char kToolkitTranslation[] = "qtbase";
constexpr char kTranslationLanguage[] = "de";

std::string ExceptionText(std::exception_ptr exception) {
    try {
        std::rethrow_exception(exception);
    } catch (const Exception& error) {
        return error.Message();
    } catch (const std::exception& error) {
        return error.what();
    } catch (...) {
        return kUnknownErrorText;
    }
}

}  // namespace

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
    // Only the name: the display name falls back to it, and a display name
    // of its own would make the X11 and Wayland plugins append " — Vornakle"
    // to every window's title.
    setApplicationName(QString::fromUtf8(kApplicationTitle));
    if (toolkitTranslator_.load(QLocale(QString::fromUtf8(kTranslationLanguage)),
                                QString::fromUtf8(kToolkitTranslation), QStringLiteral("_"),
                                QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        installTranslator(&toolkitTranslator_);
    }
}

TApplication::~TApplication() {
    removeTranslator(&toolkitTranslator_);
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ReportException(std::current_exception());
        return false;
    }
}

void ReportException(std::exception_ptr exception) noexcept {
    const std::string text = ExceptionText(exception);
    try {
        CurrentDialogs().ShowError(DisplayText(text));
    } catch (...) {
        // The report itself failed (no display, a broken dialog): the text
        // must still reach someone.
        qCritical("%s", text.c_str());
    }
}

}  // namespace vornakle
