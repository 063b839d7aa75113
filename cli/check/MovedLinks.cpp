#include "cli/check/MovedLinks.h"

#include <sys/stat.h>

#include <unordered_map>

#include "check/AddressParts.h"
#include "http/WebUrl.h"
#include "platform/Exception.h"
#include "platform/Paths.h"
#include "store/Shortcut.h"

namespace vornakle {

FileStamp StampOf(const std::string& path) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) {
        return FileStamp{};
    }
    constexpr std::int64_t kNanosecondsPerSecond = 1000000000;
    return FileStamp{
        true, status.st_dev, status.st_ino, status.st_size,
        std::int64_t{status.st_mtim.tv_sec} * kNanosecondsPerSecond + status.st_mtim.tv_nsec};
}

std::string LinkFilePath(const LinkRecord& link) {
    return JoinPath(link.Folder, LinkFileName(link.Name));
}

std::string RewrittenAddress(const std::string& oldUrl, const std::string& newUrl) {
    // Whatever a server named, only an http(s) address goes into a
    // shortcut, and only as the URL Standard writes it: no control
    // character or line break reaches the file.
    const std::optional<WebUrl> target = ParseWebUrl(newUrl);
    if (!target || !target->IsWebAddress()) {
        return std::string();
    }
    const std::string href = target->Href();
    const std::size_t fragment = oldUrl.find('#');
    if (fragment == std::string::npos || target->Fragment) {
        return href;
    }
    return href + oldUrl.substr(fragment);
}

LinkUpdateResult UpdateLinkUrl(const std::string& collectionRoot, const LinkRecord& link,
                               const FileStamp& scanned, const std::string& newUrl) {
    const std::string path = LinkFilePath(link);
    try {
        if (!scanned.Present || StampOf(path) != scanned) {
            return {LinkUpdate::ChangedSinceScan, "changed since the scan"};
        }
        const std::string text = ReadShortcutText(path);
        if (ShortcutUrlFromText(text) != link.Url) {
            return {LinkUpdate::ChangedSinceScan, "its URL changed since the scan"};
        }
        WriteShortcutText(collectionRoot, path,
                          RewriteShortcutText(text, ShortcutLineValue(newUrl)));
    } catch (const Exception& error) {
        return {LinkUpdate::Failed, error.Message()};
    }
    return {LinkUpdate::Updated, std::string()};
}

std::vector<std::vector<std::size_t>> DuplicateGroups(const std::vector<LinkRecord>& links) {
    std::vector<std::vector<std::size_t>> groups;
    std::unordered_map<std::string, std::size_t> numbers;
    for (std::size_t index = 0; index < links.size(); ++index) {
        // Links without an address share nothing but their lack of one.
        if (links[index].Unreadable || links[index].Url.empty()) {
            continue;
        }
        const auto [found, added] =
            numbers.try_emplace(AddressKey(links[index].Url), groups.size());
        if (added) {
            groups.emplace_back();
        }
        groups[found->second].push_back(index);
    }
    std::erase_if(groups, [](const std::vector<std::size_t>& group) { return group.size() < 2; });
    return groups;
}

}  // namespace vornakle
