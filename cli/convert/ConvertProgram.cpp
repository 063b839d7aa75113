#include "cli/convert/ConvertProgram.h"

#include <optional>

#include "bookmarks/BookmarkError.h"
#include "bookmarks/BookmarkSource.h"
#include "bookmarks/BrowserProfiles.h"
#include "bookmarks/FavoritesDirectory.h"
#include "bookmarks/HtmlBookmarks.h"
#include "generated/Version.h"
#include "platform/ErrorMessages.h"
#include "platform/TextDecoding.h"

namespace vornakle {

namespace {

// "1 link", "2 links".
std::string Counted(int count, const std::string& noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

constexpr char kProgramName[] = "vornakle-convert";

// A command line the converter cannot run; the message says why.
class EConvertUsage : public Exception {
public:
    using Exception::Exception;
};

struct ConvertCommand {
    bool Help = false;
    bool Version = false;
    std::optional<Browser> FromBrowser;
    std::string Source;
    std::string Target;
};

ConvertCommand ParseConvertCommand(const std::vector<std::string>& arguments) {
    ConvertCommand command;
    std::vector<std::string> operands;
    bool optionsEnded = false;
    for (std::size_t index = 0; index < arguments.size(); ++index) {
        const std::string& argument = arguments[index];
        if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
            operands.push_back(argument);
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "--help") {
            command.Help = true;
            return command;
        } else if (argument == "--version") {
            command.Version = true;
            return command;
        } else if (argument == "--browser" || argument.rfind("--browser=", 0) == 0) {
            std::string name;
            if (argument == "--browser") {
                if (index + 1 >= arguments.size()) {
                    throw EConvertUsage("--browser needs a value");
                }
                name = arguments[++index];
            } else {
                name = argument.substr(argument.find('=') + 1);
            }
            command.FromBrowser = BrowserNamed(name);
            if (!command.FromBrowser) {
                throw EConvertUsage("--browser is firefox, chromium or chrome, not \"" + name +
                                    "\"");
            }
        } else {
            throw EConvertUsage("unknown option \"" + argument + "\"");
        }
    }
    const std::size_t wanted = command.FromBrowser ? 1 : 2;
    if (operands.size() != wanted) {
        throw EConvertUsage(command.FromBrowser ? "give TARGET only with --browser"
                                                : "give SOURCE and TARGET");
    }
    command.Target = operands.back();
    if (!command.FromBrowser) {
        command.Source = operands.front();
    }
    return command;
}

void PrintLine(std::FILE* stream, const std::string& message) {
    std::fprintf(stream, "%s: %s\n", kProgramName, TextBytes(DisplayText(message)).c_str());
}

std::string WrittenText(const EntryCounts& counts) {
    return "wrote " + Counted(counts.Bookmarks, "link") + " in " +
           Counted(counts.Folders, "folder");
}

int Convert(const ConvertCommand& command, std::FILE* output, std::FILE* errors) {
    const std::string source =
        command.FromBrowser
            ? LocateBrowserBookmarks(*command.FromBrowser, UserFoldersFromEnvironment())
            : command.Source;
    const bool fromDirectory = IsDirectorySource(source);
    const BookmarkCollection collection = ReadBookmarkSource(source);
    if (const std::string skipped = SkippedPlacesText(collection.Skipped); !skipped.empty()) {
        PrintLine(errors, skipped);
    }
    for (const LeftOutPart& part : collection.LeftOut) {
        PrintLine(errors, LeftOutText(part) + "; left out");
    }
    const EntryCounts found = CountEntries(collection.Root);
    if (found.Bookmarks == 0) {
        PrintLine(errors, "no bookmarks to convert in " + source + "; nothing was written");
        return kExitNotConverted;
    }
    std::string summary;
    int shortened = 0;
    if (fromDirectory) {
        WriteHtmlBookmarkFile(collection.Root, command.Target);
        summary = WrittenText(found) + " to the HTML bookmark file " + command.Target;
    } else {
        const WrittenCounts written = WriteFavoritesDirectory(collection.Root, command.Target);
        for (const RenamedEntry& renamed : written.Renamed) {
            shortened += renamed.Shortened ? 1 : 0;
            PrintLine(
                errors,
                (renamed.IsFolder ? "folder \"" : "bookmark \"") + renamed.Given + "\" in " +
                    (renamed.Folder.empty() ? std::string("the top folder") : renamed.Folder) +
                    " is written as \"" + renamed.Written + "\"");
        }
        summary = WrittenText(written) + " to " + command.Target;
    }
    if (shortened > 0) {
        summary += "; " + Counted(shortened, "name") + " shortened to fit a file name";
    }
    if (!collection.LeftOut.empty()) {
        summary += "; left out: " + LeftOutCounts(collection.LeftOut);
    }
    PrintLine(output, summary);
    return collection.LeftOut.empty() && shortened == 0 ? kExitConverted : kExitNotConverted;
}

}  // namespace

std::string ConvertUsageText() {
    return "Usage: vornakle-convert SOURCE TARGET\n"
           "       vornakle-convert --browser firefox|chromium|chrome TARGET\n"
           "       vornakle-convert --help | --version\n"
           "\n"
           "Carries bookmarks between a browser and a Favorites collection.\n"
           "\n"
           "- SOURCE a browser's bookmarks, told by their content: Firefox's\n"
           "  places.sqlite, Chromium's or Chrome's Bookmarks file, or an HTML\n"
           "  bookmark file; or, with --browser, those of the browser's default\n"
           "  profile. TARGET becomes a new Favorites directory: a folder per\n"
           "  bookmark folder, a .url file per bookmark. Places that are no web links\n"
           "  (place: queries, separators, javascript:) are skipped and counted.\n"
           "- SOURCE a Favorites directory: TARGET becomes a new HTML bookmark file,\n"
           "  which every browser imports.\n"
           "\n"
           "TARGET must not exist, or be empty. Names are made fit for files (\"/\"\n"
           "becomes \"-\"); a name taken in its folder gets a number, \"Name (2)\"; one\n"
           "no file can carry (empty, a folder \".\" or \"..\") gets \"_\" in front and is\n"
           "listed on standard error; one longer than a file name may be (240\n"
           "bytes) is shortened, listed there too, and the status is 2. URLs are\n"
           "written whole, however long. Nothing is ever replaced, and the source\n"
           "is only read.\n"
           "\n"
           "Options:\n"
           "  --browser NAME  read the bookmarks of the default profile of firefox,\n"
           "                  chromium or chrome\n"
           "  --help          show this text\n"
           "  --version       show the program's version\n"
           "\n"
           "Exit status: 0 converted, 2 not all converted: a usage error, a source\n"
           "that cannot be read or holds no bookmarks (nothing is written then),\n"
           "parts of the source left out or names shortened (each named on standard\n"
           "error, the rest written).\n";
}

int RunConvertProgram(const std::vector<std::string>& arguments, std::FILE* output,
                      std::FILE* errors) {
    SetMessageLanguage(MessageLanguage::English);
    ConvertCommand command;
    try {
        command = ParseConvertCommand(arguments);
    } catch (const EConvertUsage& error) {
        PrintLine(errors, error.Message());
        std::fprintf(errors, "Try '%s --help' for more information.\n", kProgramName);
        return kExitNotConverted;
    }
    if (command.Help) {
        const std::string usage = ConvertUsageText();
        std::fwrite(usage.data(), 1, usage.size(), output);
        return kExitConverted;
    }
    if (command.Version) {
        std::fprintf(output, "%s %s\n", kProgramName, kVersion);
        return kExitConverted;
    }
    try {
        return Convert(command, output, errors);
    } catch (const Exception& error) {
        PrintLine(errors, error.Message() + "; nothing was written");
        return kExitNotConverted;
    }
}

}  // namespace vornakle
