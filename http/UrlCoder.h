#pragma once

#include <QObject>

#include <functional>
#include <string>

namespace vornakle {

// Turns a text into its form-URL-encoded form (application/x-www-form-
// urlencoded, HTML 4.01 section 17.13.4.1): a blank becomes "+", letters
// and digits stay, every other byte becomes "%" and two upper-case hex
// digits. Post uses it for its body.
class TUrlCoder : public QObject {
    Q_OBJECT

public:
    using TOnErrorEvent = std::function<void(QObject* Sender, const std::string& Operation,
                                             const std::string& ErrMsg)>;

    explicit TUrlCoder(QObject* Owner = nullptr);

    // The encoded form of PlainText, whatever its length. Should encoding
    // fail, OnError is told and PlainText comes back unchanged.
    std::string EncodeString(const std::string& PlainText);
    std::string EncodedInput() { return EncodeString(InputString); }

    std::string InputString;
    TOnErrorEvent OnError;
};

}  // namespace vornakle
