#include "http/UUProcessor.h"

#include <QBuffer>
#include <QByteArray>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vornakle {
namespace {

// Encodes input with method; the output stream starts with prefix.
std::string Encode(const std::string& input, UUMethods method,
                   const std::string& prefix = std::string()) {
    QByteArray in = QByteArray::fromStdString(input);
    QByteArray out = QByteArray::fromStdString(prefix);
    QBuffer inStream(&in);
    QBuffer outStream(&out);
    inStream.open(QIODevice::ReadOnly);
    outStream.open(QIODevice::ReadWrite);
    outStream.seek(out.size());
    TUUProcessor processor;
    processor.Method = method;
    processor.InputStream = &inStream;
    processor.OutputStream = &outStream;
    processor.Encode();
    EXPECT_EQ(outStream.pos(), 0);
    return out.toStdString();
}

TEST(UUProcessorMime, Rfc4648TestVectors) {
    // RFC 4648 section 10.
    const std::pair<std::string, std::string> vectors[] = {
        {"", ""},
        {"f", "Zg==\r\n"},
        {"fo", "Zm8=\r\n"},
        {"foo", "Zm9v\r\n"},
        {"foob", "Zm9vYg==\r\n"},
        {"fooba", "Zm9vYmE=\r\n"},
        {"foobar", "Zm9vYmFy\r\n"},
        // The last two characters of the alphabet, and zero bits.
        {std::string("\xfb\xff\xbf", 3), "+/+/\r\n"},
        {std::string("\0\0\0", 3), "AAAA\r\n"},
    };
    for (const auto& [plain, encoded] : vectors) {
        SCOPED_TRACE(plain);
        EXPECT_EQ(Encode(plain, uuMime), encoded);
    }
}

TEST(UUProcessorMime, LinesHoldFortyFiveBytesEach) {
    const std::string encoded = Encode(std::string(46, 'a'), uuMime);
    const std::size_t firstEnd = encoded.find("\r\n");
    EXPECT_EQ(firstEnd, 60u);
    EXPECT_EQ(encoded.substr(firstEnd + 2), "YQ==\r\n");
    EXPECT_EQ(Encode(std::string(90, 'a'), uuMime).size(), 2 * (60u + 2));
}

TEST(UUProcessorMime, AppendsAtTheOutputPositionAndRewinds) {
    EXPECT_EQ(Encode("foo", uuMime, "Basic "), "Basic Zm9v\r\n");
}

TEST(UUProcessorUUCode, LengthCharacterGroupsAndClosingLine) {
    // "Cat" is the classic example: length character "#" (3), then "0V%T".
    EXPECT_EQ(Encode("Cat", uuCode), "#0V%T\r\n`\r\n");
    EXPECT_EQ(Encode("", uuCode), "`\r\n");
    // A short last group is written as 2 or 3 characters, not padded.
    EXPECT_EQ(Encode("C", uuCode), "!0P\r\n`\r\n");
    EXPECT_EQ(Encode("Ca", uuCode), "\"0V$\r\n`\r\n");
    // Zero bits are the grave accent, not a blank.
    EXPECT_EQ(Encode(std::string("\0\0\0", 3), uuCode), "#````\r\n`\r\n");
    // A full line of 45 bytes has the length character "M".
    EXPECT_EQ(Encode(std::string(45, 'x'), uuCode).substr(0, 2), "M>");
}

TEST(UUProcessor, FiresBeginAndEndEvenWhenTheOutputFails) {
    QByteArray in("abc");
    QBuffer inStream(&in);
    inStream.open(QIODevice::ReadOnly);
    QByteArray out;
    QBuffer outStream(&out);
    outStream.open(QIODevice::ReadOnly);  // writing fails
    TUUProcessor processor;
    std::vector<std::string> events;
    processor.OnBeginEncode = [&](QObject* sender) {
        EXPECT_EQ(sender, &processor);
        events.push_back("begin");
    };
    processor.OnEndEncode = [&](QObject*) { events.push_back("end"); };
    processor.InputStream = &inStream;
    processor.OutputStream = &outStream;
    EXPECT_ANY_THROW(processor.Encode());
    EXPECT_EQ(events, (std::vector<std::string>{"begin", "end"}));
}

TEST(UUProcessor, ReadsTheInputFromItsStart) {
    QByteArray in("foobar");
    QBuffer inStream(&in);
    inStream.open(QIODevice::ReadOnly);
    inStream.seek(4);
    QByteArray out;
    QBuffer outStream(&out);
    outStream.open(QIODevice::ReadWrite);
    TUUProcessor processor;
    processor.InputStream = &inStream;
    processor.OutputStream = &outStream;
    processor.Encode();
    EXPECT_EQ(out.toStdString(), "Zm9vYmFy\r\n");
}

}  // namespace
}  // namespace vornakle
