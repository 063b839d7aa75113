#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vornakle {

// The phrase tables pages are read with, and how a text is matched against
// them: letter case folded in every script, a phrase as whole words where
// a script separates its words (a phrase in Chinese or Japanese as it
// stands).

// The phrase of the error-page table (English, German, French, Spanish,
// Italian, Dutch, Portuguese, Polish, Swedish, Russian, Japanese, Chinese)
// that text holds, the first in the table's order.
std::optional<std::string_view> ErrorPagePhrase(std::string_view text);

// The phrase of a text that says "not found" and nothing else: one of its
// parts (a title's parts are set apart by " | ", " - ", ": " and the like)
// is made of error phrases and the words that go with them ("page",
// "sorry", "the", "404", ...). The number 404 is such a phrase only in that
// company: "Peugeot 404 Coupé", "Room 404", "How to fix a 404 error" and
// "Not Found (band) discography" are no error text, "404", "Error 404" and
// "Page not found | Shop" are.
std::optional<std::string_view> ErrorPageText(std::string_view text);

// What a text says beside "not found": none when no part of it is an error
// text (ErrorPageText), else its other parts, case folded, in their order;
// no parts when the text is nothing but an error text ("404 Not Found",
// "Error 404 - Page not found").
std::optional<std::vector<std::string>> ErrorTextRest(std::string_view text);

// The phrase of a search's page saying it found nothing ("no results",
// "0 results", "keine Treffer", ...), in the languages of the error-page
// table.
std::optional<std::string_view> NoResultsPhrase(std::string_view text);

// The phrase of a page offering its own domain for sale ("buy this
// domain", "domain parking", "dieser Domainname steht zum Verkauf", ...),
// in the languages of the error-page table.
std::optional<std::string_view> ParkedDomainPhrase(std::string_view text);

// The phrase of a title that robot challenges show ("Just a moment...",
// "Attention Required!", "Verify you are human", in the languages the
// challenge services speak).
std::optional<std::string_view> ChallengeTitlePhrase(std::string_view title);

// The mark of a robot challenge in a page's markup: a captcha ("captcha",
// as in "g-recaptcha" or a form of the site's own), or a challenge
// service's widget or script ("cf-turnstile"), compared without letter
// case.
std::optional<std::string_view> ChallengeMarkup(std::string_view html);

}  // namespace vornakle
