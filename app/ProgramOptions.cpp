#include "app/ProgramOptions.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <optional>
#include <string_view>
#include <utility>

#include "cli/check/CheckConfig.h"
#include "cli/check/CheckOptions.h"

namespace vornakle {

namespace {

// vornakle-check's options that the desktop takes too: what its check
// session gives beyond the engine. Their rows, help and config keys are the
// checker's.
constexpr std::array<std::string_view, 4> kSessionOptions = {"exclude", "include", "exclude-file",
                                                             "max-age"};

bool IsSessionOption(std::string_view name) {
    return std::find(kSessionOptions.begin(), kSessionOptions.end(), name) != kSessionOptions.end();
}

// Reads the session's options of the command line, after the config file's
// when one is named, as vornakle-check reads them.
void ReadSessionOptions(ProgramOptions& options, const std::vector<std::string>& given,
                        const std::optional<std::string>& config) {
    const MergedOptions merged =
        config
            ? WithConfigOptions(*config, given,
                                [](const OptionSpec& spec) { return IsSessionOption(spec.Name); })
            : MergedOptions{given, {}};
    CheckCommand command = ParseCheckOptions(merged.Arguments, merged.Where);
    options.Filter = std::move(command.Filter);
    options.MaxAge = command.MaxAge;
}

}  // namespace

ProgramOptions ParseProgramOptions(const std::vector<std::string>& arguments) {
    ProgramOptions options;
    // The session's options as "--name=VALUE", and the first of them (or
    // --config) for a message.
    std::vector<std::string> sessionArguments;
    std::optional<std::string> config;
    std::string firstSessionOption;
    for (std::size_t index = 0; index < arguments.size(); ++index) {
        const std::string& argument = arguments[index];
        if (argument.size() < 3 || argument.compare(0, 2, "--") != 0) {
            // Qt's own options (-platform, -style ...) would change the
            // windows in ways nobody documented here; a stray word is a typo.
            throw EUsageError(argument.empty() || argument[0] != '-'
                                  ? "no operands are taken, not \"" + argument + "\""
                                  : "unknown option \"" + argument + "\"");
        }
        LongOption option(arguments, index);
        const std::string name = option.Name();
        const auto takeValue = [&option] { return option.TakeValue(); };
        if (name == "--help" || name == "--version") {
            option.TakeNoValue();
            options.Kind =
                name == "--help" ? ProgramOptions::Mode::Help : ProgramOptions::Mode::Version;
            return options;
        }
        if (name == "--rules") {
            const std::string token = takeValue();
            const std::optional<CheckRules> rules = ParseCheckRules(token);
            if (!rules) {
                throw EUsageError("--rules is classic or current, not \"" + token + "\"");
            }
            options.Check.Rules = *rules;
        } else if (name == "--jobs") {
            options.Check.Jobs = WholeNumberOption(name, takeValue(), 1, kMaxJobs);
        } else if (name == "--per-host") {
            options.Check.PerHost = WholeNumberOption(name, takeValue(), 1, kMaxPerHost);
        } else if (name == "--config" || IsSessionOption(std::string_view(name).substr(2))) {
            const std::string value = takeValue();
            if (name != "--config") {
                sessionArguments.push_back(name + "=" + value);
            } else if (value.empty()) {
                throw EUsageError("--config needs a file name");
            } else {
                config = value;
            }
            if (firstSessionOption.empty()) {
                firstSessionOption = name;
            }
        } else {
            throw EUsageError("unknown option \"" + name + "\"");
        }
    }
    if (firstSessionOption.empty()) {
        return options;
    }
    // The classic checks stay as the program always made them.
    if (options.Check.Rules == CheckRules::Classic) {
        throw EUsageError(firstSessionOption +
                          " needs --rules current: the classic checks ask every link");
    }
    ReadSessionOptions(options, sessionArguments, config);
    return options;
}

namespace {

// The session's options, as vornakle-check's help words them.
std::string SessionHelp() {
    std::string text =
        "\n"
        "Under current rules only, as vornakle-check takes them: a link left out\n"
        "is not checked and keeps the status it had; a result the history gives\n"
        "shows the reason cached. DURATION: a whole number and s, m, h or d.\n";
    for (const std::string_view name : kSessionOptions) {
        text += OptionHelp(*CheckOptionNamed(name));
    }
    return text +
           "  --config FILE     read these options from a vornakle-check config file\n"
           "                    (TOML); its other keys are the checker's own and are\n"
           "                    ignored. No config file is read without --config;\n"
           "                    the command line's own --max-age wins, its\n"
           "                    patterns are added to the file's\n"
           "\n";
}

}  // namespace

std::string ProgramUsageText() {
    return "Usage: vornakle [OPTIONS]\n"
           "\n"
           "Shows a Favorites collection (a directory: each subdirectory a folder,\n"
           "each *.url file a link), asking for its directory first, and checks its\n"
           "links. Needs a graphical session; vornakle-check checks from a terminal.\n"
           "\n"
           "Options:\n"
           "  --rules RULES     classic (default): the verify commands check one link\n"
           "                    after another with HTTP/1.0 HEAD requests;\n"
           "                    current: they check many links at once, by the rules\n"
           "                    of today's web, as vornakle-check --rules current does\n"
           "  --jobs N          under current rules, checks under way at once (1 to " +
           std::to_string(kMaxJobs) +
           ",\n"
           "                    default " +
           std::to_string(kDefaultJobs) +
           ")\n"
           "  --per-host N      under current rules, checks under way at once to one\n"
           "                    host:port (1 to " +
           std::to_string(kMaxPerHost) + ", default " + std::to_string(kDefaultPerHost) + ")\n" +
           SessionHelp() +
           "  --help            print this help and exit\n"
           "  --version         print the version and exit\n"
           "\n"
           "Exit status: 0 when the window was closed, 2 for a bad command line or\n"
           "when no window can be shown.\n";
}

}  // namespace vornakle
