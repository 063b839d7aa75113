#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "platform/Collation.h"

namespace vornakle {
namespace {

class GermanCollationTest : public ::testing::Test {
protected:
    const Collation collation_{QLocale(QLocale::German, QLocale::Germany)};

    std::vector<std::string> SortedByCompare(std::vector<std::string> texts) const {
        std::stable_sort(texts.begin(), texts.end(), [this](const auto& a, const auto& b) {
            return collation_.Compare(a, b) < 0;
        });
        return texts;
    }
};

TEST_F(GermanCollationTest, OrdersAsAGermanReaderExpects) {
    EXPECT_EQ(SortedByCompare({"Zitrone", "Banane", "apfel"}),
              (std::vector<std::string>{"apfel", "Banane", "Zitrone"}));
    EXPECT_EQ(SortedByCompare({"Bär", "Apfel", "Äpfel", "Baum"}),
              (std::vector<std::string>{"Apfel", "Äpfel", "Bär", "Baum"}));
    // The status texts the link list sorts by.
    EXPECT_EQ(SortedByCompare({"Gefunden", "Verboten", "", "Gateway-Zeitüberschreitung", "OK",
                               "Erstellt", "Nicht gefunden", "Fehlerhafte Anfrage", "Akzeptiert"}),
              (std::vector<std::string>{"", "Akzeptiert", "Erstellt", "Fehlerhafte Anfrage",
                                        "Gateway-Zeitüberschreitung", "Gefunden", "Nicht gefunden",
                                        "OK", "Verboten"}));
}

TEST_F(GermanCollationTest, IsCaseSensitiveAndGivesOnlySigns) {
    EXPECT_NE(collation_.Compare(std::string("a"), std::string("A")), 0);
    EXPECT_EQ(collation_.Compare(std::string("a"), std::string("A")),
              -collation_.Compare(std::string("A"), std::string("a")));
    EXPECT_EQ(collation_.Compare(std::string("Gleich"), std::string("Gleich")), 0);
    EXPECT_EQ(collation_.Compare(std::string("a"), std::string("zzzzzz")), -1);
    EXPECT_EQ(collation_.Compare(std::string("zzzzzz"), std::string("a")), 1);
}

TEST_F(GermanCollationTest, DecodesBytesLikeTheWindows) {
    // The same word from a Windows-1252 file and from a UTF-8 file.
    EXPECT_EQ(collation_.Compare(std::string("\xC4pfel"), std::string("\xC3\x84pfel")), 0);
    EXPECT_EQ(collation_.Compare(std::string("\xC4pfel"), std::string("Banane")), -1);
}

// Keys must order exactly as the comparison does in every locale, the plain
// C locale of a build machine included.
class CollationKeyTest : public ::testing::TestWithParam<QLocale> {};

TEST_P(CollationKeyTest, KeysAgreeWithTheComparison) {
    const Collation collation(GetParam());
    const std::vector<std::string> texts = {"",
                                            "a",
                                            "A",
                                            "apfel",
                                            "Apfel",
                                            "Äpfel",
                                            "\xC4pfel",
                                            "Banane",
                                            "banane",
                                            "Bär",
                                            "Baum",
                                            "Zitrone",
                                            "zitrone",
                                            "Nicht gefunden",
                                            "OK",
                                            "10",
                                            "9",
                                            "x-y",
                                            "xy",
                                            "Straße",
                                            "Strasse",
                                            "\xF0\x9F\x94\x97",
                                            "\xEF\xBF\xBD",
                                            "\xEE\x80\x80",
                                            "http://a.example/",
                                            "HTTP://A.EXAMPLE/"};
    for (const std::string& first : texts) {
        for (const std::string& second : texts) {
            EXPECT_EQ(collation.Key(first).Compare(collation.Key(second)),
                      collation.Compare(first, second))
                << first << " / " << second;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Locales, CollationKeyTest,
    ::testing::Values(QLocale(QLocale::German, QLocale::Germany),
                      QLocale(QLocale::English, QLocale::UnitedStates), QLocale::c()),
    [](const ::testing::TestParamInfo<QLocale>& parameter) {
        return parameter.param.name().replace(QLatin1Char('_'), QString()).toStdString();
    });

// Whatever locale the environment names, none included (C, POSIX), the
// user's lists are in a reader's order, not the bytes'.
TEST(SystemCollationTest, ComparesInTheUsersLocaleOrAReadersOrder) {
    EXPECT_EQ(CompareStringLocale("a", "b"), -1);
    EXPECT_EQ(CompareStringLocale("b", "a"), 1);
    EXPECT_EQ(CompareStringLocale("gleich", "gleich"), 0);
    EXPECT_EQ(CompareStringLocale("apfel", "Zeta"), -1);
    EXPECT_EQ(CompareStringLocale("\xC3\x84pfel", "Banane"), -1);
    EXPECT_EQ(SystemCollation().Locale(), CollationLocale(QLocale::system()));

    const QLocale german(QLocale::German, QLocale::Germany);
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const QLocale swedish(QLocale::Swedish, QLocale::Sweden);
    EXPECT_EQ(CollationLocale(QLocale::c()), german);
    EXPECT_EQ(CollationLocale(QLocale(QStringLiteral("C.UTF-8"))), german);
    EXPECT_EQ(CollationLocale(QLocale(QStringLiteral("POSIX"))), german);
    EXPECT_EQ(CollationLocale(english), english);
    // A real locale keeps its own order: Swedish puts "Ä" after "Z".
    EXPECT_EQ(CollationLocale(swedish), swedish);
    EXPECT_EQ(Collation(CollationLocale(swedish)).Compare(std::string("\xC3\x84"), "Z"), 1);
}

}  // namespace
}  // namespace vornakle
