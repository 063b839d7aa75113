#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/check/CheckOptions.h"

namespace vornakle {

// The config file's place unless --config names another:
// $XDG_CONFIG_HOME/vornakle/vornakle-check.toml, ~/.config/... without that
// variable; empty when neither it nor HOME is set.
std::string DefaultConfigPath();

// One option a config file gives, as the command line would ("--name" or
// "--name=value"), and where it stands ("FILE:LINE: key NAME").
struct ConfigOption {
    std::string Argument;
    std::string Where;
};

// A config file's keys and tables nest no deeper than this (dotted key
// parts, table name parts, inline tables and arrays): the TOML parser
// descends once per level on the stack, which a file of thousands would
// overflow.
inline constexpr int kMaxConfigNesting = 64;

// text with its control characters as "\x1b", so that a message cannot
// reach the terminal as a command; line breaks kept when keepLineBreaks.
std::string ControlsEscaped(std::string_view text, bool keepLineBreaks = false);

// Reads a config file in TOML: each key is a long option's name
// (CheckOptionSpecs) with a value of its kind: a switch true or false, a
// number, a text, a list of texts (a single text too); "headers" is a table
// of header fields. A relative file name is read from the file's folder,
// one that starts with "~/" from the home folder. Throws EUsageError naming
// the file, line and key for anything else: a file that is no TOML, one
// nested deeper than kMaxConfigNesting (told before the TOML parser reads
// it), an unknown key, a value of the wrong kind. Names and values are
// shown with their control characters escaped.
std::vector<ConfigOption> ReadCheckConfig(const std::string& path);

// The command the arguments ask for, with the options of the config file
// (--config FILE, or the default one when it is there, none with
// --no-config) before them: the command line's own value of an option wins,
// lists get the command line's items after the file's, and a source on the
// command line (SOURCE, --url, --browser) replaces the file's. --help and
// --version read no file. Throws EUsageError.
CheckCommand ReadCheckCommand(const std::vector<std::string>& arguments);

// A config file's options and a command line's arguments in the order
// ReadCheckCommand hands them to the parser: the file's first, without an
// option the command line gives its own value of (a list's items are
// added) and without the file's source when the command line names one;
// Where[index] names the file's place of Arguments[index] (only the file's
// have one). With taken, the file's options it refuses are left out
// before they are parsed (a program that takes only some of the
// checker's); the file as a whole is read as ReadCheckConfig reads it,
// whose EUsageError this throws.
struct MergedOptions {
    std::vector<std::string> Arguments;
    std::vector<std::string> Where;
};
MergedOptions WithConfigOptions(const std::string& path, const std::vector<std::string>& arguments,
                                const std::function<bool(const OptionSpec&)>& taken = {});

}  // namespace vornakle
