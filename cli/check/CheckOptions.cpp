#include "cli/check/CheckOptions.h"

#include <cctype>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "platform/ErrorMessages.h"
#include "platform/FileSystem.h"

namespace vornakle {

namespace {

constexpr char kArchiveServiceVariable[] = "VORNAKLE_ARCHIVE_SERVICE";
// A config file or a file of patterns larger than this is no such file.
constexpr std::size_t kMaxOptionFileBytes = 1024 * 1024;

// The archive's base address from the command line, else from the
// environment; refused when it cannot serve.
std::string ArchiveServiceOf(const std::optional<std::string>& option) {
    const char* environment = std::getenv(kArchiveServiceVariable);
    const bool fromOption = option.has_value();
    if (!fromOption && (environment == nullptr || environment[0] == '\0')) {
        return kDefaultArchiveService;
    }
    const std::string service = fromOption ? *option : std::string(environment);
    if (const std::optional<std::string> problem = ArchiveServiceProblem(service)) {
        throw EUsageError(std::string(fromOption ? "--archive-service" : kArchiveServiceVariable) +
                          " \"" + service + "\" " + *problem);
    }
    return service;
}

}  // namespace

std::string ReadOptionFile(const std::string& option, const std::string& path) {
    const std::string cannot = option + " " + DisplayUtf8(path) + " cannot be read";
    errno = 0;
    const UniqueFd file = OpenRegularFile(path);
    if (!file.IsValid()) {
        throw EUsageError(cannot + (errno != 0 ? ": " + SystemErrorText(errno) : std::string()));
    }
    try {
        std::string text = ReadAll(file.Get(), kMaxOptionFileBytes + 1, cannot);
        if (text.size() > kMaxOptionFileBytes) {
            throw EUsageError(option + " " + DisplayUtf8(path) + " is larger than " +
                              std::to_string(kMaxOptionFileBytes / 1024) + " KiB");
        }
        return text;
    } catch (const EFileError& error) {
        throw EUsageError(error.Message());
    }
}

std::string CheckCommand::RewritingOption() const {
    return UpdateMoved                     ? "--update-moved"
           : UpdateDead != DeadLinks::Kept ? "--update-dead"
                                           : "--move-dead";
}

bool CheckCommand::KeepsHistory() const {
    return Settings.Rules == CheckRules::Current && History != HistoryUse::None && !Duplicates &&
           (Kind == Mode::Collection || Kind == Mode::SingleUrl);
}

namespace {

// ParseCheckCommand, with current the index of the option being read, or
// the arguments' count once every option is read.
CheckCommand ParseCheckCommandAt(const std::vector<std::string>& arguments, std::size_t& current) {
    OptionParse parse;
    CheckCommand& command = parse.Command;
    command.Settings.Rules = CheckRules::Current;
    std::vector<std::string> operands;
    bool optionsEnded = false;

    for (std::size_t index = 0; index < arguments.size(); ++index) {
        current = index;
        const std::string& argument = arguments[index];
        if (optionsEnded || argument.size() < 2 || argument.compare(0, 2, "--") != 0) {
            if (!optionsEnded && argument.size() > 1 && argument[0] == '-') {
                throw EUsageError("unknown option \"" + argument + "\"");
            }
            operands.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        LongOption option(arguments, index);
        const OptionSpec* spec = CheckOptionNamed(std::string_view(option.Name()).substr(2));
        if (spec == nullptr) {
            throw EUsageError("unknown option \"" + option.Name() + "\"");
        }
        parse.Option = option.Name();
        parse.Value.clear();
        if (spec->Value == OptionValue::None) {
            option.TakeNoValue();
        } else {
            parse.Value = option.TakeValue();
        }
        spec->Apply(parse);
        if (command.Kind == CheckCommand::Mode::Help ||
            command.Kind == CheckCommand::Mode::Version) {
            return command;
        }
        command.Options.push_back(
            spec->Value == OptionValue::None ? parse.Option : parse.Option + "=" + parse.Value);
    }
    current = arguments.size();
    const std::optional<std::string>& url = parse.Url;
    const std::vector<std::string>& historyOptions = parse.HistoryOptions;

    if (command.Duplicates &&
        (command.RewritesLinks() || command.Archive || !historyOptions.empty())) {
        throw EUsageError("--duplicates checks nothing, so " +
                          (command.RewritesLinks() ? command.RewritingOption()
                           : command.Archive       ? std::string("--archive")
                                                   : historyOptions.front()) +
                          " has nothing to do");
    }
    if (parse.ArchiveService && !command.Archive) {
        throw EUsageError("--archive-service goes with --archive or --update-dead");
    }
    if (command.Archive) {
        command.ArchiveService = ArchiveServiceOf(parse.ArchiveService);
    }
    if (command.Format == TOutputFormat::Html && (command.Duplicates || command.RewritesLinks())) {
        throw EUsageError(
            (command.Duplicates ? std::string("--duplicates") : command.RewritingOption()) +
            " prints records, not a report: --format is text, csv or json with it");
    }
    if (parse.ConfirmTuned && !command.Confirmed) {
        throw EUsageError("--confirm-runs and --confirm-after go with --confirmed");
    }
    if (!historyOptions.empty() && command.History == CheckCommand::HistoryUse::None) {
        throw EUsageError(historyOptions.front() + " needs the history; give no --no-history");
    }
    if (!historyOptions.empty() && command.Settings.Rules == CheckRules::Classic) {
        throw EUsageError(historyOptions.front() +
                          " needs the current rules: only they keep a history of checks");
    }
    if (command.Settings.Rules == CheckRules::Classic && (command.UpdateMoved || command.Moved)) {
        throw EUsageError(std::string(command.UpdateMoved ? "--update-moved" : "--moved") +
                          " needs the current rules: only they tell moved links");
    }
    if (command.Settings.Rules == CheckRules::Classic && !parse.CurrentOptions.empty()) {
        throw EUsageError(parse.CurrentOptions.front() +
                          " needs the current rules: the classic ones ask as Vornakle always has");
    }
    if (command.Settings.Rules == CheckRules::Classic && command.Blocked) {
        throw EUsageError("--blocked needs the current rules: only they tell blocked links");
    }
    if (command.Verbose && !url) {
        throw EUsageError("--verbose goes with --url");
    }
    if (url) {
        if (!operands.empty() || command.FromBrowser) {
            throw EUsageError("--url checks one address; give no other source with it");
        }
        if (command.RewritesLinks() || command.Duplicates || command.Forget) {
            throw EUsageError((command.RewritesLinks() ? command.RewritingOption()
                               : command.Duplicates    ? std::string("--duplicates")
                                                       : std::string("--forget")) +
                              " needs a collection, not --url");
        }
        command.Kind = CheckCommand::Mode::SingleUrl;
        command.Url = *url;
        return command;
    }
    command.Kind = CheckCommand::Mode::Collection;
    if (command.FromBrowser) {
        if (!operands.empty()) {
            throw EUsageError("--browser names the source; give no other with it");
        }
        return command;
    }
    if (operands.empty()) {
        throw EUsageError("no Favorites directory or bookmark file given");
    }
    if (operands.size() > 1) {
        throw EUsageError("one source only, not " + std::to_string(operands.size()));
    }
    command.Source = operands.front();
    return command;
}

}  // namespace

CheckCommand ParseCheckCommand(const std::vector<std::string>& arguments) {
    std::size_t current = 0;
    return ParseCheckCommandAt(arguments, current);
}

CheckCommand ParseCheckCommand(const std::vector<std::string>& arguments,
                               const std::vector<std::string>& where) {
    std::size_t current = arguments.size();
    try {
        return ParseCheckCommandAt(arguments, current);
    } catch (const EUsageError& error) {
        if (current < where.size() && !where[current].empty()) {
            throw EUsageError(where[current] + ": " + error.Message());
        }
        // Options that do not go together are told once all are read; the
        // message names them, so the place of the first one a file gave
        // is named with it.
        for (std::size_t index = 0; current == arguments.size() && index < where.size(); ++index) {
            const std::string name = where[index].empty()
                                         ? std::string()
                                         : arguments[index].substr(0, arguments[index].find('='));
            for (std::size_t at = name.empty() ? std::string::npos : error.Message().find(name);
                 at != std::string::npos; at = error.Message().find(name, at + 1)) {
                const std::size_t after = at + name.size();
                if (after == error.Message().size() ||
                    (error.Message()[after] != '-' &&
                     !std::isalnum(static_cast<unsigned char>(error.Message()[after])))) {
                    throw EUsageError(where[index] + ": " + error.Message());
                }
            }
        }
        throw;
    }
}

}  // namespace vornakle
