#include "store/LinkStatus.h"

namespace vornakle {

int StatusImageIndex(std::int32_t status) {
    switch (status) {
        case 1:
            return kImageNotTested;
        case 2:
        case 200:
        case 302:
        case 304:
            return kImageOk;
        case 3:
        case 301:
        case 401:
        case 403:
        case 404:
        case 500:
        case 501:
            return kImageInvalid;
        case 4:
            return kImageBeingTested;
        default:
            return kImageUnknown;
    }
}

std::string StatusText(std::int32_t status) {
    switch (status) {
        case 1:
        case 2:
        case 3:
        case 4:
        case 5:
            return std::string();
        case 200:
            return "OK";
        case 201:
            return "Erstellt";
        case 202:
            return "Akzeptiert";
        case 206:
            return "Partielle Information";
        case 301:
            return "Verzogen";
        case 302:
            return "Gefunden";
        case 304:
            return "Nicht geändert";
        case 400:
            return "Fehlerhafte Anfrage";
        case 401:
            return "Nicht autorisiert";
        case 403:
            return "Verboten";
        case 404:
            return "Nicht gefunden";
        case 500:
            return "Interner Fehler";
        case 501:
            return "Nicht implementiert";
        // The historical text of this table, kept as users know it.
        case 502:
            return "Gateway-Zeitüberschreitung";
        case 503:
            return "Vorübergehend nicht verfügbar";
        default:
            return "Unbekannt";
    }
}

}  // namespace vornakle
