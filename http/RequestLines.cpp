#include "http/RequestLines.h"

#include <QBuffer>

#include <iterator>

#include "http/HttpClient.h"
#include "http/UUProcessor.h"

namespace vornakle {

namespace {

constexpr std::string_view kRequestWords[] = {
    "GET",  "OPTIONS", "HEAD",   "POST", "PUT",    "PATCH",
    "COPY", "MOVE",    "DELETE", "LINK", "UNLINK", "TRACE",
};

}  // namespace

std::string_view RequestWord(CmdType kind) {
    return kind < std::size(kRequestWords) ? kRequestWords[kind] : std::string_view();
}

bool SendsBody(CmdType kind) {
    return kind == cmdPost || kind == cmdPut || kind == cmdPatch || kind == cmdTrace;
}

std::string BasicCredentials(const std::string& userId, const std::string& password) {
    QByteArray plain = QByteArray::fromStdString(userId + ":" + password);
    QByteArray encoded;
    QBuffer input(&plain);
    QBuffer output(&encoded);
    input.open(QIODevice::ReadOnly);
    output.open(QIODevice::ReadWrite);
    TUUProcessor processor;
    processor.Method = uuMime;
    processor.InputStream = &input;
    processor.OutputStream = &output;
    processor.Encode();
    // The encoder ends every line of 60 characters with CR LF, which a
    // header value must not hold.
    std::string text;
    for (const char character : encoded) {
        if (character != '\r' && character != '\n') {
            text += character;
        }
    }
    return text;
}

void ThrowIfLineBreak(const std::string& line) {
    if (line.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
        throw EHeaderValueError("Invalid character in request header");
    }
}

}  // namespace vornakle
