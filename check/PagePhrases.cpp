#include "check/PagePhrases.h"

#include <QString>
#include <QStringList>

#include <algorithm>
#include <array>
#include <bitset>
#include <vector>

#include "platform/AsciiCase.h"

namespace vornakle {

namespace {

// Error pages say so in a few set phrases. The order is the one
// ErrorPagePhrase reports by; all are in the case ErrorPageText folds to.
constexpr auto kErrorPhrases = std::to_array<std::string_view>(
    {// English
     "not found", "404", "page does not exist", "page doesn't exist", "page doesn\u2019t exist",
     "does not exist", "doesn't exist", "doesn\u2019t exist", "page cannot be found",
     "page could not be found", "cannot be found", "can't be found", "can\u2019t be found",
     "could not be found", "couldn't be found", "couldn\u2019t be found", "can't find",
     "can\u2019t find", "cannot find", "couldn't find", "couldn\u2019t find", "could not find",
     "page no longer exists", "no longer exists", "no longer available", "page not available",
     "page isn't available", "page isn\u2019t available", "page is not available",
     "has been removed", "has been deleted",
     // German
     "nicht gefunden", "existiert nicht", "nicht mehr verf\u00fcgbar", "fehlerseite",
     "nicht mehr vorhanden", "wurde entfernt", "wurde gel\u00f6scht",
     // French
     "introuvable", "non trouv\u00e9e", "non trouv\u00e9", "n'existe pas", "n\u2019existe pas",
     "n'existe plus", "n\u2019existe plus", "page inexistante", "n'est plus disponible",
     "n\u2019est plus disponible", "pas \u00e9t\u00e9 trouv\u00e9e",
     // Spanish
     "no encontrada", "no encontrado", "no existe", "p\u00e1gina no disponible", "no se encuentra",
     "no se ha encontrado", "no se pudo encontrar", "ya no est\u00e1 disponible",
     // Italian
     "non trovata", "non trovato", "non esiste", "pagina inesistente", "pagina non disponibile",
     "non \u00e8 pi\u00f9 disponibile", "non \u00e8 stata trovata",
     // Dutch
     "niet gevonden", "bestaat niet", "niet meer beschikbaar", "niet worden gevonden",
     "pagina niet beschikbaar",
     // Portuguese
     "n\u00e3o encontrada", "n\u00e3o encontrado", "n\u00e3o existe", "n\u00e3o foi encontrada",
     "n\u00e3o foi encontrado", "p\u00e1gina indispon\u00edvel",
     "n\u00e3o est\u00e1 mais dispon\u00edvel",
     // Polish
     "nie znaleziono", "nie zosta\u0142a znaleziona", "nie istnieje",
     "nie jest ju\u017c dost\u0119pna", "strona niedost\u0119pna",
     // Swedish
     "hittades inte", "finns inte", "kunde inte hittas", "inte l\u00e4ngre tillg\u00e4nglig",
     "sidan saknas",
     // Russian
     "\u043d\u0435 \u043d\u0430\u0439\u0434\u0435\u043d\u0430",
     "\u043d\u0435 \u043d\u0430\u0439\u0434\u0435\u043d",
     "\u043d\u0435 \u0441\u0443\u0449\u0435\u0441\u0442\u0432\u0443\u0435\u0442",
     "\u043d\u0435 \u0443\u0434\u0430\u043b\u043e\u0441\u044c \u043d\u0430\u0439\u0442\u0438",
     "\u0431\u043e\u043b\u044c\u0448\u0435 \u043d\u0435 \u0434\u043e\u0441\u0442\u0443\u043f"
     "\u043d\u0430",
     "\u043e\u0448\u0438\u0431\u043a\u0430 404",
     // Japanese
     "\u898b\u3064\u304b\u308a\u307e\u305b\u3093\u3067\u3057\u305f",
     "\u898b\u3064\u304b\u308a\u307e\u305b\u3093", "\u5b58\u5728\u3057\u307e\u305b\u3093",
     "\u898b\u3064\u304b\u3089\u306a\u3044",
     "\u30da\u30fc\u30b8\u304c\u3042\u308a\u307e\u305b\u3093",
     // Chinese
     "\u9875\u9762\u4e0d\u5b58\u5728", "\u9801\u9762\u4e0d\u5b58\u5728",
     "\u7f51\u9875\u4e0d\u5b58\u5728", "\u7db2\u9801\u4e0d\u5b58\u5728",
     "\u627e\u4e0d\u5230\u9875\u9762", "\u627e\u4e0d\u5230\u9801\u9762",
     "\u627e\u4e0d\u5230\u7f51\u9875", "\u627e\u4e0d\u5230\u7db2\u9801",
     "\u9875\u9762\u672a\u627e\u5230", "\u9801\u9762\u672a\u627e\u5230",
     "\u9875\u9762\u627e\u4e0d\u5230", "\u9801\u9762\u627e\u4e0d\u5230", "\u672a\u627e\u5230",
     "\u627e\u4e0d\u5230", "\u4e0d\u5b58\u5728", "\u65e0\u6cd5\u627e\u5230",
     "\u7121\u6cd5\u627e\u5230", "\u5df2\u5220\u9664", "\u5df2\u522a\u9664", "\u5df2\u4e0b\u7ebf",
     "\u5df2\u88ab\u5220\u9664", "\u5df2\u88ab\u522a\u9664",
     "\u4e0d\u5b58\u5728\u6216\u5df2\u88ab\u5220\u9664", "\u9875\u9762\u6ca1\u6709\u627e\u5230",
     "\u6ca1\u6709\u627e\u5230"});

// Words that go with an error phrase in an error page's title or heading
// and say nothing of a page of their own: with them alone beside a phrase,
// a part of a text is an error text. In scripts without blanks between
// words, a run of letters counts when these parts make it up whole.
constexpr auto kErrorCompanions = std::to_array<std::string_view>(
    {// English
     "a", "an", "the", "this", "that", "page", "pages", "error", "http", "file", "document",
     "resource", "url", "link", "content", "item", "article", "post", "requested", "request", "you",
     "your", "re", "we", "s", "t", "is", "was", "has", "have", "been", "be", "it", "may", "seem",
     "seems", "to", "for", "of", "on", "at", "in", "here", "there", "server", "site", "website",
     "looking", "look", "trying", "tried", "reach", "sorry", "oops", "whoops", "uh", "oh", "hmm",
     "ouch", "no", "not", "or", "and", "anymore", "longer", "were", "are", "so", "but",
     "unfortunately", "moved", "deleted", "removed",
     // German
     "die", "der", "das", "diese", "dieser", "dieses", "seite", "datei", "fehler", "leider",
     "wurde", "konnte", "werden", "mehr", "angeforderte", "gesuchte", "ups", "hoppla", "ist", "sie",
     "nicht", "oder", "und", "entfernt", "verschoben",
     // French
     "la", "le", "les", "cette", "ce", "erreur", "d\u00e9sol\u00e9", "d\u00e9sol\u00e9s", "oups",
     "demand\u00e9e", "est", "n", "que", "vous", "cherchez", "recherch\u00e9e",
     // Spanish, Italian, Portuguese
     "p\u00e1gina", "pagina", "esta", "este", "lo", "sentimos", "errore", "erro", "busca", "buscas",
     "buscando", "ha", "sido", "questa", "spiacenti", "ops", "richiesta", "cercata", "solicitada",
     "desculpe", "o", "est\u00e1", "\u00e8", "il",
     // Dutch, Polish, Swedish
     "deze", "fout", "helaas", "oeps", "kan", "niet", "de", "het", "strona", "stron\u0119",
     "b\u0142\u0105d", "przepraszamy", "ta", "sidan", "fel", "tyv\u00e4rr", "hoppsan",
     // Russian
     "\u0441\u0442\u0440\u0430\u043d\u0438\u0446\u0430", "\u043e\u0448\u0438\u0431\u043a\u0430",
     "\u0438\u0437\u0432\u0438\u043d\u0438\u0442\u0435",
     "\u0437\u0430\u043f\u0440\u0430\u0448"
     "\u0438\u0432\u0430\u0435\u043c\u0430"
     "\u044f",
     // Japanese and Chinese parts
     "\u30da\u30fc\u30b8", "\u304a\u63a2\u3057\u306e", "\u306f", "\u304c", "\u3067\u3057\u305f",
     "\u7533\u3057\u8a33\u3054\u3056\u3044\u307e\u305b\u3093",
     "\u7533\u3057\u8a33\u3042\u308a\u307e\u305b\u3093", "\u30a8\u30e9\u30fc",
     "\u6307\u5b9a\u3055\u308c\u305f", "\u9875\u9762", "\u9801\u9762", "\u7f51\u9875",
     "\u7db2\u9801", "\u62b1\u6b49", "\u5bf9\u4e0d\u8d77", "\u5c0d\u4e0d\u8d77",
     "\u60a8\u8bbf\u95ee\u7684", "\u60a8\u8a2a\u554f\u7684", "\u7684", "\u4e86", "\u9519\u8bef",
     "\u932f\u8aa4", "\u6216"});

// Pages that offer their own domain for sale.
constexpr auto kParkedPhrases = std::to_array<std::string_view>(
    {// English
     "domain is for sale", "domain may be for sale", "domain for sale", "buy this domain",
     "domain parking", "parked domain", "domain is parked", "domain name is for sale",
     "make an offer on this domain", "inquire about this domain", "this domain is available",
     "parked free", "domain has expired",
     // German
     "domain steht zum verkauf", "domain ist zu verkaufen", "domain kaufen", "domain zu verkaufen",
     "domainname steht zum verkauf", "domain geparkt",
     // French
     "domaine est \u00e0 vendre", "domaine \u00e0 vendre", "acheter ce domaine",
     "nom de domaine est \u00e0 vendre",
     // Spanish
     "dominio est\u00e1 a la venta", "dominio en venta", "comprar este dominio",
     "dominio a la venta",
     // Italian
     "dominio \u00e8 in vendita", "dominio in vendita", "acquista questo dominio",
     // Dutch
     "domein is te koop", "domein te koop", "koop dit domein", "domeinnaam te koop",
     // Portuguese
     "dom\u00ednio est\u00e1 \u00e0 venda", "dom\u00ednio \u00e0 venda",
     "comprar este dom\u00ednio",
     // Polish
     "domena jest na sprzeda\u017c", "domena na sprzeda\u017c", "kup t\u0119 domen\u0119",
     // Swedish
     "dom\u00e4n \u00e4r till salu", "dom\u00e4nen \u00e4r till salu", "dom\u00e4n till salu",
     "k\u00f6p denna dom\u00e4n",
     // Russian
     "\u0434\u043e\u043c\u0435\u043d \u043f\u0440\u043e\u0434\u0430\u0435\u0442\u0441\u044f",
     "\u0434\u043e\u043c\u0435\u043d \u043f\u0440\u043e\u0434\u0430\u0451\u0442\u0441\u044f",
     "\u043a\u0443\u043f\u0438\u0442\u044c \u0434\u043e\u043c\u0435\u043d",
     "\u0434\u043e\u043c\u0435\u043d \u043d\u0430 \u043f\u0440\u043e\u0434\u0430\u0436\u0443",
     "\u0434\u043e\u043c\u0435\u043d \u0432\u044b\u0441\u0442\u0430\u0432\u043b\u0435\u043d "
     "\u043d\u0430 \u043f\u0440\u043e\u0434\u0430\u0436\u0443",
     // Japanese
     "\u3053\u306e\u30c9\u30e1\u30a4\u30f3\u306f\u8ca9\u58f2\u4e2d",
     "\u30c9\u30e1\u30a4\u30f3\u8ca9\u58f2\u4e2d",
     "\u3053\u306e\u30c9\u30e1\u30a4\u30f3\u3092\u8cfc\u5165",
     "\u30c9\u30e1\u30a4\u30f3\u306f\u58f2\u5374\u4e2d",
     // Chinese
     "\u6b64\u57df\u540d\u51fa\u552e", "\u8be5\u57df\u540d\u51fa\u552e",
     "\u8a72\u57df\u540d\u51fa\u552e", "\u57df\u540d\u51fa\u552e",
     "\u8fd9\u4e2a\u57df\u540d\u51fa\u552e", "\u9019\u500b\u57df\u540d\u51fa\u552e",
     "\u57df\u540d\u6b63\u5728\u51fa\u552e", "\u8d2d\u4e70\u6b64\u57df\u540d"});

// Titles of robot challenges, the challenge services' own translations
// included.
constexpr auto kChallengeTitles = std::to_array<std::string_view>(
    {"just a moment...",
     "just a moment\u2026",
     "attention required",
     "please wait...",
     "checking your browser",
     "verify you are human",
     "verifying you are human",
     "are you a robot",
     "are you a human",
     "human verification",
     "bot verification",
     "bot check",
     "robot check",
     "pardon our interruption",
     "access to this page has been denied",
     "please verify you are a human",
     "one more step",
     "security check",
     "ddos-guard",
     "ddos protection",
     "captcha",
     "nur einen moment",
     "einen moment bitte",
     "un instant",
     "un momento",
     "even geduld",
     "um momento",
     "chwileczk\u0119",
     "ett \u00f6gonblick",
     "\u043e\u0434\u0438\u043d \u043c\u043e\u043c\u0435\u043d\u0442",
     "\u043f\u043e\u0434\u043e\u0436\u0434\u0438\u0442\u0435",
     "\u3057\u3070\u3089\u304f\u304a\u5f85\u3061\u304f\u3060\u3055\u3044",
     "\u8bf7\u7a0d\u5019",
     "\u8acb\u7a0d\u5019",
     "\u4eba\u673a\u9a8c\u8bc1",
     "\u5b89\u5168\u9a8c\u8bc1"});

// What challenge services put into their pages: any captcha (reCAPTCHA,
// hCaptcha, DataDome's captcha-delivery, PerimeterX's px-captcha, a form of
// the site's own), Cloudflare's Turnstile and challenge scripts, and the
// marks of Incapsula, AWS WAF, DDoS-Guard and Sucuri.
constexpr auto kChallengeMarks = std::to_array<std::string_view>(
    {"captcha", "cf-turnstile", "challenges.cloudflare.com", "/cdn-cgi/challenge-platform/",
     "_incapsula_resource", "awswaf", "ddos-guard", "cf-chl-", "sucuri_cloudproxy"});

// What a search's page says when it found nothing.
constexpr auto kNoResultsPhrases = std::to_array<std::string_view>(
    {// English
     "no results", "0 results", "no matches", "0 matches", "no items found", "no products found",
     "no products were found", "nothing found", "did not match any", "returned no results",
     "found 0",
     // German
     "keine treffer", "keine ergebnisse", "0 treffer", "0 ergebnisse", "nichts gefunden",
     "keine produkte gefunden",
     // French
     "aucun r\u00e9sultat", "0 r\u00e9sultat", "0 r\u00e9sultats", "aucun produit",
     // Spanish
     "no hay resultados", "sin resultados", "0 resultados", "no se encontraron resultados",
     "ning\u00fan resultado",
     // Italian
     "nessun risultato", "0 risultati", "nessun prodotto",
     // Dutch
     "geen resultaten", "0 resultaten", "geen zoekresultaten", "niets gevonden",
     // Portuguese
     "nenhum resultado", "sem resultados", "nenhum produto",
     // Polish
     "brak wynik\u00f3w", "0 wynik\u00f3w", "nie znaleziono wynik\u00f3w",
     // Swedish
     "inga resultat", "inga tr\u00e4ffar", "0 tr\u00e4ffar",
     // Russian
     "\u043d\u0438\u0447\u0435\u0433\u043e \u043d\u0435 "
     "\u043d\u0430\u0439\u0434\u0435\u043d\u043e",
     "\u043d\u0435\u0442 \u0440\u0435\u0437\u0443\u043b\u044c\u0442\u0430\u0442\u043e\u0432",
     "0 \u0440\u0435\u0437\u0443\u043b\u044c\u0442\u0430\u0442\u043e\u0432",
     // Japanese
     "\u691c\u7d22\u7d50\u679c\u306f\u3042\u308a\u307e\u305b\u3093",
     "\u8a72\u5f53\u3059\u308b\u3082\u306e\u306f\u3042\u308a\u307e\u305b\u3093", "0\u4ef6",
     // Chinese
     "\u6ca1\u6709\u627e\u5230\u76f8\u5173", "\u6c92\u6709\u627e\u5230\u76f8\u95dc",
     "\u65e0\u7ed3\u679c", "\u7121\u7d50\u679c", "\u641c\u7d22\u7ed3\u679c\u4e3a0",
     "0\u4e2a\u7ed3\u679c"});

// Text as it is compared: case folded in every script.
QString Normalized(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).toCaseFolded();
}

// Each table folded once, as Normalized gives texts.
template <const auto& Table>
const std::vector<QString>& Folded() {
    static const std::vector<QString> folded = [] {
        std::vector<QString> entries;
        for (const std::string_view entry : Table) {
            entries.push_back(Normalized(entry));
        }
        return entries;
    }();
    return folded;
}

// Scripts that write words without blanks between them: a phrase in them
// has no word boundaries to look for.
bool IsSpaceless(QChar character) {
    const char16_t code = character.unicode();
    return (code >= 0x3040 && code <= 0x30FF) || (code >= 0x3400 && code <= 0x4DBF) ||
           (code >= 0x4E00 && code <= 0x9FFF) || (code >= 0xF900 && code <= 0xFAFF) ||
           (code >= 0x0E00 && code <= 0x0E7F);
}

bool IsWordCharacter(QChar character) {
    return character.isLetterOrNumber() || character.isMark();
}

// Whether Phrase, found in Text at At, stands there as whole words: no
// letter joins it on either side, unless its script sets words apart by no
// blanks.
bool StandsWholeAt(const QString& text, const QString& phrase, qsizetype at) {
    const qsizetype end = at + phrase.size();
    return (at == 0 || IsSpaceless(phrase.front()) || !IsWordCharacter(text[at - 1])) &&
           (end == text.size() || IsSpaceless(phrase.back()) || !IsWordCharacter(text[end]));
}

// Where Phrase stands in Text as whole words, from From on; -1 when nowhere.
qsizetype FindWhole(const QString& text, const QString& phrase, qsizetype from = 0) {
    for (qsizetype found = text.indexOf(phrase, from); found >= 0;
         found = text.indexOf(phrase, found + 1)) {
        if (StandsWholeAt(text, phrase, found)) {
            return found;
        }
    }
    return -1;
}

// A phrase table by the first code unit of its folded phrases, so that a
// text is passed over once for all of them, only its positions where some
// phrase starts compared further.
class PhraseIndex {
public:
    explicit PhraseIndex(const std::vector<QString>& phrases) : phrases_(phrases) {
        for (std::size_t index = 0; index < phrases.size(); ++index) {
            const char16_t first = phrases[index].front().unicode();
            firsts_.set(first);
            starts_.emplace_back(first, index);
        }
        std::sort(starts_.begin(), starts_.end());
    }

    // The table index of the first phrase (in the table's order) that text
    // holds as whole words, as FindWhole finds them; none when it holds
    // none.
    std::optional<std::size_t> FirstIn(const QString& text) const {
        std::optional<std::size_t> first;
        const QChar* const characters = text.constData();
        const qsizetype length = text.size();
        for (qsizetype at = 0; at < length; ++at) {
            const char16_t unit = characters[at].unicode();
            // Where words are set apart, a phrase starts only at a word's
            // start; the first unit tells which kind of phrase starts here.
            if (!firsts_.test(unit) ||
                (at > 0 && !IsSpaceless(characters[at]) && IsWordCharacter(characters[at - 1]))) {
                continue;
            }
            for (auto start = std::lower_bound(starts_.begin(), starts_.end(),
                                               std::pair<char16_t, std::size_t>(unit, 0));
                 start != starts_.end() && start->first == unit &&
                 (!first || start->second < *first);
                 ++start) {
                if (StandsWhole(text, phrases_[start->second], at)) {
                    first = start->second;
                    break;
                }
            }
        }
        return first;
    }

private:
    static bool StandsWhole(const QString& text, const QString& phrase, qsizetype at) {
        return at + phrase.size() <= text.size() &&
               QStringView(text).sliced(at, phrase.size()) == QStringView(phrase) &&
               StandsWholeAt(text, phrase, at);
    }

    const std::vector<QString>& phrases_;
    std::bitset<65536> firsts_;
    std::vector<std::pair<char16_t, std::size_t>> starts_;
};

template <const auto& Table>
std::optional<std::string_view> FirstPhrase(const QString& text) {
    static const PhraseIndex index(Folded<Table>());
    const std::optional<std::size_t> first = index.FirstIn(text);
    return first ? std::optional<std::string_view>(Table[*first]) : std::nullopt;
}

// Whether a word left beside the phrases is one that goes with them.
bool IsCompanion(const QString& word) {
    const std::vector<QString>& companions = Folded<kErrorCompanions>();
    if (std::find(companions.begin(), companions.end(), word) != companions.end()) {
        return true;
    }
    bool allDigits = true;
    for (const QChar character : word) {
        allDigits = allDigits && character.isDigit();
    }
    if (allDigits) {
        return true;
    }
    if (!IsSpaceless(word.front())) {
        return false;
    }
    // A run of Chinese or Japanese letters: made up of companions whole.
    QString rest = word;
    for (bool removed = true; removed && !rest.isEmpty();) {
        removed = false;
        for (const QString& part : companions) {
            if (IsSpaceless(part.front()) && rest.contains(part)) {
                rest.remove(part);
                removed = true;
            }
        }
    }
    return rest.isEmpty();
}

// The parts of a title: site names and sections are set apart from the
// page's own words by these.
QStringList TextParts(const QString& text) {
    QString marked = text;
    for (const char* separator : {" | ", " - ", " \u2013 ", " \u2014 ", " :: ", " \u00b7 ",
                                  " \u2022 ", " \u00bb ", " \u00ab ", " / ", ": ", " ~ "}) {
        marked.replace(QString::fromUtf8(separator), QStringLiteral("\n"));
    }
    marked.replace(QLatin1Char('|'), QLatin1Char('\n'));
    return marked.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// The error phrase a part of a text is made of, with companions only.
std::optional<std::string_view> ErrorPart(QString part) {
    std::optional<std::string_view> first;
    const std::vector<QString>& phrases = Folded<kErrorPhrases>();
    for (std::size_t index = 0; index < phrases.size(); ++index) {
        const QString& folded = phrases[index];
        for (qsizetype found = FindWhole(part, folded); found >= 0;
             found = FindWhole(part, folded, found)) {
            part.replace(found, folded.size(), QString(folded.size(), QLatin1Char(' ')));
            if (!first) {
                first = kErrorPhrases[index];
            }
        }
    }
    if (!first) {
        return std::nullopt;
    }
    QString word;
    const auto wordIsCompanion = [&word] {
        const bool fits = word.isEmpty() || IsCompanion(word);
        word.clear();
        return fits;
    };
    for (const QChar character : part) {
        if (IsWordCharacter(character)) {
            word += character;
        } else if (!wordIsCompanion()) {
            return std::nullopt;
        }
    }
    return wordIsCompanion() ? first : std::nullopt;
}

}  // namespace

std::optional<std::string_view> ErrorPagePhrase(std::string_view text) {
    return FirstPhrase<kErrorPhrases>(Normalized(text));
}

std::optional<std::string_view> ErrorPageText(std::string_view text) {
    for (const QString& part : TextParts(Normalized(text))) {
        if (const std::optional<std::string_view> phrase = ErrorPart(part)) {
            return phrase;
        }
    }
    return std::nullopt;
}

std::optional<std::vector<std::string>> ErrorTextRest(std::string_view text) {
    bool error = false;
    std::vector<std::string> rest;
    for (const QString& part : TextParts(Normalized(text))) {
        if (ErrorPart(part)) {
            error = true;
        } else {
            rest.push_back(part.trimmed().toStdString());
        }
    }
    return error ? std::optional(std::move(rest)) : std::nullopt;
}

std::optional<std::string_view> NoResultsPhrase(std::string_view text) {
    return FirstPhrase<kNoResultsPhrases>(Normalized(text));
}

std::optional<std::string_view> ParkedDomainPhrase(std::string_view text) {
    return FirstPhrase<kParkedPhrases>(Normalized(text));
}

std::optional<std::string_view> ChallengeTitlePhrase(std::string_view title) {
    return FirstPhrase<kChallengeTitles>(Normalized(title));
}

std::optional<std::string_view> ChallengeMarkup(std::string_view html) {
    const std::string lower = AsciiLowerCase(html);
    for (const std::string_view mark : kChallengeMarks) {
        if (lower.find(mark) != std::string::npos) {
            return mark;
        }
    }
    return std::nullopt;
}

}  // namespace vornakle
