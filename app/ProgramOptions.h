#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "check/CheckSettings.h"
#include "check/LinkFilter.h"
#include "platform/CommandLine.h"

namespace vornakle {

// What the desktop program's command line asks for.
struct ProgramOptions {
    enum class Mode { Run, Help, Version };
    Mode Kind = Mode::Run;
    // Classic unless --rules current: the verify commands then check many
    // links at once, with Jobs and PerHost.
    CheckSettings Check;
    // Under current rules only, and only when asked for (vornakle-check's
    // --exclude, --include, --exclude-file and --max-age, on the command
    // line or in the config file --config names): the links the checks
    // leave out, and how old a fine result of the history may be to stand
    // for a check.
    LinkFilter Filter;
    std::optional<std::chrono::seconds> MaxAge;
};

// Reads the arguments after the program name: "--name VALUE" or
// "--name=VALUE"; the program takes no operands. Throws EUsageError.
ProgramOptions ParseProgramOptions(const std::vector<std::string>& arguments);

// The --help text.
std::string ProgramUsageText();

}  // namespace vornakle
