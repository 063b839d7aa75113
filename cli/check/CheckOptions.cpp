#include "cli/check/CheckOptions.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <vector>

#include "history/CheckHistory.h"
#include "platform/AsciiCase.h"
#include "platform/TrimBlanks.h"

namespace vornakle {

// What the options read so far give: the command, and what is judged only
// once all are read (options that need the history or the current rules,
// as given). Option and Value are those of the option being read.
struct OptionParse {
    CheckCommand Command;
    std::string Option;  // "--name"
    // What the option takes (empty for a switch); what the run's Options
    // shows of it may be changed (a header's value hidden).
    std::string Value;
    std::optional<std::string> Url;
    std::vector<std::string> HistoryOptions;
    std::vector<std::string> CurrentOptions;
    bool ConfirmTuned = false;
    std::optional<std::string> ArchiveService;
};

namespace {

constexpr int kMillisecondsPerSecond = 1000;
constexpr char kArchiveServiceVariable[] = "VORNAKLE_ARCHIVE_SERVICE";
// The help text gives the default in whole seconds.
static_assert(kDefaultTimeOutMilliseconds % kMillisecondsPerSecond == 0);

std::int32_t TimeOutMilliseconds(const std::string& value) {
    double seconds = 0;
    const char* end = value.data() + value.size();
    const auto [stop, error] = std::from_chars(value.data(), end, seconds);
    if (value.empty() || error != std::errc() || stop != end || !std::isfinite(seconds) ||
        seconds <= 0 || seconds > kMaxTimeOutSeconds) {
        throw EUsageError("--timeout needs a number of seconds above 0 and at most " +
                          std::to_string(kMaxTimeOutSeconds) + ", not \"" + value + "\"");
    }
    // A positive bound stays positive: 0 would mean no bound at all.
    const auto milliseconds =
        static_cast<std::int32_t>(std::lround(seconds * kMillisecondsPerSecond));
    return milliseconds < 1 ? 1 : milliseconds;
}

// A duration as "90s", "30m", "12h" or "1d": a whole number and its unit.
std::chrono::seconds DurationOption(const std::string& option, const std::string& value) {
    constexpr std::string_view kUnits = "smhd";
    constexpr std::array<std::chrono::seconds, kUnits.size()> kUnitLengths = {
        std::chrono::seconds(1), std::chrono::minutes(1), std::chrono::hours(1),
        std::chrono::days(1)};
    const std::size_t unit = value.empty() ? std::string_view::npos : kUnits.find(value.back());
    std::int64_t count = -1;
    if (unit != std::string_view::npos && value.size() > 1) {
        const char* end = value.data() + value.size() - 1;
        const auto [stop, error] = std::from_chars(value.data(), end, count);
        if (error != std::errc() || stop != end) {
            count = -1;
        }
    }
    if (count < 0 || count > std::chrono::days(kMaxDurationDays) / kUnitLengths[unit]) {
        throw EUsageError(option + " needs a whole number and a unit (s, m, h or d) up to " +
                          std::to_string(kMaxDurationDays) + "d, such as 12h, not \"" + value +
                          "\"");
    }
    return count * kUnitLengths[unit];
}

// Bounds of --accept: the reply numbers HTTP has room for.
constexpr std::int32_t kFirstReplyNumber = 100;
constexpr std::int32_t kLastReplyNumber = 999;

// "200..299,403": reply numbers and ranges of them.
void AddAcceptedStatuses(std::vector<StatusRange>& ranges, const std::string& list) {
    std::size_t start = 0;
    do {
        std::size_t comma = list.find(',', start);
        if (comma == std::string::npos) {
            comma = list.size();
        }
        const std::string item = TrimBlanks(std::string_view(list).substr(start, comma - start));
        start = comma + 1;
        const std::size_t dots = item.find("..");
        const auto number = [](std::string_view text) {
            std::int32_t value = 0;
            const auto [stop, error] =
                std::from_chars(text.data(), text.data() + text.size(), value);
            return !text.empty() && error == std::errc() && stop == text.data() + text.size() &&
                           value >= kFirstReplyNumber && value <= kLastReplyNumber
                       ? std::optional<std::int32_t>(value)
                       : std::nullopt;
        };
        const std::optional<std::int32_t> first = number(std::string_view(item).substr(0, dots));
        const std::optional<std::int32_t> last =
            dots == std::string::npos ? first : number(std::string_view(item).substr(dots + 2));
        if (!first || !last || *first > *last) {
            throw EUsageError(
                "--accept needs reply numbers from " + std::to_string(kFirstReplyNumber) + " to " +
                std::to_string(kLastReplyNumber) +
                " and ranges such as 200..299, separated by commas, not \"" + item + "\"");
        }
        ranges.push_back({*first, *last});
    } while (start <= list.size());
}

// A token's characters (RFC 9110 section 5.6.2), which a field name is made of.
bool IsTokenCharacter(char character) {
    return (character >= '0' && character <= '9') || (character >= 'a' && character <= 'z') ||
           (character >= 'A' && character <= 'Z') ||
           std::string_view("!#$%&'*+-.^_`|~").find(character) != std::string_view::npos;
}

// "Name: value" as a request's header line. The fields that frame the
// request and its connection are the client's own: another value would
// break the request or the connection, not change what is asked.
std::string HeaderLine(const std::string& text) {
    if (text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
        throw EUsageError("--header needs a text on one line");
    }
    const std::size_t colon = text.find(':');
    const std::string name = text.substr(0, colon);
    if (colon == std::string::npos || name.empty() ||
        !std::all_of(name.begin(), name.end(), IsTokenCharacter)) {
        throw EUsageError("--header needs \"Name: value\", a field name before the colon, not \"" +
                          text + "\"");
    }
    for (const char* framing : {"host", "content-length", "transfer-encoding", "connection"}) {
        if (AsciiLowerCase(name) == framing) {
            throw EUsageError("--header cannot set " + name + ": the checker sends it itself");
        }
    }
    // A field value is visible characters, blanks and tabs (RFC 9110
    // section 5.5); another control character would reach the server raw.
    const std::string value = TrimBlanks(std::string_view(text).substr(colon + 1));
    const auto control = std::find_if(value.begin(), value.end(), [](char character) {
        return (character >= 0 && character < ' ' && character != '\t') || character == '\x7f';
    });
    if (control != value.end()) {
        char code[8];
        std::snprintf(code, sizeof code, "\\x%02x", static_cast<unsigned char>(*control));
        throw EUsageError("--header " + name + " holds the control character " + code +
                          "; a field value has visible characters, blanks and tabs only");
    }
    return name + ": " + value;
}

TOutputFormat FormatNamed(const std::string& value) {
    if (value == "text") {
        return TOutputFormat::Text;
    }
    if (value == "csv") {
        return TOutputFormat::Csv;
    }
    if (value == "json") {
        return TOutputFormat::Json;
    }
    if (value == "html") {
        return TOutputFormat::Html;
    }
    throw EUsageError("--format is text, csv, json or html, not \"" + value + "\"");
}

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

// The column where an option's help begins.
constexpr std::size_t kHelpColumn = 20;

// A whole number for the help.
std::string Shown(std::int64_t number) {
    return std::to_string(number);
}

using Parse = OptionParse;

// The value of an option that names a file, which cannot be empty.
const std::string& FileName(const Parse& parse) {
    if (parse.Value.empty()) {
        throw EUsageError(parse.Option + " needs a file name");
    }
    return parse.Value;
}

using enum OptionValue;

const std::vector<OptionSpec>& Declarations() {
    static const std::vector<OptionSpec> declarations = {
        {"rules", "RULES", Text, "current or classic (default current)",
         [](Parse& parse) {
             const std::optional<CheckRules> rules = ParseCheckRules(parse.Value);
             if (!rules) {
                 throw EUsageError("--rules is classic or current, not \"" + parse.Value + "\"");
             }
             parse.Command.Settings.Rules = *rules;
         }},
        {"user-agent", "TEXT", Text,
         "the User-Agent line under current rules (default:\n"
         "a current desktop browser's)",
         [](Parse& parse) {
             // The text becomes a header line: a line break would end it.
             if (parse.Value.empty() ||
                 parse.Value.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
                 throw EUsageError("--user-agent needs a text on one line");
             }
             parse.Command.Settings.UserAgent = parse.Value;
         }},
        {"jobs", "N", Number,
         "checks under way at once (1 to " + Shown(kMaxJobs) + ", default " + Shown(kDefaultJobs) +
             ")",
         [](Parse& parse) {
             parse.Command.Settings.Jobs =
                 WholeNumberOption(parse.Option, parse.Value, 1, kMaxJobs);
         }},
        {"per-host", "N", Number,
         "connections open at once to one host:port as the URL\n"
         "names it, idle ones kept for its next check included\n"
         "(1 to " +
             Shown(kMaxPerHost) + ", default " + Shown(kDefaultPerHost) + ")",
         [](Parse& parse) {
             parse.Command.Settings.PerHost =
                 WholeNumberOption(parse.Option, parse.Value, 1, kMaxPerHost);
         }},
        {"timeout", "SECONDS", Decimal,
         "bound of each host lookup, connect and idle read\n"
         "(above 0, at most " +
             Shown(kMaxTimeOutSeconds) + ", default " +
             Shown(kDefaultTimeOutMilliseconds / kMillisecondsPerSecond) +
             ");\n"
             "a link's whole check, all redirections included,\n"
             "ends after " +
             Shown(kDeadlineTimeOuts) + " times this",
         [](Parse& parse) {
             parse.Command.Settings.TimeOutMilliseconds = TimeOutMilliseconds(parse.Value);
         }},
        {"format", "FORMAT", Text,
         "text (tab-separated), csv (RFC 4180, with a header row),\n"
         "json (one object per line) or html (one page to read\n"
         "in a browser); default text",
         [](Parse& parse) { parse.Command.Format = FormatNamed(parse.Value); }},
        {"output", "FILE", Path,
         "write the results to FILE instead of standard output;\n"
         "they replace it once they are whole (a failed write\n"
         "leaves the old file as it was); never the history,\n"
         "the source or a file in its folder",
         [](Parse& parse) { parse.Command.OutputFile = FileName(parse); }},
        {"header", "LINE", List,
         "send this header line (\"Name: value\") with every\n"
         "request (current rules;\n"
         "again for more); one named as a line the checker\n"
         "sends (User-Agent, Accept, ...) takes its place; Host,\n"
         "Content-Length, Transfer-Encoding and Connection are\n"
         "the checker's own; no control characters but tab",
         [](Parse& parse) {
             parse.Command.Settings.ExtraHeaders.push_back(HeaderLine(parse.Value));
             // Only the name: the value may be a secret (a token, a cookie).
             parse.Value = parse.Value.substr(0, parse.Value.find(':') + 1) + " ...";
             parse.CurrentOptions.push_back(parse.Option);
         }},
        {"accept", "LIST", List,
         "reply numbers and ranges, such as 200..299,403,429,\n"
         "that count as ok as well (current rules)",
         [](Parse& parse) {
             AddAcceptedStatuses(parse.Command.Settings.Accepted, parse.Value);
             parse.CurrentOptions.push_back(parse.Option);
         }},
        {"exclude", "REGEX", List,
         "do not ask a link whose URL the pattern matches\n"
         "(Perl-compatible, anywhere in the URL: anchor it with\n"
         "^ and $); its class is excluded, not bad; again for more",
         [](Parse& parse) {
             parse.Command.Filter.Add(LinkFilter::Kind::Exclude, parse.Value, parse.Option);
         }},
        {"include", "REGEX", List,
         "ask a link whose URL it matches even where --exclude\n"
         "leaves it out; without --exclude, only such links",
         [](Parse& parse) {
             parse.Command.Filter.Add(LinkFilter::Kind::Include, parse.Value, parse.Option);
         }},
        {"exclude-file", "FILE", PathList,
         "each line of FILE a pattern as for --exclude (blank\n"
         "lines and lines starting with # are none)",
         [](Parse& parse) { parse.Command.Filter.AddFile(parse.Value); }},
        {"ca-file", "FILE", Path,
         "trust the certificates in FILE (PEM) as well as the\n"
         "system's for https links",
         [](Parse& parse) { parse.Command.Settings.Tls.CaFile = FileName(parse); }},
        {"insecure", "", None, "do not verify the certificates of https links",
         [](Parse& parse) { parse.Command.Settings.Tls.Insecure = true; }},
        {"no-reuse", "", None,
         "under current rules, ask each request on a connection of\n"
         "its own and make each TLS handshake a full one, as a\n"
         "comparison (default: keep connections open and resume\n"
         "TLS sessions)",
         [](Parse& parse) {
             parse.Command.Settings.Reuse = ConnectionReuse::CloseEach;
             parse.Command.Settings.Tls.Resumption = SessionResumption::Never;
         }},
        {"bad-only", "", None,
         "print only links that are not fine (what the report\n"
         "window lists), suspect ones included, login and\n"
         "blocked ones not",
         [](Parse& parse) { parse.Command.BadOnly = true; }},
        {"blocked", "", None,
         "print only links whose sites keep programs out; with\n"
         "the options above, as well as what they print",
         [](Parse& parse) { parse.Command.Blocked = true; }},
        {"moved", "", None,
         "print only links that moved for good, which the current\n"
         "rules tell (with --bad-only: as well as the bad ones)",
         [](Parse& parse) { parse.Command.Moved = true; }},
        {"update-moved", "", None,
         "rewrite the URL of each moved link's .url file to where\n"
         "it moved (owner, group and mode kept) and print each\n"
         "change (file or bookmark, old and new URL), then the\n"
         "bad links, instead of the results. A browser's\n"
         "bookmarks (--browser, places.sqlite, Bookmarks, an\n"
         "HTML file) are changed only while the browser is\n"
         "closed, all at once, after a backup whose path and\n"
         "way back are printed",
         [](Parse& parse) { parse.Command.UpdateMoved = true; }},
        {"archive", "", None,
         "look up each dead link (class invalid or suspect, or an\n"
         "answer 4xx or 5xx; with --confirmed each bad link) in a\n"
         "web archive and print its copy as archive_url (empty\n"
         "when there is none): the copy closest to the last time\n"
         "the history saw the link fine, else the newest, of\n"
         "those the archive took from a 2xx reply",
         [](Parse& parse) { parse.Command.Archive = true; }},
        {"archive-service", "URL", Text,
         "the web archive's address (default " + std::string(kDefaultArchiveService) +
             ",\n"
             "or VORNAKLE_ARCHIVE_SERVICE), asked as the Wayback\n"
             "Machine is: URL/wayback/available?url=...",
         [](Parse& parse) { parse.ArchiveService = parse.Value; }},
        {"update-dead", "KIND", Text,
         "with KIND archive: as --archive, then rewrite the URL\n"
         "of each .url file whose link has a copy to that copy\n"
         "and print what changed, as --update-moved does",
         [](Parse& parse) {
             if (parse.Value != "archive") {
                 throw EUsageError("--update-dead takes archive, not \"" + parse.Value + "\"");
             }
             parse.Command.UpdateDead = CheckCommand::DeadLinks::Archive;
             parse.Command.Archive = true;
         }},
        {"move-dead", "FOLDER", Text,
         "move each bad link (with --confirmed each confirmed\n"
         "one) that --update-dead did not rewrite into the\n"
         "folder FOLDER at the top of the collection, made when\n"
         "missing (a browser's: in Firefox's Bookmarks Menu,\n"
         "Chromium's Other bookmarks), and print each move\n"
         "(link, old and new folder); nothing is deleted",
         [](Parse& parse) {
             // One folder's name, which a directory can carry as well as a
             // browser.
             const std::string& folder = parse.Value;
             if (folder.empty() || folder == "." || folder == ".." ||
                 folder.find_first_of(std::string("/\0\r\n", 4)) != std::string::npos) {
                 throw EUsageError("--move-dead needs a folder's name (no \"/\", not . or ..)");
             }
             parse.Command.MoveDeadFolder = folder;
         }},
        {"duplicates", "", None,
         "print the groups of links that share an address\n"
         "(links without one in none) instead of checking",
         [](Parse& parse) { parse.Command.Duplicates = true; }},
        {"history", "FILE", Path, "keep the history of checks in FILE",
         [](Parse& parse) {
             parse.Command.HistoryFile = FileName(parse);
             parse.Command.History = CheckCommand::HistoryUse::File;
             parse.HistoryOptions.push_back(parse.Option);
         }},
        {"no-history", "", None, "keep no history and read none",
         [](Parse& parse) { parse.Command.History = CheckCommand::HistoryUse::None; }},
        {"confirmed", "", None,
         "count a bad link as bad only once it has failed in\n"
         "as many checks in a row as --confirm-runs says, over\n"
         "at least --confirm-after; until then its class is\n"
         "failing",
         [](Parse& parse) {
             parse.Command.Confirmed = true;
             parse.HistoryOptions.push_back(parse.Option);
         }},
        {"confirm-runs", "N", Number,
         "failed checks that confirm (1 to " + Shown(kMaxConfirmRuns) + ", default " +
             Shown(ConfirmRule().Runs) + ")",
         [](Parse& parse) {
             parse.Command.Confirm.Runs =
                 WholeNumberOption(parse.Option, parse.Value, 1, kMaxConfirmRuns);
             parse.ConfirmTuned = true;
         }},
        {"confirm-after", "DURATION", Text,
         "the span they cover at least (default " +
             Shown(std::chrono::duration_cast<std::chrono::days>(ConfirmRule().Over).count()) +
             "d; a span short\n"
             "by up to a 24th of it counts, as timers drift)",
         [](Parse& parse) {
             parse.Command.Confirm.Over = DurationOption(parse.Option, parse.Value);
             parse.ConfirmTuned = true;
         }},
        {"max-age", "DURATION", Text,
         "do not ask a link whose last check was fine (class\n"
         "ok) and younger than DURATION: its old result is\n"
         "printed with the reason cached (default: ask all)",
         [](Parse& parse) {
             parse.Command.MaxAge = DurationOption(parse.Option, parse.Value);
             parse.HistoryOptions.push_back(parse.Option);
         }},
        {"forget", "", None,
         "remove the history of addresses the source no longer\n"
         "holds (not when part of the source could not be read)",
         [](Parse& parse) {
             parse.Command.Forget = true;
             parse.HistoryOptions.push_back(parse.Option);
         }},
        {"browser", "NAME", Text,
         "check the bookmarks of the default profile of firefox,\n"
         "chromium or chrome",
         [](Parse& parse) {
             parse.Command.FromBrowser = BrowserNamed(parse.Value);
             if (!parse.Command.FromBrowser) {
                 throw EUsageError("--browser is firefox, chromium or chrome, not \"" +
                                   parse.Value + "\"");
             }
         },
         true},
        {"url", "URL", Text, "check one address instead of a collection",
         [](Parse& parse) {
             if (parse.Url) {
                 throw EUsageError("--url is given twice");
             }
             parse.Url = parse.Value;
         },
         true},
        {"verbose", "", None,
         "with --url: every request's reply number and URL\n"
         "on standard error",
         [](Parse& parse) { parse.Command.Verbose = true; }},
        // Read before the rest by the config file's reader (CheckConfig).
        {"config", "FILE", Path, "read the options of this config file",
         [](Parse& parse) { FileName(parse); }, false, false},
        {"no-config", "", None, "read no config file", [](Parse&) {}, false, false},
        {"help", "", None, "show this text",
         [](Parse& parse) { parse.Command.Kind = CheckCommand::Mode::Help; }, false, false},
        {"version", "", None, "show the program's version",
         [](Parse& parse) { parse.Command.Kind = CheckCommand::Mode::Version; }, false, false},
    };
    return declarations;
}

// The options' part of the help: each option and its value's name, its
// first line beside them where they leave room, the rest below it.
std::string OptionsHelp() {
    std::string text;
    for (const OptionSpec& spec : CheckOptionSpecs()) {
        text += OptionHelp(spec);
    }
    return text;
}

}  // namespace

std::span<const OptionSpec> CheckOptionSpecs() {
    return Declarations();
}

std::string OptionHelp(const OptionSpec& spec) {
    std::string text;
    // Appended piece by piece, not "  --" + ...: GCC 12 warns falsely
    // (-Wrestrict) on that form in optimised builds.
    std::string head = "  --";
    head.append(spec.Name);
    if (!spec.Argument.empty()) {
        head.push_back(' ');
        head.append(spec.Argument);
    }
    if (head.size() < kHelpColumn) {
        head.append(kHelpColumn - head.size(), ' ');
    } else {
        head.push_back('\n');
        head.append(kHelpColumn, ' ');
    }
    text += head;
    for (const char character : spec.Help) {
        text += character;
        if (character == '\n') {
            text += std::string(kHelpColumn, ' ');
        }
    }
    text += '\n';
    return text;
}

const OptionSpec* CheckOptionNamed(std::string_view name) {
    const std::vector<OptionSpec>& specs = Declarations();
    const auto found = std::find_if(specs.begin(), specs.end(),
                                    [name](const OptionSpec& spec) { return spec.Name == name; });
    return found == specs.end() ? nullptr : &*found;
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

// Reads the options into parse and the rest into operands, with current
// the index of the option being read, or the arguments' count once every
// option is read; stops at --help and --version.
void ReadOptions(const std::vector<std::string>& arguments, std::size_t& current,
                 OptionParse& parse, std::vector<std::string>& operands) {
    CheckCommand& command = parse.Command;
    command.Settings.Rules = CheckRules::Current;
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
            return;
        }
        command.Options.push_back(
            spec->Value == OptionValue::None ? parse.Option : parse.Option + "=" + parse.Value);
    }
    current = arguments.size();
}

// ParseCheckCommand, with current as ReadOptions leaves it.
CheckCommand ParseCheckCommandAt(const std::vector<std::string>& arguments, std::size_t& current) {
    OptionParse parse;
    CheckCommand& command = parse.Command;
    std::vector<std::string> operands;
    ReadOptions(arguments, current, parse, operands);
    if (command.Kind == CheckCommand::Mode::Help || command.Kind == CheckCommand::Mode::Version) {
        return command;
    }
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

// The options alone, for a program that takes some of the checker's.
CheckCommand ParseOptionsAt(const std::vector<std::string>& arguments, std::size_t& current) {
    OptionParse parse;
    std::vector<std::string> operands;
    ReadOptions(arguments, current, parse, operands);
    if (!operands.empty()) {
        throw EUsageError("no operands are taken, not \"" + operands.front() + "\"");
    }
    return std::move(parse.Command);
}

// parseAt's command, a usage error of an argument from where naming its
// place.
CheckCommand ParsedWithPlaces(CheckCommand (*parseAt)(const std::vector<std::string>&,
                                                      std::size_t&),
                              const std::vector<std::string>& arguments,
                              const std::vector<std::string>& where) {
    std::size_t current = arguments.size();
    try {
        return parseAt(arguments, current);
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

}  // namespace

CheckCommand ParseCheckCommand(const std::vector<std::string>& arguments) {
    std::size_t current = 0;
    return ParseCheckCommandAt(arguments, current);
}

CheckCommand ParseCheckCommand(const std::vector<std::string>& arguments,
                               const std::vector<std::string>& where) {
    return ParsedWithPlaces(ParseCheckCommandAt, arguments, where);
}

CheckCommand ParseCheckOptions(const std::vector<std::string>& arguments,
                               const std::vector<std::string>& where) {
    return ParsedWithPlaces(ParseOptionsAt, arguments, where);
}

std::string UsageText() {
    return "Usage: vornakle-check [OPTIONS] SOURCE\n"
           "       vornakle-check [OPTIONS] --browser firefox|chromium|chrome\n"
           "       vornakle-check [OPTIONS] --url URL\n"
           "\n"
           "Checks every link of the Favorites collection SOURCE (a directory: each\n"
           "subdirectory a folder, each *.url file a link) and prints one line per\n"
           "link in the order of the scan: folder path, link name, URL, status\n"
           "number, status text, class (ok, invalid, unknown, untested; under current\n"
           "rules also moved, suspect, login, blocked and not-checked, and with\n"
           "--confirmed failing; excluded for a link a filter left out, which is not\n"
           "asked), the reason for a status 5 (no usable answer): a token such as\n"
           "dns, refused, reset, timeout, malformed-reply, invalid-url,\n"
           "redirect-loop, too-many-redirects, no-location, unsupported-scheme,\n"
           "url-too-long, certificate-..., unreadable or pattern-undecided (a\n"
           "pattern gave up on the URL: not asked), under current rules also\n"
           "not-web or other-system (class not-checked) and file-missing or\n"
           "file-unreadable, then \": \" and a detail\n"
           "(empty when the server answered; rate-limited for a 429 that stayed;\n"
           "cached for a result the history gave (--max-age); else the signal of\n"
           "the class: suspect front-page-redirect, sign-in-redirect, moved-away,\n"
           "error-page-redirect, search-redirect, parked-domain, soft-404-title,\n"
           "soft-404-heading, same-as-made-up-address or empty-page; login\n"
           "auth-required, proxy-auth-required or sign-in-return; blocked\n"
           "challenge-header, challenge-page, bot-status, access-denied-reference,\n"
           "incident-id, captcha-delivery, press-and-hold or firewall-block), the\n"
           "final URL, whose reply decided, and from the history since when the link\n"
           "has been failing (UTC; empty when its last check was fine) and in how\n"
           "many checks in a row. Links sharing an address are checked once. SOURCE\n"
           "may also be a browser's bookmarks, told by their content: Firefox's\n"
           "places.sqlite, Chromium's or Chrome's Bookmarks file, or an HTML\n"
           "bookmark file; their folder paths are the bookmark folders (a \"/\" in a\n"
           "name written \"\\/\", a backslash \"\\\\\"), and places that are no web\n"
           "links (place: queries, separators, javascript:) are skipped and counted\n"
           "on standard error. The source is only read.\n"
           "\n"
           "Rules (--rules): current (the default) checks as today's web answers:\n"
           "HTTP/1.1 as a browser sends it, one GET per link over connections kept\n"
           "open for the next request to the same site, https with TLS sessions\n"
           "resumed, user:password@ in a URL as Basic authorization to its own site\n"
           "only, 301/302/303/307/308 and a refresh within 10 s followed up to 20\n"
           "times, 429 and 503 retried after their Retry-After, the proxy of\n"
           "http_proxy, https_proxy and no_proxy. A page behind a sign-in (401) is\n"
           "login, alive; a site that answers programs with a robot challenge or a\n"
           "reply number such as 999 is blocked: not known to be gone. A file: link\n"
           "to this system is looked up on its file system; javascript:, mailto:,\n"
           "data:, ftp: and any other scheme, and a file of another computer, are\n"
           "not-checked: nothing is sent, never bad. classic\n"
           "checks as Vornakle's \"Verify All links\" does by default: one HTTP/1.0\n"
           "HEAD request, 300 to 302 followed.\n"
           "\n"
           "History (current rules): every check is added to a history per address,\n"
           "by default $XDG_STATE_HOME/vornakle/history.sqlite (without that\n"
           "variable ~/.local/state/vornakle/history.sqlite), which keeps each\n"
           "address's last " +
           std::to_string(CheckHistory::kKeptChecks) +
           " checks and when its current run of failures began.\n"
           "\n"
           "Config file: $XDG_CONFIG_HOME/vornakle/vornakle-check.toml (without that\n"
           "variable ~/.config/vornakle/vornakle-check.toml) when it is there, or the\n"
           "file --config names: TOML whose keys are the long options' names with a\n"
           "value of their kind (jobs = 4, bad-only = true, exclude = [\"\\\\.pdf$\"]),\n"
           "and headers = { \"X-Token\" = \"...\" }; relative file names are read from\n"
           "its folder. The command line comes after it: its value of an option\n"
           "wins, its list items are added, and its source replaces the file's.\n"
           "\n"
           "Options:\n" +
           OptionsHelp() +
           "\n"
           "DURATION is a whole number and its unit: s, m, h or d (30m, 12h, 1d).\n"
           "\n"
           "Exit status: 0 no link is bad (login, blocked and excluded ones are not),\n"
           "1 some link is bad or suspect, 2 usage, config file or scan error, a\n"
           "link --update-moved, --update-dead or --move-dead could not or may not\n"
           "change, a browser that has the bookmarks to change open,\n"
           "a part of the source that could not be read (named on standard error),\n"
           "results that could not be written (to --output's file too), or a\n"
           "history that cannot be used (damaged, another program's, of a newer\n"
           "version, or in use too long); 130 interrupted (Ctrl-C, also while\n"
           "another run holds the history), 143 terminated.\n"
           "An archive that cannot be asked is named on standard error and changes\n"
           "none of these.\n";
}

}  // namespace vornakle
