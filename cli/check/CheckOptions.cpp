#include "cli/check/CheckOptions.h"

#include <charconv>
#include <cmath>
#include <cstddef>
#include <optional>
#include <string_view>

namespace vornakle {

namespace {

constexpr int kMillisecondsPerSecond = 1000;
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
    throw EUsageError("--format is text, csv or json, not \"" + value + "\"");
}

}  // namespace

CheckCommand ParseCheckCommand(const std::vector<std::string>& arguments) {
    CheckCommand command;
    command.Settings.Rules = CheckRules::Current;
    std::vector<std::string> operands;
    std::optional<std::string> url;
    bool optionsEnded = false;

    for (std::size_t index = 0; index < arguments.size(); ++index) {
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
        const std::string name = option.Name();
        const auto takeValue = [&option] { return option.TakeValue(); };
        const auto noValue = [&option] { option.TakeNoValue(); };
        if (name == "--help") {
            noValue();
            command.Kind = CheckCommand::Mode::Help;
            return command;
        } else if (name == "--version") {
            noValue();
            command.Kind = CheckCommand::Mode::Version;
            return command;
        } else if (name == "--jobs") {
            command.Settings.Jobs = WholeNumberOption(name, takeValue(), 1, kMaxJobs);
        } else if (name == "--per-host") {
            command.Settings.PerHost = WholeNumberOption(name, takeValue(), 1, kMaxPerHost);
        } else if (name == "--timeout") {
            command.Settings.TimeOutMilliseconds = TimeOutMilliseconds(takeValue());
        } else if (name == "--ca-file") {
            command.Settings.Tls.CaFile = takeValue();
            if (command.Settings.Tls.CaFile.empty()) {
                throw EUsageError("--ca-file needs a file name");
            }
        } else if (name == "--insecure") {
            noValue();
            command.Settings.Tls.Insecure = true;
        } else if (name == "--rules") {
            const std::string rules = takeValue();
            const std::optional<CheckRules> parsed = ParseCheckRules(rules);
            if (!parsed) {
                throw EUsageError("--rules is classic or current, not \"" + rules + "\"");
            }
            command.Settings.Rules = *parsed;
        } else if (name == "--user-agent") {
            command.Settings.UserAgent = takeValue();
            // The text becomes a header line: a line break would end it.
            if (command.Settings.UserAgent.empty() ||
                command.Settings.UserAgent.find_first_of(std::string("\r\n\0", 3)) !=
                    std::string::npos) {
                throw EUsageError("--user-agent needs a text on one line");
            }
        } else if (name == "--verbose") {
            noValue();
            command.Verbose = true;
        } else if (name == "--format") {
            command.Format = FormatNamed(takeValue());
        } else if (name == "--bad-only") {
            noValue();
            command.BadOnly = true;
        } else if (name == "--moved") {
            noValue();
            command.Moved = true;
        } else if (name == "--update-moved") {
            noValue();
            command.UpdateMoved = true;
        } else if (name == "--duplicates") {
            noValue();
            command.Duplicates = true;
        } else if (name == "--browser") {
            const std::string browser = takeValue();
            command.FromBrowser = BrowserNamed(browser);
            if (!command.FromBrowser) {
                throw EUsageError("--browser is firefox, chromium or chrome, not \"" + browser +
                                  "\"");
            }
        } else if (name == "--url") {
            if (url) {
                throw EUsageError("--url is given twice");
            }
            url = takeValue();
        } else {
            throw EUsageError("unknown option \"" + name + "\"");
        }
    }

    if (command.Duplicates && command.UpdateMoved) {
        throw EUsageError("--duplicates checks nothing, so --update-moved has nothing to do");
    }
    if (command.Settings.Rules == CheckRules::Classic && (command.UpdateMoved || command.Moved)) {
        throw EUsageError(std::string(command.UpdateMoved ? "--update-moved" : "--moved") +
                          " needs the current rules: only they tell moved links");
    }
    if (command.Verbose && !url) {
        throw EUsageError("--verbose goes with --url");
    }
    if (url) {
        if (!operands.empty() || command.FromBrowser) {
            throw EUsageError("--url checks one address; give no other source with it");
        }
        if (command.UpdateMoved || command.Duplicates) {
            throw EUsageError(std::string(command.UpdateMoved ? "--update-moved" : "--duplicates") +
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

std::string UsageText() {
    return "Usage: vornakle-check [OPTIONS] SOURCE\n"
           "       vornakle-check [OPTIONS] --browser firefox|chromium|chrome\n"
           "       vornakle-check [OPTIONS] --url URL\n"
           "\n"
           "Checks every link of the Favorites collection SOURCE (a directory: each\n"
           "subdirectory a folder, each *.url file a link) and prints one line per\n"
           "link in the order of the scan: folder path, link name, URL, status\n"
           "number, status text, class (ok, invalid, unknown, untested; under current\n"
           "rules also moved and suspect), the reason for a status 5 (no usable\n"
           "answer): a token such as dns, refused, reset, timeout, malformed-reply,\n"
           "redirect-loop, too-many-redirects, no-location, unsupported-scheme,\n"
           "url-too-long, certificate-... or unreadable, then \": \" and a detail\n"
           "(empty when the server answered; rate-limited for a 429 that stayed; for\n"
           "a suspect link the signal: front-page-redirect, sign-in-redirect,\n"
           "soft-404-title, soft-404-heading or same-as-made-up-address), and the\n"
           "final URL, whose reply decided. Links sharing an address are checked\n"
           "once. SOURCE may also be a browser's bookmarks, told by their content:\n"
           "Firefox's places.sqlite, Chromium's or Chrome's Bookmarks file, or an\n"
           "HTML bookmark file; their folder paths are the bookmark folders (a \"/\"\n"
           "in a name written \"\\/\", a backslash \"\\\\\"), and places that are no\n"
           "web links (place: queries, separators, javascript:) are skipped and\n"
           "counted on standard error. The source is only read.\n"
           "\n"
           "Rules (--rules): current (the default) checks as today's web answers:\n"
           "HTTP/1.1 as a browser sends it, https, 301/302/303/307/308 followed up\n"
           "to 20 times, a GET when HEAD gets a 4xx or 5xx or no answer, 429 and\n"
           "503 retried after their Retry-After, the proxy of http_proxy,\n"
           "https_proxy and no_proxy. classic checks as Vornakle's \"Verify All\n"
           "links\" does by default: one HTTP/1.0 HEAD request, 300 to 302 followed.\n"
           "\n"
           "Options:\n"
           "  --rules RULES     current or classic (default current)\n"
           "  --user-agent TEXT the User-Agent line under current rules (default:\n"
           "                    a current desktop browser's)\n"
           "  --jobs N          checks under way at once (1 to " +
           std::to_string(kMaxJobs) + ", default " + std::to_string(kDefaultJobs) +
           ")\n"
           "  --per-host N      checks under way at once to one host:port as the URL\n"
           "                    names it (1 to " +
           std::to_string(kMaxPerHost) + ", default " + std::to_string(kDefaultPerHost) +
           ")\n"
           "  --timeout SECONDS bound of each host lookup, connect and idle read\n"
           "                    (above 0, at most " +
           std::to_string(kMaxTimeOutSeconds) + ", default " +
           std::to_string(kDefaultTimeOutMilliseconds / kMillisecondsPerSecond) +
           ");\n"
           "                    a link's whole check, all redirections included,\n"
           "                    ends after " +
           std::to_string(kDeadlineTimeOuts) +
           " times this\n"
           "  --format FORMAT   text (tab-separated), csv (RFC 4180, with a header row)\n"
           "                    or json (one object per line); default text\n"
           "  --ca-file FILE    trust the certificates in FILE (PEM) as well as the\n"
           "                    system's for https links\n"
           "  --insecure        do not verify the certificates of https links\n"
           "  --bad-only        print only links that are not fine (what the report\n"
           "                    window lists), suspect ones included\n"
           "  --moved           print only links that moved for good, which the current\n"
           "                    rules tell (with --bad-only: as well as the bad ones)\n"
           "  --update-moved    rewrite the URL of each moved link's .url file to where\n"
           "                    it moved (owner, group and mode kept) and print each\n"
           "                    change (file, old and new URL), then the bad links,\n"
           "                    instead of the results; a Favorites directory only\n"
           "  --duplicates      print the groups of links that share an address\n"
           "                    (links without one in none) instead of checking\n"
           "  --browser NAME    check the bookmarks of the default profile of firefox,\n"
           "                    chromium or chrome\n"
           "  --url URL         check one address instead of a collection\n"
           "  --verbose         with --url: every request's reply number and URL\n"
           "                    on standard error\n"
           "  --help            show this text\n"
           "  --version         show the program's version\n"
           "\n"
           "Exit status: 0 no link is bad, 1 some link is bad or suspect, 2 usage or\n"
           "scan error, a .url file --update-moved could not or may not rewrite,\n"
           "a part of the source that could not be read (named on standard error),\n"
           "or results that could not be written; 130 interrupted (Ctrl-C), 143\n"
           "terminated.\n";
}

}  // namespace vornakle
