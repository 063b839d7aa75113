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

// Every case of the web-platform-tests' URL data: its href, or its
// failure; counted apart for those whose input, or base and relative input,
// is an http(s) address.
TEST(WebUrl, ReadsTheStandardsTestData) {
    QFile file(QStringLiteral(VORNAKLE_URL_TEST_DATA));
    if (!file.open(QIODevice::ReadOnly)) {
        GTEST_SKIP() << "the URL Standard's test data is not there: " << VORNAKLE_URL_TEST_DATA;
    }
    const QJsonArray data = QJsonDocument::fromJson(file.readAll()).array();
    ASSERT_FALSE(data.isEmpty());
    int valid = 0;
    int serialized = 0;
    int failures = 0;
    int refused = 0;
    int cases = 0;
    int passed = 0;
    for (const QJsonValue& entry : data) {
        if (!entry.isObject()) {
            continue;
        }
        const QJsonObject test = entry.toObject();
        const std::string input = test["input"].toString().toStdString();
        const bool hasBase = test["base"].isString();
        const std::string base = test["base"].toString().toStdString();
        const std::string scheme = SchemeOf(input);
        const bool web =
            IsWebScheme(scheme) || (scheme.empty() && hasBase && IsWebScheme(SchemeOf(base)));
        const std::optional<WebUrl> url = hasBase ? ResolveWebUrl(base, input) : ParseWebUrl(input);
        const bool failure = test["failure"].toBool();
        const std::string expected = failure ? "(failure)" : test["href"].toString().toStdString();
        const bool right = (url ? url->Href() : "(failure)") == expected;
        EXPECT_TRUE(right) << "'" << input << "' against '" << base << "' gave "
                           << (url ? url->Href() : "(failure)") << ", not " << expected;
        ++cases;
        passed += right ? 1 : 0;
        if (web) {
            (failure ? failures : valid) += 1;
            (failure ? refused : serialized) += right ? 1 : 0;
        }
    }
    std::printf(
        "URL data: %d of %d valid http(s) cases serialized as the Standard says, "
        "%d of %d failures refused; all schemes: %d of %d cases as the Standard says\n",
        serialized, valid, refused, failures, passed, cases);
}

}  // namespace
}  // namespace vornakle
