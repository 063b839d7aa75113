#include "check/VerdictTexts.h"

#include <QDateTime>

#include <algorithm>
#include <array>
#include <vector>

#include "check/NonWebLinks.h"
#include "http/UrlReference.h"
#include "platform/TextDecoding.h"

namespace vornakle {

namespace {

struct TokenText {
    std::string_view Token;
    std::string_view German;
};

// Every reason token (ReasonToken) and every signal (SignalToken).
constexpr auto kGermanTexts = std::to_array<TokenText>({
    {"no-url", "Die Verkn\u00fcpfung enth\u00e4lt keine Adresse"},
    {"url-too-long", "Die Adresse ist zu lang"},
    {"unsupported-scheme", "Adressen dieser Art werden nicht gepr\u00fcft"},
    {"not-web", "Kein Web-Link \u2013 nicht gepr\u00fcft"},
    {"other-system", "Datei auf einem anderen Rechner \u2013 nicht gepr\u00fcft"},
    {"file-missing", "Datei fehlt"},
    {"file-unreadable", "Datei ist nicht lesbar"},
    {"invalid-url", "Die Adresse ist ung\u00fcltig"},
    {"dns", "Der Name des Servers ist unbekannt"},
    {"refused", "Der Server nimmt keine Verbindung an"},
    {"unreachable", "Der Server ist nicht erreichbar"},
    {"connect-failed", "Keine Verbindung zum Server"},
    {"timeout", "Der Server hat nicht rechtzeitig geantwortet"},
    {"reset", "Der Server hat die Verbindung abgebrochen"},
    {"socket-error", "Fehler der Netzwerkverbindung"},
    {"malformed-reply", "Die Antwort des Servers ist keine g\u00fcltige HTTP-Antwort"},
    {"redirect-loop", "Die Weiterleitungen f\u00fchren im Kreis"},
    {"too-many-redirects", "Zu viele Weiterleitungen"},
    {"no-location", "Weiterleitung ohne Ziel"},
    {"certificate-unknown-issuer", "Das Zertifikat stammt von einer unbekannten Stelle"},
    {"certificate-self-signed", "Das Zertifikat ist selbst signiert"},
    {"certificate-expired", "Das Zertifikat ist abgelaufen"},
    {"certificate-not-yet-valid", "Das Zertifikat ist noch nicht g\u00fcltig"},
    {"certificate-host-mismatch", "Das Zertifikat gilt f\u00fcr einen anderen Namen"},
    {"certificate-invalid", "Das Zertifikat ist ung\u00fcltig"},
    {"tls-protocol", "Keine gemeinsame TLS-Version oder Verschl\u00fcsselung"},
    {"tls-handshake", "Die sichere Verbindung kam nicht zustande"},
    {"rate-limited", "Zu viele Anfragen: der Server bittet um Geduld"},
    {"proxy", "Der Proxy hat keine Verbindung hergestellt"},
    {"unreadable", "Die Verkn\u00fcpfungsdatei ist nicht lesbar"},
    {"pattern-undecided", "Ein Filtermuster war f\u00fcr diese Adresse nicht entscheidbar"},
    {"aborted", "Die Pr\u00fcfung wurde abgebrochen"},
    {"error", "Fehler bei der Pr\u00fcfung"},
    {"front-page-redirect", "Weiterleitung auf die Startseite"},
    {"sign-in-redirect", "Weiterleitung auf die Anmeldeseite"},
    {"moved-away", "Weiterleitung auf die Startseite einer anderen Website"},
    {"error-page-redirect", "Weiterleitung auf eine Fehlerseite"},
    {"parked-domain", "Die Domain wird zum Verkauf angeboten"},
    {"soft-404-title", "Der Seitentitel meldet, dass die Seite fehlt"},
    {"soft-404-heading", "Die \u00dcberschrift meldet, dass die Seite fehlt"},
    {"same-as-made-up-address",
     "Die Website zeigt dieselbe Seite auch f\u00fcr eine erfundene "
     "Adresse"},
    {"auth-required", "Die Seite verlangt eine Anmeldung"},
    {"proxy-auth-required", "Ein Proxy verlangt eine Anmeldung"},
    {"challenge-header", "Die Website pr\u00fcft, ob ein Mensch fragt"},
    {"challenge-page", "Die Website zeigt Programmen eine Pr\u00fcfseite statt der Seite"},
    {"bot-status", "Die Website weist Programme mit einer eigenen Antwortnummer ab"},
    {"sign-in-return", "Die Anmeldeseite f\u00fchrt danach zu dieser Seite zur\u00fcck"},
    {"empty-page",
     "Die Seite ist leer, w\u00e4hrend die Website erfundene Adressen als fehlend meldet"},
    {"search-redirect", "Weiterleitung auf die Suche der Website"},
    {"access-denied-reference",
     "Das Auslieferungsnetz der Website weist Programme mit einer Referenznummer ab"},
    {"incident-id", "Der Schutz vor Programmen weist mit einer Vorfallsnummer ab"},
    {"captcha-delivery", "Der Schutz vor Programmen zeigt ein Captcha statt der Seite"},
    {"press-and-hold", "Die Website verlangt, eine Schaltfl\u00e4che gedr\u00fcckt zu halten"},
    {"firewall-block", "Die Firewall der Website weist Programme ab"},
});

// A URL or a detail as the lists show texts: bytes that are no UTF-8 read
// as Windows-1252.
std::string Shown(const std::string& bytes) {
    return DisplayText(bytes).toUtf8().toStdString();
}

// "Text (token)", and ": detail" when there is one.
std::string Line(std::string_view token, const std::string& detail) {
    std::string line = std::string(GermanText(token)) + " (" + std::string(token) + ")";
    if (!detail.empty()) {
        line += ": " + Shown(detail);
    }
    return line;
}

}  // namespace

std::string_view GermanText(std::string_view token) {
    for (const TokenText& entry : kGermanTexts) {
        if (entry.Token == token) {
            return entry.German;
        }
    }
    return std::string_view();
}

std::string GermanVerdict(const CheckResult& result, const std::string& url) {
    std::vector<std::string> lines;
    if (result.Reason != FailureReason::None) {
        // The details of reasons are the checker's English sentences; only
        // the scheme of a link refused or not checked as it stands and the
        // path of a file link are worth showing.
        const bool refusedScheme =
            result.Reason == FailureReason::UnsupportedScheme && result.FinalUrl.empty();
        std::string detail;
        if (refusedScheme) {
            detail = LinkScheme(url);
        } else if (result.Reason == FailureReason::NotWeb) {
            detail = SchemeOfLink(url) + ':';
        } else if (result.Reason == FailureReason::FileMissing ||
                   result.Reason == FailureReason::FileUnreadable) {
            detail = result.Detail;
        }
        lines.push_back(Line(ReasonToken(result.Reason), detail));
    }
    if (result.Found == Finding::Moved) {
        lines.push_back("Dauerhaft verschoben nach " + Shown(result.FinalUrl));
    } else if (!result.FinalUrl.empty() && result.FinalUrl != url) {
        lines.push_back("Weitergeleitet nach " + Shown(result.FinalUrl));
    }
    // An intermediate certificate the server left out: reached as a
    // browser reaches it, but worth telling its owner.
    for (const RequestHop& hop : result.Hops) {
        for (const std::string& address : hop.IssuersFetched) {
            std::string line = "Zwischenzertifikat geladen von " + Shown(address);
            if (std::find(lines.begin(), lines.end(), line) == lines.end()) {
                lines.push_back(std::move(line));
            }
        }
    }
    const std::string clue = result.FoundBy.Kind == Signal::None
                                 ? std::string()
                                 : Line(SignalToken(result.FoundBy.Kind), result.FoundBy.Detail);
    switch (result.Found) {
        case Finding::Suspect:
            lines.push_back("Verd\u00e4chtig: " + clue);
            break;
        case Finding::Login:
            lines.push_back("Erreichbar nach Anmeldung: " + clue);
            break;
        case Finding::Blocked:
            lines.push_back("Von hier nicht pr\u00fcfbar: " + clue);
            break;
        case Finding::Moved:
        case Finding::Accepted:
        case Finding::NotChecked:
        case Finding::None:
            break;
    }
    std::string text;
    for (const std::string& line : lines) {
        if (!text.empty()) {
            text += '\n';
        }
        text += line;
    }
    return text;
}

std::string GermanFailingRun(std::int64_t sinceSeconds, int failures) {
    const QString since =
        QDateTime::fromSecsSinceEpoch(sinceSeconds).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    const std::string checks = failures == 1
                                   ? std::string("1 Pr\u00fcfung")
                                   : std::to_string(failures) + " Pr\u00fcfungen in Folge";
    return "Fehlgeschlagen seit " + since.toStdString() + " (" + checks + ")";
}

}  // namespace vornakle
