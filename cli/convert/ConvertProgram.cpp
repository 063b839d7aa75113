#include "cli/convert/ConvertProgram.h"

#include <optional>

#include "bookmarks/BookmarkError.h"
#include "bookmarks/BookmarkSource.h"
#include "bookmarks/BrowserProfiles.h"
#include "bookmarks/FavoritesDirectory.h"
#include "bookmarks/HtmlBookmarks.h"
#include "generated/Version.h"
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

int Convert(const ConvertCommand& command, std::FILE* output, std::FILE* errors) {
    const std::string source =
        command.FromBrowser
            ? LocateBrowserBookmarks(*command.FromBrowser, UserFoldersFromEnvironment())
            : command.Source;
    if (IsDirectorySource(source)) {
        const BookmarkCollection collection = ReadBookmarkSource(source);
        WriteHtmlBookmarkFile(collection.Root, command.Target);
        PrintLine(output, "wrote the HTML bookmark file " + command.Target);
        return kExitConverted;
    }
    const BookmarkCollection collection = ReadBookmarkFileSource(source);
    if (const std::string skipped = SkippedPlacesText(collection.Skipped); !skipped.empty()) {
        PrintLine(errors, skipped);
    }
    const WrittenCounts counts = WriteFavoritesDirectory(collection.Root, command.Target);
    PrintLine(output, "wrote " + Counted(counts.Bookmarks, "link") + " in " +
                          Counted(counts.Folders, "folder") + " to " + command.Target);
    return kExitConverted;
}

}  // namespace

std::string ConvertUsageText() {
    return "Usage: vornakle-convert SOURCE TARGET\n"
           "       vornakle-convert --browser firefox|chromium|chrome TARGET\n"
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
           "becomes \"-\"); a name taken in its folder gets a number, \"Name (2)\".\n"
           "Nothing is ever replaced, and the source is only read.\n"
           "\n"
           "Options:\n"
           "  --browser NAME  read the bookmarks of the default profile of firefox,\n"
           "                  chromium or chrome\n"
           "  --help          show this text\n"
           "  --version       show the program's version\n"
           "\n"
           "Exit status: 0 converted, 2 usage error or nothing converted (the reason\n"
           "on standard error; nothing is written then).\n";
}

int RunConvertProgram(const std::vector<std::string>& arguments, std::FILE* output,
                      std::FILE* errors) {
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
