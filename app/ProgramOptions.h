#pragma once

#include <string>
#include <vector>

#include "check/CheckSettings.h"
#include "platform/Exception.h"

namespace vornakle {

// A command line the desktop program cannot run; the message says why.
class EProgramUsageError : public Exception {
public:
    using Exception::Exception;
};

// What the desktop program's command line asks for.
struct ProgramOptions {
    enum class Mode { Run, Help, Version };
    Mode Kind = Mode::Run;
    // Classic unless --rules current: the verify commands then check many
    // links at once, with Jobs and PerHost.
    CheckSettings Check;
};

// A thread per job; more than this would only be refused by servers.
inline constexpr int kMaxProgramJobs = 256;

// Reads the arguments after the program name: "--name VALUE" or
// "--name=VALUE"; the program takes no operands. Throws EProgramUsageError.
ProgramOptions ParseProgramOptions(const std::vector<std::string>& arguments);

// The --help text.
std::string ProgramUsageText();

}  // namespace vornakle
