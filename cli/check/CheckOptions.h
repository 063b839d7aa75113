#pragma once

#include <chrono>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "bookmarks/BrowserProfiles.h"
#include "check/ArchiveLookup.h"
#include "check/CheckEngine.h"
#include "check/LinkFilter.h"
#include "cli/check/ResultFormat.h"
#include "history/AddressHistory.h"
#include "platform/CommandLine.h"

namespace vornakle {

// What the command line asks for.
struct CheckCommand {
    enum class Mode { Collection, SingleUrl, Help, Version };
    Mode Kind = Mode::Collection;
    // Mode::Collection: a Favorites directory or a bookmark file, or else
    // the browser whose default profile's bookmarks to check.
    std::string Source;
    std::optional<Browser> FromBrowser;
    std::string Url;  // Mode::SingleUrl
    CheckSettings Settings;
    TOutputFormat Format = TOutputFormat::Text;
    bool BadOnly = false;
    // Lists moved links (with BadOnly: as well as the bad ones).
    bool Moved = false;
    // Lists the links whose sites keep programs out (with BadOnly or Moved:
    // as well as those).
    bool Blocked = false;
    // Rewrites each moved link's shortcut to its final URL and prints the
    // changes instead of the results (a directory source only).
    bool UpdateMoved = false;
    // Looks up an archived copy of each dead link (ArchivedCopyWanted) and
    // prints it as the archive_url.
    bool Archive = false;
    // What becomes of a dead link's shortcut: with Archive, it is rewritten
    // to its archived copy, and the changes are printed as UpdateMoved
    // prints them (a directory source only).
    enum class DeadLinks { Kept, Archive };
    DeadLinks UpdateDead = DeadLinks::Kept;
    // Not empty: each bad link (with Confirmed, each confirmed one) not
    // rewritten to a copy is moved into the folder of this name at the top
    // of the collection, and the moves are printed as UpdateMoved prints
    // its changes.
    std::string MoveDeadFolder;
    // The web archive's base address: --archive-service, else the
    // environment's VORNAKLE_ARCHIVE_SERVICE, else the Wayback Machine's.
    std::string ArchiveService = kDefaultArchiveService;
    // Prints the groups of links sharing an address instead of checking.
    bool Duplicates = false;
    // Mode::SingleUrl: every request's URL and reply go to standard error.
    bool Verbose = false;

    // The history of checks, under the current rules: in its default place,
    // in HistoryFile, or none.
    enum class HistoryUse { Default, File, None };
    HistoryUse History = HistoryUse::Default;
    std::string HistoryFile;
    // A bad link counts as bad only once its failures meet Confirm; until
    // then its class is "failing".
    bool Confirmed = false;
    ConfirmRule Confirm;
    // A link whose last check was fine and younger than this is not asked.
    std::optional<std::chrono::seconds> MaxAge;
    // Removes the history of addresses the source no longer holds.
    bool Forget = false;

    // Links left out: neither asked nor counted as bad (class excluded).
    LinkFilter Filter;
    // Where the results go: standard output, or this file, which they
    // replace once they are whole.
    std::string OutputFile;
    // The options the run took, from the config file and the command line,
    // each as "--name" or "--name=value" (a header's value left out: it may
    // hold a secret), for a report to name.
    std::vector<std::string> Options;

    // Whether the run reads and writes the history.
    bool KeepsHistory() const;
    // Whether the run changes its source's links (--update-moved,
    // --update-dead, --move-dead) and prints the changes instead of the
    // results.
    bool RewritesLinks() const {
        return UpdateMoved || UpdateDead != DeadLinks::Kept || !MoveDeadFolder.empty();
    }
    // The option that rewrites shortcut files, for messages.
    std::string RewritingOption() const;
};

// Bound of --timeout: a wait of an hour is longer than any server that
// answers at all needs.
inline constexpr int kMaxTimeOutSeconds = 3600;
// Bounds of --confirm-runs and of the durations (--confirm-after,
// --max-age): ten years is longer than any history is kept.
inline constexpr int kMaxConfirmRuns = 1000;
inline constexpr int kMaxDurationDays = 3650;

// What an option takes, as a config file's key gives it too.
enum class OptionValue {
    None,      // nothing: a switch (true in a config file)
    Text,      // a text
    Path,      // a file name (in a config file relative to its folder)
    Number,    // a whole number
    Decimal,   // a number with or without a fraction
    List,      // a text, given as often as wanted (an array in a config file)
    PathList,  // a file name, given as often as wanted
};

// What the options read so far give (CheckOptions.cpp).
struct OptionParse;

// One long option of the checker, declared once: the parser, --help, the
// config file's keys (InConfig), the completion (through --help) and a test
// of the manual page all read it. Name without its "--"; Argument names
// the value in the help (empty for a switch); Help is its lines in the
// help, "\n" between them; Apply reads the value into the parse (throwing
// EUsageError for one it refuses); NamesSource: it names what is checked,
// as the operand does.
struct OptionSpec {
    std::string_view Name;
    std::string_view Argument;
    OptionValue Value = OptionValue::None;
    std::string Help;
    void (*Apply)(OptionParse&) = nullptr;
    bool NamesSource = false;
    bool InConfig = true;
};

// Every long option of the checker, in the order of the help.
std::span<const OptionSpec> CheckOptionSpecs();
// The option of that name (without "--"); nullptr when there is none.
const OptionSpec* CheckOptionNamed(std::string_view name);

// Reads the arguments after the program name. The checker follows the
// current rules unless --rules classic asks for the program's own. Options come as "--name
// VALUE" or "--name=VALUE", in any order around the source; "--" ends the
// options. Throws EUsageError.
CheckCommand ParseCheckCommand(const std::vector<std::string>& arguments);
// The same, where[index] telling where arguments[index] comes from when not
// from the command line (else empty), such as a config file's line: a usage
// error of that argument names the place.
CheckCommand ParseCheckCommand(const std::vector<std::string>& arguments,
                               const std::vector<std::string>& where);

// The checker's options among arguments read into a command as
// ParseCheckCommand reads them, for a program that takes some of them (the
// desktop's): no source, no operand, and none of the checks of options that
// go together, which that program makes itself. where as for
// ParseCheckCommand. Throws EUsageError.
CheckCommand ParseCheckOptions(const std::vector<std::string>& arguments,
                               const std::vector<std::string>& where = {});

// One option's lines in the help: its name and value's name, its first
// line beside them where they leave room, the rest below it.
std::string OptionHelp(const OptionSpec& spec);

// The --help text.
std::string UsageText();

}  // namespace vornakle
