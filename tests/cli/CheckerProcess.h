#pragma once

// Runs the built vornakle-check program and collects what it did.

#include <QProcess>

#include <chrono>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "history/AddressHistory.h"
#include "support/LoopbackServer.h"

namespace vornakle::testing {

struct CheckerRun {
    int exitCode = -1;
    bool finished = false;  // ended by itself within the bound
    std::string output;     // standard output
    std::string errors;     // standard error
};

// Bound of any run: only a checker that hangs comes near it.
inline constexpr std::chrono::milliseconds kRunLimit{std::chrono::seconds(120)};

// What the child does between fork and exec (limits, descriptors, signal
// dispositions); only async-signal-safe calls belong there.
using ChildSetup = std::function<void()>;

// Runs the checker with these arguments to its end.
// The proxy variables of the tests' own environment are not passed on (a
// proxy would never reach the loopback servers); proxies sets some instead.
CheckerRun RunChecker(const std::vector<std::string>& arguments, ChildSetup setup = {},
                      const std::vector<std::pair<std::string, std::string>>& proxies = {});

// Starts the checker and leaves it running; the caller waits on it.
void StartChecker(QProcess& process, const std::vector<std::string>& arguments,
                  ChildSetup setup = {},
                  const std::vector<std::pair<std::string, std::string>>& proxies = {});
CheckerRun FinishChecker(QProcess& process);

// Runs the program in this process (proxies as in the test's environment,
// no config file), its checks dated by clock.
CheckerRun RunCheckerHere(const std::vector<std::string>& arguments, const HistoryClock& clock);

// A web archive's answers to the checker's questions: a copy of the page
// whose question holds marker (ArchivedCopy), none of any other.
ServerScript ArchiveAnswers(const std::string& marker);
std::string ArchivedCopy(const LoopbackServer& archive, const std::string& url);

// The lines of a text, each without its line end ("\n"; "\r\n" when crlf).
std::vector<std::string> Lines(const std::string& text, bool crlf = false);

}  // namespace vornakle::testing
