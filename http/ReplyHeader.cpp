#include "http/ReplyHeader.h"

#include "net/SockStrings.h"
#include "platform/AsciiCase.h"
#include "platform/TrimBlanks.h"

#include <QDate>
#include <QDateTime>
#include <QTime>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

namespace vornakle {

namespace {

// The recognised header lines: the upper-case name with its colon, and
// where the value starts (the name, its colon and exactly one blank; a
// second blank is the value's first character).
constexpr const char* kSetCookieField = "SET-COOKIE:";
constexpr std::size_t kSetCookieValueOffset = 12;
constexpr const char* kLocationField = "LOCATION:";
constexpr std::size_t kLocationValueOffset = 10;
constexpr const char* kContentLengthField = "CONTENT-LENGTH:";
constexpr const char* kContentLengthTail = "ENGTH:";
// Reply numbers have three digits (RFC 9110 section 15); anything else
// is no answer a status can be filed from.
constexpr std::int32_t kLowestReplyNumber = 100;
constexpr std::int32_t kHighestReplyNumber = 999;

std::string WithoutLineEnd(std::string line) {
    if (!line.empty() && line.back() == '\n') {
        line.pop_back();
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
    }
    return line;
}

std::string ValueFrom(const std::string& line, std::size_t offset) {
    const std::string value = WithoutLineEnd(line);
    return offset < value.size() ? value.substr(offset) : std::string();
}

// The digits behind "Content-Length: ": the name, its colon and the one
// character after it are skipped, then anything up to the first digit; -1
// when no digit follows. A number too large for any body stays at the
// largest value.
std::int64_t ContentLength(const std::string& line, const std::string& upperLine) {
    std::size_t index = upperLine.find(kContentLengthTail);
    index += std::strlen(kContentLengthTail) + 1;
    while (index < line.size() && (line[index] < '0' || line[index] > '9')) {
        ++index;
    }
    if (index >= line.size()) {
        return -1;
    }
    constexpr std::int64_t kLargest = std::numeric_limits<std::int64_t>::max() / 10;
    std::int64_t value = 0;
    for (; index < line.size() && line[index] >= '0' && line[index] <= '9'; ++index) {
        value = value < kLargest ? value * 10 + (line[index] - '0') : kLargest;
    }
    return value;
}

// Whether a Content-Length value names one length: digits, or a list of
// digits that all give the same number ("5, 05" is 5).
bool NamesOneLength(const std::string& value) {
    std::string first;
    for (std::size_t start = 0; start <= value.size();) {
        const std::size_t comma = std::min(value.find(',', start), value.size());
        const std::string element = TrimBlanks(value.substr(start, comma - start));
        if (element.empty() || element.find_first_not_of("0123456789") != std::string::npos) {
            return false;
        }
        const std::string digits =
            element.substr(std::min(element.find_first_not_of('0'), element.size() - 1));
        if (!first.empty() && digits != first) {
            return false;
        }
        first = digits;
        start = comma + 1;
    }
    return true;
}

}  // namespace

std::int16_t StatusNumber(const std::string& statusLine) {
    const std::string field = NthWord(statusLine, ' ', 2);
    std::size_t index = 0;
    bool negative = false;
    if (index < field.size() && (field[index] == '+' || field[index] == '-')) {
        negative = field[index] == '-';
        ++index;
    }
    if (index == field.size()) {
        return 0;
    }
    std::int32_t value = 0;
    for (; index < field.size(); ++index) {
        if (field[index] < '0' || field[index] > '9') {
            return 0;
        }
        value = value * 10 + (field[index] - '0');
        if (value > kHighestReplyNumber) {
            return 0;
        }
    }
    if (negative || value < kLowestReplyNumber) {
        return 0;
    }
    return static_cast<std::int16_t>(value);
}

ReplyLine ParseReplyLine(const std::string& line) {
    ReplyLine result;
    const std::string upper = AsciiUpperCase(line);
    const std::string name = NthWord(upper, ' ', 1);
    if (name == kSetCookieField) {
        result.Field = ReplyField::SetCookie;
        result.Value = ValueFrom(line, kSetCookieValueOffset);
    } else if (name == kLocationField) {
        result.Field = ReplyField::Location;
        result.Value = TrimBlanks(ValueFrom(line, kLocationValueOffset));
    } else if (name == kContentLengthField) {
        result.Field = ReplyField::ContentLength;
        result.ContentLength = ContentLength(line, upper);
    }
    return result;
}

bool IsHeaderEnd(const std::string& line) {
    return line.empty() || line == "\n" || line == "\r\n";
}

std::int16_t LenientStatusNumber(const std::string& statusLine) {
    const std::string line = WithoutLineEnd(statusLine);
    std::size_t index = line.find_first_of(" \t");
    if (index == std::string::npos) {
        return 0;
    }
    index = line.find_first_not_of(" \t", index);
    std::int32_t value = 0;
    for (int digit = 0; digit < 3; ++digit, ++index) {
        if (index >= line.size() || line[index] < '0' || line[index] > '9') {
            return 0;
        }
        value = value * 10 + (line[index] - '0');
    }
    if ((index < line.size() && line[index] >= '0' && line[index] <= '9') ||
        value < kLowestReplyNumber) {
        return 0;
    }
    return static_cast<std::int16_t>(value);
}

ReplyLine ParseLenientReplyLine(const std::string& line) {
    ReplyLine result;
    const std::string text = WithoutLineEnd(line);
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos) {
        return result;
    }
    const std::string name = AsciiUpperCase(TrimBlanks(text.substr(0, colon)));
    const std::string value = TrimBlanks(text.substr(colon + 1));
    if (name == "SET-COOKIE") {
        result.Field = ReplyField::SetCookie;
        result.Value = value;
    } else if (name == "LOCATION") {
        result.Field = ReplyField::Location;
        result.Value = value;
    } else if (name == "RETRY-AFTER") {
        result.Field = ReplyField::RetryAfter;
        result.Value = value;
    } else if (name == "CONNECTION") {
        result.Field = ReplyField::Connection;
        result.Value = value;
    } else if (name == "TRANSFER-ENCODING") {
        result.Field = ReplyField::TransferEncoding;
        result.Value = value;
    } else if (name == "CONTENT-ENCODING") {
        result.Field = ReplyField::ContentEncoding;
        result.Value = value;
    } else if (name == "CONTENT-LENGTH") {
        result.Field = ReplyField::ContentLength;
        result.ContentLength =
            ContentLength("CONTENT-LENGTH: " + value, "CONTENT-LENGTH: " + value);
        result.LengthValid = NamesOneLength(value);
    }
    return result;
}

namespace {

// The comma-separated options of a list value, trimmed, in lower case
// (RFC 9110 section 5.6.1).
std::vector<std::string> ListOptions(const std::string& value) {
    std::vector<std::string> options;
    for (std::size_t start = 0; start <= value.size();) {
        const std::size_t comma = std::min(value.find(',', start), value.size());
        if (std::string option = TrimBlanks(value.substr(start, comma - start)); !option.empty()) {
            options.push_back(AsciiLowerCase(option));
        }
        start = comma + 1;
    }
    return options;
}

}  // namespace

bool ReplyKeepsConnection(const std::string& statusLine, const std::string& connection) {
    const std::vector<std::string> options = ListOptions(connection);
    const auto holds = [&options](const char* option) {
        return std::find(options.begin(), options.end(), option) != options.end();
    };
    if (holds("close") || statusLine.compare(0, 7, "HTTP/1.") != 0 || statusLine.size() < 8 ||
        statusLine[7] < '0' || statusLine[7] > '9') {
        return false;
    }
    return statusLine[7] != '0' || holds("keep-alive");
}

bool EndsChunked(const std::string& transferEncoding) {
    const std::vector<std::string> codings = ListOptions(transferEncoding);
    return !codings.empty() && codings.back() == "chunked";
}

bool IsFoldedLine(const std::string& line) {
    return !IsHeaderEnd(line) && (line[0] == ' ' || line[0] == '\t');
}

std::optional<std::int64_t> RetryAfterSeconds(const std::string& value, std::int64_t nowSeconds) {
    const std::string text = TrimBlanks(value);
    if (text.empty()) {
        return std::nullopt;
    }
    if (text.find_first_not_of("0123456789") == std::string::npos) {
        constexpr std::size_t kMostDigits = 12;
        return text.size() > kMostDigits ? std::numeric_limits<std::int32_t>::max()
                                         : std::stoll(text);
    }
    // IMF-fixdate, the one form senders must use: "Sun, 06 Nov 1994 08:49:37 GMT".
    static constexpr std::array<const char*, 12> kMonths = {
        "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char weekday[4] = {};
    char month[4] = {};
    char zone[4] = {};
    int day = 0;
    int year = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    if (std::sscanf(text.c_str(), "%3s, %d %3s %d %d:%d:%d %3s", weekday, &day, month, &year, &hour,
                    &minute, &second, zone) != 8 ||
        std::strcmp(zone, "GMT") != 0) {
        return std::nullopt;
    }
    int monthNumber = 0;
    for (std::size_t index = 0; index < kMonths.size(); ++index) {
        if (std::strcmp(month, kMonths[index]) == 0) {
            monthNumber = static_cast<int>(index) + 1;
        }
    }
    const QDateTime when(QDate(year, monthNumber, day), QTime(hour, minute, second), Qt::UTC);
    if (monthNumber == 0 || !when.isValid()) {
        return std::nullopt;
    }
    return std::max<std::int64_t>(0, when.toSecsSinceEpoch() - nowSeconds);
}

std::optional<std::string> HeaderFieldValue(const std::string& header, const std::string& name) {
    const std::string wanted = AsciiUpperCase(name) + ':';
    // The status line is no field.
    for (std::size_t start = header.find('\n'); start != std::string::npos;) {
        ++start;
        const std::size_t end = header.find('\n', start);
        const std::string line = WithoutLineEnd(header.substr(start, end - start + 1));
        if (AsciiUpperCase(line.substr(0, wanted.size())) == wanted) {
            return TrimBlanks(line.substr(wanted.size()));
        }
        start = end;
    }
    return std::nullopt;
}

}  // namespace vornakle

namespace vornakle {

void ReplyHead::TakeLine(const std::string& line) {
    if (!Full()) {
        Header += line;
    }
}

void ReplyHead::TakeField(const ReplyLine& field) {
    switch (field.Field) {
        case ReplyField::SetCookie:
            Cookies.push_back(field.Value);
            break;
        case ReplyField::Location:
            Location = field.Value;
            break;
        case ReplyField::RetryAfter:
            RetryAfter = field.Value;
            break;
        case ReplyField::Connection:
            Connection += ',' + field.Value;
            break;
        case ReplyField::TransferEncoding:
            TransferEncoding += ',' + field.Value;
            break;
        case ReplyField::ContentEncoding:
            ContentEncoding += ',' + field.Value;
            break;
        case ReplyField::ContentLength:
            LengthInvalid = LengthInvalid || !field.LengthValid ||
                            (ContentLength >= 0 && field.ContentLength != ContentLength);
            ContentLength = field.ContentLength;
            break;
        case ReplyField::Other:
            break;
    }
}

}  // namespace vornakle
