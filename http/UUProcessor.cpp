#include "http/UUProcessor.h"

#include "platform/Exception.h"

#include <string>

namespace vornakle {

namespace {

constexpr char kMimeAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
static_assert(sizeof kMimeAlphabet == 64 + 1);

// uuencode writes value 0 as the grave accent rather than a blank, so that
// trailing blanks cannot be lost in transit; 1 to 63 are "!" to "_".
constexpr char kUUZero = '`';
constexpr char kUUFirst = '!';

// The pad character of Base64 (RFC 4648 section 4).
constexpr char kPad = '=';

}  // namespace

TUUProcessor::TUUProcessor(QObject* Owner) : QObject(Owner) {}

void TUUProcessor::LoadAlphabet() {
    if (Method == uuMime) {
        for (std::size_t index = 0; index < Alphabet.size(); ++index) {
            Alphabet[index] = kMimeAlphabet[index];
        }
        return;
    }
    Alphabet[0] = kUUZero;
    for (std::size_t index = 1; index < Alphabet.size(); ++index) {
        Alphabet[index] = static_cast<char>(kUUFirst + index - 1);
    }
}

void TUUProcessor::Encode() {
    if (InputStream == nullptr || OutputStream == nullptr) {
        throw Exception("Encoder streams not set");
    }
    InputStream->seek(0);
    if (OnBeginEncode) {
        OnBeginEncode(this);
    }
    // Whatever happens, the output is rewound and the end reported.
    const auto finish = [this] {
        OutputStream->seek(0);
        if (OnEndEncode) {
            OnEndEncode(this);
        }
    };
    try {
        EncodeLines();
    } catch (...) {
        finish();
        throw;
    }
    finish();
}

void TUUProcessor::EncodeLines() {
    LoadAlphabet();
    const auto code = [this](unsigned value) { return Alphabet[value & 0x3F]; };
    char input[kBytesPerLine];
    while (InputStream->pos() < InputStream->size()) {
        const qint64 count = InputStream->read(input, kBytesPerLine);
        if (count <= 0) {
            throw EFileError("Stream read error");
        }
        std::string line;
        line.reserve(kBytesPerLine / 3 * 4 + 3);
        if (Method == uuCode) {
            line += code(static_cast<unsigned>(count));
        }
        const auto byte = [&input](qint64 index) {
            return static_cast<unsigned>(static_cast<unsigned char>(input[index]));
        };
        qint64 index = 0;
        for (; index + 3 <= count; index += 3) {
            const unsigned b0 = byte(index), b1 = byte(index + 1), b2 = byte(index + 2);
            line += code(b0 >> 2);
            line += code((b0 << 4) | (b1 >> 4));
            line += code((b1 << 2) | (b2 >> 6));
            line += code(b2);
        }
        if (count - index == 1) {
            const unsigned b0 = byte(index);
            line += code(b0 >> 2);
            line += code((b0 << 4) & 0x30);
            if (Method == uuMime) {
                line += kPad;
                line += kPad;
            }
        } else if (count - index == 2) {
            const unsigned b0 = byte(index), b1 = byte(index + 1);
            line += code(b0 >> 2);
            line += code(((b0 << 4) & 0x30) | (b1 >> 4));
            line += code((b1 << 2) & 0x3C);
            if (Method == uuMime) {
                line += kPad;
            }
        }
        line += "\r\n";
        if (OutputStream->write(line.data(), static_cast<qint64>(line.size())) !=
            static_cast<qint64>(line.size())) {
            throw EFileError("Stream write error");
        }
    }
    if (Method == uuCode) {
        const std::string closing = std::string(1, Alphabet[0]) + "\r\n";
        if (OutputStream->write(closing.data(), static_cast<qint64>(closing.size())) !=
            static_cast<qint64>(closing.size())) {
            throw EFileError("Stream write error");
        }
    }
}

}  // namespace vornakle
