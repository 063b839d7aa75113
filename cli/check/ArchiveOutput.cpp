#include "cli/check/ArchiveOutput.h"

#include "check/LinkCheck.h"
#include "generated/Version.h"
#include "store/LinkStatus.h"

namespace vornakle {

namespace {

// The replies of a server that has the page no more (or cannot serve it):
// 4xx and 5xx, 410 Gone among them, which the status table files under
// unknown rather than invalid.
constexpr std::int32_t kFirstErrorReply = 400;
constexpr std::int32_t kFirstBeyondHttp = 600;

}  // namespace

bool ArchivedCopyWanted(const LinkOutcome& outcome, const CheckCommand& command) {
    const CheckResult& result = outcome.Result;
    if (!command.Archive || !IsBadResult(result)) {
        return false;
    }
    // A file of this system was never on the web, and its path is no
    // business of a public archive's.
    if (result.Reason == FailureReason::FileMissing ||
        result.Reason == FailureReason::FileUnreadable) {
        return false;
    }
    const std::int32_t reply = result.Status.ReplyNumber();
    const bool errorReply = result.Reason == FailureReason::None && reply >= kFirstErrorReply &&
                            reply < kFirstBeyondHttp;
    return result.Found == Finding::Suspect || errorReply ||
           StatusImageIndex(result.Status) == kImageInvalid ||
           (command.Confirmed && outcome.History);
}

std::unique_ptr<ArchiveLookups> MakeCommandLookups(const CheckCommand& command) {
    return std::make_unique<ArchiveLookups>(
        command.Settings, command.ArchiveService,
        std::string("Vornakle/") + kVersion + " (vornakle-check; web archive look-up)");
}

std::string ArchiveFailureText(const CheckCommand& command, const std::string& reason,
                               std::size_t links) {
    return "web archive " + command.ArchiveService + ": " + reason +
           "; it was not asked again, and archive_url stays empty for " + std::to_string(links) +
           (links == 1 ? " link" : " links");
}

}  // namespace vornakle
