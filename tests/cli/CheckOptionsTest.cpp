#include "cli/check/CheckOptions.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include <string>
#include <vector>

namespace vornakle {
namespace {

using Arguments = std::vector<std::string>;

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
                              "--update-dead KIND",
                              "--archive-service URL",
                              "archive.org"}) {
        EXPECT_NE(usage.find(named), std::string::npos) << named;
    }
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
        {"--duplicates", "--archive", "d"},
        {"--archive-service", "http://a/", "d"},
        {"--archive", "--archive-service", "ftp://a/", "d"},
        {"--archive", "--archive-service", "http:///x", "d"},
        {"--archive", "--archive-service", "http://a/?q=1", "d"},
        {"--archive", "--archive-service", "http://a/ b", "d"},
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
