#include "cli/check/CheckProgram.h"

#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <optional>

#include "check/CheckEngine.h"
#include "check/CollectionLinks.h"
#include "cli/check/CheckOptions.h"
#include "cli/check/CheckSource.h"
#include "cli/check/ResultFormat.h"
#include "generated/Version.h"
#include "store/LinkStatus.h"

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
            ::sigaction(kStopSignals[index], &action, &previous_[index]);
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

// Prints results in list order as they become complete: a result waits
// until every earlier one has arrived.
class OrderedPrinter {
public:
    OrderedPrinter(const std::vector<LinkRecord>& links, const ResultWriter& writer, bool badOnly,
                   std::FILE* output)
        : links_(links),
          writer_(writer),
          badOnly_(badOnly),
          output_(output),
          statuses_(links.size()) {}

    void Add(std::size_t index, std::int32_t status) {
        statuses_.at(index) = status;
        ++checked_;
        if (!IsLinkFine(status)) {
            ++bad_;
        }
    }
    // Writes what has become printable; false when nothing was.
    bool Flush() {
        bool wrote = false;
        while (next_ < statuses_.size() && statuses_[next_]) {
            const std::int32_t status = *statuses_[next_];
            if (!badOnly_ || !IsLinkFine(status)) {
                const std::string record = writer_.Record(links_[next_], status);
                std::fwrite(record.data(), 1, record.size(), output_);
                wrote = true;
            }
            ++next_;
        }
        if (wrote) {
            std::fflush(output_);
        }
        return wrote;
    }
    std::size_t Checked() const { return checked_; }
    std::size_t Bad() const { return bad_; }

private:
    const std::vector<LinkRecord>& links_;
    const ResultWriter& writer_;
    bool badOnly_;
    std::FILE* output_;
    std::vector<std::optional<std::int32_t>> statuses_;
    std::size_t next_ = 0;
    std::size_t checked_ = 0;
    std::size_t bad_ = 0;
};

void PrintError(std::FILE* errors, const std::string& message) {
    std::fprintf(errors, "%s: %s\n", kProgramName, message.c_str());
}

// Checks the links and prints them; the exit code.
int CheckAndPrint(const std::vector<LinkRecord>& links, const CheckCommand& command,
                  std::FILE* output, std::FILE* errors) {
    const std::unique_ptr<ResultWriter> writer = MakeResultWriter(command.Format);
    const std::string header = writer->Header();
    std::fwrite(header.data(), 1, header.size(), output);
    std::fflush(output);

    OrderedPrinter printer(links, *writer, command.BadOnly, output);
    ProgressLine progress(errors, links.size());
    StopSignals signalCatcher;
    QEventLoop loop;
    int stopSignal = 0;

    std::vector<std::string> urls;
    urls.reserve(links.size());
    for (const LinkRecord& link : links) {
        urls.push_back(link.Url);
    }
    CheckEngine engine(std::move(urls), command.Settings);
    engine.OnResult = [&](std::size_t index, std::int32_t status) {
        printer.Add(index, status);
        if (progress.Shown()) {
            // The progress line must not run into a record on a terminal.
            progress.Erase();
        }
        printer.Flush();
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
    // After an interruption this aborts the requests under way and joins the
    // workers; after the last result it only finds them ended.
    engine.Stop();
    progress.Erase();
    std::fflush(output);

    if (stopSignal != 0) {
        PrintError(errors, "interrupted; " + std::to_string(printer.Checked()) + " of " +
                               std::to_string(links.size()) + " links were checked");
        return kExitSignalBase + stopSignal;
    }
    return printer.Bad() > 0 ? kExitSomeBad : kExitAllFine;
}

}  // namespace

int RunCheckProgram(const std::vector<std::string>& arguments, std::FILE* output,
                    std::FILE* errors) {
    CheckCommand command;
    try {
        command = ParseCheckCommand(arguments);
    } catch (const EUsageError& error) {
        PrintError(errors, error.Message());
        std::fprintf(errors, "Try '%s --help' for more information.\n", kProgramName);
        return kExitUsageOrScanError;
    }
    if (command.Kind == CheckCommand::Mode::Help) {
        const std::string usage = UsageText();
        std::fwrite(usage.data(), 1, usage.size(), output);
        return kExitAllFine;
    }
    if (command.Kind == CheckCommand::Mode::Version) {
        std::fprintf(output, "%s %s\n", kProgramName, kVersion);
        return kExitAllFine;
    }

    std::vector<LinkRecord> links;
    if (command.Kind == CheckCommand::Mode::SingleUrl) {
        links.push_back({std::string(), std::string(), command.Url});
    } else {
        try {
            SourceLinks source = ReadSourceLinks(command);
            links = std::move(source.Links);
            if (const std::string skipped = SkippedPlacesText(source.Skipped); !skipped.empty()) {
                PrintError(errors, skipped);
            }
        } catch (const std::exception& error) {
            PrintError(errors, "scan failed: " + DisplayUtf8(error.what()));
            return kExitUsageOrScanError;
        }
    }
    return CheckAndPrint(links, command, output, errors);
}

}  // namespace vornakle
