#include "platform/CommandLine.h"

#include <cerrno>
#include <charconv>

#include "platform/ErrorMessages.h"
#include "platform/FileSystem.h"
#include "platform/TextDecoding.h"

namespace vornakle {

namespace {

// A config file or a file of patterns larger than this is no such file.
constexpr std::size_t kMaxOptionFileBytes = 1024 * 1024;

}  // namespace

LongOption::LongOption(const std::vector<std::string>& arguments, std::size_t& index)
    : arguments_(arguments), index_(index), name_(arguments[index]) {
    if (const std::size_t equals = name_.find('='); equals != std::string::npos) {
        value_ = name_.substr(equals + 1);
        name_.resize(equals);
    }
}

std::string LongOption::TakeValue() {
    if (value_) {
        return *value_;
    }
    if (index_ + 1 >= arguments_.size()) {
        throw EUsageError(name_ + " needs a value");
    }
    return arguments_[++index_];
}

void LongOption::TakeNoValue() const {
    if (value_) {
        throw EUsageError(name_ + " takes no value");
    }
}

int WholeNumberOption(const std::string& option, const std::string& value, int minimum,
                      int maximum) {
    int number = 0;
    const char* end = value.data() + value.size();
    const auto [stop, error] = std::from_chars(value.data(), end, number);
    if (value.empty() || error != std::errc() || stop != end || number < minimum ||
        number > maximum) {
        throw EUsageError(option + " needs a whole number from " + std::to_string(minimum) +
                          " to " + std::to_string(maximum) + ", not \"" + value + "\"");
    }
    return number;
}

std::string ReadOptionFile(const std::string& option, const std::string& path) {
    const std::string cannot = option + " " + DisplayUtf8(path) + " cannot be read";
    errno = 0;
    const UniqueFd file = OpenRegularFile(path);
    if (!file.IsValid()) {
        throw EUsageError(cannot + (errno != 0 ? ": " + SystemErrorText(errno) : std::string()));
    }
    try {
        std::string text = ReadAll(file.Get(), kMaxOptionFileBytes + 1, cannot);
        if (text.size() > kMaxOptionFileBytes) {
            throw EUsageError(option + " " + DisplayUtf8(path) + " is larger than " +
                              std::to_string(kMaxOptionFileBytes / 1024) + " KiB");
        }
        return text;
    } catch (const EFileError& error) {
        throw EUsageError(error.Message());
    }
}

}  // namespace vornakle
