#include "cli/check/CheckOptions.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <set>

#include "cli/check/CheckConfig.h"
#include "support/TempTree.h"

#include <string>
#include <vector>

namespace vornakle {
namespace {

using Arguments = std::vector<std::string>;
using testing::TempTree;

TEST(CheckOptions, DefaultsAreThoseTheHelpNames) {
    const CheckCommand command = ParseCheckCommand({"/fav"});
    EXPECT_EQ(command.Kind, CheckCommand::Mode::Collection);
    EXPECT_EQ(command.Source, "/fav");
    EXPECT_EQ(command.Settings.Jobs, 8);
    EXPECT_EQ(command.Settings.PerHost, 2);
    EXPECT_EQ(command.Settings.TimeOutMilliseconds, 20000);
    EXPECT_EQ(command.Format, TOutputFormat::Text);
    EXPECT_FALSE(command.BadOnly);
    EXPECT_FALSE(command.Moved || command.UpdateMoved || command.Duplicates);
    EXPECT_EQ(command.Settings.Tls, TlsSettings{});
    EXPECT_EQ(command.Settings.Rules, CheckRules::Current);
    EXPECT_EQ(command.Settings.UserAgent, "");
    EXPECT_FALSE(command.Verbose);
    EXPECT_TRUE(command.KeepsHistory());
    EXPECT_FALSE(command.Confirmed || command.MaxAge || command.Forget);
    EXPECT_EQ(command.Confirm.Runs, 2);
    EXPECT_EQ(command.Confirm.Over, std::chrono::days(1));
    const std::string usage = UsageText();
    for (const char* named : {"default 8",
                              "default 2",
                              "default 20",
                              "--bad-only",
                              "--url",
                              "--format",
                              "--help",
                              "130",
                              "--ca-file",
                              "--insecure",
                              "--rules",
                              "default current",
                              "--user-agent",
                              "--verbose",
                              "--moved",
                              "--update-moved",
                              "--duplicates",
                              "suspect",
                              "default 1d",
                              "--confirm-runs N",
                              "history.sqlite",
                              "html",
                              "excluded",
                              "vornakle-check.toml",
                              "--update-dead KIND",
                              "--move-dead FOLDER",
                              "--archive-service URL",
                              "archive.org"}) {
        EXPECT_NE(usage.find(named), std::string::npos) << named;
    }
    // The options the config file knows are those the help names.
    std::set<std::string> known;
    for (const OptionSpec& option : CheckOptionSpecs()) {
        known.insert("--" + std::string(option.Name));
        EXPECT_NE(usage.find("  --" + std::string(option.Name) + " "), std::string::npos)
            << option.Name;
    }
    for (std::size_t start = usage.find("\n  --"); start != std::string::npos;
         start = usage.find("\n  --", start + 1)) {
        const std::string name =
            usage.substr(start + 3, usage.find_first_of(" \n", start + 3) - start - 3);
        EXPECT_TRUE(known.count(name)) << name << " has no key in the config file";
    }
}

// The manual page lists exactly the declared options, each once with its
// value's name; what it says of them is its own.
TEST(CheckOptions, ManualPageListsTheDeclaredOptions) {
    std::ifstream page(VORNAKLE_CHECK_MANUAL);
    ASSERT_TRUE(page) << VORNAKLE_CHECK_MANUAL;
    std::multiset<std::string> listed;
    bool options = false;
    for (std::string line, previous; std::getline(page, line); previous = line) {
        options = line.rfind(".SH", 0) == 0 ? line == ".SH OPTIONS" : options;
        if (options && previous == ".TP") {
            // .BI \-\-name " VALUE" as --name VALUE
            listed.insert(std::regex_replace(line, std::regex(R"re(^\.BI? |\\| "|"$)re"), ""));
        }
    }
    std::multiset<std::string> declared;
    for (const OptionSpec& option : CheckOptionSpecs()) {
        declared.insert("--" + std::string(option.Name) + (option.Argument.empty() ? "" : " ") +
                        std::string(option.Argument));
    }
    EXPECT_EQ(listed, declared);
}

TEST(CheckOptions, EveryOptionInBothSpellings) {
    for (const Arguments& arguments :
         {Arguments{"--jobs", "16", "--per-host", "3", "--timeout", "1.5", "--format", "json",
                    "--bad-only", "--ca-file", "ca.pem", "--insecure", "--rules", "classic",
                    "--user-agent", "Bot/2 (x)", "dir"},
          Arguments{"dir", "--jobs=16", "--per-host=3", "--timeout=1.5", "--format=json",
                    "--bad-only", "--ca-file=ca.pem", "--insecure", "--rules=classic",
                    "--user-agent=Bot/2 (x)"}}) {
        const CheckCommand command = ParseCheckCommand(arguments);
        EXPECT_EQ(command.Source, "dir");
        EXPECT_EQ(command.Settings.Jobs, 16);
        EXPECT_EQ(command.Settings.PerHost, 3);
        EXPECT_EQ(command.Settings.TimeOutMilliseconds, 1500);
        EXPECT_EQ(command.Format, TOutputFormat::Json);
        EXPECT_TRUE(command.BadOnly);
        EXPECT_EQ(command.Settings.Tls.CaFile, "ca.pem");
        EXPECT_TRUE(command.Settings.Tls.Insecure);
        EXPECT_EQ(command.Settings.Rules, CheckRules::Classic);
        EXPECT_EQ(command.Settings.UserAgent, "Bot/2 (x)");
    }
    const CheckCommand rot = ParseCheckCommand({"--update-moved", "d", "--moved"});
    EXPECT_TRUE(rot.Moved && rot.UpdateMoved && !rot.Duplicates);
    EXPECT_EQ(ParseCheckCommand({"--rules", "current", "d"}).Settings.Rules, CheckRules::Current);
    EXPECT_TRUE(ParseCheckCommand({"--url", "http://x/", "--verbose"}).Verbose);
    EXPECT_TRUE(ParseCheckCommand({"--duplicates", "d"}).Duplicates);
    // --update-dead looks the copies up; the command line's archive wins
    // over the environment's.
    ASSERT_EQ(::setenv("VORNAKLE_ARCHIVE_SERVICE", "http://[::1]:8/w", 1), 0);
    const CheckCommand dead =
        ParseCheckCommand({"--update-dead=archive", "--archive-service", "http://h:1/x/", "d"});
    EXPECT_TRUE(dead.Archive && dead.RewritesLinks());
    EXPECT_EQ(dead.ArchiveService, "http://h:1/x/");
    EXPECT_EQ(ParseCheckCommand({"--archive", "d"}).ArchiveService, "http://[::1]:8/w");
    // A broken one in the environment matters only to a run that asks.
    ASSERT_EQ(::setenv("VORNAKLE_ARCHIVE_SERVICE", "archive.org", 1), 0);
    EXPECT_FALSE(ParseCheckCommand({"d"}).Archive);
    EXPECT_THROW(ParseCheckCommand({"--archive", "d"}), EUsageError);
    ASSERT_EQ(::unsetenv("VORNAKLE_ARCHIVE_SERVICE"), 0);
    EXPECT_EQ(ParseCheckCommand({"--archive", "d"}).ArchiveService, "https://archive.org");
    const CheckCommand history =
        ParseCheckCommand({"--history=h", "--confirmed", "--confirm-runs", "3",
                           "--confirm-after=90m", "--max-age", "2d", "--forget", "d"});
    EXPECT_TRUE(history.KeepsHistory() && history.Confirmed && history.Forget);
    EXPECT_EQ(history.HistoryFile, "h");
    EXPECT_EQ(history.Confirm.Runs, 3);
    EXPECT_EQ(history.Confirm.Over, std::chrono::minutes(90));
    EXPECT_EQ(history.MaxAge, std::chrono::days(2));
    EXPECT_FALSE(ParseCheckCommand({"--no-history", "d"}).KeepsHistory());
    EXPECT_FALSE(ParseCheckCommand({"--rules", "classic", "d"}).KeepsHistory());
    EXPECT_EQ(ParseCheckCommand({"--format", "csv", "d"}).Format, TOutputFormat::Csv);
    EXPECT_EQ(ParseCheckCommand({"--format", "text", "d"}).Format, TOutputFormat::Text);
    // A tiny time-out is still a bound, never "no time-out".
    EXPECT_EQ(ParseCheckCommand({"--timeout", "0.0001", "d"}).Settings.TimeOutMilliseconds, 1);
    EXPECT_EQ(ParseCheckCommand({"--timeout", "3600", "d"}).Settings.TimeOutMilliseconds, 3600000);
    const CheckCommand asking = ParseCheckCommand(
        {"--accept", "200..299, 403", "--accept=999", "--header", "X-Key:  a:b ", "d"});
    EXPECT_EQ(asking.Settings.Accepted,
              (std::vector<StatusRange>{{200, 299}, {403, 403}, {999, 999}}));
    EXPECT_EQ(asking.Settings.ExtraHeaders, std::vector<std::string>{"X-Key: a:b"});
    EXPECT_EQ(asking.Options.back(), "--header=X-Key: ...") << "a header's value stays out";
}

// A config file's keys under the command line's options, and the errors
// that name the file, its line and the key.
std::string Repeated(const std::string& text, int count) {
    std::string repeated;
    for (int index = 0; index < count; ++index) {
        repeated += text;
    }
    return repeated;
}

TEST(CheckOptions, ConfigFileUnderTheCommandLine) {
    TempTree files;
    const std::string config = files.Path("check.toml");
    const auto read = [&](const std::string& text, Arguments arguments) {
        files.WriteFile("check.toml", text);
        arguments.insert(arguments.begin(), {"--config", config});
        return ReadCheckCommand(arguments);
    };
    const struct {
        std::string text;
        Arguments arguments;
        std::function<bool(const CheckCommand&)> holds;
    } rows[] = {
        {"jobs = 3\ntimeout = 1.5\nbad-only = true\nmoved = false",
         {"d"},
         [](const CheckCommand& c) {
             return c.Settings.Jobs == 3 && c.Settings.TimeOutMilliseconds == 1500 && c.BadOnly &&
                    !c.Moved;
         }},
        {"jobs = 3\nrules = 'classic'",
         {"--jobs=5", "--rules", "current", "d"},
         [](const CheckCommand& c) {
             return c.Settings.Jobs == 5 && c.Settings.Rules == CheckRules::Current;
         }},
        {"exclude = ['a']\ninclude = 'b'",
         {"--exclude", "c", "d"},
         [](const CheckCommand& c) {
             using enum LinkFilter::Verdict;
             return c.Filter.Decide("a").Result == Excluded &&
                    c.Filter.Decide("c").Result == Excluded &&
                    c.Filter.Decide("ab").Result == Checked;
         }},
        {"url = 'http://x/'\nbrowser = 'firefox'",
         {"d"},
         [](const CheckCommand& c) { return c.Source == "d" && !c.FromBrowser; }},
        {"url = 'http://x/'", {}, [](const CheckCommand& c) { return c.Url == "http://x/"; }},
        {"accept = ['200..299', 403]\n[headers]\nX-A = '1'",
         {"--header", "X-B: 2", "d"},
         [](const CheckCommand& c) {
             return c.Settings.Accepted == std::vector<StatusRange>{{200, 299}, {403, 403}} &&
                    c.Settings.ExtraHeaders == std::vector<std::string>{"X-A: 1", "X-B: 2"};
         }},
        {"history = 'h.sqlite'\nca-file = '/ca.pem'",
         {"d"},
         [&files](const CheckCommand& c) {
             return c.HistoryFile == files.Path("h.sqlite") && c.Settings.Tls.CaFile == "/ca.pem";
         }},
        {"no-history = true",
         {"--history", "h", "d"},
         [](const CheckCommand& c) { return c.HistoryFile == "h" && c.KeepsHistory(); }},
        {"jobs = 'many'",
         {"--no-config", "d"},
         [](const CheckCommand& c) { return c.Settings.Jobs == 8; }},
        // Dots in strings and comments are no key parts.
        {"user-agent = '" + Repeated("a.", 100) + "' # " + Repeated("b.", 100) + "\n",
         {"d"},
         [](const CheckCommand& c) { return c.Settings.UserAgent.size() == 200; }},
    };
    for (const auto& row : rows) {
        EXPECT_TRUE(row.holds(!row.arguments.empty() && row.arguments.front() == "--no-config"
                                  ? ReadCheckCommand(row.arguments)
                                  : read(row.text, row.arguments)))
            << row.text;
    }
    const std::pair<std::string, std::string> errors[] = {
        {"jobs = '3'", ":1: key jobs needs a whole number"},
        {"\n\nfrobnicate = 1", ":3: unknown key \"frobnicate\""},
        {"help = true", ":1: unknown key \"help\""},
        {"bad-only = 1", ":1: key bad-only needs true or false"},
        {"jobs = 2\n# why\nper-host = 0", ":3: key per-host: --per-host needs a whole number"},
        {"exclude = ['ok', '(']", ":1: key exclude: --exclude: \"(\" is no regular expression"},
        {"[headers]\nX-A = 1", ":2: key headers.X-A needs a text"},
        {"headers = 'X-A: 1'", ":1: key headers needs a table"},
        {"jobs = ", ":1: not TOML"},
        {"[output]\nfile = 'x'", ":1: key output needs a file name"},
        // Deep enough to overflow the TOML parser's stack.
        {"a" + Repeated(".a", 50000) + " = 1", ":1: keys, tables or values nested deeper than 64"},
        {"\n[" + Repeated("a.", 50000) + "a]", ":2: keys, tables or values nested deeper than 64"},
        {"x = " + Repeated("[", 65) + Repeated("]", 65), ":1: keys, tables or values nested"},
        // Control characters reach no terminal raw.
        {"\"a\\u001b[31m\\u0007\" = 1", ":1: unknown key \"a\\x1b[31m\\x07\""},
        {"[headers]\nX-A = \"a\\u0007\"",
         ":2: key headers.X-A: --header X-A holds the control character \\x07"},
        // A conflict within the file names its place.
        {"update-moved = true\nrules = 'classic'",
         ":1: key update-moved: --update-moved needs the current rules"},
    };
    for (const auto& [text, message] : errors) {
        try {
            read(text, {"d"});
            ADD_FAILURE() << text;
        } catch (const EUsageError& error) {
            EXPECT_EQ(error.Message().find(config + message), 0u) << error.Message();
        }
    }
    // A config file named without a folder lies in the working folder, and
    // so do the files it names.
    files.WriteFile("check.toml", "history = 'h.sqlite'");
    const std::filesystem::path working = std::filesystem::current_path();
    std::filesystem::current_path(files.Root());
    EXPECT_EQ(ReadCheckCommand({"--config", "check.toml", "d"}).HistoryFile, "h.sqlite");
    std::filesystem::current_path(working);
    // The default file, and none when it is not there.
    files.WriteFile("xdg/vornakle/vornakle-check.toml", "per-host = 7");
    const char* saved = std::getenv("XDG_CONFIG_HOME");
    const std::string previous = saved ? saved : "";
    ::setenv("XDG_CONFIG_HOME", files.Path("xdg").c_str(), 1);
    EXPECT_EQ(ReadCheckCommand({"d"}).Settings.PerHost, 7);
    EXPECT_EQ(ReadCheckCommand({"--no-config", "d"}).Settings.PerHost, 2);
    ::setenv("XDG_CONFIG_HOME", files.Path("none").c_str(), 1);
    EXPECT_EQ(ReadCheckCommand({"d"}).Settings.PerHost, 2);
    EXPECT_THROW(ReadCheckCommand({"--config", files.Path("none"), "d"}), EUsageError);
    EXPECT_THROW(ReadCheckCommand({"--config", config, "--no-config", "d"}), EUsageError);
    saved ? ::setenv("XDG_CONFIG_HOME", previous.c_str(), 1) : ::unsetenv("XDG_CONFIG_HOME");
}

TEST(CheckOptions, UrlModeHelpVersionAndEndOfOptions) {
    const CheckCommand single = ParseCheckCommand({"--url", "http://x/"});
    EXPECT_EQ(single.Kind, CheckCommand::Mode::SingleUrl);
    EXPECT_EQ(single.Url, "http://x/");
    EXPECT_EQ(ParseCheckCommand({"--url=http://a=b/"}).Url, "http://a=b/");
    EXPECT_EQ(ParseCheckCommand({"--help"}).Kind, CheckCommand::Mode::Help);
    EXPECT_EQ(ParseCheckCommand({"dir", "--jobs", "4", "--help"}).Kind, CheckCommand::Mode::Help);
    EXPECT_EQ(ParseCheckCommand({"--jobs", "4", "--version", "a", "b"}).Kind,
              CheckCommand::Mode::Version);
}

TEST(CheckOptions, BadCommandLinesAreUsageErrors) {
    const Arguments bad[] = {
        {},
        {"a", "b"},
        {"--jobs", "0", "d"},
        {"--jobs", "257", "d"},
        {"--jobs", "4x", "d"},
        {"--jobs", "", "d"},
        {"--jobs"},
        {"--per-host", "0", "d"},
        {"--timeout", "0", "d"},
        {"--timeout", "-1", "d"},
        {"--timeout", "3601", "d"},
        {"--timeout", "nan", "d"},
        {"--timeout", "inf", "d"},
        {"--format", "xml", "d"},
        {"--bad-only=yes", "d"},
        {"--moved=yes", "d"},
        {"--update-moved=no", "d"},
        {"--duplicates=1", "d"},
        // Nothing to rewrite without a check, nor without a collection.
        {"--duplicates", "--update-moved", "d"},
        {"--update-moved", "--url", "http://x/"},
        {"--duplicates", "--url", "http://x/"},
        {"--insecure=yes", "d"},
        {"--ca-file", "", "d"},
        {"--ca-file"},
        {"--version=1"},
        {"--url", "http://x/", "d"},
        {"--url", "http://x/", "--url", "http://y/"},
        {"--colour", "d"},
        {"--header", "X-A: a\x1b[31m", "d"},
        {"--header", "X-A: a\x7f", "d"},
        {"-j", "d"},
        {"--rules", "modern", "d"},
        {"--rules", "Classic", "d"},
        {"--user-agent", "", "d"},
        {"--user-agent", "a\r\nX-Injected: 1", "d"},
        {"--verbose", "d"},
        {"--verbose=yes", "--url", "http://x/"},
        // A duration is a whole number and a unit, within ten years.
        {"--max-age", "1", "d"},
        {"--max-age", "1w", "d"},
        {"--max-age", "-1d", "d"},
        {"--max-age", "d", "d"},
        {"--max-age", "3651d", "d"},
        {"--history", "", "d"},
        {"--confirm-runs", "2", "d"},
        {"--confirmed", "--confirm-runs", "0", "d"},
        // The history's options without the history.
        {"--confirmed", "--no-history", "d"},
        {"--max-age", "1d", "--rules", "classic", "d"},
        {"--forget", "--url", "http://x/"},
        {"--duplicates", "--forget", "d"},
        {"--update-dead", "remove", "d"},
        {"--update-dead", "archive", "--url", "http://x/"},
        {"--move-dead", "", "d"},
        {"--move-dead", "Dead/links", "d"},
        {"--move-dead", "..", "d"},
        {"--move-dead", "Dead", "--url", "http://x/"},
        {"--duplicates", "--move-dead", "Dead", "d"},
        {"--move-dead", "Dead", "--format", "html", "d"},
        {"--duplicates", "--archive", "d"},
        {"--archive-service", "http://a/", "d"},
        {"--archive", "--archive-service", "ftp://a/", "d"},
        {"--archive", "--archive-service", "http:///x", "d"},
        {"--archive", "--archive-service", "http://a/?q=1", "d"},
        {"--archive", "--archive-service", "http://a/ b", "d"},
        // Filters, accepted replies and header lines.
        {"--exclude", "(", "d"},
        {"--include", "a{2,1}", "d"},
        {"--exclude-file", "/nonexistent/patterns", "d"},
        {"--accept", "99", "d"},
        {"--accept", "300..200", "d"},
        {"--accept", "200,", "d"},
        {"--accept", "2xx", "d"},
        {"--accept", "403", "--rules", "classic", "d"},
        {"--header", "X-A: 1", "--rules", "classic", "d"},
        {"--header", "Host: a.example", "d"},
        {"--header", "transfer-encoding: chunked", "d"},
        {"--header", "No colon", "d"},
        {"--header", ": value", "d"},
        {"--header", "X A: 1", "d"},
        {"--header", "X-A: 1\r\nX-B: 2", "d"},
        {"--header", std::string("X-A: 1\0", 7), "d"},
        {"--output", "", "d"},
        {"--config", "", "d"},
        {"--no-config=yes", "d"},
    };
    for (const Arguments& arguments : bad) {
        std::string line;
        for (const std::string& argument : arguments) {
            line += argument + ' ';
        }
        EXPECT_THROW(ParseCheckCommand(arguments), EUsageError) << line;
    }
}

TEST(CheckOptions, DirectoriesThatLookLikeOptions) {
    EXPECT_EQ(ParseCheckCommand({"--", "--jobs"}).Source, "--jobs");
    EXPECT_EQ(ParseCheckCommand({"-"}).Source, "-");
    const CheckCommand browser = ParseCheckCommand({"--browser=chrome", "--jobs", "2"});
    EXPECT_EQ(browser.FromBrowser, Browser::Chrome);
    EXPECT_EQ(browser.Source, "");
}

}  // namespace
}  // namespace vornakle
