#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "platform/Exception.h"

namespace vornakle {

// A command line a program cannot run; the message says why.
class EUsageError : public Exception {
public:
    using Exception::Exception;
};

// The long option at arguments[index], as the programs take them:
// "--name VALUE" or "--name=VALUE".
class LongOption {
public:
    LongOption(const std::vector<std::string>& arguments, std::size_t& index);

    const std::string& Name() const { return name_; }
    // The text after "=", else the next argument, which it uses up. Throws
    // EUsageError when neither is there.
    std::string TakeValue();
    // Throws EUsageError when the option came with "=VALUE".
    void TakeNoValue() const;

private:
    const std::vector<std::string>& arguments_;
    std::size_t& index_;
    std::string name_;
    std::optional<std::string> value_;
};

// value as a whole number from minimum to maximum; throws EUsageError,
// naming option, for anything else.
int WholeNumberOption(const std::string& option, const std::string& value, int minimum,
                      int maximum);

// The contents of a small file an option names (a config file, a file of
// patterns); throws EUsageError naming the option when it cannot be read.
std::string ReadOptionFile(const std::string& option, const std::string& path);

}  // namespace vornakle
