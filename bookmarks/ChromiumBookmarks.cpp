#include "bookmarks/ChromiumBookmarks.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QString>

#include <algorithm>
#include <array>

#include "bookmarks/BookmarkError.h"

namespace vornakle {

namespace {

// The roots Chromium writes, in the order it shows them, with the names it
// gives them when a node carries none.
struct KnownRoot {
    const char* Key;
    const char* Name;
};
constexpr std::array<KnownRoot, 3> kKnownRoots = {{
    {"bookmark_bar", "Bookmarks bar"},
    {"other", "Other bookmarks"},
    {"synced", "Mobile bookmarks"},
}};

std::string Utf8(const QJsonValue& value) {
    return value.toString().toStdString();
}

class JsonReader {
public:
    explicit JsonReader(const std::string& path) : path_(path) {}

    // place: the root's key and the indices of the folders down to children,
    // each followed by "/".
    void Fill(const QJsonArray& children, BookmarkNode& folder, SkippedPlaces& skipped, int depth,
              const std::string& place) {
        if (depth >= kMaxBookmarkDepth) {
            throw EBookmarkError(EBookmarkError::Reason::Damaged,
                                 path_ + " nests its folders too deeply");
        }
        for (qsizetype index = 0; index < children.size(); ++index) {
            const QJsonObject node = children[index].toObject();
            const std::string nodePlace = place + std::to_string(index);
            const QString type = node.value("type").toString();
            if (type == "folder") {
                BookmarkNode child = BookmarkNode::Folder(Utf8(node.value("name")));
                Fill(node.value("children").toArray(), child, skipped, depth + 1, nodePlace + "/");
                folder.Children.push_back(std::move(child));
            } else if (type == "url") {
                std::string url = Utf8(node.value("url"));
                if (!SkipIfNoWebLink(url, skipped)) {
                    folder.Children.push_back(
                        BookmarkNode::Bookmark(Utf8(node.value("name")), std::move(url)));
                    folder.Children.back().Identity = nodePlace;
                }
            } else {
                ++skipped.Other;
            }
        }
    }

private:
    const std::string& path_;
};

}  // namespace

BookmarkCollection ParseChromiumBookmarks(std::string_view json, const std::string& path) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(
        QByteArray(json.data(), static_cast<qsizetype>(json.size())), &error);
    if (error.error != QJsonParseError::NoError) {
        throw EBookmarkError(EBookmarkError::Reason::Damaged,
                             path +
                                 " is damaged or cut short: " + error.errorString().toStdString() +
                                 " at byte " + std::to_string(error.offset));
    }
    const QJsonValue roots = document.object().value("roots");
    if (!roots.isObject()) {
        throw EBookmarkError(EBookmarkError::Reason::Unrecognised,
                             path + " is JSON but no Chromium bookmarks file (no \"roots\")");
    }
    BookmarkCollection collection;
    collection.Root = BookmarkNode::Folder(std::string());
    JsonReader reader(path);
    const QJsonObject rootObjects = roots.toObject();
    const auto addRoot = [&](const QJsonObject& root, const std::string& givenName,
                             const std::string& key) {
        std::string name = Utf8(root.value("name"));
        BookmarkNode folder = BookmarkNode::Folder(name.empty() ? givenName : std::move(name));
        reader.Fill(root.value("children").toArray(), folder, collection.Skipped, 1, key + "/");
        if (!folder.Children.empty()) {
            collection.Root.Children.push_back(std::move(folder));
        }
    };
    for (const KnownRoot& known : kKnownRoots) {
        addRoot(rootObjects.value(known.Key).toObject(), known.Name, std::string(known.Key));
    }
    // Browsers built on Chromium add roots of their own (a trash, a
    // workspace); each is a top folder after the usual ones, named by its
    // key when it carries no name.
    for (auto root = rootObjects.begin(); root != rootObjects.end(); ++root) {
        const std::string key = root.key().toStdString();
        const bool known = std::any_of(kKnownRoots.begin(), kKnownRoots.end(),
                                       [&](const KnownRoot& each) { return key == each.Key; });
        if (!known && root.value().isObject()) {
            addRoot(root.value().toObject(), key, key);
        }
    }
    return collection;
}

}  // namespace vornakle
