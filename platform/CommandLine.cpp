#include "platform/CommandLine.h"

#include <charconv>

namespace vornakle {

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

}  // namespace vornakle
