#include "app/ProgramOptions.h"

#include <cstddef>
#include <optional>

namespace vornakle {

namespace {}  // namespace

ProgramOptions ParseProgramOptions(const std::vector<std::string>& arguments) {
    ProgramOptions options;
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
        } else {
            throw EUsageError("unknown option \"" + name + "\"");
        }
    }
    return options;
}

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
           std::to_string(kMaxPerHost) + ", default " + std::to_string(kDefaultPerHost) +
           ")\n"
           "  --help            print this help and exit\n"
           "  --version         print the version and exit\n"
           "\n"
           "Exit status: 0 when the window was closed, 2 for a bad command line or\n"
           "when no window can be shown.\n";
}

}  // namespace vornakle
