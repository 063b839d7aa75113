// The URL Standard's basic URL parser, a state machine over the input's
// bytes. Code points above ASCII only ever get percent-encoded here, byte
// by byte as their UTF-8 form, or handed to the host parser whole, so the
// bytes serve as well as decoded code points would.

#include "http/WebUrl.h"

#include <array>
#include <utility>

#include "http/WebHost.h"

namespace vornakle {

namespace {

constexpr int kEnd = -1;
constexpr std::uint32_t kMaxPort = 65535;
constexpr std::string_view kHexDigits = "0123456789ABCDEF";

enum class State {
    SchemeStart,
    Scheme,
    NoScheme,
    SpecialRelativeOrAuthority,
    PathOrAuthority,
    Relative,
    RelativeSlash,
    SpecialAuthoritySlashes,
    SpecialAuthorityIgnoreSlashes,
    Authority,
    Host,
    Port,
    File,
    FileSlash,
    FileHost,
    PathStart,
    Path,
    OpaquePath,
    Query,
    Fragment,
};

// The Standard's percent-encode sets; each holds the ones before it.
enum class EncodeSet { C0Control, Fragment, Query, SpecialQuery, Path, Userinfo };

bool InSet(unsigned char code, EncodeSet set) {
    if (code < 0x20 || code > 0x7E) {
        return true;
    }
    const auto in = [code](std::string_view characters) {
        return characters.find(static_cast<char>(code)) != std::string_view::npos;
    };
    switch (set) {
        case EncodeSet::C0Control:
            return false;
        case EncodeSet::Fragment:
            return in(" \"<>`");
        case EncodeSet::Query:
            return in(" \"#<>");
        case EncodeSet::SpecialQuery:
            return in(" \"#<>'");
        case EncodeSet::Path:
            return in(" \"#<>?^`{}");
        case EncodeSet::Userinfo:
            return in(" \"#<>?^`{}/:;=@[\\]|");
    }
    return false;
}

void AppendEncoded(std::string& out, char character, EncodeSet set) {
    const auto code = static_cast<unsigned char>(character);
    if (InSet(code, set)) {
        out += '%';
        out += kHexDigits[code >> 4];
        out += kHexDigits[code & 0xF];
    } else {
        out += character;
    }
}

bool IsAsciiAlpha(int c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsAsciiDigit(int c) {
    return c >= '0' && c <= '9';
}

char Lower(int c) {
    return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
}

bool EqualsLower(std::string_view text, std::string_view lower) {
    if (text.size() != lower.size()) {
        return false;
    }
    for (std::size_t index = 0; index < text.size(); ++index) {
        if (Lower(static_cast<unsigned char>(text[index])) != lower[index]) {
            return false;
        }
    }
    return true;
}

bool IsSingleDot(std::string_view segment) {
    return segment == "." || EqualsLower(segment, "%2e");
}

bool IsDoubleDot(std::string_view segment) {
    return segment == ".." || EqualsLower(segment, ".%2e") || EqualsLower(segment, "%2e.") ||
           EqualsLower(segment, "%2e%2e");
}

bool IsWindowsDriveLetter(std::string_view text) {
    return text.size() == 2 && IsAsciiAlpha(text[0]) && (text[1] == ':' || text[1] == '|');
}

bool IsNormalizedWindowsDriveLetter(std::string_view text) {
    return IsWindowsDriveLetter(text) && text[1] == ':';
}

bool StartsWithWindowsDriveLetter(std::string_view text) {
    return text.size() >= 2 && IsWindowsDriveLetter(text.substr(0, 2)) &&
           (text.size() == 2 || text[2] == '/' || text[2] == '\\' || text[2] == '?' ||
            text[2] == '#');
}

bool IsSpecialScheme(std::string_view scheme) {
    return DefaultPortOf(scheme).has_value() || scheme == "file";
}

void ShortenPath(WebUrl& url) {
    if (url.Scheme == "file" && url.Path.size() == 1 &&
        IsNormalizedWindowsDriveLetter(url.Path[0])) {
        return;
    }
    if (!url.Path.empty()) {
        url.Path.pop_back();
    }
}

// Leading and trailing C0 controls and spaces go, and every tab and line
// break inside: what a copy out of a mail or a wrapped line brings along.
std::string CleanedInput(std::string_view input) {
    while (!input.empty() && static_cast<unsigned char>(input.front()) <= 0x20) {
        input.remove_prefix(1);
    }
    while (!input.empty() && static_cast<unsigned char>(input.back()) <= 0x20) {
        input.remove_suffix(1);
    }
    std::string cleaned;
    cleaned.reserve(input.size());
    for (const char character : input) {
        if (character != '\t' && character != '\n' && character != '\r') {
            cleaned += character;
        }
    }
    return cleaned;
}

// One run of the parser over one input.
class UrlParser {
public:
    UrlParser(std::string input, const WebUrl* base) : input_(std::move(input)), base_(base) {}

    std::optional<WebUrl> Run() {
        for (pointer_ = 0;; ++pointer_) {
            if (!Step(At(pointer_))) {
                return std::nullopt;
            }
            // A step may move the pointer back, even from the end.
            if (pointer_ >= std::ssize(input_)) {
                return url_;
            }
        }
    }

private:
    int At(std::ptrdiff_t index) const {
        if (index < 0 || index >= std::ssize(input_)) {
            return kEnd;
        }
        return static_cast<unsigned char>(input_[static_cast<std::size_t>(index)]);
    }
    std::string_view Remaining() const {
        const auto next = static_cast<std::size_t>(pointer_ + 1);
        return next < input_.size() ? std::string_view(input_).substr(next) : std::string_view();
    }
    std::string_view FromPointer() const {
        const auto here = static_cast<std::size_t>(pointer_);
        return here < input_.size() ? std::string_view(input_).substr(here) : std::string_view();
    }
    bool Special() const { return IsSpecialScheme(url_.Scheme); }
    // Whether c ends a special URL's authority or path segment as "/" does.
    bool IsSlash(int c) const { return c == '/' || (Special() && c == '\\'); }
    bool EndsHost(int c) const { return c == kEnd || c == '?' || c == '#' || IsSlash(c); }

    void TakeBaseAuthority() {
        url_.Username = base_->Username;
        url_.Password = base_->Password;
        url_.Host = base_->Host;
        url_.Port = base_->Port;
    }

    // One step of the state machine on c; false for failure.
    bool Step(int c) {
        switch (state_) {
            case State::SchemeStart:
                if (IsAsciiAlpha(c)) {
                    buffer_ += Lower(c);
                    state_ = State::Scheme;
                } else {
                    state_ = State::NoScheme;
                    --pointer_;
                }
                return true;
            case State::Scheme:
                return SchemeStep(c);
            case State::NoScheme:
                return NoSchemeStep(c);
            case State::SpecialRelativeOrAuthority:
                if (c == '/' && Remaining().starts_with('/')) {
                    state_ = State::SpecialAuthorityIgnoreSlashes;
                    ++pointer_;
                } else {
                    state_ = State::Relative;
                    --pointer_;
                }
                return true;
            case State::PathOrAuthority:
                if (c == '/') {
                    state_ = State::Authority;
                } else {
                    state_ = State::Path;
                    --pointer_;
                }
                return true;
            case State::Relative:
                RelativeStep(c);
                return true;
            case State::RelativeSlash:
                if (Special() && (c == '/' || c == '\\')) {
                    state_ = State::SpecialAuthorityIgnoreSlashes;
                } else if (c == '/') {
                    state_ = State::Authority;
                } else {
                    TakeBaseAuthority();
                    state_ = State::Path;
                    --pointer_;
                }
                return true;
            case State::SpecialAuthoritySlashes:
                state_ = State::SpecialAuthorityIgnoreSlashes;
                if (c == '/' && Remaining().starts_with('/')) {
                    ++pointer_;
                } else {
                    --pointer_;
                }
                return true;
            case State::SpecialAuthorityIgnoreSlashes:
                if (c != '/' && c != '\\') {
                    state_ = State::Authority;
                    --pointer_;
                }
                return true;
            case State::Authority:
                return AuthorityStep(c);
            case State::Host:
                return HostStep(c);
            case State::Port:
                return PortStep(c);
            case State::File:
                FileStep(c);
                return true;
            case State::FileSlash:
                FileSlashStep(c);
                return true;
            case State::FileHost:
                return FileHostStep(c);
            case State::PathStart:
                PathStartStep(c);
                return true;
            case State::Path:
                PathStep(c);
                return true;
            case State::OpaquePath:
                OpaquePathStep(c);
                return true;
            case State::Query:
                QueryStep(c);
                return true;
            case State::Fragment:
                if (c != kEnd) {
                    AppendEncoded(*url_.Fragment, static_cast<char>(c), EncodeSet::Fragment);
                }
                return true;
        }
        return false;
    }

    bool SchemeStep(int c) {
        if (IsAsciiAlpha(c) || IsAsciiDigit(c) || c == '+' || c == '-' || c == '.') {
            buffer_ += Lower(c);
            return true;
        }
        if (c != ':') {
            // No scheme after all: the input is read again from its start.
            buffer_.clear();
            state_ = State::NoScheme;
            pointer_ = -1;
            return true;
        }
        url_.Scheme = std::exchange(buffer_, std::string());
        if (url_.Scheme == "file") {
            state_ = State::File;
        } else if (Special() && base_ != nullptr && base_->Scheme == url_.Scheme) {
            state_ = State::SpecialRelativeOrAuthority;
        } else if (Special()) {
            state_ = State::SpecialAuthoritySlashes;
        } else if (Remaining().starts_with('/')) {
            state_ = State::PathOrAuthority;
            ++pointer_;
        } else {
            url_.OpaquePath = true;
            url_.Path.assign(1, std::string());
            state_ = State::OpaquePath;
        }
        return true;
    }

    bool NoSchemeStep(int c) {
        if (base_ == nullptr || (base_->OpaquePath && c != '#')) {
            return false;
        }
        if (base_->OpaquePath) {
            url_.Scheme = base_->Scheme;
            url_.Path = base_->Path;
            url_.OpaquePath = true;
            url_.Query = base_->Query;
            url_.Fragment.emplace();
            state_ = State::Fragment;
            return true;
        }
        state_ = base_->Scheme == "file" ? State::File : State::Relative;
        --pointer_;
        return true;
    }

    void RelativeStep(int c) {
        url_.Scheme = base_->Scheme;
        if (IsSlash(c)) {
            state_ = State::RelativeSlash;
            return;
        }
        TakeBaseAuthority();
        url_.Path = base_->Path;
        url_.Query = base_->Query;
        if (c == '?') {
            url_.Query.emplace();
            state_ = State::Query;
        } else if (c == '#') {
            url_.Fragment.emplace();
            state_ = State::Fragment;
        } else if (c != kEnd) {
            url_.Query.reset();
            ShortenPath(url_);
            state_ = State::Path;
            --pointer_;
        }
    }

    bool AuthorityStep(int c) {
        if (c == '@') {
            if (atSignSeen_) {
                buffer_.insert(0, "%40");
            }
            atSignSeen_ = true;
            for (const char character : buffer_) {
                if (character == ':' && !passwordTokenSeen_) {
                    passwordTokenSeen_ = true;
                    continue;
                }
                AppendEncoded(passwordTokenSeen_ ? url_.Password : url_.Username, character,
                              EncodeSet::Userinfo);
            }
            buffer_.clear();
        } else if (EndsHost(c)) {
            if (atSignSeen_ && buffer_.empty()) {
                return false;
            }
            pointer_ -= std::ssize(buffer_) + 1;
            buffer_.clear();
            state_ = State::Host;
        } else {
            buffer_ += static_cast<char>(c);
        }
        return true;
    }

    bool TakeHost() {
        std::optional<std::string> host =
            ParseWebHost(buffer_, Special() ? HostKind::Special : HostKind::Opaque);
        if (!host) {
            return false;
        }
        url_.Host = std::move(host);
        buffer_.clear();
        return true;
    }

    bool HostStep(int c) {
        if (c == ':' && !insideBrackets_) {
            if (buffer_.empty() || !TakeHost()) {
                return false;
            }
            state_ = State::Port;
        } else if (EndsHost(c)) {
            --pointer_;
            if (Special() && buffer_.empty()) {
                return false;
            }
            if (!TakeHost()) {
                return false;
            }
            state_ = State::PathStart;
        } else {
            if (c == '[') {
                insideBrackets_ = true;
            } else if (c == ']') {
                insideBrackets_ = false;
            }
            buffer_ += static_cast<char>(c);
        }
        return true;
    }

    bool PortStep(int c) {
        if (IsAsciiDigit(c)) {
            // Leading zeros are allowed in any number, so the value, not the
            // text, is bounded.
            port_ = port_ * 10 + static_cast<std::uint32_t>(c - '0');
            if (port_ > kMaxPort) {
                return false;
            }
            buffer_ += static_cast<char>(c);
            return true;
        }
        if (!EndsHost(c)) {
            return false;
        }
        if (!buffer_.empty()) {
            const auto port = static_cast<std::uint16_t>(port_);
            if (DefaultPortOf(url_.Scheme) == port) {
                url_.Port.reset();
            } else {
                url_.Port = port;
            }
            buffer_.clear();
        }
        state_ = State::PathStart;
        --pointer_;
        return true;
    }

    void FileStep(int c) {
        url_.Scheme = "file";
        url_.Host = std::string();
        if (c == '/' || c == '\\') {
            state_ = State::FileSlash;
            return;
        }
        if (base_ != nullptr && base_->Scheme == "file") {
            url_.Host = base_->Host;
            url_.Path = base_->Path;
            url_.Query = base_->Query;
            if (c == '?') {
                url_.Query.emplace();
                state_ = State::Query;
                return;
            }
            if (c == '#') {
                url_.Fragment.emplace();
                state_ = State::Fragment;
                return;
            }
            if (c == kEnd) {
                // The base itself, without its fragment.
                return;
            }
            url_.Query.reset();
            if (!StartsWithWindowsDriveLetter(FromPointer())) {
                ShortenPath(url_);
            } else {
                url_.Path.clear();
            }
        }
        state_ = State::Path;
        --pointer_;
    }

    void FileSlashStep(int c) {
        if (c == '/' || c == '\\') {
            state_ = State::FileHost;
            return;
        }
        if (base_ != nullptr && base_->Scheme == "file") {
            url_.Host = base_->Host;
            if (!StartsWithWindowsDriveLetter(FromPointer()) && !base_->Path.empty() &&
                IsNormalizedWindowsDriveLetter(base_->Path[0])) {
                url_.Path.push_back(base_->Path[0]);
            }
        }
        state_ = State::Path;
        --pointer_;
    }

    bool FileHostStep(int c) {
        if (c != kEnd && c != '/' && c != '\\' && c != '?' && c != '#') {
            buffer_ += static_cast<char>(c);
            return true;
        }
        --pointer_;
        if (IsWindowsDriveLetter(buffer_)) {
            // A drive letter is the path's first segment, which the path
            // state takes from the buffer.
            state_ = State::Path;
            return true;
        }
        if (buffer_.empty()) {
            url_.Host = std::string();
        } else {
            if (!TakeHost()) {
                return false;
            }
            if (url_.Host == "localhost") {
                url_.Host = std::string();
            }
        }
        state_ = State::PathStart;
        return true;
    }

    void PathStartStep(int c) {
        if (Special()) {
            state_ = State::Path;
            if (c != '/' && c != '\\') {
                --pointer_;
            }
        } else if (c == '?') {
            url_.Query.emplace();
            state_ = State::Query;
        } else if (c == '#') {
            url_.Fragment.emplace();
            state_ = State::Fragment;
        } else if (c != kEnd) {
            state_ = State::Path;
            if (c != '/') {
                --pointer_;
            }
        }
    }

    void PathStep(int c) {
        if (c != kEnd && !IsSlash(c) && c != '?' && c != '#') {
            AppendEncoded(buffer_, static_cast<char>(c), EncodeSet::Path);
            return;
        }
        if (IsDoubleDot(buffer_)) {
            ShortenPath(url_);
            if (!IsSlash(c)) {
                url_.Path.emplace_back();
            }
        } else if (IsSingleDot(buffer_)) {
            if (!IsSlash(c)) {
                url_.Path.emplace_back();
            }
        } else {
            if (url_.Scheme == "file" && url_.Path.empty() && IsWindowsDriveLetter(buffer_)) {
                buffer_[1] = ':';
            }
            url_.Path.push_back(buffer_);
        }
        buffer_.clear();
        if (c == '?') {
            url_.Query.emplace();
            state_ = State::Query;
        } else if (c == '#') {
            url_.Fragment.emplace();
            state_ = State::Fragment;
        }
    }

    void OpaquePathStep(int c) {
        if (c == '?') {
            url_.Query.emplace();
            state_ = State::Query;
        } else if (c == '#') {
            url_.Fragment.emplace();
            state_ = State::Fragment;
        } else if (c == ' ' && (Remaining().starts_with('?') || Remaining().starts_with('#'))) {
            // A blank before the query or fragment would otherwise end the
            // path when the URL is read again.
            url_.Path[0] += "%20";
        } else if (c != kEnd) {
            AppendEncoded(url_.Path[0], static_cast<char>(c), EncodeSet::C0Control);
        }
    }

    void QueryStep(int c) {
        if (c != kEnd && c != '#') {
            buffer_ += static_cast<char>(c);
            return;
        }
        const EncodeSet set = Special() ? EncodeSet::SpecialQuery : EncodeSet::Query;
        for (const char character : buffer_) {
            AppendEncoded(*url_.Query, character, set);
        }
        buffer_.clear();
        if (c == '#') {
            url_.Fragment.emplace();
            state_ = State::Fragment;
        }
    }

    std::string input_;
    const WebUrl* base_;
    WebUrl url_;
    State state_ = State::SchemeStart;
    std::string buffer_;
    std::ptrdiff_t pointer_ = 0;
    std::uint32_t port_ = 0;
    bool atSignSeen_ = false;
    bool insideBrackets_ = false;
    bool passwordTokenSeen_ = false;
};

}  // namespace

std::optional<std::uint16_t> DefaultPortOf(std::string_view scheme) {
    struct SchemePort {
        std::string_view Scheme;
        std::uint16_t Port;
    };
    static constexpr std::array<SchemePort, 5> kDefaultPorts{{
        {"http", 80},
        {"https", 443},
        {"ws", 80},
        {"wss", 443},
        {"ftp", 21},
    }};
    for (const SchemePort& entry : kDefaultPorts) {
        if (entry.Scheme == scheme) {
            return entry.Port;
        }
    }
    return std::nullopt;
}

bool WebUrl::IsSpecial() const {
    return IsSpecialScheme(Scheme);
}

bool WebUrl::IsWebAddress() const {
    return Scheme == "http" || Scheme == "https";
}

std::uint16_t WebUrl::PortOrDefault() const {
    return Port ? *Port : DefaultPortOf(Scheme).value_or(0);
}

std::string WebUrl::PathText() const {
    if (OpaquePath) {
        return Path.empty() ? std::string() : Path[0];
    }
    std::string text;
    // A path whose first segment is empty would read as an authority
    // ("//x") where no host precedes it.
    if (!Host && Path.size() > 1 && Path[0].empty()) {
        text = "/.";
    }
    for (const std::string& segment : Path) {
        text += '/';
        text += segment;
    }
    return text;
}

std::string WebUrl::RequestTarget() const {
    std::string target = PathText();
    if (target.empty()) {
        target.push_back('/');
    }
    if (Query) {
        target.push_back('?');
        target.append(*Query);
    }
    return target;
}

std::string WebUrl::Href() const {
    std::string text = Scheme + ':';
    if (Host) {
        text += "//";
        if (!Username.empty() || !Password.empty()) {
            text += Username;
            if (!Password.empty()) {
                text += ':' + Password;
            }
            text += '@';
        }
        text += *Host;
        if (Port) {
            text += ':' + std::to_string(*Port);
        }
    }
    text += PathText();
    if (Query) {
        text += '?' + *Query;
    }
    if (Fragment) {
        text += '#' + *Fragment;
    }
    return text;
}

std::optional<WebUrl> ParseWebUrl(std::string_view input, const WebUrl* base) {
    return UrlParser(CleanedInput(input), base).Run();
}

std::optional<WebUrl> ResolveWebUrl(std::string_view base, std::string_view reference) {
    const std::optional<WebUrl> baseUrl = ParseWebUrl(base);
    if (!baseUrl) {
        return std::nullopt;
    }
    return ParseWebUrl(reference, &*baseUrl);
}

}  // namespace vornakle
