#pragma once

#include <string>
#include <vector>

#include "check/CheckSettings.h"
#include "platform/CommandLine.h"

namespace vornakle {

// What the desktop program's command line asks for.
struct ProgramOptions {
    enum class Mode { Run, Help, Version };
    Mode Kind = Mode::Run;
    // Classic unless --rules current: the verify commands then check many
    // links at once, with Jobs and PerHost.
    CheckSettings Check;
};

// Reads the arguments after the program name: "--name VALUE" or
// "--name=VALUE"; the program takes no operands. Throws EUsageError.
ProgramOptions ParseProgramOptions(const std::vector<std::string>& arguments);

// The --help text.
std::string ProgramUsageText();

}  // namespace vornakle
