#include "platform/ui/QtDialogs.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

#include "platform/TextDecoding.h"
#include "platform/ui/WindowTitle.h"

namespace vornakle {
namespace {

const QString kConfirmationTitle = QStringLiteral("Bestätigung");
const QString kYesText = QStringLiteral("&Ja");
const QString kNoText = QStringLiteral("&Nein");
const QString kOkText = QStringLiteral("OK");
const QString kCancelText = QStringLiteral("Abbrechen");

// A dialog opened before the main window shows has no owner; later ones stay
// above the window the user is working in.
QWidget* DialogOwner() {
    return QApplication::activeWindow();
}

void ShowMessageBox(QMessageBox::Icon icon, const QString& text) {
    QMessageBox box(icon, QString::fromUtf8(kApplicationTitle), text, QMessageBox::NoButton,
                    DialogOwner());
    QPushButton* ok = box.addButton(kOkText, QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    box.exec();
}

}  // namespace

void QtDialogs::ShowMessage(const QString& text) {
    ShowMessageBox(QMessageBox::NoIcon, text);
}

void QtDialogs::ShowError(const QString& text) {
    ShowMessageBox(QMessageBox::Critical, text);
}

bool QtDialogs::Confirm(const QString& text) {
    QMessageBox box(QMessageBox::Question, kConfirmationTitle, text, QMessageBox::NoButton,
                    DialogOwner());
    QPushButton* yes = box.addButton(kYesText, QMessageBox::YesRole);
    QPushButton* no = box.addButton(kNoText, QMessageBox::NoRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

std::optional<QString> QtDialogs::InputBox(const QString& title, const QString& prompt,
                                           const QString& initialText) {
    QInputDialog dialog(DialogOwner());
    dialog.setInputMode(QInputDialog::TextInput);
    SetExactWindowTitle(&dialog, title);
    dialog.setLabelText(prompt);
    dialog.setTextValue(initialText);
    dialog.setOkButtonText(kOkText);
    dialog.setCancelButtonText(kCancelText);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.textValue();
}

std::optional<std::string> QtDialogs::BrowseForFolder(const QString& prompt,
                                                      const std::string& suggestion) {
    // A suggestion that is no existing directory is dropped rather than
    // letting the dialog fall back to some unrelated place.
    QString start;
    const QString suggested = DisplayFileName(suggestion);
    if (!suggestion.empty() && QFileInfo(suggested).isDir()) {
        start = suggested;
    }
    const QString chosen =
        QFileDialog::getExistingDirectory(DialogOwner(), prompt, start, QFileDialog::ShowDirsOnly);
    if (chosen.isEmpty()) {
        return std::nullopt;
    }
    return FileNameBytes(chosen);
}

bool QtDialogs::OpenUrl(const std::string& url) {
    return QDesktopServices::openUrl(QUrl(DisplayText(url), QUrl::TolerantMode));
}

}  // namespace vornakle
