#include <gtest/gtest.h>

#include "platform/TextDecoding.h"

namespace vornakle {
namespace {

struct DecodingCase {
    const char* bytes;
    const char16_t* expected;
};

TEST(DisplayTextTest, DecodesUtf8WhenValidElseWindows1252) {
    const DecodingCase cases[] = {
        {"http://example.com/", u"http://example.com/"},
        {"Zeit\xC3\xBC"
         "berschreitung",
         u"Zeitüberschreitung"},  // UTF-8
        {"Zeit\xFC"
         "berschreitung",
         u"Zeitüberschreitung"},              // Windows-1252
        {"\x80 \x84 \x9F", u"€ „ Ÿ"},         // the 0x80 row differs from Latin-1
        {"a\x81z", u"a\u0081z"},              // undefined bytes stay
        {"\xF0\x9F\x94\x97", u"\U0001F517"},  // four bytes
        {"\xC0\xAF", u"À¯"},                  // overlong: not UTF-8
        {"\xED\xA0\x80", u"í\u00A0€"},        // surrogate: not UTF-8
        {"\xF4\x90\x80\x80", u"ô\u0090€€"},   // above U+10FFFF
        {"caf\xC3", u"cafÃ"},                 // cut short
    };
    for (const DecodingCase& testCase : cases) {
        EXPECT_EQ(DisplayText(testCase.bytes), QString::fromUtf16(testCase.expected))
            << testCase.bytes;
    }
}

TEST(DisplayTextTest, TypedTextRoundTripsThroughBytes) {
    const QString typed = QStringLiteral("http://bücher.example/€?q=ß");
    EXPECT_EQ(TextBytes(typed),
              "http://b\xC3\xBC"
              "cher.example/\xE2\x82\xAC?q=\xC3\x9F");
    EXPECT_EQ(DisplayText(TextBytes(typed)), typed);
}

TEST(DisplayFileNameTest, TypedNameRoundTripsThroughBytes) {
    const QString typed = QStringLiteral("Übersicht (2).url");
    EXPECT_EQ(DisplayFileName(FileNameBytes(typed)), typed);
}

}  // namespace
}  // namespace vornakle
