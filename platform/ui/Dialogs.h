#pragma once

#include <QString>
#include <memory>
#include <optional>
#include <string>

namespace vornakle {

// The caption of every message box, and the application's name.
inline constexpr char kApplicationTitle[] = "Vornakle";

// The kinds of question the program asks; tests read them from the record.
enum class DialogKind {
    Message,       // a note with an OK button
    Error,         // the error report of an exception
    Confirmation,  // a yes/no question
    Input,         // a line of text, or cancel
    Folder,        // a directory, or cancel
    OpenUrl,       // a URL handed to the default handler
};

// Every interaction with the user goes through this interface, so that each
// command can run end to end in a test with scripted answers instead of a
// person, and so that opening a URL never starts a browser there.
class Dialogs {
public:
    virtual ~Dialogs() = default;

    // A message box captioned kApplicationTitle, with an OK button.
    virtual void ShowMessage(const QString& text) = 0;

    // The same box with the error icon: the report of a failure.
    virtual void ShowError(const QString& text) = 0;

    // A box titled "Bestätigung" with "&Ja" (the default) and "&Nein" (also
    // Escape and the close box). True only for "&Ja": closing the box some
    // other way must never count as consent to a destructive command.
    virtual bool Confirm(const QString& text) = 0;

    // A one-line input box with "OK" and "Abbrechen", pre-filled with
    // initialText. The text as typed, or nothing when cancelled.
    virtual std::optional<QString> InputBox(const QString& title, const QString& prompt,
                                            const QString& initialText) = 0;

    // A folder picker titled with the prompt, starting at the suggestion when
    // that is an existing directory. The chosen directory as file-system
    // bytes, or nothing when cancelled.
    virtual std::optional<std::string> BrowseForFolder(const QString& prompt,
                                                       const std::string& suggestion) = 0;

    // Hands an address to open (AddressToOpen of a shortcut's URL) to the
    // desktop's default handler. False when it could not be handed over.
    virtual bool OpenUrl(const std::string& address) = 0;
};

// The implementation in use: the one installed last, and the real Qt dialogs
// until anything is installed.
Dialogs& CurrentDialogs();

// Makes dialogs the implementation in use; returns the one it replaces (null
// when none was made yet).
std::unique_ptr<Dialogs> InstallDialogs(std::unique_ptr<Dialogs> dialogs);

// Installs an implementation for its own lifetime and then puts the previous
// one back: what a test fixture holds.
class DialogsInstallation {
public:
    explicit DialogsInstallation(std::unique_ptr<Dialogs> dialogs);
    ~DialogsInstallation();
    DialogsInstallation(const DialogsInstallation&) = delete;
    DialogsInstallation& operator=(const DialogsInstallation&) = delete;

private:
    std::unique_ptr<Dialogs> previous_;
};

}  // namespace vornakle
