#include "cli/check/CheckProgram.h"

#include <QSocketNotifier>
#include <QTimer>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>

#include "bookmarks/BookmarkEdits.h"
#include "bookmarks/BookmarkError.h"
#include "bookmarks/BookmarkSource.h"
#include "check/ArchiveLookups.h"
#include "check/CollectionLinks.h"
#include "check/LinkCheck.h"
#include "cli/check/ArchiveOutput.h"
#include "cli/check/CheckConfig.h"
#include "cli/check/CheckOptions.h"
#include "cli/check/CheckSource.h"
#include "cli/check/Descriptors.h"
#include "cli/check/HistoryOutput.h"
#include "cli/check/MovedLinks.h"
#include "cli/check/OutputPlace.h"
#include "cli/check/ResultFormat.h"
#include "cli/check/SourceUpdates.h"
#include "generated/Version.h"
#include "history/CheckHistory.h"
#include "history/CheckSession.h"
#include "history/HistoryError.h"
#include "platform/ErrorMessages.h"
#include "platform/FileSystem.h"
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
        return "cannot write the results: " + SystemErrorText(failure_);
    }

private:
    std::FILE* output_;
    int failure_ = 0;
};

// Where the results go: standard output, or a file --output names, which
// takes the place of the old one only once the results are whole in it.
class ResultsTarget {
public:
    // Throws EFileError when the file cannot be made.
    ResultsTarget(const std::string& outputFile, std::FILE* standardOutput)
        : stream_(standardOutput) {
        if (outputFile.empty()) {
            return;
        }
        // A file the user may not write is kept, as the shell's ">" keeps it.
        if (::access(outputFile.c_str(), W_OK) != 0 && errno != ENOENT) {
            throw EFileError(FailureMessage(
                CannotText(FailedObject::File, FailedAction::Write, outputFile), errno));
        }
        file_ = std::make_unique<ReplacementFile>(outputFile, ReplacedFile::MayBeNew);
        const int descriptor = ::dup(file_->Descriptor());
        own_ = descriptor >= 0 ? ::fdopen(descriptor, "w") : nullptr;
        if (own_ == nullptr) {
            if (descriptor >= 0) {
                ::close(descriptor);
            }
            throw EFileError(CannotText(FailedObject::File, FailedAction::Write, outputFile));
        }
        stream_ = own_;
    }
    ~ResultsTarget() {
        if (own_ != nullptr) {
            std::fclose(own_);
        }
    }
    ResultsTarget(const ResultsTarget&) = delete;
    ResultsTarget& operator=(const ResultsTarget&) = delete;

    std::FILE* Stream() const { return stream_; }
    // The file replaces the old one unless writing failed (it is dropped
    // then, the old one kept); false, with a message, when it could not.
    bool Finish(std::FILE* errors) {
        if (file_ == nullptr) {
            return true;
        }
        const bool written = std::ferror(own_) == 0;
        const bool closed = std::fclose(std::exchange(own_, nullptr)) == 0;
        if (!written) {
            return false;
        }
        try {
            if (!closed) {
                throw EFileError(FailureMessage(
                    CannotText(FailedObject::File, FailedAction::Write, file_->Path()), errno));
            }
            file_->Commit();
        } catch (const EFileError& error) {
            std::fprintf(errors, "%s: %s\n", kProgramName, DisplayUtf8(error.Message()).c_str());
            return false;
        }
        return true;
    }

private:
    std::unique_ptr<ReplacementFile> file_;
    std::FILE* own_ = nullptr;
    std::FILE* stream_;
};

// Which results are printed: all, or any of the bad, the moved and the
// blocked ones; none while --update-moved or --update-dead prints the
// changes instead.
struct ResultFilter {
    bool All = true;
    bool Bad = false;
    bool Moved = false;
    bool Blocked = false;

    static ResultFilter Of(const CheckCommand& command) {
        if (command.RewritesLinks()) {
            return {false, false, false, false};
        }
        return {!command.BadOnly && !command.Moved && !command.Blocked, command.BadOnly,
                command.Moved, command.Blocked};
    }
    bool Shows(const LinkOutcome& reported) const {
        return All || (Bad && reported.CountsAsBad()) ||
               (Moved && reported.Result.Found == Finding::Moved) ||
               (Blocked && reported.Result.Found == Finding::Blocked);
    }
};

void PrintError(std::FILE* errors, const std::string& message) {
    // Names and values a message quotes come from files and servers: none
    // reaches the terminal as a command.
    std::fprintf(errors, "%s: %s\n", kProgramName, ControlsEscaped(message, true).c_str());
}

// The requests of a check, one line each: "hop N: REPLY URL" (reply 0: none
// came).
void PrintHops(std::FILE* errors, const CheckResult& result) {
    for (std::size_t index = 0; index < result.Hops.size(); ++index) {
        const RequestHop& hop = result.Hops[index];
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

std::vector<RecordField> ChangeFields(const std::string& file, const std::string& oldUrl,
                                      const std::string& newUrl) {
    return {{"file", file}, {"old_url", oldUrl}, {"new_url", newUrl}};
}

// Where --update-moved or --update-dead points a link's shortcut: a moved
// link to where it moved, a dead one to its archived copy; empty: nowhere.
std::string NewAddress(const LinkRecord& link, const LinkOutcome& reported,
                       const CheckCommand& command) {
    const CheckResult& result = reported.Result;
    if (command.UpdateMoved && result.Found == Finding::Moved) {
        return RewrittenAddress(link.Url, result.FinalUrl);
    }
    if (command.UpdateDead == CheckCommand::DeadLinks::Archive && !reported.ArchiveUrl.empty()) {
        return RewrittenAddress(link.Url, reported.ArchiveUrl);
    }
    return std::string();
}

std::vector<RecordField> MoveFields(const std::string& file, const std::string& oldFolder,
                                    const std::string& newFolder) {
    return {{"file", file}, {"old_folder", oldFolder}, {"new_folder", newFolder}};
}

// Changes the links as the command asks: each moved or dead link NewAddress
// names a place for gets its new address, each other bad link goes into
// the --move-dead folder. Prints the changes in the command's format (the
// file or bookmark, the old URL, the new one; then the moves: the file or
// bookmark, the old folder, the new one), then the bad links as a table of
// results of their own. False when something could not be changed; a link
// changed since the scan is skipped with a message.
bool UpdateLinks(const std::vector<LinkRecord>& links, const LinkHome& home,
                 const CheckCommand& command,
                 const std::vector<std::optional<LinkOutcome>>& outcomes, ResultWriter& writer,
                 OutputStream& output, std::FILE* errors) {
    std::vector<WantedChange> changes;
    for (std::size_t index = 0; index < links.size(); ++index) {
        const std::optional<LinkOutcome>& reported = outcomes.at(index);
        if (!reported) {
            continue;
        }
        WantedChange change{index, NewAddress(links[index], *reported, command), false};
        change.SetAside = !command.MoveDeadFolder.empty() && change.NewUrl.empty() &&
                          reported->CountsAsBad() && !links[index].Unreadable;
        if (!change.NewUrl.empty() || change.SetAside) {
            changes.push_back(std::move(change));
        }
    }
    const ChangeReport report = ApplyChanges(home, links, changes, command.MoveDeadFolder);
    const auto table = [&](const std::vector<RecordField>& header,
                           const std::vector<std::vector<std::string>>& rows) {
        output.Write(FieldsHeader(command.Format, header));
        for (const std::vector<std::string>& row : rows) {
            std::vector<RecordField> fields = header;
            for (std::size_t column = 0; column < fields.size(); ++column) {
                fields[column].Value = row.at(column);
            }
            output.Write(FieldsRecord(command.Format, fields));
        }
        if (command.Format == TOutputFormat::Csv) {
            output.Write("\r\n");
        }
    };
    if (command.UpdateMoved || command.UpdateDead != CheckCommand::DeadLinks::Kept) {
        table(ChangeFields("", "", ""), report.UrlChanges);
    }
    if (!command.MoveDeadFolder.empty()) {
        table(MoveFields("", "", ""), report.Moves);
    }
    output.Write(writer.Header());
    for (std::size_t index = 0; index < links.size(); ++index) {
        if (const std::optional<LinkOutcome>& reported = outcomes.at(index);
            reported && reported->CountsAsBad()) {
            output.Write(writer.Record(links[index], *reported));
        }
    }
    output.Flush();
    for (const std::string& message : report.Messages) {
        PrintError(errors, message);
    }
    if (!report.Backup.empty()) {
        PrintError(errors, "the bookmarks as they were are saved in " + DisplayUtf8(report.Backup) +
                               "; to go back to them: " + DisplayUtf8(report.RestoreHint));
    }
    return report.AllWritten;
}

std::vector<RecordField> DuplicateFields(const std::string& group, const LinkRecord& link) {
    return {{"group", group, true},
            {"folder", DisplayUtf8(link.Folder)},
            {"name", DisplayUtf8(link.Name)},
            {"url", DisplayUtf8(link.Url)}};
}

// Prints the groups of links sharing an address: a group number, then the
// link's fields; the exit code.
int PrintDuplicates(const std::vector<LinkRecord>& links, TOutputFormat format,
                    std::FILE* outputFile, std::FILE* errors) {
    OutputStream output(outputFile);
    output.Write(FieldsHeader(format, DuplicateFields("", LinkRecord{})));
    const std::vector<std::vector<std::size_t>> groups = DuplicateGroups(links);
    for (std::size_t group = 0; group < groups.size(); ++group) {
        for (const std::size_t index : groups[group]) {
            output.Write(
                FieldsRecord(format, DuplicateFields(std::to_string(group + 1), links[index])));
        }
    }
    if (!output.Flush()) {
        PrintError(errors, output.FailureText());
        return kExitUsageOrScanError;
    }
    return kExitAllFine;
}

// What the run checks, as the command names it.
std::string SourceText(const CheckCommand& command) {
    if (command.Kind == CheckCommand::Mode::SingleUrl) {
        return DisplayUtf8(command.Url);
    }
    if (command.FromBrowser) {
        return "the bookmarks of --browser";
    }
    return DisplayUtf8(command.Source);
}

// Checks the links (those the history does not answer for) and prints them,
// adding the results to the history when there is one; the exit code.
int CheckAndPrint(const std::vector<LinkRecord>& links, const LinkHome& home,
                  const CheckCommand& command, HistoryRun* history, const HistoryClock& clock,
                  std::FILE* outputFile, std::FILE* errors) {
    const HistoryTime now = clock();
    RunFacts facts{std::string(kProgramName) + " " + kVersion,
                   SourceText(command),
                   command.Options,
                   now,
                   {},
                   links.size()};
    OutputStream output(outputFile);
    const std::unique_ptr<ResultWriter> writer = MakeResultWriter(command.Format);
    if (!command.RewritesLinks()) {
        output.Write(writer->Header());
    }
    if (!output.Flush()) {
        PrintError(errors, output.FailureText());
        return kExitUsageOrScanError;
    }

    const ResultFilter filter = ResultFilter::Of(command);
    ProgressLine progress(errors, links.size());
    StopSignals signalCatcher;
    int stopSignal = 0;
    if (history) {
        history->StopWaitingOn(signalCatcher.ReadDescriptor());
    }
    const std::unique_ptr<ArchiveLookups> lookups =
        command.Archive ? MakeCommandLookups(command) : nullptr;

    CheckSession session(links, command.Settings);
    session.Filter = [&command](const LinkRecord& link) {
        return FilteredOutcome(command.Filter, link.Url);
    };
    session.History = history;
    session.MaxAge = command.MaxAge;
    if (command.Confirmed) {
        session.Confirm = command.Confirm;
    }
    session.Archive = lookups.get();
    session.ArchiveWanted = [&command](const LinkOutcome& outcome) {
        return ArchivedCopyWanted(outcome, command);
    };
    session.ArchiveNow = now;
    session.OnChecked = [&](std::size_t, const CheckResult& result) {
        // The progress line must not run into a line on a terminal.
        progress.Erase();
        if (command.Verbose) {
            PrintHops(errors, result);
        }
    };
    session.OnOutcome = [&](std::size_t link, const LinkOutcome& outcome) {
        progress.Erase();
        if (filter.Shows(outcome)) {
            output.Write(writer->Record(links[link], outcome));
            if (!output.Flush()) {
                session.Stop();
            }
        }
    };

    std::unique_ptr<QSocketNotifier> signalNotifier;
    if (signalCatcher.ReadDescriptor() >= 0) {
        signalNotifier = std::make_unique<QSocketNotifier>(signalCatcher.ReadDescriptor(),
                                                           QSocketNotifier::Read);
        QObject::connect(signalNotifier.get(), &QSocketNotifier::activated, [&] {
            unsigned char number = 0;
            if (::read(signalCatcher.ReadDescriptor(), &number, 1) == 1 && stopSignal == 0) {
                stopSignal = number;
                // What was checked is written, unless that needs a wait for
                // another run.
                if (history) {
                    history->StopWaiting();
                }
                session.Stop();
            }
        });
    }
    QTimer progressTimer;
    if (progress.Shown()) {
        QObject::connect(&progressTimer, &QTimer::timeout,
                         [&] { progress.Update(session.Known(), session.Bad()); });
        progressTimer.start(kProgressIntervalMilliseconds);
    }

    session.Run();
    progressTimer.stop();
    signalNotifier.reset();
    progress.Erase();
    if (history) {
        // A stop signal that came while the last batch waited for another
        // run, after the checks had ended.
        unsigned char number = 0;
        if (stopSignal == 0 && history->Failure() &&
            history->Failure()->Why() == EHistoryError::Reason::Stopped &&
            ::read(signalCatcher.ReadDescriptor(), &number, 1) == 1) {
            stopSignal = number;
        }
    }
    const bool historyFailed = history && history->Failure();
    if (historyFailed) {
        output.Flush();
        PrintError(errors, "the history could not be written; the checks since are not in it: " +
                               DisplayUtf8(history->Failure()->Message()));
    }

    if (session.ArchiveMissed() > 0 && !session.ArchiveFailure().empty()) {
        output.Flush();
        PrintError(errors, ArchiveFailureText(command, DisplayUtf8(session.ArchiveFailure()),
                                              session.ArchiveMissed()));
    }

    facts.Ended = clock();
    facts.Checked = session.Known();
    facts.Interrupted = stopSignal != 0;
    output.Write(writer->End(facts));
    if (stopSignal != 0) {
        output.Flush();
        PrintError(errors, "interrupted; " + std::to_string(session.Known()) + " of " +
                               std::to_string(links.size()) + " links were checked");
        return kExitSignalBase + stopSignal;
    }
    if (historyFailed) {
        return kExitUsageOrScanError;
    }
    const bool updated =
        !command.RewritesLinks() ||
        UpdateLinks(links, home, command, session.Outcomes(), *writer, output, errors);
    if (!output.Flush()) {
        PrintError(errors, output.FailureText());
        return kExitUsageOrScanError;
    }
    if (!updated) {
        return kExitUsageOrScanError;
    }
    return session.Bad() > 0 ? kExitSomeBad : kExitAllFine;
}

}  // namespace

int RunCheckProgram(const std::vector<std::string>& arguments, std::FILE* outputFile,
                    std::FILE* errors, const HistoryClock& clock) {
    SetMessageLanguage(MessageLanguage::English);
    CheckCommand command;
    try {
        command = ReadCheckCommand(arguments);
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

    // The report replaces its file: never what the run reads.
    if (const std::optional<std::string> problem = OutputOverInput(command)) {
        PrintError(errors, *problem + "; nothing was checked");
        return kExitUsageOrScanError;
    }

    std::vector<LinkRecord> links;
    LinkHome home;
    // Some part of the source could not be read: the run goes on with the
    // rest, and its exit code says so at the end.
    bool partUnread = false;
    if (command.Kind == CheckCommand::Mode::SingleUrl) {
        links.push_back({std::string(), std::string(), command.Url});
    } else {
        try {
            SourceLinks source = ReadSourceLinks(command);
            links = std::move(source.Links);
            home.IsDirectory = source.StorePath.empty();
            home.Root = command.Source;
            home.StorePath = std::move(source.StorePath);
            home.Identities = std::move(source.Identities);
            if (const std::string skipped = SkippedPlacesText(source.Skipped); !skipped.empty()) {
                PrintError(errors, skipped);
            }
            for (const LeftOutPart& part : source.LeftOut) {
                PrintError(errors, LeftOutText(part) + "; not checked");
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
    std::unique_ptr<ResultsTarget> target;
    try {
        target = std::make_unique<ResultsTarget>(command.OutputFile, outputFile);
    } catch (const EFileError& error) {
        PrintError(errors, "nothing was checked: " + DisplayUtf8(error.Message()));
        return kExitUsageOrScanError;
    }
    if (command.Duplicates) {
        int exitCode = PrintDuplicates(links, command.Format, target->Stream(), errors);
        if (!target->Finish(errors)) {
            exitCode = kExitUsageOrScanError;
        }
        return partUnread && exitCode == kExitAllFine ? kExitUsageOrScanError : exitCode;
    }
    if (command.RewritesLinks() && home.IsDirectory) {
        home.Stamps.reserve(links.size());
        for (const LinkRecord& link : links) {
            home.Stamps.push_back(StampOf(LinkFilePath(link)));
        }
    }
    // A browser that has its bookmarks open would undo the changes: better
    // said before the checks than after.
    if (command.RewritesLinks() && !home.IsDirectory) {
        try {
            RefuseWhileBrowserRuns(home.StorePath);
        } catch (const EBookmarkError& error) {
            PrintError(errors, command.RewritingOption() + ": " + DisplayUtf8(error.Message()));
            return kExitUsageOrScanError;
        }
    }
    if (!FitJobs(command.Settings, errors)) {
        return kExitUsageOrScanError;
    }
    std::unique_ptr<HistoryRun> history;
    try {
        history = OpenCommandHistory(command, links, clock);
        // An address in a part that could not be read is still in the
        // source: its history stays.
        if (history && command.Forget && partUnread) {
            PrintError(errors,
                       "--forget left the history as it was, since part of the source could "
                       "not be read");
        } else if (history && command.Forget) {
            history->Forget();
        }
        if (history && history->FutureRuns() > 0) {
            PrintError(errors, "history: " + std::to_string(history->FutureRuns()) +
                                   " addresses have a run of failures that began after now (the "
                                   "clock was ahead when it was written); it counts as beginning "
                                   "now");
        }
    } catch (const EHistoryError& error) {
        PrintError(errors, "history: " + DisplayUtf8(error.Message()));
        return kExitUsageOrScanError;
    }
    int exitCode =
        CheckAndPrint(links, home, command, history.get(), clock, target->Stream(), errors);
    if (!target->Finish(errors)) {
        exitCode = kExitUsageOrScanError;
    }
    if (partUnread && (exitCode == kExitAllFine || exitCode == kExitSomeBad)) {
        return kExitUsageOrScanError;
    }
    return exitCode;
}

}  // namespace vornakle
