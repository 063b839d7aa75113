#include "platform/TextDecoding.h"

#include <QFile>
#include <array>

namespace vornakle {
namespace {

// Windows-1252 differs from Latin-1 only in 0x80 to 0x9F. The five bytes the
// code page leaves undefined map to the C1 control of the same value, as the
// Windows converter does, so no byte is ever lost.
constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 0x88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 0x98
};

QString DecodeWindows1252(const std::string& bytes) {
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()));
    for (char byte : bytes) {
        const auto code = static_cast<unsigned char>(byte);
        if (code >= 0x80 && code <= 0x9F) {
            text.append(QChar(kWindows1252High[code - 0x80]));
        } else {
            text.append(QChar(static_cast<char16_t>(code)));
        }
    }
    return text;
}

bool IsContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

}  // namespace

bool IsValidUtf8(std::string_view bytes) {
    const std::size_t size = bytes.size();
    std::size_t index = 0;
    while (index < size) {
        const auto lead = static_cast<unsigned char>(bytes[index]);
        if (lead < 0x80) {
            ++index;
            continue;
        }
        std::size_t length = 0;
        char32_t codePoint = 0;
        char32_t minimum = 0;
        if ((lead & 0xE0) == 0xC0) {
            length = 2;
            codePoint = lead & 0x1F;
            minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            codePoint = lead & 0x0F;
            minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            codePoint = lead & 0x07;
            minimum = 0x10000;
        } else {
            return false;
        }
        if (size - index < length) {
            return false;
        }
        for (std::size_t offset = 1; offset < length; ++offset) {
            const auto next = static_cast<unsigned char>(bytes[index + offset]);
            if (!IsContinuation(next)) {
                return false;
            }
            codePoint = (codePoint << 6) | (next & 0x3F);
        }
        if (codePoint < minimum || codePoint > 0x10FFFF ||
            (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
            return false;
        }
        index += length;
    }
    return true;
}

QString DisplayText(const std::string& bytes) {
    if (IsValidUtf8(bytes)) {
        return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    }
    return DecodeWindows1252(bytes);
}

std::string DisplayUtf8(const std::string& bytes) {
    if (IsValidUtf8(bytes)) {
        return bytes;
    }
    return DecodeWindows1252(bytes).toUtf8().toStdString();
}

QString DisplayFileName(const std::string& name) {
    return QFile::decodeName(QByteArray(name.data(), static_cast<qsizetype>(name.size())));
}

std::string TextBytes(const QString& text) {
    return text.toUtf8().toStdString();
}

std::string FileNameBytes(const QString& name) {
    return QFile::encodeName(name).toStdString();
}

}  // namespace vornakle
