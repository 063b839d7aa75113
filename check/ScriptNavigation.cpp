#include "check/ScriptNavigation.h"

namespace vornakle {

namespace {

// Reads one statement from the front of a script's text, token by token.
class StatementReader {
public:
    explicit StatementReader(std::string_view text) : text_(text) {}

    void SkipBlanks() {
        while (!text_.empty() &&
               (text_.front() == ' ' || text_.front() == '\t' || text_.front() == '\n' ||
                text_.front() == '\r' || text_.front() == '\f')) {
            text_.remove_prefix(1);
        }
    }

    // Takes token (after blanks) when the text goes on with it.
    bool Take(std::string_view token) {
        SkipBlanks();
        if (!text_.starts_with(token)) {
            return false;
        }
        // A name must end where the token does: "locationX" is another.
        if (IsNameByte(token.back()) && text_.size() > token.size() &&
            IsNameByte(text_[token.size()])) {
            return false;
        }
        text_.remove_prefix(token.size());
        return true;
    }

    // A string literal in single or double quotes, on one line.
    std::optional<std::string> Literal() {
        SkipBlanks();
        if (text_.empty() || (text_.front() != '\'' && text_.front() != '"')) {
            return std::nullopt;
        }
        const char quote = text_.front();
        text_.remove_prefix(1);
        std::string value;
        while (!text_.empty() && text_.front() != quote) {
            char character = text_.front();
            text_.remove_prefix(1);
            if (character == '\n' || character == '\r') {
                return std::nullopt;
            }
            if (character == '\\') {
                if (text_.empty() || (text_.front() != '\\' && text_.front() != '\'' &&
                                      text_.front() != '"' && text_.front() != '/')) {
                    return std::nullopt;
                }
                character = text_.front();
                text_.remove_prefix(1);
            }
            value += character;
        }
        if (text_.empty()) {
            return std::nullopt;
        }
        text_.remove_prefix(1);
        return value;
    }

    bool AtEnd() {
        SkipBlanks();
        return text_.empty();
    }

    std::string_view& Rest() { return text_; }

private:
    static bool IsNameByte(char character) {
        return (character >= 'a' && character <= 'z') || (character >= 'A' && character <= 'Z') ||
               (character >= '0' && character <= '9') || character == '_' || character == '$';
    }

    std::string_view text_;
};

// Drops the "<!--" before and the "-->" (or "//-->") after a script that
// old pages hid from browsers without scripts.
std::string_view WithoutCommentWrapping(std::string_view text) {
    StatementReader reader(text);
    reader.SkipBlanks();
    std::string_view rest = reader.Rest();
    if (rest.starts_with("<!--")) {
        rest.remove_prefix(4);
    }
    while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\t' || rest.back() == '\n' ||
                             rest.back() == '\r' || rest.back() == '\f')) {
        rest.remove_suffix(1);
    }
    if (rest.ends_with("-->")) {
        rest.remove_suffix(3);
        if (rest.ends_with("//")) {
            rest.remove_suffix(2);
        }
    }
    return rest;
}

}  // namespace

std::optional<std::string> ScriptAddress(std::string_view script) {
    StatementReader reader(WithoutCommentWrapping(script));
    // The objects whose location is the page's own.
    if (reader.Take("window") || reader.Take("self") || reader.Take("top")) {
        if (!reader.Take(".")) {
            return std::nullopt;
        }
        if (reader.Take("document") && !reader.Take(".")) {
            return std::nullopt;
        }
    } else if (reader.Take("document") && !reader.Take(".")) {
        return std::nullopt;
    }
    if (!reader.Take("location")) {
        return std::nullopt;
    }
    std::optional<std::string> address;
    if (reader.Take(".")) {
        if (reader.Take("href")) {
            if (reader.Take("=") && !reader.Take("=")) {
                address = reader.Literal();
            }
        } else if ((reader.Take("replace") || reader.Take("assign")) && reader.Take("(")) {
            address = reader.Literal();
            if (address && !reader.Take(")")) {
                address.reset();
            }
        }
    } else if (reader.Take("=") && !reader.Take("=")) {
        address = reader.Literal();
    }
    if (!address) {
        return std::nullopt;
    }
    reader.Take(";");
    return reader.AtEnd() ? address : std::nullopt;
}

}  // namespace vornakle
