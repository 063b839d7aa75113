#pragma once

#include <QIODevice>
#include <QObject>

#include <array>
#include <cstdint>
#include <functional>

namespace vornakle {

enum UUMethods : std::uint8_t {
    // MIME Base64 (RFC 2045 section 6.8, alphabet of RFC 4648 section 4).
    uuMime = 0,
    // The body lines of uuencode: a length character, then the groups.
    uuCode = 1,
};

// Encodes the bytes of one stream into the text of another, as Base64 or as
// uuencode lines of at most kBytesPerLine input bytes, each ended by CR LF.
// The client uses it in Base64 mode for Basic credentials.
class TUUProcessor : public QObject {
    Q_OBJECT

public:
    using TNotifyEvent = std::function<void(QObject* Sender)>;

    // Input bytes per output line: 45 bytes give 60 characters.
    static constexpr int kBytesPerLine = 45;

    explicit TUUProcessor(QObject* Owner = nullptr);

    // Reads InputStream from its start to its end and writes the encoded text
    // to OutputStream at its position; afterwards OutputStream is at its
    // start, also after a failure. Both streams must be set and open. A read
    // or write failure raises EFileError.
    void Encode();

    UUMethods Method = uuMime;
    // Not owned; the caller frees them.
    QIODevice* InputStream = nullptr;
    QIODevice* OutputStream = nullptr;

    TNotifyEvent OnBeginEncode;
    // Fired when Encode ends, also after a failure.
    TNotifyEvent OnEndEncode;
    // Part of the published interface; nothing fires them, as the component
    // offers no decoding.
    TNotifyEvent OnBeginDecode;
    TNotifyEvent OnEndDecode;

    // The code table of the current Method, loaded by Encode.
    std::array<char, 64> Alphabet{};

private:
    void LoadAlphabet();
    void EncodeLines();
};

}  // namespace vornakle
