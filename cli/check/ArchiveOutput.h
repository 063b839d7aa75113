#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "check/ArchiveLookups.h"
#include "check/LinkOutcome.h"
#include "cli/check/CheckOptions.h"

namespace vornakle {

// Whether --archive looks up a link's archived copy: a dead link's, whose
// class is invalid or suspect or whose server answered with an error (410
// Gone is of class unknown; a 429 that stayed is no dead link), or, where
// --confirmed has the history tell failing links, any bad one's, confirmed
// or not (a name that no longer resolves is the commonest dead link of
// all, but without the history one failed check may be an outage of an
// hour).
bool ArchivedCopyWanted(const LinkOutcome& outcome, const CheckCommand& command);

// The look-ups of the command's run: its archive, its settings, and a
// User-Agent that names this program and its version, not a browser.
std::unique_ptr<ArchiveLookups> MakeCommandLookups(const CheckCommand& command);

// What the run says once of an archive that failed: why, and for how many
// links the archive_url stayed empty for it.
std::string ArchiveFailureText(const CheckCommand& command, const std::string& reason,
                               std::size_t links);

}  // namespace vornakle
