#include "platform/ErrorMessages.h"

#include <string.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <utility>

#include "platform/TextDecoding.h"

namespace vornakle {

namespace {

// Set before any worker starts, read by every thread.
std::atomic<MessageLanguage> messageLanguage{MessageLanguage::German};

struct ReasonText {
    int Error;
    const char* German;
    const char* English;
};

// The reasons a user meets with files; the German ones in the words the
// desktop program has always used.
constexpr std::array<ReasonText, 13> kReasonTexts = {{
    {ENOENT, "Datei oder Verzeichnis nicht gefunden", "No such file or directory"},
    {EACCES, "Keine Berechtigung", "Permission denied"},
    {EPERM, "Keine Berechtigung", "Operation not permitted"},
    {ENOSPC, "Auf dem Datenträger ist kein Platz mehr frei", "No space left on device"},
    {EDQUOT, "Auf dem Datenträger ist kein Platz mehr frei", "Disk quota exceeded"},
    {EROFS, "Das Dateisystem ist schreibgeschützt", "Read-only file system"},
    {ENAMETOOLONG, "Der Name ist zu lang", "File name too long"},
    {EBUSY, "Die Datei oder das Verzeichnis wird gerade benutzt", "Device or resource busy"},
    {ETXTBSY, "Die Datei oder das Verzeichnis wird gerade benutzt", "Text file busy"},
    {EEXIST, "Der Name ist bereits vergeben", "File exists"},
    {ENOTEMPTY, "Das Verzeichnis ist nicht leer", "Directory not empty"},
    {ENOTDIR, "Ein Teil des Pfades ist kein Verzeichnis", "Not a directory"},
    {EIO, "Ein-/Ausgabefehler beim Zugriff auf den Datenträger", "Input/output error"},
}};

struct Wording {
    const char* German;
    const char* English;
};

// Indexed by FailedObject and FailedAction.
constexpr std::array<Wording, 4> kObjectWords = {{
    {"Datei ", "file "},
    {"Verzeichnis ", "folder "},
    {"Verknüpfung ", "symbolic link "},
    {"", ""},
}};
constexpr std::array<Wording, 7> kActionWords = {{
    {"geöffnet", "open"},
    {"erstellt", "create"},
    {"gelesen", "read"},
    {"geschrieben", "write"},
    {"ersetzt", "replace"},
    {"gelöscht", "delete"},
    {"verschoben", "move"},
}};

}  // namespace

void SetMessageLanguage(MessageLanguage language) {
    messageLanguage = language;
}

std::string InMessageLanguage(std::string german, std::string english) {
    return messageLanguage == MessageLanguage::German ? std::move(german) : std::move(english);
}

std::string SystemErrorText(int error) {
    for (const ReasonText& reason : kReasonTexts) {
        if (reason.Error == error) {
            return InMessageLanguage(reason.German, reason.English);
        }
    }
    // glibc's own English description, whatever the locale says.
    const char* description = ::strerrordesc_np(error);
    return InMessageLanguage("Systemfehler " + std::to_string(error),
                             description != nullptr ? std::string(description)
                                                    : "system error " + std::to_string(error));
}

std::string FailureMessage(const std::string& whatFailed, int error) {
    return whatFailed + ": " + SystemErrorText(error);
}

std::string MessagePath(const std::string& path) {
    return TextBytes(DisplayFileName(path));
}

std::string QuotedMessagePath(const std::string& path) {
    // Appended rather than "\"" + ...: GCC 12 warns falsely (-Wrestrict) on
    // that form in optimised builds.
    std::string quoted(1, '"');
    quoted += MessagePath(path);
    quoted += '"';
    return quoted;
}

std::string CannotText(FailedObject object, FailedAction action, const std::string& path) {
    const Wording& noun = kObjectWords.at(static_cast<std::size_t>(object));
    const Wording& verb = kActionWords.at(static_cast<std::size_t>(action));
    const std::string quoted = QuotedMessagePath(path);
    return InMessageLanguage(noun.German + quoted + " kann nicht " + verb.German + " werden",
                             "cannot " + std::string(verb.English) + " " + noun.English + quoted);
}

}  // namespace vornakle
