#include "http/WebUrl.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cctype>
#include <cstdio>
#include <string>

namespace vornakle {
namespace {

// The scheme an input names before its ":", in lower case, as the parser
// reads it after dropping blanks, tabs and line breaks; empty for none.
std::string SchemeOf(const std::string& input) {
    std::string scheme;
    bool started = false;
    for (const char character : input) {
        const auto code = static_cast<unsigned char>(character);
        if ((!started && code <= 0x20) || character == '\t' || character == '\n' ||
            character == '\r') {
            continue;
        }
        started = true;
        if (character == ':') {
            return scheme;
        }
        const bool letter = std::isalpha(code) != 0;
        if (!letter && (scheme.empty() || (std::isdigit(code) == 0 && character != '+' &&
                                           character != '-' && character != '.'))) {
            return std::string();
        }
        scheme += static_cast<char>(std::tolower(code));
    }
    return std::string();
}

bool IsWebScheme(const std::string& scheme) {
    return scheme == "http" || scheme == "https";
}

// Every case of the web-platform-tests' URL data whose input, or base and
// relative input, is an http(s) address: its href, or its failure.
TEST(WebUrl, ReadsTheStandardsTestData) {
    QFile file(QStringLiteral(VORNAKLE_URL_TEST_DATA));
    if (!file.open(QIODevice::ReadOnly)) {
        GTEST_SKIP() << "the URL Standard's test data is not there: " << VORNAKLE_URL_TEST_DATA;
    }
    const QJsonArray cases = QJsonDocument::fromJson(file.readAll()).array();
    ASSERT_FALSE(cases.isEmpty());
    int valid = 0;
    int serialized = 0;
    int failures = 0;
    int refused = 0;
    for (const QJsonValue& entry : cases) {
        if (!entry.isObject()) {
            continue;
        }
        const QJsonObject test = entry.toObject();
        const std::string input = test["input"].toString().toStdString();
        const bool hasBase = test["base"].isString();
        const std::string base = test["base"].toString().toStdString();
        const std::string scheme = SchemeOf(input);
        if (!IsWebScheme(scheme) && !(scheme.empty() && hasBase && IsWebScheme(SchemeOf(base)))) {
            continue;
        }
        const std::optional<WebUrl> url = hasBase ? ResolveWebUrl(base, input) : ParseWebUrl(input);
        if (test["failure"].toBool()) {
            ++failures;
            refused += url ? 0 : 1;
            EXPECT_FALSE(url) << "'" << input << "' against '" << base << "' gave " << url->Href();
        } else {
            ++valid;
            const std::string href = test["href"].toString().toStdString();
            serialized += url && url->Href() == href ? 1 : 0;
            EXPECT_EQ(url ? url->Href() : "(failure)", href)
                << "'" << input << "' against '" << base << "'";
        }
    }
    std::printf(
        "URL data: %d of %d valid http(s) cases serialized as the Standard says, "
        "%d of %d failures refused\n",
        serialized, valid, refused, failures);
}

}  // namespace
}  // namespace vornakle
