#include "http/RequestLines.h"

#include <QByteArray>

#include "http/HttpErrors.h"

namespace vornakle {

std::string BasicCredentials(const std::string& userId, const std::string& password) {
    // Byte for byte, however long: the credentials travel on one line.
    return QByteArray::fromStdString(userId + ":" + password).toBase64().toStdString();
}

void ThrowIfLineBreak(const std::string& line) {
    if (line.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
        throw EHeaderValueError("Invalid character in request header");
    }
}

}  // namespace vornakle
