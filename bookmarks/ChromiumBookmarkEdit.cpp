#include <QByteArray>
#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QUuid>

#include <algorithm>
#include <array>
#include <chrono>
#include <map>
#include <set>

#include "bookmarks/BookmarkError.h"
#include "bookmarks/ChromiumBookmarks.h"
#include "bookmarks/SourceFile.h"
#include "bookmarks/StoreEditing.h"
#include "platform/Exception.h"
#include "platform/FileSystem.h"

namespace vornakle {

namespace {

constexpr std::array<const char*, 3> kRootKeys = {"bookmark_bar", "other", "synced"};
// Where the set-aside folder goes: "Other bookmarks", the folder for what
// is kept but not wanted at hand.
constexpr char kAsideRoot[] = "other";
// Microseconds from 1601-01-01 (Windows' epoch, Chromium's dates) to
// 1970-01-01.
constexpr std::int64_t kWindowsEpochOffsetMicroseconds = 11644473600LL * 1000000;

QString Now() {
    const auto now = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::system_clock::now().time_since_epoch());
    return QString::number(now.count() + kWindowsEpochOffsetMicroseconds);
}

// The checksum Chromium keeps of its bookmarks: MD5 over each node, depth
// first from the roots: its id, its name in UTF-16 little-endian, then
// "url" and the address, or "folder" and its children.
void AddToChecksum(QCryptographicHash& hash, const QJsonObject& node) {
    hash.addData(node.value("id").toString().toUtf8());
    const QString name = node.value("name").toString();
    QByteArray utf16;
    utf16.reserve(name.size() * 2);
    for (const QChar character : name) {
        utf16.append(static_cast<char>(character.unicode() & 0xFF));
        utf16.append(static_cast<char>(character.unicode() >> 8));
    }
    hash.addData(utf16);
    if (node.value("type").toString() == "url") {
        hash.addData(QByteArrayView("url"));
        hash.addData(node.value("url").toString().toUtf8());
        return;
    }
    hash.addData(QByteArrayView("folder"));
    for (const QJsonValue child : node.value("children").toArray()) {
        AddToChecksum(hash, child.toObject());
    }
}

void HighestId(const QJsonObject& node, qint64& highest) {
    highest = std::max(highest, node.value("id").toString().toLongLong());
    for (const QJsonValue child : node.value("children").toArray()) {
        HighestId(child.toObject(), highest);
    }
}

// Whether an id is given twice below node (Chromium gives all new ids
// when it meets that, and so loses the nodes' identity for sync).
bool IdTwice(const QJsonObject& node, std::set<QString>& seen) {
    if (!seen.insert(node.value("id").toString()).second) {
        return true;
    }
    for (const QJsonValue child : node.value("children").toArray()) {
        if (IdTwice(child.toObject(), seen)) {
            return true;
        }
    }
    return false;
}

// The edits found in the tree, by the place of the node they change.
struct Change {
    QString NewUrl;  // empty: kept
    bool SetAside = false;
};

// children with the changes made, the set-aside nodes taken out into
// aside (with their parent's date touched); place as the reader builds it.
QJsonArray Rebuilt(const QJsonArray& children, const std::string& place,
                   const std::map<std::string, Change>& changes, QJsonArray& aside, bool& touched) {
    QJsonArray rebuilt;
    for (qsizetype index = 0; index < children.size(); ++index) {
        QJsonObject node = children[index].toObject();
        const std::string nodePlace = place + std::to_string(index);
        if (node.value("type").toString() == "folder") {
            bool childTouched = false;
            node["children"] = Rebuilt(node.value("children").toArray(), nodePlace + "/", changes,
                                       aside, childTouched);
            if (childTouched) {
                node["date_modified"] = Now();
            }
            rebuilt.append(node);
            continue;
        }
        const auto found = changes.find(nodePlace);
        if (found == changes.end()) {
            rebuilt.append(node);
            continue;
        }
        if (!found->second.NewUrl.isEmpty()) {
            node["url"] = found->second.NewUrl;
        }
        if (found->second.SetAside) {
            aside.append(node);
            touched = true;
        } else {
            rebuilt.append(node);
        }
    }
    return rebuilt;
}

const QJsonObject* NodeAt(const QJsonObject& roots, const std::string& place,
                          QJsonObject& scratch) {
    std::size_t slash = place.find('/');
    if (slash == std::string::npos) {
        return nullptr;
    }
    scratch = roots.value(QString::fromStdString(place.substr(0, slash))).toObject();
    while (slash != std::string::npos) {
        const std::size_t next = place.find('/', slash + 1);
        const std::string part = place.substr(
            slash + 1, next == std::string::npos ? std::string::npos : next - slash - 1);
        if (part.empty() || part.find_first_not_of("0123456789") != std::string::npos) {
            return nullptr;
        }
        const QJsonArray children = scratch.value("children").toArray();
        const qsizetype index = std::stoll(part);
        if (index >= children.size()) {
            return nullptr;
        }
        scratch = children[index].toObject();
        slash = next;
    }
    return &scratch;
}

}  // namespace

StoreEditRun EditChromiumBookmarks(const std::string& path, const std::vector<BookmarkEdit>& edits,
                                   const std::string& asideFolder) {
    const std::string bytes = ReadBookmarkFile(path);
    const BookmarkCollection before = ParseChromiumBookmarks(bytes, path);
    QJsonObject document =
        QJsonDocument::fromJson(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())))
            .object();
    QJsonObject roots = document.value("roots").toObject();
    const std::string asideRootName = [&] {
        const std::string name =
            roots.value(kAsideRoot).toObject().value("name").toString().toStdString();
        return name.empty() ? std::string("Other bookmarks") : name;
    }();

    StoreEditRun run;
    run.Results.resize(edits.size());
    // Sync keeps its own record of each bookmark beside the file, which an
    // edit from outside would not update: sync would then send the old
    // state back or never send the new one.
    if (!document.value("sync_metadata").toString().isEmpty()) {
        for (EditResult& result : run.Results) {
            result = {EditOutcome::Refused,
                      "this profile syncs its bookmarks, and Chromium's sync would not carry a "
                      "change made outside the browser; change it in the browser",
                      {},
                      {}};
        }
        return run;
    }
    std::map<std::string, Change> changes;
    std::vector<std::pair<std::string, std::string>> identityFolders;
    FolderOfEachBookmark(before.Root, std::string(), identityFolders);
    for (std::size_t number = 0; number < edits.size(); ++number) {
        const BookmarkEdit& edit = edits[number];
        QJsonObject scratch;
        const QJsonObject* node = NodeAt(roots, edit.Identity, scratch);
        if (node == nullptr || node->value("type").toString() != "url" ||
            node->value("url").toString().toStdString() != edit.OldUrl) {
            run.Results[number] = {
                EditOutcome::ChangedSinceRead, "it changed in " + path + " since the scan", {}, {}};
            continue;
        }
        std::string oldFolder;
        for (const auto& [identity, folder] : identityFolders) {
            if (identity == edit.Identity) {
                oldFolder = folder;
            }
        }
        const std::string newFolder = AppendFolderName(asideRootName, asideFolder);
        if (edit.SetAside && edit.NewUrl.empty() && oldFolder == newFolder) {
            run.Results[number] = {EditOutcome::Unneeded, {}, {}, {}};
            continue;
        }
        changes[edit.Identity] = {QString::fromStdString(edit.NewUrl), edit.SetAside};
        run.Results[number] = {EditOutcome::Applied,
                               {},
                               edit.SetAside ? oldFolder : "",
                               edit.SetAside ? newFolder : ""};
    }
    if (changes.empty()) {
        return run;
    }

    // Taken before the set-aside nodes leave the tree.
    qint64 highest = 0;
    for (const char* key : kRootKeys) {
        HighestId(roots.value(key).toObject(), highest);
    }
    QJsonArray aside;
    for (const char* key : kRootKeys) {
        QJsonObject root = roots.value(key).toObject();
        if (root.isEmpty()) {
            continue;
        }
        bool touched = false;
        root["children"] = Rebuilt(root.value("children").toArray(), std::string(key) + "/",
                                   changes, aside, touched);
        if (touched) {
            root["date_modified"] = Now();
        }
        roots[key] = root;
    }
    if (!aside.isEmpty()) {
        QJsonObject other = roots.value(kAsideRoot).toObject();
        QJsonArray children = other.value("children").toArray();
        qsizetype folderIndex = -1;
        for (qsizetype index = 0; index < children.size(); ++index) {
            const QJsonObject child = children[index].toObject();
            if (child.value("type").toString() == "folder" &&
                child.value("name").toString().toStdString() == asideFolder) {
                folderIndex = index;
                break;
            }
        }
        QJsonObject folder;
        if (folderIndex < 0) {
            const QString now = Now();
            folder = QJsonObject{{"children", QJsonArray()},
                                 {"date_added", now},
                                 {"date_last_used", "0"},
                                 {"date_modified", now},
                                 {"guid", QUuid::createUuid().toString(QUuid::WithoutBraces)},
                                 {"id", QString::number(highest + 1)},
                                 {"name", QString::fromStdString(asideFolder)},
                                 {"type", "folder"}};
            children.append(folder);
            folderIndex = children.size() - 1;
        } else {
            folder = children[folderIndex].toObject();
        }
        QJsonArray held = folder.value("children").toArray();
        for (const QJsonValue node : aside) {
            held.append(node);
        }
        folder["children"] = held;
        folder["date_modified"] = Now();
        children[folderIndex] = folder;
        other["children"] = children;
        other["date_modified"] = Now();
        roots[kAsideRoot] = other;
    }
    document["roots"] = roots;
    QCryptographicHash hash(QCryptographicHash::Md5);
    for (const char* key : kRootKeys) {
        if (roots.contains(key)) {
            AddToChecksum(hash, roots.value(key).toObject());
        }
    }
    document["checksum"] = QString::fromLatin1(hash.result().toHex());
    const QByteArray written = QJsonDocument(document).toJson(QJsonDocument::Indented);
    const std::string edited(written.constData(), static_cast<std::size_t>(written.size()));

    const BookmarkCollection after = ParseChromiumBookmarks(edited, path);
    std::string difference = DifferenceFromExpected(before, after, edits, run.Results);
    std::set<QString> ids;
    bool twice = false;
    for (const char* key : kRootKeys) {
        twice = twice || IdTwice(roots.value(key).toObject(), ids);
    }
    // A file that had an id twice already is Chromium's to mend.
    std::set<QString> oldIds;
    bool twiceBefore = false;
    const QJsonObject oldRoots =
        QJsonDocument::fromJson(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())))
            .object()
            .value("roots")
            .toObject();
    for (const char* key : kRootKeys) {
        twiceBefore = twiceBefore || IdTwice(oldRoots.value(key).toObject(), oldIds);
    }
    if (difference.empty() && twice && !twiceBefore) {
        difference = "an id would be given twice";
    }
    if (!difference.empty()) {
        throw EBookmarkError(EBookmarkError::Reason::Unchanged,
                             path +
                                 " was left as it was: the edited file would not read back "
                                 "as intended (" +
                                 difference + ")");
    }
    run.BackupPath = BackupBeside(path, bytes);
    run.RestoreHint = "with Chromium closed, copy " + run.BackupPath + " over " + path;
    try {
        ReplaceFileContents(path, edited);
    } catch (const EFileError& error) {
        throw EBookmarkError(EBookmarkError::Reason::Unwritable,
                             path + " was left as it was: " + error.Message());
    }
    const BookmarkCollection reread = ParseChromiumBookmarks(ReadBookmarkFile(path), path);
    if (const std::string unlike = DifferenceFromExpected(before, reread, edits, run.Results);
        !unlike.empty()) {
        ReplaceFileContents(path, bytes);
        throw EBookmarkError(EBookmarkError::Reason::Unchanged,
                             path + " did not read back as written (" + unlike +
                                 "); its old contents were put back");
    }
    return run;
}

}  // namespace vornakle
