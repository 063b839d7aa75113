#include "cli/check/CheckProgram.h"

#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>

#include "check/CheckEngine.h"
#include "check/CollectionLinks.h"
#include "cli/check/CheckOptions.h"
#include "cli/check/CheckSource.h"
#include "cli/check/Descriptors.h"
#include "cli/check/ResultFormat.h"
#include "generated/Version.h"
#include "store/LinkStatus.h"
#include "store/Scan.h"

namespace vornakle {

namespace {

constexpr char kProgramName[] = "vornakle-check";
// How often the progress line is redrawn.
constexpr int kProgressIntervalMilliseconds = 200;
constexpr std::array<int, 2> kStopSignals = {SIGINT, SIGTERM};

// The self-pipe a signal handler writes its signal's number into; the event
// loop reads it, since next to nothing is safe inside a handler.
int signalPipe[2] = {-1, -1};

extern "C" void NoteStopSignal(int signal) {
    const int savedErrno = errno;
    const auto number = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &number, 1);
    errno = savedErrno;
}

// Catches the stop signals for its lifetime and gives them back after.
class StopSignals {
public:
    StopSignals() {
        if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
            signalPipe[0] = signalPipe[1] = -1;
            return;
        }
        struct sigaction action {};
        action.sa_handler = NoteStopSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (std::size_t index = 0; index < kStopSignals.size(); ++index) {
            // A signal the parent set to be ignored (a job started in the
            // background by a script) stays ignored.
            ::sigaction(kStopSignals[index], nullptr, &previous_[index]);
            if (previous_[index].sa_handler != SIG_IGN) {
                ::sigaction(kStopSignals[index], &action, nullptr);
            }
        }
        installed_ = true;
    }
    ~StopSignals() {
        if (installed_) {
            for (std::size_t index = 0; index < kStopSignals.size(); ++index) {
                ::sigaction(kStopSignals[index], &previous_[index], nullptr);
            }
        }
        for (int& descriptor : signalPipe) {
            if (descriptor >= 0) {
                ::close(descriptor);
                descriptor = -1;
            }
        }
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    int ReadDescriptor() const { return signalPipe[0]; }

private:
    bool installed_ = false;
    std::array<struct sigaction, kStopSignals.size()> previous_{};
};

// The progress line on standard error, drawn only on a terminal.
class ProgressLine {
public:
    ProgressLine(std::FILE* errors, std::size_t total)
        : errors_(errors), total_(total), shown_(::isatty(::fileno(errors)) == 1) {}

    bool Shown() const { return shown_; }
    void Update(std::size_t checked, std::size_t bad) {
        std::fprintf(errors_, "\r%s: %zu of %zu links checked, %zu bad\033[K", kProgramName,
                     checked, total_, bad);
        std::fflush(errors_);
        drawn_ = true;
    }
    void Erase() {
        if (drawn_) {
            std::fputs("\r\033[K", errors_);
            std::fflush(errors_);
            drawn_ = false;
        }
    }

private:
    std::FILE* errors_;
    std::size_t total_;
    bool shown_;
    bool drawn_ = false;
};

// Writes to standard output and remembers the first failure, so that a full
// disk or a closed pipe ends the run instead of being ignored.
class OutputStream {
public:
    explicit OutputStream(std::FILE* output) : output_(output) {}

    void Write(const std::string& bytes) {
        errno = 0;
        if (failure_ == 0 && !bytes.empty() &&
            std::fwrite(bytes.data(), 1, bytes.size(), output_) != bytes.size()) {
            failure_ = errno != 0 ? errno : EIO;
        }
    }
    // False once anything could not be written.
    bool Flush() {
        errno = 0;
        if (failure_ == 0 && std::fflush(output_) != 0) {
            failure_ = errno != 0 ? errno : EIO;
        }
        return failure_ == 0;
    }
    bool Failed() const { return failure_ != 0; }
    std::string FailureText() const {
        return std::string("cannot write the results: ") + std::strerror(failure_);
    }

private:
    std::FILE* output_;
    int failure_ = 0;
};

// Prints results in list order as they become complete: a result waits
// until every earlier one has arrived.
class OrderedPrinter {
public:
    OrderedPrinter(const std::vector<LinkRecord>& links, const ResultWriter& writer, bool badOnly,
                   OutputStream& output)
        : links_(links),
          writer_(writer),
          badOnly_(badOnly),
          output_(output),
          results_(links.size()) {}

    void Add(std::size_t index, const CheckResult& result) {
        results_.at(index) = result;
        ++checked_;
        if (!IsLinkFine(result.Status)) {
            ++bad_;
        }
    }
    // Writes what has become printable; false when writing failed.
    bool Flush() {
        bool wrote = false;
        while (next_ < results_.size() && results_[next_]) {
            const CheckResult& result = *results_[next_];
            if (!badOnly_ || !IsLinkFine(result.Status)) {
                output_.Write(writer_.Record(links_[next_], result));
                wrote = true;
            }
            ++next_;
        }
        return !wrote || output_.Flush();
    }
    std::size_t Checked() const { return checked_; }
    std::size_t Bad() const { return bad_; }

private:
    const std::vector<LinkRecord>& links_;
    const ResultWriter& writer_;
    bool badOnly_;
    OutputStream& output_;
    std::vector<std::optional<CheckResult>> results_;
    std::size_t next_ = 0;
    std::size_t checked_ = 0;
    std::size_t bad_ = 0;
};

void PrintError(std::FILE* errors, const std::string& message) {
    std::fprintf(errors, "%s: %s\n", kProgramName, message.c_str());
}

// The requests of a check, one line each: "hop N: REPLY URL" (reply 0: none
// came).
void PrintHops(std::FILE* errors, const CheckResult& result) {
    for (std::size_t index = 0; index < result.Hops.size(); ++index) {
        const CheckHop& hop = result.Hops[index];
        std::fprintf(errors, "hop %zu: %d %s\n", index + 1, static_cast<int>(hop.Status),
                     EscapeTextField(DisplayUtf8(hop.Url)).c_str());
    }
}

// Lowers the jobs to what the descriptor limit allows; false when not even
// one check fits.
bool FitJobs(CheckSettings& settings, std::FILE* errors) {
    const std::optional<int> fitting = JobsWithinDescriptorLimit(settings.Jobs);
    if (!fitting) {
        PrintError(errors,
                   "too few open files allowed to run even one check; raise the limit "
                   "(ulimit -n)");
        return false;
    }
    if (*fitting < settings.Jobs) {
        PrintError(errors, "the limit of open files allows " + std::to_string(*fitting) +
                               " jobs, not " + std::to_string(settings.Jobs) + "; running " +
                               std::to_string(*fitting));
        settings.Jobs = *fitting;
    }
    return true;
}

// Checks the links and prints them; the exit code.
int CheckAndPrint(const std::vector<LinkRecord>& links, const CheckCommand& command,
                  std::FILE* outputFile, std::FILE* errors) {
    OutputStream output(outputFile);
    const std::unique_ptr<ResultWriter> writer = MakeResultWriter(command.Format);
    output.Write(writer->Header());
    if (!output.Flush()) {
        PrintError(errors, output.FailureText());
        return kExitUsageOrScanError;
    }

    OrderedPrinter printer(links, *writer, command.BadOnly, output);
    ProgressLine progress(errors, links.size());
    StopSignals signalCatcher;
    QEventLoop loop;
    int stopSignal = 0;

    // A link whose shortcut could not be read has its result already; the
    // engine checks the others.
    std::vector<std::string> urls;
    std::vector<std::size_t> linkOfUrl;
    for (std::size_t index = 0; index < links.size(); ++index) {
        if (links[index].Unreadable) {
            printer.Add(index, CheckResult::Failed(FailureReason::Unreadable));
        } else {
            urls.push_back(links[index].Url);
            linkOfUrl.push_back(index);
        }
    }
    if (!printer.Flush()) {
        PrintError(errors, output.FailureText());
        return kExitUsageOrScanError;
    }
    CheckEngine engine(std::move(urls), command.Settings);
    engine.OnResult = [&](std::size_t index, const CheckResult& result) {
        if (command.Verbose) {
            PrintHops(errors, result);
        }
        printer.Add(linkOfUrl[index], result);
        if (progress.Shown()) {
            // The progress line must not run into a record on a terminal.
            progress.Erase();
        }
        if (!printer.Flush()) {
            loop.quit();
        }
    };
    engine.OnFinished = [&] { loop.quit(); };

    std::unique_ptr<QSocketNotifier> signalNotifier;
    if (signalCatcher.ReadDescriptor() >= 0) {
        signalNotifier = std::make_unique<QSocketNotifier>(signalCatcher.ReadDescriptor(),
                                                           QSocketNotifier::Read);
        QObject::connect(signalNotifier.get(), &QSocketNotifier::activated, &loop, [&] {
            unsigned char number = 0;
            if (::read(signalCatcher.ReadDescriptor(), &number, 1) == 1 && stopSignal == 0) {
                stopSignal = number;
                loop.quit();
            }
        });
    }
    QTimer progressTimer;
    if (progress.Shown()) {
        QObject::connect(&progressTimer, &QTimer::timeout, &loop,
                         [&] { progress.Update(printer.Checked(), printer.Bad()); });
        progressTimer.start(kProgressIntervalMilliseconds);
    }

    engine.Start();
    loop.exec();
    progressTimer.stop();
    // After an interruption or a failed write this aborts the requests under
    // way and joins the workers; after the last result it only finds them
    // ended.
    engine.Stop();
    progress.Erase();

    if (stopSignal != 0) {
        output.Flush();
        PrintError(errors, "interrupted; " + std::to_string(printer.Checked()) + " of " +
                               std::to_string(links.size()) + " links were checked");
        return kExitSignalBase + stopSignal;
    }
    if (!output.Flush()) {
        PrintError(errors, output.FailureText());
        return kExitUsageOrScanError;
    }
    return printer.Bad() > 0 ? kExitSomeBad : kExitAllFine;
}

std::string FolderProblemText(const ScanProblem& problem) {
    const std::string path = DisplayUtf8(problem.Path);
    if (problem.What == ScanProblem::Kind::TooDeep) {
        return "folder " + path + " is nested deeper than " + std::to_string(kMaxFolderDepth) +
               " folders and was not checked";
    }
    return "folder " + path + " cannot be read and was not checked";
}

}  // namespace

int RunCheckProgram(const std::vector<std::string>& arguments, std::FILE* outputFile,
                    std::FILE* errors) {
    CheckCommand command;
    try {
        command = ParseCheckCommand(arguments);
    } catch (const EUsageError& error) {
        PrintError(errors, error.Message());
        std::fprintf(errors, "Try '%s --help' for more information.\n", kProgramName);
        return kExitUsageOrScanError;
    }
    if (command.Kind == CheckCommand::Mode::Help || command.Kind == CheckCommand::Mode::Version) {
        OutputStream output(outputFile);
        output.Write(command.Kind == CheckCommand::Mode::Help
                         ? UsageText()
                         : std::string(kProgramName) + " " + kVersion + "\n");
        if (!output.Flush()) {
            PrintError(errors, output.FailureText());
            return kExitUsageOrScanError;
        }
        return kExitAllFine;
    }

    std::vector<LinkRecord> links;
    // Some part of the source could not be read: the run goes on with the
    // rest, and its exit code says so at the end.
    bool partUnread = false;
    if (command.Kind == CheckCommand::Mode::SingleUrl) {
        links.push_back({std::string(), std::string(), command.Url});
    } else {
        try {
            SourceLinks source = ReadSourceLinks(command);
            links = std::move(source.Links);
            if (const std::string skipped = SkippedPlacesText(source.Skipped); !skipped.empty()) {
                PrintError(errors, skipped);
            }
            for (const ScanProblem& problem : source.FolderProblems) {
                PrintError(errors, FolderProblemText(problem));
                partUnread = true;
            }
        } catch (const std::exception& error) {
            PrintError(errors, "scan failed: " + DisplayUtf8(error.what()));
            return kExitUsageOrScanError;
        }
    }
    const auto unreadable = std::count_if(links.begin(), links.end(),
                                          [](const LinkRecord& link) { return link.Unreadable; });
    if (unreadable > 0) {
        PrintError(errors, "shortcut files that could not be read (reason \"unreadable\"): " +
                               std::to_string(unreadable));
        partUnread = true;
    }
    if (!FitJobs(command.Settings, errors)) {
        return kExitUsageOrScanError;
    }
    const int exitCode = CheckAndPrint(links, command, outputFile, errors);
    if (partUnread && (exitCode == kExitAllFine || exitCode == kExitSomeBad)) {
        return kExitUsageOrScanError;
    }
    return exitCode;
}

}  // namespace vornakle
