#pragma once

#include <string>
#include <vector>

#include "check/CheckEngine.h"
#include "cli/check/ResultFormat.h"
#include "platform/Exception.h"

namespace vornakle {

// A command line the checker cannot run; the message says why.
class EUsageError : public Exception {
public:
    using Exception::Exception;
};

// What the command line asks for.
struct CheckCommand {
    enum class Mode { Collection, SingleUrl, Help };
    Mode Kind = Mode::Collection;
    std::string Directory;  // Mode::Collection
    std::string Url;        // Mode::SingleUrl
    CheckSettings Settings;
    TOutputFormat Format = TOutputFormat::Text;
    bool BadOnly = false;
};

// Bounds of the numeric options: a thread per job, and a wait of an hour is
// longer than any server that answers at all needs.
inline constexpr int kMaxJobs = 256;
inline constexpr int kMaxPerHost = kMaxJobs;
inline constexpr int kMaxTimeOutSeconds = 3600;

// Reads the arguments after the program name. Options come as "--name
// VALUE" or "--name=VALUE", in any order around the directory; "--" ends the
// options. Throws EUsageError.
CheckCommand ParseCheckCommand(const std::vector<std::string>& arguments);

// The --help text.
std::string UsageText();

}  // namespace vornakle
