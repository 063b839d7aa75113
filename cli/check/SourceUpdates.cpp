#include "cli/check/SourceUpdates.h"

#include "bookmarks/BookmarkEdits.h"
#include "bookmarks/BookmarkError.h"
#include "bookmarks/BookmarkTree.h"
#include "cli/check/ResultFormat.h"
#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Shell.h"

namespace vornakle {

namespace {

std::string Shown(const std::string& text) {
    return DisplayUtf8(text);
}

void ApplyToDirectory(const LinkHome& home, const std::vector<LinkRecord>& links,
                      const std::vector<WantedChange>& changes, const std::string& asideFolder,
                      ChangeReport& report) {
    const std::string aside = JoinPath(home.Root, asideFolder);
    bool asideReady = false;
    for (const WantedChange& change : changes) {
        const LinkRecord& link = links.at(change.Link);
        const std::string path = LinkFilePath(link);
        if (!change.NewUrl.empty()) {
            const LinkUpdateResult update =
                UpdateLinkUrl(home.Root, link, home.Stamps.at(change.Link), change.NewUrl);
            if (update.Outcome != LinkUpdate::Updated) {
                report.Messages.push_back(Shown(path) + " not updated: " + Shown(update.Message));
                report.AllWritten = report.AllWritten && update.Outcome != LinkUpdate::Failed;
                continue;
            }
            report.UrlChanges.push_back({Shown(path), Shown(link.Url), Shown(change.NewUrl)});
        }
        if (!change.SetAside) {
            continue;
        }
        if (RealPath(link.Folder) == RealPath(aside) && !RealPath(aside).empty()) {
            continue;
        }
        try {
            if (StampOf(path) != home.Stamps.at(change.Link)) {
                report.Messages.push_back(Shown(path) + " not moved: changed since the scan");
                continue;
            }
            if (!asideReady) {
                try {
                    CreateDirectory(aside);
                } catch (const EDirectoryExists&) {
                }
                asideReady = true;
            }
            const std::string moved = MoveIntoDirectory(path, aside);
            report.Moves.push_back({Shown(moved), Shown(link.Folder), Shown(aside)});
        } catch (const Exception& error) {
            report.Messages.push_back(Shown(path) + " not moved: " + Shown(error.Message()));
            report.AllWritten = false;
        }
    }
}

void ApplyToStore(const LinkHome& home, const std::vector<LinkRecord>& links,
                  const std::vector<WantedChange>& changes, const std::string& asideFolder,
                  ChangeReport& report) {
    std::vector<BookmarkEdit> edits;
    for (const WantedChange& change : changes) {
        const LinkRecord& link = links.at(change.Link);
        edits.push_back(
            {home.Identities.at(change.Link), link.Url, change.NewUrl, change.SetAside});
    }
    StoreEditRun run;
    try {
        run = EditBookmarkStore(home.StorePath, edits, asideFolder);
    } catch (const Exception& error) {
        report.Messages.push_back(Shown(error.Message()));
        report.AllWritten = false;
        return;
    }
    report.Backup = run.BackupPath;
    report.RestoreHint = run.RestoreHint;
    for (std::size_t index = 0; index < changes.size(); ++index) {
        const LinkRecord& link = links.at(changes[index].Link);
        const std::string path = Shown(AppendFolderName(link.Folder, link.Name));
        const EditResult& result = run.Results.at(index);
        if (result.Outcome == EditOutcome::Unneeded) {
            continue;
        }
        if (result.Outcome != EditOutcome::Applied) {
            report.Messages.push_back(path + " not changed: " + Shown(result.Message));
            report.AllWritten = report.AllWritten && result.Outcome != EditOutcome::Refused;
            continue;
        }
        if (!changes[index].NewUrl.empty()) {
            report.UrlChanges.push_back({path, Shown(link.Url), Shown(changes[index].NewUrl)});
        }
        if (changes[index].SetAside) {
            report.Moves.push_back({path, Shown(result.OldFolder), Shown(result.NewFolder)});
        }
    }
}

}  // namespace

ChangeReport ApplyChanges(const LinkHome& home, const std::vector<LinkRecord>& links,
                          const std::vector<WantedChange>& changes,
                          const std::string& asideFolder) {
    ChangeReport report;
    if (changes.empty()) {
        return report;
    }
    if (home.IsDirectory) {
        ApplyToDirectory(home, links, changes, asideFolder, report);
    } else {
        ApplyToStore(home, links, changes, asideFolder, report);
    }
    return report;
}

}  // namespace vornakle
