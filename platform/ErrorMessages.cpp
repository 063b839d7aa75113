#include "platform/ErrorMessages.h"

#include <cerrno>

#include "platform/TextDecoding.h"

namespace vornakle {

std::string SystemErrorText(int error) {
    switch (error) {
        case ENOENT:
            return "Datei oder Verzeichnis nicht gefunden";
        case EACCES:
        case EPERM:
            return "Keine Berechtigung";
        case ENOSPC:
        case EDQUOT:
            return "Auf dem Datenträger ist kein Platz mehr frei";
        case EROFS:
            return "Das Dateisystem ist schreibgeschützt";
        case ENAMETOOLONG:
            return "Der Name ist zu lang";
        case EBUSY:
        case ETXTBSY:
            return "Die Datei oder das Verzeichnis wird gerade benutzt";
        case EEXIST:
            return "Der Name ist bereits vergeben";
        case ENOTEMPTY:
            return "Das Verzeichnis ist nicht leer";
        case ENOTDIR:
            return "Ein Teil des Pfades ist kein Verzeichnis";
        case EIO:
            return "Ein-/Ausgabefehler beim Zugriff auf den Datenträger";
        default:
            return "Systemfehler " + std::to_string(error);
    }
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

}  // namespace vornakle
