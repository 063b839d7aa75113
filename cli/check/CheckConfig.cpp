#include "cli/check/CheckConfig.h"

#include <toml++/toml.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "cli/check/ResultFormat.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"

namespace vornakle {

namespace {

constexpr char kConfigFolder[] = "vornakle";
constexpr char kConfigFile[] = "vornakle-check.toml";
// The key of the table of header fields, beside the option "header".
constexpr std::string_view kHeadersKey = "headers";

// The deepest nesting in a TOML text and the line where it is reached: the
// parts of a dotted key or a table's name, and inline tables and arrays
// within each other, read past strings and comments. A cheap look, made
// before the parser's, which recurses per level. What is no TOML is left
// to the parser to tell.
class NestingScan {
public:
    explicit NestingScan(std::string_view text) : text_(text) {}

    // The line where nesting first goes beyond limit; 0 when it never does.
    int LineBeyond(int limit) {
        for (at_ = 0; at_ < text_.size(); ++at_) {
            const char character = text_[at_];
            if (character == '\n') {
                ++line_;
                parts_ = 1;
            } else if (character == '#') {
                SkipTo("\n", false);
                --at_;
            } else if (character == '"' || character == '\'') {
                SkipString(character);
            } else if (character == '.') {
                ++parts_;
            } else if (character == '[' || character == '{') {
                ++depth_;
                parts_ = 1;
            } else if (character == ']' || character == '}') {
                depth_ = std::max(depth_ - 1, 0);
                parts_ = 1;
            } else if (character == '=' || character == ',') {
                parts_ = 1;
            }
            if (parts_ > limit || depth_ > limit) {
                return line_;
            }
        }
        return 0;
    }

private:
    // From after the quote at at_ to the string's last character; a string
    // of three quotes may span lines.
    void SkipString(char quote) {
        const std::string three(3, quote);
        if (text_.substr(at_, 3) == three) {
            at_ += 3;
            SkipTo(three, quote == '"');
            // Up to two more quotes may close it ("""a"""" is a").
            while (at_ + 1 < text_.size() && text_[at_ + 1] == quote) {
                ++at_;
            }
        } else {
            ++at_;
            SkipTo(std::string(1, quote), quote == '"');
        }
    }

    // Moves at_ to the last character of the next end (or to the text's
    // end), past backslash escapes when escapes, counting lines.
    void SkipTo(const std::string& end, bool escapes) {
        for (; at_ < text_.size(); ++at_) {
            if (escapes && text_[at_] == '\\') {
                ++at_;
            } else if (text_.substr(at_, end.size()) == end) {
                at_ += end.size() - 1;
                return;
            }
            if (at_ < text_.size() && text_[at_] == '\n') {
                ++line_;
            }
        }
    }

    std::string_view text_;
    std::size_t at_ = 0;
    int line_ = 1;
    int parts_ = 1;
    int depth_ = 0;
};

// What a kind of value is called in a message.
std::string_view ValueWords(OptionValue value) {
    switch (value) {
        case OptionValue::None:
            return "true or false";
        case OptionValue::Text:
            return "a text";
        case OptionValue::Path:
            return "a file name";
        case OptionValue::Number:
            return "a whole number";
        case OptionValue::Decimal:
            return "a number";
        case OptionValue::List:
            return "a text or a list of texts";
        case OptionValue::PathList:
            return "a file name or a list of them";
    }
    return "";
}

// Turns a config file's keys into options, in the file's order.
class ConfigReader {
public:
    explicit ConfigReader(std::string path) : path_(std::move(path)) {}

    std::vector<ConfigOption> Read(const toml::table& table) {
        for (auto&& [key, node] : table) {
            const std::string name(key.str());
            where_ = Place(key.source()) + ": key " + ControlsEscaped(DisplayUtf8(name));
            if (name == kHeadersKey) {
                Headers(node);
                continue;
            }
            const OptionSpec* spec = CheckOptionNamed(name);
            if (spec == nullptr || !spec->InConfig) {
                throw EUsageError(Place(key.source()) + ": unknown key \"" +
                                  ControlsEscaped(DisplayUtf8(name)) + "\"");
            }
            Value(*spec, node);
        }
        return std::move(options_);
    }

private:
    std::string Place(const toml::source_region& source) const {
        return ControlsEscaped(DisplayUtf8(path_)) + ":" + std::to_string(source.begin.line);
    }

    [[noreturn]] void WrongKind(std::string_view wanted) const {
        throw EUsageError(where_ + " needs " + std::string(wanted));
    }

    void Add(const OptionSpec& spec, std::optional<std::string> value) {
        std::string argument = "--" + std::string(spec.Name);
        if (value) {
            argument += "=" + *value;
        }
        options_.push_back({std::move(argument), where_});
    }

    // A file name as the file means it: from its own folder.
    std::string Resolved(const std::string& name) const {
        if (name.rfind("~/", 0) == 0) {
            const char* home = std::getenv("HOME");
            if (home == nullptr || *home == '\0') {
                throw EUsageError(where_ + ": HOME is not set, so \"~/\" names no folder");
            }
            return JoinPath(home, name.substr(2));
        }
        if (name.empty() || name.front() == kPathSeparator) {
            return name;
        }
        return DirectoryWithSeparator(path_) + name;
    }

    void Value(const OptionSpec& spec, const toml::node& node) {
        switch (spec.Value) {
            case OptionValue::None:
                if (!node.is_boolean()) {
                    WrongKind(ValueWords(spec.Value));
                }
                if (node.as_boolean()->get()) {
                    Add(spec, std::nullopt);
                }
                return;
            case OptionValue::Number:
                if (!node.is_integer()) {
                    WrongKind(ValueWords(spec.Value));
                }
                Add(spec, std::to_string(node.as_integer()->get()));
                return;
            case OptionValue::Decimal:
                if (node.is_integer()) {
                    Add(spec, std::to_string(node.as_integer()->get()));
                } else if (node.is_floating_point()) {
                    char text[64];
                    const auto [end, error] = std::to_chars(std::begin(text), std::end(text),
                                                            node.as_floating_point()->get());
                    Add(spec, std::string(text, error == std::errc() ? end : text));
                } else {
                    WrongKind(ValueWords(spec.Value));
                }
                return;
            case OptionValue::Text:
            case OptionValue::Path:
                if (!node.is_string()) {
                    WrongKind(ValueWords(spec.Value));
                }
                Add(spec, spec.Value == OptionValue::Path ? Resolved(node.as_string()->get())
                                                          : node.as_string()->get());
                return;
            case OptionValue::List:
            case OptionValue::PathList:
                Items(spec, node);
                return;
        }
    }

    // A list's items: texts, and for --accept reply numbers as well.
    void Items(const OptionSpec& spec, const toml::node& node) {
        const auto item = [&](const toml::node& one) {
            if (one.is_string()) {
                const std::string& text = one.as_string()->get();
                Add(spec, spec.Value == OptionValue::PathList ? Resolved(text) : text);
            } else if (one.is_integer() && spec.Name == "accept") {
                Add(spec, std::to_string(one.as_integer()->get()));
            } else {
                WrongKind(ValueWords(spec.Value));
            }
        };
        if (const toml::array* array = node.as_array()) {
            for (const toml::node& one : *array) {
                item(one);
            }
        } else {
            item(node);
        }
    }

    // headers = { "Name" = "value", ... }
    void Headers(const toml::node& node) {
        const toml::table* table = node.as_table();
        if (table == nullptr) {
            WrongKind("a table of header fields, such as { \"X-Token\" = \"secret\" }");
        }
        const OptionSpec& header = *CheckOptionNamed("header");
        for (auto&& [field, value] : *table) {
            where_ = Place(field.source()) + ": key " + std::string(kHeadersKey) + "." +
                     ControlsEscaped(DisplayUtf8(std::string(field.str())));
            if (!value.is_string()) {
                WrongKind("a text");
            }
            Add(header, std::string(field.str()) + ": " + value.as_string()->get());
        }
    }

    std::string path_;
    std::string where_;
    std::vector<ConfigOption> options_;
};

// What the command line says of the config file and the source, read
// without the rest of its meaning.
struct CommandLineOutline {
    bool Answers = false;  // --help or --version
    bool NoConfig = false;
    std::optional<std::string> ConfigFile;
    bool NamesSource = false;
    // The long options given, without "--" and value.
    std::vector<std::string> Given;
};

CommandLineOutline OutlineOf(const std::vector<std::string>& arguments) {
    CommandLineOutline outline;
    for (std::size_t index = 0; index < arguments.size(); ++index) {
        const std::string& argument = arguments[index];
        if (argument == "--") {
            outline.NamesSource = outline.NamesSource || index + 1 < arguments.size();
            break;
        }
        if (argument.rfind("--", 0) != 0) {
            outline.NamesSource =
                outline.NamesSource || argument.empty() || argument[0] != '-' || argument == "-";
            continue;
        }
        const std::size_t equals = argument.find('=');
        const std::string name = argument.substr(2, equals - 2);
        const OptionSpec* spec = CheckOptionNamed(name);
        if (spec == nullptr) {
            continue;
        }
        std::optional<std::string> value;
        if (equals != std::string::npos) {
            value = argument.substr(equals + 1);
        } else if (spec->Value != OptionValue::None && index + 1 < arguments.size()) {
            value = arguments[++index];
        }
        outline.Given.push_back(name);
        outline.Answers = outline.Answers || name == "help" || name == "version";
        outline.NoConfig = outline.NoConfig || name == "no-config";
        outline.NamesSource = outline.NamesSource || spec->NamesSource;
        if (name == "config" && value) {
            outline.ConfigFile = value;
        }
    }
    return outline;
}

}  // namespace

std::string DefaultConfigPath() {
    const std::string folder = BaseDirectory("XDG_CONFIG_HOME", ".config");
    return folder.empty() ? std::string() : JoinPath(JoinPath(folder, kConfigFolder), kConfigFile);
}

std::string ControlsEscaped(std::string_view text, bool keepLineBreaks) {
    std::string shown;
    shown.reserve(text.size());
    for (const char character : text) {
        if ((character >= 0 && character < ' ' && !(keepLineBreaks && character == '\n')) ||
            character == '\x7f') {
            char code[5];
            std::snprintf(code, sizeof code, "\\x%02x", static_cast<unsigned char>(character));
            shown += code;
        } else {
            shown += character;
        }
    }
    return shown;
}

std::vector<ConfigOption> ReadCheckConfig(const std::string& path) {
    const std::string text = ReadOptionFile("config file", path);
    const std::string shownPath = ControlsEscaped(DisplayUtf8(path));
    if (const int line = NestingScan(text).LineBeyond(kMaxConfigNesting); line > 0) {
        throw EUsageError(shownPath + ":" + std::to_string(line) +
                          ": keys, tables or values nested deeper than " +
                          std::to_string(kMaxConfigNesting) + " levels");
    }
    try {
        return ConfigReader(path).Read(toml::parse(text, path));
    } catch (const toml::parse_error& error) {
        throw EUsageError(
            shownPath + ":" + std::to_string(error.source().begin.line) +
            ": not TOML: " + ControlsEscaped(DisplayUtf8(std::string(error.description()))));
    }
}

CheckCommand ReadCheckCommand(const std::vector<std::string>& arguments) {
    const CommandLineOutline outline = OutlineOf(arguments);
    if (outline.Answers) {
        return ParseCheckCommand(arguments);
    }
    if (outline.NoConfig && outline.ConfigFile) {
        throw EUsageError("--config and --no-config ask for opposite things");
    }
    std::string path;
    if (outline.ConfigFile) {
        path = *outline.ConfigFile;
    } else if (!outline.NoConfig) {
        path = DefaultConfigPath();
        if (path.empty() || !PathExists(path)) {
            path.clear();
        }
    }
    if (path.empty()) {
        return ParseCheckCommand(arguments);
    }
    const MergedOptions merged = WithConfigOptions(path, arguments);
    return ParseCheckCommand(merged.Arguments, merged.Where);
}

MergedOptions WithConfigOptions(const std::string& path, const std::vector<std::string>& arguments,
                                const std::function<bool(const OptionSpec&)>& taken) {
    const CommandLineOutline outline = OutlineOf(arguments);
    MergedOptions merged;
    for (ConfigOption& option : ReadCheckConfig(path)) {
        const std::string name = option.Argument.substr(2, option.Argument.find('=') - 2);
        const OptionSpec& spec = *CheckOptionNamed(name);
        const bool isList = spec.Value == OptionValue::List || spec.Value == OptionValue::PathList;
        // The command line's own value wins; its source replaces the file's.
        if ((taken && !taken(spec)) ||
            (!isList &&
             std::find(outline.Given.begin(), outline.Given.end(), name) != outline.Given.end()) ||
            (spec.NamesSource && outline.NamesSource)) {
            continue;
        }
        merged.Arguments.push_back(std::move(option.Argument));
        merged.Where.push_back(std::move(option.Where));
    }
    merged.Arguments.insert(merged.Arguments.end(), arguments.begin(), arguments.end());
    return merged;
}

}  // namespace vornakle
